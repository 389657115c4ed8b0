// SPDX-License-Identifier: MIT
#include "RfbConnection.h"

#include <QLocalSocket>
#include <QtEndian>

#include <algorithm>
#include <array>

namespace {

// Client-to-server message types.
constexpr quint8 setPixelFormatMessage = 0;
constexpr quint8 setEncodingsMessage = 2;
constexpr quint8 updateRequestMessage = 3;
constexpr quint8 keyEventMessage = 4;
constexpr quint8 pointerEventMessage = 5;
constexpr quint8 setDesktopSizeMessage = 251;
constexpr quint8 qemuClientMessage = 255;

// Server-to-client message types.
constexpr quint8 framebufferUpdateMessage = 0;
constexpr quint8 colourMapMessage = 1;
constexpr quint8 bellMessage = 2;
constexpr quint8 cutTextMessage = 3;
constexpr quint8 qemuServerMessage = 255;
constexpr quint8 qemuAudioMessage = 1;
constexpr quint16 qemuAudioData = 2;

constexpr qint32 rawEncoding = 0;
constexpr qint32 desktopSizeEncoding = -223;
constexpr qint32 richCursorEncoding = -239;
constexpr qint32 qemuPointerEncoding = -257;
constexpr qint32 qemuKeyEncoding = -258;
constexpr qint32 ledStateEncoding = -261;
constexpr qint32 extendedDesktopSizeEncoding = -308;

constexpr quint8 securityNone = 1;
constexpr quint32 maximumReasonLength = 64 * 1024;
constexpr quint32 maximumAudioChunk = 16 * 1024 * 1024;
constexpr quint8 maximumScreens = 16;
// ExtendedDesktopSize: the reason "this client's request" and the statuses that still allow asking.
constexpr quint16 resizeByThisClient = 1;
constexpr quint16 resizeAccepted = 0;
constexpr quint16 resizeForwarded = 4;

quint16 u16(const char *bytes) { return qFromBigEndian<quint16>(bytes); }

quint32 u32(const char *bytes) { return qFromBigEndian<quint32>(bytes); }

/// Builds a big-endian message.
class Message
{
public:
    Message &u8(quint8 value)
    {
        m_bytes.append(char(value));
        return *this;
    }
    Message &u16(quint16 value)
    {
        std::array<char, 2> raw {};
        qToBigEndian(value, raw.data());
        m_bytes.append(raw.data(), raw.size());
        return *this;
    }
    Message &u32(quint32 value)
    {
        std::array<char, 4> raw {};
        qToBigEndian(value, raw.data());
        m_bytes.append(raw.data(), raw.size());
        return *this;
    }
    Message &padding(int count)
    {
        m_bytes.append(count, '\0');
        return *this;
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

QString sizeText(QSize size) { return QString::number(size.width()) + QChar(0x00D7) + QString::number(size.height()); }

} // namespace

RfbConnection::RfbConnection(QObject *parent)
    : GuestDisplayConnection(parent)
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
    m_socket = new QLocalSocket(this);
    connect(m_socket, &QLocalSocket::readyRead, this, &RfbConnection::processInput);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &RfbConnection::handleSocketError);
    connect(m_socket, &QLocalSocket::disconnected, this, &RfbConnection::handleSocketDisconnected);
    m_socket->connectToServer(path);
}

void RfbConnection::handleSocketError()
{
    if (!m_socket)
        return;
    const QLocalSocket::LocalSocketError error = m_socket->error();
    const bool notThereYet = error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError;
    if (m_status == Status::connecting && m_phase == Phase::version && notThereYet && !m_deadline.hasExpired()) {
        m_socket->disconnect(this);
        m_socket->deleteLater();
        m_socket = nullptr;
        m_retry.start();
        return;
    }
    if (error == QLocalSocket::PeerClosedError) {
        handleSocketDisconnected();
        return;
    }
    fail(tr("The guest display could not be reached: %1").arg(m_socket->errorString()));
}

void RfbConnection::handleSocketDisconnected()
{
    if (m_status == Status::connected) {
        // A machine that stops closes its display like this; whether that is a failure is for the owner to judge.
        reset();
        setStatus(Status::closed);
        Q_EMIT serverClosed();
    } else if (m_status != Status::closed) {
        fail(tr("The guest display closed the connection."));
    }
}

