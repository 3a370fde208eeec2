// SPDX-License-Identifier: GPL-2.0-or-later
// English language names from the ISO 639-2 list, which is compiled into the
// program (see scripts/gen-language-table.py).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rizuvira::dvd {

// Name for a DVD language code: the two letters sit in the low 16 bits, the
// first letter in the high byte ('e' << 8 | 'n'). Letters are matched without
// case, the first row with that two-letter code wins and the name is cut
// before its first ';' ("Dutch; Flemish" gives "Dutch"). No match, or a code
// of zero, gives an empty text.
std::string LanguageName(int32_t code);

// Same list, matched on a three-letter code, terminology ("deu") or
// bibliographic ("ger") form.
std::string LanguageName3(std::string_view code);

// The two letters of a DVD language code as text, lower case ("en"); empty unless both
// bytes are ASCII letters (zero, or bytes such as ff ff that name no language).
std::string LanguageCode2(int32_t code);

// The three-letter code containers carry for a DVD language code: the
// bibliographic form where it has one ("ger", "fre"), else the only one
// ("eng"); empty when the code names no language.
std::string LanguageCode3(int32_t code);

// The DVD language code (two letters packed as above) of a three-letter
// code, terminology or bibliographic, in any case; 0 when the list has no
// two-letter code for it.
int32_t LanguageCodeOf3(std::string_view code);

// What a listing shows for a language: its name, or "Unknown" when the code names none.
inline constexpr const char* kUnknownLanguage = "Unknown";
std::string LanguageText(int32_t code);

}  // namespace rizuvira::dvd
