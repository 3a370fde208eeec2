// SPDX-License-Identifier: GPL-2.0-or-later
// The splitter behind the DVD reader, as the preview and conversion graphs build it: the
// reader set to a title of a sample disc, the splitter given the title record before its
// input connects, a collecting sink on each output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "demux/mpeg_splitter.h"
#include "demux/splitter_file.h"
#include "dvd/dvd_reader.h"
#include "fixtures/sample_discs.h"
#include "platform/filter_graph.h"
#include "platform/pipeline_harness.h"

namespace rizuvira::demux {
namespace {

struct DvdGraph {
    ComPtr<IGraphBuilder> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IBaseFilter> reader, splitter;
    std::map<std::string, ComPtr<IBaseFilter>> sink_filters;
    std::map<std::string, harness::CCollectingSink*> sinks;
    ~DvdGraph() {
        if (control) control->Stop();
    }
};

// Title `index` of the disc folder; `range_ms` = {start, span} or empty for none.
std::unique_ptr<DvdGraph> BuildDvd(const std::string& disc, int index,
                                   std::vector<int64_t> range_ms = {}) {
    auto g = std::make_unique<DvdGraph>();
    HRESULT hr = S_OK;
    auto* reader = new dvd::CDVDReader(nullptr, &hr);
    g->reader = ComPtr<IBaseFilter>(reader);
    if (FAILED(reader->Load(fixtures::SampleDiscPath(disc), nullptr))) return nullptr;
    if (FAILED(reader->SetArea(index, -1))) return nullptr;
    int64_t duration_ms = 0;
    reader->GetDuration(&duration_ms);

    const int32_t handle = dvd::MyDVDOpen(fixtures::SampleDiscPath(disc).c_str());
    auto info = std::make_unique<dvd::TitleTable>();
    dvd::MyDVDGetInfo(handle, info.get());
    dvd::MyDVDClose(handle);

    IBaseFilter* raw = nullptr;
    EXPECT_EQ(CreateMpegSplitter(nullptr, &raw), S_OK);
    g->splitter = ComPtr<IBaseFilter>::Adopt(raw);
    auto control = g->splitter.As<IMyMpegSplitter>();
    control->SetTitleInfo(&info->titles[index]);
    if (!range_ms.empty()) control->SetRange(range_ms[0], range_ms[1], duration_ms);

    ComPtr<IUnknown> unknown;
    CreateFilterGraph(unknown.ReleaseAndGetAddressOf());
    g->builder = unknown.As<IGraphBuilder>();
    g->control = unknown.As<IMediaControl>();
    unknown.As<IMediaFilter>()->SetSyncSource(nullptr);
    g->builder->AddFilter(g->reader.Get(), "Reader");
    g->builder->AddFilter(g->splitter.Get(), "Splitter");
    ComPtr<IPin> out, in;
    g->reader->FindPin("Output", out.ReleaseAndGetAddressOf());
    g->splitter->FindPin("Input", in.ReleaseAndGetAddressOf());
    if (FAILED(g->builder->ConnectDirect(out.Get(), in.Get(), nullptr))) return nullptr;
    std::vector<ComPtr<IPin>> pins;
    g->splitter->EnumPins(&pins);
    for (auto& pin : pins) {
        PIN_INFO pin_info;
        pin->QueryPinInfo(&pin_info);
        if (pin_info.dir != PINDIR_OUTPUT) continue;
        auto* sink = new harness::CCollectingSink();
        g->sink_filters[pin_info.achName] = ComPtr<IBaseFilter>(sink);
        g->sinks[pin_info.achName] = sink;
        g->builder->AddFilter(sink, pin_info.achName + " sink");
        EXPECT_EQ(g->builder->ConnectDirect(pin.Get(), sink->pin(), nullptr), S_OK);
    }
    return g;
}

std::vector<std::string> Names(IBaseFilter* splitter) {
    auto select = ComPtr<IBaseFilter>(splitter).As<IAMStreamSelect>();
    DWORD count = 0;
    select->Count(&count);
    std::vector<std::string> names(count);
    for (DWORD i = 0; i < count; ++i)
        select->Info(static_cast<LONG>(i), nullptr, nullptr, nullptr, nullptr, &names[i], nullptr,
                     nullptr);
    return names;
}

std::vector<REFERENCE_TIME> Times(const std::vector<harness::ReceivedSample>& samples) {
    std::vector<REFERENCE_TIME> times;
    for (const auto& s : samples)
        if (s.time_result == S_OK) times.push_back(s.start);
    return times;
}

class DvdSplitter : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(fixtures::SampleDiscPath("ntsc/VIDEO_TS/VIDEO_TS.IFO")))
            GTEST_SKIP() << "sample discs not built";
    }
};

