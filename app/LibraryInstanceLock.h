// SPDX-License-Identifier: MIT
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

/**
 * One running instance of the application per library. A lock file in the
 * application's data folder is held from start to exit, so a second instance
 * never loads, sweeps or writes the library while the first works on it (a
 * second instance once took the first one's clone in progress for a
 * leftover). The first instance listens on a local socket named after the
 * lock; a second start asks it there to bring its window forward, and then
 * ends. A lock left by an instance that crashed is taken over.
 *
 * @code
 * LibraryInstanceLock instance(AppDirectories::applicationSupportRoot());
 * if (!instance.acquire()) {
 *     std::fputs(qPrintable(LibraryInstanceLock::alreadyRunningText(instance.bringRunningInstanceForward())), stderr);
 *     return 1;
 * }
 * QObject::connect(&instance, &LibraryInstanceLock::activationRequested, &window, &QWidget::raise);
 * @endcode
 */
class LibraryInstanceLock : public QObject
{
    Q_OBJECT

public:
    /// `dataRoot`: the folder whose library is guarded; empty when it could not be had, and then nothing is guarded.
    explicit LibraryInstanceLock(const QString &dataRoot, QObject *parent = nullptr);
    ~LibraryInstanceLock() override;

    /// True when this process now holds the library (and listens for later starts); false when a running instance holds it.
    bool acquire();
    /// Asks the instance that holds the library to bring its window forward; true when it was reached.
    bool bringRunningInstanceForward() const;

    /// What a second start tells the user before it ends.
    static QString alreadyRunningText(bool broughtForward);

Q_SIGNALS:
    /// A later start asked for this instance's window.
    void activationRequested();

private:
    void acceptConnection();

    std::unique_ptr<QLockFile> m_lock;
    QString m_serverName;
    QLocalServer m_server;
};
