// SPDX-License-Identifier: GPL-2.0-or-later
// The converter sink between generated samples and the real media file
// writer: the frame clock, the time range, untimed samples, the preview copy
// and completion.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "filters/conv_filter.h"
#include "platform/filter_graph.h"
#include "platform/pipeline_harness.h"
#include "platform/uuids.h"

namespace rizuvira::filters {
namespace {

using harness::CTestSource;

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr LONG kPictureBytes = kWidth * kHeight * 3 / 2;

CMediaType VideoType() {
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_YV12);
    type.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER* info =
        reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    std::memset(info, 0, sizeof(*info));
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = kWidth;
    info->bmiHeader.biHeight = kHeight;
    info->bmiHeader.biSizeImage = kPictureBytes;
    return type;
}

CMediaType AudioType() {
    CMediaType type;
    type.SetType(&MEDIATYPE_Audio);
    type.SetSubtype(&MEDIASUBTYPE_PCM);
    type.SetFormatType(&FORMAT_WaveFormatEx);
    WAVEFORMATEX* wave =
        reinterpret_cast<WAVEFORMATEX*>(type.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    std::memset(wave, 0, sizeof(*wave));
    wave->wFormatTag = 1;
    wave->nChannels = 2;
    wave->nSamplesPerSec = 48000;
    wave->wBitsPerSample = 16;
    wave->nBlockAlign = 4;
    wave->nAvgBytesPerSec = 192000;
    return type;
}

core::OutputSettings Settings(int32_t frame_rate_x1000, bool video, bool audio) {
    core::OutputSettings s{};
    s.HasVideo = video;
    s.Width = kWidth;
    s.Height = kHeight;
    s.VideoBitRate = 200000;
    s.FrameRate = frame_rate_x1000;
    std::strcpy(s.VideoCodecName, "mpeg4");
    s.HasAudio = audio;
    s.SampleRate = 48000;
    s.Channel = 2;
    s.AudioBitRate = 128000;
    std::strcpy(s.AudioCodecName, "mp2");
    return s;
}

// A graph of test sources feeding a converter sink that writes a real file.
class ConvFilterTest : public testing::Test {
protected:
    void Build(int32_t frame_rate_x1000, REFERENCE_TIME range_start, REFERENCE_TIME range_stop,
               bool connect_video = true, bool connect_audio = true, bool writer_video = true) {
        char pattern[] = "/tmp/rizuvira-sink-XXXXXX";
        folder_ = mkdtemp(pattern);
        if (full_disk_) std::filesystem::create_symlink("/dev/full", folder_ / "out.avi");
        ASSERT_TRUE(
            writer_.Open(folder_ / "out.avi", Settings(frame_rate_x1000, writer_video, true)))
            << writer_.last_error();
        HRESULT hr = S_OK;
        sink_ = CConvFilter::CreateInstance(nullptr, &hr);
        ASSERT_EQ(hr, S_OK);
        sink_->Writer = &writer_;
        sink_->FrameInterval = 1e10 / frame_rate_x1000;
        sink_->RangeStart = range_start;
        sink_->RangeStop = range_stop;

        ComPtr<IUnknown> graph;
        ASSERT_EQ(CreateFilterGraph(graph.ReleaseAndGetAddressOf()), S_OK);
        graph_ = graph.As<IGraphBuilder>();
        ASSERT_TRUE(graph_);
        ASSERT_EQ(graph_->AddFilter(sink_.Get(), "Sink"), S_OK);
        if (connect_video) {
            video_ = new CTestSource(VideoType(), 4, kPictureBytes);
            ASSERT_EQ(graph_->AddFilter(video_.Get(), "Video"), S_OK);
            ASSERT_EQ(graph_->ConnectDirect(video_->pin(), sink_->video_pin(), nullptr), S_OK);
        }
        if (connect_audio) {
            audio_ = new CTestSource(AudioType(), 4, 19200);
            ASSERT_EQ(graph_->AddFilter(audio_.Get(), "Audio"), S_OK);
            ASSERT_EQ(graph_->ConnectDirect(audio_->pin(), sink_->audio_pin(), nullptr), S_OK);
        }
        events_ = graph_.As<IMediaEventEx>();
        events_->CancelDefaultHandling(EC_COMPLETE);
        ASSERT_EQ(graph_.As<IMediaControl>()->Run(), S_OK);
    }
    void TearDown() override {
        if (graph_) graph_.As<IMediaControl>()->Stop();
        writer_.Close();
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    void PushPicture(std::optional<REFERENCE_TIME> start, std::optional<REFERENCE_TIME> stop) {
        ASSERT_EQ(video_->Push(std::vector<BYTE>(kPictureBytes, 0x80), start, stop), S_OK);
    }
    // Input pictures of `interval` from time 0.
    void PushPictures(int count, REFERENCE_TIME interval) {
        for (int i = 0; i < count; ++i) PushPicture(i * interval, (i + 1) * interval);
    }
    bool Completed() {
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (events_->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            events_->FreeEventParams(code, p1, p2);
            if (code == EC_COMPLETE) return true;
        }
        return false;
    }
    // The events queued since the last call, as (code, first parameter).
    std::vector<std::pair<LONG, LONG_PTR>> TakeEvents() {
        std::vector<std::pair<LONG, LONG_PTR>> taken;
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (events_->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            events_->FreeEventParams(code, p1, p2);
            taken.emplace_back(code, p1);
        }
        return taken;
    }

    bool full_disk_ = false;  // the file is a link to /dev/full
    std::filesystem::path folder_;
    core::MediaFileWriter writer_;
    ComPtr<CConvFilter> sink_;
    ComPtr<CTestSource> video_;
    ComPtr<CTestSource> audio_;
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaEventEx> events_;
};

TEST_F(ConvFilterTest, NtscPicturesOnA25FrameClockSkipSome) {
    Build(25000, 0, 100 * UNITS);
    PushPictures(300, 333667);  // 10.01 s of 29.97 fps
    // One picture per 400000 units of input time: slots at 0, 0.04 s, ... below 10.01 s.
    EXPECT_EQ(writer_.video_frames_written(), 251);
    EXPECT_EQ(sink_->NextVideoTime(), 251 * 400000);
}

TEST_F(ConvFilterTest, PalPicturesOnAnNtscFrameClockRepeatSome) {
    Build(29970, 0, 100 * UNITS);
    PushPictures(250, 400000);  // 10 s of 25 fps
    // Slots of 333667 (truncated each step) beginning before 10 s.
    int64_t slots = 0;
    for (REFERENCE_TIME t = 0; t < 250 * 400000; t = static_cast<REFERENCE_TIME>(t + 1e10 / 29970))
        ++slots;
    EXPECT_EQ(writer_.video_frames_written(), slots);
    EXPECT_EQ(slots, 300);
}

TEST_F(ConvFilterTest, FilmPicturesOnAFilmClockAreWrittenOnceEach) {
    // 24000/1001 pictures as the decoder and the deinterlacer time them (whole units, the
    // fractions dropped): none may also take the next picture's slot.
    Build(23976, 0, 100 * UNITS);
    const auto at = [](int n) { return static_cast<REFERENCE_TIME>(n * (UNITS * 1001 / 24000.0)); };
    for (int n = 0; n < 240; ++n) PushPicture(at(n), at(n + 1));
    EXPECT_EQ(writer_.video_frames_written(), 240);
}

TEST_F(ConvFilterTest, RangeEdges) {
    Build(25000, 2 * UNITS, 4 * UNITS);
    PushPicture(0, 2 * UNITS - 1);  // ends before the range
    EXPECT_EQ(writer_.video_frames_written(), 0);
    PushPicture(UNITS, 2 * UNITS);  // stop == RangeStart: kept, but its relative stop is 0
    EXPECT_EQ(writer_.video_frames_written(), 0);
    PushPicture(2 * UNITS, 3 * UNITS);  // one second: 25 slots
    EXPECT_EQ(writer_.video_frames_written(), 25);
    PushPicture(4 * UNITS, 5 * UNITS);  // starts where the range ends: the next item's
    EXPECT_EQ(writer_.video_frames_written(), 25);
    PushPicture(3 * UNITS, 5 * UNITS);  // runs past the end: slots up to the end only
    EXPECT_EQ(writer_.video_frames_written(), 50);
}

TEST_F(ConvFilterTest, WildStopTimeIsHeldToTheRangeEnd) {
    Build(25000, 0, 2 * UNITS);
    PushPicture(0, INT64_MAX / 2);
    EXPECT_EQ(writer_.video_frames_written(), 50);
}

TEST_F(ConvFilterTest, RunawayTimeStampsAreBoundedAndAStopEndsTheLoop) {
    // A length guess of days makes a range of days.
    constexpr REFERENCE_TIME kDay = 24LL * 3600 * UNITS;
    Build(25000, 0, 1000 * kDay);
    PushPictures(2, 400000);
    // Twelve seconds of sound, then the next picture: the sound covers the
    // gap, so the picture on screen fills it.
    for (int i = 0; i < 120; ++i)
        ASSERT_EQ(audio_->Push(std::vector<BYTE>(19200, 0), i * 1000000, (i + 1) * 1000000), S_OK);
    PushPicture(12 * UNITS, 12 * UNITS + 400000);
    EXPECT_EQ(writer_.video_frames_written(), 12 * 25 + 1);
    // The clock jumps by a day that no sound covers: a break, not a gap to
    // fill; the picture follows at the next slot.
    PushPicture(kDay, kDay + 400000);
    EXPECT_EQ(writer_.video_frames_written(), 12 * 25 + 2);
    const int64_t before = writer_.video_frames_written();

    // A picture whose stop time lies a day away, delivered on a streaming
    // thread of its own, and a stop meanwhile: Stop returns and the thread
    // leaves the loop.
    std::thread streaming([&] { PushPicture(kDay + UNITS, 2 * kDay); });
    while (sink_->NextVideoTime() <= before * 400000) std::this_thread::yield();
    ASSERT_EQ(graph_.As<IMediaControl>()->Stop(), S_OK);
    streaming.join();
    EXPECT_LE(writer_.video_frames_written(), before + 25 + 10 * 25)
        << "up to the picture, then the longest gap";
}

TEST_F(ConvFilterTest, SoundWaitsForThePicturesAndAStillStaysUpToTheSoundsEnd) {
    Build(25000, 0, 100 * UNITS);
    const std::vector<BYTE> tenth(19200, 0);  // 0.1 s
    PushPicture(0, 400000);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(audio_->Push(tenth, i * 1000000, (i + 1) * 1000000), S_OK);
    EXPECT_LE(writer_.audio_samples_written() + writer_.audio_samples_queued(), 48000 / 25)
        << "the sound goes no further than the picture";
    ASSERT_EQ(audio_->EndOfStream(), S_OK);
    ASSERT_EQ(video_->EndOfStream(), S_OK);
    EXPECT_TRUE(Completed());
    EXPECT_EQ(writer_.video_frames_written(), 25)
        << "the only picture stays up for the second of sound";
    EXPECT_EQ(writer_.audio_samples_written() + writer_.audio_samples_queued(), 48000);
}

TEST_F(ConvFilterTest, UntimedSamplesFollowTheLastTimedOne) {
    Build(25000, UNITS, 10 * UNITS);
    PushPicture(std::nullopt, std::nullopt);  // nothing timed yet: dropped
    EXPECT_EQ(writer_.video_frames_written(), 0);
    PushPicture(UNITS, UNITS + 400000);
    EXPECT_EQ(writer_.video_frames_written(), 1);
    PushPicture(std::nullopt, std::nullopt);  // the next slot
    EXPECT_EQ(writer_.video_frames_written(), 2);
    PushPicture(20 * UNITS, 21 * UNITS);      // outside
    PushPicture(std::nullopt, std::nullopt);  // follows it out
    EXPECT_EQ(writer_.video_frames_written(), 2);

    ASSERT_EQ(audio_->Push(std::vector<BYTE>(19200, 0), std::nullopt, std::nullopt), S_OK);
    EXPECT_EQ(writer_.audio_samples_written(), 0)
        << "untimed sound before any timed sound is dropped";
    ASSERT_EQ(audio_->Push(std::vector<BYTE>(19200, 0), 2 * UNITS, 2 * UNITS + 1000000), S_OK);
    EXPECT_EQ(sink_->LastAudioStart(), 2 * UNITS) << "the absolute start";
}

TEST_F(ConvFilterTest, CompletesWhenEveryConnectedInputEnds) {
    Build(25000, 0, 10 * UNITS);
    PushPictures(5, 400000);
    ASSERT_EQ(audio_->EndOfStream(), S_OK);
    EXPECT_FALSE(Completed()) << "video still runs";
    ASSERT_EQ(video_->EndOfStream(), S_OK);
    EXPECT_TRUE(Completed());
}

TEST_F(ConvFilterTest, AudioOnlyItemCompletesOnAudioAlone) {
    Build(25000, 0, 10 * UNITS, /*connect_video=*/false);
    ASSERT_EQ(audio_->Push(std::vector<BYTE>(19200, 0), 0, 1000000), S_OK);
    EXPECT_EQ(writer_.audio_samples_written(), 4 * 1152) << "whole MP2 frames of the 4800 samples";
    ASSERT_EQ(audio_->EndOfStream(), S_OK);
    EXPECT_TRUE(Completed());
}

TEST_F(ConvFilterTest, SoundKeepsToItsTimeStamps) {
    Build(25000, UNITS, 10 * UNITS, /*connect_video=*/false);
    const std::vector<BYTE> tenth(19200, 0);  // 4800 stereo sample frames: 0.1 s
    auto frames = [&] { return writer_.audio_samples_written() + writer_.audio_samples_queued(); };
    auto push = [&](REFERENCE_TIME range_ms) {
        const REFERENCE_TIME start = UNITS + range_ms * 10000;
        ASSERT_EQ(audio_->Push(tenth, start, start + 1000000), S_OK);
    };
    push(500);  // the track starts half a second after the range: silence first
    EXPECT_EQ(frames(), 24000 + 4800);
    push(600);  // in step
    EXPECT_EQ(frames(), 33600);
    push(710);  // 10 ms late is within the slack
    EXPECT_EQ(frames(), 38400);
    push(900);  // a gap of 0.1 s
    EXPECT_EQ(frames(), 38400 + 4800 + 4800);
    push(950);  // overlaps the last 50 ms written: that much is cut
    EXPECT_EQ(frames(), 48000 + 2400);
    push(800);  // wholly behind what is written
    EXPECT_EQ(frames(), 50400);
}

TEST_F(ConvFilterTest, FirstFailedWriteAbortsTheItemAndNothingFollows) {
    full_disk_ = true;
    Build(25000, 0, 1000 * UNITS);
    // The file's buffer takes the first few hundred milliseconds.
    const std::vector<BYTE> tenth(19200, 0);
    int pushed = 0;
    while (!sink_->WriteFailed() && pushed < 1000) {
        ASSERT_EQ(audio_->Push(tenth, pushed * 1000000LL, (pushed + 1) * 1000000LL), S_OK);
        PushPicture(pushed * 1000000LL, (pushed + 1) * 1000000LL);
        ++pushed;
    }
    ASSERT_TRUE(sink_->WriteFailed()) << "a full disk was never noticed";
    EXPECT_TRUE(writer_.write_failed());
    EXPECT_NE(writer_.last_error().find("No space left on device"), std::string::npos)
        << writer_.last_error();
    EXPECT_EQ(TakeEvents(),
              (std::vector<std::pair<LONG, LONG_PTR>>{{EC_ERRORABORT, CONV_E_WRITE}}));

    // Nothing more reaches the writer, and the end is no completion.
    const int64_t frames = writer_.video_frames_written();
    const int64_t samples = writer_.audio_samples_written() + writer_.audio_samples_queued();
    const REFERENCE_TIME written = sink_->WrittenTime();
    for (int i = pushed; i < pushed + 5; ++i) {
        ASSERT_EQ(audio_->Push(tenth, i * 1000000LL, (i + 1) * 1000000LL), S_OK);
        PushPicture(i * 1000000LL, (i + 1) * 1000000LL);
    }
    EXPECT_EQ(writer_.video_frames_written(), frames);
    EXPECT_EQ(writer_.audio_samples_written() + writer_.audio_samples_queued(), samples);
    EXPECT_EQ(sink_->WrittenTime(), written);
    ASSERT_EQ(audio_->EndOfStream(), S_OK);
    ASSERT_EQ(video_->EndOfStream(), S_OK);
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_FALSE(writer_.Close());
}

TEST_F(ConvFilterTest, WrittenTimeFollowsTheSoundPastAStillPicture) {
    Build(25000, UNITS, 100 * UNITS);
    PushPicture(UNITS, UNITS + 400000);  // one picture, then only sound
    ASSERT_EQ(video_->EndOfStream(), S_OK);
    const std::vector<BYTE> tenth(19200, 0);
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(audio_->Push(tenth, UNITS + i * 1000000LL, UNITS + (i + 1) * 1000000LL), S_OK);
    EXPECT_EQ(sink_->NextVideoTime(), 400000);
    EXPECT_EQ(sink_->WrittenTime(), 3 * UNITS) << "three seconds of sound into the range";
}

TEST_F(ConvFilterTest, WriterWithoutVideoDropsPictures) {
    Build(25000, 0, 10 * UNITS, true, true, /*writer_video=*/false);
    PushPictures(10, 400000);
    EXPECT_EQ(writer_.video_frames_written(), 0);
    EXPECT_EQ(sink_->NextVideoTime(), 0);
}

TEST_F(ConvFilterTest, EveryFifthPictureGoesToThePreview) {
    // Build runs the graph, so the preview renderer is joined to a sink of its
    // own that runs on its own.
    Build(25000, 0, 100 * UNITS);
    ComPtr<harness::CCollectingSink> preview(new harness::CCollectingSink());
    ASSERT_EQ(graph_.As<IMediaControl>()->Stop(), S_OK);
    ASSERT_EQ(graph_->AddFilter(preview.Get(), "Preview"), S_OK);
    ASSERT_EQ(graph_->ConnectDirect(sink_->preview_pin(), preview->pin(), nullptr), S_OK);
    ASSERT_EQ(graph_.As<IMediaControl>()->Run(), S_OK);

    std::vector<BYTE> picture(kPictureBytes);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<BYTE>(i * 7);
    // Any ten pictures in a row hold two multiples of five of the shared counter.
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(video_->Push(picture, i * 400000, (i + 1) * 400000), S_OK);
    preview->WaitForSamples(2);
    sink_->PreviewEnabled = 0;
    for (int i = 10; i < 20; ++i)
        ASSERT_EQ(video_->Push(picture, i * 400000, (i + 1) * 400000), S_OK);
    ASSERT_EQ(graph_.As<IMediaControl>()->Stop(), S_OK);
    const auto copies = preview->samples();
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].data, picture) << "packed planes at the picture's own width";
    EXPECT_EQ(copies[0].time_result, VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(writer_.video_frames_written(), 20) << "the preview takes nothing from the file";
}

TEST(ConvFilter, PinsAndPreviewType) {
    HRESULT hr = S_OK;
    ComPtr<CConvFilter> sink(CConvFilter::CreateInstance(nullptr, &hr));
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(sink->GetPinCount(), 3);
    EXPECT_EQ(sink->GetPin(0)->Name(), "Audio In");
    EXPECT_EQ(sink->GetPin(1)->Name(), "Video In");
    EXPECT_EQ(sink->GetPin(2)->Name(), "Video Pre");
    EXPECT_EQ(sink->GetPin(3), nullptr);
    CMediaType offered;
    EXPECT_EQ(sink->preview_pin()->GetMediaType(0, &offered), VFW_S_NO_MORE_ITEMS)
        << "nothing before Video In connects";
    EXPECT_EQ(sink->preview_pin()->GetMediaType(-1, &offered), E_INVALIDARG);
}

}  // namespace
}  // namespace rizuvira::filters
