// SPDX-License-Identifier: GPL-2.0-or-later
// The Conversion Options window's choices end in the job as the command
// line's options do: the picture cleanup, soft subtitles, the sound tracks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "app/conversion_options.h"
#include "app/data_files.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;

TEST(ConversionOptionsTest, TheOptionsGoIntoTheJobAndUntickingGivesTheListsTrackBack) {
    const fs::path folder = fs::temp_directory_path() / ("options_" + std::to_string(::getpid()));
    core::SettingsStore store(folder / "settings.ini");
    store.Load();
    core::CollectedMessages messages;
    DiscSession session(&messages, &store);
    ASSERT_TRUE(session.LoadProfiles(DataFile("Format.xml")));
    ASSERT_TRUE(session.ChooseProfile(3));  // Matroska: several sound tracks, subtitle tracks
    ASSERT_TRUE(session.OpenDisc(fixtures::SampleDiscPath(fixtures::kNtscDisc.iso)));
    session.CheckAll(false);
    session.ClickCheck(0);  // two sound tracks, two subtitles
    session.SelectRow(0);
    ASSERT_TRUE(session.SelectSubtitle(1));
    JobChoices choices;
    choices.output_folder = folder;

    ConversionOptions options;
    options.cleanup = {core::DeinterlaceMode::kOff, true};
    options.soft_subtitles = true;
    options.sound_tracks = {2, 1};
    ApplyConversionOptions(options, &session);
    ConversionJob job = session.MakeJob(choices);
    ASSERT_EQ(job.items.size(), 1u);
    EXPECT_EQ(job.picture_cleanup, options.cleanup);
    const engine::BatchRow& row = job.items[0];
    EXPECT_EQ(row.audio_languages.size(), 2u);
    ASSERT_EQ(row.streams.further_audio_ids.size(), 1u);
    EXPECT_EQ(row.streams.audio_id & 0xff, (row.streams.further_audio_ids[0] & 0xff) + 1);
    EXPECT_FALSE(row.streams.soft_subtitle_ids.empty());

    ASSERT_TRUE(session.SelectAudio(0));
    ApplyConversionOptions(ConversionOptions{}, &session);
    job = session.MakeJob(choices);
    EXPECT_EQ(job.picture_cleanup, core::PictureCleanup{});
    EXPECT_TRUE(job.items[0].streams.further_audio_ids.empty());
    EXPECT_TRUE(job.items[0].streams.soft_subtitle_ids.empty());
    EXPECT_EQ(job.items[0].streams.audio_id, session.catalogue().current_audio_id());
    fs::remove_all(folder);
}

// Chapters 2..3 of the sample's main title (chapters start at pictures 0,
// 450, 900 and 1350) become its trim; a range outside them changes nothing.
TEST(ConversionOptionsTest, AChapterRangeBecomesTheTitlesTrim) {
    const fs::path folder = fs::temp_directory_path() / ("chapters_" + std::to_string(::getpid()));
    core::SettingsStore store(folder / "settings.ini");
    store.Load();
    core::CollectedMessages messages;
    DiscSession session(&messages, &store);
    ASSERT_TRUE(session.OpenDisc(fixtures::SampleDiscPath(fixtures::kNtscDisc.iso)));
    ASSERT_EQ(ChapterCount(session, 0), 4);
    EXPECT_EQ(ChapterCount(session, 1), 1);
    EXPECT_FALSE(TrimToChapters(&session, 0, 3, 2));
    EXPECT_FALSE(TrimToChapters(&session, 0, 1, 5));
    ASSERT_TRUE(TrimToChapters(&session, 0, 2, 3));
    const core::ConvertItem& item = session.row(0).item;
    EXPECT_NEAR(item.trim_start_ms, 450 * 1001 / 30, 40);
    EXPECT_NEAR(item.trim_start_ms + item.trim_length_ms, 1350 * 1001 / 30, 40);
    EXPECT_EQ(session.row(0).trimmed_length, "00:00:30");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace rizuvira::app
