// SPDX-License-Identifier: MIT
#pragma once

#include "FileDescriptor.h"

#include <QLocalServer>
#include <QObject>
#include <QString>

struct stat;

/**
 * One running instance of the application per library. The running instance
 * holds an advisory lock (flock) on Library.lock in the application's data
 * folder from start to exit, so a second instance never loads, sweeps or
 * writes the library while the first works on it (a second instance once
 * took the first one's clone in progress for a leftover). The system drops
 * that lock when its process ends, however it ends, so whatever a file left
 * behind says (empty after a crash mid-write, a process that has ended,
 * another machine's owner), only a lock that is held means a running owner. Only what the
 * application itself made is taken over: a regular file that holds an
 * owner record or what a crash left of one. Anything else in the lock's
 * place (a folder, a link, a pipe, a file of the user's) is left exactly as
 * it is, and the library is not opened: unavailableText() names it.
 *
 * The first instance listens on a local socket named after the lock; a
 * second start asks it there to bring its window forward, and then ends.
 *
 * Without a data folder there is no library to guard, and none is opened:
 * the temporary folder the library would fall back to is shared by every
 * start.
 *
 * @code
 * LibraryInstanceLock instance(AppDirectories::applicationSupportRoot());
 * switch (instance.acquire()) {
 * case LibraryInstanceLock::Acquisition::heldElsewhere:
 *     std::fputs(qPrintable(LibraryInstanceLock::alreadyRunningText(instance.bringRunningInstanceForward())), stderr);
 *     return 1;
 * case LibraryInstanceLock::Acquisition::unavailable:
 *     std::fputs(qPrintable(instance.unavailableText()), stderr);
 *     return 1;
 * case LibraryInstanceLock::Acquisition::acquired:
 *     break;
 * }
 * QObject::connect(&instance, &LibraryInstanceLock::activationRequested, &window, &QWidget::raise);
 * @endcode
 */
class LibraryInstanceLock : public QObject
{
    Q_OBJECT

public:
    enum class Acquisition {
        /// This process now holds the library and listens for later starts.
        acquired,
        /// A running instance holds it.
        heldElsewhere,
        /// The library cannot be guarded here (its folder cannot be written, say); unavailableText() says why.
        unavailable,
    };

    /**
     * `dataRoot`: the folder whose library is guarded. Empty when it could
     * not be had, with `whyMissing` saying why: acquire() then answers
     * unavailable, since a library without its lock could be opened by two
     * instances at once.
     */
    explicit LibraryInstanceLock(const QString &dataRoot, QObject *parent = nullptr);
    LibraryInstanceLock(const QString &dataRoot, const QString &whyMissing, QObject *parent = nullptr);
    ~LibraryInstanceLock() override;

    Acquisition acquire();
    /// Asks the instance that holds the library to bring its window forward; true when it was reached.
    bool bringRunningInstanceForward() const;

    /// What a second start tells the user before it ends.
    static QString alreadyRunningText(bool broughtForward);
    /// After acquire() answered `unavailable`: why the library cannot be opened, for the user.
    const QString &unavailableText() const { return m_unavailableText; }

Q_SIGNALS:
    /// A later start asked for this instance's window.
    void activationRequested();

private:
    /// What became of a lock file that this user may not write (one left by an instance started as another user).
    enum class Clearance { cleared, held, notOurs, unreadable };
    Clearance clearAwayLockFileOfAnotherUser(const struct stat &found) const;
    Acquisition refuseItemInTheWay(const QString &kind);
    Acquisition refuse(const QString &text);
    void acceptConnection();

    QString m_dataRoot;
    QString m_whyMissing;
    QString m_lockPath;
    FileDescriptor m_lock;
    QString m_unavailableText;
    QString m_serverName;
    QLocalServer m_server;
};
