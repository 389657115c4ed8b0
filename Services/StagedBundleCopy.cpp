// SPDX-License-Identifier: MIT
#include "StagedBundleCopy.h"

#include "FileOperations.h"
#include "ItemRename.h"
#include "PlatformError.h"
#include "SparseCopy.h"
#include "StagingFolder.h"
#include "StagingMarker.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

StagedBundleCopy::StagedBundleCopy(const QString &destinationFolder, const QString &name)
    : m_url(StagingFolder::create(destinationFolder, name))
{
}

StagedBundleCopy::~StagedBundleCopy()
{
    if (!m_committed)
        StagingMarker::removeMarkedFolderQuietly(m_url);
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
    // The marker names the folder it lies in; renamed, the folder must still be the one it names.
    StagingMarker::write(m_url, {QFileInfo(finalURL).fileName()});
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
