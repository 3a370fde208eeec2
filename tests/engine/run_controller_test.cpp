// SPDX-License-Identifier: GPL-2.0-or-later
// The batch sequencing and its numbers: which rows get files, the 1000 ms
// rule after a completed item, skipped rows, the bars, running time across
// pauses, merging, cancelling and the after-action. The item graph here is a
// scripted one, so the arithmetic can be checked to the millisecond; the
// real graph runs batches in e2e/convert_test.cpp.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/run_controller.h"

namespace rizuvira::engine {
namespace {

// Records what the controller asks of the graph; the test decides the
// position and when an item ends.
class ScriptedGraph final : public ItemGraph {
public:
    bool WroteSinceBuild() override { return !silent.count(built_index); }
    std::set<int> silent;  // items that end without writing anything
    int built_index = -1;
    bool OpenOutput(const std::filesystem::path& path, const std::filesystem::path& final_path,
                    const core::OutputSettings&) override {
        log.push_back("open " + final_path.filename().string());
        writing_to = path;
        return !unwritable.count(final_path.filename().string());
    }
    bool CloseOutput() override {
        log.push_back("close");
        return !close_fails;
    }
    std::string OutputError() override { return "no room"; }
    void AlignSoundToPicture() override { log.push_back("align"); }
    bool Build(const core::ConvertItem& item, const StreamChoice&,
               std::function<void()> notify) override {
        log.push_back("build " + std::to_string(item.title_index));
        built_index = item.title_index;
        built_edit = item.edit;
        notify_ = std::move(notify);
        return !unbuildable.count(item.title_index);
    }
    bool AttachPreview(decoders::IVideoSurface* surface) override {
        preview.push_back(surface ? "attach" : "detach");
        return true;
    }
    void ShowPreview(bool on) override { preview.push_back(on ? "show" : "hide"); }
    void Run() override { state = "running"; }
    void Pause() override { state = "paused"; }
    void Stop() override { state = "stopped"; }
    bool IsRunning() override { return state == "running"; }
    bool GetPositionSeconds(double* seconds) override {
        *seconds = position_s;
        return true;
    }
    bool GetDurationSeconds(double* seconds) override {
        *seconds = duration_s;
        return duration_s > 0;
    }
    std::vector<ItemGraphEvent> TakeEvents() override { return std::exchange(queued, {}); }

    // The sink finished (or the graph failed): queue it and announce it.
    void End(ItemGraphEvent event = ItemGraphEvent::kComplete) {
        queued.push_back(event);
        notify_();
    }

    std::vector<std::string> log;
    std::vector<std::string> preview;
    std::set<std::string> unwritable;
    std::filesystem::path writing_to;
    bool close_fails = false;
    std::set<int> unbuildable;
    std::string state = "stopped";
    double position_s = 0;
    double duration_s = 0;
    core::EditSettings built_edit{};
    std::vector<ItemGraphEvent> queued;

private:
    std::function<void()> notify_;
};

class CountingHost final : public RunHost {
public:
    void PostStartItem() override { ++starts; }
    void PostGraphEvents() override { ++events; }
    void BatchEnded() override { ++ended; }
    int starts = 0, events = 0, ended = 0;
};

class RecordingActions final : public SystemActions {
public:
    bool ShutDown(std::string* error) override {
        actions.push_back("shutdown");
        return Result(error);
    }
    bool OpenFolder(const std::filesystem::path& folder, std::string* error) override {
        actions.push_back("open " + folder.string());
        return Result(error);
    }
    std::vector<std::string> actions;
    std::string failure;  // empty: the actions succeed

private:
    bool Result(std::string* error) {
        *error = failure;
        return failure.empty();
    }
};

BatchRow Row(int title, int64_t trim_length_ms) {
    core::ConvertItem item = core::MakeTitleItem(title, 60000);
    item.trim_length_ms = trim_length_ms;
    char name[32];
    std::snprintf(name, sizeof(name), "Title_%02d.mp4", title + 1);
    return {name, item, {}, {}, {}, {}};
}

std::string Contents(const std::filesystem::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RunControllerTest : public testing::Test {
protected:
    RunControllerTest() {
        char pattern[] = "/tmp/rizuvira-run-XXXXXX";
        folder_ = mkdtemp(pattern);
    }
    ~RunControllerTest() override { std::filesystem::remove_all(folder_); }

    RunController& Begin(std::vector<BatchRow> rows, BatchOptions options = {}) {
        options.output_folder = folder_;
        controller_.Begin(std::move(rows), edit_, std::move(options));
        return controller_;
    }
    std::set<std::string> FolderNames() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_))
            names.insert(entry.path().filename());
        return names;
    }
    // What the host does when the controller posted a start.
    void StartPosted() {
        ASSERT_GT(host_.starts, started_);
        started_ = host_.starts;
        controller_.StartCurrentItem();
    }
    void EndItem(ItemGraphEvent event = ItemGraphEvent::kComplete) {
        graph_.End(event);
        controller_.HandleGraphEvents();
    }

