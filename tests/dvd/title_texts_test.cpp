// SPDX-License-Identifier: GPL-2.0-or-later
// The names and texts under which a disc's titles and streams are listed.
#include <gtest/gtest.h>

#include <cstring>

#include "dvd/language_names.h"
#include "dvd/title_texts.h"

namespace rizuvira::dvd {
namespace {

constexpr int32_t Code(const char* two) {
    return two[0] << 8 | two[1];
}

TEST(LanguageNames, TwoLetterCodes) {
    EXPECT_EQ(LanguageName(Code("en")), "English");
    EXPECT_EQ(LanguageName(Code("EN")), "English") << "letters are matched without case";
    EXPECT_EQ(LanguageName(Code("nl")), "Dutch") << "cut before the first ';'";
    EXPECT_EQ(LanguageName(Code("es")), "Spanish");
    EXPECT_EQ(LanguageName(Code("zz")), "");
    EXPECT_EQ(LanguageName(0), "") << "no language recorded";
    EXPECT_EQ(LanguageName(0x7FFF0000 | Code("fr")), "French") << "only the low 16 bits count";
}

TEST(LanguageNames, ThreeLetterCodesInBothForms) {
    EXPECT_EQ(LanguageName3("eng"), "English");
    EXPECT_EQ(LanguageName3("deu"), "German");
    EXPECT_EQ(LanguageName3("ger"), "German");
    EXPECT_EQ(LanguageName3("FRE"), "French");
    EXPECT_EQ(LanguageName3("en"), "");
    EXPECT_EQ(LanguageName3("xyz"), "");
}

TEST(TitleTexts, ItemNamesReadBack) {
    EXPECT_EQ(TitleItemName(0), "Title_01");
    EXPECT_EQ(TitleItemName(98), "Title_99");
    EXPECT_EQ(ChapterItemName(1, 2), "Chapter_02_03");
    int title = 0, chapter = 0;
    ASSERT_TRUE(ParseItemName("Title_07", &title, &chapter));
    EXPECT_EQ(title, 6);
    EXPECT_EQ(chapter, -1);
    ASSERT_TRUE(ParseItemName("Chapter_02_03", &title, &chapter));
    EXPECT_EQ(title, 1);
    EXPECT_EQ(chapter, 2);
    EXPECT_FALSE(ParseItemName("VIDEO_TS", &title, &chapter));
    EXPECT_FALSE(ParseItemName("Title_xx", &title, &chapter));
}

TEST(TitleTexts, DurationText) {
    EXPECT_EQ(DurationText(3725000), "01:02:05");
    EXPECT_EQ(DurationText(360000000), "100:00:00");
    EXPECT_EQ(DurationText(59999.9), "00:00:59");
    EXPECT_EQ(DurationText(0), "00:00:00");
}

TEST(TitleTexts, ShortTitlesAreNotListed) {
    DvdTitleInfo title{};
    title.duration_ms = 3000;
    EXPECT_TRUE(IsListedTitle(title));
    title.duration_ms = 2999;
    EXPECT_FALSE(IsListedTitle(title));
    title.duration_ms = 2999.999;
    EXPECT_FALSE(IsListedTitle(title));
}

TEST(TitleTexts, AudioEntries) {
    DvdTitleInfo title{};
    title.audio_count = 4;
    const int32_t codings[] = {kDvdAudioAc3, 1, kDvdAudioMpeg2, kDvdAudioDts};
    const int32_t channels[] = {5, 1, 0, 3};
    for (int i = 0; i < 4; ++i) {
        title.audio_language[i] = Code("en");
        title.audio_coding[i] = codings[i];
        title.audio_channels[i] = channels[i];
    }
    EXPECT_EQ(AudioEntryText(title, 0), "English(AC3 6ch)");
    EXPECT_EQ(AudioEntryText(title, 1), "English( 2ch)") << "an unknown coding has no name";
    EXPECT_EQ(AudioEntryText(title, 2), "English(MP3 1ch)") << "mono reads 1ch";
    EXPECT_EQ(AudioEntryText(title, 3), "English(DTS 4ch)");
    EXPECT_EQ(AudioCodingName(kDvdAudioLpcm), "LPCM");
    EXPECT_EQ(AudioCodingName(kDvdAudioAac), "AAC");
    EXPECT_EQ(AudioCodingName(kDvdAudioEac3), "E-AC3");
}

}  // namespace
}  // namespace rizuvira::dvd
