// SPDX-License-Identifier: MIT
#include "RfbSession.h"

#include "GuestDisplayConnection.h"
#include "RfbMessage.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Client-to-server message types.
constexpr quint8 setPixelFormatMessage = 0;
constexpr quint8 setEncodingsMessage = 2;
constexpr quint8 updateRequestMessage = 3;

// Server-to-client message types.
constexpr quint8 framebufferUpdateMessage = 0;
constexpr quint8 colourMapMessage = 1;
constexpr quint8 bellMessage = 2;
constexpr quint8 cutTextMessage = 3;
constexpr quint8 qemuServerMessage = 255;
constexpr quint8 qemuAudioMessage = 1;
constexpr quint16 qemuAudioData = 2;

constexpr qint32 rawEncoding = 0;
constexpr qint32 zrleEncoding = 16;
constexpr qint32 desktopSizeEncoding = -223;
constexpr qint32 richCursorEncoding = -239;
constexpr qint32 qemuPointerEncoding = -257;
constexpr qint32 qemuKeyEncoding = -258;
constexpr qint32 ledStateEncoding = -261;
constexpr qint32 extendedDesktopSizeEncoding = -308;

constexpr quint8 securityNone = 1;
constexpr quint32 maximumReasonLength = 64 * 1024;
constexpr quint32 maximumAudioChunk = 16 * 1024 * 1024;
constexpr quint32 maximumCutTextLength = 1024 * 1024;
constexpr int maximumCursorSide = 256;
constexpr quint8 maximumScreens = 16;
// ExtendedDesktopSize: the reason "this client's request" and the statuses that still allow asking.
constexpr quint16 resizeByThisClient = 1;
constexpr quint16 resizeAccepted = 0;
constexpr quint16 resizeForwarded = 4;
/// Raw pixels are read in batches of rows of about this size, small enough to stay in the cache while they are converted.
constexpr qsizetype rawBatchBytes = 256 * 1024;

QString text(const char *sentence) { return QCoreApplication::translate("RfbConnection", sentence); }

[[noreturn]] void refuse(const QString &message) { throw RfbSocket::Ended { message }; }

[[noreturn]] void unreadable() { refuse(text("The guest display sent data this console cannot read.")); }

QString sizeText(QSize size) { return QString::number(size.width()) + QChar(0x00D7) + QString::number(size.height()); }

/// Copies a row of Raw pixels, making each opaque: the server leaves the padding byte at zero, RGB32 wants it 0xFF.
void copyOpaque(const char *source, quint32 *target, int count)
{
    // Two pixels a step; the compiler widens this further.
    auto *out = reinterpret_cast<uchar *>(target);
    const int pairs = count / 2;
    for (int pair = 0; pair < pairs; ++pair) {
        quint64 word = 0;
        std::memcpy(&word, source + pair * 8, 8);
        word |= 0xFF000000FF000000ull;
        std::memcpy(out + pair * 8, &word, 8);
    }
    if (count % 2 != 0) {
        quint32 last = 0;
        std::memcpy(&last, source + (count - 1) * 4, 4);
        target[count - 1] = last | 0xFF000000u;
    }
}

/// Copies `area` of `source` into the same place of `target`, an image of the same size and format.
void copyArea(const QImage &source, QImage &target, QRect area)
{
    const qsizetype bytes = qsizetype(area.width()) * 4;
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memcpy(target.scanLine(y) + qsizetype(area.x()) * 4, source.constScanLine(y) + qsizetype(area.x()) * 4, size_t(bytes));
}

} // namespace

RfbSession::RfbSession(
    int descriptor, std::chrono::milliseconds silenceLimit, std::shared_ptr<RfbSessionState> state, std::function<void()> notify)
    : m_socket(descriptor, silenceLimit)
    , m_state(std::move(state))
    , m_notify(std::move(notify))
{
}

void RfbSession::run()
{
    QString ending;
    bool endedByServer = false;
    try {
        handshake();
        for (;;)
            readMessage();
    } catch (const RfbSocket::Ended &ended) {
        ending = ended.message;
        endedByServer = ended.peerClosed;
    }
    publish([&](RfbSessionState &state) {
        state.ending = ending;
        state.endedByServer = endedByServer;
    });
}