void RfbConnection::processInput()
{
    const quint64 generation = m_generation;
    while (m_generation == generation && m_socket && step()) { }
}

bool RfbConnection::step()
{
    const qint64 available = m_socket->bytesAvailable();
    switch (m_phase) {
    case Phase::version: {
        if (available < 12)
            return false;
        const QByteArray version = m_socket->read(12);
        if (!version.startsWith("RFB 003.") || version.at(11) != '\n' || version.mid(8, 3).toInt() < 8) {
            fail(tr("The guest display speaks a protocol this console does not know."));
            return false;
        }
        write(QByteArrayLiteral("RFB 003.008\n"));
        m_phase = Phase::securityTypes;
        return true;
    }
    case Phase::securityTypes: {
        if (available < 1)
            return false;
        const quint8 count = quint8(m_socket->peek(1).at(0));
        if (count == 0) {
            m_socket->read(1);
            m_phase = Phase::failureReason;
            return true;
        }
        if (available < 1 + count)
            return false;
        const QByteArray types = m_socket->read(1 + count).mid(1);
        if (!types.contains(char(securityNone))) {
            fail(tr("The guest display asks for a kind of security this console does not offer."));
            return false;
        }
        write(Message().u8(securityNone).bytes());
        m_phase = Phase::securityResult;
        return true;
    }
    case Phase::securityResult: {
        if (available < 4)
            return false;
        if (u32(m_socket->read(4).constData()) != 0) {
            m_phase = Phase::failureReason;
            return true;
        }
        write(Message().u8(1).bytes()); // shared: other viewers stay connected
        m_phase = Phase::serverInit;
        return true;
    }
    case Phase::failureReason: {
        if (available < 4)
            return false;
        const quint32 length = u32(m_socket->peek(4).constData());
        if (length > maximumReasonLength) {
            fail(tr("The guest display refused the connection."));
            return false;
        }
        if (available < 4 + qint64(length))
            return false;
        const QString reason = QString::fromUtf8(m_socket->read(4 + length).mid(4));
        fail(tr("The guest display refused the connection: %1").arg(reason));
        return false;
    }
    case Phase::serverInit: {
        if (available < 24)
            return false;
        const QByteArray header = m_socket->peek(24);
        const quint32 nameLength = u32(header.constData() + 20);
        if (nameLength > maximumReasonLength) {
            fail(tr("The guest display sent data this console cannot read."));
            return false;
        }
        if (available < 24 + qint64(nameLength))
            return false;
        m_desktopName = QString::fromUtf8(m_socket->read(24 + nameLength).mid(24));
        if (!resizeFramebuffer(u16(header.constData()), u16(header.constData() + 2)))
            return false;
        sendClientSetup();
        m_phase = Phase::message;
        setStatus(Status::connected);
        Q_EMIT framebufferResized(m_framebuffer.size());
        return true;
    }
    case Phase::message:
        return stepMessage();
    case Phase::updateHeader: {
        if (available < 4)
            return false;
        m_rectanglesLeft = u16(m_socket->read(4).constData() + 2);
        m_updateAnswered = m_rectanglesLeft == 0;
        m_updateResized = false;
        if (m_rectanglesLeft == 0)
            finishUpdate();
        else
            m_phase = Phase::rectangleHeader;
        return true;
    }
    case Phase::rectangleHeader:
        return stepRectangleHeader();
    case Phase::rawPixels:
        return stepRawPixels();
    case Phase::richCursor:
        return stepRichCursor();
    case Phase::extendedDesktopSize:
        return stepExtendedDesktopSize();
    case Phase::ledState:
        if (available < 1)
            return false;
        m_socket->read(1);
        finishRectangle();
        return true;
    case Phase::colourMap: {
        if (available < 6)
            return false;
        m_pending = quint32(u16(m_socket->read(6).constData() + 4)) * 6;
        m_phase = Phase::skip;
        return true;
    }
    case Phase::cutText: {
        if (available < 8)
            return false;
        const quint32 length = u32(m_socket->peek(8).constData() + 4);
        if (length > maximumCutTextLength) {
            fail(tr("The guest display sent a clipboard text larger than 1 MiB."));
            return false;
        }
        m_socket->read(8);
        m_pending = length;
        m_phase = Phase::skip;
        return true;
    }
    case Phase::qemuMessage: {
        if (available < 2)
            return false;
        if (quint8(m_socket->peek(2).at(1)) != qemuAudioMessage) {
            fail(tr("The guest display sent data this console cannot read."));
            return false;
        }
        m_phase = Phase::qemuAudio;
        return true;
    }
    case Phase::qemuAudio: {
        if (available < 4)
            return false;
        const QByteArray header = m_socket->peek(8);
        if (u16(header.constData() + 2) != qemuAudioData) {
            m_socket->read(4);
            m_phase = Phase::message;
            return true;
        }
        if (available < 8)
            return false;
        const quint32 length = u32(header.constData() + 4);
        if (length > maximumAudioChunk) {
            fail(tr("The guest display sent data this console cannot read."));
            return false;
        }
        m_socket->read(8);
        m_pending = length;
        m_phase = Phase::skip;
        return true;
    }
    case Phase::skip: {
        if (m_pending == 0) {
            m_phase = Phase::message;
            return true;
        }
        if (available == 0)
            return false;
        const qint64 chunk = std::min<qint64>(available, m_pending);
        m_socket->skip(chunk);
        m_pending -= quint32(chunk);
        return true;
    }
    }
    return false;
}

