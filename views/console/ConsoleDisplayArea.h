// SPDX-License-Identifier: MIT
#pragma once

#include "ConsoleDisplayLink.h"
#include "GuestDisplayConnection.h"

#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>

class GuestDisplayWidget;
class QLabel;
class QStackedLayout;

/**
 * The display part of a console: the guest's live screen ("console.display")
 * with the connection that feeds it, and the placeholder card
 * ("console.placeholder", its hint "console.placeholder.hint") lying over
 * it while the VM is stopped. follow() connects and disconnects as the VM's
 * run state says; a connection that fails or breaks while the VM should
 * show its display is reported through displayFailed().
 *
 * A display that ends while the VM saves or stops is the expected end and
 * is not reported. One that the server closes while the VM still counts as
 * running is connected again once (within the usual patience): QEMU closes
 * its display as it exits, before the run state has caught up with a guest
 * that shut itself down, and the state that follows then lets go of the
 * display quietly. A second close in the same run is a failure.
 */
class ConsoleDisplayArea final : public QWidget
{
    Q_OBJECT

public:
    /// How long a console waits for the display socket of a machine that is starting.
    static constexpr std::chrono::seconds socketPatience {10};

    /// Takes the connection; an RfbConnection when none is given.
    explicit ConsoleDisplayArea(QWidget *parent = nullptr, std::unique_ptr<GuestDisplayConnection> connection = {});
    ~ConsoleDisplayArea() override;

    /// 900×640 points, less on a screen too small for that; smaller windows scale the guest's screen down to fit.
    QSize sizeHint() const override;

    GuestDisplayConnection &connection() const { return *m_connection; }
    GuestDisplayWidget *display() const { return m_display; }

    /// Shows the placeholder with `hint`, or hides it.
    void setPlaceholder(const std::optional<QString> &hint);

    /**
     * Attaches to the display found at `socketPath` unless attached already
     * (or `newRun` says the machine behind it changed), detaches, or leaves
     * the connection as it is, as `link` says.
     */
    void follow(ConsoleDisplayLink link, GuestDisplayConnection::SocketPathSource socketPath, bool newRun = false);

Q_SIGNALS:
    void displayFailed(const QString &message);

private:
    void handleFailure(const QString &message);
    void handleServerClose();

    std::unique_ptr<GuestDisplayConnection> m_connection;
    ConsoleDisplayLink m_link = ConsoleDisplayLink::detach;
    GuestDisplayConnection::SocketPathSource m_socketPath;
    /// Whether the display was connected again after the server closed it in this run.
    bool m_reconnected = false;
    GuestDisplayWidget *m_display;
    QWidget *m_placeholder;
    QLabel *m_hint;
    QStackedLayout *m_stack;
};
