// SPDX-License-Identifier: GPL-2.0-or-later
// The video renderer in a real graph behind the video decoder, both made through the
// component registry: it presents every picture, keeps the last one, reports EC_COMPLETE at
// the end, and waits for each picture's time when the graph has a clock.
#include <gtest/gtest.h>

#include <mutex>

#include "decoders/decoder_interfaces.h"
#include "decoders/register.h"
#include "decoders/video_renderer.h"
#include "decoders/vob_packets.h"
#include "fixtures/sample_discs.h"
#include "platform/filter_graph.h"
#include "platform/media_sample.h"
#include "platform/pipeline_harness.h"
#include "platform/registry.h"

namespace rizuvira::decoders {
namespace {

namespace fx = rizuvira::fixtures;
using rizuvira::decoders::CLSID_MpegVideoDecoder;
using rizuvira::decoders::IMyVideoRenderer;
using rizuvira::decoders::IVideoSurface;
using rizuvira::decoders::VideoFrameView;

class RecordingSurface final : public IVideoSurface {
public:
    explicit RecordingSurface(IBaseFilter* renderer = nullptr) : renderer_(renderer) {}
    void Present(const VideoFrameView& frame) override {
        REFERENCE_TIME now = 0;
        if (renderer_) {
            ComPtr<IReferenceClock> clock;
            if (SUCCEEDED(renderer_->GetSyncSource(clock.ReleaseAndGetAddressOf())) && clock)
                clock->GetTime(&now);
        }
        std::lock_guard lock(mutex_);
        frames_.push_back(fx::DecodeFrameBand(frame.y, frame.width, frame.height, frame.y_stride));
        starts_.push_back(frame.start_100ns);
        clock_times_.push_back(now);
    }
    std::vector<int> frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::vector<REFERENCE_TIME> starts() {
        std::lock_guard lock(mutex_);
        return starts_;
    }
    std::vector<REFERENCE_TIME> clock_times() {
        std::lock_guard lock(mutex_);
        return clock_times_;
    }

private:
    IBaseFilter* renderer_;
    std::mutex mutex_;
    std::vector<int> frames_;
    std::vector<REFERENCE_TIME> starts_;
    std::vector<REFERENCE_TIME> clock_times_;
};

struct Graph {
    ComPtr<IGraphBuilder> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;

    Graph() {
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(CreateFilterGraph(unknown.ReleaseAndGetAddressOf()), S_OK);
        EXPECT_EQ(unknown.As(&builder), S_OK);
        EXPECT_EQ(unknown.As(&control), S_OK);
        EXPECT_EQ(unknown.As(&events), S_OK);
    }
    ~Graph() {
        if (control) control->Stop();
        std::vector<ComPtr<IBaseFilter>> filters;
        if (builder && SUCCEEDED(builder->EnumFilters(&filters)))
            for (auto& f : filters) builder->RemoveFilter(f.Get());
    }
    void NoClock() {
        ComPtr<IMediaFilter> filter;
        ASSERT_EQ(builder.As(&filter), S_OK);
        ASSERT_EQ(filter->SetSyncSource(nullptr), S_OK);
    }
};

TEST(VideoRenderer, ShowsEveryPictureKeepsTheLastAndCompletesAtTheEnd) {
    rizuvira::decoders::RegisterDecoders();
    rizuvira::decoders::RegisterDecoders();  // a second call changes nothing
    const VobFile vob = ReadVob(VobPath("ntsc", 2));
    ComPtr<platform::harness::CTestSource> source(
        new platform::harness::CTestSource(VideoType(vob), 4, 8192));
    ComPtr<IBaseFilter> decoder, renderer;
    ASSERT_EQ(CoCreateInstance(CLSID_MpegVideoDecoder, &decoder), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer, &renderer), S_OK);
    ComPtr<IMyVideoRenderer> control;
    ASSERT_EQ(renderer.As(&control), S_OK);
    RecordingSurface surface;
    std::vector<uint8_t> picture;
    LONG width = 0, height = 0;
    EXPECT_EQ(control->GetCurrentFrame(&picture, &width, &height, nullptr), E_UNEXPECTED);
    EXPECT_EQ(control->GetNativeVideoSize(&width, &height, nullptr, nullptr), VFW_E_NOT_CONNECTED);
    ASSERT_EQ(control->SetSurface(&surface), S_FALSE);  // nothing to show yet

