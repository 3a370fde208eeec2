// SPDX-License-Identifier: GPL-2.0-or-later
// The option parser of rizuvira-cli convert: title lists and the values that
// must be refused.
#include <gtest/gtest.h>

#include "cli/convert_options.h"

namespace rizuvira::cli {
namespace {

TEST(ConvertOptions, TitleLists) {
    std::vector<int> titles;
    ASSERT_TRUE(ParseTitleList("4,1,3-4", &titles));
    EXPECT_EQ(titles, (std::vector<int>{3, 0, 2})) << "in the order asked, each once";
    ASSERT_TRUE(ParseTitleList("all", &titles));
    EXPECT_TRUE(titles.empty());
    for (const char* bad : {"", "0", "100", "3-1", "1,,2", "1-2-3", "x", "1-"})
        EXPECT_FALSE(ParseTitleList(bad, &titles)) << bad;
}

TEST(ConvertOptions, EverythingAtOnce) {
    ConvertOptions options;
    std::string error;
    ASSERT_TRUE(ParseConvertOptions(
        {"disc.iso",    "-o",     "/out",       "--profile=3",  "--trim",  "0:01-0:02.5", "--crop",
         "8,0,712,480", "--zoom", "16:9",       "--brightness", "200",     "--hue",       "-30",
         "--audio",     "FR",     "--subtitle", "none",         "--merge", "--size",      "640x360",
         "--fps",       "29.97",  "--cpu",      "70",           "--after", "open-folder", "--json",
         "-y"},
        &options, &error))
        << error;
    EXPECT_EQ(options.disc, "disc.iso");
    EXPECT_EQ(options.output_folder, "/out");
    EXPECT_EQ(options.profile, "3");
    EXPECT_EQ(options.trim_start_ms, 1000);
    EXPECT_EQ(options.trim_end_ms, 2500);
    EXPECT_EQ(options.edit.crop_left, 8);
    EXPECT_EQ(options.edit.crop_right, 712);
    EXPECT_EQ(options.edit.zoom_mode, core::kZoom16x9);
    EXPECT_EQ(options.edit.brightness, 200);
    EXPECT_EQ(options.edit.hue_degrees, -30);
    EXPECT_EQ(options.edit.volume, 256);
    ASSERT_TRUE(options.audio);
    EXPECT_EQ(options.audio->language, "fr");
    ASSERT_TRUE(options.subtitle);
    EXPECT_TRUE(options.subtitle->none);
    EXPECT_TRUE(options.merge);
    EXPECT_TRUE(options.overwrite);
    EXPECT_EQ(options.custom.width, 640);
    EXPECT_EQ(options.custom.frame_rate_x1000, 29970);
    EXPECT_EQ(options.cpu_usage, 70);
    EXPECT_EQ(options.after, app::AfterAction::kOpenFolder);
    EXPECT_TRUE(options.json);
}

TEST(ConvertOptions, WatermarkOptions) {
    ConvertOptions options;
    std::string error;
    ASSERT_TRUE(
        ParseConvertOptions({"disc.iso", "--watermark", "© Ünïcode 🙂", "--watermark-font",
                             "DejaVu Serif", "--watermark-size", "48", "--watermark-color",
                             "#FF8000", "--watermark-pos=100,50", "--watermark-opacity", "25"},
                            &options, &error))
        << error;
    EXPECT_EQ(options.watermark.text, "© Ünïcode 🙂");
    EXPECT_EQ(options.watermark.font_family, "DejaVu Serif");
    EXPECT_EQ(options.watermark.font_size_px, 48);
    EXPECT_EQ(options.watermark.colour, 0x000080FFu);  // RRGGBB typed, 0x00BBGGRR kept
    EXPECT_EQ(options.watermark.x, 100);
    EXPECT_EQ(options.watermark.y, 50);
    EXPECT_FLOAT_EQ(options.watermark.alpha, 0.25f);

    // 63 UTF-16 units fit the converter's record; a character above U+FFFF takes two.
    const std::string longest(63, 'x');
    ConvertOptions fits;
    EXPECT_TRUE(ParseConvertOptions({"d", "--watermark", longest}, &fits, &error)) << error;
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"d", "--watermark", longest + "x"},
          {"d", "--watermark", std::string(62, 'x') + "🙂"},
          {"d", "--watermark", ""},
          {"d", "--watermark-size", "40"},
          {"d", "--watermark", "a", "--watermark-colour", "12345"},
          {"d", "--watermark", "a", "--watermark-opacity", "101"},
          {"d", "--watermark", "a", "--watermark-pos", "-1,0"}}) {
        ConvertOptions refused;
        EXPECT_FALSE(ParseConvertOptions(bad, &refused, &error)) << bad.back();
    }
}

TEST(ConvertOptions, TrackListsAndSubtitleMode) {
    ConvertOptions options;
    std::string error;
    ASSERT_TRUE(ParseConvertOptions(
        {"d", "--audio", "2,en,3", "--subtitle", "fr,1", "--subtitle-mode", "soft"}, &options,
        &error))
        << error;
    EXPECT_EQ(options.audio->position, 2);
    ASSERT_EQ(options.further_audio.size(), 2u);
    EXPECT_EQ(options.further_audio[0].language, "en");
    EXPECT_EQ(options.further_audio[1].position, 3);
    EXPECT_EQ(options.subtitle->language, "fr");
    EXPECT_EQ(options.further_subtitles.size(), 1u);
    EXPECT_TRUE(options.soft_subtitles);
    for (const char* bad : {"1,", ",1", "1,none"}) {
        ConvertOptions refused;
        EXPECT_FALSE(ParseConvertOptions({"d", "--subtitle", bad}, &refused, &error)) << bad;
    }
    EXPECT_FALSE(ParseConvertOptions({"d", "--subtitle-mode", "hard"}, &options, &error));
    ConvertOptions every;
    ASSERT_TRUE(ParseConvertOptions({"d", "--audio", "all"}, &every, &error)) << error;
    EXPECT_TRUE(every.every_audio);
}