bool RfbConnection::stepMessage()
{
    if (m_socket->bytesAvailable() < 1)
        return false;
    const quint8 type = quint8(m_socket->peek(1).at(0));
    switch (type) {
    case framebufferUpdateMessage:
        m_phase = Phase::updateHeader;
        return true;
    case colourMapMessage:
        m_phase = Phase::colourMap;
        return true;
    case bellMessage:
        m_socket->read(1);
        return true;
    case cutTextMessage:
        m_phase = Phase::cutText;
        return true;
    case qemuServerMessage:
        m_phase = Phase::qemuMessage;
        return true;
    default:
        fail(tr("The guest display sent data this console cannot read (message type %1).").arg(type));
        return false;
    }
}

bool RfbConnection::stepRectangleHeader()
{
    if (m_socket->bytesAvailable() < 12)
        return false;
    const QByteArray header = m_socket->read(12);
    const char *bytes = header.constData();
    m_rectangle = { u16(bytes), u16(bytes + 2), u16(bytes + 4), u16(bytes + 6), qint32(u32(bytes + 8)) };
    const Rectangle &r = m_rectangle;
    switch (r.encoding) {
    case rawEncoding:
        if (int(r.x) + r.width > m_framebuffer.width() || int(r.y) + r.height > m_framebuffer.height()) {
            fail(tr("The guest display sent a rectangle outside its screen."));
            return false;
        }
        m_updateAnswered = true;
        m_rowsDone = 0;
        if (r.width == 0 || r.height == 0)
            finishRectangle();
        else
            m_phase = Phase::rawPixels;
        return true;
    case desktopSizeEncoding:
        if (!resizeFramebuffer(r.width, r.height))
            return false;
        finishRectangle();
        return true;
    case extendedDesktopSizeEncoding:
        m_phase = Phase::extendedDesktopSize;
        return true;
    case richCursorEncoding:
        if (r.width > maximumCursorSide || r.height > maximumCursorSide) {
            fail(tr("The guest display sent a pointer shape this console cannot read."));
            return false;
        }
        m_phase = Phase::richCursor;
        return true;
    case qemuKeyEncoding:
        m_extendedKeys = true;
        finishRectangle();
        return true;
    case qemuPointerEncoding:
        finishRectangle();
        return true;
    case ledStateEncoding:
        m_phase = Phase::ledState;
        return true;
    default:
        fail(tr("The guest display sent data this console cannot read (encoding %1).").arg(r.encoding));
        return false;
    }
}

