// SPDX-License-Identifier: GPL-2.0-or-later
// The custom output settings rules on the shipped catalogue: labels shown for stored values,
// keys stored for chosen labels, OK's steps and messages, and "Default".
#include "app/custom_output_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace rizuvira::app {

namespace {

using rizuvira::app::CustomOutputSettings;
using rizuvira::app::OutputList;
using rizuvira::core::OutputProfile;
using rizuvira::core::ProfileCatalogue;

class CustomOutputSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(catalogue_.LoadFile(std::filesystem::path(RIZUVIRA_SOURCE_DIR) / "data" /
                                        "Format.xml"));
        // Profile 1: H.264 at the source's size and rate, CRF 22 (else 2 Mbit/s), preset
        // medium; AAC 48 kHz stereo, 160 kbit/s.
        ASSERT_TRUE(catalogue_.Find(1, h264_));
    }
    static int IndexOf(const CustomOutputSettings& form, OutputList list,
                       const std::string& label) {
        const std::vector<std::string> entries = form.Entries(list);
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == label) return static_cast<int>(i);
        return -1;
    }

    ProfileCatalogue catalogue_;
    OutputProfile h264_{};
};

TEST_F(CustomOutputSettingsTest, ListsShowTheStoredValuesAndChosenLabelsStoreTheirKeys) {
    CustomOutputSettings form(h264_, &catalogue_);
    EXPECT_EQ(form.ResolutionText(), "Same as source");
    EXPECT_EQ(form.Selection(OutputList::kResolution), 0);
    EXPECT_EQ(form.Selection(OutputList::kFrameRate),
              IndexOf(form, OutputList::kFrameRate, "Same as source"));
    EXPECT_EQ(form.Selection(OutputList::kQuality), IndexOf(form, OutputList::kQuality, "CRF 22"));
    EXPECT_EQ(form.Selection(OutputList::kEncoderPreset),
              IndexOf(form, OutputList::kEncoderPreset, "medium"));
    EXPECT_EQ(form.Selection(OutputList::kVideoEncoder), 0);  // "H.264"
    EXPECT_EQ(form.Entries(OutputList::kVideoEncoder)[0], "H.264");
    EXPECT_EQ(form.Selection(OutputList::kChannels),
              IndexOf(form, OutputList::kChannels, "Stereo"));
    EXPECT_EQ(form.Selection(OutputList::kAudioEncoder),
              IndexOf(form, OutputList::kAudioEncoder, "AAC"));
    // Chosen labels store their keys.
    form.Select(OutputList::kVideoEncoder,
                IndexOf(form, OutputList::kVideoEncoder, "MPEG-4 Part 2"));
    form.Select(OutputList::kChannels, IndexOf(form, OutputList::kChannels, "Mono"));
    form.Select(OutputList::kFrameRate, IndexOf(form, OutputList::kFrameRate, "25 fps"));
    form.Select(OutputList::kResolution, IndexOf(form, OutputList::kResolution, "1280*720"));
    form.Select(OutputList::kQuality, IndexOf(form, OutputList::kQuality, "Bit rate"));
    form.Select(OutputList::kEncoderPreset, IndexOf(form, OutputList::kEncoderPreset, "fast"));
    ASSERT_TRUE(form.Ok().ok);
    const auto& s = form.profile().Settings;
    EXPECT_EQ(s.Quality, 0);
    EXPECT_STREQ(s.EncoderPreset, "fast");
    EXPECT_STREQ(s.VideoCodecName, "mpeg4");
    EXPECT_EQ(s.Channel, 1);
    EXPECT_EQ(s.FrameRate, 25000);
    EXPECT_EQ(s.Width, 1280);
    EXPECT_EQ(s.Height, 720);
    EXPECT_EQ(s.AudioBitRate, 160000);

    // "Same as source" goes back to the source's values.
    CustomOutputSettings again(form.profile(), &catalogue_);
    EXPECT_EQ(again.ResolutionText(), "1280*720");
    again.Select(OutputList::kResolution, 0);
    again.Select(OutputList::kFrameRate, IndexOf(again, OutputList::kFrameRate, "Same as source"));
    again.Select(OutputList::kQuality, IndexOf(again, OutputList::kQuality, "CRF 18"));
    ASSERT_TRUE(again.Ok().ok);
    EXPECT_TRUE(rizuvira::core::TakesSourceSize(again.profile().Settings));
    EXPECT_TRUE(rizuvira::core::TakesSourceFrameRate(again.profile().Settings));
    EXPECT_EQ(again.profile().Settings.Quality, 18);
}

