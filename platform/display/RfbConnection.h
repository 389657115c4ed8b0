// SPDX-License-Identifier: MIT
#pragma once

#include "GuestDisplayConnection.h"

#include "RfbSessionState.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTimer>

#include <memory>
#include <thread>

class RfbSession;

/**
 * A client of the RFB protocol (version 3.8, security None) as QEMU's VNC
 * server speaks it on a unix socket private to the user. It asks for 32-bit
 * pixels laid out as QImage::Format_RGB32, for the ZRLE and Raw encodings,
 * and for the pseudo-encodings DesktopSize, ExtendedDesktopSize (QEMU
 * numbers its only screen 0), RichCursor, QEMU's extended key events (scan
 * codes) and QEMU's absolute pointer. One update request is outstanding at a
 * time: the next one goes out when an update has been taken in, so a slow
 * reader never builds a backlog.
 *
 * The socket is read and the pixels decoded on a worker thread of the
 * connection's own (RfbSession), so a large frame never holds up the GUI
 * thread: the worker hands each finished picture over whole, implicitly
 * shared, and the GUI thread makes it framebuffer() and signals what
 * changed, taking several server updates at once when it falls behind. Its
 * work per update is the same for a small screen and a 5120×2160 one, and
 * two pictures of the screen exist at a time. Keys and pointer events go
 * out from the worker at once, also in the middle of a frame. A server that
 * sends something this client cannot take (a rectangle outside the
 * framebuffer, a size above 5120×2160, an unknown message or encoding,
 * malformed compressed data, an oversized cut text) is disconnected with a
 * message for the user, and so is one that falls silent for `silenceLimit`
 * in the middle of a message or of the handshake; between messages a server
 * may stay silent as long as it likes.
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
    static constexpr std::chrono::milliseconds retryInterval { 100 };
    /// How long a server may fall silent in the middle of a message before the display counts as broken.
    static constexpr std::chrono::seconds messageTimeout { 10 };

    explicit RfbConnection(QObject *parent = nullptr, std::chrono::milliseconds silenceLimit = messageTimeout);
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
    void attempt();
    /// Starts the worker on a connected socket.
    void start(int descriptor);
    /// Takes what the worker of session `generation` left in the shared state.
    void takeNews(quint64 generation);
    void send(const QByteArray &bytes);
    void setStatus(Status status);
    void setResizeAvailable(bool available);
    /// Ends the connection and reports `message` (a clause completing "The guest display was disconnected: ").
    void fail(const QString &message);
    void reset();

    const std::chrono::milliseconds m_silenceLimit;
    SocketPathSource m_socketPath;
    QDeadlineTimer m_deadline;
    QTimer m_retry;
    Status m_status = Status::closed;
    std::shared_ptr<RfbSessionState> m_state;
    std::unique_ptr<RfbSession> m_session;
    std::thread m_worker;
    QImage m_framebuffer;
    QString m_desktopName;
    RfbSessionState::Server m_server;
    bool m_resizeAvailable = false;
    /// Bumped by every reset, so news of an ended session and parsing after a signal handler closed the connection are dropped.
    quint64 m_generation = 0;
};
