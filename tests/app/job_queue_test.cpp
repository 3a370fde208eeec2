// SPDX-License-Identifier: GPL-2.0-or-later
// The queue of the desktop program: what goes in with each job, what comes
// back after a restart, the order rules, and a file that cannot be read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/data_files.h"
#include "app/disc_session.h"
#include "app/job_queue.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;

class JobQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("job_queue_" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "out");
        store_.Load();
        ASSERT_TRUE(session_.LoadProfiles(DataFile("Format.xml")));
        ASSERT_TRUE(session_.OpenDisc(fixtures::SampleDiscPath(fixtures::kNtscDisc.iso)));
    }
    void TearDown() override { fs::remove_all(folder_); }

    // The checked rows of the sample disc as Start would convert them.
    ConversionJob Job(bool merge = false) {
        JobChoices choices;
        choices.output_folder = folder_ / "out";
        choices.merge = merge;
        return session_.MakeJob(choices);
    }
    void CheckOnly(std::initializer_list<int> rows) {
        session_.CheckAll(false);
        for (int row : rows) session_.ClickCheck(row);
    }

    fs::path folder_;
    core::CollectedMessages messages_;
    core::SettingsStore store_{fs::temp_directory_path() /
                               ("job_queue_" + std::to_string(::getpid())) / "settings.ini"};
    DiscSession session_{&messages_, &store_};
    fs::path file_ = QueueFile(store_.file());
};

// Everything a job converts with comes back after a restart; the job that was
// running waits again, the others keep their state.
TEST_F(JobQueueTest, AQueueReadBackIsTheQueueWritten) {
    CheckOnly({0, 1});
    session_.SelectRow(0);
    ASSERT_TRUE(session_.SelectAudio(1));
    TrackChoice second;
    second.position = 2;
    session_.ChooseSoftSubtitles(true, {second});
    const int row = session_.BeginEdit();
    session_.item(row).trim_start_ms = 1500;
    session_.item(row).trim_length_ms = 4250;
    session_.item(row).edit.crop_left = 8;
    session_.item(row).edit.hue_degrees = -30;
    session_.EndEdit(row);
    core::Watermark mark;
    mark.text = "Nuit <&> \"été\"";
    mark.alpha = 0.3f;
    mark.x = -4;
    session_.SetWatermark(mark);
    session_.SetPictureCleanup({core::DeinterlaceMode::kOn, true});
    ASSERT_TRUE(session_.ChooseProfile(2));
    ConversionJob job = Job();
    job.profile.Settings.Quality = 23;
    core::SetField(job.profile.Settings.EncoderPreset, "slow");
    ASSERT_EQ(job.items.size(), 2u);
    ASSERT_FALSE(job.items[0].subtitle_tracks.empty());
    ASSERT_FALSE(job.items[0].chapters.empty());
    messages_.messages.clear();  // the second title lacks the subtitle: said at MakeJob

    JobQueue queue(file_, &messages_);
    queue.Load();
    EXPECT_EQ(queue.Add(job), 2);
    const int64_t running = queue.StartNext()->id;
    const int64_t waiting = queue.jobs()[1].id;

    JobQueue again(file_, &messages_);
    again.Load();
    ASSERT_EQ(again.jobs().size(), 2u);
    EXPECT_EQ(again.jobs()[0].id, running);
    EXPECT_EQ(again.jobs()[0].state, QueueState::kWaiting);
    EXPECT_EQ(again.jobs()[1].id, waiting);
    for (int i = 0; i < 2; ++i) {
        const ConversionJob& back = again.jobs()[i].job;
        EXPECT_EQ(back.items, std::vector<engine::BatchRow>{job.items[i]});
        EXPECT_EQ(back.profile, job.profile);
        EXPECT_EQ(back.watermark, mark);
        EXPECT_EQ(back.picture_cleanup, job.picture_cleanup);
        EXPECT_EQ(back.source, job.source);
        EXPECT_EQ(back.source.dvd_handle, 0);
        EXPECT_EQ(back.output_folder, job.output_folder);
    }
    EXPECT_TRUE(messages_.messages.empty()) << messages_.messages.front();
    // A new job takes an id none had before.
    CheckOnly({0});
    again.Add(Job());
    EXPECT_GT(again.jobs().back().id, waiting);
}

