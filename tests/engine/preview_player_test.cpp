// SPDX-License-Identifier: GPL-2.0-or-later
// The preview player on the sample discs, with the headless surface and, as on CI, the silent
// sound renderer (SDL is pointed at a driver that does not exist).
#include "engine/preview_player.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "decoders/audio_renderer.h"
#include "dvd/dvd_access.h"
#include "filters/decode_image.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::engine {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using rizuvira::decoders::HeadlessVideoSurface;
using rizuvira::engine::PreviewPlayer;
using rizuvira::engine::StreamInfoList;
namespace fixtures = rizuvira::fixtures;

using Shown = HeadlessVideoSurface::Shown;

int FrameNumber(const Shown& shown) {
    if (shown.serial == 0) return -1;
    return fixtures::DecodeFrameBand(shown.yv12.data(), shown.width, shown.height, shown.width);
}

// Counts graph events as the notification callback announces them.
struct EventCounter {
    std::mutex mutex;
    std::condition_variable changed;
    int notifications = 0;
    void Notify() {
        {
            std::lock_guard lock(mutex);
            ++notifications;
        }
        changed.notify_all();
    }
};

class PreviewPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1); }

    void SetUp() override {
        disc_ =
            rizuvira::dvd::MyDVDOpen(fixtures::SampleDiscPath(fixtures::kNtscDisc.folder).c_str());
        ASSERT_NE(disc_, 0) << "build the sample-discs target first";
    }
    void TearDown() override {
        player_.Close();
        if (disc_ != 0) rizuvira::dvd::MyDVDClose(disc_);
    }

    void OpenTitle(int title) {
        ASSERT_TRUE(player_.Open(disc_, &surface_, nullptr, [this] { events_.Notify(); }));
        ASSERT_TRUE(player_.SelectTitle(title, -1));
        EXPECT_TRUE(messages_.messages.empty()) << messages_.messages.front();
    }
    Shown WaitForFrame(const std::function<bool(int frame)>& done) {
        surface_.WaitUntil([&](const Shown& s) { return done(FrameNumber(s)); });
        return surface_.Last();
    }
    Shown WaitForNextPicture() {
        const uint64_t seen = surface_.Last().serial;
        surface_.WaitUntil([&](const Shown& s) { return s.serial > seen; });
        return surface_.Last();
    }
    // EC_COMPLETE events queued so far (taken from the queue).
    int DrainCompletions() {
        int completions = 0;
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (SUCCEEDED(player_.Events()->GetEvent(&code, &p1, &p2, 0))) {
            player_.Events()->FreeEventParams(code, p1, p2);
            completions += code == EC_COMPLETE;
        }
        return completions;
    }

    int32_t disc_ = 0;
    rizuvira::core::CollectedMessages messages_;
    HeadlessVideoSurface surface_;
    EventCounter events_;
    PreviewPlayer player_{&messages_};
};

double FrameSeconds(int frame) {
    return frame * 1001.0 / 30000.0;
}

