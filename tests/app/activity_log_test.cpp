// SPDX-License-Identifier: GPL-2.0-or-later
// The activity log: what each entry keeps, what a later run reads back, and
// the rotation that bounds the file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/activity_log.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;

class ActivityLogTest : public ::testing::Test {
protected:
    void SetUp() override { fs::remove_all(folder_); }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_ = fs::temp_directory_path() / ("activity_log_" + std::to_string(::getpid()));
    fs::path file_ = ActivityLogFile(folder_ / "settings.ini");
    core::CollectedMessages shown_;
};

TEST_F(ActivityLogTest, EntriesKeepTimeDiscAndTitleAndALaterRunReadsThem) {
    {
        ActivityLog log(file_, &shown_, [] { return std::time_t{86400 * 365}; });
        log.ShowMessage("Cannot open the disc");
        log.SetContext("/discs/film/VIDEO_TS", "Title_02");
        log.ShowWarning("Title_02: sectors\tthat could not be read\nare left out");
        log.Record("Nothing could be converted of Title_03", false, "/discs/ntsc.iso", "Title_03");
    }
    EXPECT_EQ(shown_.messages, (std::vector<std::string>{
                                   "Cannot open the disc",
                                   "Title_02: sectors\tthat could not be read\nare left out"}));
    ActivityLog later(file_, nullptr);
    const std::vector<LogEntry> entries = later.Read();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].disc, "");
    EXPECT_FALSE(entries[0].warning);
    EXPECT_EQ(entries[0].time.size(), 19u);
    EXPECT_EQ(entries[0].time.substr(0, 4), "1971");
    EXPECT_EQ(entries[1], (LogEntry{entries[1].time, true, "film", "Title_02",
                                    "Title_02: sectors that could not be read are left out"}));
    EXPECT_EQ(entries[2].disc, "ntsc");
    EXPECT_EQ(entries[2].title, "Title_03");
}

TEST_F(ActivityLogTest, AFullLogRotatesAndKeepsTheRunBefore) {
    ActivityLog log(file_, nullptr);
    const std::string text(1000, 'x');
    const int lines = static_cast<int>(kActivityLogBytes / 1000) + 10;
    for (int i = 0; i < lines; ++i) log.Record(std::to_string(i) + text, false, {}, {});
    fs::path older = file_;
    older += ".1";
    EXPECT_TRUE(fs::exists(older));
    EXPECT_LT(fs::file_size(file_), fs::file_size(older));
    const std::vector<LogEntry> entries = log.Read();
    ASSERT_EQ(entries.size(), static_cast<size_t>(lines));
    EXPECT_EQ(entries.back().text, std::to_string(lines - 1) + text);
}

}  // namespace
}  // namespace rizuvira::app
