// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/output_pin.h"

#include "platform/media_sample.h"

namespace rizuvira::platform {

CBaseOutputPin::CBaseOutputPin(const char* object_name, CBaseFilter* filter, CCritSec* lock,
                               HRESULT* hr, const char* pin_name)
    : CBasePin(object_name, filter, lock, hr, pin_name, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() = default;

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    hr = QueryInterfaceAs(pin, &m_pInputPin);
    return FAILED(hr) ? VFW_E_NO_TRANSPORT : S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) {
    if (!m_pInputPin) return VFW_E_NO_TRANSPORT;
    ComPtr<IMemAllocator> allocator;
    const HRESULT hr = DecideAllocator(m_pInputPin.Get(), allocator.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    m_pAllocator = std::move(allocator);
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator.Reset();
    }
    m_pInputPin.Reset();
    return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
    if (!pin || !allocator) return E_POINTER;
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES request{};
    pin->GetAllocatorRequirements(&request);
    if (request.cbAlign == 0) request.cbAlign = 1;

    ComPtr<IMemAllocator> candidate;
    HRESULT hr = pin->GetAllocator(candidate.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr) && candidate) {
        ALLOCATOR_PROPERTIES props = request;
        hr = DecideBufferSize(candidate.Get(), &props);
        if (SUCCEEDED(hr)) {
            hr = pin->NotifyAllocator(candidate.Get(), FALSE);
            if (SUCCEEDED(hr)) {
                *allocator = candidate.Detach();
                return S_OK;
            }
        }
    }
    hr = InitAllocator(candidate.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    ALLOCATOR_PROPERTIES props = request;
    hr = DecideBufferSize(candidate.Get(), &props);
    if (FAILED(hr)) return hr;
    hr = pin->NotifyAllocator(candidate.Get(), FALSE);
    if (FAILED(hr)) return hr;
    *allocator = candidate.Detach();
    return S_OK;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    CMemAllocator* created = new (std::nothrow) CMemAllocator;
    if (!created) return E_OUTOFMEMORY;
    *allocator = ComPtr<IMemAllocator>(static_cast<IMemAllocator*>(created)).Detach();
    return S_OK;
}

HRESULT CBaseOutputPin::Active() {
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                          REFERENCE_TIME* stop, DWORD flags) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
    if (!m_pInputPin) return VFW_E_NOT_CONNECTED;
    return m_pInputPin->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    IPin* peer = GetConnected();
    return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    IPin* peer = GetConnected();
    return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    IPin* peer = GetConnected();
    return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    IPin* peer = GetConnected();
    return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

}  // namespace rizuvira::platform
