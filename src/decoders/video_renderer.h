// SPDX-License-Identifier: GPL-2.0-or-later
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
// Clock, stream times, waits, end of stream and seeking are CBaseRenderer's.
//
// Windowless control (IMyWindowlessControl): source and destination rectangles, letterbox or
// stretch, border colour, a colour-keyed overlay bitmap and the current picture as a bitmap;
// the surface receives these with every picture (VideoFrameView::placement) and composes.
// While running, a picture that arrives after its stop time (or 40 ms after its start when it
// has none) is kept as the last picture but not presented.
//
// Pin: input 0 "Input": MEDIATYPE_Video, MEDIASUBTYPE_YV12, FORMAT_VideoInfo or
// FORMAT_VideoInfo2, width and height above 0, planes packed (strides width and width / 2).
//
// States: while paused, Receive keeps the picture, presents it if it is the first since the
// last stop or flush (so a paused preview shows its first picture, also after a seek), and
// waits until the graph runs, stops or flushes. Pictures marked preroll, or ending before the
// segment's start (the decoder's run-up to a seek target), are neither kept nor shown; when
// the stream ends with nothing later shown, the last of them is (a still picture before a
// seek's position).
//
// Threads: Receive and EndOfStream on the upstream streaming thread; state changes,
// SetSurface and the image calls on any other thread. `frame_mutex_` guards the last picture,
// `surface_mutex_` the surface pointer (Present runs under it, so SetSurface(null) returns
// only after a Present in progress has finished).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "decoders/base_renderer.h"
#include "platform/picture_shape.h"

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
    // Where and how to show it (the windowless-control settings); null: the whole picture,
    // as the surface sees fit.
    const struct VideoPlacement* placement = nullptr;
};

// Aspect-ratio modes of the windowless control.
inline constexpr DWORD VMR_ARMODE_NONE = 0;        // stretch the source into the destination
inline constexpr DWORD VMR_ARMODE_LETTER_BOX = 1;  // keep the display aspect, border around

// A colour-keyed overlay drawn over the picture (the editor's crop frame). `rgb` holds
// width x height pixels, top row first, R, G, B; pixels equal to `colour_key` (0x00BBGGRR)
// are transparent. `source` is the part of the bitmap used; it covers the destination
// rectangle's fraction `dest_left`..`dest_bottom` (0.0 to 1.0) of the composition space.
struct OverlayBitmap {
    std::vector<uint8_t> rgb;
    int width = 0;
    int height = 0;
    RECT source{};
    float dest_left = 0.0f, dest_top = 0.0f, dest_right = 1.0f, dest_bottom = 1.0f;
    uint32_t colour_key = 0;
    float alpha = 1.0f;
};

// The windowless-control settings a surface composes with.
struct VideoPlacement {
    RECT source{};       // frame pixels; empty: the whole frame
    RECT destination{};  // surface pixels; empty: the whole surface
    DWORD aspect_ratio_mode = VMR_ARMODE_LETTER_BOX;
    uint32_t border_colour = 0;                    // 0x00BBGGRR
    std::shared_ptr<const OverlayBitmap> overlay;  // null: none
};

// Where letterboxing shows the `source` part of a frame_width x frame_height frame of display
// aspect aspect_x:aspect_y inside `dest`: the largest rectangle of the part's display aspect
// centred in it (CropDisplayAspect and FitAspect, the video converter's rule). `dest` when the
// aspect is unknown. Every surface letterboxes with this.
RECT LetterboxRect(const RECT& dest, int frame_width, int frame_height, int aspect_x, int aspect_y,
                   const RECT& source);

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
    virtual HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* aspect_x,
                                       LONG* aspect_y) = 0;
    // A copy of the last picture, YV12 packed; E_UNEXPECTED when none came yet.
    virtual HRESULT GetCurrentFrame(std::vector<uint8_t>* yv12, LONG* width, LONG* height,
                                    int64_t* start_100ns) = 0;
    // The last picture as RGB24, top row first, 3 bytes per pixel (R, G, B).
    virtual HRESULT GetCurrentImage(std::vector<uint8_t>* rgb, LONG* width, LONG* height) = 0;
    // Presents the last picture again on the surface (after the window was uncovered).
    virtual HRESULT RepaintVideo() = 0;
};

