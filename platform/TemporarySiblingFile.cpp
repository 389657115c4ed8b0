// SPDX-License-Identifier: MIT
#include "TemporarySiblingFile.h"

#include "PlatformError.h"
#include "WriteSteps.h"

#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

TemporarySiblingFile::TemporarySiblingFile(const QString &destination, mode_t mode)
    : m_destination(destination)
{
    const qsizetype separator = destination.lastIndexOf(QLatin1Char('/'));
    const QString folder = destination.left(separator + 1);
    const QString name = destination.mid(separator + 1);
    while (!m_file.isValid()) {
        // A hidden name keeps the unfinished file out of scans that skip hidden items.
        m_temporaryPath = QFile::encodeName(
            folder + QLatin1Char('.') + name + QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate64(), 36));
        m_file.reset(::open(m_temporaryPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!m_file.isValid() && errno != EEXIST)
            throw PlatformError::posix(errno, destination);
    }
}

TemporarySiblingFile::~TemporarySiblingFile()
{
    if (!m_temporaryPath.isEmpty())
        ::unlink(m_temporaryPath.constData());
}

void TemporarySiblingFile::commit()
{
    m_file.reset();
    WriteSteps::reach(WriteSteps::Step::rename, m_destination);
    if (::rename(m_temporaryPath.constData(), QFile::encodeName(m_destination).constData()) != 0)
        throw PlatformError::posix(errno, m_destination);
    m_temporaryPath.clear();
}
