// SPDX-License-Identifier: GPL-2.0-or-later
// The words the app layer composes for the desktop program (the end of a
// conversion, the count of a disc's titles), in the user's language. The
// layer has no translations of its own: the desktop program hands it one at
// start, and without one (the command line, the tests) every text stays the
// English it is written in.
//
// Each text is written whole, with %1, %2 ... where a value goes, so that a
// translation can put the values where its grammar wants them:
//   Arg(Text("ending", "%1 of %2 items could not be converted."), failed, items)
//
// Threads: SetTextTranslator before any other thread starts; Text from any.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

// Marks a constant's text for the translator; Text() translates it where it
// is shown.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, source) source
#endif

namespace rizuvira::app {

// Looks `source` up under `context`: its translation in UTF-8, or `source`
// itself when there is none.
using TextTranslator = std::string (*)(const char* context, const char* source);

void SetTextTranslator(TextTranslator translator);

// `source` in the user's language. `context` groups the texts of one topic
// for the translator ("ending", "disc").
std::string Text(const char* context, const char* source);

// `pattern` with its lowest-numbered marker (%1 before %2) replaced by
// `value`, every occurrence of it. Patterns without a marker are returned
// as they are.
std::string Arg(std::string pattern, std::string_view value);
std::string Arg(std::string pattern, long long value);

// `one` when `count` is 1, else `many` with the count for its %1:
//   CountText(n, Text("disc", "1 title"), Text("disc", "%1 titles"))
std::string CountText(int count, std::string one, std::string many);

template <typename First, typename... Rest>
std::string Arg(std::string pattern, const First& first, const Rest&... rest) {
    if constexpr (std::is_integral_v<First>)
        pattern = Arg(std::move(pattern), static_cast<long long>(first));
    else
        pattern = Arg(std::move(pattern), std::string_view(first));
    if constexpr (sizeof...(rest) > 0)
        return Arg(std::move(pattern), rest...);
    else
        return pattern;
}

}  // namespace rizuvira::app
