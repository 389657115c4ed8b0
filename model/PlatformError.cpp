// SPDX-License-Identifier: MIT
#include "PlatformError.h"

#include <cstring>

PlatformError::PlatformError(Domain domain, int code, const QString &description, const QString &path)
    : std::runtime_error(description.toStdString())
    , m_domain(domain)
    , m_code(code)
    , m_path(path)
{
}

PlatformError PlatformError::posix(int errorNumber, const QString &path)
{
    QString description = QString::fromLocal8Bit(std::strerror(errorNumber));
    if (!path.isEmpty())
        description += QStringLiteral(": ") + path;
    return PlatformError(Domain::posix, errorNumber, description, path);
}
