// SPDX-License-Identifier: MIT
#include "ZrleDecoder.h"

#include <zlib.h>

#include <algorithm>
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

quint32 *tileLine(QImage &image, QRect tile, int row) { return reinterpret_cast<quint32 *>(image.scanLine(tile.y() + row)) + tile.x(); }

} // namespace

/// The connection's zlib stream, inflated only as far as the parser asks.
class ZrleDecoder::Inflater
{
public:
    Inflater()
        : m_window(windowSize)
    {
        m_usable = inflateInit(&m_stream) == Z_OK;
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
    bool ensure(std::size_t count)
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
    for (int y = area.top(); y <= area.bottom(); y += tileSide)
        for (int x = area.left(); x <= area.right(); x += tileSide) {
            const QRect tile(x, y, std::min(tileSide, area.right() + 1 - x), std::min(tileSide, area.bottom() + 1 - y));
            if (!decodeTile(image, tile))
                return false;
        }
    return m_inflater->finish();
}

bool ZrleDecoder::decodeTile(QImage &image, QRect tile)
{
    quint8 subencoding = 0;
    if (!m_inflater->byte(subencoding))
        return false;
    if (subencoding == rawTile)
        return decodeRawTile(image, tile);
    if (subencoding == plainRle)
        return decodeRunTile(image, tile, false);
    const bool paletteRle = subencoding >= smallestPaletteRle;
    if (subencoding > largestPackedPalette && !paletteRle)
        return false; // 17 to 127 and 129 are not defined
    if (!readPalette(paletteRle ? subencoding - plainRle : subencoding))
        return false;
    if (subencoding == solidTile) {
        for (int row = 0; row < tile.height(); ++row)
            std::fill_n(tileLine(image, tile, row), tile.width(), m_palette[0]);
        return true;
    }
    return paletteRle ? decodeRunTile(image, tile, true) : decodePackedTile(image, tile);
}

bool ZrleDecoder::decodeRawTile(QImage &image, QRect tile)
{
    const int width = tile.width();
    const std::size_t rowBytes = std::size_t(width) * cpixelSize;
    for (int row = 0; row < tile.height(); ++row) {
        if (!m_inflater->ensure(rowBytes))
            return false;
        const uchar *source = m_inflater->take(rowBytes);
        quint32 *target = tileLine(image, tile, row);
        for (int column = 0; column < width; ++column)
            target[column] = pixel(source + column * cpixelSize);
    }
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

bool ZrleDecoder::decodePackedTile(QImage &image, QRect tile)
{
    const int width = tile.width();
    const int paletteSize = int(m_palette.size());
    const int bits = paletteSize == 2 ? 1 : paletteSize <= 4 ? 2 : 4;
    const std::size_t rowBytes = (std::size_t(width) * std::size_t(bits) + 7) / 8;
    const int mask = (1 << bits) - 1;
    for (int row = 0; row < tile.height(); ++row) {
        if (!m_inflater->ensure(rowBytes))
            return false;
        const uchar *packed = m_inflater->take(rowBytes);
        quint32 *target = tileLine(image, tile, row);
        for (int column = 0; column < width; ++column) {
            const int bit = column * bits;
            const int index = (packed[bit / 8] >> (8 - bits - bit % 8)) & mask;
            if (index >= paletteSize)
                return false;
            target[column] = m_palette[std::size_t(index)];
        }
    }
    return true;
}

bool ZrleDecoder::decodeRunTile(QImage &image, QRect tile, bool paletteRle)
{
    Inflater &in = *m_inflater;
    const int width = tile.width();
    const int area = width * tile.height();
    int done = 0;
    while (done < area) {
        quint32 colour = 0;
        int run = 1;
        bool hasRun = true;
        if (paletteRle) {
            quint8 index = 0;
            if (!in.byte(index))
                return false;
            hasRun = index & 0x80;
            if ((index & 0x7F) >= int(m_palette.size()))
                return false;
            colour = m_palette[index & 0x7F];
        } else {
            if (!in.ensure(cpixelSize))
                return false;
            colour = pixel(in.take(cpixelSize));
        }
        if (hasRun) {
            quint8 length = 255;
            while (length == 255) {
                if (!in.byte(length))
                    return false;
                run += length;
                if (run > area - done)
                    return false;
            }
        }
        if (run > area - done)
            return false;
        for (int end = done + run; done < end;) {
            const int row = done / width;
            const int column = done % width;
            const int span = std::min(end - done, width - column);
            std::fill_n(tileLine(image, tile, row) + column, span, colour);
            done += span;
        }
    }
    return true;
}
