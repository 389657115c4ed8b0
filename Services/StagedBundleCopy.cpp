// SPDX-License-Identifier: MIT
#include "StagedBundleCopy.h"

#include "FileOperations.h"
#include "ItemRename.h"
#include "PlatformError.h"
#include "SparseCopy.h"
#include "StagingMarker.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>

#include <sys/stat.h>

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

void removeQuietly(const QString &path) noexcept
{
    try {
        if (FileOperations::itemExists(path))
            FileOperations::removeItem(path);
    } catch (const std::exception &) {
        // A leftover hidden folder is invisible to the library and carries its marker; the failure that got us here matters more.
    }
}

} // namespace

StagedBundleCopy::StagedBundleCopy(const QString &destinationFolder, const QString &name)
    : m_url(destinationFolder + QStringLiteral("/.") + shortened(name) + QStringLiteral(".staging-")
            + QString::number(QRandomGenerator::global()->generate64(), 16))
{
    // Owner-only while it is filled; the copy gives it the source's bits at the end.
    if (::mkdir(QFile::encodeName(m_url).constData(), 0700) != 0)
        throw PlatformError::posix(errno, m_url);
    try {
        StagingMarker::write(m_url);
    } catch (...) {
        removeQuietly(m_url);
        throw;
    }
}

StagedBundleCopy::~StagedBundleCopy()
{
    if (!m_committed)
        removeQuietly(m_url);
}

void StagedBundleCopy::copyInto(const QString &source, const QString &stagedURL)
{
    // Our marker stays: a source published by a copy cut short may still hold that copy's marker, which is not copied over it.
    SparseCopy::copyTreeInto(source, stagedURL);
}

void StagedBundleCopy::commit(const QString &finalURL)
{
    // rename() would silently replace an empty folder at the final name.
    if (FileOperations::itemExists(finalURL))
        throw PlatformError::posix(EEXIST, finalURL);
    ItemRename::rename(m_url, finalURL);
    m_url = finalURL;
    m_committed = true;
}

void StagedBundleCopy::finish() const
{
    try {
        StagingMarker::remove(m_url);
    } catch (const std::exception &) {
        // The copy is whole and in place; the next load removes a marker whose process has ended.
    }
}
