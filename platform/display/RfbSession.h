// SPDX-License-Identifier: MIT
#pragma once

#include "RfbSessionState.h"
#include "RfbSocket.h"
#include "ZrleDecoder.h"

#include <QByteArray>
#include <QSize>

#include <functional>
#include <memory>

/**
 * The protocol half of RfbConnection: runs on a worker thread of its own,
 * reads the server's messages as they come (blocking on the socket), decodes
 * rectangles into the shared framebuffer and tells the GUI thread through
 * `notify` (called on the worker thread) that there is news in the shared
 * state. It ends when the server breaks the protocol or the connection, or
 * when stop() is called, and records why in the shared state.
 */
class RfbSession
{
public:
    RfbSession(int descriptor, std::shared_ptr<RfbSessionState> state, std::function<void()> notify);

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
    /// Records the news under the lock and makes sure the GUI thread hears of them.
    void publish(const std::function<void(RfbSessionState &)> &change);

    RfbSocket m_socket;
    std::shared_ptr<RfbSessionState> m_state;
    std::function<void()> m_notify;
    ZrleDecoder m_zrle;
    QByteArray m_compressed;
    QByteArray m_staging;
    QSize m_size;
    RfbSessionState::Server m_server;
    bool m_requestOutstanding = false;
    bool m_updateAnswered = false;
    bool m_updateResized = false;
};
