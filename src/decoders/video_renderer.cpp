// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/video_renderer.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "core/av_handles.h"
#include "decoders/subpicture_overlay.h"

namespace rizuvira::decoders {

namespace {

struct PictureFormat {
    int width = 0;
    int height = 0;
    int aspect_x = 0;
    int aspect_y = 0;
};

bool ReadPictureFormat(const AM_MEDIA_TYPE& type, PictureFormat* format) {
    if (type.majortype != MEDIATYPE_Video || type.subtype != MEDIASUBTYPE_YV12) return false;
    if (type.formattype != FORMAT_VideoInfo && type.formattype != FORMAT_VideoInfo2) return false;
    const BITMAPINFOHEADER* bmi = GetBitmapInfoHeader(type);
    if (!bmi || bmi->biWidth <= 0 || bmi->biHeight == 0 || bmi->biWidth > 8192 ||
        std::abs(bmi->biHeight) > 8192)
        return false;
    PictureFormat f;
    f.width = bmi->biWidth;
    f.height = std::abs(bmi->biHeight);
    const PictureAspect aspect = DeclaredAspect(type);
    f.aspect_x = aspect.x;
    f.aspect_y = aspect.y;
    const int divisor = std::gcd(f.aspect_x, f.aspect_y);
    if (divisor > 1) f.aspect_x /= divisor, f.aspect_y /= divisor;
    *format = f;
    return true;
}

constexpr REFERENCE_TIME kLateMargin100ns = 40 * 10000;

}  // namespace

// ---------------------------------------------------------------------------------------
// Filter

CVideoRenderer::CVideoRenderer(IUnknown* outer, HRESULT* hr)
    : CBaseRenderer("Video renderer", outer, CLSID_VideoMixingRenderer, hr, "Video renderer input",
                    "Input") {}

CVideoRenderer::~CVideoRenderer() = default;

HRESULT CVideoRenderer::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyVideoRenderer::iid)
        return GetInterface(static_cast<IMyVideoRenderer*>(this), object);
    if (riid == IMyWindowlessControl::iid)
        return GetInterface(static_cast<IMyWindowlessControl*>(this), object);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, object);
}

