// SPDX-License-Identifier: GPL-2.0-or-later
// The splitter in a graph: a file loaded by name (or a file source connected to the input),
// one collecting sink per output pin, run without a clock so it goes as fast as it can.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "demux/mpeg_splitter.h"
#include "demux_test_util.h"
#include "fixtures/clip_info_writer.h"
#include "platform/filter_graph.h"
#include "platform/pipeline_harness.h"

namespace rizuvira::demux {
namespace {

using harness::CCollectingSink;
using harness::ReceivedSample;
using harness::SinkEvent;

struct Graph {
    ComPtr<IGraphBuilder> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IBaseFilter> splitter_filter;
    CMpegSplitterFilter* splitter = nullptr;
    std::map<std::string, ComPtr<IBaseFilter>> sink_filters;
    std::map<std::string, CCollectingSink*> sinks;

    ~Graph() {
        if (control) control->Stop();
    }
    CCollectingSink* sink(const std::string& name) {
        return sinks.count(name) ? sinks[name] : nullptr;
    }
    ComPtr<IAMStreamSelect> select() { return splitter_filter.As<IAMStreamSelect>(); }
    ComPtr<IMyMpegSplitter> control_interface() { return splitter_filter.As<IMyMpegSplitter>(); }

    void Run() { ASSERT_EQ(control->Run(), S_OK); }
    void WaitAll() {
        for (auto& [name, sink] : sinks) sink->WaitForEndOfStream();
    }
};

// `configure` runs on the splitter before it loads the file.
template <class Configure>
std::unique_ptr<Graph> Build(const std::string& path, Configure configure) {
    auto g = std::make_unique<Graph>();
    IBaseFilter* raw = nullptr;
    EXPECT_EQ(CreateMpegSplitter(nullptr, &raw), S_OK);
    g->splitter_filter = ComPtr<IBaseFilter>::Adopt(raw);
    g->splitter = dynamic_cast<CMpegSplitterFilter*>(raw);
    configure(*g);
    ComPtr<IFileSourceFilter> file;
    EXPECT_EQ(g->splitter_filter.As(&file), S_OK);
    if (FAILED(file->Load(path, nullptr))) return nullptr;

    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CreateFilterGraph(unknown.ReleaseAndGetAddressOf()), S_OK);
    g->builder = unknown.As<IGraphBuilder>();
    g->control = unknown.As<IMediaControl>();
    g->events = unknown.As<IMediaEventEx>();
    unknown.As<IMediaFilter>()->SetSyncSource(nullptr);
    EXPECT_EQ(g->builder->AddFilter(g->splitter_filter.Get(), "Splitter"), S_OK);
    std::vector<ComPtr<IPin>> pins;
    g->splitter_filter->EnumPins(&pins);
    for (auto& pin : pins) {
        PIN_INFO info;
        pin->QueryPinInfo(&info);
        if (info.dir != PINDIR_OUTPUT) continue;
        auto* sink = new CCollectingSink();
        ComPtr<IBaseFilter> sink_filter(sink);
        EXPECT_EQ(g->builder->AddFilter(sink_filter.Get(), info.achName + " sink"), S_OK);
        EXPECT_EQ(g->builder->ConnectDirect(pin.Get(), sink->pin(), nullptr), S_OK);
        g->sink_filters[info.achName] = sink_filter;
        g->sinks[info.achName] = sink;
    }
    return g;
}

std::unique_ptr<Graph> Build(const std::string& path) {
    return Build(path, [](Graph&) {});
}

std::vector<std::string> StreamNames(IAMStreamSelect* select) {
    DWORD count = 0;
    select->Count(&count);
    std::vector<std::string> names;
    for (DWORD i = 0; i < count; ++i) {
        std::string name;
        select->Info(static_cast<LONG>(i), nullptr, nullptr, nullptr, nullptr, &name, nullptr,
                     nullptr);
        names.push_back(name);
    }
    return names;
}

LONG IndexOf(IAMStreamSelect* select, const std::string& triple) {
    const auto names = StreamNames(select);
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].ends_with(triple)) return static_cast<LONG>(i);
    return -1;
}

