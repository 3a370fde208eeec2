// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/base_renderer.h"

namespace rizuvira::decoders {

// ---------------------------------------------------------------------------------------
// Pin

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer, CCritSec* lock, HRESULT* hr,
                                     const char* object_name, const char* pin_name)
    : CBaseInputPin(object_name, renderer, lock, hr, pin_name), renderer_(renderer) {}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    return renderer_->CheckRenderType(*type);
}

HRESULT CRendererInputPin::Receive(IMediaSample* sample) {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return renderer_->RenderSample(sample);
}

HRESULT CRendererInputPin::EndOfStream() {
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    renderer_->SignalEndOfStream();
    return S_OK;
}

HRESULT CRendererInputPin::BeginFlush() {
    const HRESULT hr = CBaseInputPin::BeginFlush();
    renderer_->OnBeginFlush();
    renderer_->wake_.Set();
    return hr;
}

HRESULT CRendererInputPin::EndFlush() {
    renderer_->ClearEndOfStream();
    renderer_->OnEndFlush();
    return CBaseInputPin::EndFlush();
}

// ---------------------------------------------------------------------------------------
// Filter

CBaseRenderer::CBaseRenderer(const char* object_name, IUnknown* outer, const CLSID& clsid,
                             HRESULT* hr, const char* pin_object_name, const char* pin_name)
    : CBaseFilter(object_name, outer, &lock_, clsid) {
    HRESULT pin_hr = S_OK;
    pin_ = std::make_unique<CRendererInputPin>(this, &lock_, &pin_hr, pin_object_name, pin_name);
    if (hr && FAILED(pin_hr)) *hr = pin_hr;
}

CBaseRenderer::~CBaseRenderer() = default;

HRESULT CBaseRenderer::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IAMFilterMiscFlags::iid)
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
    if (riid == IMediaSeeking::iid) {
        // Seeking goes upstream to the splitter, which performs it.
        CAutoLock lock(&lock_);
        if (!position_) {
            HRESULT hr = S_OK;
            position_ =
                std::make_unique<CPosPassThru>("Renderer seeking", GetOwner(), &hr, pin_.get());
        }
        return position_->NonDelegatingQueryInterface(riid, object);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

CBasePin* CBaseRenderer::GetPin(int index) {
    return index == 0 ? pin_.get() : nullptr;
}

HRESULT CBaseRenderer::Stop() {
    const HRESULT hr = CBaseFilter::Stop();
    OnStop();
    ClearEndOfStream();
    wake_.Set();
    return hr;
}

HRESULT CBaseRenderer::Pause() {
    const bool was_stopped = IsStopped();
    const HRESULT hr = CBaseFilter::Pause();
    OnPause(was_stopped && SUCCEEDED(hr));
    wake_.Set();
    return hr;
}

HRESULT CBaseRenderer::Run(REFERENCE_TIME start) {
    const HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr)) return hr;
    OnRun();
    wake_.Set();
    bool post = false;
    {
        std::lock_guard lock(eos_mutex_);
        // Nothing will ever arrive on an unconnected input: it has ended already.
        if ((end_of_stream_ || !pin_->IsConnected()) && !complete_sent_)
            post = complete_sent_ = true;
    }
    if (post) NotifyEvent(EC_COMPLETE, S_OK, 0);
    return hr;
}

void CBaseRenderer::SignalEndOfStream() {
    OnEndOfStream();
    bool post = false;
    {
        std::lock_guard lock(eos_mutex_);
        end_of_stream_ = true;
        if (State() == State_Running && !complete_sent_) post = complete_sent_ = true;
    }
    if (post) NotifyEvent(EC_COMPLETE, S_OK, 0);
}

void CBaseRenderer::ClearEndOfStream() {
    std::lock_guard lock(eos_mutex_);
    end_of_stream_ = false;
    complete_sent_ = false;
}

bool CBaseRenderer::StreamTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                REFERENCE_TIME* title_start) {
    REFERENCE_TIME sample_start = 0, sample_stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&sample_start, &sample_stop));
    const REFERENCE_TIME segment = pin_->CurrentStartTime();
    *start = sample_start - segment;
    *stop = sample_stop - segment;
    if (title_start) *title_start = sample_start;
    return timed;
}

bool CBaseRenderer::WaitForRenderTime(bool timed, REFERENCE_TIME start_100ns) {
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

}  // namespace rizuvira::decoders