TEST(ConvertOptions, SourceValuesQualityAndSpeed) {
    ConvertOptions options;
    std::string error;
    ASSERT_TRUE(ParseConvertOptions({"d", "--size", "source", "--fps", "source", "--quality",
                                     "auto", "--encoder-preset", "slow"},
                                    &options, &error))
        << error;
    EXPECT_EQ(options.custom.width, app::OutputChanges::kSource);
    EXPECT_EQ(options.custom.frame_rate_x1000, app::OutputChanges::kSource);
    EXPECT_EQ(options.custom.quality, core::kEncodersOwnQuality);
    EXPECT_EQ(options.custom.encoder_preset, "slow");
    ConvertOptions by_rate;
    ASSERT_TRUE(ParseConvertOptions({"d", "--quality", "0"}, &by_rate, &error)) << error;
    EXPECT_EQ(by_rate.custom.quality, 0);
    for (const char* bad : {"-1", "64", "best"}) {
        ConvertOptions refused;
        EXPECT_FALSE(ParseConvertOptions({"d", "--quality", bad}, &refused, &error)) << bad;
    }
}

TEST(ConvertOptions, DeinterlaceAndAutomaticCrop) {
    ConvertOptions options;
    std::string error;
    ASSERT_TRUE(ParseConvertOptions({"d"}, &options, &error)) << error;
    EXPECT_EQ(options.cleanup.deinterlace, core::DeinterlaceMode::kAuto) << "automatic by default";
    EXPECT_FALSE(options.cleanup.auto_crop);
    ConvertOptions set;
    ASSERT_TRUE(ParseConvertOptions({"d", "--deinterlace", "off", "--crop", "auto"}, &set, &error))
        << error;
    EXPECT_EQ(set.cleanup.deinterlace, core::DeinterlaceMode::kOff);
    EXPECT_TRUE(set.cleanup.auto_crop);
    // A rectangle typed after "auto" wins, as the last option does.
    ConvertOptions later;
    ASSERT_TRUE(ParseConvertOptions(
        {"d", "--crop", "auto", "--crop", "8,0,712,480", "--deinterlace=on"}, &later, &error))
        << error;
    EXPECT_FALSE(later.cleanup.auto_crop);
    EXPECT_EQ(later.edit.crop_left, 8);
    EXPECT_EQ(later.cleanup.deinterlace, core::DeinterlaceMode::kOn);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"d", "--deinterlace", "yes"}, {"d", "--crop", "Auto"}}) {
        ConvertOptions refused;
        EXPECT_FALSE(ParseConvertOptions(bad, &refused, &error)) << bad.back();
    }
}

TEST(ConvertOptions, RefusedValues) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},                  // no disc
                                               {"a.iso", "b.iso"},  // two discs
                                               {"a.iso", "--volume", "513"},
                                               {"a.iso", "--saturation", "-1"},
                                               {"a.iso", "--size", "641x360"},    // odd
                                               {"a.iso", "--crop", "8,0,8,480"},  // empty
                                               {"a.iso", "--fps", "0.001"},
                                               {"a.iso", "--rate", "7999"},
                                               {"a.iso", "--channels", "9"},
                                               {"a.iso", "--chapter", "1"},
                                               {"a.iso", "--chapter", "1:2", "-t", "1"},
                                               {"a.iso", "--chapters", "1:3-2"},
                                               {"a.iso", "--main-feature", "-t", "1"},
                                               {"a.iso", "--min-length", "1:70"},
                                               {"a.iso", "-qv"},
                                               {"a.iso", "--audio", "0"},
                                               {"a.iso", "--vcodec", "a-very-long-encoder-name"},
                                               {"a.iso", "--fps"},  // no value
                                               {"a.iso", "-x"}}) {
        ConvertOptions options;
        std::string error;
        EXPECT_FALSE(ParseConvertOptions(args, &options, &error))
            << (args.empty() ? "" : args.back());
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
TEST(ConvertOptions, ShortOptionsCombine) {
    ConvertOptions options;
    std::string error;
    ASSERT_TRUE(ParseConvertOptions({"disc.iso", "-yq", "-t3,4", "-oout", "--hue", "-30"}, &options,
                                    &error))
        << error;
    ConvertOptions verbose;
    ASSERT_TRUE(ParseConvertOptions({"disc.iso", "-nvv", "--chapters=2:3-5", "--min-length", "90"},
                                    &verbose, &error))
        << error;
    EXPECT_TRUE(verbose.skip_existing);
    EXPECT_EQ(verbose.verbose, 2);
    EXPECT_EQ(verbose.chapter_title, 1);
    EXPECT_EQ(verbose.chapter, 2);
    EXPECT_EQ(verbose.last_chapter, 4);
    EXPECT_EQ(verbose.min_length_ms, 90000);
    EXPECT_TRUE(options.overwrite);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.titles, (std::vector<int>{2, 3}));
    EXPECT_EQ(options.output_folder, "out");
    EXPECT_EQ(options.edit.hue_degrees, -30) << "a value is never taken apart";
    ConvertOptions other;
    EXPECT_FALSE(ParseConvertOptions({"disc.iso", "-yx"}, &other, &error));
    EXPECT_EQ(error, "unknown option -yx");
}

}  // namespace rizuvira::cli
