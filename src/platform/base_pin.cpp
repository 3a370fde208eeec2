// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/base_pin.h"

namespace rizuvira::platform {

namespace {

// Refusals that carry no more information than "not this type".
HRESULT TypeRefusal(HRESULT hr) {
    if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) return VFW_E_TYPE_NOT_ACCEPTED;
    return hr;
}

}  // namespace

CBasePin::CBasePin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT*,
                   const char* pin_name, PIN_DIRECTION direction)
    : CUnknown(object_name),
      m_pFilter(filter),
      m_pLock(lock),
      m_pName(pin_name ? pin_name : ""),
      m_dir(direction) {}

CBasePin::~CBasePin() = default;

HRESULT CBasePin::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IPin::iid) return GetInterface(static_cast<IPin*>(this), object);
    if (riid == IQualityControl::iid)
        return GetInterface(static_cast<IQualityControl*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
}

ULONG CBasePin::NonDelegatingAddRef() {
    return m_pFilter->AddRef();
}

ULONG CBasePin::NonDelegatingRelease() {
    return m_pFilter->Release();
}

HRESULT CBasePin::Connect(IPin* receive_pin, const AM_MEDIA_TYPE* type) {
    if (!receive_pin) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (type) {
        const CMediaType wanted(*type);
        return AgreeMediaType(receive_pin, &wanted);
    }
    return AgreeMediaType(receive_pin, nullptr);
}

HRESULT CBasePin::AgreeMediaType(IPin* receive_pin, const CMediaType* type) {
    if (type && !type->IsPartiallySpecified()) return AttemptConnection(receive_pin, type);

    // Plain refusals of a type give VFW_E_NO_ACCEPTABLE_TYPES; a more telling failure (no
    // transport, wrong state, ...) is reported as it is.
    HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
    const auto remember = [&failure](HRESULT hr) {
        if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED) failure = hr;
    };
    for (int position = 0;; ++position) {
        CMediaType candidate;
        if (GetMediaType(position, &candidate) != S_OK) break;
        if (type && !candidate.MatchesPartial(type)) continue;
        const HRESULT hr = AttemptConnection(receive_pin, &candidate);
        if (SUCCEEDED(hr)) return hr;
        remember(hr);
    }
    std::vector<CMediaType> theirs;
    if (SUCCEEDED(receive_pin->EnumMediaTypes(&theirs))) {
        for (const CMediaType& candidate : theirs) {
            if (type && !candidate.MatchesPartial(type)) continue;
            const HRESULT hr = AttemptConnection(receive_pin, &candidate);
            if (SUCCEEDED(hr)) return hr;
            remember(hr);
        }
    }
    return failure;
}

HRESULT CBasePin::AttemptConnection(IPin* receive_pin, const CMediaType* type) {
    HRESULT hr = CheckConnect(receive_pin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(type);
    if (hr == S_OK) {
        m_Connected = receive_pin;
        hr = SetMediaType(type);
        if (SUCCEEDED(hr)) {
            hr = receive_pin->ReceiveConnection(this, type);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(receive_pin);
                if (SUCCEEDED(hr)) return hr;
                receive_pin->Disconnect();
            }
        }
    }
    hr = TypeRefusal(hr);
    m_Connected.Reset();
    m_mt.InitMediaType();
    BreakConnect();
    return hr;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (!connector || !type) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    const CMediaType proposed(*type);
    hr = CheckMediaType(&proposed);
    if (hr != S_OK) {
        BreakConnect();
        return TypeRefusal(hr);
    }
    m_Connected = connector;
    hr = SetMediaType(&proposed);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(connector);
        if (SUCCEEDED(hr)) return S_OK;
    }
    m_Connected.Reset();
    m_mt.InitMediaType();
    BreakConnect();
    return hr;
}

HRESULT CBasePin::Disconnect() {
    CAutoLock lock(m_pLock);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
    if (!m_Connected) return S_FALSE;
    const HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    m_Connected.Reset();
    m_mt.InitMediaType();
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pin = m_Connected.CopyOut();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT CBasePin::ConnectionMediaType(CMediaType* type) {
    if (!type) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_Connected) {
        type->InitMediaType();
        return VFW_E_NOT_CONNECTED;
    }
    return type->Set(m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = static_cast<IBaseFilter*>(m_pFilter);
    info->dir = m_dir;
    info->achName = m_pName;
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryId(std::string* id) {
    if (!id) return E_POINTER;
    *id = m_pName;
    return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    const CMediaType proposed(*type);
    return CheckMediaType(&proposed) == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(std::vector<CMediaType>* types) {
    if (!types) return E_POINTER;
    types->clear();
    for (int position = 0;; ++position) {
        CMediaType type;
        if (GetMediaType(position, &type) != S_OK) break;
        types->push_back(std::move(type));
    }
    return S_OK;
}

HRESULT CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME, double) {
    CAutoLock lock(m_pLock);
    m_tStart = start;
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type) {
    return m_mt.Set(*type);
}

HRESULT CBasePin::Notify(IBaseFilter*, Quality) {
    return S_OK;
}

HRESULT CBasePin::SetSink(IQualityControl* sink) {
    CAutoLock lock(m_pLock);
    m_pQSink = sink;
    return S_OK;
}

HRESULT CBasePin::CheckConnect(IPin* pin) {
    PIN_DIRECTION their_direction = PINDIR_INPUT;
    const HRESULT hr = pin->QueryDirection(&their_direction);
    if (FAILED(hr)) return hr;
    return their_direction == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() {
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*) {
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int position, CMediaType*) {
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

}  // namespace rizuvira::platform