TEST_F(DvdSplitter, MainTitleStreamsAndAWholeRun) {
    auto g = BuildDvd("ntsc", 0);
    ASSERT_TRUE(g);
    const auto names = Names(g->splitter.Get());
    ASSERT_EQ(names.size(), 5u);
    EXPECT_TRUE(names[1].ends_with("6 chn, 384.0 kbit/s (0000,bd,80)")) << names[1];
    EXPECT_TRUE(names[2].ends_with("(0000,bd,81)"));
    EXPECT_TRUE(names[3].ends_with("(0000,bd,20)"));
    EXPECT_TRUE(names[4].ends_with("(0000,bd,21)"));
    ASSERT_EQ(g->control->Run(), S_OK);
    for (auto& [name, sink] : g->sinks) sink->WaitForEndOfStream();
    const auto video = Times(g->sinks["Video"]->samples());
    ASSERT_FALSE(video.empty());
    EXPECT_LT(video.front(), UNITS / 2);
    EXPECT_GT(*std::max_element(video.begin(), video.end()), 59 * UNITS);
    // English cues at 5, 20 and 50 s: subpicture packets arrive for each.
    const auto subtitles = Times(g->sinks["Subtitle"]->samples());
    for (int cue_s : {5, 20, 50}) {
        EXPECT_TRUE(std::any_of(subtitles.begin(), subtitles.end(), [&](REFERENCE_TIME t) {
            return t >= (cue_s - 1) * UNITS && t <= (cue_s + 1) * UNITS;
        })) << cue_s;
    }
}

TEST_F(DvdSplitter, ConversionRangeThroughTheReader) {
    auto g = BuildDvd("ntsc", 0, {20000, 5000});
    ASSERT_TRUE(g);
    ASSERT_EQ(g->control->Run(), S_OK);
    for (auto& [name, sink] : g->sinks) sink->WaitForEndOfStream();
    const auto video = Times(g->sinks["Video"]->samples());
    ASSERT_FALSE(video.empty());
    // Positioned a second ahead of the range, at a PTS in the half second before that.
    EXPECT_GE(video.front(), 18 * UNITS);
    EXPECT_LE(video.front(), 192 * UNITS / 10);
    const REFERENCE_TIME last = *std::max_element(video.begin(), video.end());
    EXPECT_GE(last, 245 * UNITS / 10);
    EXPECT_LE(last, 26 * UNITS);
}

TEST_F(DvdSplitter, ShortTitleWithoutSubtitlesAndPalMpegAudio) {
    auto g = BuildDvd("ntsc", 1);
    ASSERT_TRUE(g);
    auto names = Names(g->splitter.Get());
    ASSERT_EQ(names.size(), 4u);
    EXPECT_TRUE(names[3].ends_with("(0000,00,00)"));

    auto pal = BuildDvd("pal", 0);
    ASSERT_TRUE(pal);
    names = Names(pal->splitter.Get());
    ASSERT_EQ(names.size(), 4u);
    EXPECT_TRUE(names[1].ends_with("(0000,bd,80)"));
    EXPECT_TRUE(names[2].ends_with("(0000,c1,00)"));
}

TEST_F(DvdSplitter, ChapterReadsToItsStopThoughTheLengthCountsTheTitle) {
    // The reader announces the whole title's size; the chapter ends earlier
    // and the last window of bytes before its end must still read.
    HRESULT hr = S_OK;
    ComPtr<IBaseFilter> filter(new dvd::CDVDReader(nullptr, &hr));
    auto* reader = static_cast<dvd::CDVDReader*>(filter.Get());
    ASSERT_EQ(reader->Load(fixtures::SampleDiscPath("ntsc"), nullptr), S_OK);
    ASSERT_EQ(reader->SetArea(0, 1), S_OK);
    ComPtr<IPin> out;
    filter->FindPin("Output", out.ReleaseAndGetAddressOf());
    ComPtr<IAsyncReader> source = out.As<IAsyncReader>();
    ASSERT_TRUE(source);

    const int32_t handle = dvd::MyDVDOpen(fixtures::SampleDiscPath("ntsc").c_str());
    auto info = std::make_unique<dvd::TitleTable>();
    dvd::MyDVDGetInfo(handle, info.get());
    dvd::MyDVDClose(handle);
    const int64_t chapter_bytes =
        int64_t{info->titles[0].chapter_sectors[1]} * dvd::kDvdSectorBytes;

    CBaseSplitterFile file(source.Get(), &hr, 65536);
    ASSERT_EQ(hr, S_OK);
    ASSERT_GT(file.StreamLength(), chapter_bytes);
    int64_t count = 0;
    uint8_t byte = 0;
    while (file.ReadBytes(&byte, 1) == S_OK) ++count;
    EXPECT_EQ(count, chapter_bytes);
    EXPECT_EQ(file.StreamLength(), chapter_bytes);
}

}  // namespace
}  // namespace rizuvira::demux