TEST_F(CustomOutputSettingsTest, TheResolutionFieldTakesAnyTwoSizesJoinedByAnAsterisk) {
    CustomOutputSettings form(h264_, &catalogue_);
    form.SetResolutionText("640*360");  // not an entry of the list
    ASSERT_TRUE(form.Ok().ok);
    EXPECT_EQ(form.profile().Settings.Width, 640);
    EXPECT_EQ(form.profile().Settings.Height, 360);
    form.SetResolutionText(" 800* 600 pixels");
    EXPECT_TRUE(form.Ok().ok);
    EXPECT_EQ(form.profile().Settings.Height, 600);

    for (const char* bad : {"640x360", "", "640*", "0*360", "-640*360", "640*99999"}) {
        form.SetResolutionText(bad);
        const auto outcome = form.Ok();
        EXPECT_FALSE(outcome.ok) << bad;
        EXPECT_EQ(outcome.message, "Resolution Error\r\n") << bad;
    }
    EXPECT_EQ(form.profile().Settings.Width, 800);
}

TEST_F(CustomOutputSettingsTest, AValueWithoutAKeyOpensUnselectedAndFailsOk) {
    OutputProfile odd = h264_;
    odd.Settings.FrameRate = 12345;
    CustomOutputSettings form(odd, &catalogue_);
    EXPECT_EQ(form.Selection(OutputList::kFrameRate), -1);
    form.SetResolutionText("640*360");
    const auto outcome = form.Ok();
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.message, "error param");
    // The steps before the failing one are stored in the copy already.
    EXPECT_EQ(form.profile().Settings.Width, 640);
    form.Select(OutputList::kFrameRate, IndexOf(form, OutputList::kFrameRate, "23.976 fps"));
    EXPECT_TRUE(form.Ok().ok);
    EXPECT_EQ(form.profile().Settings.FrameRate, 23976);
}

TEST_F(CustomOutputSettingsTest, KeysThatWouldBreakTheEncoderAreRefused) {
    OutputProfile odd = h264_;
    rizuvira::core::SetField(odd.FrameRates, "auto$Automatic,25000$25 fps");
    rizuvira::core::SetField(odd.VideoCodecs, "a_very_long_encoder_name$Long");
    CustomOutputSettings form(odd, &catalogue_);
    form.Select(OutputList::kFrameRate, 0);
    form.Select(OutputList::kVideoEncoder, 0);
    EXPECT_EQ(form.Ok().message, "error param");  // a frame rate of 0
    form.Select(OutputList::kFrameRate, 1);
    EXPECT_EQ(form.Ok().message, "error param");  // a name longer than its field
    EXPECT_STREQ(form.profile().Settings.VideoCodecName, "libx264");

    // A value out of the range the command line and the catalogue keep to.
    OutputProfile slow = h264_;
    rizuvira::core::SetField(slow.FrameRates, "1$Slow");
    CustomOutputSettings slow_form(slow, &catalogue_);
    slow_form.Select(OutputList::kFrameRate, 0);
    EXPECT_EQ(slow_form.Ok().message,
              "FrameRate=\"1\": must be from 1000 to 120000 (frames per second × 1000)");
}

TEST_F(CustomOutputSettingsTest, AProfileWithoutVideoIgnoresTheVideoLists) {
    OutputProfile audio_only = h264_;
    audio_only.Settings.HasVideo = 0;
    rizuvira::core::SetField(audio_only.VideoCodecs, "");
    CustomOutputSettings form(audio_only, &catalogue_);
    EXPECT_EQ(form.ResolutionText(), "");
    EXPECT_EQ(form.Selection(OutputList::kVideoEncoder), -1);
    form.Select(OutputList::kSampleRate, 0);
    ASSERT_TRUE(form.Ok().ok);
    EXPECT_EQ(form.profile().Settings.SampleRate, 22050);
    EXPECT_EQ(form.profile().Settings.Width, h264_.Settings.Width);
}

TEST_F(CustomOutputSettingsTest, DefaultRestoresTheCatalogueProfile) {
    CustomOutputSettings form(h264_, &catalogue_);
    form.SetResolutionText("320*240");
    form.Select(OutputList::kChannels, 0);
    ASSERT_TRUE(form.Ok().ok);
    ASSERT_TRUE(form.Default().ok);
    EXPECT_EQ(form.ResolutionText(), "Same as source");
    EXPECT_EQ(form.profile().Settings.Channel, 2);
    EXPECT_EQ(std::memcmp(&form.profile(), &h264_, sizeof h264_), 0);

    OutputProfile unknown = h264_;
    unknown.Id = 999;
    unknown.Settings.Width = 320;
    CustomOutputSettings lost(unknown, &catalogue_);
    const auto outcome = lost.Default();
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.message, "Cann`t get format");
    EXPECT_EQ(lost.profile().Settings.Width, 320);
}

}  // namespace

}  // namespace rizuvira::app