    std::filesystem::path folder_;
    int64_t now_ms_ = 0;
    core::EditSettings edit_ = core::kDefaultEditSettings;
    ScriptedGraph graph_;
    CountingHost host_;
    core::CollectedMessages messages_;
    RecordingActions actions_;
    RunController controller_{&graph_, &host_, &messages_, &actions_, [this] { return now_ms_; }};
    int started_ = 0;
};

TEST_F(RunControllerTest, ShortRowAfterACompletedItemGetsNoFileAndTheBatchBarStopsAt983) {
    Begin({Row(0, 10000), Row(1, 500), Row(2, 20000)});
    EXPECT_DOUBLE_EQ(controller_.total_seconds(), 30.5);
    StartPosted();
    graph_.duration_s = 10;
    graph_.position_s = 5;
    EXPECT_EQ(controller_.Tick().item_bar, 500);
    EXPECT_EQ(controller_.progress().batch_bar, 163);  // 5 / 30.5
    graph_.position_s = 10;
    EndItem();
    EXPECT_EQ(controller_.progress().batch_bar, 327);
    EXPECT_EQ(controller_.current_index(), 2) << "the 0.5 s row is passed over";
    StartPosted();
    graph_.duration_s = 20;
    graph_.position_s = 20;
    EXPECT_EQ(controller_.Tick().batch_bar, 983);
    EndItem();
    EXPECT_TRUE(controller_.ended());
    EXPECT_EQ(controller_.progress().batch_bar, 983);
    EXPECT_EQ(graph_.log, (std::vector<std::string>{"open Title_01.mp4", "build 0", "close",
                                                    "open Title_03.mp4", "build 2", "close"}));
    ASSERT_EQ(controller_.finished_files().size(), 2u);
    EXPECT_TRUE(controller_.finished_files()[1].ok);
    EXPECT_EQ(controller_.failed_items(), 0);
    EXPECT_EQ(host_.ended, 1);
    EXPECT_TRUE(actions_.actions.empty());
}

TEST_F(RunControllerTest, EveryRowConvertsWithTheCurrentEditSettings) {
    edit_.brightness = 200;
    std::vector<BatchRow> rows{Row(0, 4000), Row(2, 4000)};
    rows[1].item.edit.crop_left = 16;
    rows[1].item.trim_start_ms = 10000;
    Begin(rows);
    EXPECT_EQ(controller_.rows()[0].item.edit.brightness, 200);
    EXPECT_EQ(controller_.rows()[1].item.edit.brightness, 200);
    EXPECT_EQ(controller_.rows()[1].item.edit.crop_left, 0);
    EXPECT_EQ(controller_.rows()[1].item.trim_start_ms, 10000) << "trim values stay per row";
    StartPosted();
    EXPECT_EQ(graph_.built_edit.brightness, 200);
}

TEST_F(RunControllerTest, ElapsedTimeCountsOnlyRunningStretches) {
    Begin({Row(0, 12000)});
    StartPosted();
    graph_.duration_s = 12;
    now_ms_ = 1000;
    controller_.Pause();
    now_ms_ = 5000;
    EXPECT_EQ(controller_.Tick().elapsed_ms, 0)
        << "nothing moves while paused (the last update stands)";
    controller_.Continue();
    now_ms_ = 6000;
    controller_.Pause();
    EXPECT_EQ(graph_.state, "paused");
    now_ms_ = 9000;
    controller_.Continue();
    EXPECT_EQ(graph_.state, "running");
    now_ms_ = 10000;
    graph_.position_s = 3;
    const RunProgress& progress = controller_.Tick();
    EXPECT_EQ(progress.elapsed_ms, 3000);
    EXPECT_EQ(progress.elapsed_text, "00:00:03");
    EXPECT_EQ(progress.remaining_ms, 9000);  // three quarters left at the pace so far
    EXPECT_EQ(progress.position_text, "00:00:03/00:00:12");
}

