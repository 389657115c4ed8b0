// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>

/**
 * Follows how deeply arrays and objects nest in JSON text that may arrive in
 * pieces, counting brackets outside strings, in constant memory. A file can
 * so be refused for its nesting from its first bytes, before it is read
 * whole, measured or parsed.
 *
 * @code
 * JSONNestingGauge gauge;
 * for (const QByteArray &piece : pieces)
 *     gauge.feed(piece); // throws at the first bracket too many
 * @endcode
 */
class JSONNestingGauge
{
public:
    /// Takes the next piece of the text. Throws JSONDecodingError (dataCorrupted) as soon as the text nests deeper than JSONDecoder::maximumNestingDepth.
    void feed(QByteArrayView text);

private:
    int m_depth = 0;
    bool m_inString = false;
    bool m_escaped = false;
};