void RfbSession::publish(const std::function<void(RfbSessionState &)> &change)
{
    bool notify = false;
    {
        const QMutexLocker lock(&m_state->mutex);
        change(*m_state);
        notify = !std::exchange(m_state->notified, true);
    }
    if (notify)
        m_notify();
}

void RfbSession::handshake()
{
    const QByteArray version = m_socket.bytes(12);
    if (!version.startsWith("RFB 003.") || version.at(11) != '\n' || version.mid(8, 3).toInt() < 8)
        refuse(text("The guest display speaks a protocol this console does not know."));
    m_socket.send(QByteArrayLiteral("RFB 003.008\n"));

    const quint8 count = m_socket.u8();
    bool refused = count == 0;
    if (!refused) {
        if (!m_socket.bytes(count).contains(char(securityNone)))
            refuse(text("The guest display asks for a kind of security this console does not offer."));
        m_socket.send(RfbMessage().u8(securityNone).bytes());
        refused = m_socket.u32() != 0;
    }
    if (refused) {
        const quint32 length = m_socket.u32();
        if (length > maximumReasonLength)
            refuse(text("The guest display refused the connection."));
        refuse(text("The guest display refused the connection: %1").arg(QString::fromUtf8(m_socket.bytes(length))));
    }
    m_socket.send(RfbMessage().u8(1).bytes()); // shared: other viewers stay connected

    const QByteArray header = m_socket.bytes(24);
    const quint32 nameLength = qFromBigEndian<quint32>(header.constData() + 20);
    if (nameLength > maximumReasonLength)
        unreadable();
    const QString name = QString::fromUtf8(m_socket.bytes(nameLength));
    resizeFramebuffer(qFromBigEndian<quint16>(header.constData()), qFromBigEndian<quint16>(header.constData() + 2));
    m_updateResized = false;
    sendClientSetup();
    publish([&](RfbSessionState &state) {
        state.connected = true;
        state.desktopName = name;
    });
}

void RfbSession::sendClientSetup()
{
    RfbMessage pixelFormat;
    pixelFormat.u8(setPixelFormatMessage).padding(3);
    // 32 bits per pixel, depth 24, little-endian, true colour, 8 bits each: QImage::Format_RGB32's layout in memory.
    pixelFormat.u8(32).u8(24).u8(0).u8(1).u16(255).u16(255).u16(255).u8(16).u8(8).u8(0).padding(3);
    m_socket.send(pixelFormat.bytes());

    // The server takes the first it knows. ZRLE goes before Raw: QEMU's screens (firmware, consoles, desktops)
    // compress to a few percent, and inflating them costs the client less than taking the Raw bytes in, even
    // from a unix socket (see bench/GuestDisplayBench.cpp).
    static constexpr std::array<qint32, 8> encodings { zrleEncoding, rawEncoding, extendedDesktopSizeEncoding, desktopSizeEncoding,
        richCursorEncoding, qemuPointerEncoding, qemuKeyEncoding, ledStateEncoding };
    RfbMessage setEncodings;
    setEncodings.u8(setEncodingsMessage).padding(1).u16(quint16(encodings.size()));
    for (const qint32 encoding : encodings)
        setEncodings.u32(quint32(encoding));
    m_socket.send(setEncodings.bytes());
    requestUpdate(false);
}

void RfbSession::requestUpdate(bool incremental)
{
    const QByteArray request = RfbMessage()
                                   .u8(updateRequestMessage)
                                   .u8(incremental ? 1 : 0)
                                   .u16(0)
                                   .u16(0)
                                   .u16(quint16(m_size.width()))
                                   .u16(quint16(m_size.height()))
                                   .bytes();
    m_requestOutstanding = true;
    bool taken = false;
    {
        // Until the GUI thread has taken the last picture, the request waits with it: a slow GUI thread slows the server down.
        const QMutexLocker lock(&m_state->mutex);
        taken = m_state->frame.isNull();
        m_state->heldRequest = taken ? QByteArray() : request;
    }
    if (taken)
        m_socket.send(request);
}

