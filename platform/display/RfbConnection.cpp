// SPDX-License-Identifier: MIT
#include "RfbConnection.h"

#include "RfbMessage.h"
#include "RfbSession.h"

#include <QFile>
#include <QMutexLocker>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Client-to-server message types sent from the GUI thread.
constexpr quint8 keyEventMessage = 4;
constexpr quint8 pointerEventMessage = 5;
constexpr quint8 setDesktopSizeMessage = 251;
constexpr quint8 qemuClientMessage = 255;

/// A socket connected to `path`, or -1 with errno set. Connecting to a unix socket does not wait for the server.
int connectTo(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descriptor < 0)
        return -1;
    if (::connect(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

} // namespace

RfbConnection::RfbConnection(QObject *parent, std::chrono::milliseconds silenceLimit)
    : GuestDisplayConnection(parent)
    , m_silenceLimit(silenceLimit)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(retryInterval);
    connect(&m_retry, &QTimer::timeout, this, &RfbConnection::attempt);
}

RfbConnection::~RfbConnection() { reset(); }

void RfbConnection::open(SocketPathSource socketPath, std::chrono::milliseconds patience)
{
    reset();
    m_socketPath = std::move(socketPath);
    m_deadline = QDeadlineTimer(patience);
    setStatus(Status::connecting);
    attempt();
}

void RfbConnection::close()
{
    reset();
    setStatus(Status::closed);
}

