// SPDX-License-Identifier: GPL-2.0-or-later
// The video renderer's windowless control and late-picture dropping, fed by a test source in a
// graph on the system clock; and the audio renderer keeping time with no sound device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "decoders/audio_renderer.h"
#include "decoders/video_renderer.h"
#include "platform/filter_graph.h"
#include "platform/pipeline_harness.h"

namespace rizuvira::decoders {

namespace {

using namespace std::chrono_literals;
using rizuvira::decoders::CAudioRenderer;
using rizuvira::decoders::CVideoRenderer;
using rizuvira::decoders::HeadlessVideoSurface;
using rizuvira::decoders::IMyWindowlessControl;

constexpr LONG kWidth = 64, kHeight = 32;  // 2:1

// A picture of one luma level, neutral chroma.
std::vector<BYTE> FlatPicture(BYTE luma) {
    std::vector<BYTE> picture(kWidth * kHeight * 3 / 2, 128);
    std::memset(picture.data(), luma, kWidth * kHeight);
    return picture;
}

struct SourceToRenderer {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<platform::harness::CTestSource> source;
    ComPtr<IBaseFilter> renderer;

    SourceToRenderer(CMediaType type, IBaseFilter* sink)
        : source(new platform::harness::CTestSource(std::move(type), 4, 1 << 16)), renderer(sink) {
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(CreateFilterGraph(unknown.ReleaseAndGetAddressOf()), S_OK);
        graph = unknown.As<IGraphBuilder>();
        control = unknown.As<IMediaControl>();
        EXPECT_EQ(graph->AddFilter(source.Get(), "Source"), S_OK);
        EXPECT_EQ(graph->AddFilter(renderer.Get(), "Renderer"), S_OK);
        EXPECT_EQ(graph->ConnectDirect(
                      source->pin(), GetFilterPin(renderer.Get(), PINDIR_INPUT, 0).Get(), nullptr),
                  S_OK);
    }
    ~SourceToRenderer() {
        control->Stop();
        graph->RemoveFilter(source.Get());
        graph->RemoveFilter(renderer.Get());
    }
};

TEST(VideoRendererWindowless, PlacementImageAndComposition) {
    HRESULT hr = S_OK;
    ComPtr<CVideoRenderer> renderer(new CVideoRenderer(nullptr, &hr));
    HeadlessVideoSurface surface;
    renderer->SetSurface(&surface);
    SourceToRenderer chain(platform::harness::MakeVideoType(kWidth, kHeight), renderer.Get());
    ComPtr<IMyWindowlessControl> control = renderer.As<IMyWindowlessControl>();
    ASSERT_TRUE(control);

    std::vector<uint8_t> dib;
    EXPECT_EQ(control->GetCurrentImageDib(&dib), E_UNEXPECTED);
    ASSERT_EQ(chain.control->Pause(), S_OK);
    // Shown at once while paused; the push then waits for the graph to run, so it has its own
    // thread, released by the stop at the end.
    std::thread pusher([&] { chain.source->Push(FlatPicture(235), 0, 400000); });
    struct StopAndJoin {
        IMediaControl* control;
        std::thread* thread;
        ~StopAndJoin() {
            control->Stop();
            thread->join();
        }
    } release{chain.control.Get(), &pusher};
    surface.WaitUntil([](const HeadlessVideoSurface::Shown& s) { return s.serial > 0; });

    ASSERT_EQ(control->GetCurrentImageDib(&dib), S_OK);
    BITMAPINFOHEADER header;
    ASSERT_GE(dib.size(), sizeof header);
    std::memcpy(&header, dib.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, kWidth);
    EXPECT_EQ(header.biHeight, kHeight);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(dib.size(), sizeof header + static_cast<std::size_t>(kWidth) * 3 * kHeight);
    EXPECT_GT(dib[sizeof header], 250);  // white

    const RECT outside{0, 0, kWidth + 2, kHeight};
    EXPECT_EQ(control->SetVideoPosition(&outside, nullptr), E_INVALIDARG);
    EXPECT_EQ(control->SetAspectRatioMode(2), E_INVALIDARG);

    // Letterboxed into a square: bars of the border colour above and below.
    const RECT whole{0, 0, 100, 100};
    ASSERT_EQ(control->SetVideoPosition(nullptr, &whole), S_OK);
    ASSERT_EQ(control->SetBorderColor(0x000000FF), S_OK);  // red
    std::vector<uint8_t> canvas;
    ASSERT_TRUE(surface.Compose(100, 100, &canvas));
    const auto pixel = [&](int x, int y) {
        return &canvas[(static_cast<std::size_t>(y) * 100 + x) * 3];
    };
    EXPECT_EQ(pixel(50, 5)[0], 255);
    EXPECT_EQ(pixel(50, 5)[1], 0);
    EXPECT_GT(pixel(50, 50)[1], 250);  // the white picture in the middle
    // Stretched: no bars.
    ASSERT_EQ(control->SetAspectRatioMode(rizuvira::decoders::VMR_ARMODE_NONE), S_OK);
    ASSERT_TRUE(surface.Compose(100, 100, &canvas));
    EXPECT_GT(pixel(50, 5)[1], 250);
    renderer->SetSurface(nullptr);
}

TEST(VideoRendererWindowless, LatePicturesAreKeptButNotShown) {
    HRESULT hr = S_OK;
    ComPtr<CVideoRenderer> renderer(new CVideoRenderer(nullptr, &hr));
    HeadlessVideoSurface surface;
    renderer->SetSurface(&surface);
    SourceToRenderer chain(platform::harness::MakeVideoType(kWidth, kHeight), renderer.Get());
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(chain.control->Run(), S_OK);
    std::this_thread::sleep_for(300ms);  // stream time is now well past 0.1 s
    ASSERT_EQ(chain.source->Push(FlatPicture(40), 500000, 900000), S_OK);
    EXPECT_EQ(renderer->dropped_late(), 1);
    EXPECT_EQ(surface.Last().serial, 0u);
    std::vector<uint8_t> frame;
    LONG width = 0, height = 0;
    ASSERT_EQ(renderer->GetCurrentFrame(&frame, &width, &height, nullptr), S_OK);
    EXPECT_EQ(frame[0], 40);
    // One on time is shown: a second and a half ahead of the clock, however long
    // a loaded machine took to get here.
    const REFERENCE_TIME now = std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now() - started)
                                   .count() *
                               10;
    ASSERT_EQ(chain.source->Push(FlatPicture(200), now + 15000000, now + 15400000), S_OK);
    EXPECT_EQ(surface.Last().serial, 1u);
    renderer->SetSurface(nullptr);
}

TEST(AudioRendererSilent, KeepsTimeWithoutASoundDevice) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    HRESULT hr = S_OK;
    ComPtr<CAudioRenderer> renderer(new CAudioRenderer(nullptr, &hr));
    SourceToRenderer chain(platform::harness::MakeAudioType(2, 48000), renderer.Get());
    // The renderer is the graph's clock.
    ASSERT_EQ(chain.control->Pause(), S_OK);
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(renderer->GetSyncSource(clock.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IReferenceClock> own = renderer.As<IReferenceClock>();
    EXPECT_EQ(clock.Get(), own.Get());
    EXPECT_FALSE(renderer->IsAudible());

    ASSERT_EQ(chain.control->Run(), S_OK);
    const auto started = std::chrono::steady_clock::now();
    // 1 s of sound in 100 ms samples, each handed on 50 ms before its time: the last one
    // goes 0.85 s after the first.
    std::vector<BYTE> block(4800 * 4, 0);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(chain.source->Push(block, i * 1000000LL, (i + 1) * 1000000LL), S_OK);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_NEAR(took, 0.85, 0.1);
}

}  // namespace

}  // namespace rizuvira::decoders
