// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <stdexcept>

/**
 * A failure reported by the host rather than by our own logic: a POSIX call,
 * a missing system folder. Carries the error domain, its code and a
 * description meant for the user; POSIX errors also carry the path involved.
 */
class PlatformError : public std::runtime_error
{
public:
    enum class Domain { posix, file };

    /// The file-domain code for "no such file", used when the host names no folder.
    static constexpr int fileNoSuchFile = 4;

    PlatformError(Domain domain, int code, const QString &description, const QString &path = {});

    /// A POSIX error, described by strerror plus the path.
    static PlatformError posix(int errorNumber, const QString &path);

    Domain domain() const { return m_domain; }
    int code() const { return m_code; }
    const QString &path() const { return m_path; }
    QString description() const { return QString::fromUtf8(what()); }

private:
    Domain m_domain;
    int m_code;
    QString m_path;
};