TEST_F(RunControllerTest, ItemBarFollowsTheTrimmedLengthNotTheTitle) {
    Begin({Row(0, 3000)});
    StartPosted();
    graph_.duration_s = 60;  // the whole title
    graph_.position_s = 1.5;
    now_ms_ = 1000;
    const RunProgress& progress = controller_.Tick();
    EXPECT_EQ(progress.item_bar, 500);
    EXPECT_EQ(progress.remaining_ms, 1000);
    EXPECT_EQ(progress.position_text, "00:00:01/00:00:03");
}

TEST_F(RunControllerTest, UnknownDurationAndNothingConvertedYet) {
    Begin({Row(0, 12000)});
    StartPosted();
    now_ms_ = 500;
    graph_.position_s = 0;
    const RunProgress& progress = controller_.Tick();
    EXPECT_EQ(progress.remaining_ms, -1) << "no pace to estimate from";
    EXPECT_EQ(progress.remaining_text, "");
    graph_.position_s = 2.5;  // no duration from the splitter: one second stands in
    EXPECT_EQ(controller_.Tick().item_bar, 1000);
    EXPECT_EQ(controller_.progress().position_text, "00:00:02/00:00:01");
}

TEST_F(RunControllerTest, FailedBuildSkipsTheRowAndTheNextRowFollowsWhateverItsLength) {
    graph_.unbuildable = {1};
    Begin({Row(0, 10000), Row(1, 5000), Row(2, 500)});
    StartPosted();
    EndItem();
    StartPosted();  // row 1: its build fails
    EXPECT_EQ(controller_.current_index(), 2);
    EXPECT_EQ(controller_.failed_items(), 1);
    EXPECT_EQ(controller_.progress().batch_bar, 967) << "the skipped row counts as done";
    StartPosted();
    EndItem();
    EXPECT_TRUE(controller_.ended());
    EXPECT_EQ(controller_.progress().batch_bar, 1000);
    EXPECT_EQ(graph_.log, (std::vector<std::string>{"open Title_01.mp4", "build 0", "close",
                                                    "open Title_02.mp4", "build 1", "close",
                                                    "open Title_03.mp4", "build 2", "close"}));
    // Row 1's file got nothing: it is taken away, not reported.
    ASSERT_EQ(controller_.finished_files().size(), 2u);
    EXPECT_EQ(controller_.finished_files()[1].path, folder_ / "Title_03.mp4");
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"Title_01.mp4", "Title_03.mp4"}));
}

TEST_F(RunControllerTest, AnItemThatWritesNothingFailsAndLeavesNoFile) {
    graph_.silent = {0};
    Begin({Row(0, 10000), Row(1, 4000)});
    StartPosted();
    EndItem();
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0], std::string(kNothingConvertedMessage) + "Title_01.");
    EXPECT_EQ(controller_.failed_items(), 1);
    EXPECT_TRUE(controller_.finished_files().empty()) << "the empty file is taken away";
    StartPosted();
    EndItem();
    ASSERT_EQ(controller_.finished_files().size(), 1u);
    EXPECT_TRUE(controller_.finished_files()[0].ok);
}

TEST_F(RunControllerTest, ReadErrorKeepsWhatWasReadButFailsTheItem) {
    Begin({Row(0, 10000), Row(1, 4000)});
    StartPosted();
    graph_.position_s = 3.2;
    graph_.End(ItemGraphEvent::kReadError);
    controller_.HandleGraphEvents();
    EXPECT_TRUE(controller_.running()) << "the item plays on to what was read";
    EndItem();
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0],
              std::string(kReadErrorMessage) + "Title_01; the file stops at 00:00:03.");
    EXPECT_EQ(controller_.failed_items(), 1);
    ASSERT_EQ(controller_.finished_files().size(), 1u);
    EXPECT_FALSE(controller_.finished_files()[0].ok);
    StartPosted();
    EndItem();
    EXPECT_EQ(controller_.failed_items(), 1) << "the next item starts clean";
    EXPECT_TRUE(controller_.finished_files()[1].ok);
}

TEST_F(RunControllerTest, OutputThatCannotBeCreatedIsReportedAndItsRowSkipped) {
    graph_.unwritable = {"Title_01.mp4"};
    Begin({Row(0, 10000), Row(1, 4000)});
    StartPosted();
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0], std::string(kCannotCreateOutputMessage) +
                                         (folder_ / "Title_01.mp4").string() + " (no room)");
    EXPECT_EQ(controller_.current_index(), 1);
    StartPosted();
    EndItem();
    EXPECT_EQ(graph_.log, (std::vector<std::string>{"open Title_01.mp4", "open Title_02.mp4",
                                                    "build 1", "close"}));
    EXPECT_EQ(controller_.failed_items(), 1);
}

