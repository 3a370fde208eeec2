// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/transform_filter.h"

namespace rizuvira::platform {

// ---------------------------------------------------------------------------------------
// Input pin

CTransformInputPin::CTransformInputPin(const char* object_name, CTransformFilter* filter,
                                       HRESULT* hr, const char* pin_name)
    : CBaseInputPin(object_name, filter, &filter->m_csFilter, hr, pin_name),
      m_pTransformFilter(filter) {}

HRESULT CTransformInputPin::CheckConnect(IPin* pin) {
    const HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect() {
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receive_pin) {
    const HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, receive_pin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CompleteConnect(receive_pin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* type) {
    const HRESULT hr = m_pTransformFilter->CheckInputType(type);
    if (hr != S_OK) return hr;
    CTransformOutputPin* output = m_pTransformFilter->m_pOutput.get();
    if (output && output->IsConnected())
        return m_pTransformFilter->CheckTransform(type, &output->CurrentMediaType());
    return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* type) {
    const HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, type);
}

HRESULT CTransformInputPin::Receive(IMediaSample* sample) {
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr == S_OK) hr = m_pTransformFilter->Receive(sample);
    return hr;
}

HRESULT CTransformInputPin::EndOfStream() {
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CheckStreaming();
    if (hr == S_OK) hr = m_pTransformFilter->EndOfStream();
    return hr;
}

HRESULT CTransformInputPin::BeginFlush() {
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    const HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->BeginFlush();
}

HRESULT CTransformInputPin::EndFlush() {
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    const HRESULT hr = m_pTransformFilter->EndFlush();
    if (FAILED(hr)) return hr;
    return CBaseInputPin::EndFlush();
}

HRESULT CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    CBasePin::NewSegment(start, stop, rate);
    return m_pTransformFilter->NewSegment(start, stop, rate);
}

// ---------------------------------------------------------------------------------------
// Output pin

CTransformOutputPin::CTransformOutputPin(const char* object_name, CTransformFilter* filter,
                                         HRESULT* hr, const char* pin_name)
    : CBaseOutputPin(object_name, filter, &filter->m_csFilter, hr, pin_name),
      m_pTransformFilter(filter) {}

CTransformOutputPin::~CTransformOutputPin() = default;

HRESULT CTransformOutputPin::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMediaSeeking::iid) {
        CAutoLock lock(m_pLock);
        if (!m_pPosition) {
            HRESULT hr = S_OK;
            auto pass = std::make_unique<CPosPassThru>("Pass through", GetOwner(), &hr,
                                                       m_pTransformFilter->m_pInput.get());
            if (FAILED(hr)) return hr;
            m_pPosition = std::move(pass);
        }
        return m_pPosition->NonDelegatingQueryInterface(riid, object);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, object);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
    const HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect() {
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receive_pin) {
    const HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, receive_pin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CompleteConnect(receive_pin);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
    return m_pTransformFilter->DecideBufferSize(allocator, request);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* type) {
    CTransformInputPin* input = m_pTransformFilter->m_pInput.get();
    if (!input || !input->IsConnected()) return E_INVALIDARG;
    return m_pTransformFilter->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* type) {
    const HRESULT hr = CBaseOutputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* type) {
    CTransformInputPin* input = m_pTransformFilter->m_pInput.get();
    if (!input || !input->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    return m_pTransformFilter->GetMediaType(position, type);
}

// ---------------------------------------------------------------------------------------
// Filter

CTransformFilter::CTransformFilter(const char* object_name, IUnknown* outer, const CLSID& clsid)
    : CBaseFilter(object_name, outer, &m_csFilter, clsid) {
    HRESULT hr = S_OK;
    m_pInput = std::make_unique<CTransformInputPin>("Transform input pin", this, &hr, "XForm In");
    m_pOutput =
        std::make_unique<CTransformOutputPin>("Transform output pin", this, &hr, "XForm Out");
}

CTransformFilter::~CTransformFilter() = default;

CBasePin* CTransformFilter::GetPin(int index) {
    if (index == 0) return m_pInput.get();
    if (index == 1) return m_pOutput.get();
    return nullptr;
}

HRESULT CTransformFilter::Stop() {
    CAutoLock lock(&m_csFilter);
    if (m_State.load() == State_Stopped) return S_OK;
    if (!m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
        m_State = State_Stopped;
        m_bEOSDelivered = false;
        return S_OK;
    }
    m_pInput->Inactive();
    // Decommitting the output allocator makes a Receive blocked in GetDeliveryBuffer return, so
    // the receive lock below is free soon.
    m_pOutput->Inactive();
    CAutoLock receive_lock(&m_csReceive);
    const HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        m_State = State_Stopped;
        m_bEOSDelivered = false;
    }
    return hr;
}

HRESULT CTransformFilter::Pause() {
    CAutoLock lock(&m_csFilter);
    HRESULT hr = S_OK;
    if (!m_pInput->IsConnected()) {
        // No input: no end of stream will ever come, so give it downstream now.
        if (m_pOutput->IsConnected() && !m_bEOSDelivered) {
            m_pOutput->DeliverEndOfStream();
            m_bEOSDelivered = true;
        }
        m_State = State_Paused;
    } else if (!m_pOutput->IsConnected()) {
        m_State = State_Paused;
    } else {
        if (m_State.load() == State_Stopped) {
            CAutoLock receive_lock(&m_csReceive);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr)) hr = CBaseFilter::Pause();
    }
    m_bSampleSkipped = false;
    return hr;
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* in, ComPtr<IMediaSample>* out) {
    const DWORD flags = m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    const HRESULT time_hr = in->GetTime(&start, &stop);
    ComPtr<IMediaSample> sample;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(sample.ReleaseAndGetAddressOf(),
                                              SUCCEEDED(time_hr) ? &start : nullptr,
                                              time_hr == S_OK ? &stop : nullptr, flags);
    if (FAILED(hr)) return hr;
    if (time_hr == S_OK)
        sample->SetTime(&start, &stop);
    else if (time_hr == VFW_S_NO_STOP_TIME)
        sample->SetTime(&start, nullptr);
    LONGLONG media_start = 0;
    LONGLONG media_stop = 0;
    if (in->GetMediaTime(&media_start, &media_stop) == S_OK)
        sample->SetMediaTime(&media_start, &media_stop);
    sample->SetSyncPoint(in->IsSyncPoint() == S_OK);
    sample->SetPreroll(in->IsPreroll() == S_OK);
    sample->SetDiscontinuity(in->IsDiscontinuity() == S_OK || m_bSampleSkipped);
    *out = std::move(sample);
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
    ComPtr<IMediaSample> out;
    HRESULT hr = InitializeOutputSample(sample, &out);
    if (FAILED(hr)) return hr;
    hr = Transform(sample, out.Get());
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) {
        m_bSampleSkipped = true;
        return S_OK;
    }
    m_bSampleSkipped = false;
    return m_pOutput->Deliver(out.Get());
}

HRESULT CTransformFilter::EndOfStream() {
    return m_pOutput->DeliverEndOfStream();
}

HRESULT CTransformFilter::BeginFlush() {
    return m_pOutput->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush() {
    return m_pOutput->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return m_pOutput->DeliverNewSegment(start, stop, rate);
}

}  // namespace rizuvira::platform
