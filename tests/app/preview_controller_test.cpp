// SPDX-License-Identifier: GPL-2.0-or-later
// The preview controller over the real preview player on the sample disc (headless surface,
// silent sound): the state it shows, the slider's seek, back and next, the end of a title and
// the snapshot folder rule.
#include "app/preview_controller.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "dvd/dvd_access.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;

class PreviewControllerTest : public testing::Test, public PreviewView {
protected:
    static void SetUpTestSuite() { ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1); }
    void SetUp() override {
        disc_ = dvd::MyDVDOpen(fx::SampleDiscPath(fx::kNtscDisc.folder).c_str());
        ASSERT_NE(disc_, 0) << "build the sample-discs target first";
        ASSERT_TRUE(player_.Open(disc_, &surface_, nullptr, [this] {
            std::lock_guard lock(mutex_);
            ++notifications_;
            notified_.notify_all();
        }));
    }
    void TearDown() override {
        player_.Close();
        dvd::MyDVDClose(disc_);
    }
    void ShowState(bool playing, bool ticking) override { shown_ = {playing, ticking}; }
    void ShowStopped() override { ++stopped_; }
    int WaitForFrame(int at_least) {
        int frame = -1;
        surface_.WaitUntil([&](const decoders::HeadlessVideoSurface::Shown& s) {
            frame =
                s.serial == 0 ? -1 : fx::DecodeFrameBand(s.yv12.data(), s.width, s.height, s.width);
            return frame >= at_least;
        });
        return frame;
    }
    // Takes the player's events as the window does, until the title ended.
    void WaitForTheEnd() {
        for (int seen = 0; !preview_.TakeEvents();) {
            std::unique_lock lock(mutex_);
            notified_.wait(lock, [&] { return notifications_ != seen; });
            seen = notifications_;
        }
    }

    int32_t disc_ = 0;
    core::CollectedMessages messages_;
    decoders::HeadlessVideoSurface surface_;
    engine::PreviewPlayer player_{&messages_};
    std::mutex mutex_;
    std::condition_variable notified_;
    int notifications_ = 0;
    int title_ = 0, loads_ = 0, stopped_ = 0;
    std::pair<bool, bool> shown_{false, false};  // playing, ticking
    PreviewController preview_{&player_,
                               [this] {
                                   ++loads_;
                                   player_.Stop();
                                   return player_.SelectTitle(title_, -1) && player_.SeekTo(0);
                               },
                               this};
};

TEST_F(PreviewControllerTest, PlayPauseStopAndTheSliderSeek) {
    ASSERT_TRUE(preview_.Play());
    EXPECT_EQ(shown_, std::make_pair(true, true));
    WaitForFrame(15);
    preview_.PlayPause();
    EXPECT_TRUE(player_.IsPaused());
    EXPECT_EQ(shown_, std::make_pair(false, true)) << "the picture and the timer stay";
    // Slider at 500 on the 60 s title: the picture of 30 s, and the tick puts the slider there.
    ASSERT_TRUE(preview_.SeekSlider(500));
    EXPECT_NEAR(WaitForFrame(890), 899, 2);
    EXPECT_NEAR(preview_.Position().value().slider, 500, 1);
    ASSERT_TRUE(preview_.Play());
    EXPECT_EQ(loads_, 1) << "a paused picture goes on without loading again";
    EXPECT_GT(WaitForFrame(905), 900);
    EXPECT_TRUE(preview_.Stop());
    EXPECT_EQ(shown_, std::make_pair(false, false));
    EXPECT_EQ(stopped_, 1);
    EXPECT_EQ(preview_.Position().value().slider, 0);
}

TEST_F(PreviewControllerTest, StepPlaysTheNewChoiceUntilItsEndStopsIt) {
    ASSERT_TRUE(preview_.Play());
    title_ = 2;  // Title_03, 4 s
    ASSERT_TRUE(preview_.Step());
    EXPECT_EQ(loads_, 2);
    EXPECT_NEAR(preview_.Duration(), 4.0, 0.01);
    WaitForTheEnd();
    EXPECT_EQ(shown_, std::make_pair(false, false));
    EXPECT_EQ(stopped_, 2);  // the step's stop and the end's
    EXPECT_EQ(preview_.Position().value().position_seconds, 0);
}

TEST_F(PreviewControllerTest, ASnapshotIntoAMissingFolderIsRefusedAndTheFolderNotMade) {
    core::Settings settings;
    const fs::path folder = fs::temp_directory_path() / ("snaps_" + std::to_string(::getpid()));
    settings.snap_folder = (folder / "missing").string();
    ASSERT_TRUE(preview_.Play());
    WaitForFrame(10);
    preview_.Pause();
    const SnapshotResult refused = preview_.TakeSnapshot(settings, 0);
    EXPECT_FALSE(refused.written);
    EXPECT_EQ(refused.problem, "Cannot write the snapshot " + refused.file.string() +
                                   ": the folder " + settings.snap_folder + " does not exist");
    EXPECT_FALSE(fs::exists(folder));
    fs::create_directories(settings.snap_folder);
    const SnapshotResult saved = preview_.TakeSnapshot(settings, 0);
    EXPECT_TRUE(saved.written);
    EXPECT_GT(fs::file_size(saved.file), 720u * 480u);
    fs::remove_all(folder);
}

TEST(PreviewArithmetic, SliderSeekAndSnapshotPlace) {
    EXPECT_EQ(PreviewSeekSeconds(500, 60000), 30000);
    EXPECT_EQ(PreviewSliderValue(30, 60), 500);
    EXPECT_EQ(PreviewSliderValue(5, 0), 1000);  // a missing duration counts as 1 s
    core::Settings settings;
    settings.snap_folder = fs::temp_directory_path().string();
    settings.image_type = "GIF";
    const std::time_t now = std::time(nullptr);
    EXPECT_EQ(SnapshotPath("", settings, now).parent_path(), fs::temp_directory_path());
    EXPECT_EQ(SnapshotPath("", settings, now).extension(), ".GIF");
    EXPECT_EQ(SnapshotPath("/tmp/a.jpg", settings, now), fs::path("/tmp/a.jpg"));
}

}  // namespace
}  // namespace rizuvira::app
