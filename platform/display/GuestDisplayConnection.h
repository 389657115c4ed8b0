// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <chrono>
#include <functional>

/**
 * A connection to the display of a running guest: the guest's framebuffer
 * as an image kept up to date, and the way keys, pointer and mode requests
 * go back to the guest. Everything happens on the GUI thread, driven by the
 * event loop; no call blocks.
 *
 * open() keeps trying for `patience` while the socket is not there yet (the
 * machine is still starting), asking `socketPath` again on every attempt,
 * since a new run of a machine has a new socket. A connection that fails or
 * that the server breaks ends with disconnected() carrying a sentence for
 * the user; one that the server closes in good order once it was made ends
 * with serverClosed(), which is what a stopping machine does; close() ends
 * it quietly.
 *
 * @see RfbConnection, the client of QEMU's VNC server.
 */
class GuestDisplayConnection : public QObject
{
    Q_OBJECT

public:
    enum class Status { closed, connecting, connected };

    using SocketPathSource = std::function<QString()>;

    /// Buttons of the pointer as the guest numbers them; the wheel is four buttons pressed and released.
    enum Button : quint8 {
        left = 1,
        middle = 2,
        right = 4,
        wheelUp = 8,
        wheelDown = 16,
        wheelLeft = 32,
        wheelRight = 64,
    };

    /// The display modes a guest is asked for.
    static constexpr QSize minimumDesktopSize { 640, 480 };
    static constexpr QSize maximumDesktopSize { 5120, 2160 };

    ~GuestDisplayConnection() override;

    virtual Status status() const = 0;
    /// The guest's screen; null until the connection is made.
    virtual const QImage &framebuffer() const = 0;

    virtual void open(SocketPathSource socketPath, std::chrono::milliseconds patience) = 0;
    virtual void close() = 0;

    /// A key went down or up: its X keysym and its PC scan code (0xE0-prefixed keys with the high bit set).
    virtual void sendKey(quint32 keysym, quint32 scanCode, bool down) = 0;
    /// The pointer is at `position` of the framebuffer with `buttons` (a mask of Button) held.
    virtual void sendPointer(QPoint position, quint8 buttons) = 0;
    /// Whether the guest can be asked for another display mode now.
    virtual bool canResizeDesktop() const = 0;
    /// Asks the guest for a display mode of `size`; ignored unless canResizeDesktop().
    virtual void requestDesktopSize(QSize size) = 0;

Q_SIGNALS:
    void statusChanged(GuestDisplayConnection::Status status);
    /// The framebuffer has a new size (its content is blank until the next update).
    void framebufferResized(QSize size);
    /// Part of the framebuffer was redrawn.
    void framebufferUpdated(QRect area);
    /// The guest's pointer looks like `shape` with its hot spot at `hotSpot`; a null shape hides it.
    void cursorChanged(const QImage &shape, QPoint hotSpot);
    /// Whether canResizeDesktop() changed.
    void desktopResizeAvailabilityChanged(bool available);
    /// The connection failed or broke; `message` is meant for the user.
    void disconnected(const QString &message);
    /// The server closed the connection after it was made, as when the machine behind it ends; the status is closed.
    void serverClosed();

protected:
    explicit GuestDisplayConnection(QObject *parent = nullptr);
};
