// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <initializer_list>
#include <string>
#include <utility>

/**
 * Helpers shared by the record tests: JSON text in and out through the shared
 * coders, and a check of an enumeration's raw values against a table.
 */
namespace RecordTestSupport {

/// The compact JSON form of a value; keys are sorted as in the stored files.
template <typename T>
std::string compactJSON(const T &value)
{
    return JSONCodec<T>::encode(value).dump();
}

template <typename T>
T decoded(const std::string &text)
{
    return sharedJSONDecoder().decode<T>(QByteArray::fromStdString(text));
}

/// Encodes with the shared encoder and decodes the bytes back.
template <typename T>
T roundTripped(const T &value)
{
    return sharedJSONDecoder().decode<T>(sharedJSONEncoder().encode(value));
}

/**
 * Checks that `expected` lists every case of E in declaration order with its
 * raw text, that each text decodes to its case, and that each text with its
 * first letter's case flipped (and the empty text) does not.
 */
template <RawValueEnum E>
void expectRawValues(std::initializer_list<std::pair<E, const char *>> expected)
{
    const auto cases = allCases<E>();
    ASSERT_EQ(cases.size(), expected.size());
    size_t index = 0;
    for (const auto &[value, raw] : expected) {
        const QString text = QString::fromUtf8(raw);
        EXPECT_EQ(cases[index++], value) << raw;
        EXPECT_EQ(toRaw(value), text);
        EXPECT_EQ(fromRaw<E>(text), value);
        EXPECT_EQ(decoded<E>('"' + std::string(raw) + '"'), value);

        QString flipped = text;
        flipped[0] = flipped[0].isUpper() ? flipped[0].toLower() : flipped[0].toUpper();
        EXPECT_EQ(fromRaw<E>(flipped), std::nullopt) << raw;
        EXPECT_THROW(decoded<E>('"' + flipped.toStdString() + '"'), JSONDecodingError) << raw;
    }
    EXPECT_EQ(fromRaw<E>(QString()), std::nullopt);
}

/// Decoding `text` as T fails with a JSONDecodingError of the given kind.
template <typename T>
void expectDecodingFails(const std::string &text, JSONDecodingError::Kind kind)
{
    try {
        decoded<T>(text);
        ADD_FAILURE() << "decoded: " << text;
    } catch (const JSONDecodingError &error) {
        EXPECT_EQ(error.kind(), kind) << error.what();
    }
}

} // namespace RecordTestSupport