TEST_F(RunControllerTest, AbortedItemFinishesItsFileAndTheBatchGoesOn) {
    Begin({Row(0, 10000), Row(1, 4000)});
    StartPosted();
    EndItem(ItemGraphEvent::kAbort);
    EXPECT_EQ(controller_.current_index(), 1);
    StartPosted();
    EndItem();
    EXPECT_TRUE(controller_.ended());
    EXPECT_EQ(controller_.failed_items(), 1);
    ASSERT_EQ(controller_.finished_files().size(), 2u);
    EXPECT_FALSE(controller_.finished_files()[0].ok);
    EXPECT_TRUE(controller_.finished_files()[1].ok);
}

TEST_F(RunControllerTest, MergedRowsShareOneFileNamedAfterTheFirst) {
    BatchOptions options;
    options.merge = true;
    options.open_folder = true;
    Begin({Row(2, 4000), Row(0, 6000)}, options);
    StartPosted();
    EndItem();
    StartPosted();
    EndItem();
    EXPECT_EQ(graph_.log, (std::vector<std::string>{"open Title_03.mp4", "build 2", "align",
                                                    "build 0", "align", "close"}));
    ASSERT_EQ(controller_.finished_files().size(), 1u);
    EXPECT_DOUBLE_EQ(controller_.finished_files()[0].seconds, 10.0);
    EXPECT_EQ(actions_.actions, (std::vector<std::string>{"open " + folder_.string()}));
}

TEST_F(RunControllerTest, ShutDownSettingWinsOverTheOpenFolderBox) {
    BatchOptions options;
    options.open_folder = true;
    options.action_setting = "Shut Down";
    Begin({Row(0, 4000)}, options);
    StartPosted();
    EndItem();
    EXPECT_EQ(actions_.actions, (std::vector<std::string>{"shutdown"}));
}

TEST_F(RunControllerTest, CancelFinishesTheCurrentFileAndSkipsTheRest) {
    BatchOptions options;
    options.shut_down = true;
    Begin({Row(0, 10000), Row(1, 4000)}, options);
    StartPosted();
    graph_.position_s = 4;
    controller_.Tick();
    controller_.Cancel();
    EXPECT_TRUE(controller_.ended());
    EXPECT_TRUE(controller_.cancelled());
    EXPECT_EQ(graph_.state, "stopped");
    EXPECT_EQ(graph_.log, (std::vector<std::string>{"open Title_01.mp4", "build 0", "close"}));
    EXPECT_TRUE(actions_.actions.empty()) << "a cancelled batch has no after-action";
    // Events of the stopped graph that arrive late change nothing.
    graph_.queued.push_back(ItemGraphEvent::kComplete);
    controller_.HandleGraphEvents();
    EXPECT_EQ(controller_.finished_files().size(), 1u);
}

TEST_F(RunControllerTest, PreviewAndAfterActionFollowTheWindowDuringTheRun) {
    int surface = 0;  // only its address counts here
    controller_.SetPreviewSurface(reinterpret_cast<decoders::IVideoSurface*>(&surface));
    Begin({Row(0, 4000), Row(1, 4000)});
    StartPosted();
    controller_.ShowPreview(false);
    controller_.SetOpenFolder(true);  // ticked while the first item runs
    EndItem();
    StartPosted();  // the next item starts hidden, as the box says
    EndItem();
    EXPECT_EQ(graph_.preview,
              (std::vector<std::string>{"attach", "show", "hide", "attach", "hide"}));
    EXPECT_EQ(actions_.actions, (std::vector<std::string>{"open " + folder_.string()}));
}

TEST_F(RunControllerTest, FilesAreWrittenUnderATemporaryNameAndMovedWhenFinished) {
    Begin({Row(0, 10000), Row(1, 4000)});
    StartPosted();
    const std::string part = graph_.writing_to.filename();
    EXPECT_EQ(graph_.writing_to.parent_path(), folder_);
    EXPECT_TRUE(part.starts_with(".Title_01.mp4.") && part.ends_with(".part")) << part;
    EXPECT_EQ(FolderNames(), (std::set<std::string>{part}));
    EndItem();
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"Title_01.mp4"}));
    // A cancelled file is finished and moved too.
    StartPosted();
    controller_.Cancel();
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"Title_01.mp4", "Title_02.mp4"}));
}