// The windowless-control operations of the renderer. Any thread; every setting takes effect
// at once (the last picture is presented again) and stays for later pictures.
struct IMyWindowlessControl : virtual IUnknown {
    static constexpr GUID iid = "7C1E5A20-4B8D-4F61-9E3A-2D5B8C0F1A34"_guid;
    // Null leaves that rectangle as it is. E_INVALIDARG for a source outside the picture or
    // an inverted rectangle.
    virtual HRESULT SetVideoPosition(const RECT* source, const RECT* destination) = 0;
    virtual HRESULT GetVideoPosition(RECT* source, RECT* destination) = 0;
    // VMR_ARMODE_NONE or VMR_ARMODE_LETTER_BOX; E_INVALIDARG otherwise.
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
    virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT SetBorderColor(uint32_t colour) = 0;  // 0x00BBGGRR
    virtual HRESULT GetBorderColor(uint32_t* colour) = 0;
    // Presents the last picture again (S_FALSE before the first one).
    virtual HRESULT RepaintVideo() = 0;
    // The last picture as a device-independent bitmap: a BITMAPINFOHEADER (24 bits, no
    // colour table, positive height) followed by the rows, bottom row first, B, G, R, each
    // row padded to 4 bytes. E_UNEXPECTED before the first picture.
    virtual HRESULT GetCurrentImageDib(std::vector<uint8_t>* dib) = 0;
    // The colour-keyed overlay (a copy is kept); null removes it.
    virtual HRESULT SetAlphaBitmap(const OverlayBitmap* overlay) = 0;
};

// A surface that keeps what it was last asked to show, in memory: the tests' and the command
// line's window. Present copies the picture and its placement; Compose draws them into an
// RGB canvas as a window would (border, letterbox or stretch, overlay). Any thread; one
// mutex guards everything.
class HeadlessVideoSurface final : public IVideoSurface {
public:
    struct Shown {
        std::vector<uint8_t> yv12;  // packed: Y, then Cr, then Cb
        int width = 0;
        int height = 0;
        int aspect_x = 0;
        int aspect_y = 0;
        int64_t start_100ns = 0;
        VideoPlacement placement;
        uint64_t serial = 0;  // 1 for the first Present, counting up
    };

    void Present(const VideoFrameView& frame) override;

    // The last picture shown (serial 0: none yet).
    Shown Last() const;
    // Waits until `done` holds for the last picture shown (checked at once and after every
    // Present), at most `timeout` (the default waits for ever). False on timeout.
    bool WaitUntil(const std::function<bool(const Shown&)>& done,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds::max()) const;
    // The last picture composed into a canvas of canvas_width x canvas_height RGB24 pixels,
    // top row first. False before the first picture.
    bool Compose(int canvas_width, int canvas_height, std::vector<uint8_t>* rgb) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable presented_;
    Shown last_;
};

class CVideoRenderer final : public CBaseRenderer,
                             public IMyVideoRenderer,
                             public IMyWindowlessControl {
public:
    CVideoRenderer(IUnknown* outer, HRESULT* hr);
    ~CVideoRenderer() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IMyVideoRenderer
    HRESULT SetSurface(IVideoSurface* surface) override;
    HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* aspect_x, LONG* aspect_y) override;
    HRESULT GetCurrentFrame(std::vector<uint8_t>* yv12, LONG* width, LONG* height,
                            int64_t* start_100ns) override;
    HRESULT GetCurrentImage(std::vector<uint8_t>* rgb, LONG* width, LONG* height) override;
    HRESULT RepaintVideo() override;

    // IMyWindowlessControl
    HRESULT SetVideoPosition(const RECT* source, const RECT* destination) override;
    HRESULT GetVideoPosition(RECT* source, RECT* destination) override;
    HRESULT SetAspectRatioMode(DWORD mode) override;
    HRESULT GetAspectRatioMode(DWORD* mode) override;
    HRESULT SetBorderColor(uint32_t colour) override;
    HRESULT GetBorderColor(uint32_t* colour) override;
    HRESULT GetCurrentImageDib(std::vector<uint8_t>* dib) override;
    HRESULT SetAlphaBitmap(const OverlayBitmap* overlay) override;

    // Pictures not presented because they came after their time (while running).
    int64_t dropped_late() const { return dropped_late_.load(); }

protected:
    HRESULT CheckRenderType(const CMediaType& type) override;
    HRESULT RenderSample(IMediaSample* sample) override;
    void OnStop() override;
    void OnPause(bool from_stopped) override;
    void OnEndFlush() override;
    void OnEndOfStream() override;

private:
    struct Frame {
        std::vector<uint8_t> data;
        int width = 0;
        int height = 0;
        int aspect_x = 0;
        int aspect_y = 0;
        int64_t start_100ns = 0;
    };

    void PresentLocked(const Frame& frame);  // surface_mutex_ held
    HRESULT RepaintVideoLocked();            // surface_mutex_ held

    std::mutex frame_mutex_;
    Frame last_;
    bool have_frame_ = false;
    // The last picture that came before the segment's start since the last
    // stop or flush: shown when the stream ends with nothing later to show
    // (a still picture before a seek's position).
    Frame before_segment_;
    bool have_before_segment_ = false;

    std::mutex surface_mutex_;
    IVideoSurface* surface_ = nullptr;
    VideoPlacement placement_;  // guarded by surface_mutex_

    std::atomic<int64_t> dropped_late_{0};
    // Set by a stop or a flush: the next picture is shown at once even while paused.
    std::atomic<bool> preroll_pending_{true};
};

}  // namespace rizuvira::decoders
