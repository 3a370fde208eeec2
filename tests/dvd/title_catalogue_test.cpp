// SPDX-License-Identifier: GPL-2.0-or-later
// The catalogue of an opened disc: rows, their texts and items, the 3000 ms
// rule, the stream lists and the current choice, and the two load errors.
#include <gtest/gtest.h>

#include <memory>

#include "dvd/title_catalogue.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::dvd {
namespace {

namespace fx = fixtures;

std::unique_ptr<TitleTable> Disc(std::initializer_list<double> durations_ms) {
    auto disc = std::make_unique<TitleTable>();
    for (double duration : durations_ms) {
        DvdTitleInfo& title = disc->titles[disc->title_count++];
        title.chapters = 1;
        title.duration_ms = duration;
    }
    return disc;
}

class TitleCatalogueTest : public testing::Test {
protected:
    core::CollectedMessages messages_;
    core::CurrentEditSettings current_;
    TitleCatalogue catalogue_{&messages_, &current_};
};

TEST_F(TitleCatalogueTest, ListsTheSampleDisc) {
    core::ConvertItem edited = core::MakeTitleItem(0, 1000);
    edited.edit.brightness = 10;
    current_.OnEditorClosed(edited);
    catalogue_.SetFormatExt(".mp4");
    ASSERT_TRUE(catalogue_.LoadDisc(fx::SampleDiscPath(fx::kNtscDisc.iso)));
    EXPECT_NE(catalogue_.handle(), 0);
    EXPECT_TRUE(messages_.messages.empty());

    const auto& rows = catalogue_.rows();
    ASSERT_EQ(rows.size(), 4u) << "title 2 lasts 2 s";
    EXPECT_EQ(rows[0].name, "Title_01");
    EXPECT_EQ(rows[1].name, "Title_03");
    EXPECT_EQ(rows[0].original_length, "00:01:00");
    EXPECT_EQ(rows[0].trimmed_length, "00:01:00");
    EXPECT_EQ(rows[3].output_name, "Title_05.mp4");
    EXPECT_TRUE(rows[2].checked);
    EXPECT_EQ(rows[1].item.title_index, 2);
    EXPECT_EQ(rows[1].item.chapter_index, -1);
    EXPECT_EQ(rows[0].item.length_ms, 60060) << "NTSC titles last frames x 1001 / 30000";
    EXPECT_EQ(rows[0].item.trim_length_ms, 60060);
    EXPECT_EQ(catalogue_.selected_row(), 0);
    EXPECT_EQ(current_.Get().brightness, 128) << "title 0's row resets the current block";

    ASSERT_EQ(catalogue_.audio_list().size(), 2u);
    EXPECT_EQ(catalogue_.audio_list()[0].text, "English(AC3 6ch)");
    EXPECT_EQ(catalogue_.audio_list()[1].id, 0xBD81);
    ASSERT_EQ(catalogue_.subtitle_list().size(), 3u);
    EXPECT_EQ(catalogue_.subtitle_list()[1].text, "French");
    EXPECT_EQ(catalogue_.subtitle_list()[2].text, "None");
    EXPECT_EQ(catalogue_.current_audio_id(), 0xBD80);
    EXPECT_EQ(catalogue_.current_subtitle_id(), 0xBD20);

    EXPECT_TRUE(catalogue_.ShowTitleStreams(1));  // Title_03: MPEG audio, no subtitles
    ASSERT_EQ(catalogue_.audio_list().size(), 1u);
    EXPECT_EQ(catalogue_.audio_list()[0].text, "English(MP3 2ch)");
    EXPECT_EQ(catalogue_.current_audio_id(), 0xC000);
    EXPECT_EQ(catalogue_.current_subtitle_id(), kNoSubtitleId) << "only None is offered";
    EXPECT_FALSE(catalogue_.ShowTitleStreams(1)) << "the same row twice refills once";

    catalogue_.RefreshOutputNames(".mkv");
    EXPECT_EQ(catalogue_.rows()[0].output_name, "Title_01.mkv");

    EXPECT_EQ(catalogue_.ChapterLengthMs(0, 1), 15015) << "450 frames, from the chapter's cells";
    EXPECT_EQ(catalogue_.ChapterLengthMs(0, 4), -1);
    EXPECT_EQ(catalogue_.ChapterLengthMs(99, 0), -1);
}

TEST_F(TitleCatalogueTest, ThreeSecondsAreListedOneMillisecondLessIsNot) {
    core::ConvertItem edited = core::MakeTitleItem(0, 1000);
    edited.edit.hue_degrees = 30;
    current_.OnEditorClosed(edited);
    auto disc = Disc({2999.9, 3000.0, 3725000.4, 360000000.0});
    disc->titles[0].audio_count = 1;
    disc->titles[0].audio_id[0] = 0xBD88;
    disc->titles[0].audio_coding[0] = 1;    // no coding name
    disc->titles[0].audio_channels[0] = 1;  // stereo
    disc->titles[0].audio_language[0] = 'n' << 8 | 'l';
    catalogue_.ListDisc(*disc);

    ASSERT_EQ(catalogue_.rows().size(), 3u);
    EXPECT_EQ(catalogue_.rows()[0].name, "Title_02");
    EXPECT_EQ(catalogue_.rows()[0].item.length_ms, 3000);
    EXPECT_EQ(catalogue_.rows()[1].original_length, "01:02:05");
    EXPECT_EQ(catalogue_.rows()[1].item.length_ms, 3725000) << "truncated to whole milliseconds";
    EXPECT_EQ(catalogue_.rows()[2].original_length, "100:00:00");
    EXPECT_EQ(catalogue_.selected_row(), -1) << "title 0 is not listed";
    EXPECT_EQ(current_.Get().hue_degrees, 30) << "the current block is kept";
    ASSERT_EQ(catalogue_.audio_list().size(), 1u) << "the lists still show title 0";
    EXPECT_EQ(catalogue_.audio_list()[0].text, "Dutch( 2ch)");
}

TEST_F(TitleCatalogueTest, SelectionMatchesTheWholeStreamId) {
    auto disc = Disc({5000});
    DvdTitleInfo& title = disc->titles[0];
    title.audio_count = 2;
    title.audio_id[0] = 0xC000;  // both MPEG audio ids end in 0x00
    title.audio_id[1] = 0xC100;
    title.subtitle_count = 1;
    title.subtitle_id[0] = 0xBD20;
    catalogue_.ListDisc(*disc);

    // The preview found only the second MPEG track and no subtitles.
    catalogue_.SetStreamMatchHook([](int32_t id) { return id == 0xC100; });
    EXPECT_FALSE(catalogue_.SelectAudio(0));
    EXPECT_EQ(catalogue_.current_audio_id(), 0xC000) << "no match changes nothing";
    EXPECT_TRUE(catalogue_.SelectAudio(1));
    EXPECT_EQ(catalogue_.current_audio_id(), 0xC100);
    EXPECT_FALSE(catalogue_.SelectSubtitle(0));
    EXPECT_TRUE(catalogue_.SelectSubtitle(1)) << "None needs no stream";
    EXPECT_EQ(catalogue_.current_subtitle_id(), kNoSubtitleId);
    EXPECT_FALSE(catalogue_.SelectAudio(2));

    // A chapter row reads its title back from its name.
    catalogue_.rows().push_back({"Chapter_01_02", "", "", "", true, core::MakeTitleItem(0, 5000)});
    catalogue_.rows().push_back({"Title_07", "", "", "", true, core::MakeTitleItem(6, 5000)});
    EXPECT_TRUE(catalogue_.ShowTitleStreams(1));
    EXPECT_EQ(catalogue_.current_audio_id(), 0xC000);
    EXPECT_FALSE(catalogue_.ShowTitleStreams(2)) << "no title 7 on this disc";
}

TEST_F(TitleCatalogueTest, OpenAndLoadErrorsKeepTheRows) {
    ASSERT_TRUE(catalogue_.LoadDisc(fx::SampleDiscPath(fx::kPalDisc.iso)));
    const int32_t open = catalogue_.handle();
    const size_t rows = catalogue_.rows().size();
    int released = 0;
    EXPECT_FALSE(catalogue_.LoadDisc("/nonexistent/disc.iso", [&] { ++released; }));
    EXPECT_EQ(messages_.messages,
              std::vector<std::string>{
                  "Open DVD error: /nonexistent/disc.iso: No such file or directory"});
    EXPECT_EQ(released, 0);
    EXPECT_EQ(catalogue_.handle(), open) << "the open disc stays open";
    TitleTable still{};
    MyDVDGetInfo(open, &still);
    EXPECT_GT(still.title_count, 0) << "and can still be read";
    EXPECT_EQ(catalogue_.rows().size(), rows);

    catalogue_.SetPreviewHook([](int32_t handle) { return handle == 0; });  // the preview refuses
    EXPECT_FALSE(catalogue_.LoadDisc(fx::SampleDiscPath(fx::kNtscDisc.iso), [&] { ++released; }));
    EXPECT_EQ(messages_.messages.back(), kLoadDvdError);
    EXPECT_EQ(released, 1) << "the old disc was let go of before it closed";
    EXPECT_NE(catalogue_.handle(), open) << "the new disc stays open";
    EXPECT_NE(catalogue_.handle(), 0);
    EXPECT_EQ(catalogue_.rows().size(), rows);
}

TEST_F(TitleCatalogueTest, PlainFileIsOneTitleHoweverShort) {
    catalogue_.SetFormatExt(".mkv");
    ASSERT_TRUE(catalogue_.LoadDisc(fx::SampleDiscPath(fx::kNtscDisc.iso)));
    auto record = Disc({1500});
    catalogue_.LoadFileRecord("/clips/a.ts", *record);
    EXPECT_EQ(catalogue_.handle(), 0) << "the disc was closed";
    EXPECT_EQ(catalogue_.source_files(), std::vector<std::string>{"/clips/a.ts"});
    ASSERT_EQ(catalogue_.rows().size(), 1u);
    EXPECT_EQ(catalogue_.rows()[0].output_name, "Title_01.mkv");
    EXPECT_EQ(catalogue_.rows()[0].item.trim_length_ms, 1500);
    EXPECT_EQ(catalogue_.selected_row(), 0);
    EXPECT_EQ(catalogue_.ChapterLengthMs(0, 0), 1500) << "a file's one chapter is all of it";
}

// The clips of a Blu-ray folder are a disc's titles: a short one is left
// out of the list as a short DVD title is, and each title keeps its file.
TEST_F(TitleCatalogueTest, ClipsOfAFolderFollowTheThreeSecondRule) {
    auto record = Disc({5000, 3000, 2999});
    catalogue_.LoadFileRecords(
        {"/BDMV/STREAM/2.m2ts", "/BDMV/STREAM/1.m2ts", "/BDMV/STREAM/3.m2ts"}, *record);
    ASSERT_EQ(catalogue_.rows().size(), 2u);
    EXPECT_EQ(catalogue_.rows()[1].name, "Title_02");
    EXPECT_EQ(catalogue_.source_files().at(1), "/BDMV/STREAM/1.m2ts");
}

TEST(CatalogueLanguageName, FirstMatchCutAtTheSemicolon) {
    EXPECT_EQ(TitleCatalogue::LanguageName('n' << 8 | 'l'), "Dutch");
    EXPECT_EQ(TitleCatalogue::LanguageName('E' << 8 | 'N'), "English");
    EXPECT_EQ(TitleCatalogue::LanguageName('q' << 8 | 'q'), "");
}

}  // namespace
}  // namespace rizuvira::dvd