TEST_F(RunControllerTest, ExistingFileIsReplacedOnlyAsThePolicySays) {
    std::ofstream(folder_ / "Title_01.mp4") << "old";
    const std::vector<BatchRow> rows{Row(0, 4000), Row(1, 4000)};
    BatchOptions options;
    options.output_folder = folder_;
    EXPECT_EQ(ExistingOutputs(rows, options),
              std::vector<std::filesystem::path>{folder_ / "Title_01.mp4"});

    // Refused: the row fails with a message, the file stays as it was.
    Begin(rows);
    StartPosted();
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0], (folder_ / "Title_01.mp4").string() + kFileExistsMessage);
    EXPECT_EQ(controller_.failed_items(), 1);
    StartPosted();
    EndItem();
    EXPECT_EQ(Contents(folder_ / "Title_01.mp4"), "old");
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"Title_01.mp4", "Title_02.mp4"}));

    // Asked: the answer decides; declined is a refusal.
    std::vector<std::filesystem::path> asked;
    bool answer = false;
    options.overwrite = OverwritePolicy::kAsk;
    options.confirm_overwrite = [&](const std::filesystem::path& path) {
        asked.push_back(path);
        return answer;
    };
    Begin({Row(0, 4000)}, options);
    StartPosted();
    EXPECT_EQ(controller_.failed_items(), 1);
    EXPECT_EQ(Contents(folder_ / "Title_01.mp4"), "old");
    answer = true;
    Begin({Row(0, 4000)}, options);
    StartPosted();
    EndItem();
    EXPECT_EQ(controller_.failed_items(), 0);
    EXPECT_EQ(Contents(folder_ / "Title_01.mp4"), "") << "replaced by the new file";
    EXPECT_EQ(asked, (std::vector<std::filesystem::path>{folder_ / "Title_01.mp4",
                                                         folder_ / "Title_01.mp4"}))
        << "asked once per item";
}

TEST_F(RunControllerTest, FileThatAppearsDuringTheConversionIsNotReplaced) {
    Begin({Row(0, 4000)});
    StartPosted();
    std::ofstream(folder_ / "Title_01.mp4") << "theirs";
    EndItem();
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0], (folder_ / "Title_01.mp4").string() + kFileAppearedMessage);
    EXPECT_EQ(controller_.failed_items(), 1);
    EXPECT_TRUE(controller_.finished_files().empty());
    EXPECT_EQ(Contents(folder_ / "Title_01.mp4"), "theirs");
    EXPECT_EQ(FolderNames(), (std::set<std::string>{"Title_01.mp4"})) << "no temporary file left";

    // Asking the user at that moment.
    BatchOptions options;
    options.overwrite = OverwritePolicy::kAsk;
    options.confirm_overwrite = [](const std::filesystem::path&) { return true; };
    Begin({Row(1, 4000)}, options);
    StartPosted();
    std::ofstream(folder_ / "Title_02.mp4") << "theirs";
    EndItem();
    EXPECT_EQ(controller_.failed_items(), 0);
    EXPECT_EQ(Contents(folder_ / "Title_02.mp4"), "");
}

TEST_F(RunControllerTest, WriteFailuresFailTheItemAndNeverLeaveTheUnfinishedFile) {
    // A write error ends the item at once; the file, without its index, is removed.
    Begin({Row(0, 10000), Row(1, 4000)});
    StartPosted();
    graph_.close_fails = true;  // the trailer cannot be written either
    EndItem(ItemGraphEvent::kWriteError);
    const std::string first = (folder_ / "Title_01.mp4").string();
    EXPECT_EQ(messages_.messages, (std::vector<std::string>{
                                      std::string(kCannotWriteOutputMessage) + first + " (no room)",
                                      first + kUnfinishedFileRemovedMessage}));
    EXPECT_EQ(controller_.failed_items(), 1);
    ASSERT_EQ(controller_.finished_files().size(), 1u);
    EXPECT_FALSE(controller_.finished_files()[0].ok);
    // A file that only fails when it is finished is a failed item too.
    StartPosted();
    EndItem();
    ASSERT_EQ(messages_.messages.size(), 4u);
    EXPECT_EQ(messages_.messages[2], std::string(kCannotWriteOutputMessage) +
                                         (folder_ / "Title_02.mp4").string() + " (no room)");
    EXPECT_EQ(controller_.failed_items(), 2);
    EXPECT_FALSE(controller_.finished_files()[1].ok);
    EXPECT_EQ(FolderNames(), std::set<std::string>{});
}

