// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/base_filter.h"

#include "platform/base_pin.h"

namespace rizuvira::platform {

CBaseFilter::CBaseFilter(const char* object_name, IUnknown* outer, CCritSec* lock,
                         const CLSID& clsid)
    : CUnknown(object_name, outer), m_pLock(lock), m_clsid(clsid) {}

CBaseFilter::~CBaseFilter() = default;

HRESULT CBaseFilter::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IBaseFilter::iid) return GetInterface(static_cast<IBaseFilter*>(this), object);
    if (riid == IMediaFilter::iid) return GetInterface(static_cast<IMediaFilter*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT CBaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop() {
    CAutoLock lock(m_pLock);
    HRESULT result = S_OK;
    if (m_State.load() != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                const HRESULT hr = pin->Inactive();
                if (FAILED(hr) && SUCCEEDED(result)) result = hr;
            }
        }
    }
    m_State = State_Stopped;
    return result;
}

HRESULT CBaseFilter::Pause() {
    CAutoLock lock(m_pLock);
    if (m_State.load() == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                const HRESULT hr = pin->Active();
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start) {
    CAutoLock lock(m_pLock);
    {
        std::lock_guard time_lock(time_mutex_);
        start_ = start;
    }
    if (m_State.load() == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (m_State.load() != State_Running) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                const HRESULT hr = pin->Run(start);
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = m_State.load();
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock) {
    CAutoLock lock(m_pLock);
    std::lock_guard time_lock(time_mutex_);
    clock_ = clock;
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    std::lock_guard time_lock(time_mutex_);
    *clock = clock_.CopyOut();
    return S_OK;
}

ComPtr<IReferenceClock> CBaseFilter::Clock() {
    std::lock_guard time_lock(time_mutex_);
    return clock_;
}

REFERENCE_TIME CBaseFilter::StartTime() {
    std::lock_guard time_lock(time_mutex_);
    return start_;
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME* stream_time) {
    if (!stream_time) return E_POINTER;
    ComPtr<IReferenceClock> clock;
    REFERENCE_TIME start = 0;
    {
        std::lock_guard time_lock(time_mutex_);
        clock = clock_;
        start = start_;
    }
    if (!clock) return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    const HRESULT hr = clock->GetTime(&now);
    if (FAILED(hr)) return hr;
    *stream_time = now - start;
    return S_OK;
}

HRESULT CBaseFilter::EnumPins(std::vector<ComPtr<IPin>>* pins) {
    if (!pins) return E_POINTER;
    pins->clear();
    CAutoLock lock(m_pLock);
    for (int i = 0; i < GetPinCount(); ++i) {
        if (CBasePin* pin = GetPin(i)) pins->emplace_back(static_cast<IPin*>(pin));
    }
    return S_OK;
}

HRESULT CBaseFilter::FindPin(const std::string& id, IPin** pin) {
    if (!pin) return E_POINTER;
    *pin = nullptr;
    CAutoLock lock(m_pLock);
    for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* candidate = GetPin(i);
        if (candidate && candidate->Name() == id) {
            *pin = ComPtr<IPin>(static_cast<IPin*>(candidate)).Detach();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    CAutoLock lock(m_pLock);
    info->achName = m_FilterName;
    info->pGraph = m_pGraph;
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, const std::string& name) {
    CAutoLock lock(m_pLock);
    m_pGraph = graph;
    IMediaEventSink* sink = nullptr;
    if (graph) {
        // Keep a plain pointer: the graph outlives its filters' membership.
        ComPtr<IMediaEventSink> event_sink;
        if (SUCCEEDED(QueryInterfaceAs(graph, &event_sink))) sink = event_sink.Get();
        m_FilterName = name;
    } else {
        m_FilterName.clear();
    }
    sink_ = sink;
    return S_OK;
}

HRESULT CBaseFilter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
    IMediaEventSink* sink = sink_.load();
    if (!sink) return E_NOTIMPL;
    if (code == EC_COMPLETE && param2 == 0)
        param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    return sink->Notify(code, param1, param2);
}

ComPtr<IPin> GetFilterPin(IBaseFilter* filter, PIN_DIRECTION direction, int index) {
    if (!filter || index < 0) return {};
    std::vector<ComPtr<IPin>> pins;
    if (FAILED(filter->EnumPins(&pins))) return {};
    for (const ComPtr<IPin>& pin : pins) {
        PIN_DIRECTION pin_direction = PINDIR_INPUT;
        if (FAILED(pin->QueryDirection(&pin_direction)) || pin_direction != direction) continue;
        if (index-- == 0) return pin;
    }
    return {};
}

}  // namespace rizuvira::platform