void RfbSession::readMessage()
{
    const quint8 type = m_socket.messageStart();
    switch (type) {
    case framebufferUpdateMessage:
        readUpdate();
        return;
    case colourMapMessage:
        m_socket.skip(3);
        m_socket.skip(qint64(m_socket.u16()) * 6);
        return;
    case bellMessage:
        return;
    case cutTextMessage: {
        m_socket.skip(3);
        const quint32 length = m_socket.u32();
        if (length > maximumCutTextLength)
            refuse(text("The guest display sent a clipboard text larger than 1 MiB."));
        m_socket.skip(length);
        return;
    }
    case qemuServerMessage: {
        if (m_socket.u8() != qemuAudioMessage)
            unreadable();
        if (m_socket.u16() != qemuAudioData)
            return;
        const quint32 length = m_socket.u32();
        if (length > maximumAudioChunk)
            unreadable();
        m_socket.skip(length);
        return;
    }
    default:
        refuse(text("The guest display sent data this console cannot read (message type %1).").arg(type));
    }
}

void RfbSession::readUpdate()
{
    m_socket.skip(1);
    const quint16 rectangles = m_socket.u16();
    // QEMU also sends updates of pseudo-rectangles alone (after SetEncodings); they answer no request.
    m_updateAnswered = rectangles == 0;
    m_updateResized = false;
    for (quint16 index = 0; index < rectangles; ++index)
        readRectangle();
    publishUpdate();
    if (m_updateResized) {
        requestUpdate(false);
        return;
    }
    if (m_updateAnswered)
        m_requestOutstanding = false;
    if (!m_requestOutstanding)
        requestUpdate(true);
}

void RfbSession::checkInside(const Rectangle &r) const
{
    if (int(r.x) + r.width > m_size.width() || int(r.y) + r.height > m_size.height())
        refuse(text("The guest display sent a rectangle outside its screen."));
}

void RfbSession::readRectangle()
{
    const QByteArray header = m_socket.bytes(12);
    const char *bytes = header.constData();
    const Rectangle r { qFromBigEndian<quint16>(bytes), qFromBigEndian<quint16>(bytes + 2), qFromBigEndian<quint16>(bytes + 4),
        qFromBigEndian<quint16>(bytes + 6), qint32(qFromBigEndian<quint32>(bytes + 8)) };
    switch (r.encoding) {
    case rawEncoding:
        checkInside(r);
        m_updateAnswered = true;
        readRawPixels(r);
        return;
    case zrleEncoding:
        checkInside(r);
        m_updateAnswered = true;
        readZrle(r);
        return;
    case desktopSizeEncoding:
        resizeFramebuffer(r.width, r.height);
        return;
    case extendedDesktopSizeEncoding:
        readExtendedDesktopSize(r);
        return;
    case richCursorEncoding:
        if (r.width > maximumCursorSide || r.height > maximumCursorSide)
            refuse(text("The guest display sent a pointer shape this console cannot read."));
        readRichCursor(r);
        return;
    case qemuKeyEncoding:
        m_server.extendedKeys = true;
        return;
    case qemuPointerEncoding:
        return;
    case ledStateEncoding:
        m_socket.skip(1);
        return;
    default:
        refuse(text("The guest display sent data this console cannot read (encoding %1).").arg(r.encoding));
    }
}

void RfbSession::readRawPixels(const Rectangle &r)
{
    if (r.width == 0 || r.height == 0)
        return;
    const qsizetype rowBytes = qsizetype(r.width) * 4;
    const int batchRows = int(std::max<qsizetype>(1, rawBatchBytes / rowBytes));
    for (int row = 0; row < r.height;) {
        const int rows = std::min(batchRows, r.height - row);
        m_staging.resize(rowBytes * rows);
        // The kernel copies straight into the staging rows; converting them into the framebuffer is the only other pass.
        m_socket.read(m_staging.data(), m_staging.size());
        QImage &image = canvas();
        for (int line = 0; line < rows; ++line)
            copyOpaque(
                m_staging.constData() + line * rowBytes, reinterpret_cast<quint32 *>(image.scanLine(r.y + row + line)) + r.x, r.width);
        row += rows;
    }
    drew(QRect(r.x, r.y, r.width, r.height));
}

void RfbSession::readZrle(const Rectangle &r)
{
    const quint32 length = m_socket.u32();
    if (length > quint32(ZrleDecoder::maximumCompressedLength))
        unreadable();
    m_compressed.resize(qsizetype(length));
    m_socket.read(m_compressed.data(), m_compressed.size());
    if (r.width == 0 || r.height == 0)
        return;
    const QRect area(r.x, r.y, r.width, r.height);
    if (!m_zrle.decode(m_compressed, area, canvas()))
        unreadable();
    drew(area);
}

