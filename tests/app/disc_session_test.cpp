// SPDX-License-Identifier: GPL-2.0-or-later
// The main window's rules on the sample disc: check marks, profile choice and
// output names, the editor's open/close rule, Start's folder check, track
// choice by position and language, and the preview's small arithmetic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/data_files.h"
#include "app/disc_session.h"
#include "fixtures/sample_bluray.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;

class DiscSessionTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("disc_session_" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        store_.Load();
        ASSERT_TRUE(session_.LoadProfiles(DataFile("Format.xml")));
        ASSERT_TRUE(session_.OpenDisc(fx::SampleDiscPath(fx::kNtscDisc.iso)));
        messages_.messages.clear();
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
    core::CollectedMessages messages_;
    core::SettingsStore store_{fs::temp_directory_path() /
                               ("disc_session_" + std::to_string(::getpid())) / "settings.ini"};
    DiscSession session_{&messages_, &store_};
};

TEST_F(DiscSessionTest, CheckMarksPropagateBetweenRootAndRows) {
    ASSERT_GE(session_.row_count(), 2);
    session_.CheckAll(true);
    session_.ClickCheck(1);
    EXPECT_EQ(session_.check_state(1), CheckState::kUnchecked);
    EXPECT_EQ(session_.check_state(kRootRow), CheckState::kPartly);
    session_.ClickCheck(1);
    EXPECT_EQ(session_.check_state(kRootRow), CheckState::kChecked);
    session_.ClickCheck(kRootRow);
    EXPECT_EQ(session_.check_state(0), CheckState::kUnchecked);
    EXPECT_EQ(session_.check_state(kRootRow), CheckState::kUnchecked);
    EXPECT_TRUE(session_.CheckedRows().empty());
}

TEST_F(DiscSessionTest, ProfileChoiceRewritesOutputNamesOnlyWhenItChanges) {
    EXPECT_EQ(session_.row(0).output_name, "Title_01" + std::string(session_.profile().FormatExt));
    EXPECT_FALSE(session_.ChooseProfile(session_.profile().Id));
    int32_t other = -1;
    for (const core::OutputProfile& p : session_.profiles().Iterate())
        if (std::string(p.FormatExt) != session_.profile().FormatExt && other < 0) other = p.Id;
    ASSERT_GE(other, 0);
    EXPECT_TRUE(session_.ChooseProfile(other));
    EXPECT_EQ(session_.row(0).output_name, "Title_01" + std::string(session_.profile().FormatExt));
    EXPECT_FALSE(session_.ChooseProfile(9999));
    EXPECT_EQ(messages_.messages, std::vector<std::string>{kCantGetFormatMessage});
    EXPECT_EQ(session_.profile().Id, other);
}

TEST_F(DiscSessionTest, EditorStartsFromTheCurrentBlockAndLeavesItsOwn) {
    core::EditSettings edit = core::kDefaultEditSettings;
    edit.brightness = 200;
    session_.SetCurrentEdit(edit);
    session_.SelectRow(1);
    const int row = session_.BeginEdit();
    ASSERT_EQ(row, 1);
    EXPECT_EQ(session_.item(row).edit.brightness, 200);
    session_.item(row).edit.crop_left = 16;  // what OK writes
    session_.EndEdit(row);
    EXPECT_EQ(session_.current_edit().crop_left, 16);

    session_.SelectRow(kRootRow);
    EXPECT_EQ(session_.BeginEdit(), kNoRow);
    session_.ClearAll();
    EXPECT_TRUE(session_.catalogue().audio_list().empty());
    EXPECT_EQ(session_.BeginEdit(), kNoRow);
    EXPECT_EQ(messages_.messages, (std::vector<std::string>{kGetItemDataError, kPleaseSelectOne}));
}

TEST_F(DiscSessionTest, StartTakesOnlyAnExistingFolderAndRemembersIt) {
    EXPECT_FALSE(session_.AcceptOutputFolder((folder_ / "missing").string()));
    EXPECT_FALSE(session_.AcceptOutputFolder(""));
    EXPECT_EQ(messages_.messages.size(), 2u);
    EXPECT_EQ(messages_.messages[0], std::string(kInvalidOutputDirectory) + ": " +
                                         (folder_ / "missing").string() +
                                         ": No such file or directory");
    EXPECT_TRUE(session_.AcceptOutputFolder(folder_.string()));
    core::SettingsStore reread(store_.file());
    reread.Load();
    EXPECT_EQ(reread.values().out_folder, folder_.string());
}