TEST_F(PreviewPlayerTest, PlaysInRealTimeOnTheSilentRendererAndPauseHoldsThePicture) {
    OpenTitle(0);
    // The sound went to the audio renderer found through the registry, which is silent here.
    std::vector<ComPtr<IBaseFilter>> filters;
    ASSERT_EQ(player_.Graph()->EnumFilters(&filters), S_OK);
    int audio_renderers = 0;
    for (const auto& filter : filters)
        audio_renderers += static_cast<bool>(filter.As<rizuvira::decoders::IMyAudioRenderer>());
    EXPECT_EQ(audio_renderers, 1);
    double duration = 0;
    ASSERT_TRUE(player_.GetPlayDuration(&duration));
    EXPECT_NEAR(duration, 60.06, 0.001) << "the reader's (IFO) duration before the first run";

    player_.Play();
    EXPECT_TRUE(player_.IsRunning());
    const Shown first = WaitForFrame([](int frame) { return frame >= 30; });
    ASSERT_TRUE(player_.GetPlayDuration(&duration));
    EXPECT_NEAR(duration, 60.06, 0.001);
    const auto first_at = std::chrono::steady_clock::now();
    const Shown last = WaitForFrame([](int frame) { return frame >= 180; });
    const auto last_at = std::chrono::steady_clock::now();
    const double played = FrameSeconds(FrameNumber(last)) - FrameSeconds(FrameNumber(first));
    const double took = std::chrono::duration<double>(last_at - first_at).count();
    // About 5 s of pictures took about 5 s of wall time.
    EXPECT_GT(played, 4.9);
    EXPECT_NEAR(took, played, 0.2);
    double position = 0;
    ASSERT_TRUE(player_.GetPlayPosition(&position));
    EXPECT_NEAR(position, FrameSeconds(FrameNumber(last)), 0.3);

    for (const auto& filter : filters)
        if (auto audio = filter.As<rizuvira::decoders::IMyAudioRenderer>()) {
            EXPECT_FALSE(audio->IsAudible());
        }

    player_.Pause();
    EXPECT_TRUE(player_.IsPaused());
    const Shown paused = surface_.Last();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(surface_.Last().serial, paused.serial);
    double paused_position = 0;
    ASSERT_TRUE(player_.GetPlayPosition(&paused_position));
    std::this_thread::sleep_for(300ms);
    double still = 0;
    ASSERT_TRUE(player_.GetPlayPosition(&still));
    EXPECT_DOUBLE_EQ(still, paused_position);

    // Playing on continues from the paused picture.
    player_.Play();
    const Shown resumed = WaitForNextPicture();
    EXPECT_GT(FrameNumber(resumed), FrameNumber(paused));
    EXPECT_LT(FrameNumber(resumed), FrameNumber(paused) + 15);
}

TEST_F(PreviewPlayerTest, SeekLandsOnTheFrameAtThatTimeAndSnapshotsSaveIt) {
    OpenTitle(0);
    player_.Pause();
    WaitForNextPicture();
    const fs::path folder =
        fs::temp_directory_path() / ("rizuvira-preview-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    for (double target : {20.0, 33.3, 7.25, 45.5}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(player_.SeekTo(target));
        const Shown shown = WaitForNextPicture();
        const int frame = FrameNumber(shown);
        const int expected =
            static_cast<int>(target * 30000 / 1001);  // the frame showing at that time
        std::printf("seek to %.3f s: frame %d shown, frame %d expected (%+d)\n", target, frame,
                    expected, frame - expected);
        EXPECT_NEAR(frame, expected, 1);

        for (const char* name : {"shot.BMP", "shot.JPEG", "shot.gif"}) {
            SCOPED_TRACE(name);
            const fs::path path = folder / name;
            fs::remove(path);  // a snapshot never replaces a file
            ASSERT_TRUE(player_.SaveSnapshot(path));
            filters::DecodedImage image;
            ASSERT_TRUE(filters::DecodeImageFile(path.string(), &image));
            ASSERT_EQ(image.width, 720);
            ASSERT_EQ(image.height, 480);
            const std::vector<uint8_t> luma = filters::LumaOf(image);
            EXPECT_EQ(fixtures::DecodeFrameBand(luma.data(), 720, 480, 720), frame);
        }
    }
    EXPECT_FALSE(player_.SaveSnapshot(folder / "missing" / "shot.BMP"));
    EXPECT_FALSE(player_.SaveSnapshot(folder / "shot.TIFF"));
    EXPECT_FALSE(fs::exists(folder / "missing"));
    EXPECT_FALSE(fs::exists(folder / "shot.TIFF"));
    fs::remove_all(folder);
}

