// SPDX-License-Identifier: MIT
#include "ZrleDecoder.h"

#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int tileSide = 64;
constexpr int cpixelSize = 3;
/// Inflated data waiting to be parsed; larger than the largest single piece a tile asks for (a raw tile, 12 KiB).
constexpr std::size_t windowSize = 64 * 1024;

enum Subencoding : quint8 {
    rawTile = 0,
    solidTile = 1,
    largestPackedPalette = 16,
    plainRle = 128,
    smallestPaletteRle = 130,
};

quint32 pixel(const uchar *cpixel) { return 0xFF000000u | quint32(cpixel[2]) << 16 | quint32(cpixel[1]) << 8 | cpixel[0]; }

quint32 load32(const uchar *bytes)
{
    quint32 word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return qFromLittleEndian(word);
}

/// Converts `count` compressed pixels (blue, green, red) into opaque RGB32, four at a time from three words.
void convertRow(const uchar *source, quint32 *target, int count)
{
    int column = 0;
    for (; column + 4 <= count; column += 4, source += 12) {
        const quint32 first = load32(source);
        const quint32 second = load32(source + 4);
        const quint32 third = load32(source + 8);
        target[column] = 0xFF000000u | first;
        target[column + 1] = 0xFF000000u | first >> 24 | second << 8;
        target[column + 2] = 0xFF000000u | second >> 16 | third << 16;
        target[column + 3] = 0xFF000000u | third >> 8;
    }
    for (; column < count; ++column, source += cpixelSize)
        target[column] = pixel(source);
}

} // namespace

/// The connection's zlib stream, inflated only as far as the parser asks.
class ZrleDecoder::Inflater
{
public:
    Inflater()
        : m_window(windowSize)
    {
        m_usable = inflateInit(&m_stream) == Z_OK;
        // The stream never ends, so its checksum is never compared: computing it would cost a fifth of the decoding.
        if (m_usable)
            inflateValidate(&m_stream, 0);
    }
    ~Inflater()
    {
        if (m_usable)
            inflateEnd(&m_stream);
    }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    void begin(const QByteArray &compressed)
    {
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
        m_stream.avail_in = uInt(compressed.size());
    }

    /// Whether `count` more inflated bytes are there (count <= windowSize).
    bool ensure(std::size_t count) { return m_end - m_begin >= count || refill(count); }

    const uchar *take(std::size_t count)
    {
        const uchar *bytes = m_window.data() + m_begin;
        m_begin += count;
        return bytes;
    }

    bool byte(quint8 &value)
    {
        if (!ensure(1))
            return false;
        value = *take(1);
        return true;
    }

    /// Consumes the rest of the rectangle's input, which must inflate to nothing (the server's flush marker).
    bool finish()
    {
        if (m_begin != m_end)
            return brokenStream();
        m_begin = m_end = 0;
        while (m_usable && !m_ended && m_stream.avail_in > 0) {
            m_stream.next_out = m_window.data();
            m_stream.avail_out = uInt(m_window.size());
            const uInt before = m_stream.avail_in;
            const int result = inflate(&m_stream, Z_SYNC_FLUSH);
            if (m_stream.avail_out != m_window.size())
                return brokenStream();
            if (result == Z_STREAM_END)
                m_ended = true;
            else if (result != Z_OK || m_stream.avail_in == before)
                return brokenStream();
        }
        return m_usable && m_stream.avail_in == 0;
    }

private:
    /// Inflates until `count` bytes are there; the rare path of ensure(), kept out of the per-byte loops.
    Q_DECL_COLD_FUNCTION bool refill(std::size_t count)
    {
        while (m_end - m_begin < count) {
            if (!m_usable || m_ended || m_stream.avail_in == 0)
                return false;
            if (m_begin > 0) {
                std::memmove(m_window.data(), m_window.data() + m_begin, m_end - m_begin);
                m_end -= m_begin;
                m_begin = 0;
            }
            m_stream.next_out = m_window.data() + m_end;
            m_stream.avail_out = uInt(m_window.size() - m_end);
            const int result = inflate(&m_stream, Z_SYNC_FLUSH);
            const std::size_t produced = m_window.size() - m_end - m_stream.avail_out;
            m_end += produced;
            if (result == Z_STREAM_END)
                m_ended = true;
            else if (result != Z_OK && !(result == Z_BUF_ERROR && produced > 0))
                return brokenStream();
        }
        return true;
    }

    bool brokenStream()
    {
        m_ended = true;
        return false;
    }