std::vector<REFERENCE_TIME> Times(const std::vector<ReceivedSample>& samples) {
    std::vector<REFERENCE_TIME> times;
    for (const auto& s : samples)
        if (s.time_result == S_OK || s.time_result == VFW_S_NO_STOP_TIME) times.push_back(s.start);
    return times;
}

// acmod of the first AC-3 frame in the bytes, or -1.
int FirstAc3Acmod(const std::vector<ReceivedSample>& samples) {
    for (const auto& s : samples) {
        const auto& d = s.data;
        for (size_t i = 0; i + 7 < d.size(); ++i)
            if (d[i] == 0x0B && d[i + 1] == 0x77) return d[i + 6] >> 5;
    }
    return -1;
}

class DiscSplitter : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(testing::NtscVob(1))) GTEST_SKIP() << "sample discs not built";
    }
};

TEST_F(DiscSplitter, MainTitleDeliversEveryKindWithTheSixChannelTrackFirst) {
    dvd::DvdTitleInfo title{};
    ASSERT_TRUE(testing::LoadTitleInfo("ntsc", 0, &title));
    auto g = Build(testing::NtscVob(1),
                   [&](Graph& graph) { graph.control_interface()->SetTitleInfo(&title); });
    ASSERT_TRUE(g);
    ASSERT_TRUE(g->sink("Video") && g->sink("Audio") && g->sink("Subtitle"));

    const auto names = StreamNames(g->select().Get());
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[1], "Audio - Dolby Digital, 48.0 kHz, 6 chn, 384.0 kbit/s (0000,bd,80)");
    EXPECT_EQ(names[2], "Audio - Dolby Digital, 48.0 kHz, 2 chn, 192.0 kbit/s (0000,bd,81)");
    EXPECT_EQ(names[3], "Video - DVD Sub Picture (0000,bd,20)");
    EXPECT_TRUE(
        names[0].starts_with("Video - MPEG2, Main Profile, Main Level, 720x480, 29.970 fps"))
        << names[0];
    DWORD flags = 0, group = 9;
    g->select()->Info(1, nullptr, &flags, nullptr, &group, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, 3u);
    EXPECT_EQ(group, 1u);
    g->select()->Info(2, nullptr, &flags, nullptr, &group, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, 0u);

    LONGLONG duration = 0;
    ComPtr<IMediaSeeking> seeking = g->splitter_filter.As<IMediaSeeking>();
    seeking->GetDuration(&duration);
    EXPECT_GT(duration, 50 * UNITS);

    g->Run();
    g->WaitAll();
    const auto video = g->sink("Video")->samples();
    const auto audio = g->sink("Audio")->samples();
    ASSERT_FALSE(video.empty());
    ASSERT_FALSE(audio.empty());
    EXPECT_TRUE(video[0].flags.discontinuity);
    EXPECT_TRUE(audio[0].flags.discontinuity);
    EXPECT_FALSE(video[1].flags.discontinuity);
    // The private stream header is not part of the data: frames start at the AC-3 sync.
    ASSERT_GE(audio[0].data.size(), 2u);
    EXPECT_EQ(audio[0].data[0], 0x0B);
    EXPECT_EQ(audio[0].data[1], 0x77);
    EXPECT_EQ(FirstAc3Acmod(audio), 7);  // 3/2
    EXPECT_FALSE(g->sink("Subtitle")->samples().empty());
    const auto times = Times(video);
    ASSERT_FALSE(times.empty());
    EXPECT_LT(times.front(), UNITS);
    EXPECT_GT(times.back(), 55 * UNITS);
}

