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
    , m_folder(AT_FDCWD)
{
    const QByteArray path = QFile::encodeName(destination);
    const qsizetype separator = path.lastIndexOf('/');
    create(path.left(separator + 1), path.mid(separator + 1), mode);
}

TemporarySiblingFile::TemporarySiblingFile(int folderDescriptor, const QByteArray &name, const QString &destination, mode_t mode)
    : m_destination(destination)
    , m_folder(folderDescriptor)
{
    create(QByteArray(), name, mode);
}

void TemporarySiblingFile::create(const QByteArray &folder, const QByteArray &name, mode_t mode)
{
    m_destinationName = folder + name;
    while (!m_file.isValid()) {
        // A hidden name keeps the unfinished file out of scans that skip hidden items.
        m_temporaryName = folder + '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        m_file.reset(::openat(m_folder, m_temporaryName.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!m_file.isValid() && errno != EEXIST)
            throw PlatformError::posix(errno, m_destination);
    }
}

TemporarySiblingFile::~TemporarySiblingFile()
{
    if (!m_temporaryName.isEmpty())
        ::unlinkat(m_folder, m_temporaryName.constData(), 0);
}

void TemporarySiblingFile::commit()
{
    m_file.reset();
    WriteSteps::reach(WriteSteps::Step::rename, m_destination);
    if (::renameat(m_folder, m_temporaryName.constData(), m_folder, m_destinationName.constData()) != 0)
        throw PlatformError::posix(errno, m_destination);
    m_temporaryName.clear();
}
