// SPDX-License-Identifier: MIT
#pragma once

#include "TemporaryHome.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

/**
 * The application started as a child process on the offscreen platform, with
 * its XDG data and cache homes in a TemporaryHome so that it never sees the
 * user's library. It is stopped when the object goes: asked to terminate,
 * then killed when it does not end in time.
 *
 * The program defaults to the one the build names in DUVUZODOVEVAV_PATH.
 */
class ApplicationProcess
{
public:
    explicit ApplicationProcess(const TemporaryHome &home, const QString &program = QStringLiteral(DUVUZODOVEVAV_PATH))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.dataHome());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.cacheHome());
        m_process.setProcessEnvironment(environment);
        // Its log lines go to standard output too; kept for failure messages.
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, {});
    }
    ~ApplicationProcess() { stop(); }
    ApplicationProcess(const ApplicationProcess &) = delete;
    ApplicationProcess &operator=(const ApplicationProcess &) = delete;

    bool waitForStarted(int timeoutMs = 10'000) { return m_process.waitForStarted(timeoutMs); }
    bool finishesWithin(int timeoutMs) { return m_process.waitForFinished(timeoutMs); }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    /// The exit code once it has finished.
    int exitCode() const { return m_process.exitCode(); }

    /**
     * The content of the file at `path` as soon as it holds `needle`, polled
     * until `timeoutMs` pass or the application ends; empty when the text
     * never came.
     */
    QString waitForFile(const QString &path, const QString &needle, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            const QString content = read(path);
            if (content.contains(needle))
                return content;
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return {};
            // Doubles as the pause between polls and notices an early exit.
            if (m_process.waitForFinished(20)) {
                const QString last = read(path);
                return last.contains(needle) ? last : QString();
            }
        }
    }

    /// Terminates the application, then kills it when it has not ended within five seconds.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5'000)) {
            m_process.kill();
            m_process.waitForFinished(5'000);
        }
    }

    /// Everything the application printed so far, to explain a failure.
    QString output() { return QString::fromUtf8(m_process.readAll()); }

    static QString read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QProcess m_process;
};
