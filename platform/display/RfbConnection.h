// SPDX-License-Identifier: MIT
#pragma once

#include "GuestDisplayConnection.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTimer>

class QLocalSocket;

/**
 * A client of the RFB protocol (version 3.8, security None) as QEMU's VNC
 * server speaks it on a unix socket private to the user. It asks for 32-bit
 * pixels laid out as QImage::Format_RGB32 and for the Raw encoding, the
 * pseudo-encodings DesktopSize, ExtendedDesktopSize (QEMU numbers its only
 * screen 0), RichCursor, QEMU's extended key events (scan codes) and QEMU's
 * absolute pointer. One update request is outstanding at a time: the next
 * one goes out when an update has been taken in, so a slow reader never
 * builds a backlog.
 *
 * Input is parsed as whole messages from what the socket holds, never by
 * waiting for more, so bytes may arrive in any pieces. A server that sends
 * something this client cannot take (a rectangle outside the framebuffer, a
 * size above 5120×2160, an unknown message or encoding, an oversized cut
 * text) is disconnected with a message for the user.
 *
 * @code
 * RfbConnection display;
 * connect(&display, &GuestDisplayConnection::framebufferUpdated, widget, [&](QRect area) { widget->update(area); });
 * display.open([&machine] { return machine.displaySocketPath(); }, std::chrono::seconds(10));
 * @endcode
 */
class RfbConnection final : public GuestDisplayConnection
{
    Q_OBJECT

public:
    /// ServerCutText larger than this is not a clipboard text but a broken server.
    static constexpr quint32 maximumCutTextLength = 1024 * 1024;
    static constexpr int maximumCursorSide = 256;
    static constexpr std::chrono::milliseconds retryInterval { 100 };

    explicit RfbConnection(QObject *parent = nullptr);
    ~RfbConnection() override;

    Status status() const override { return m_status; }
    const QImage &framebuffer() const override { return m_framebuffer; }

    void open(SocketPathSource socketPath, std::chrono::milliseconds patience) override;
    void close() override;

    void sendKey(quint32 keysym, quint32 scanCode, bool down) override;
    void sendPointer(QPoint position, quint8 buttons) override;
    bool canResizeDesktop() const override;
    void requestDesktopSize(QSize size) override;

    /// The server's name for its desktop, as plain text.
    const QString &desktopName() const { return m_desktopName; }

private:
    enum class Phase {
        version,
        securityTypes,
        securityResult,
        failureReason,
        serverInit,
        message,
        updateHeader,
        rectangleHeader,
        rawPixels,
        richCursor,
        extendedDesktopSize,
        ledState,
        colourMap,
        cutText,
        qemuMessage,
        qemuAudio,
        skip,
    };

    struct Rectangle {
        quint16 x = 0;
        quint16 y = 0;
        quint16 width = 0;
        quint16 height = 0;
        qint32 encoding = 0;
    };

    void attempt();
    void handleSocketError();
    void handleSocketDisconnected();
    void processInput();
    /// Consumes what the current phase needs; false when it must wait for more bytes or the connection ended.
    bool step();
    bool stepMessage();
    bool stepRectangleHeader();
    bool stepRawPixels();
    bool stepRichCursor();
    bool stepExtendedDesktopSize();
    void finishRectangle();
    void finishUpdate();
    void sendClientSetup();
    void requestUpdate(bool incremental);
    bool resizeFramebuffer(int width, int height);
    void write(const QByteArray &bytes);
    void setStatus(Status status);
    void setResizeAvailable(bool available);
    /// Ends the connection and reports `message` (a clause completing "The guest display was disconnected: ").
    void fail(const QString &message);
    void reset();

    /// Owned; released with deleteLater(), since it may be the sender of the signal being handled.
    QLocalSocket *m_socket = nullptr;
    SocketPathSource m_socketPath;
    QDeadlineTimer m_deadline;
    QTimer m_retry;
    Status m_status = Status::closed;
    Phase m_phase = Phase::version;
    quint32 m_pending = 0;
    int m_rowsDone = 0;
    Rectangle m_rectangle;
    quint16 m_rectanglesLeft = 0;
    bool m_updateAnswered = false;
    bool m_updateResized = false;
    bool m_requestOutstanding = false;
    QImage m_framebuffer;
    QString m_desktopName;
    bool m_extendedKeys = false;
    bool m_serverResizes = false;
    bool m_resizeRefused = false;
    bool m_resizeAvailable = false;
    quint32 m_screenId = 0;
    quint32 m_screenFlags = 0;
    /// Bumped by every reset, so parsing stops when a signal handler closed the connection.
    quint64 m_generation = 0;
};