// A catalogue value the matching option would refuse makes its profile
// unusable, named by file, profile and field; without a current profile
// Start refuses and the job has no items.
TEST_F(DiscSessionTest, ProfilesOutOfRangeAndUnreadableCataloguesLeaveStartRefusing) {
    // Each profile with the lists its stream needs, so that only its values decide.
    const std::string video_lists = "<Resolutions/><FrameRates/><VideoCodecs/><VideoBitRates/>";
    const std::string audio_lists = "<SampleRates/><Channels/><AudioCodecs/><AudioBitRates/>";
    auto video = [&](const char* name, const char* frame_rate) {
        return std::string("<Profile><ProfileName value=\"") + name +
               "\"/><FormatExt value=\".mp4\"/><VideoCodecName value=\"mpeg4\"/>"
               "<Width value=\"640\"/><Height value=\"480\"/><FrameRate value=\"" +
               frame_rate + "\"/><VideoBitRate value=\"1000000\"/>" + video_lists + "</Profile>";
    };
    const fs::path file = folder_ / "catalogue.xml";
    std::ofstream(file) << "<Formats>" << video("Good", "25000") << video("Slow", "1")
                        << "<Profile><ProfileName value=\"Many\"/><FormatExt value=\".mp3\"/>"
                           "<AudioCodecName value=\"libmp3lame\"/><SampleRate value=\"44100\"/>"
                           "<AudioBitRate value=\"0\"/><Channel value=\"9\"/>"
                        << audio_lists << "</Profile></Formats>";
    const JobChoices choices{.output_folder = folder_};
    ASSERT_TRUE(session_.LoadProfiles(file));
    EXPECT_FALSE(session_.has_profile()) << "id 1 cannot be used";
    EXPECT_FALSE(session_.RequireProfile());
    EXPECT_TRUE(session_.MakeJob(choices).items.empty());
    EXPECT_FALSE(session_.ChooseProfile(2));
    EXPECT_FALSE(session_.ChooseProfileByIdOrName("slow"));
    EXPECT_TRUE(session_.ChooseProfile(0));
    EXPECT_TRUE(session_.RequireProfile());
    EXPECT_FALSE(session_.MakeJob(choices).items.empty());
    const std::string slow = file.string() + ": profile \"Slow\" (number 2) cannot be used: " +
                             "FrameRate=\"1\": must be from 1000 to 120000 " +
                             "(frames per second × 1000)";
    EXPECT_EQ(messages_.messages,
              (std::vector<std::string>{
                  "There is no output profile to convert to (" + slow + ")",
                  file.string() + ": profile \"Many\" (number 3) cannot be used: Channel=\"9\": "
                                  "must be from 1 to 8",
                  slow}));

    messages_.messages.clear();
    std::ofstream(file) << "<Formats><Profile></Formats>";
    EXPECT_FALSE(session_.LoadProfiles(file));
    EXPECT_FALSE(session_.RequireProfile());
    EXPECT_TRUE(session_.MakeJob(choices).items.empty());
    const std::string unreadable = std::string(kLoadFormatError) + ": " + file.string() +
                                   ": not well-formed XML: Start-end tags mismatch at byte 20";
    EXPECT_EQ(messages_.messages,
              (std::vector<std::string>{
                  unreadable, "There is no output profile to convert to (" + unreadable + ")"}));
}

TEST_F(DiscSessionTest, TracksByPositionLanguageOrClickFollowEachTitle) {
    // Title_01 has English and French sound and subtitles; the others fewer.
    session_.CheckAll(false);
    ASSERT_TRUE(session_.CheckTitle(0));
    ASSERT_TRUE(session_.CheckTitle(2));
    TrackChoice french, second;
    french.language = "fra";
    second.position = 2;
    session_.ChooseAudio(french);
    session_.ChooseSubtitle(second);
    const auto rows = session_.CheckedRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].streams.audio_id, 0xBD81);
    EXPECT_EQ(rows[0].streams.subtitle_id, 0xBD21);
    EXPECT_EQ(messages_.messages.size(), 2u);  // Title_03 keeps its first tracks, and says so

    session_.SelectRow(0);
    ASSERT_TRUE(
        session_.SelectSubtitle(static_cast<int>(session_.catalogue().subtitle_list().size()) - 1));
    EXPECT_EQ(session_.CheckedRows()[0].streams.subtitle_id, dvd::kNoSubtitleId);
}