TEST_F(PreviewPlayerTest, ListsStreamsByWholeIdAndSwitchesThemWhilePlaying) {
    OpenTitle(0);
    StreamInfoList list;
    ASSERT_TRUE(player_.ListStreams(&list));
    ASSERT_EQ(list.video_count, 1);
    EXPECT_EQ(list.video[0].width, 720);
    EXPECT_EQ(list.video[0].height, 480);
    ASSERT_EQ(list.audio_count, 2);
    EXPECT_EQ(list.audio[0].stream_id, 0xBD80);
    EXPECT_EQ(list.audio[1].stream_id, 0xBD81);
    EXPECT_EQ(list.audio[0].sample_rate, 48000);
    ASSERT_EQ(list.subtitle_count, 2);
    EXPECT_EQ(list.subtitles[0].stream_id, 0xBD20);
    EXPECT_EQ(list.subtitles[1].stream_id, 0xBD21);

    ComPtr<IBaseFilter> splitter;
    ASSERT_EQ(player_.Graph()->FindFilterByName("Splitter", splitter.ReleaseAndGetAddressOf()),
              S_OK);
    ComPtr<IAMStreamSelect> select = splitter.As<IAMStreamSelect>();
    const auto enabled = [&](int index) {
        DWORD flags = 0;
        select->Info(index, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
        return flags != 0;
    };

    player_.Play();
    WaitForFrame([](int frame) { return frame >= 15; });
    ASSERT_TRUE(player_.SelectStreamsById(0xBD81, 0xBD21));
    EXPECT_TRUE(enabled(list.audio[1].index));
    EXPECT_FALSE(enabled(list.audio[0].index));
    EXPECT_TRUE(enabled(list.subtitles[1].index));
    EXPECT_FALSE(enabled(list.subtitles[0].index));
    // Playback goes on after the switch.
    const Shown after = WaitForFrame([](int frame) { return frame >= 60; });
    EXPECT_GE(FrameNumber(after), 60);
    EXPECT_TRUE(player_.IsRunning());
    EXPECT_FALSE(player_.SelectStreamsById(0x1234, 0));
}

TEST_F(PreviewPlayerTest, EndOfStreamIsReportedOnceAndAgainAfterRewind) {
    OpenTitle(1);  // 2 s, pictures and sound
    for (int play = 0; play < 2; ++play) {
        SCOPED_TRACE(play);
        player_.Play();
        int completions = 0;
        while (completions == 0) {
            std::unique_lock lock(events_.mutex);
            const int seen = events_.notifications;
            lock.unlock();
            completions += DrainCompletions();
            lock.lock();
            if (completions == 0)
                events_.changed.wait(lock, [&] { return events_.notifications != seen; });
        }
        EXPECT_EQ(completions, 1);
        EXPECT_EQ(FrameNumber(surface_.Last()), 59);
        // The other renderer's end must not come as a second report.
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(DrainCompletions(), 0);
        player_.Stop();
        ASSERT_TRUE(player_.SeekTo(0));
    }
}

TEST_F(PreviewPlayerTest, SelectTitleTwiceReconnectsAndATitleWithoutSubtitlesPlays) {
    OpenTitle(0);
    ASSERT_TRUE(player_.SelectTitle(2, -1));  // title 3: MPEG audio, no subpictures
    StreamInfoList list;
    ASSERT_TRUE(player_.ListStreams(&list));
    // The splitter keeps a subpicture output with no stream behind it (id 0).
    for (int i = 0; i < list.subtitle_count; ++i) EXPECT_EQ(list.subtitles[i].stream_id, 0);
    ASSERT_EQ(list.audio_count, 1);
    EXPECT_EQ(list.audio[0].stream_id, 0xC000);
    player_.Play();
    const Shown shown = WaitForFrame([](int frame) { return frame >= 10; });
    EXPECT_GE(FrameNumber(shown), 10);
}

}  // namespace

namespace {

TEST(PreviewCommands, SnapshotOfATitleAtATimeShowsThatFrame) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    const fs::path path =
        fs::temp_directory_path() / ("rizuvira-cli-shot-" + std::to_string(::getpid()) + ".jpg");
    rizuvira::core::CollectedMessages messages;
    ASSERT_TRUE(rizuvira::engine::SaveTitleSnapshot(
        fixtures::SampleDiscPath(fixtures::kPalDisc.iso), 0, 6.5, path, &messages));
    filters::DecodedImage image;
    ASSERT_TRUE(filters::DecodeImageFile(path.string(), &image));
    ASSERT_EQ(image.height, 576);
    const std::vector<uint8_t> luma = filters::LumaOf(image);
    EXPECT_EQ(fixtures::DecodeFrameBand(luma.data(), image.width, image.height, image.width),
              162);  // 6.5 s × 25
    fs::remove(path);
    EXPECT_FALSE(rizuvira::engine::SaveTitleSnapshot("/nonexistent/disc", 0, 1.0, path, &messages));
    EXPECT_FALSE(fs::exists(path));
}

}  // namespace

}  // namespace rizuvira::engine