TEST_F(DiscSplitter, EnablingTheStereoTrackRetargetsTheAudioPin) {
    dvd::DvdTitleInfo title{};
    ASSERT_TRUE(testing::LoadTitleInfo("ntsc", 0, &title));
    auto g = Build(testing::NtscVob(1),
                   [&](Graph& graph) { graph.control_interface()->SetTitleInfo(&title); });
    ASSERT_TRUE(g);
    auto select = g->select();
    const LONG stereo = IndexOf(select.Get(), "(0000,bd,81)");
    ASSERT_GE(stereo, 0);
    EXPECT_EQ(select->Enable(stereo, AMSTREAMSELECTENABLE_ENABLEALL), E_NOTIMPL);
    EXPECT_EQ(select->Enable(99, AMSTREAMSELECTENABLE_ENABLE), S_FALSE);
    ASSERT_EQ(select->Enable(stereo, AMSTREAMSELECTENABLE_ENABLE), S_OK);
    DWORD flags = 0;
    select->Info(stereo, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(flags, 3u);

    g->Run();
    g->sink("Audio")->WaitForSamples(20);
    const auto audio = g->sink("Audio")->samples();
    EXPECT_TRUE(audio[0].type_change);
    EXPECT_EQ(FirstAc3Acmod(audio), 2);  // stereo
}

TEST_F(DiscSplitter, SwitchingTracksWhileRunningContinuesWithTheNewTrack) {
    auto g = Build(testing::NtscVob(1));
    ASSERT_TRUE(g);
    // Without the subtitle pin, whose queue stays short and so would let the
    // demultiplexer read the whole file ahead before the switch.
    ComPtr<IPin> subtitle;
    ASSERT_EQ(g->splitter_filter->FindPin("Subtitle", subtitle.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IPin> subtitle_peer;
    ASSERT_EQ(subtitle->ConnectedTo(subtitle_peer.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(g->builder->Disconnect(subtitle.Get()), S_OK);
    ASSERT_EQ(g->builder->Disconnect(subtitle_peer.Get()), S_OK);
    g->sinks.erase("Subtitle");
    // Hold both sinks so the queues fill and the demultiplexer waits part way through.
    g->sink("Video")->CloseGate();
    g->sink("Audio")->CloseGate();
    g->Run();
    g->sink("Audio")->WaitUntilBlockedInReceive();
    auto select = g->select();
    ASSERT_EQ(select->Enable(IndexOf(select.Get(), "(0000,bd,81)"), AMSTREAMSELECTENABLE_ENABLE),
              S_OK);
    g->sink("Video")->OpenGate();
    g->sink("Audio")->OpenGate();
    g->WaitAll();
    const auto audio = g->sink("Audio")->samples();
    auto change = std::find_if(audio.begin() + 1, audio.end(),
                               [](const ReceivedSample& s) { return s.type_change; });
    ASSERT_NE(change, audio.end());
    EXPECT_TRUE(change->flags.discontinuity);
    EXPECT_EQ(FirstAc3Acmod({audio.front()}), 7);
    EXPECT_EQ(FirstAc3Acmod({*change}), 2);
    // Every later sample is the stereo track.
    for (auto it = change; it != audio.end(); ++it) {
        const int acmod = FirstAc3Acmod({*it});
        ASSERT_TRUE(acmod == 2 || acmod == -1) << (it - audio.begin());
    }
}

TEST_F(DiscSplitter, ReadAheadStopsWhileThePicturesWait) {
    auto g = Build(testing::NtscVob(1));
    ASSERT_TRUE(g);
    // The pictures' consumer waits at the first picture; the sound's takes all it gets, so
    // its queue starves and the demultiplexer reads on for it, but not through the title.
    g->sink("Video")->CloseGate();
    g->Run();
    g->sink("Video")->WaitUntilBlockedInReceive();
    for (size_t seen = SIZE_MAX;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const size_t now = g->sink("Audio")->samples().size();
        if (now == seen) break;
        seen = now;
    }
    const auto held_back = Times(g->sink("Audio")->samples());
    ASSERT_FALSE(held_back.empty());
    EXPECT_LT(held_back.back(), 25 * UNITS) << "the 60 s title was read ahead";

    g->sink("Video")->OpenGate();
    g->WaitAll();
    EXPECT_GT(Times(g->sink("Video")->samples()).back(), 55 * UNITS);
    EXPECT_GT(Times(g->sink("Audio")->samples()).back(), 55 * UNITS);
}

// A filter that fails on a packet still gets the end of its stream (before, nothing
// downstream of it ever ended), and the graph hears why the run broke off.
TEST_F(DiscSplitter, AFailingConsumerEndsItsStreamAndAbortsTheRun) {
    auto g = Build(testing::NtscVob(2));
    ASSERT_TRUE(g);
    g->events->CancelDefaultHandling(EC_COMPLETE);
    g->sink("Video")->FailReceives();
    g->Run();
    g->WaitAll();
    EXPECT_EQ(g->sink("Video")->end_of_stream_count(), 1);
    bool aborted = false;
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (g->events->GetEvent(&code, &p1, &p2, 0) == S_OK)
        if (code == EC_ERRORABORT && static_cast<HRESULT>(p1) == E_FAIL) aborted = true;
    EXPECT_TRUE(aborted);
}

TEST_F(DiscSplitter, TitleWithoutSubtitlesListsTheNoSubtitlesEntry) {
    auto g = Build(testing::NtscVob(2));
    ASSERT_TRUE(g);
    const auto names = StreamNames(g->select().Get());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[1], "Audio - MPEG1 - Layer 2, 48.0 kHz, 2 chn, 224.0 kbit/s (0000,c0,00)");
    EXPECT_EQ(names[2], "Video - DVD Sub Picture (0000,00,00)");
}

TEST_F(DiscSplitter, SetRangeCutsTheDelivery) {
    auto g = Build(testing::PalVob(1),
                   [](Graph& graph) { graph.control_interface()->SetRange(3000, 2000, 10000); });
    ASSERT_TRUE(g);
    g->Run();
    g->WaitAll();
    const auto times = Times(g->sink("Video")->samples());
    ASSERT_FALSE(times.empty());
    // Starts a second before the range, at a PTS in the half second before that.
    EXPECT_GE(times.front(), 13 * UNITS / 10);
    EXPECT_LE(times.front(), 22 * UNITS / 10);
    EXPECT_GE(*std::max_element(times.begin(), times.end()), 45 * UNITS / 10);
    EXPECT_LE(*std::max_element(times.begin(), times.end()), 55 * UNITS / 10);
}

TEST_F(DiscSplitter, SetRangeWithoutSpanDeliversUntilTheDuration) {
    auto g = Build(testing::PalVob(1),
                   [](Graph& graph) { graph.control_interface()->SetRange(0, 0, 4000); });
    ASSERT_TRUE(g);
    g->Run();
    g->WaitAll();
    const auto times = Times(g->sink("Video")->samples());
    ASSERT_FALSE(times.empty());
    EXPECT_LT(times.front(), UNITS / 2);
    const REFERENCE_TIME last = *std::max_element(times.begin(), times.end());
    EXPECT_GE(last, 35 * UNITS / 10);
    EXPECT_LE(last, 45 * UNITS / 10);
}

TEST_F(DiscSplitter, SeeksLandBeforeTheTargetAndTwoPinsMakeOneSeek) {
    auto g = Build(testing::NtscVob(1));
    ASSERT_TRUE(g);
    // Hold the video sink so the run is still going when the seek comes.
    g->sink("Video")->CloseGate();
    g->Run();
    g->sink("Video")->WaitUntilBlockedInReceive();

    ComPtr<IMediaSeeking> video_seek = g->sink_filters["Video"].As<IMediaSeeking>();
    ComPtr<IMediaSeeking> audio_seek = g->sink_filters["Audio"].As<IMediaSeeking>();
    ASSERT_TRUE(video_seek && audio_seek);
    LONGLONG position = 10 * UNITS;
    ASSERT_EQ(video_seek->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, 0),
              S_OK);
    ASSERT_EQ(audio_seek->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, 0),
              S_OK);
    g->sink("Video")->OpenGate();
    g->WaitAll();

    for (const char* name : {"Video", "Audio"}) {
        const auto events = g->sink(name)->events();
        EXPECT_EQ(
            std::count_if(events.begin(), events.end(),
                          [](const SinkEvent& e) { return e.kind == SinkEvent::kBeginFlush; }),
            1)
            << name;
    }
    // The first video packet after the seek: in the half second before the target a second
    // ahead of the seek position (8.5 to 9 s), give or take the other stream's search.
    const auto events = g->sink("Video")->events();
    const auto samples = g->sink("Video")->samples();
    auto flush = std::find_if(events.begin(), events.end(),
                              [](const SinkEvent& e) { return e.kind == SinkEvent::kEndFlush; });
    ASSERT_NE(flush, events.end());
    REFERENCE_TIME first_after = -1;
    for (auto e = flush; e != events.end(); ++e) {
        if (e->kind == SinkEvent::kSample && samples[e->sample_index].time_result == S_OK) {
            first_after = samples[e->sample_index].start;
            break;
        }
    }
    EXPECT_GE(first_after, 8 * UNITS);
    EXPECT_LE(first_after, 92 * UNITS / 10);

    LONGLONG current = 0;
    video_seek->GetCurrentPosition(&current);
    EXPECT_EQ(current, 10 * UNITS);
}

TEST_F(DiscSplitter, SeekBelowOneSecondStartsAtTheBeginning) {
    auto g = Build(testing::PalVob(1));
    ASSERT_TRUE(g);
    ComPtr<IMediaSeeking> seeking = g->splitter_filter.As<IMediaSeeking>();
    LONGLONG position = UNITS / 2;
    ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, 0), S_OK);
    g->Run();
    g->WaitAll();
    const auto times = Times(g->sink("Video")->samples());
    ASSERT_FALSE(times.empty());
    EXPECT_LT(times.front(), UNITS / 5);
}

