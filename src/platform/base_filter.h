// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseFilter: the state machine and bookkeeping shared by every filter.
//
// A derived filter owns its pins (normally as std::unique_ptr members) and lists them through
// GetPinCount/GetPin. The pins' reference counts are the filter's (see CBasePin).
//
// Locks and threads: state changes (Stop, Pause, Run), connection and graph membership run on
// the application thread under the filter lock (`m_pLock`, given by the derived class, the
// same lock its pins use). Streaming threads read the state through IsStopped (the state is
// atomic) and call NotifyEvent and StreamTime, which never take the filter lock.
//
// State order: the graph stops, pauses and runs downstream filters first. Pause from stopped
// activates every connected pin (Active: output pins commit their allocators); Stop
// deactivates them (Inactive: allocators are decommitted, so a thread blocked in GetBuffer
// returns).
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/interfaces.h"
#include "platform/sync.h"

namespace rizuvira::platform {

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter {
public:
    CBaseFilter(const char* object_name, IUnknown* outer, CCritSec* lock, const CLSID& clsid);
    ~CBaseFilter() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IMediaFilter
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD timeout_ms, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    // IBaseFilter
    HRESULT EnumPins(std::vector<ComPtr<IPin>>* pins) override;
    HRESULT FindPin(const std::string& id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) override;

    // The pins, in a fixed order. GetPin returns null for an index out of range.
    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int index) = 0;

    // Posts an event to the graph (any thread). EC_COMPLETE with param2 = 0 gets this filter as
    // param2. E_NOTIMPL outside a graph.
    HRESULT NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    // Stream time = clock time - the start time given to Run. VFW_E_NO_CLOCK without a clock.
    HRESULT StreamTime(REFERENCE_TIME* stream_time);
    // The clock set by the graph (null: none) and the start time of the current run.
    ComPtr<IReferenceClock> Clock();
    REFERENCE_TIME StartTime();

    bool IsStopped() const { return m_State.load() == State_Stopped; }
    FILTER_STATE State() const { return m_State.load(); }
    IFilterGraph* GetFilterGraph() const { return m_pGraph; }
    CCritSec* FilterLock() const { return m_pLock; }

protected:
    std::atomic<FILTER_STATE> m_State{State_Stopped};
    CCritSec* const m_pLock;
    const CLSID m_clsid;
    IFilterGraph* m_pGraph = nullptr;  // not a reference: the graph owns the filter
    std::string m_FilterName;

private:
    std::mutex time_mutex_;  // guards clock_ and start_ (read by streaming threads)
    ComPtr<IReferenceClock> clock_;
    REFERENCE_TIME start_ = 0;
    std::atomic<IMediaEventSink*> sink_{nullptr};  // the graph's, not a reference
};

// The `index`-th pin of `filter` (0-based) among those of the given direction, or null: "the
// demultiplexer's output pin 1", "the decoder's input pin 0".
ComPtr<IPin> GetFilterPin(IBaseFilter* filter, PIN_DIRECTION direction, int index);

}  // namespace rizuvira::platform