bool RfbConnection::stepRawPixels()
{
    const Rectangle &r = m_rectangle;
    const qint64 rowBytes = qint64(r.width) * 4;
    const quint64 generation = m_generation;
    while (m_rowsDone < r.height && m_socket->bytesAvailable() >= rowBytes) {
        auto *row = reinterpret_cast<quint32 *>(m_framebuffer.scanLine(r.y + m_rowsDone)) + r.x;
        m_socket->read(reinterpret_cast<char *>(row), rowBytes);
        // The server leaves the padding byte at zero; RGB32 wants it opaque.
        for (int column = 0; column < r.width; ++column)
            row[column] |= 0xFF000000u;
        ++m_rowsDone;
    }
    if (m_rowsDone < r.height)
        return false;
    Q_EMIT framebufferUpdated(QRect(r.x, r.y, r.width, r.height));
    if (m_generation != generation)
        return false;
    finishRectangle();
    return true;
}

bool RfbConnection::stepRichCursor()
{
    const Rectangle &r = m_rectangle;
    const qint64 pixelBytes = qint64(r.width) * r.height * 4;
    const int maskStride = (r.width + 7) / 8;
    if (m_socket->bytesAvailable() < pixelBytes + qint64(maskStride) * r.height)
        return false;
    const QByteArray pixels = m_socket->read(pixelBytes);
    const QByteArray mask = m_socket->read(qint64(maskStride) * r.height);
    QImage shape;
    if (r.width > 0 && r.height > 0) {
        shape = QImage(r.width, r.height, QImage::Format_ARGB32);
        for (int y = 0; y < r.height; ++y) {
            auto *line = reinterpret_cast<quint32 *>(shape.scanLine(y));
            for (int x = 0; x < r.width; ++x) {
                const quint32 pixel = qFromLittleEndian<quint32>(pixels.constData() + (qint64(y) * r.width + x) * 4) & 0x00FFFFFFu;
                const bool opaque = quint8(mask.at(y * maskStride + x / 8)) & (0x80 >> (x % 8));
                line[x] = opaque ? (pixel | 0xFF000000u) : 0u;
            }
        }
    }
    const QPoint hotSpot(std::min<int>(r.x, std::max(0, r.width - 1)), std::min<int>(r.y, std::max(0, r.height - 1)));
    const quint64 generation = m_generation;
    Q_EMIT cursorChanged(shape, hotSpot);
    if (m_generation != generation)
        return false;
    finishRectangle();
    return true;
}

bool RfbConnection::stepExtendedDesktopSize()
{
    const qint64 available = m_socket->bytesAvailable();
    if (available < 4)
        return false;
    const quint8 screens = quint8(m_socket->peek(1).at(0));
    if (screens > maximumScreens) {
        fail(tr("The guest display sent data this console cannot read."));
        return false;
    }
    const qint64 length = 4 + qint64(screens) * 16;
    if (available < length)
        return false;
    const QByteArray body = m_socket->read(length);
    if (screens > 0) {
        // QEMU has one screen and numbers it 0, a valid id like any other.
        m_screenId = u32(body.constData() + 4);
        m_screenFlags = u32(body.constData() + 16);
    }
    const Rectangle &r = m_rectangle;
    const quint16 reason = r.x;
    const quint16 status = r.y;
    if (reason == resizeByThisClient && status != resizeAccepted && status != resizeForwarded)
        m_resizeRefused = true;
    m_serverResizes = true;
    setResizeAvailable(canResizeDesktop());
    if (!resizeFramebuffer(r.width, r.height))
        return false;
    finishRectangle();
    return true;
}

void RfbConnection::finishRectangle()
{
    if (--m_rectanglesLeft == 0)
        finishUpdate();
    else
        m_phase = Phase::rectangleHeader;
}

void RfbConnection::finishUpdate()
{
    m_phase = Phase::message;
    if (m_updateResized) {
        requestUpdate(false);
        return;
    }
    // QEMU also sends updates of pseudo-rectangles alone (after SetEncodings); they answer no request.
    if (m_updateAnswered)
        m_requestOutstanding = false;
    if (!m_requestOutstanding)
        requestUpdate(true);
}