TEST_F(DiscSplitter, InputPinTakesAFileSourceAndRefusesAPushPeer) {
    IBaseFilter* raw = nullptr;
    ASSERT_EQ(CreateMpegSplitter(nullptr, &raw), S_OK);
    ComPtr<IBaseFilter> splitter = ComPtr<IBaseFilter>::Adopt(raw);
    ComPtr<IPin> input;
    ASSERT_EQ(splitter->FindPin("Input", input.ReleaseAndGetAddressOf()), S_OK);

    harness::CTestSource* push = new harness::CTestSource(harness::MakeVideoType(16, 16));
    ComPtr<IBaseFilter> push_filter(push);
    EXPECT_TRUE(FAILED(push->pin()->Connect(input.Get(), nullptr)));

    auto file = testing::OpenFileReader(testing::PalVob(1));
    ASSERT_TRUE(file.reader);
    ComPtr<IPin> output;
    ASSERT_EQ(file.filter->FindPin("Output", output.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(output->Connect(input.Get(), nullptr), S_OK);
    std::vector<ComPtr<IPin>> pins;
    splitter->EnumPins(&pins);
    EXPECT_EQ(pins.size(), 4u);  // input, video, audio, subtitle
    ComPtr<IBufferInfo> buffers = splitter.As<IBufferInfo>();
    ASSERT_TRUE(buffers);
    EXPECT_EQ(buffers->GetCount(), 3);
    EXPECT_EQ(buffers->GetStatus(0, nullptr, nullptr), S_FALSE);  // not connected
    EXPECT_EQ(buffers->GetStatus(3, nullptr, nullptr), E_INVALIDARG);
    ComPtr<IKeyFrameInfo> key_frames = splitter.As<IKeyFrameInfo>();
    uint32_t count = 0;
    EXPECT_EQ(key_frames->GetKeyFrameCount(&count), E_NOTIMPL);
    DWORD capabilities = 0;
    splitter.As<IMediaSeeking>()->GetCapabilities(&capabilities);
    EXPECT_EQ(capabilities, 0x37u);
    EXPECT_EQ(splitter.As<IMediaSeeking>()->SetTimeFormat(&TIME_FORMAT_BYTE), E_INVALIDARG);
    EXPECT_EQ(splitter.As<IMediaSeeking>()->SetRate(0), E_INVALIDARG);

    input->Disconnect();
    output->Disconnect();
    pins.clear();
    splitter->EnumPins(&pins);
    EXPECT_EQ(pins.size(), 1u);
}

TEST(GeneratedSplitter, TimestampJumpsOfMoreThanFiveSecondsAreSmoothed) {
    for (const int64_t jump_s : {6, 4}) {
        const std::string name = "jump" + std::to_string(jump_s) + ".mpg";
        const auto path = testing::WriteTempFile(
            name, testing::MakeProgramStream(
                      {.packs = 400, .jump_at = 200, .jump_ticks = jump_s * 90000}));
        // The stream's own length is under a second; the jump must not end the range.
        auto g =
            Build(path, [](Graph& graph) { graph.control_interface()->SetRange(0, 0, 60000); });
        ASSERT_TRUE(g);
        g->Run();
        g->WaitAll();
        const auto times = Times(g->sink("Video")->samples());
        ASSERT_EQ(times.size(), 400u);
        REFERENCE_TIME largest_gap = 0;
        for (size_t i = 1; i < times.size(); ++i)
            largest_gap = std::max(largest_gap, times[i] - times[i - 1]);
        if (jump_s == 6)
            EXPECT_LT(largest_gap, UNITS / 10);
        else
            EXPECT_GT(largest_gap, 39 * UNITS / 10);
    }
}

TEST(GeneratedSplitter, ALargeForwardJumpDoesNotEndTheRun) {
    const auto path = testing::WriteTempFile(
        "jump_far.mpg",
        testing::MakeProgramStream({.packs = 400, .jump_at = 200, .jump_ticks = 3600 * 90000}));
    auto g = Build(path);
    ASSERT_TRUE(g);
    g->Run();
    g->WaitAll();
    EXPECT_EQ(Times(g->sink("Video")->samples()).size(), 400u);
}

TEST(GeneratedSplitter, ScrambledDataMidwayEndsTheRunWithADistinctError) {
    const auto path = testing::WriteTempFile(
        "css_mid.mpg", testing::MakeProgramStream({.packs = 300, .scrambled_from = 150}));
    auto g = Build(path);
    ASSERT_TRUE(g);
    g->events->CancelDefaultHandling(EC_COMPLETE);
    g->Run();
    g->WaitAll();
    EXPECT_LT(g->sink("Video")->samples().size(), 151u);
    bool scrambled = false;
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (g->events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        if (code == EC_ERRORABORT && static_cast<HRESULT>(p1) == DEMUX_E_SCRAMBLED)
            scrambled = true;
    }
    EXPECT_TRUE(scrambled);
}

TEST(GeneratedSplitter, TransportStreamsDeliverMpeg2Ac3AndH264Aac) {
    {
        auto g = Build(testing::TsMpeg2Ac3());
        ASSERT_TRUE(g);
        EXPECT_EQ(g->splitter->Container(), MpegContainer::kTransportStream);
        const auto names = StreamNames(g->select().Get());
        ASSERT_GE(names.size(), 2u);
        EXPECT_TRUE(names[1].ends_with("(0101,bd,00)")) << names[1];
        g->Run();
        g->WaitAll();
        const auto audio = g->sink("Audio")->samples();
        ASSERT_FALSE(audio.empty());
        EXPECT_EQ(audio[0].data[0], 0x0B);
        EXPECT_EQ(audio[0].data[1], 0x77);
        EXPECT_FALSE(g->sink("Video")->samples().empty());
    }
    {
        auto g = Build(testing::TsH264Aac());
        ASSERT_TRUE(g);
        g->Run();
        g->WaitAll();
        const auto video = g->sink("Video")->samples();
        ASSERT_GE(video.size(), 45u);  // 2 s at 25 fps, one sample per frame
        // Length-prefixed NAL units that fill the sample exactly.
        for (const auto& s : video) {
            size_t i = 0;
            while (i + 4 <= s.data.size()) {
                const size_t n = size_t{s.data[i]} << 24 | size_t{s.data[i + 1]} << 16 |
                                 size_t{s.data[i + 2]} << 8 | s.data[i + 3];
                ASSERT_GT(n, 0u);
                i += 4 + n;
            }
            ASSERT_EQ(i, s.data.size());
        }
        const auto audio = g->sink("Audio")->samples();
        EXPECT_GE(audio.size(), 85u);  // 2 s of 1024-sample frames at 48 kHz, headers removed
        for (const auto& s : audio)
            ASSERT_FALSE(s.data.size() >= 2 && s.data[0] == 0xFF && (s.data[1] & 0xF0) == 0xF0);
    }
}

TEST(GeneratedSplitter, PesAndPvaFilesDeliver) {
    for (const std::string& path : {testing::RawPesFile(), testing::PvaFile()}) {
        auto g = Build(path);
        ASSERT_TRUE(g) << path;
        g->Run();
        g->WaitAll();
        EXPECT_FALSE(g->sink("Video")->samples().empty()) << path;
        EXPECT_FALSE(g->sink("Audio")->samples().empty()) << path;
    }
}

TEST(GeneratedSplitter, LoadOfAMissingOrUnknownFileFailsAndForgetsTheName) {
    IBaseFilter* raw = nullptr;
    ASSERT_EQ(CreateMpegSplitter(nullptr, &raw), S_OK);
    ComPtr<IBaseFilter> splitter = ComPtr<IBaseFilter>::Adopt(raw);
    ComPtr<IFileSourceFilter> file = splitter.As<IFileSourceFilter>();
    EXPECT_TRUE(FAILED(file->Load("/nonexistent/file.vob", nullptr)));
    std::string name = "x";
    file->GetCurFile(&name, nullptr);
    EXPECT_EQ(name, "");
    EXPECT_TRUE(FAILED(
        file->Load(testing::WriteTempFile("zeros.bin", std::vector<uint8_t>(100000)), nullptr)));
    std::vector<ComPtr<IPin>> pins;
    splitter->EnumPins(&pins);
    EXPECT_EQ(pins.size(), 1u);
}

// A Blu-ray clip: MPEG-2 pictures, AC-3 sound at 440 Hz (PID 0x1100) and at 880 Hz (PID
// 0x1101). Its clip information declares the first English AC-3, the second Japanese E-AC-3
// (whose AC-3 core is what the stream carries here), and a French graphics stream on PID
// 0x1200 that the stream itself lacks. The same bytes outside a BDMV folder have no clip
// information.
struct BluRayClip {
    std::string clip, bare;
};
const BluRayClip& MakeBluRayClip() {
    static const BluRayClip made = [] {
        namespace fs = std::filesystem;
        const fs::path root = fs::path(testing::TempDir()) / "disc" / "BDMV";
        fs::create_directories(root / "STREAM");
        BluRayClip clip{(root / "STREAM" / "00001.m2ts").string(),
                        testing::TempDir() + "/bare.m2ts"};
        if (!testing::RunFfmpeg(
                "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=f=440 -f lavfi -i "
                "sine=f=880 -t 2 -map 0 -map 1 -map 2 -c:v mpeg2video -c:a ac3 -ac 2 -f mpegts "
                "-mpegts_m2ts_mode 1 \"" +
                clip.clip + "\""))
            return BluRayClip{};
        fixtures::WriteClipInfo(root / "CLIPINF" / "00001.clpi", {{0x1011, 0x02, "", 0x34},
                                                                  {0x1100, 0x81, "eng"},
                                                                  {0x1101, 0x84, "jpn"},
                                                                  {0x1200, 0x90, "fra"}});
        fs::copy_file(clip.clip, clip.bare);
        return clip;
    }();
    return made;
}

TEST(BluRayClipSplitter, StreamNamesCarryTheLanguagesAndCodingsOfTheClipInformation) {
    auto g = Build(MakeBluRayClip().clip);
    ASSERT_TRUE(g);
    const auto names = StreamNames(g->select().Get());
    auto named = [&](const std::string& tag) {
        for (const std::string& name : names)
            if (name.ends_with(tag)) return name;
        return std::string();
    };
    EXPECT_TRUE(
        named("(1100,fd,00)").starts_with("Audio - English, Dolby Digital, 44.1 kHz, 2 chn"))
        << named("(1100,fd,00)");
    EXPECT_TRUE(named("(1101,fd,00)").starts_with("Audio - Japanese, Dolby Digital Plus, 44.1 kHz"))
        << named("(1101,fd,00)");
    EXPECT_EQ(named("(1200,bd,00)"),
              "Subtitle - French, Presentation Graphics Stream (1200,bd,00)");
}

// The clip information's coding types rank the sound: E-AC-3 before AC-3,
// so the audio pin starts on the second track; without it the first leads.
TEST(BluRayClipSplitter, AudioOrderFollowsTheClipInformation) {
    for (const auto& [path, first] :
         {std::pair{MakeBluRayClip().clip, std::string("(1101,fd,00)")},
          std::pair{MakeBluRayClip().bare, std::string("(1100,fd,00)")}}) {
        auto g = Build(path);
        ASSERT_TRUE(g) << path;
        const auto names = StreamNames(g->select().Get());
        ASSERT_GE(names.size(), 3u);
        EXPECT_TRUE(names[1].ends_with(first)) << path << ": " << names[1];
        DWORD flags = 0;
        g->select()->Info(1, nullptr, &flags, nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(flags, 3u) << path;
    }
}

}  // namespace
}  // namespace rizuvira::demux