TEST_F(RunControllerTest, FailedAfterActionIsReported) {
    BatchOptions options;
    options.open_folder = true;
    actions_.failure = "xdg-open: No such file or directory";
    Begin({Row(0, 4000)}, options);
    StartPosted();
    EndItem();
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0], std::string(kCannotOpenFolderMessage) + folder_.string() +
                                         ": xdg-open: No such file or directory");
    EXPECT_EQ(controller_.failed_items(), 0) << "the files are fine";
}

TEST(PartFile, TwoWritersNeverShareAFileAndNeitherReplacesTheOther) {
    char pattern[] = "/tmp/rizuvira-part-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    PartFile first, second;
    std::string error;
    ASSERT_TRUE(first.Create(folder / "a.mp4", &error)) << error;
    ASSERT_TRUE(second.Create(folder / "a.mp4", &error)) << error;
    EXPECT_NE(first.path(), second.path());
    EXPECT_EQ(first.MoveToFinalName(false, &error), PartFile::Commit::kDone);
    EXPECT_EQ(second.MoveToFinalName(false, &error), PartFile::Commit::kExists);
    EXPECT_EQ(second.MoveToFinalName(true, &error), PartFile::Commit::kDone);
    EXPECT_FALSE(first.Create(folder / "missing" / "a.mp4", &error));
    EXPECT_EQ(error, "No such file or directory");
    {
        PartFile dropped;
        ASSERT_TRUE(dropped.Create(folder / "b.mp4", &error));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1)
        << "an unfinished part is removed";
    std::filesystem::remove_all(folder);
}

TEST_F(RunControllerTest, NoRowsEndsAtOnce) {
    Begin({});
    EXPECT_TRUE(controller_.ended());
    EXPECT_EQ(host_.starts, 0);
    EXPECT_EQ(host_.ended, 1);
}

BatchRow TrackRow(std::vector<int32_t> further_audio, std::vector<std::string> languages,
                  std::vector<int32_t> subtitles, std::vector<std::string> subtitle_languages) {
    BatchRow row;
    row.streams.further_audio_ids = std::move(further_audio);
    row.audio_languages = std::move(languages);
    row.streams.soft_subtitle_ids = std::move(subtitles);
    for (const std::string& language : subtitle_languages)
        row.subtitle_tracks.push_back({language, {}, 720, 480});
    return row;
}

// The first title lacks the second sound track (0) and has no subtitle
// (-1); the second title has both.
TEST(FitTracksToFiles, MergedFileHasEveryTrackAnItemHasOwnFilesOnlyTheirs) {
    const std::vector<BatchRow> given{TrackRow({0, 0xBD82}, {"eng", "", "ger"}, {-1}, {""}),
                                      TrackRow({0xBD81, 0}, {"eng", "fre", ""}, {0xBD20}, {"eng"})};
    std::vector<BatchRow> merged = given;
    FitTracksToFiles(&merged, true);
    for (const BatchRow& row : merged) {
        EXPECT_EQ(row.audio_languages, (std::vector<std::string>{"eng", "fre", "ger"}));
        ASSERT_EQ(row.subtitle_tracks.size(), 1u);
        EXPECT_EQ(row.subtitle_tracks[0].language, "eng");
    }
    EXPECT_EQ(merged[0].streams.further_audio_ids, (std::vector<int32_t>{0, 0xBD82}));
    EXPECT_EQ(merged[0].streams.soft_subtitle_ids, (std::vector<int32_t>{-1}));
    EXPECT_EQ(merged[1].streams.further_audio_ids, (std::vector<int32_t>{0xBD81, 0}));

    std::vector<BatchRow> own = given;
    FitTracksToFiles(&own, false);
    EXPECT_EQ(own[0].streams.further_audio_ids, (std::vector<int32_t>{0xBD82}));
    EXPECT_EQ(own[0].audio_languages, (std::vector<std::string>{"eng", "ger"}));
    EXPECT_TRUE(own[0].streams.soft_subtitle_ids.empty());
    EXPECT_TRUE(own[0].subtitle_tracks.empty());
    EXPECT_EQ(own[1].streams.further_audio_ids, (std::vector<int32_t>{0xBD81}));
    EXPECT_EQ(own[1].audio_languages, (std::vector<std::string>{"eng", "fre"}));
    EXPECT_EQ(own[1].streams.soft_subtitle_ids, (std::vector<int32_t>{0xBD20}));
}

}  // namespace
}  // namespace rizuvira::engine
