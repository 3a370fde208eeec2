// SPDX-License-Identifier: GPL-2.0-or-later
// Profiles the user saves: their file beside the settings, read back into the same records,
// numbered after the shipped ones, with unique names; the shipped file is only read, and a
// saved file that cannot be read is never overwritten.
#include "app/saved_profiles.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace rizuvira::app {

namespace {

namespace fs = std::filesystem;
using rizuvira::app::kFirstSavedProfileId;
using rizuvira::app::ProfileLibrary;
using rizuvira::core::OutputProfile;

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SavedProfilesTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rizuvira-saved-profiles-XXXXXX";
        folder_ = mkdtemp(pattern);
        shipped_ = folder_ / "Format.xml";
        fs::copy_file(fs::path(RIZUVIRA_SOURCE_DIR) / "data" / "Format.xml", shipped_);
        saved_ = rizuvira::app::SavedProfilesFile(folder_ / "config" / "settings.ini");
        ASSERT_TRUE(library_.Load(shipped_, saved_));
        shipped_count_ = static_cast<int32_t>(library_.catalogue().Size());
    }
    void TearDown() override { fs::remove_all(folder_); }

    OutputProfile Shipped(int32_t id) const {
        OutputProfile profile{};
        EXPECT_TRUE(library_.catalogue().Find(id, profile));
        return profile;
    }

    fs::path folder_, shipped_, saved_;
    ProfileLibrary library_;
    int32_t shipped_count_ = 0;
};

TEST_F(SavedProfilesTest, EverySavedProfileReadsBackIntoTheSameRecordAfterTheShippedOnes) {
    const std::string shipped_bytes = Contents(shipped_);
    for (int32_t id = 0; id < shipped_count_; ++id) {
        OutputProfile profile = Shipped(id);
        // Text the XML form must carry through unchanged.
        if (id == 1) rizuvira::core::SetField(profile.Resolutions, "1*1,\"<a&b>\"$\tx");
        int32_t saved_id = -1;
        const auto outcome =
            library_.SaveAs("  Mine " + std::to_string(id) + "  ", profile, &saved_id);
        ASSERT_TRUE(outcome.ok) << outcome.message;
        EXPECT_EQ(saved_id, kFirstSavedProfileId + id);
    }
    EXPECT_EQ(Contents(shipped_), shipped_bytes);
    EXPECT_EQ(saved_.filename(), "Format.user.xml");

    ProfileLibrary restarted;
    ASSERT_TRUE(restarted.Load(shipped_, saved_));
    ASSERT_EQ(restarted.catalogue().Size(), 2u * shipped_count_);
    int32_t position = 0;
    for (const OutputProfile& profile : restarted.catalogue().Iterate()) {
        const bool saved = position >= shipped_count_;
        EXPECT_EQ(profile.Id, saved ? kFirstSavedProfileId + position - shipped_count_ : position);
        if (saved) {
            OutputProfile expected = Shipped(position - shipped_count_);
            if (expected.Id == 1)
                rizuvira::core::SetField(expected.Resolutions, "1*1,\"<a&b>\"$\tx");
            EXPECT_EQ(std::string(profile.ProfileName),
                      "Mine " + std::to_string(position - shipped_count_));
            std::memcpy(expected.ProfileName, profile.ProfileName, sizeof expected.ProfileName);
            expected.Id = profile.Id;
            EXPECT_EQ(std::memcmp(&expected, &profile, sizeof profile), 0) << profile.ProfileName;
        }
        ++position;
    }
}

// A file saved before profiles had a quality, a speed or "source" values reads as it did:
// fixed size and rate, coded to its bit rate.
TEST_F(SavedProfilesTest, AFileSavedInTheOlderFormStillReads) {
    fs::create_directories(saved_.parent_path());
    std::ofstream(saved_) << R"(<?xml version="1.0" encoding="UTF-8"?>
<Formats>
  <Profile>
    <ProfileName value="Old one"/>
    <FormatExt value=".mp4"/>
    <VideoCodecName value="libx264"/>
    <Width value="640"/>
    <Height value="360"/>
    <FrameRate value="25000"/>
    <VideoBitRate value="1500000"/>
    <AudioCodecName value="aac"/>
    <SampleRate value="48000"/>
    <AudioBitRate value="128000"/>
    <Channel value="2"/>
    <Resolutions value="640*360"/>
    <FrameRates value="25000$25 fps"/>
    <VideoCodecs value="libx264$H.264"/>
    <VideoBitRates value="1500000$1500 kbps"/>
    <SampleRates value="48000$48000 Hz"/>
    <Channels value="2$Stereo"/>
    <AudioCodecs value="aac$AAC"/>
    <AudioBitRates value="128000$128 kbps"/>
  </Profile>
</Formats>
)";
    ProfileLibrary restarted;
    ASSERT_TRUE(restarted.Load(shipped_, saved_));
    EXPECT_TRUE(restarted.saved_file_error().empty());
    OutputProfile old{};
    ASSERT_TRUE(restarted.catalogue().Find(kFirstSavedProfileId, old));
    EXPECT_EQ(std::string(old.ProfileName), "Old one");
    EXPECT_EQ(old.Settings.HasVideo, 1);
    EXPECT_EQ(old.Settings.Width, 640);
    EXPECT_EQ(old.Settings.Height, 360);
    EXPECT_EQ(old.Settings.FrameRate, 25000);
    EXPECT_EQ(old.Settings.Quality, 0);
    EXPECT_EQ(old.Settings.EncoderPreset[0], '\0');
    EXPECT_EQ(old.Settings.HasAudio, 1);
}

