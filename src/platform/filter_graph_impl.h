// SPDX-License-Identifier: GPL-2.0-or-later
// The filter graph manager's class, shared by the files that implement it: filter_graph.cpp
// (building), filter_graph_running.cpp (states, clock and events) and filter_graph_seeking.cpp
// (positions). Everyone else makes a graph with CreateFilterGraph and uses its interfaces
// (filter_graph.h describes the behaviour, the locks and the threads).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/filter_graph.h"
#include "platform/sync.h"
#include "platform/uuids.h"

namespace rizuvira::platform {

class CFilterGraph final : public CUnknown,
                           public IGraphBuilder,
                           public IMediaControl,
                           public IMediaEventEx,
                           public IMediaSeeking,
                           public IMediaFilter,
                           public IMediaEventSink {
public:
    CFilterGraph() : CUnknown("Filter graph") {}
    ~CFilterGraph() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IFilterGraph
    HRESULT AddFilter(IBaseFilter* filter, const std::string& name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(std::vector<ComPtr<IBaseFilter>>* filters) override;
    HRESULT FindFilterByName(const std::string& name, IBaseFilter** filter) override;
    HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect(IPin* pin) override;
    HRESULT SetDefaultSyncSource() override;

    // IGraphBuilder
    HRESULT Connect(IPin* out, IPin* in) override;
    HRESULT Render(IPin* out) override;

    // IMediaControl and IMediaFilter
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG timeout_ms, OAFilterState* state) override;
    HRESULT StopWhenReady() override;
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD timeout_ms, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    // IMediaEvent(Ex)
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeout_ms) override;
    HRESULT WaitForCompletion(LONG timeout_ms, LONG* code) override;
    HRESULT CancelDefaultHandling(LONG code) override;
    HRESULT RestoreDefaultHandling(LONG code) override;
    HRESULT FreeEventParams(LONG, LONG_PTR, LONG_PTR) override { return S_OK; }
    HRESULT SetNotifyCallback(std::function<void()> callback) override;
    HRESULT SetNotifyFlags(LONG flags) override;
    HRESULT GetNotifyFlags(LONG* flags) override;

    // IMediaEventSink
    HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override;

    // IMediaSeeking
    HRESULT GetCapabilities(DWORD* capabilities) override;
    HRESULT CheckCapabilities(DWORD* capabilities) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT QueryPreferredFormat(GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT IsUsingTimeFormat(const GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                              const GUID* source_format) override;
    HRESULT SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                         DWORD stop_flags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    HRESULT GetPreroll(LONGLONG* preroll) override;

private:
    struct Entry {
        ComPtr<IBaseFilter> filter;
        std::string name;
    };
    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    // Pin and filter queries the sections share.
    static bool SameObject(IUnknown* a, IUnknown* b);
    static std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter);
    static bool IsDirection(IPin* pin, PIN_DIRECTION wanted);
    static bool IsConnected(IPin* pin);
    static ComPtr<IBaseFilter> OwnerOf(IPin* pin);
    static bool IsRenderer(IBaseFilter* filter);
    static bool HasConnectedInput(IBaseFilter* filter);

    bool ContainsLocked(IBaseFilter* filter) const;
    std::string UniqueNameLocked(const std::string& wanted) const;
    std::vector<ComPtr<IBaseFilter>> DownstreamFirstLocked() const;
    void ChooseClockLocked();
    REFERENCE_TIME ClockNowLocked() const;
    HRESULT PauseLocked();
    HRESULT RunLocked(std::optional<REFERENCE_TIME> start);
    HRESULT StopLocked();
    void ResetCompletionLocked();
    std::vector<ComPtr<IMediaSeeking>> SeekingTargetsLocked() const;
    void ReadSegmentStartLocked();
    HRESULT ConnectVia(IPin* out, IPin* in, int depth);
    HRESULT RenderPin(IPin* out, int depth, std::vector<ComPtr<IBaseFilter>>* added);
    HRESULT RenderOutputs(IBaseFilter* filter, int depth, std::vector<ComPtr<IBaseFilter>>* added);
    void RemoveAdded(std::vector<ComPtr<IBaseFilter>>* added, std::size_t keep);

    // Graph lock: filters, state, clock, time format.
    mutable CCritSec lock_;
    std::vector<Entry> filters_;
    FILTER_STATE state_ = State_Stopped;
    ComPtr<IReferenceClock> clock_;
    bool clock_set_explicitly_ = false;
    REFERENCE_TIME start_time_ = 0;
    REFERENCE_TIME paused_stream_time_ = 0;
    // The media position at stream time 0 (where the run or the last seek started).
    LONGLONG segment_start_ = 0;
    GUID time_format_ = TIME_FORMAT_MEDIA_TIME;

    // Event lock: everything below.
    std::mutex event_mutex_;
    std::condition_variable event_cv_;
    std::deque<Event> events_;
    std::set<LONG> cancelled_;
    std::set<LONG_PTR> renderers_pending_;
    bool completion_posted_ = false;
    std::optional<LONG> completion_code_;
    bool stopped_ = true;
    std::function<void()> notify_;
    LONG notify_flags_ = 0;
};

}  // namespace rizuvira::platform
