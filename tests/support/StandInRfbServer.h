// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRect>
#include <QTemporaryDir>
#include <QtEndian>

#include <array>

/**
 * A VNC server for tests, on a unix socket in a temporary folder: it greets
 * one client with RFB 3.8 and security None, answers its ClientInit with a
 * framebuffer of the given size, then records what the client sends, split
 * into whole messages. The test sends the server's messages itself, built
 * with the helpers below; with `bytewise` each byte goes out on its own, with
 * the event loop run in between, so the client sees every possible split.
 */
class StandInRfbServer
{
public:
    // Client message types.
    static constexpr quint8 setPixelFormat = 0;
    static constexpr quint8 setEncodings = 2;
    static constexpr quint8 updateRequest = 3;
    static constexpr quint8 keyEvent = 4;
    static constexpr quint8 pointerEvent = 5;
    static constexpr quint8 setDesktopSize = 251;
    static constexpr quint8 qemuMessage = 255;

    explicit StandInRfbServer(QSize size = QSize(640, 480))
        : m_size(size)
    {
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        QObject::connect(&m_server, &QLocalServer::newConnection, [this] { accept(); });
    }

    QString path() const { return m_directory.path() + QStringLiteral("/vnc.sock"); }
    bool listen() { return m_server.listen(path()); }
    void setBytewise(bool bytewise) { m_bytewise = bytewise; }
    bool hasClient() const { return m_client && m_client->state() == QLocalSocket::ConnectedState; }
    /// Whether the client has sent its ClientInit and been given the framebuffer.
    bool isReady() const { return m_stage == Stage::ready; }
    QLocalSocket *client() const { return m_client; }

    void send(const QByteArray &bytes)
    {
        if (!m_client)
            return;
        if (!m_bytewise) {
            m_client->write(bytes);
            m_client->flush();
            return;
        }
        for (const char byte : bytes) {
            if (!m_client)
                return;
            m_client->write(&byte, 1);
            m_client->flush();
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
        }
    }

    /// The whole messages the client has sent since ClientInit.
    QList<QByteArray> messages() const { return m_messages; }
    QList<QByteArray> messagesOfType(quint8 type) const
    {
        QList<QByteArray> found;
        for (const QByteArray &message : m_messages)
            if (quint8(message.at(0)) == type)
                found << message;
        return found;
    }
    void clearMessages() { m_messages.clear(); }

    // Server messages.
    static QByteArray u16(quint16 value)
    {
        std::array<char, 2> raw {};
        qToBigEndian(value, raw.data());
        return QByteArray(raw.data(), 2);
    }
    static QByteArray u32(quint32 value)
    {
        std::array<char, 4> raw {};
        qToBigEndian(value, raw.data());
        return QByteArray(raw.data(), 4);
    }
    static QByteArray rectangleHeader(QRect area, qint32 encoding)
    {
        return u16(quint16(area.x())) + u16(quint16(area.y())) + u16(quint16(area.width())) + u16(quint16(area.height()))
            + u32(quint32(encoding));
    }
    static QByteArray updateHeader(quint16 rectangles) { return QByteArray(2, '\0') + u16(rectangles); }
    /// Raw pixels in the negotiated format: blue, green, red, padding (left at zero as QEMU does).
    static QByteArray rawPixels(const QImage &image)
    {
        QByteArray bytes;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                bytes.append(char(qBlue(pixel))).append(char(qGreen(pixel))).append(char(qRed(pixel))).append('\0');
            }
        return bytes;
    }
    static QByteArray rawUpdate(QPoint at, const QImage &image)
    {
        return updateHeader(1) + rectangleHeader(QRect(at, image.size()), 0) + rawPixels(image);
    }
    /// An ExtendedDesktopSize rectangle with one screen, as QEMU sends it (screen id 0).
    static QByteArray extendedDesktopSize(quint16 reason, quint16 status, QSize size, quint32 screenId = 0)
    {
        return rectangleHeader(QRect(QPoint(reason, status), size), -308) + QByteArray(1, '\1') + QByteArray(3, '\0') + u32(screenId)
            + u16(0) + u16(0) + u16(quint16(size.width())) + u16(quint16(size.height())) + u32(0);
    }

private:
    enum class Stage { version, security, clientInit, ready };

    void accept()
    {
        m_client = m_server.nextPendingConnection();
        QObject::connect(m_client, &QLocalSocket::readyRead, [this] { receive(); });
        m_client->write("RFB 003.008\n");
        m_client->flush();
    }

    void receive()
    {
        for (;;) {
            // Also what came in while send() ran the event loop: the socket does not signal it again.
            if (m_client)
                m_input += m_client->readAll();
            switch (m_stage) {
            case Stage::version:
                if (m_input.size() < 12)
                    return;
                m_input.remove(0, 12);
                m_stage = Stage::security;
                send(QByteArray("\x01\x01", 2));
                break;
            case Stage::security:
                if (m_input.size() < 1)
                    return;
                m_input.remove(0, 1);
                m_stage = Stage::clientInit;
                send(u32(0));
                break;
            case Stage::clientInit: {
                if (m_input.size() < 1)
                    return;
                m_input.remove(0, 1);
                m_stage = Stage::ready;
                const QByteArray name("stand-in");
                const QByteArray format("\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\x00\x00\x00", 16);
                send(u16(quint16(m_size.width())) + u16(quint16(m_size.height())) + format + u32(quint32(name.size())) + name);
                break;
            }
            case Stage::ready: {
                const qsizetype length = messageLength();
                if (length == 0 || m_input.size() < length)
                    return;
                m_messages << m_input.left(length);
                m_input.remove(0, length);
                break;
            }
            }
        }
    }

    /// The length of the client message at the front of the input; 0 while unknown.
    qsizetype messageLength() const
    {
        if (m_input.isEmpty())
            return 0;
        switch (quint8(m_input.at(0))) {
        case setPixelFormat:
            return 20;
        case setEncodings:
            return m_input.size() < 4 ? 0 : 4 + 4 * qFromBigEndian<quint16>(m_input.constData() + 2);
        case updateRequest:
            return 10;
        case keyEvent:
            return 8;
        case pointerEvent:
            return 6;
        case setDesktopSize:
            return m_input.size() < 8 ? 0 : 8 + 16 * quint8(m_input.at(6));
        case qemuMessage:
            return 12;
        default:
            return m_input.size(); // unknown: keep it whole, the test will see it
        }
    }

    QSize m_size;
    QTemporaryDir m_directory;
    QLocalServer m_server;
    QPointer<QLocalSocket> m_client;
    Stage m_stage = Stage::version;
    QByteArray m_input;
    QList<QByteArray> m_messages;
    bool m_bytewise = false;
};
