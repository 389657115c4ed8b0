// SPDX-License-Identifier: MIT
#include "StagingFolder.h"

#include "PlatformError.h"
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

} // namespace

QString StagingFolder::create(const QString &destinationFolder, const QString &name)
{
    const QString url = destinationFolder + QStringLiteral("/.") + shortened(name) + QStringLiteral(".staging-")
        + QString::number(QRandomGenerator::global()->generate64(), 16);
    // Owner-only while it is filled. Until its marker is in, it is empty or holds only the marker's
    // temporary file, which the library load knows to be nobody's work but ours.
    if (::mkdir(QFile::encodeName(url).constData(), 0700) != 0)
        throw PlatformError::posix(errno, url);
    try {
        StagingMarker::write(url);
    } catch (...) {
        StagingMarker::removeMarkedFolderQuietly(url);
        throw;
    }
    return url;
}

StagingFolder::StagingFolder(const QString &destinationFolder, const QString &name)
    : m_url(create(destinationFolder, name))
{
}

StagingFolder::~StagingFolder()
{
    StagingMarker::removeMarkedFolderQuietly(m_url);
}
