// SPDX-License-Identifier: MIT
#include "UnfinishedBundle.h"

#include "FileOperations.h"
#include "LoggingService.h"
#include "VMStore.h"

#include <QDir>

#include <algorithm>

UnfinishedBundle::UnfinishedBundle(VMStore &store, const LoggingService &logging, QString bundleURL, QUuid id)
    : m_store(store)
    , m_logging(logging)
    , m_bundleURL(std::move(bundleURL))
    , m_id(id)
{
}

UnfinishedBundle::~UnfinishedBundle()
{
    if (m_kept)
        return;
    try {
        discard();
    } catch (const std::exception &error) {
        m_logging.log(
            QStringLiteral("Could not remove the unfinished VM at ") + m_bundleURL + QStringLiteral(": ") + QString::fromUtf8(error.what()),
            QStringLiteral("Wizard"));
    } catch (...) {
        // A destructor must not throw; the VM can still be deleted from the library.
    }
}

void UnfinishedBundle::discard() const
{
    if (m_store.bundle(m_id)) {
        m_store.deleteBundle(m_id);
        return;
    }
    // Never registered, or deleted meanwhile: only the folder this creation made can be left.
    const QString folder = QDir::cleanPath(m_bundleURL);
    const QList<VMBundle> &listed = m_store.bundles();
    const bool taken
        = std::any_of(listed.cbegin(), listed.cend(), [&](const VMBundle &bundle) { return QDir::cleanPath(bundle.bundleURL) == folder; });
    if (taken || !FileOperations::itemExists(m_bundleURL))
        return;
    m_store.removeBundleFromDisk(m_bundleURL);
    m_store.untrackBundle(m_bundleURL);
}