TEST_F(SavedProfilesTest, TwoProgramsKeepEachOthersProfiles) {
    ProfileLibrary other;
    ASSERT_TRUE(other.Load(shipped_, saved_));
    int32_t id = 0;
    ASSERT_TRUE(library_.SaveAs("A", Shipped(1), &id).ok);
    ASSERT_TRUE(other.SaveAs("B", Shipped(2), &id).ok);
    EXPECT_FALSE(other.SaveAs("a", Shipped(3), &id).ok) << "the name the other one saved is taken";
    ASSERT_TRUE(other.SaveAs("C", Shipped(3), &id).ok);
    ASSERT_TRUE(other.Delete(id).ok);

    ProfileLibrary restarted;
    ASSERT_TRUE(restarted.Load(shipped_, saved_));
    std::vector<std::string> names;
    for (const OutputProfile& p : restarted.catalogue().Iterate())
        if (restarted.IsSaved(p.Id)) names.emplace_back(rizuvira::core::FieldText(p.ProfileName));
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
}

TEST_F(SavedProfilesTest, NamesAreUniqueAndNotNumbersAndShippedProfilesStay) {
    const OutputProfile base = Shipped(1);
    int32_t id = -1;
    for (const std::string& bad :
         {std::string(""), std::string("   "), std::string("1080"), std::string("two\nlines"),
          std::string(200, 'x'), std::string("mp4 video (h.264, aac)")}) {
        EXPECT_FALSE(library_.SaveAs(bad, base, &id).ok) << bad;
    }
    EXPECT_FALSE(fs::exists(saved_));
    ASSERT_TRUE(library_.SaveAs("Phone", base, &id).ok);
    EXPECT_FALSE(library_.SaveAs("PHONE", base, &id).ok);

    const auto refused = library_.Delete(1);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.message.empty());
    EXPECT_EQ(library_.catalogue().Size(), static_cast<size_t>(shipped_count_) + 1);

    // Numbers stay with their profiles while running; a deleted one is not given again.
    int32_t tablet = -1;
    ASSERT_TRUE(library_.SaveAs("Tablet", base, &tablet).ok);
    ASSERT_TRUE(library_.Delete(id).ok);
    int32_t laptop = -1;
    ASSERT_TRUE(library_.SaveAs("Laptop", base, &laptop).ok);
    EXPECT_TRUE(library_.IsSaved(tablet));
    EXPECT_FALSE(library_.IsSaved(id));
    EXPECT_NE(laptop, id);
    EXPECT_FALSE(library_.IsSaved(1));

    ProfileLibrary restarted;
    ASSERT_TRUE(restarted.Load(shipped_, saved_));
    std::vector<std::string> names;
    for (const OutputProfile& p : restarted.catalogue().Iterate())
        if (restarted.IsSaved(p.Id)) names.push_back(p.ProfileName);
    EXPECT_EQ(names, (std::vector<std::string>{"Tablet", "Laptop"}));
}

TEST_F(SavedProfilesTest, ASavedFileThatCannotBeReadIsListedAsNothingAndNeverOverwritten) {
    fs::create_directories(saved_.parent_path());
    std::ofstream(saved_) << "<Formats><Profile><ProfileName value=\"cut off";
    const std::string damaged = Contents(saved_);
    ProfileLibrary library;
    ASSERT_TRUE(library.Load(shipped_, saved_));
    EXPECT_EQ(library.catalogue().Size(), static_cast<size_t>(shipped_count_));
    EXPECT_NE(library.saved_file_error().find(saved_.string()), std::string::npos);
    int32_t id = -1;
    EXPECT_FALSE(library.SaveAs("Phone", Shipped(1), &id).ok);
    EXPECT_EQ(Contents(saved_), damaged);
}

}  // namespace

}  // namespace rizuvira::app
