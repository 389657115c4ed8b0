// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <atomic>
#include <chrono>
#include <vector>

/**
 * The connected unix socket of a display session, read by one worker thread
 * that may block on it, written from any thread without blocking.
 *
 * Reads wait (in poll) until the bytes asked for are there, sending what
 * other threads queued with send() meanwhile, so a key press goes out at
 * once even in the middle of a large frame. Large reads go from the kernel
 * straight to their destination. A read ends with an exception when the
 * peer closes the socket, it fails, or stop() was called, and when no byte
 * came for `silenceLimit`: only the first byte of a message, read with
 * messageStart(), is waited for as long as it takes, since a server has
 * nothing to say while the screen stays the same, but one that falls silent
 * in the middle of a message is broken.
 *
 * Owns the socket descriptor (and a pipe to wake the worker).
 */
class RfbSocket
{
public:
    /// Why reading ended; `message` completes "The guest display …" for the user, empty after stop().
    struct Ended {
        QString message;
        /// The server hung up (end of stream or reset), rather than the socket failing otherwise.
        bool peerClosed = false;
    };

    /// Takes `descriptor`, a connected stream socket.
    RfbSocket(int descriptor, std::chrono::milliseconds silenceLimit);
    ~RfbSocket();
    RfbSocket(const RfbSocket &) = delete;
    RfbSocket &operator=(const RfbSocket &) = delete;

    /// Any thread: queue `bytes` to be sent by the reading thread.
    void send(const QByteArray &bytes);
    /// Any thread: make the reading thread's current and next reads end.
    void stop();

    // Reading thread only; each throws Ended.
    /// The first byte of the server's next message, however long it takes to come.
    quint8 messageStart();
    void read(char *destination, qsizetype length);
    quint8 u8();
    quint16 u16();
    quint32 u32();
    QByteArray bytes(qsizetype length);
    void skip(qint64 length);

private:
    /// Receives into `destination` what the buffer and the socket have, all `length` bytes unless it is the buffer's free space.
    void receive(char *destination, qsizetype length);
    /// Waits until the socket can be read, sending queued bytes meanwhile.
    void waitForInput();
    void sendQueued();
    qsizetype buffered() const { return m_end - m_begin; }
    /// Reads what the socket has into the buffer, at least one byte.
    void fill();

    const int m_socket;
    const std::chrono::milliseconds m_silenceLimit;
    /// Waiting for a message to begin, which may take any time.
    bool m_betweenMessages = false;
    int m_wake[2] { -1, -1 };
    std::atomic<bool> m_stopped { false };
    std::atomic<bool> m_pendingOutgoing { false };
    QMutex m_outgoingMutex;
    QByteArray m_outgoing;
    /// Owned by the reading thread: queued bytes it is sending, and the read buffer.
    QByteArray m_sending;
    std::vector<char> m_buffer;
    qsizetype m_begin = 0;
    qsizetype m_end = 0;
};
