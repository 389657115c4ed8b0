// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QFile>
#include <QTemporaryDir>

/**
 * Points the XDG data and cache homes at a fresh temporary folder for the
 * lifetime of the object, so that tests never touch the user's own folders.
 */
class TemporaryHome
{
public:
    TemporaryHome()
        : m_savedData(qgetenv("XDG_DATA_HOME"))
        , m_savedCache(qgetenv("XDG_CACHE_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome()));
    }
    ~TemporaryHome()
    {
        restore("XDG_DATA_HOME", m_savedData);
        restore("XDG_CACHE_HOME", m_savedCache);
    }
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

    QString path() const { return m_directory.path(); }
    QString dataHome() const { return m_directory.path() + QStringLiteral("/data"); }
    QString cacheHome() const { return m_directory.path() + QStringLiteral("/cache"); }
    QString applicationData() const { return dataHome() + QStringLiteral("/Zovozu VM Lab"); }

private:
    static void restore(const char *name, const QByteArray &value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    QTemporaryDir m_directory;
    QByteArray m_savedData;
    QByteArray m_savedCache;
};