    {
        Graph graph;
        ASSERT_EQ(graph.builder->AddFilter(source.Get(), "Source"), S_OK);
        ASSERT_EQ(graph.builder->AddFilter(decoder.Get(), "Decoder"), S_OK);
        ASSERT_EQ(graph.builder->AddFilter(renderer.Get(), "Renderer"), S_OK);
        ASSERT_EQ(graph.builder->ConnectDirect(
                      source->pin(), GetFilterPin(decoder.Get(), PINDIR_INPUT, 0).Get(), nullptr),
                  S_OK);
        ASSERT_EQ(graph.builder->ConnectDirect(GetFilterPin(decoder.Get(), PINDIR_OUTPUT, 0).Get(),
                                               GetFilterPin(renderer.Get(), PINDIR_INPUT, 0).Get(),
                                               nullptr),
                  S_OK);
        LONG aspect_x = 0, aspect_y = 0;
        ASSERT_EQ(control->GetNativeVideoSize(&width, &height, &aspect_x, &aspect_y), S_OK);
        EXPECT_EQ(width, 720);
        EXPECT_EQ(height, 480);
        EXPECT_EQ(aspect_x, 4);
        EXPECT_EQ(aspect_y, 3);

        graph.NoClock();
        ASSERT_EQ(graph.control->Run(), S_OK);
        for (const VobPacket& p : vob.packets) {
            if (p.stream_id != 0xE0) continue;
            std::optional<REFERENCE_TIME> stop;
            if (p.start_100ns) stop = *p.start_100ns + 1;
            ASSERT_EQ(source->Push(p.data, p.start_100ns, stop), S_OK);
        }
        ASSERT_EQ(source->EndOfStream(), S_OK);
        LONG code = 0;
        ASSERT_EQ(graph.events->WaitForCompletion(-1, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);

        const std::vector<int> shown = surface.frames();
        ASSERT_EQ(shown.size(), 120u);
        for (int n = 0; n < 120; ++n) EXPECT_EQ(shown[static_cast<std::size_t>(n)], n);

        int64_t start = 0;
        ASSERT_EQ(control->GetCurrentFrame(&picture, &width, &height, &start), S_OK);
        ASSERT_EQ(picture.size(), std::size_t{720 * 480 * 3 / 2});
        EXPECT_EQ(fx::DecodeFrameBand(picture.data(), 720, 480, 720), 119);
        EXPECT_NEAR(static_cast<double>(start), 119.0 * 1001 * UNITS / 30000, 2.0);

        std::vector<uint8_t> rgb;
        ASSERT_EQ(control->GetCurrentImage(&rgb, &width, &height), S_OK);
        ASSERT_EQ(rgb.size(), std::size_t{720 * 480 * 3});
        // Inside the band's white start mark (x 72-103, y 224-255): white in RGB too.
        const std::size_t white = (240u * 720 + 88) * 3;
        EXPECT_GT(rgb[white], 230);
        EXPECT_GT(rgb[white + 1], 230);
        EXPECT_GT(rgb[white + 2], 230);
        // Yellow bar (bottom left): red and green high, blue low.
        const std::size_t yellow = (450u * 720 + 60) * 3;
        EXPECT_GT(rgb[yellow], 150);
        EXPECT_GT(rgb[yellow + 1], 150);
        EXPECT_LT(rgb[yellow + 2], 80);

        ASSERT_EQ(control->RepaintVideo(), S_OK);
        EXPECT_EQ(surface.frames().size(), 121u);
        EXPECT_EQ(surface.frames().back(), 119);
        ASSERT_EQ(control->SetSurface(nullptr), S_OK);
        ASSERT_EQ(graph.control->Stop(), S_OK);
    }
    EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
}

TEST(VideoRenderer, WaitsForEachPicturesTimeOnTheClock) {
    rizuvira::decoders::RegisterDecoders();
    ComPtr<platform::harness::CTestSource> source(new platform::harness::CTestSource(
        platform::harness::MakeVideoType(64, 48), 2, 64 * 48 * 3 / 2));
    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer, &renderer), S_OK);
    ComPtr<IMyVideoRenderer> control;
    ASSERT_EQ(renderer.As(&control), S_OK);
    RecordingSurface surface(renderer.Get());
    ASSERT_EQ(control->SetSurface(&surface), S_FALSE);
    {
        Graph graph;  // the system clock
        ASSERT_EQ(graph.builder->AddFilter(source.Get(), "Source"), S_OK);
        ASSERT_EQ(graph.builder->AddFilter(renderer.Get(), "Renderer"), S_OK);
        ASSERT_EQ(graph.builder->ConnectDirect(
                      source->pin(), GetFilterPin(renderer.Get(), PINDIR_INPUT, 0).Get(), nullptr),
                  S_OK);
        ASSERT_EQ(graph.control->Run(), S_OK);
        const std::vector<BYTE> grey(64 * 48 * 3 / 2, 128);
        // Half a second into the run, so that a loaded machine does not make them late.
        for (REFERENCE_TIME t : {UNITS / 2, UNITS / 2 + UNITS / 20, UNITS / 2 + UNITS / 10})
            ASSERT_EQ(source->Push(grey, t, t + UNITS / 20), S_OK);
        ASSERT_EQ(source->EndOfStream(), S_OK);
        LONG code = 0;
        ASSERT_EQ(graph.events->WaitForCompletion(-1, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);

        ComPtr<IReferenceClock> clock;
        ASSERT_EQ(renderer->GetSyncSource(clock.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_TRUE(clock);
        const auto* base_filter = dynamic_cast<CBaseFilter*>(renderer.Get());
        ASSERT_NE(base_filter, nullptr);
        const REFERENCE_TIME run_start = const_cast<CBaseFilter*>(base_filter)->StartTime();
        const std::vector<REFERENCE_TIME> starts = surface.starts();
        const std::vector<REFERENCE_TIME> shown_at = surface.clock_times();
        ASSERT_EQ(shown_at.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) EXPECT_GE(shown_at[i], run_start + starts[i]) << i;
        ASSERT_EQ(control->SetSurface(nullptr), S_OK);
        ASSERT_EQ(graph.control->Stop(), S_OK);
    }
}

TEST(VideoRenderer, AnUnconnectedRendererCompletesAtOnce) {
    rizuvira::decoders::RegisterDecoders();
    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer, &renderer), S_OK);
    // It says it is a renderer, so the graph waits for its EC_COMPLETE even unconnected.
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(renderer.As(&flags), S_OK);
    EXPECT_EQ(flags->GetMiscFlags(), AM_FILTER_MISC_FLAGS_IS_RENDERER);
    Graph graph;
    ASSERT_EQ(graph.builder->AddFilter(renderer.Get(), "Renderer"), S_OK);
    graph.NoClock();
    ASSERT_EQ(graph.control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(graph.events->WaitForCompletion(-1, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    ASSERT_EQ(graph.control->Stop(), S_OK);
}

}  // namespace
}  // namespace rizuvira::decoders