    z_stream m_stream {};
    bool m_usable = false;
    bool m_ended = false;
    std::vector<uchar> m_window;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

ZrleDecoder::ZrleDecoder()
    : m_inflater(std::make_unique<Inflater>())
{
}

ZrleDecoder::~ZrleDecoder() = default;

bool ZrleDecoder::decode(const QByteArray &compressed, QRect area, QImage &image)
{
    if (image.format() != QImage::Format_RGB32 || !image.rect().contains(area) || compressed.size() > maximumCompressedLength)
        return false;
    m_inflater->begin(compressed);
    // Written straight into the image's rows, which are taken (and the image detached) once.
    auto *pixels = reinterpret_cast<quint32 *>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    for (int y = area.top(); y <= area.bottom(); y += tileSide)
        for (int x = area.left(); x <= area.right(); x += tileSide) {
            const Tile tile { pixels + y * stride + x, stride, std::min(tileSide, area.right() + 1 - x),
                std::min(tileSide, area.bottom() + 1 - y) };
            if (!decodeTile(tile))
                return false;
        }
    return m_inflater->finish();
}

bool ZrleDecoder::decodeTile(const Tile &tile)
{
    quint8 subencoding = 0;
    if (!m_inflater->byte(subencoding))
        return false;
    if (subencoding == rawTile)
        return decodeRawTile(tile);
    if (subencoding == plainRle)
        return decodeRunTile(tile, false);
    const bool paletteRle = subencoding >= smallestPaletteRle;
    if (subencoding > largestPackedPalette && !paletteRle)
        return false; // 17 to 127 and 129 are not defined
    if (!readPalette(paletteRle ? subencoding - plainRle : subencoding))
        return false;
    if (subencoding == solidTile) {
        for (int row = 0; row < tile.height; ++row)
            std::fill_n(tile.row(row), tile.width, m_palette[0]);
        return true;
    }
    return paletteRle ? decodeRunTile(tile, true) : decodePackedTile(tile);
}

bool ZrleDecoder::decodeRawTile(const Tile &tile)
{
    // A whole tile always fits the inflater's window, so it is taken at once.
    static_assert(std::size_t(tileSide) * tileSide * cpixelSize <= windowSize);
    const std::size_t rowBytes = std::size_t(tile.width) * cpixelSize;
    const std::size_t tileBytes = rowBytes * std::size_t(tile.height);
    if (!m_inflater->ensure(tileBytes))
        return false;
    const uchar *source = m_inflater->take(tileBytes);
    for (int row = 0; row < tile.height; ++row, source += rowBytes)
        convertRow(source, tile.row(row), tile.width);
    return true;
}

bool ZrleDecoder::readPalette(int size)
{
    if (!m_inflater->ensure(std::size_t(size) * cpixelSize))
        return false;
    const uchar *colours = m_inflater->take(std::size_t(size) * cpixelSize);
    m_palette.resize(std::size_t(size));
    for (int index = 0; index < size; ++index)
        m_palette[std::size_t(index)] = pixel(colours + index * cpixelSize);
    return true;
}

bool ZrleDecoder::decodePackedTile(const Tile &tile)
{
    const int paletteSize = int(m_palette.size());
    const int bits = paletteSize == 2 ? 1 : paletteSize <= 4 ? 2 : 4;
    const int perByte = 8 / bits;
    const std::size_t rowBytes = (std::size_t(tile.width) * std::size_t(bits) + 7) / 8;
    const unsigned mask = (1u << bits) - 1;
    // Indices past the palette are refused; a full palette (2, 4 or 16 colours) has none.
    const bool checked = paletteSize != (1 << bits);
    std::array<quint32, 16> palette {};
    std::copy(m_palette.begin(), m_palette.end(), palette.begin());
    for (int row = 0; row < tile.height; ++row) {
        if (!m_inflater->ensure(rowBytes))
            return false;
        const uchar *packed = m_inflater->take(rowBytes);
        quint32 *target = tile.row(row);
        unsigned found = 0;
        for (int column = 0; column < tile.width; column += perByte, ++packed) {
            const int count = std::min(perByte, tile.width - column);
            unsigned byte = *packed;
            for (int index = 0; index < count; ++index) {
                byte <<= bits;
                const unsigned entry = (byte >> 8) & mask;
                found = std::max(found, entry);
                target[column + index] = palette[entry];
            }
        }
        if (checked && found >= unsigned(paletteSize))
            return false;
    }
    return true;
}

bool ZrleDecoder::decodeRunTile(const Tile &tile, bool paletteRle)
{
    Inflater &in = *m_inflater;
    const int area = tile.width * tile.height;
    const auto paletteSize = int(m_palette.size());
    const quint32 *palette = m_palette.data();
    quint32 *line = tile.pixels;
    int column = 0;
    for (int left = area; left > 0;) {
        quint32 colour = 0;
        bool hasRun = true;
        if (paletteRle) {
            quint8 index = 0;
            if (!in.byte(index))
                return false;
            hasRun = index & 0x80;
            index &= 0x7F;
            if (index >= paletteSize)
                return false;
            colour = palette[index];
        } else {
            if (!in.ensure(cpixelSize))
                return false;
            colour = pixel(in.take(cpixelSize));
        }
        int run = 1;
        if (hasRun) {
            quint8 length = 0;
            do {
                if (!in.byte(length))
                    return false;
                run += length;
                if (run > left)
                    return false;
            } while (length == 255);
        }
        left -= run;
        // Most runs (a glyph's strokes, the gaps between them) end in the row they start in.
        while (column + run > tile.width) {
            std::fill(line + column, line + tile.width, colour);
            run -= tile.width - column;
            column = 0;
            line += tile.stride;
        }
        for (quint32 *pixel = line + column, *end = pixel + run; pixel != end; ++pixel)
            *pixel = colour;
        column += run;
    }
    return true;
}