// One job per file: merged rows stay one job; two jobs never write one file,
// and the after-actions of Start are not queued.
TEST_F(JobQueueTest, EachQueuedJobWritesAFileOfItsOwn) {
    CheckOnly({0, 1});
    JobQueue queue(file_, &messages_);
    queue.Load();
    ConversionJob merged = Job(true);
    merged.shut_down = true;
    EXPECT_EQ(queue.Add(merged), 1);
    EXPECT_EQ(queue.jobs()[0].job.items.size(), 2u);
    EXPECT_FALSE(queue.jobs()[0].job.shut_down);

    CheckOnly({0});  // the merged file's name again, twice
    queue.Add(Job());
    queue.Add(Job());
    const fs::path name = queue.jobs()[0].job.items[0].output_name;
    const std::string stem = name.stem().string(), ext = name.extension().string();
    EXPECT_EQ(queue.jobs()[1].job.items[0].output_name, stem + " (2)" + ext);
    EXPECT_EQ(queue.jobs()[2].job.items[0].output_name, stem + " (3)" + ext);
    // Once a job has ended, its name is free again.
    queue.Finish(queue.StartNext()->id, QueueState::kDone);
    queue.Add(Job());
    EXPECT_EQ(queue.jobs().back().job.items[0].output_name, name);
}

TEST_F(JobQueueTest, OnlyWaitingJobsMoveAndARunningJobStays) {
    CheckOnly({0, 1, 2, 3});
    JobQueue queue(file_, &messages_);
    queue.Load();
    ASSERT_EQ(queue.Add(Job()), 4);
    auto ids = [&] {
        std::vector<int64_t> out;
        for (const QueuedJob& job : queue.jobs()) out.push_back(job.id);
        return out;
    };
    const std::vector<int64_t> first = ids();
    const int64_t running = queue.StartNext()->id;
    EXPECT_FALSE(queue.Remove(running));
    EXPECT_FALSE(queue.Move(running, 1));
    EXPECT_FALSE(queue.Move(first[1], -1));  // only the running job is above it
    EXPECT_TRUE(queue.Move(first[3], -1));
    EXPECT_FALSE(queue.Move(first[2], 1));  // the last one
    EXPECT_EQ(ids(), (std::vector<int64_t>{first[0], first[1], first[3], first[2]}));
    EXPECT_TRUE(queue.Remove(first[1]));
    queue.Finish(running, QueueState::kFailed);
    EXPECT_EQ(queue.StartNext()->id, first[3]);
    queue.Finish(first[3], QueueState::kDone);
    queue.ClearEnded();
    EXPECT_EQ(ids(), std::vector<int64_t>{first[2]});

    JobQueue again(file_, &messages_);
    again.Load();
    EXPECT_EQ(again.jobs(), queue.jobs());
}

// A damaged file is kept aside, not written over; a value out of range is no queue.
TEST_F(JobQueueTest, AQueueFileThatCannotBeReadIsKeptAsideAndTheQueueStartsEmpty) {
    CheckOnly({0});
    std::vector<QueuedJob> jobs{{1, QueueState::kWaiting, Job()}};
    std::string text = WriteQueueText(jobs);
    std::string error;
    std::vector<QueuedJob> read;
    ASSERT_TRUE(ReadQueueText(text, &read, &error)) << error;
    const size_t right = text.find("right=\"720\"");
    ASSERT_NE(right, std::string::npos);
    text.replace(right, 11, "right=\"9000\"");
    EXPECT_FALSE(ReadQueueText(text, &read, &error));
    EXPECT_NE(error.find("right=\"9000\""), std::string::npos) << error;
    EXPECT_TRUE(read.empty());

    fs::create_directories(file_.parent_path());
    std::ofstream(file_) << text.substr(0, text.size() / 2);
    JobQueue queue(file_, &messages_);
    queue.Load();
    EXPECT_TRUE(queue.jobs().empty());
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_NE(messages_.messages[0].find("cannot be read"), std::string::npos);
    fs::path aside = file_;
    aside += ".damaged";
    EXPECT_TRUE(fs::exists(aside));
    queue.Add(Job());
    EXPECT_EQ(fs::file_size(aside), text.size() / 2);
}

// The fuzz target's seed is a queue, so the fuzzer starts from text that reads.
TEST(QueueFileTest, TheFuzzSeedReads) {
    std::ifstream in(fs::path(RIZUVIRA_SOURCE_DIR) / "fuzz/corpus/queue_file/two_jobs.xml");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<QueuedJob> jobs;
    std::string error;
    ASSERT_TRUE(ReadQueueText(text, &jobs, &error)) << error;
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].job.watermark.text, "Nuit <&>");
    EXPECT_EQ(jobs[1].job.source.files.size(), 1u);
}

// A queued job opens its disc again when it runs.
TEST_F(JobQueueTest, AQueuedJobOpensItsDiscWhenItRuns) {
    CheckOnly({0});
    const ConversionJob job = Job();
    QueuedSource source(job);
    ASSERT_TRUE(source.ok()) << source.error();
    EXPECT_NE(source.Ready(job).source.dvd_handle, 0);

    ConversionJob gone = job;
    gone.source.path = (folder_ / "gone.iso").string();
    QueuedSource missing(gone);
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find("gone.iso"), std::string::npos);
}

}  // namespace
}  // namespace rizuvira::app