// --audio fr,en,1 --subtitle 2,en --subtitle-mode soft: Title_01 has all of
// them (1 is English again, written once); Title_03 (English sound only, no
// subtitles) keeps the places of what it lacks, and says so.
TEST_F(DiscSessionTest, FurtherTracksResolvePerTitleAndKeepTheirPlaces) {
    session_.CheckAll(false);
    ASSERT_TRUE(session_.CheckTitle(0));
    ASSERT_TRUE(session_.CheckTitle(2));
    TrackChoice french, english, first, second;
    french.language = "fr";
    english.language = "en";
    first.position = 1;
    second.position = 2;
    session_.ChooseAudio(french);
    session_.ChooseFurtherAudio({english, first});
    session_.ChooseSubtitle(second);
    session_.ChooseSoftSubtitles(true, {english});
    const auto rows = session_.CheckedRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].streams.further_audio_ids, (std::vector<int32_t>{0xBD80, 0}));
    EXPECT_EQ(rows[0].audio_languages, (std::vector<std::string>{"fre", "eng", ""}));
    EXPECT_EQ(rows[0].streams.soft_subtitle_ids, (std::vector<int32_t>{0xBD21, 0xBD20}));
    ASSERT_EQ(rows[0].subtitle_tracks.size(), 2u);
    EXPECT_EQ(rows[0].subtitle_tracks[1].language, "eng");
    EXPECT_EQ(rows[0].subtitle_tracks[1].height, 480);
    EXPECT_EQ(rows[1].streams.further_audio_ids,
              (std::vector<int32_t>{0, 0}));  // its one track is the first
    EXPECT_EQ(rows[1].streams.soft_subtitle_ids,
              (std::vector<int32_t>{dvd::kNoSubtitleId, dvd::kNoSubtitleId}));
    EXPECT_FALSE(messages_.messages.empty());
}

// The audio track list of a transport stream with two AC-3 tracks (one
// stream id, two PIDs): a click on the second chooses it for the batch.
TEST_F(DiscSessionTest, AudioListTellsTheTracksOfATransportStreamApart) {
    const fs::path clip = folder_ / "two.m2ts";
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=f=440 "
        "-f lavfi -i sine=f=880 -t 1 -map 0 -map 1 -map 2 -c:v mpeg2video -c:a ac3 -f mpegts "
        "-mpegts_m2ts_mode 1 '" +
        clip.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    ASSERT_TRUE(session_.OpenDisc(clip.string()));
    const std::vector<dvd::StreamEntry>& audio = session_.catalogue().audio_list();
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[0].id, 0x1100FD00);
    EXPECT_EQ(audio[1].id, 0x1101FD00);
    ASSERT_TRUE(session_.SelectAudio(1));
    EXPECT_EQ(session_.CheckedRows().at(0).streams.audio_id, 0x1101FD00);
}

TEST_F(DiscSessionTest, PlayLoadsTheSelectedRowsTitleOrTheFirst) {
    EXPECT_EQ(session_.PreviewTitle(), 0);
    ASSERT_GE(session_.row_count(), 2);
    session_.SelectRow(1);
    EXPECT_EQ(session_.PreviewTitle(), session_.row(1).item.title_index);
    EXPECT_NE(session_.PreviewTitle(), 0);  // Title_02 is too short to be listed
    ASSERT_TRUE(session_.UseChapter(0, 2));
    session_.SelectRow(0);
    EXPECT_EQ(session_.PreviewTitle(), 0);
    EXPECT_EQ(session_.PreviewItemName(), "Chapter_01_03");
}

// A Blu-ray's playlist: the root names the disc, its film is the main feature, its marks are
// the converted file's chapters, and one chapter converts as its stretch of the film.
TEST_F(DiscSessionTest, BlurayFilmIsOneRowWithItsNameMainFeatureAndChapters) {
    EXPECT_EQ(session_.RootText(), "VIDEO_TS");
    EXPECT_EQ(session_.MainFeatureTitle(), -1);
    EXPECT_EQ(session_.BlurayTitleText(0), "");
    const fs::path disc = folder_ / "FILM";
    ASSERT_TRUE(fx::MakeSampleBluray(disc));
    ASSERT_TRUE(session_.OpenDisc((disc / "BDMV").string()));
    EXPECT_EQ(session_.RootText(), "FILM (Blu-ray)");
    EXPECT_EQ(session_.MainFeatureTitle(), 0);
    ASSERT_EQ(session_.row_count(), 1);
    EXPECT_EQ(session_.row(0).original_length, "00:00:12");
    EXPECT_EQ(session_.BlurayTitleText(0), "00000.mpls: 3 clips, 4 chapters, main feature");
    const std::vector<engine::BatchRow> rows = session_.CheckedRows();
    ASSERT_EQ(rows.size(), 1u);
    std::vector<int64_t> starts_ms;
    for (const core::ChapterMark& mark : rows[0].chapters) starts_ms.push_back(mark.start_ms);
    EXPECT_EQ(starts_ms, (std::vector<int64_t>{0, 2000, 5000, 8000}));

    ASSERT_TRUE(session_.UseChapter(0, 2));
    EXPECT_EQ(session_.row(0).name, "Chapter_01_03");
    EXPECT_EQ(session_.row(0).item.trim_start_ms, 5000);
    EXPECT_EQ(session_.row(0).item.trim_length_ms, 3000);
}

}  // namespace
}  // namespace rizuvira::app
