// SPDX-License-Identifier: MIT
#include "VMDeletionTexts.h"

#include <QDir>

QString VMDeletionTexts::title(const VMBundle &bundle)
{
    return QStringLiteral("Delete “%1”?").arg(bundle.metadata.name);
}

QString VMDeletionTexts::message(const VMBundle &bundle)
{
    return QStringLiteral("This removes “%1” and its bundle from disk: %2")
        .arg(bundle.metadata.name, QDir::toNativeSeparators(bundle.bundleURL));
}

QString VMDeletionTexts::consequence()
{
    return QStringLiteral("This action cannot be undone.");
}
