#include "decoders/video_renderer.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <numeric>

#include "engine/av_handles.h"

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
    f.aspect_x = f.width;
    f.aspect_y = f.height;
    if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
        if (vih->dwPictAspectRatioX > 0 && vih->dwPictAspectRatioY > 0) {
            f.aspect_x = static_cast<int>(vih->dwPictAspectRatioX);
            f.aspect_y = static_cast<int>(vih->dwPictAspectRatioY);
        }
    }
    const int divisor = std::gcd(f.aspect_x, f.aspect_y);
    if (divisor > 1) f.aspect_x /= divisor, f.aspect_y /= divisor;
    *format = f;
    return true;
}

std::size_t Yv12Bytes(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) +
           2 * static_cast<std::size_t>(width / 2) * static_cast<std::size_t>(height / 2);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Pin

CRendererInputPin::CRendererInputPin(CVideoRenderer* renderer, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("Video renderer input", renderer, lock, hr, "Input"), renderer_(renderer) {}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    PictureFormat format;
    return ReadPictureFormat(*type, &format) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CRendererInputPin::Receive(IMediaSample* sample) {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return renderer_->ReceiveFrame(sample);
}

HRESULT CRendererInputPin::EndOfStream() {
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    renderer_->SignalEndOfStream();
    return S_OK;
}

HRESULT CRendererInputPin::BeginFlush() {
    const HRESULT hr = CBaseInputPin::BeginFlush();
    renderer_->wake_.Set();
    return hr;
}

HRESULT CRendererInputPin::EndFlush() {
    {
        std::lock_guard lock(renderer_->eos_mutex_);
        renderer_->end_of_stream_ = false;
        renderer_->complete_sent_ = false;
    }
    return CBaseInputPin::EndFlush();
}

// ---------------------------------------------------------------------------------------
// Filter

CVideoRenderer::CVideoRenderer(IUnknown* outer, HRESULT* hr)
    : CBaseFilter("Video renderer", outer, &lock_, CLSID_VideoMixingRenderer) {
    HRESULT pin_hr = S_OK;
    pin_ = std::make_unique<CRendererInputPin>(this, &lock_, &pin_hr);
    if (hr && FAILED(pin_hr)) *hr = pin_hr;
}

CVideoRenderer::~CVideoRenderer() = default;

HRESULT CVideoRenderer::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyVideoRenderer::iid) return GetInterface(static_cast<IMyVideoRenderer*>(this), object);
    if (riid == IAMFilterMiscFlags::iid) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

CBasePin* CVideoRenderer::GetPin(int index) {
    return index == 0 ? pin_.get() : nullptr;
}

HRESULT CVideoRenderer::Stop() {
    const HRESULT hr = CBaseFilter::Stop();
    {
        std::lock_guard lock(eos_mutex_);
        end_of_stream_ = false;
        complete_sent_ = false;
    }
    wake_.Set();
    return hr;
}

HRESULT CVideoRenderer::Pause() {
    const HRESULT hr = CBaseFilter::Pause();
    wake_.Set();
    return hr;
}

HRESULT CVideoRenderer::Run(REFERENCE_TIME start) {
    const HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr)) return hr;
    wake_.Set();
    bool post = false;
    {
        std::lock_guard lock(eos_mutex_);
        // Nothing will ever arrive on an unconnected input: it has ended already.
        if ((end_of_stream_ || !pin_->IsConnected()) && !complete_sent_) post = complete_sent_ = true;
    }
    if (post) NotifyEvent(EC_COMPLETE, S_OK, 0);
    return hr;
}

void CVideoRenderer::SignalEndOfStream() {
    bool post = false;
    {
        std::lock_guard lock(eos_mutex_);
        end_of_stream_ = true;
        if (State() == State_Running && !complete_sent_) post = complete_sent_ = true;
    }
    if (post) NotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT CVideoRenderer::ReceiveFrame(IMediaSample* sample) {
    PictureFormat format;
    if (!ReadPictureFormat(pin_->CurrentMediaType(), &format)) return VFW_E_NOT_CONNECTED;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    const std::size_t bytes = Yv12Bytes(format.width, format.height);
    if (sample->GetActualDataLength() < static_cast<LONG>(bytes)) return S_OK;  // a short picture is skipped
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    Frame frame;
    frame.data.assign(data, data + bytes);
    frame.width = format.width;
    frame.height = format.height;
    frame.aspect_x = format.aspect_x;
    frame.aspect_y = format.aspect_y;
    frame.start_100ns = timed ? start : 0;
    {
        // Kept before the wait, so a paused graph shows (and hands out) its first picture.
        std::lock_guard lock(frame_mutex_);
        last_ = frame;
        have_frame_ = true;
    }
    if (!WaitForRenderTime(timed, start)) return S_OK;
    std::lock_guard lock(surface_mutex_);
    PresentLocked(frame);
    return S_OK;
}

bool CVideoRenderer::WaitForRenderTime(bool timed, REFERENCE_TIME start_100ns) {
    for (;;) {
        if (IsStopped() || pin_->IsFlushing()) return false;
        if (State() == State_Paused) {
            wake_.Wait();
            continue;
        }
        ComPtr<IReferenceClock> clock = Clock();
        if (!clock || !timed) return true;
        REFERENCE_TIME now = 0;
        const REFERENCE_TIME base = StartTime();
        if (FAILED(clock->GetTime(&now)) || now >= base + start_100ns) return true;
        DWORD_PTR cookie = 0;
        if (FAILED(clock->AdviseTime(base, start_100ns, &wake_, &cookie))) return true;
        wake_.Wait();
        clock->Unadvise(cookie);
    }
}

void CVideoRenderer::PresentLocked(const Frame& frame) {
    if (!surface_) return;
    VideoFrameView view;
    view.y = frame.data.data();
    view.v = view.y + static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    view.u = view.v + static_cast<std::size_t>(frame.width / 2) * static_cast<std::size_t>(frame.height / 2);
    view.width = frame.width;
    view.height = frame.height;
    view.y_stride = frame.width;
    view.uv_stride = frame.width / 2;
    view.aspect_x = frame.aspect_x;
    view.aspect_y = frame.aspect_y;
    view.start_100ns = frame.start_100ns;
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

HRESULT CVideoRenderer::GetNativeVideoSize(LONG* width, LONG* height, LONG* aspect_x, LONG* aspect_y) {
    CAutoLock lock(&lock_);
    PictureFormat format;
    if (!pin_->IsConnected() || !ReadPictureFormat(pin_->CurrentMediaType(), &format))
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
    engine::av::SwsContextPtr scaler(sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_RGB24,
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

}  // namespace rizuvira::decoders
