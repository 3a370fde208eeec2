// CVideoRenderer: the video renderer, registered under the platform's
// CLSID_VideoMixingRenderer. It takes YV12 pictures, presents each one when the graph's clock
// reaches its start time (at once without a clock or without times), keeps the last one, and
// tells the graph EC_COMPLETE when its stream has ended and the graph runs.
//
// Drawing is left to a surface the front end supplies (IVideoSurface, through
// IMyVideoRenderer::SetSurface); without one the renderer is headless and only keeps the last
// picture, which GetCurrentFrame / GetCurrentImage hand out (snapshots, tests, the command
// line).
//
// Pin: input 0 "Input": MEDIATYPE_Video, MEDIASUBTYPE_YV12, FORMAT_VideoInfo or
// FORMAT_VideoInfo2, width and height above 0, planes packed (strides width and width / 2).
//
// States: while paused, Receive keeps the picture and then waits until the graph runs, stops or
// flushes (so a paused preview shows its first picture). While running, Receive waits for the
// picture's time on the clock. A flush or stop ends any wait at once.
//
// Threads: Receive and EndOfStream on the upstream streaming thread; state changes,
// SetSurface and the image calls on any other thread. `frame_mutex_` guards the last picture,
// `surface_mutex_` the surface pointer (Present runs under it, so SetSurface(null) returns
// only after a Present in progress has finished).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base_filter.h"
#include "platform/input_pin.h"
#include "platform/sync.h"

namespace rizuvira::decoders {

// One YV12 picture as the renderer hands it to a surface; valid for the Present call only.
struct VideoFrameView {
    const uint8_t* y = nullptr;
    const uint8_t* v = nullptr;  // Cr
    const uint8_t* u = nullptr;  // Cb
    int width = 0;
    int height = 0;
    int y_stride = 0;
    int uv_stride = 0;
    int aspect_x = 0;  // display aspect (from a VIDEOINFOHEADER2; else width:height)
    int aspect_y = 0;
    int64_t start_100ns = 0;  // stream time; 0 for an untimed picture
};

// Implemented by the front end (a Qt widget, later). Present runs on the streaming thread; an
// implementation copies what it needs and returns quickly.
class IVideoSurface {
public:
    virtual ~IVideoSurface() = default;
    virtual void Present(const VideoFrameView& frame) = 0;
};

struct IMyVideoRenderer : virtual IUnknown {
    static constexpr GUID iid = "7C1E5A20-4B8D-4F61-9E3A-2D5B8C0F1A33"_guid;
    // The surface is borrowed: it must outlive its use, until SetSurface(null) or another
    // surface replaces it. The last picture is presented on it at once.
    virtual HRESULT SetSurface(IVideoSurface* surface) = 0;
    // Size and display aspect of the connected type; VFW_E_NOT_CONNECTED before connection.
    virtual HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* aspect_x, LONG* aspect_y) = 0;
    // A copy of the last picture, YV12 packed; E_UNEXPECTED when none came yet.
    virtual HRESULT GetCurrentFrame(std::vector<uint8_t>* yv12, LONG* width, LONG* height,
                                    int64_t* start_100ns) = 0;
    // The last picture as RGB24, top row first, 3 bytes per pixel (R, G, B).
    virtual HRESULT GetCurrentImage(std::vector<uint8_t>* rgb, LONG* width, LONG* height) = 0;
    // Presents the last picture again on the surface (after the window was uncovered).
    virtual HRESULT RepaintVideo() = 0;
};

class CVideoRenderer;

class CRendererInputPin final : public CBaseInputPin {
public:
    CRendererInputPin(CVideoRenderer* renderer, CCritSec* lock, HRESULT* hr);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    CVideoRenderer* const renderer_;
};

class CVideoRenderer final : public CBaseFilter, public IMyVideoRenderer, public IAMFilterMiscFlags {
public:
    CVideoRenderer(IUnknown* outer, HRESULT* hr);
    ~CVideoRenderer() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;

    // IAMFilterMiscFlags
    ULONG GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    // IMyVideoRenderer
    HRESULT SetSurface(IVideoSurface* surface) override;
    HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* aspect_x, LONG* aspect_y) override;
    HRESULT GetCurrentFrame(std::vector<uint8_t>* yv12, LONG* width, LONG* height,
                            int64_t* start_100ns) override;
    HRESULT GetCurrentImage(std::vector<uint8_t>* rgb, LONG* width, LONG* height) override;
    HRESULT RepaintVideo() override;

private:
    friend class CRendererInputPin;

    struct Frame {
        std::vector<uint8_t> data;
        int width = 0;
        int height = 0;
        int aspect_x = 0;
        int aspect_y = 0;
        int64_t start_100ns = 0;
    };

    HRESULT ReceiveFrame(IMediaSample* sample);
    // False when the wait ended by a flush or a stop: the picture is then not presented.
    bool WaitForRenderTime(bool timed, REFERENCE_TIME start_100ns);
    void PresentLocked(const Frame& frame);       // surface_mutex_ held
    HRESULT RepaintVideoLocked();                 // surface_mutex_ held
    void SignalEndOfStream();

    CCritSec lock_;
    std::unique_ptr<CRendererInputPin> pin_;
    CAMEvent wake_;  // auto-reset: clock advise, state change or flush

    std::mutex frame_mutex_;
    Frame last_;
    bool have_frame_ = false;

    std::mutex surface_mutex_;
    IVideoSurface* surface_ = nullptr;

    std::mutex eos_mutex_;
    bool end_of_stream_ = false;  // since the last stop or flush
    bool complete_sent_ = false;
};

}  // namespace rizuvira::decoders
