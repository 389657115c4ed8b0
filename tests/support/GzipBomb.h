// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

/**
 * A gzip stream of `size` zero bytes: a few kilobytes on the wire that
 * inflate to far more, as a hostile server would send with
 * "Content-Encoding: gzip". Never holds the inflated bytes. Tests that use it
 * link ZLIB::ZLIB.
 */
inline QByteArray gzipBomb(qint64 size)
{
    z_stream stream{};
    // 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib cannot compress");
    const QByteArray zeros(1024 * 1024, '\0');
    QByteArray compressed;
    char buffer[64 * 1024];
    qint64 left = size;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0 && left > 0) {
            const qint64 take = std::min<qint64>(left, zeros.size());
            stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
            stream.avail_in = uInt(take);
            left -= take;
        }
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        result = deflate(&stream, left == 0 ? Z_FINISH : Z_NO_FLUSH);
        if (result == Z_STREAM_ERROR) {
            deflateEnd(&stream);
            throw std::runtime_error("zlib cannot compress");
        }
        compressed.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
    }
    deflateEnd(&stream);
    return compressed;
}