void RfbConnection::attempt()
{
    const QString path = m_socketPath ? m_socketPath() : QString();
    if (path.isEmpty()) {
        if (m_deadline.hasExpired())
            fail(tr("The guest display could not be reached: the machine offers no display."));
        else
            m_retry.start();
        return;
    }
    const int descriptor = connectTo(path);
    if (descriptor >= 0) {
        start(descriptor);
        return;
    }
    const int error = errno;
    const bool notThereYet = error == ENOENT || error == ECONNREFUSED || error == EAGAIN;
    if (notThereYet && !m_deadline.hasExpired()) {
        m_retry.start();
        return;
    }
    fail(tr("The guest display could not be reached: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
}

void RfbConnection::start(int descriptor)
{
    m_state = std::make_shared<RfbSessionState>();
    const quint64 generation = m_generation;
    // Queued to this object: dropped when it is gone, and ignored once the session was reset.
    m_session = std::make_unique<RfbSession>(descriptor, m_silenceLimit, m_state, [this, generation] {
        QMetaObject::invokeMethod(this, [this, generation] { takeNews(generation); }, Qt::QueuedConnection);
    });
    m_worker = std::thread([session = m_session.get()] { session->run(); });
}

void RfbConnection::takeNews(quint64 generation)
{
    if (generation != m_generation || !m_state)
        return;
    bool connectedNow = false;
    bool resized = false;
    QRegion dirty;
    // The picture shown until now; let go of after the lock, unless the worker draws the next update into it.
    QImage previous;
    QByteArray heldRequest;
    std::optional<RfbSessionState::Cursor> cursor;
    std::optional<QString> ending;
    bool endedByServer = false;
    RfbSessionState::Server server;
    {
        RfbSessionState &state = *m_state;
        const QMutexLocker lock(&state.mutex);
        state.notified = false;
        if (!state.frame.isNull()) {
            // The worker's finished picture changes hands as it is; nothing is copied here.
            previous = std::exchange(m_framebuffer, std::exchange(state.frame, QImage()));
            resized = std::exchange(state.resized, false);
            if (!resized)
                state.spare = std::exchange(previous, QImage());
            dirty = std::exchange(state.dirty, QRegion());
            heldRequest = std::exchange(state.heldRequest, QByteArray());
        }
        connectedNow = state.connected && m_status != Status::connected && !m_framebuffer.isNull();
        // Whoever listens learns the framebuffer's size once it is connected.
        resized = resized || connectedNow;
        if (connectedNow)
            m_desktopName = state.desktopName;
        cursor = std::exchange(state.cursor, std::nullopt);
        ending = state.ending;
        endedByServer = state.endedByServer;
        server = state.server;
    }
    previous = QImage();
    if (!heldRequest.isEmpty())
        send(heldRequest);

    // Each signal's handler may close the connection; nothing more is said then.
    const auto stillOpen = [this, generation] { return generation == m_generation; };
    if (connectedNow) {
        setStatus(Status::connected);
        if (!stillOpen())
            return;
    }
    if (resized && m_status == Status::connected) {
        Q_EMIT framebufferResized(m_framebuffer.size());
        if (!stillOpen())
            return;
    }
    for (const QRect &area : dirty) {
        Q_EMIT framebufferUpdated(area);
        if (!stillOpen())
            return;
    }
    if (cursor) {
        Q_EMIT cursorChanged(cursor->shape, cursor->hotSpot);
        if (!stillOpen())
            return;
    }
    m_server = server;
    setResizeAvailable(canResizeDesktop());
    if (!stillOpen())
        return;
    if (!ending)
        return;
    if (ending->isEmpty()) {
        close();
    } else if (endedByServer && m_status == Status::connected) {
        // A machine that stops closes its display like this; whether that is a failure is for the owner to judge.
        close();
        Q_EMIT serverClosed();
    } else {
        fail(*ending);
    }
}

void RfbConnection::sendKey(quint32 keysym, quint32 scanCode, bool down)
{
    if (m_status != Status::connected)
        return;
    if (m_server.extendedKeys)
        send(RfbMessage().u8(qemuClientMessage).u8(0).u16(down ? 1 : 0).u32(keysym).u32(scanCode).bytes());
    else if (keysym != 0)
        send(RfbMessage().u8(keyEventMessage).u8(down ? 1 : 0).padding(2).u32(keysym).bytes());
}

void RfbConnection::sendPointer(QPoint position, quint8 buttons)
{
    if (m_status != Status::connected)
        return;
    const int x = std::clamp(position.x(), 0, m_framebuffer.width() - 1);
    const int y = std::clamp(position.y(), 0, m_framebuffer.height() - 1);
    send(RfbMessage().u8(pointerEventMessage).u8(buttons).u16(quint16(x)).u16(quint16(y)).bytes());
}

bool RfbConnection::canResizeDesktop() const { return m_status == Status::connected && m_server.resizes && !m_server.refusedResize; }

void RfbConnection::requestDesktopSize(QSize size)
{
    if (!canResizeDesktop())
        return;
    const QSize mode = size.expandedTo(minimumDesktopSize).boundedTo(maximumDesktopSize);
    RfbMessage message;
    message.u8(setDesktopSizeMessage).padding(1).u16(quint16(mode.width())).u16(quint16(mode.height())).u8(1).padding(1);
    message.u32(m_server.screenId).u16(0).u16(0).u16(quint16(mode.width())).u16(quint16(mode.height())).u32(m_server.screenFlags);
    send(message.bytes());
}

void RfbConnection::send(const QByteArray &bytes)
{
    if (m_session)
        m_session->send(bytes);
}

void RfbConnection::setStatus(Status status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

void RfbConnection::setResizeAvailable(bool available)
{
    if (m_resizeAvailable == available)
        return;
    m_resizeAvailable = available;
    Q_EMIT desktopResizeAvailabilityChanged(available);
}

void RfbConnection::fail(const QString &message)
{
    reset();
    setStatus(Status::closed);
    Q_EMIT disconnected(message);
}

void RfbConnection::reset()
{
    ++m_generation;
    m_retry.stop();
    if (m_session) {
        m_session->stop();
        m_worker.join();
        m_session.reset(); // closes the socket
    }
    m_state.reset();
    m_framebuffer = QImage();
    m_server = {};
    m_resizeAvailable = false;
}
