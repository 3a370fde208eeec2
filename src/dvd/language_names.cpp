// SPDX-License-Identifier: GPL-2.0-or-later
#include "dvd/language_names.h"

#include <array>

namespace rizuvira::dvd {
namespace {

struct LanguageRow {
    const char* name;
    const char* alpha3;
    const char* bibliographic;
    const char* alpha2;
};

constexpr LanguageRow kLanguages[] = {
#include "dvd/language_table.inc"
};

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string NameBeforeSemicolon(std::string_view name) {
    return std::string(name.substr(0, name.find(';')));
}

}  // namespace

std::string LanguageCode2(int32_t code) {
    const char first = LowerAscii(static_cast<char>((code >> 8) & 0xFF));
    const char second = LowerAscii(static_cast<char>(code & 0xFF));
    if (first < 'a' || first > 'z' || second < 'a' || second > 'z') return {};
    return {first, second};
}

std::string LanguageName(int32_t code) {
    const std::string letters = LanguageCode2(code);
    if (letters.empty()) return {};
    for (const LanguageRow& row : kLanguages) {
        if (letters == row.alpha2) return NameBeforeSemicolon(row.name);
    }
    return {};
}

std::string LanguageCode3(int32_t code) {
    const std::string letters = LanguageCode2(code);
    if (letters.empty()) return {};
    for (const LanguageRow& row : kLanguages) {
        if (letters != row.alpha2) continue;
        const std::string_view bibliographic = row.bibliographic;
        return std::string(bibliographic.empty() ? std::string_view(row.alpha3) : bibliographic);
    }
    return {};
}

std::string LanguageText(int32_t code) {
    std::string name = LanguageName(code);
    return name.empty() ? kUnknownLanguage : name;
}

std::string LanguageName3(std::string_view code) {
    if (code.size() != 3) return {};
    const std::string lower{LowerAscii(code[0]), LowerAscii(code[1]), LowerAscii(code[2])};
    for (const LanguageRow& row : kLanguages) {
        if (lower == row.alpha3 || lower == row.bibliographic) return NameBeforeSemicolon(row.name);
    }
    return {};
}

int32_t LanguageCodeOf3(std::string_view code) {
    if (code.size() != 3) return 0;
    const std::string lower{LowerAscii(code[0]), LowerAscii(code[1]), LowerAscii(code[2])};
    for (const LanguageRow& row : kLanguages) {
        if (lower != row.alpha3 && lower != row.bibliographic) continue;
        const std::string_view two = row.alpha2;
        return two.size() == 2 ? (static_cast<int32_t>(two[0]) << 8 | two[1]) : 0;
    }
    return 0;
}

}  // namespace rizuvira::dvd
