// SPDX-License-Identifier: MIT
#include "ZrleDecoder.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

namespace {

/// The server's side: one zlib stream over the connection, flushed after each rectangle.
class Deflater
{
public:
    Deflater() { deflateInit(&m_stream, Z_DEFAULT_COMPRESSION); }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    QByteArray rectangle(const QByteArray &tiles)
    {
        QByteArray out(int(deflateBound(&m_stream, uLong(tiles.size()))) + 64, '\0');
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(tiles.constData()));
        m_stream.avail_in = uInt(tiles.size());
        m_stream.next_out = reinterpret_cast<Bytef *>(out.data());
        m_stream.avail_out = uInt(out.size());
        deflate(&m_stream, Z_SYNC_FLUSH);
        out.resize(out.size() - qsizetype(m_stream.avail_out));
        return out;
    }

private:
    z_stream m_stream {};
};

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (const int value : values)
        result.append(char(value));
    return result;
}

QByteArray cpixel(QRgb colour) { return bytes({ qBlue(colour), qGreen(colour), qRed(colour) }); }

const QRgb red = qRgb(255, 0, 0);
const QRgb green = qRgb(0, 255, 0);
const QRgb blue = qRgb(0, 0, 255);

QImage blank(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

/// The pixels of `area` in `image`, row by row.
std::vector<QRgb> pixels(const QImage &image, QRect area)
{
    std::vector<QRgb> result;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            result.push_back(image.pixel(x, y));
    return result;
}

TEST(ZrleDecoderTest, DrawsEveryKindOfTileFromOneStream)
{
    // 3×2 tiles; each subencoding as the server writes it.
    const struct {
        const char *name;
        QByteArray tile;
        std::vector<QRgb> expected;
    } cases[] = {
        { "raw", bytes({ 0 }) + cpixel(red) + cpixel(green) + cpixel(blue) + cpixel(blue) + cpixel(green) + cpixel(red),
            { red, green, blue, blue, green, red } },
        { "solid", bytes({ 1 }) + cpixel(green), { green, green, green, green, green, green } },
        // Two colours, one bit each, rows padded to a byte: 101 / 011.
        { "packed palette", bytes({ 2 }) + cpixel(red) + cpixel(blue) + bytes({ 0b10100000, 0b01100000 }), { blue, red, blue, red, blue, blue } },
        // Runs of 4 and 2: lengths are stored minus one.
        { "plain runs", bytes({ 128 }) + cpixel(red) + bytes({ 3 }) + cpixel(green) + bytes({ 1 }), { red, red, red, red, green, green } },
        // Palette of three: a single blue, a run of 5 reds.
        { "palette runs", bytes({ 131 }) + cpixel(red) + cpixel(green) + cpixel(blue) + bytes({ 2, 0x80, 4 }), { blue, red, red, red, red, red } },
    };
    ZrleDecoder decoder;
    Deflater server;
    QImage image = blank(QSize(8, 8));
    const QRect area(4, 5, 3, 2);
    for (const auto &tile : cases) {
        SCOPED_TRACE(tile.name);
        ASSERT_TRUE(decoder.decode(server.rectangle(tile.tile), area, image));
        EXPECT_EQ(pixels(image, area), tile.expected);
    }
    EXPECT_EQ(image.pixel(3, 5), qRgb(0, 0, 0)) << "nothing outside the rectangle";
}

TEST(ZrleDecoderTest, SplitsARectangleIntoTilesOf64)
{
    ZrleDecoder decoder;
    Deflater server;
    QImage image = blank(QSize(130, 70));
    // 130×70 is 3×2 tiles: 64, 64 and 2 wide; 64 and 6 high. Each tile solid in its own shade.
    QByteArray tiles;
    for (int tile = 0; tile < 6; ++tile)
        tiles += bytes({ 1 }) + cpixel(qRgb(tile * 40, 0, 0));
    ASSERT_TRUE(decoder.decode(server.rectangle(tiles), QRect(0, 0, 130, 70), image));
    EXPECT_EQ(image.pixel(63, 63), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(64, 0), qRgb(40, 0, 0));
    EXPECT_EQ(image.pixel(129, 63), qRgb(80, 0, 0));
    EXPECT_EQ(image.pixel(0, 64), qRgb(120, 0, 0));
    EXPECT_EQ(image.pixel(129, 69), qRgb(200, 0, 0));
}

TEST(ZrleDecoderTest, RefusesMalformedData)
{
    const QRect area(0, 0, 3, 2);
    const struct {
        const char *name;
        QByteArray tile;
        QRect area;
    } cases[] = {
        { "packed index past the palette", bytes({ 3 }) + cpixel(red) + cpixel(green) + cpixel(blue) + bytes({ 0xFF, 0xFF }), area },
        { "palette run index past the palette", bytes({ 130 }) + cpixel(red) + cpixel(green) + bytes({ 5, 0, 0, 0, 0, 0 }), area },
        { "run longer than the tile", bytes({ 128 }) + cpixel(red) + bytes({ 6 }), area },
        { "run length overflowing", bytes({ 128 }) + cpixel(red) + QByteArray(4000, '\xff') + bytes({ 0 }), area },
        { "runs short of the tile", bytes({ 128 }) + cpixel(red) + bytes({ 2 }), area },
        { "undefined subencoding 17", bytes({ 17 }) + QByteArray(64, '\0'), area },
        { "undefined subencoding 129", bytes({ 129 }) + QByteArray(64, '\0'), area },
        { "raw tile cut short", bytes({ 0 }) + cpixel(red), area },
        { "bytes after the last tile", bytes({ 1 }) + cpixel(red) + bytes({ 1, 2, 3 }), area },
        { "rectangle outside the image", bytes({ 1 }) + cpixel(red), QRect(6, 6, 3, 3) },
    };
    for (const auto &broken : cases) {
        SCOPED_TRACE(broken.name);
        ZrleDecoder decoder;
        Deflater server;
        QImage image = blank(QSize(8, 8));
        EXPECT_FALSE(decoder.decode(server.rectangle(broken.tile), broken.area, image));
    }

    ZrleDecoder decoder;
    QImage image = blank(QSize(8, 8));
    EXPECT_FALSE(decoder.decode(QByteArray("not a zlib stream at all"), area, image)) << "garbage";
    EXPECT_FALSE(decoder.decode(QByteArray(), area, image)) << "no data";
}

} // namespace
