// SPDX-License-Identifier: MIT
#include "JSONNestingGauge.h"

#include "JSONCoding.h"

void JSONNestingGauge::feed(QByteArrayView text)
{
    for (const char character : text) {
        if (m_inString) {
            if (m_escaped)
                m_escaped = false;
            else if (character == '\\')
                m_escaped = true;
            else if (character == '"')
                m_inString = false;
        } else if (character == '"') {
            m_inString = true;
        } else if (character == '[' || character == '{') {
            if (++m_depth > JSONDecoder::maximumNestingDepth)
                throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, "The given data was not valid JSON: nested too deeply.");
        } else if (character == ']' || character == '}') {
            --m_depth;
        }
    }
}