HRESULT CVideoRenderer::CheckRenderType(const CMediaType& type) {
    PictureFormat format;
    return ReadPictureFormat(type, &format) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

void CVideoRenderer::OnStop() {
    preroll_pending_ = true;
}

void CVideoRenderer::OnPause(bool) {
    // A picture being presented finishes before Pause returns; later ones see the state.
    std::lock_guard lock(surface_mutex_);
}

void CVideoRenderer::OnEndFlush() {
    {
        std::lock_guard lock(frame_mutex_);
        have_before_segment_ = false;
    }
    preroll_pending_ = true;
}

void CVideoRenderer::OnEndOfStream() {
    if (!preroll_pending_.load()) return;
    // Nothing was shown since the seek: the picture on screen at its position is the last
    // one before it (a still picture).
    Frame frame;
    {
        std::lock_guard lock(frame_mutex_);
        if (have_before_segment_) {
            frame = std::move(before_segment_);
            have_before_segment_ = false;
            last_ = frame;
            have_frame_ = true;
        }
    }
    if (!frame.data.empty() && preroll_pending_.exchange(false)) {
        std::lock_guard lock(surface_mutex_);
        PresentLocked(frame);
    }
}

HRESULT CVideoRenderer::RenderSample(IMediaSample* sample) {
    PictureFormat format;
    if (!ReadPictureFormat(InputPin()->CurrentMediaType(), &format)) return VFW_E_NOT_CONNECTED;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    const std::size_t bytes = Yv12Bytes(format.width, format.height);
    if (sample->GetActualDataLength() < static_cast<LONG>(bytes))
        return S_OK;  // a short picture is skipped
    REFERENCE_TIME start = 0, stop = 0, title_start = 0;
    const bool timed = StreamTimes(sample, &start, &stop, &title_start);
    Frame frame;
    frame.data.assign(data, data + bytes);
    frame.width = format.width;
    frame.height = format.height;
    frame.aspect_x = format.aspect_x;
    frame.aspect_y = format.aspect_y;
    frame.start_100ns = timed ? title_start : 0;
    // Pictures before the segment's start only prime the decoder after a seek: not shown,
    // unless the stream ends before a later one comes.
    if (sample->IsPreroll() == S_OK || (timed && (stop > start ? stop : start + 1) <= 0)) {
        std::lock_guard lock(frame_mutex_);
        before_segment_ = std::move(frame);
        have_before_segment_ = true;
        return S_OK;
    }
    bool presented = false;
    {
        // Kept before the wait, so a paused graph shows (and hands out) its first picture.
        std::lock_guard lock(frame_mutex_);
        last_ = frame;
        have_frame_ = true;
        have_before_segment_ = false;
    }
    // A paused graph shows the first picture that arrives after a stop or a flush (a seek) at
    // once; later ones wait for the graph to run.
    if (State() == State_Paused && preroll_pending_.exchange(false)) {
        std::lock_guard lock(surface_mutex_);
        PresentLocked(frame);
        presented = true;
    }
    if (!WaitForRenderTime(timed, start) || presented) return S_OK;
    if (timed && State() == State_Running) {
        // Late pictures are skipped, so a slow surface catches up instead of lagging.
        ComPtr<IReferenceClock> clock = Clock();
        REFERENCE_TIME now = 0;
        const REFERENCE_TIME deadline = stop > start ? stop : start + kLateMargin100ns;
        if (clock && SUCCEEDED(clock->GetTime(&now)) && now > StartTime() + deadline) {
            ++dropped_late_;
            return S_OK;
        }
    }
    std::lock_guard lock(surface_mutex_);
    // A pause that came during the wait keeps the picture it found on the surface.
    if (State() == State_Running) {
        preroll_pending_ = false;
        PresentLocked(frame);
    }
    return S_OK;
}

void CVideoRenderer::PresentLocked(const Frame& frame) {
    if (!surface_) return;
    VideoFrameView view;
    view.y = frame.data.data();
    view.v =
        view.y + static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    view.u = view.v + static_cast<std::size_t>(Yv12ChromaWidth(frame.width)) *
                          static_cast<std::size_t>(Yv12ChromaHeight(frame.height));
    view.width = frame.width;
    view.height = frame.height;
    view.y_stride = frame.width;
    view.uv_stride = Yv12ChromaWidth(frame.width);
    view.aspect_x = frame.aspect_x;
    view.aspect_y = frame.aspect_y;
    view.start_100ns = frame.start_100ns;
    view.placement = &placement_;
    surface_->Present(view);
}

HRESULT CVideoRenderer::SetSurface(IVideoSurface* surface) {
    std::lock_guard lock(surface_mutex_);
    surface_ = surface;
    return RepaintVideoLocked();
}

HRESULT CVideoRenderer::RepaintVideo() {
    std::lock_guard lock(surface_mutex_);
    return RepaintVideoLocked();
}

HRESULT CVideoRenderer::RepaintVideoLocked() {
    Frame frame;
    {
        std::lock_guard lock(frame_mutex_);
        if (!have_frame_) return S_FALSE;
        frame = last_;
    }
    PresentLocked(frame);
    return S_OK;
}

HRESULT CVideoRenderer::GetNativeVideoSize(LONG* width, LONG* height, LONG* aspect_x,
                                           LONG* aspect_y) {
    CAutoLock lock(FilterLock());
    PictureFormat format;
    if (!InputPin()->IsConnected() || !ReadPictureFormat(InputPin()->CurrentMediaType(), &format))
        return VFW_E_NOT_CONNECTED;
    if (width) *width = format.width;
    if (height) *height = format.height;
    if (aspect_x) *aspect_x = format.aspect_x;
    if (aspect_y) *aspect_y = format.aspect_y;
    return S_OK;
}

HRESULT CVideoRenderer::GetCurrentFrame(std::vector<uint8_t>* yv12, LONG* width, LONG* height,
                                        int64_t* start_100ns) {
    if (!yv12 || !width || !height) return E_POINTER;
    std::lock_guard lock(frame_mutex_);
    if (!have_frame_) return E_UNEXPECTED;
    *yv12 = last_.data;
    *width = last_.width;
    *height = last_.height;
    if (start_100ns) *start_100ns = last_.start_100ns;
    return S_OK;
}

HRESULT CVideoRenderer::GetCurrentImage(std::vector<uint8_t>* rgb, LONG* width, LONG* height) {
    if (!rgb || !width || !height) return E_POINTER;
    std::vector<uint8_t> yv12;
    LONG w = 0, h = 0;
    const HRESULT hr = GetCurrentFrame(&yv12, &w, &h, nullptr);
    if (FAILED(hr)) return hr;
    core::av::SwsContextPtr scaler(sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_RGB24,
                                                  SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) return E_OUTOFMEMORY;
    const std::size_t luma = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const std::size_t chroma = static_cast<std::size_t>(w / 2) * static_cast<std::size_t>(h / 2);
    // YV12 holds Cr before Cb; libswscale's 4:2:0 wants Cb (U) second.
    const uint8_t* planes[3] = {yv12.data(), yv12.data() + luma + chroma, yv12.data() + luma};
    const int strides[3] = {w, w / 2, w / 2};
    rgb->assign(luma * 3, 0);
    uint8_t* out[1] = {rgb->data()};
    const int out_stride[1] = {w * 3};
    sws_scale(scaler.get(), planes, strides, 0, h, out, out_stride);
    *width = w;
    *height = h;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Windowless control

HRESULT CVideoRenderer::SetVideoPosition(const RECT* source, const RECT* destination) {
    if (source && (source->left < 0 || source->top < 0 || source->right < source->left ||
                   source->bottom < source->top))
        return E_INVALIDARG;
    if (destination &&
        (destination->right < destination->left || destination->bottom < destination->top))
        return E_INVALIDARG;
    if (source && !IsRectEmpty(*source)) {
        LONG width = 0, height = 0;
        if (SUCCEEDED(GetNativeVideoSize(&width, &height, nullptr, nullptr)) &&
            (source->right > width || source->bottom > height))
            return E_INVALIDARG;
    }
    std::lock_guard lock(surface_mutex_);
    if (source) placement_.source = *source;
    if (destination) placement_.destination = *destination;
    RepaintVideoLocked();
    return S_OK;
}

HRESULT CVideoRenderer::GetVideoPosition(RECT* source, RECT* destination) {
    std::lock_guard lock(surface_mutex_);
    if (source) *source = placement_.source;
    if (destination) *destination = placement_.destination;
    return S_OK;
}

HRESULT CVideoRenderer::SetAspectRatioMode(DWORD mode) {
    if (mode != VMR_ARMODE_NONE && mode != VMR_ARMODE_LETTER_BOX) return E_INVALIDARG;
    std::lock_guard lock(surface_mutex_);
    placement_.aspect_ratio_mode = mode;
    RepaintVideoLocked();
    return S_OK;
}

HRESULT CVideoRenderer::GetAspectRatioMode(DWORD* mode) {
    if (!mode) return E_POINTER;
    std::lock_guard lock(surface_mutex_);
    *mode = placement_.aspect_ratio_mode;
    return S_OK;
}

HRESULT CVideoRenderer::SetBorderColor(uint32_t colour) {
    std::lock_guard lock(surface_mutex_);
    placement_.border_colour = colour & 0x00FFFFFF;
    RepaintVideoLocked();
    return S_OK;
}

HRESULT CVideoRenderer::GetBorderColor(uint32_t* colour) {
    if (!colour) return E_POINTER;
    std::lock_guard lock(surface_mutex_);
    *colour = placement_.border_colour;
    return S_OK;
}

HRESULT CVideoRenderer::SetAlphaBitmap(const OverlayBitmap* overlay) {
    std::shared_ptr<const OverlayBitmap> copy;
    if (overlay) {
        if (overlay->width <= 0 || overlay->height <= 0 ||
            overlay->rgb.size() < static_cast<std::size_t>(overlay->width) *
                                      static_cast<std::size_t>(overlay->height) * 3)
            return E_INVALIDARG;
        copy = std::make_shared<const OverlayBitmap>(*overlay);
    }
    std::lock_guard lock(surface_mutex_);
    placement_.overlay = std::move(copy);
    RepaintVideoLocked();
    return S_OK;
}

HRESULT CVideoRenderer::GetCurrentImageDib(std::vector<uint8_t>* dib) {
    if (!dib) return E_POINTER;
    std::vector<uint8_t> rgb;
    LONG width = 0, height = 0;
    const HRESULT hr = GetCurrentImage(&rgb, &width, &height);
    if (FAILED(hr)) return hr;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));
    dib->assign(sizeof header + header.biSizeImage, 0);
    std::memcpy(dib->data(), &header, sizeof header);
    for (LONG y = 0; y < height; ++y) {
        const uint8_t* in = rgb.data() + static_cast<std::size_t>(width) * 3 *
                                             static_cast<std::size_t>(height - 1 - y);
        uint8_t* out = dib->data() + sizeof header + stride * static_cast<std::size_t>(y);
        for (LONG x = 0; x < width; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    return S_OK;
}

RECT LetterboxRect(const RECT& dest, int frame_width, int frame_height, int aspect_x, int aspect_y,
                   const RECT& source) {
    const double aspect = CropDisplayAspect(frame_width, frame_height, {aspect_x, aspect_y},
                                            RectWidth(source), RectHeight(source));
    return FitAspect(aspect, dest);
}

// ---------------------------------------------------------------------------------------
// Headless surface

void HeadlessVideoSurface::Present(const VideoFrameView& frame) {
    Shown shown;
    const std::size_t luma =
        static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    const std::size_t chroma =
        static_cast<std::size_t>(frame.width / 2) * static_cast<std::size_t>(frame.height / 2);
    shown.yv12.resize(luma + 2 * chroma);
    uint8_t* out = shown.yv12.data();
    for (int y = 0; y < frame.height; ++y, out += frame.width)
        std::memcpy(out, frame.y + static_cast<std::ptrdiff_t>(y) * frame.y_stride,
                    static_cast<std::size_t>(frame.width));
    for (const uint8_t* plane : {frame.v, frame.u})
        for (int y = 0; y < frame.height / 2; ++y, out += frame.width / 2)
            std::memcpy(out, plane + static_cast<std::ptrdiff_t>(y) * frame.uv_stride,
                        static_cast<std::size_t>(frame.width / 2));
    shown.width = frame.width;
    shown.height = frame.height;
    shown.aspect_x = frame.aspect_x;
    shown.aspect_y = frame.aspect_y;
    shown.start_100ns = frame.start_100ns;
    if (frame.placement) shown.placement = *frame.placement;
    {
        std::lock_guard lock(mutex_);
        shown.serial = last_.serial + 1;
        last_ = std::move(shown);
    }
    presented_.notify_all();
}

HeadlessVideoSurface::Shown HeadlessVideoSurface::Last() const {
    std::lock_guard lock(mutex_);
    return last_;
}

bool HeadlessVideoSurface::WaitUntil(const std::function<bool(const Shown&)>& done,
                                     std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return done(last_); };
    if (timeout == std::chrono::milliseconds::max()) {
        presented_.wait(lock, ready);
        return true;
    }
    return presented_.wait_for(lock, timeout, ready);
}

bool HeadlessVideoSurface::Compose(int canvas_width, int canvas_height,
                                   std::vector<uint8_t>* rgb) const {
    if (!rgb || canvas_width <= 0 || canvas_height <= 0) return false;
    const Shown shown = Last();
    if (shown.serial == 0) return false;
    const VideoPlacement& place = shown.placement;
    rgb->assign(
        static_cast<std::size_t>(canvas_width) * static_cast<std::size_t>(canvas_height) * 3, 0);
    const uint8_t border[3] = {static_cast<uint8_t>(place.border_colour & 0xFF),
                               static_cast<uint8_t>(place.border_colour >> 8 & 0xFF),
                               static_cast<uint8_t>(place.border_colour >> 16 & 0xFF)};
    for (std::size_t i = 0; i < rgb->size(); i += 3) std::memcpy(rgb->data() + i, border, 3);

    RECT source = place.source;
    if (IsRectEmpty(source)) source = {0, 0, shown.width, shown.height};
    source.right = std::min<LONG>(source.right, shown.width) & ~1;
    source.bottom = std::min<LONG>(source.bottom, shown.height) & ~1;
    source.left &= ~1;
    source.top &= ~1;
    RECT dest = place.destination;
    if (IsRectEmpty(dest)) dest = {0, 0, canvas_width, canvas_height};
    RECT picture = dest;
    if (place.aspect_ratio_mode == VMR_ARMODE_LETTER_BOX)
        picture =
            LetterboxRect(dest, shown.width, shown.height, shown.aspect_x, shown.aspect_y, source);
    picture.left = std::max<LONG>(picture.left, 0);
    picture.top = std::max<LONG>(picture.top, 0);
    picture.right = std::min<LONG>(picture.right, canvas_width);
    picture.bottom = std::min<LONG>(picture.bottom, canvas_height);
    if (!IsRectEmpty(source) && !IsRectEmpty(picture)) {
        core::av::SwsContextPtr scaler(sws_getContext(
            RectWidth(source), RectHeight(source), AV_PIX_FMT_YUV420P, RectWidth(picture),
            RectHeight(picture), AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler) return false;
        const std::size_t luma =
            static_cast<std::size_t>(shown.width) * static_cast<std::size_t>(shown.height);
        const std::size_t chroma = luma / 4;
        const uint8_t* planes[3] = {
            shown.yv12.data() + static_cast<std::size_t>(source.top) * shown.width + source.left,
            shown.yv12.data() + luma + chroma +
                static_cast<std::size_t>(source.top / 2) * (shown.width / 2) + source.left / 2,
            shown.yv12.data() + luma +
                static_cast<std::size_t>(source.top / 2) * (shown.width / 2) + source.left / 2};
        const int strides[3] = {shown.width, shown.width / 2, shown.width / 2};
        uint8_t* out[1] = {rgb->data() +
                           (static_cast<std::size_t>(picture.top) * canvas_width + picture.left) *
                               3};
        const int out_stride[1] = {canvas_width * 3};
        sws_scale(scaler.get(), planes, strides, 0, RectHeight(source), out, out_stride);
    }
    if (const OverlayBitmap* overlay = place.overlay.get()) {
        // The overlay covers its share of the composition space (the destination rectangle).
        const RECT& src = overlay->source;
        const double x0 = dest.left + overlay->dest_left * RectWidth(dest);
        const double y0 = dest.top + overlay->dest_top * RectHeight(dest);
        const double sx = (overlay->dest_right - overlay->dest_left) * RectWidth(dest) /
                          std::max<LONG>(RectWidth(src), 1);
        const double sy = (overlay->dest_bottom - overlay->dest_top) * RectHeight(dest) /
                          std::max<LONG>(RectHeight(src), 1);
        const uint8_t key[3] = {static_cast<uint8_t>(overlay->colour_key & 0xFF),
                                static_cast<uint8_t>(overlay->colour_key >> 8 & 0xFF),
                                static_cast<uint8_t>(overlay->colour_key >> 16 & 0xFF)};
        for (int y = 0; y < canvas_height; ++y) {
            const int by = src.top + static_cast<int>(std::floor((y - y0) / sy));
            if (y < y0 || by < src.top || by >= src.bottom || by >= overlay->height) continue;
            for (int x = 0; x < canvas_width; ++x) {
                const int bx = src.left + static_cast<int>(std::floor((x - x0) / sx));
                if (x < x0 || bx < src.left || bx >= src.right || bx >= overlay->width) continue;
                const uint8_t* pixel =
                    overlay->rgb.data() + (static_cast<std::size_t>(by) * overlay->width + bx) * 3;
                if (std::memcmp(pixel, key, 3) == 0) continue;
                std::memcpy(rgb->data() + (static_cast<std::size_t>(y) * canvas_width + x) * 3,
                            pixel, 3);
            }
        }
    }
    return true;
}

}  // namespace rizuvira::decoders
