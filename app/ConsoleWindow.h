// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include "VirtualMachineSession.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>

/**
 * The free-standing window that shows one VM's console. It holds the content
 * widget it is given, takes its title from the VM's name (following a
 * rename) and keeps its geometry in the settings under "VMConsole-<UUID>".
 * It tells its owner when it closes and when it becomes the active window;
 * closing it never stops the VM. When its console view moves to a newer
 * session of the VM (a start after the old one was dropped), the window
 * follows it and tells its owner. Made only by VMConsoleWindowManager.
 */
class ConsoleWindow final : public QWidget
{
    Q_OBJECT

public:
    ConsoleWindow(VirtualMachineSession &session, QWidget *content);
    /// For a VM that QEMU runs without a session (a Windows guest): the title is the bundle's name.
    ConsoleWindow(const VMBundle &bundle, QWidget *content);

    const QUuid &sessionID() const { return m_sessionID; }
    VirtualMachineSession *session() const { return m_session; }
    /// Shows a newer session object of the same VM, with its own content; the old content is deleted.
    void setSession(VirtualMachineSession &session, QWidget *content);
    /// Shows new content for a VM without a session.
    void setSessionlessContent(const VMBundle &bundle, QWidget *content);
    QWidget *content() const { return m_content; }

    /// The settings key of the window's geometry.
    QString autosaveName() const;
    /// Puts the window where it was last closed; false when there is nothing saved.
    bool restoreSavedGeometry();

    std::function<void(const QUuid &)> onClose;
    std::function<void(VirtualMachineSession *)> onBecomeKey;
    /// The window shows another session of its VM now, the one its console view moved to.
    std::function<void(VirtualMachineSession *)> onSessionReplaced;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    explicit ConsoleWindow(const QUuid &id);
    void replaceContent(QWidget *content);
    /// Shows `session`'s name in the title, following its renames.
    void showSession(VirtualMachineSession &session);
    /// Follows the session of a console view that moves to a newer one.
    void followContentSession(QWidget *content);
    void updateTitle();

    const QUuid m_sessionID;
    QPointer<VirtualMachineSession> m_session;
    QPointer<QWidget> m_content;
    QMetaObject::Connection m_titleConnection;
    QMetaObject::Connection m_contentSessionConnection;
};
