// SPDX-License-Identifier: MIT
#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QUuid>

#include <functional>
#include <optional>

class ConsoleWindow;
class QWidget;
class VirtualMachineSession;
struct VMBundle;
struct VMHardwareProfile;

/**
 * Keeps at most one console window per VM: opens it on request, brings an
 * existing one to the front instead of opening a second, closes one on
 * request, and reports which VM's console is the active one through
 * onActiveSessionChange (clipboard sync follows it). It reports a session
 * when its window opens or becomes active, and on closing a window the
 * session of the console window that is active then, or none. When the
 * window reported last moves to a newer session of its VM, that session is
 * reported in its place, so the sync never holds a dropped one. Closing a
 * console window never stops its VM. Lives as long as the application; GUI
 * thread.
 *
 * @code
 * VMConsoleWindowManager consoles;
 * consoles.setOnActiveSessionChange([&sync](VirtualMachineSession *session) { sync.start(session); });
 * consoles.openConsole(session, new ConsoleView(session));
 * @endcode
 */
class VMConsoleWindowManager : public QObject
{
    Q_OBJECT

public:
    using ActiveSessionChange = std::function<void(VirtualMachineSession *)>;

    explicit VMConsoleWindowManager(QObject *parent = nullptr);
    ~VMConsoleWindowManager() override;

    void setOnActiveSessionChange(ActiveSessionChange callback) { m_onActiveSessionChange = std::move(callback); }

    /// Shows the session's console window with `content` (the window takes it), making the window if there is none.
    void openConsole(VirtualMachineSession &session, QWidget *content);
    /// The same for a VM that QEMU runs without a session (a Windows guest).
    void openSessionlessConsole(const VMBundle &bundle, QWidget *content);
    /// Closes the VM's console window through its normal close path; nothing when it has none.
    void closeWindow(const QUuid &bundleID);

    /// The VM's open console window, or none.
    ConsoleWindow *window(const QUuid &bundleID) const;
    qsizetype windowCount() const { return m_windows.size(); }

    /**
     * The size and place of a new console window: 82 % of the guest display
     * (at least 980 x 760, 92 px added for the controls) but at most 92 % of
     * the available screen area, centred in it. Without a screen the area is
     * 1440 x 900 at the origin.
     */
    static QRectF initialContentRect(const VMHardwareProfile &profile, const std::optional<QRectF> &availableArea);

private:
    /// Places a new window and follows its close and activation.
    ConsoleWindow *keep(ConsoleWindow *window, const VMHardwareProfile &profile);
    static void present(ConsoleWindow &window);
    void windowClosed(const QUuid &bundleID);
    void sessionReplaced(const QUuid &bundleID, VirtualMachineSession *session);
    void report(VirtualMachineSession *session);

    QMap<QUuid, QPointer<ConsoleWindow>> m_windows;
    /// The VM whose session was reported last; null after reporting none.
    QUuid m_reportedID;
    ActiveSessionChange m_onActiveSessionChange;
};