void RfbConnection::sendClientSetup()
{
    Message pixelFormat;
    pixelFormat.u8(setPixelFormatMessage).padding(3);
    // 32 bits per pixel, depth 24, little-endian, true colour, 8 bits each: QImage::Format_RGB32's layout in memory.
    pixelFormat.u8(32).u8(24).u8(0).u8(1).u16(255).u16(255).u16(255).u8(16).u8(8).u8(0).padding(3);
    write(pixelFormat.bytes());

    static constexpr std::array<qint32, 7> encodings { rawEncoding, extendedDesktopSizeEncoding, desktopSizeEncoding, richCursorEncoding,
        qemuPointerEncoding, qemuKeyEncoding, ledStateEncoding };
    Message setEncodings;
    setEncodings.u8(setEncodingsMessage).padding(1).u16(quint16(encodings.size()));
    for (const qint32 encoding : encodings)
        setEncodings.u32(quint32(encoding));
    write(setEncodings.bytes());
    requestUpdate(false);
}

void RfbConnection::requestUpdate(bool incremental)
{
    write(Message()
              .u8(updateRequestMessage)
              .u8(incremental ? 1 : 0)
              .u16(0)
              .u16(0)
              .u16(quint16(m_framebuffer.width()))
              .u16(quint16(m_framebuffer.height()))
              .bytes());
    m_requestOutstanding = true;
}

bool RfbConnection::resizeFramebuffer(int width, int height)
{
    const QSize size(width, height);
    if (width <= 0 || height <= 0 || width > maximumDesktopSize.width() || height > maximumDesktopSize.height()) {
        fail(tr("The guest display asked for a screen of %1 pixels; this console shows at most %2.")
                 .arg(sizeText(size), sizeText(maximumDesktopSize)));
        return false;
    }
    if (m_framebuffer.size() == size)
        return true;
    m_framebuffer = QImage(size, QImage::Format_RGB32);
    m_framebuffer.fill(Qt::black);
    m_updateResized = true;
    if (m_status == Status::connected) {
        const quint64 generation = m_generation;
        Q_EMIT framebufferResized(size);
        return m_generation == generation;
    }
    return true;
}

void RfbConnection::sendKey(quint32 keysym, quint32 scanCode, bool down)
{
    if (m_status != Status::connected)
        return;
    if (m_extendedKeys)
        write(Message().u8(qemuClientMessage).u8(0).u16(down ? 1 : 0).u32(keysym).u32(scanCode).bytes());
    else if (keysym != 0)
        write(Message().u8(keyEventMessage).u8(down ? 1 : 0).padding(2).u32(keysym).bytes());
    m_socket->flush();
}

void RfbConnection::sendPointer(QPoint position, quint8 buttons)
{
    if (m_status != Status::connected)
        return;
    const int x = std::clamp(position.x(), 0, m_framebuffer.width() - 1);
    const int y = std::clamp(position.y(), 0, m_framebuffer.height() - 1);
    write(Message().u8(pointerEventMessage).u8(buttons).u16(quint16(x)).u16(quint16(y)).bytes());
    m_socket->flush();
}

bool RfbConnection::canResizeDesktop() const { return m_status == Status::connected && m_serverResizes && !m_resizeRefused; }

void RfbConnection::requestDesktopSize(QSize size)
{
    if (!canResizeDesktop())
        return;
    const QSize mode = size.expandedTo(minimumDesktopSize).boundedTo(maximumDesktopSize);
    Message message;
    message.u8(setDesktopSizeMessage).padding(1).u16(quint16(mode.width())).u16(quint16(mode.height())).u8(1).padding(1);
    message.u32(m_screenId).u16(0).u16(0).u16(quint16(mode.width())).u16(quint16(mode.height())).u32(m_screenFlags);
    write(message.bytes());
    m_socket->flush();
}

void RfbConnection::write(const QByteArray &bytes)
{
    if (m_socket)
        m_socket->write(bytes);
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
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_phase = Phase::version;
    m_pending = 0;
    m_rowsDone = 0;
    m_rectanglesLeft = 0;
    m_requestOutstanding = false;
    m_framebuffer = QImage();
    m_extendedKeys = false;
    m_serverResizes = false;
    m_resizeRefused = false;
    m_resizeAvailable = false;
    m_screenId = 0;
    m_screenFlags = 0;
}
