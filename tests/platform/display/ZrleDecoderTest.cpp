// SPDX-License-Identifier: MIT
#include "ZrleDecoder.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <functional>
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

/// A tile as the server encodes it in one subencoding; `colourOf` gives each pixel's index into `palette`.
QByteArray encodeTile(int subencoding, QSize size, const std::vector<QRgb> &palette, const std::function<int(int, int)> &colourOf)
{
    std::vector<int> indices;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            indices.push_back(colourOf(x, y));
    QByteArray tile(1, char(subencoding));
    const auto runLength = [&tile](int run) {
        for (run -= 1; run >= 255; run -= 255)
            tile += char(255);
        tile += char(run);
    };
    if (subencoding == 0) {
        for (const int index : indices)
            tile += cpixel(palette[std::size_t(index)]);
    } else if (subencoding <= 16) {
        for (int index = 0; index < subencoding; ++index)
            tile += cpixel(palette[std::size_t(index)]);
        const int bits = subencoding == 2 ? 1 : subencoding <= 4 ? 2 : 4;
        for (int y = 0; y < size.height(); ++y) {
            int byte = 0;
            int used = 0;
            for (int x = 0; x < size.width(); ++x) {
                byte = byte << bits | indices[std::size_t(y * size.width() + x)];
                used += bits;
                if (used == 8) {
                    tile += char(byte);
                    byte = used = 0;
                }
            }
            if (used > 0)
                tile += char(byte << (8 - used));
        }
    } else {
        const bool paletteRle = subencoding > 128;
        if (paletteRle)
            for (int index = 0; index < subencoding - 128; ++index)
                tile += cpixel(palette[std::size_t(index)]);
        for (std::size_t start = 0; start < indices.size();) {
            std::size_t end = start + 1;
            while (end < indices.size() && indices[end] == indices[start])
                ++end;
            const int run = int(end - start);
            if (!paletteRle) {
                tile += cpixel(palette[std::size_t(indices[start])]);
                runLength(run);
            } else if (run == 1) {
                tile += char(indices[start]);
            } else {
                tile += char(indices[start] | 0x80);
                runLength(run);
            }
            start = end;
        }
    }
    return tile;
}

TEST(ZrleDecoderTest, EveryKindOfTileLandsPixelForPixelInAPartOfALargerImage)
{
    // 70×9 at (5, 3) of a 90×20 image: a tile 64 wide and one 6 wide, rows of lengths that fill no whole word or byte.
    const QSize imageSize(90, 20);
    const QRect area(5, 3, 70, 9);
    std::vector<QRgb> colours;
    for (int index = 0; index < 16; ++index)
        colours.push_back(qRgb(index * 16, 255 - index * 13, (index * 71) % 256));
    const struct {
        const char *name;
        int subencoding;
        int paletteSize;
        int run;
    } cases[] = {
        { "raw", 0, 16, 1 },
        { "packed, 2 colours", 2, 2, 1 },
        { "packed, 3 colours", 3, 3, 1 },
        { "packed, 5 colours", 5, 5, 1 },
        { "packed, 16 colours", 16, 16, 1 },
        { "plain runs longer than 255", 128, 16, 300 },
        { "palette runs across rows", 128 + 7, 7, 100 },
        { "palette runs of single pixels", 128 + 16, 16, 1 },
    };
    for (const auto &kind : cases) {
        SCOPED_TRACE(kind.name);
        // Runs carry over from one row of the first tile to the next; without runs each pixel differs from its neighbours.
        const auto colourOf = [&kind](int x, int y) {
            return kind.run > 1 ? ((y * 64 + x) / kind.run) % kind.paletteSize : (x * 7 + y * 3 + x / 5) % kind.paletteSize;
        };
        QByteArray tiles;
        for (int x = 0; x < area.width(); x += 64) {
            const QSize tile(std::min(64, area.width() - x), area.height());
            tiles += encodeTile(kind.subencoding, tile, colours, [&colourOf, x](int column, int row) { return colourOf(x + column, row); });
        }
        QImage expected = blank(imageSize);
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x)
                expected.setPixel(area.x() + x, area.y() + y, colours[std::size_t(colourOf(x, y))]);

        ZrleDecoder decoder;
        Deflater server;
        QImage image = blank(imageSize);
        ASSERT_TRUE(decoder.decode(server.rectangle(tiles), area, image));
        EXPECT_EQ(pixels(image, image.rect()), pixels(expected, expected.rect()));
    }
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
