// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/input_pin.h"

#include "platform/media_sample.h"

namespace rizuvira::platform {

CBaseInputPin::CBaseInputPin(const char* object_name, CBaseFilter* filter, CCritSec* lock,
                             HRESULT* hr, const char* pin_name)
    : CBasePin(object_name, filter, lock, hr, pin_name, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() = default;

HRESULT CBaseInputPin::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMemInputPin::iid) return GetInterface(static_cast<IMemInputPin*>(this), object);
    return CBasePin::NonDelegatingQueryInterface(riid, object);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator) {
        CMemAllocator* created = new (std::nothrow) CMemAllocator;
        if (!created) return E_OUTOFMEMORY;
        m_pAllocator = static_cast<IMemAllocator*>(created);
    }
    *allocator = m_pAllocator.CopyOut();
    return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL) {
    if (!allocator) return E_POINTER;
    CAutoLock lock(m_pLock);
    m_pAllocator = allocator;
    return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming() {
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    if (IsStopped()) return VFW_E_WRONG_STATE;
    if (m_bFlushing.load()) return S_FALSE;
    if (m_bRunTimeError.load()) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    CMediaType change;
    if (sample->GetMediaType(&change) == S_OK && CheckMediaType(&change) != S_OK) {
        // A type the pin cannot take: end the stream here, tell the graph, and refuse what
        // follows until a flush.
        EndOfStream();
        m_pFilter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
        m_bRunTimeError = true;
        return VFW_E_INVALIDMEDIATYPE;
    }
    return S_OK;
}

HRESULT CBaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
    if (!samples || !processed) return E_POINTER;
    HRESULT hr = S_OK;
    *processed = 0;
    while (count-- > 0) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK) break;
        ++*processed;
    }
    return hr;
}

HRESULT CBaseInputPin::BeginFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = true;
    return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = false;
    m_bRunTimeError = false;
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator.Reset();
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    m_bRunTimeError = false;
    m_bFlushing = false;
    if (m_pAllocator) return m_pAllocator->Decommit();
    return S_OK;
}

}  // namespace rizuvira::platform
