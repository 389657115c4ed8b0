// SPDX-License-Identifier: MIT
#pragma once

#include "RfbSessionState.h"
#include "RfbSocket.h"
#include "ZrleDecoder.h"

#include <QByteArray>
#include <QImage>
#include <QRegion>
#include <QSize>

#include <chrono>
#include <functional>
#include <memory>

/**
 * The protocol half of RfbConnection: runs on a worker thread of its own,
 * reads the server's messages as they come (blocking on the socket), decodes
 * rectangles into a picture of its own and tells the GUI thread through
 * `notify` (called on the worker thread) that there is news in the shared
 * state. It ends when the server breaks the protocol or the connection, or
 * falls silent in the middle of a message, or when stop() is called, and
 * records why in the shared state.
 *
 * Two pictures of the screen take turns: the worker draws an update into
 * one while the GUI thread shows the other, then hands the finished one over
 * whole and draws the next update into the one the GUI thread let go of;
 * before handing that over, it brings in what the last update changed and
 * this one did not draw over. Nothing is copied on the GUI thread, and when
 * each update redraws what the one before it drew (a scrolling terminal,
 * whole frames) nothing is copied at all.
 */
class RfbSession
{
public:
    RfbSession(
        int descriptor, std::chrono::milliseconds silenceLimit, std::shared_ptr<RfbSessionState> state, std::function<void()> notify);

    /// The worker thread's body; returns when the session has ended.
    void run();
    /// Any thread.
    void stop() { m_socket.stop(); }
    /// Any thread: a client message for the server.
    void send(const QByteArray &bytes) { m_socket.send(bytes); }

private:
    struct Rectangle {
        quint16 x = 0;
        quint16 y = 0;
        quint16 width = 0;
        quint16 height = 0;
        qint32 encoding = 0;
    };

    void handshake();
    void sendClientSetup();
    void readMessage();
    void readUpdate();
    void readRectangle();
    void readRawPixels(const Rectangle &r);
    void readZrle(const Rectangle &r);
    void readRichCursor(const Rectangle &r);
    void readExtendedDesktopSize(const Rectangle &r);
    void requestUpdate(bool incremental);
    void resizeFramebuffer(int width, int height);
    void checkInside(const Rectangle &r) const;
    /// The picture to draw into, taken back from the shared state when the worker has none.
    QImage &canvas();
    /// `area` of the canvas was drawn.
    void drew(QRect area);
    /// Hands the canvas to the GUI thread, with what was drawn since the last time.
    void publishUpdate();
    /// Records the news under the lock and makes sure the GUI thread hears of them.
    void publish(const std::function<void(RfbSessionState &)> &change);

    RfbSocket m_socket;
    std::shared_ptr<RfbSessionState> m_state;
    std::function<void()> m_notify;
    ZrleDecoder m_zrle;
    QByteArray m_compressed;
    QByteArray m_staging;
    QSize m_size;
    /// The picture being drawn into, owned by the worker alone; null while it is with the GUI thread.
    QImage m_canvas;
    /// The newest picture handed over (shared with the GUI thread, only read here).
    QImage m_shown;
    /// Where the canvas is ahead of the other picture.
    QRegion m_ahead;
    /// Where the canvas, taken back from the GUI thread, is behind the picture shown (m_shown) until it is handed over.
    QRegion m_behind;
    /// Where the canvas was drawn since it was last handed over.
    QRegion m_unpublished;
    RfbSessionState::Server m_server;
    bool m_requestOutstanding = false;
    bool m_updateAnswered = false;
    bool m_updateResized = false;
};