void RfbSession::readRichCursor(const Rectangle &r)
{
    const qint64 pixelBytes = qint64(r.width) * r.height * 4;
    const int maskStride = (r.width + 7) / 8;
    const QByteArray pixels = m_socket.bytes(pixelBytes);
    const QByteArray mask = m_socket.bytes(qint64(maskStride) * r.height);
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
    publish([&](RfbSessionState &state) { state.cursor = RfbSessionState::Cursor { shape, hotSpot }; });
}

void RfbSession::readExtendedDesktopSize(const Rectangle &r)
{
    const quint8 screens = m_socket.u8();
    if (screens > maximumScreens)
        unreadable();
    const QByteArray body = m_socket.bytes(3 + qint64(screens) * 16);
    if (screens > 0) {
        // QEMU has one screen and numbers it 0, a valid id like any other.
        m_server.screenId = qFromBigEndian<quint32>(body.constData() + 3);
        m_server.screenFlags = qFromBigEndian<quint32>(body.constData() + 15);
    }
    const quint16 reason = r.x;
    const quint16 status = r.y;
    if (reason == resizeByThisClient && status != resizeAccepted && status != resizeForwarded)
        m_server.refusedResize = true;
    m_server.resizes = true;
    resizeFramebuffer(r.width, r.height);
}

void RfbSession::resizeFramebuffer(int width, int height)
{
    const QSize size(width, height);
    const QSize maximum = GuestDisplayConnection::maximumDesktopSize;
    if (width <= 0 || height <= 0 || width > maximum.width() || height > maximum.height())
        refuse(text("The guest display asked for a screen of %1 pixels; this console shows at most %2.").arg(sizeText(size), sizeText(maximum)));
    if (m_size == size)
        return;
    // The pictures of the old size go before the new one is made, and the GUI thread's own when it takes the new one.
    m_canvas = QImage();
    m_shown = QImage();
    QImage unseen;
    QImage spare;
    {
        const QMutexLocker lock(&m_state->mutex);
        unseen = std::exchange(m_state->frame, QImage());
        spare = std::exchange(m_state->spare, QImage());
    }
    unseen = QImage();
    spare = QImage();
    QImage framebuffer(size, QImage::Format_RGB32);
    framebuffer.fill(Qt::black);
    m_size = size;
    m_updateResized = true;
    m_ahead = QRegion();
    m_behind = QRegion();
    m_unpublished = QRegion();
    m_shown = framebuffer;
    publish([&](RfbSessionState &state) {
        state.frame = std::move(framebuffer);
        state.dirty = QRegion();
        state.resized = true;
    });
}

QImage &RfbSession::canvas()
{
    if (!m_canvas.isNull())
        return m_canvas;
    QImage spare;
    {
        const QMutexLocker lock(&m_state->mutex);
        if (!m_state->frame.isNull()) {
            // The GUI thread has not taken the last picture yet: it is still the newest, and this update goes on top.
            m_canvas = std::exchange(m_state->frame, QImage());
            m_shown = QImage();
            return m_canvas;
        }
        spare = std::exchange(m_state->spare, QImage());
    }
    if (spare.size() == m_shown.size()) {
        // The picture the GUI thread showed before lacks only what the last updates drew; what this update does
        // not draw over is brought in when it is handed over.
        m_canvas = std::move(spare);
        m_behind = std::exchange(m_ahead, QRegion());
    } else {
        spare = QImage();
        m_canvas = m_shown.copy();
        m_ahead = QRegion();
    }
    return m_canvas;
}

void RfbSession::drew(QRect area)
{
    m_ahead += area;
    m_unpublished += area;
}

void RfbSession::publishUpdate()
{
    const RfbSessionState::Server server = m_server;
    const bool handOver = !m_unpublished.isEmpty();
    const QRegion drawn = std::exchange(m_unpublished, QRegion());
    if (handOver)
        for (const QRect &area : std::as_const(m_behind) - drawn)
            copyArea(m_shown, m_canvas, area);
    m_behind = QRegion();
    publish([&](RfbSessionState &state) {
        state.server = server;
        if (handOver) {
            state.frame = m_canvas;
            state.dirty += drawn;
        }
    });
    if (handOver)
        m_shown = std::exchange(m_canvas, QImage());
}
