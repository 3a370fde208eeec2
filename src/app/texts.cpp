// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/texts.h"

#include <atomic>

namespace rizuvira::app {
namespace {

std::atomic<TextTranslator> g_translator{nullptr};

}  // namespace

void SetTextTranslator(TextTranslator translator) {
    g_translator.store(translator);
}

std::string Text(const char* context, const char* source) {
    const TextTranslator translator = g_translator.load();
    return translator == nullptr ? std::string(source) : translator(context, source);
}

std::string Arg(std::string pattern, std::string_view value) {
    // The lowest marker present: %1 .. %9.
    for (char digit = '1'; digit <= '9'; ++digit) {
        const std::string marker{'%', digit};
        size_t at = pattern.find(marker);
        if (at == std::string::npos) continue;
        while (at != std::string::npos) {
            pattern.replace(at, marker.size(), value);
            at = pattern.find(marker, at + value.size());
        }
        return pattern;
    }
    return pattern;
}

std::string Arg(std::string pattern, long long value) {
    return Arg(std::move(pattern), std::string_view(std::to_string(value)));
}

std::string CountText(int count, std::string one, std::string many) {
    return count == 1 ? one : Arg(std::move(many), static_cast<long long>(count));
}

}  // namespace rizuvira::app
