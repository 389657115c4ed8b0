// SPDX-License-Identifier: MIT
#include "StagedBundleCopy.h"

#include "FileOperations.h"
#include "ItemRename.h"
#include "PlatformError.h"
#include "SparseCopy.h"

#include <QRandomGenerator>

#include <cerrno>

namespace {

/// Enough of the name to tell a leftover apart, short enough that the whole staging name stays within the 255 bytes a file name may take.
QString shortened(const QString &name)
{
    constexpr qsizetype maximumLength = 64;
    QString kept = name.left(maximumLength);
    if (!kept.isEmpty() && kept.back().isHighSurrogate())
        kept.chop(1);
    return kept;
}

} // namespace

StagedBundleCopy::StagedBundleCopy(const QString &destinationFolder, const QString &name)
    : m_url(destinationFolder + QStringLiteral("/.") + shortened(name) + QStringLiteral(".staging-")
            + QString::number(QRandomGenerator::global()->generate64(), 16))
{
}

StagedBundleCopy::~StagedBundleCopy()
{
    if (m_committed)
        return;
    try {
        if (FileOperations::itemExists(m_url))
            FileOperations::removeItem(m_url);
    } catch (const std::exception &) {
        // A leftover hidden folder is invisible to the library; the failure that got us here matters more.
    }
}

void StagedBundleCopy::copyFrom(const QString &source) const
{
    SparseCopy::copyTree(source, m_url);
}

void StagedBundleCopy::commit(const QString &finalURL)
{
    // rename() would silently replace an empty folder at the final name.
    if (FileOperations::itemExists(finalURL))
        throw PlatformError::posix(EEXIST, finalURL);
    ItemRename::rename(m_url, finalURL);
    m_committed = true;
}
