// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>

#include <memory>
#include <vector>

/**
 * Decodes the ZRLE rectangles of one RFB connection (RFC 6143, 7.7.6) for
 * 32-bit pixels of depth 24 laid out as QImage::Format_RGB32, whose
 * compressed pixels are blue, green, red. The zlib stream runs across the
 * connection's rectangles, so one decoder serves one connection.
 *
 * The input comes from the server and is not trusted: every palette index,
 * run and tile is checked against its tile, nothing is inflated beyond what
 * the tiles of the rectangle consume, and a rectangle whose data does not
 * decode to exactly its tiles is refused. After a refusal the stream is
 * broken and the connection must end.
 */
class ZrleDecoder
{
public:
    /// Larger compressed data for one rectangle is refused (a 5120×2160 screen in Raw is 44 MB).
    static constexpr qsizetype maximumCompressedLength = 64 * 1024 * 1024;

    ZrleDecoder();
    ~ZrleDecoder();
    ZrleDecoder(const ZrleDecoder &) = delete;
    ZrleDecoder &operator=(const ZrleDecoder &) = delete;

    /// Draws the rectangle `area` of `image` (RGB32) from its compressed data; false when the data is malformed or `area` is outside `image`.
    bool decode(const QByteArray &compressed, QRect area, QImage &image);

private:
    class Inflater;

    /// Where a tile's pixels go: its first pixel in the image, the image's row length in pixels, and its size.
    struct Tile {
        quint32 *pixels;
        qsizetype stride;
        int width;
        int height;

        quint32 *row(int index) const { return pixels + index * stride; }
    };

    bool decodeTile(const Tile &tile);
    bool decodeRawTile(const Tile &tile);
    /// Reads `size` colours into m_palette.
    bool readPalette(int size);
    /// Palette indices of 1, 2 or 4 bits, each row starting on a byte.
    bool decodePackedTile(const Tile &tile);
    /// Runs of one colour: plain colours, or indices into m_palette when `paletteRle`.
    bool decodeRunTile(const Tile &tile, bool paletteRle);

    std::unique_ptr<Inflater> m_inflater;
    std::vector<quint32> m_palette;
};
