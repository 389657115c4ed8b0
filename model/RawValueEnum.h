// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>

/**
 * Stored enumerations keep their cases as text ("raw values"). A type takes
 * part by specialising RawValues with its type name and a table of
 * {case, raw value} pairs in declaration order:
 *
 * @code
 * template <> struct RawValues<VMEngineType> {
 *     static constexpr std::string_view typeName = "VMEngineType";
 *     static constexpr std::array table{std::pair{VMEngineType::apple, std::string_view{"apple"}}, ...};
 * };
 * @endcode
 *
 * toRaw, fromRaw and allCases then work for it, and so does JSON coding.
 * Matching raw texts is exact and case-sensitive.
 */
template <typename E>
struct RawValues;

template <typename E>
concept RawValueEnum = std::is_enum_v<E> && requires {
    RawValues<E>::table;
    RawValues<E>::typeName;
};

template <RawValueEnum E>
QString toRaw(E value)
{
    for (const auto &[candidate, raw] : RawValues<E>::table) {
        if (candidate == value)
            return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    }
    return {};
}

template <RawValueEnum E>
std::optional<E> fromRaw(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    const std::string_view wanted(utf8.constData(), size_t(utf8.size()));
    for (const auto &[candidate, raw] : RawValues<E>::table) {
        if (raw == wanted)
            return candidate;
    }
    return std::nullopt;
}

/// Every case of E, in declaration order.
template <RawValueEnum E>
constexpr auto allCases()
{
    constexpr auto &table = RawValues<E>::table;
    std::array<E, table.size()> cases{};
    std::transform(table.begin(), table.end(), cases.begin(), [](const auto &entry) { return entry.first; });
    return cases;
}
