// SPDX-License-Identifier: GPL-2.0-or-later
// 128-bit identifiers: class ids, interface ids, media types and format types.
// GUID is a plain value (copy freely). Text form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// upper-case hexadecimal, braces optional when parsing.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace rizuvira::platform {

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};
static_assert(sizeof(GUID) == 16);

using CLSID = GUID;
using IID = GUID;

inline constexpr GUID GUID_NULL{};

namespace guid_detail {

constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `count` hex digits at text[pos]; false on a non-digit.
constexpr bool ReadHex(std::string_view text, std::size_t pos, std::size_t count,
                       std::uint64_t* value) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int d = HexDigit(text[pos + i]);
        if (d < 0) return false;
        v = (v << 4) | static_cast<std::uint64_t>(d);
    }
    *value = v;
    return true;
}

}  // namespace guid_detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" with or without braces.
constexpr std::optional<GUID> ParseGuid(std::string_view text) {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36) return std::nullopt;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    GUID g{};
    std::uint64_t v = 0;
    if (!guid_detail::ReadHex(text, 0, 8, &v)) return std::nullopt;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!guid_detail::ReadHex(text, 9, 4, &v)) return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!guid_detail::ReadHex(text, 14, 4, &v)) return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    for (std::size_t i = 0; i < 2; ++i) {
        if (!guid_detail::ReadHex(text, 19 + 2 * i, 2, &v)) return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    for (std::size_t i = 0; i < 6; ++i) {
        if (!guid_detail::ReadHex(text, 24 + 2 * i, 2, &v)) return std::nullopt;
        g.Data4[2 + i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

// Compile-time GUID constants: "73646976-0000-0010-8000-00AA00389B71"_guid.
consteval GUID operator""_guid(const char* text, std::size_t length) {
    const std::optional<GUID> g = ParseGuid(std::string_view(text, length));
    if (!g) throw "malformed GUID literal";  // not a constant expression: compile error
    return *g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string GuidToString(const GUID& g);

}  // namespace rizuvira::platform

template <>
struct std::hash<rizuvira::platform::GUID> {
    std::size_t operator()(const rizuvira::platform::GUID& g) const noexcept;
};
