// SPDX-License-Identifier: GPL-2.0-or-later
// JSON strings of the command line: escapes, and bytes that are not UTF-8.
#include <gtest/gtest.h>

#include "cli/json_text.h"
#include "dvd/language_names.h"

namespace rizuvira::cli {
namespace {

TEST(JsonText, EscapesAndKeepsWellFormedUtf8) {
    EXPECT_EQ(JsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
    EXPECT_EQ(JsonString("Fran\xC3\xA7"
                         "ais \xE2\x82\xAC \xF0\x9F\x8E\xAC"),
              "\"Fran\xC3\xA7"
              "ais \xE2\x82\xAC \xF0\x9F\x8E\xAC\"");
}

TEST(JsonText, EveryByteThatIsNotUtf8BecomesAReplacementCharacter) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(JsonString("\xFF\xFF"), "\"" + replacement + replacement + "\"");
    EXPECT_EQ(JsonString("a\xC3"), "\"a" + replacement + "\"") << "cut short at the end";
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"" + replacement + replacement + "\"") << "overlong";
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"" + replacement + replacement + replacement + "\"")
        << "surrogate";
    EXPECT_EQ(JsonString("\xF4\x90\x80\x80x"),
              "\"" + replacement + replacement + replacement + replacement + "x\"")
        << "past U+10FFFF";
}

TEST(JsonText, LanguageCodesOfNoLettersHaveNoCodeAndAnUnknownName) {
    EXPECT_EQ(dvd::LanguageCode2(0xFFFF), "");
    EXPECT_EQ(dvd::LanguageText(0xFFFF), "Unknown");
    EXPECT_EQ(dvd::LanguageCode2('E' << 8 | 'N'), "en");
    EXPECT_EQ(dvd::LanguageText('q' << 8 | 'q'), "Unknown");
    EXPECT_EQ(dvd::LanguageText(0), "Unknown");
    EXPECT_EQ(dvd::LanguageText('d' << 8 | 'e'), "German");
}

}  // namespace
}  // namespace rizuvira::cli
