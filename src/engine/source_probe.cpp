// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/source_probe.h"

#include <condition_variable>
#include <mutex>

#include "decoders/register.h"
#include "decoders/video_renderer.h"
#include "engine/preview_source.h"
#include "engine/stage_table.h"
#include "filters/deinterlace_filter.h"
#include "platform/filter_graph.h"
#include "platform/uuids.h"

namespace rizuvira::engine {

namespace {

// Looks at the pictures it is shown: the first one's shape, the times of all.
class ProbeSurface final : public decoders::IVideoSurface {
public:
    void Present(const decoders::VideoFrameView& frame) override {
        std::lock_guard lock(mutex_);
        if (count_ == 0) {
            width_ = frame.width;
            height_ = frame.height;
            aspect_x_ = frame.aspect_x;
            aspect_y_ = frame.aspect_y;
            first_start_ = frame.start_100ns;
        }
        last_start_ = frame.start_100ns;
        ++count_;
        changed_.notify_all();
    }
    void Ended() {
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    // Waits for `pictures` pictures or the end of the stream; false on timeout.
    bool Wait(int pictures) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kSourceProbeWait,
                                 [&] { return ended_ || count_ >= pictures; });
    }

    struct Seen {
        int width = 0, height = 0, aspect_x = 0, aspect_y = 0;
        int count = 0;
        int64_t average_period_100ns = 0;  // 0 with fewer than two pictures
    };
    Seen seen() const {
        std::lock_guard lock(mutex_);
        Seen s{width_, height_, aspect_x_, aspect_y_, count_, 0};
        if (count_ > 1 && last_start_ > first_start_)
            s.average_period_100ns = (last_start_ - first_start_) / (count_ - 1);
        return s;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int width_ = 0, height_ = 0, aspect_x_ = 0, aspect_y_ = 0;
    int count_ = 0;
    int64_t first_start_ = 0, last_start_ = 0;
    bool ended_ = false;
};

// The period a video pin's type declares; 0 when it declares none.
int64_t DeclaredPeriod(IPin* pin) {
    CMediaType type;
    if (!pin || FAILED(pin->ConnectionMediaType(&type))) return 0;
    if (const VIDEOINFOHEADER* info = type.FormatAs<VIDEOINFOHEADER>())
        return info->AvgTimePerFrame;
    if (const VIDEOINFOHEADER2* info = type.FormatAs<VIDEOINFOHEADER2>())
        return info->AvgTimePerFrame;
    return 0;
}

}  // namespace

core::SourcePicture ProbeSourcePicture(int32_t dvd_handle, int title,
                                       const std::filesystem::path& file, int64_t file_length_ms,
                                       core::DeinterlaceMode deinterlace, int threads) {
    decoders::RegisterDecoders();
    ProbeSurface surface;
    ComPtr<IUnknown> unknown;
    if (FAILED(CreateFilterGraph(unknown.ReleaseAndGetAddressOf()))) return {};
    ComPtr<IGraphBuilder> graph = unknown.As<IGraphBuilder>();
    ComPtr<IMediaControl> control = unknown.As<IMediaControl>();
    ComPtr<IMediaEventEx> events = unknown.As<IMediaEventEx>();
    ComPtr<IMediaFilter> timing = unknown.As<IMediaFilter>();
    if (!graph || !control || !events || !timing) return {};
    // No clock: every picture is shown the moment it is decoded.
    timing->SetSyncSource(nullptr);
    events->SetNotifyCallback([&surface, events = events.Get()] {
        LONG code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
            events->FreeEventParams(code, param1, param2);
            if (code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT)
                surface.Ended();
        }
    });

    PreviewSource source(nullptr);
    ComPtr<IBaseFilter> renderer;
    ComPtr<filters::CDeinterlaceFilter> deinterlacer;
    int32_t decision = filters::IMyDeinterlaceFilter::kUndecided;
    int64_t declared_period = 0;
    const bool opened = [&] {
        if (!source.AddFilters(graph.Get())) return false;
        if (file.empty()) {
            if (!source.OpenDisc(dvd_handle)) return false;
            source.GiveTitleRecord(title);
        } else if (!source.OpenFile(file, file_length_ms)) {
            return false;
        }
        if (!source.SelectArea(file.empty() ? title : 0, -1) || !source.ConnectDecoder())
            return false;
        if (FAILED(MakeStage(CLSID_VideoMixingRenderer, &renderer)) ||
            FAILED(graph->AddFilter(renderer.Get(), "Video Renderer")))
            return false;
        ComPtr<decoders::IMyVideoRenderer> video = renderer.As<decoders::IMyVideoRenderer>();
        if (!video) return false;
        video->SetSurface(&surface);
        ComPtr<IPin> decoded = GetFilterPin(source.decoder(), PINDIR_OUTPUT, 0);
        declared_period = DeclaredPeriod(GetFilterPin(source.decoder(), PINDIR_INPUT, 0).Get());
        if (deinterlace != core::DeinterlaceMode::kOff) {
            HRESULT hr = S_OK;
            deinterlacer = filters::CDeinterlaceFilter::CreateInstance(nullptr, &hr);
            if (deinterlacer && SUCCEEDED(graph->AddFilter(deinterlacer.Get(), "Deinterlacer"))) {
                deinterlacer->SetMode(static_cast<int32_t>(deinterlace), TRUE, threads);
                ComPtr<IPin> in = GetFilterPin(deinterlacer.Get(), PINDIR_INPUT, 0);
                if (in && SUCCEEDED(graph->ConnectDirect(decoded.Get(), in.Get(), nullptr))) {
                    decoded = GetFilterPin(deinterlacer.Get(), PINDIR_OUTPUT, 0);
                } else {
                    graph->RemoveFilter(deinterlacer.Get());
                    deinterlacer = nullptr;
                }
            }
        }
        ComPtr<IPin> shown = GetFilterPin(renderer.Get(), PINDIR_INPUT, 0);
        return decoded && shown &&
               SUCCEEDED(graph->ConnectDirect(decoded.Get(), shown.Get(), nullptr));
    }();
    if (opened) {
        control->Run();
        surface.Wait(kSourceProbePictures);
        if (deinterlacer) deinterlacer->GetDecision(&decision);
    }
    control->Stop();
    events->SetNotifyCallback({});
    if (renderer)
        if (ComPtr<decoders::IMyVideoRenderer> video = renderer.As<decoders::IMyVideoRenderer>())
            video->SetSurface(nullptr);
    std::vector<ComPtr<IBaseFilter>> filters;
    if (SUCCEEDED(graph->EnumFilters(&filters)))
        for (const ComPtr<IBaseFilter>& filter : filters) graph->RemoveFilter(filter.Get());
    source.Release();

    const ProbeSurface::Seen seen = surface.seen();
    core::SourcePicture picture;
    if (seen.count == 0) return picture;
    picture.width = seen.width;
    picture.height = seen.height;
    picture.aspect_x = seen.aspect_x;
    picture.aspect_y = seen.aspect_y;
    constexpr int32_t kFilm = 23976;
    const int32_t average = core::FrameRateForPeriod(seen.average_period_100ns);
    if (decision == filters::IMyDeinterlaceFilter::kInverseTelecine || average == kFilm)
        picture.frame_rate_x1000 = kFilm;
    else if (const int32_t declared = core::FrameRateForPeriod(declared_period); declared > 0)
        picture.frame_rate_x1000 = declared;
    else
        picture.frame_rate_x1000 = average;
    return picture;
}

}  // namespace rizuvira::engine
