#include "platform/filter_graph.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/reference_clock.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "platform/uuids.h"

namespace rizuvira::platform {

namespace {

// Stream time 0 lies this far after the clock's now when the graph runs, so every filter has
// its start time before the first sample is due.
constexpr REFERENCE_TIME kRunDelay = 10 * MILLISECONDS;
constexpr int kMaxRenderDepth = 4;

bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return a == b;
    ComPtr<IUnknown> ua;
    ComPtr<IUnknown> ub;
    if (FAILED(ComPtr<IUnknown>(a).As(&ua)) || FAILED(ComPtr<IUnknown>(b).As(&ub))) return false;
    return ua == ub;
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    filter->EnumPins(&pins);
    return pins;
}

bool IsDirection(IPin* pin, PIN_DIRECTION wanted) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    return SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted;
}

bool IsConnected(IPin* pin) {
    ComPtr<IPin> peer;
    return SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer;
}

ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
    PIN_INFO info;
    if (FAILED(pin->QueryPinInfo(&info))) return {};
    return info.pFilter;
}

bool IsRenderer(IBaseFilter* filter) {
    ComPtr<IAMFilterMiscFlags> flags;
    if (SUCCEEDED(QueryInterfaceAs(filter, &flags)) &&
        (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER))
        return true;
    bool connected_input = false;
    for (const ComPtr<IPin>& pin : PinsOf(filter)) {
        if (!IsConnected(pin.Get())) continue;
        if (IsDirection(pin.Get(), PINDIR_OUTPUT)) return false;
        connected_input = true;
    }
    return connected_input;
}

bool HasConnectedInput(IBaseFilter* filter) {
    for (const ComPtr<IPin>& pin : PinsOf(filter))
        if (IsDirection(pin.Get(), PINDIR_INPUT) && IsConnected(pin.Get())) return true;
    return false;
}

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

CFilterGraph::~CFilterGraph() {
    // Filters may AddRef/Release the graph while they leave it: keep the count off zero.
    NonDelegatingAddRef();
    CAutoLock lock(&lock_);
    StopLocked();
    while (!filters_.empty()) RemoveFilter(filters_.back().filter.Get());
    clock_.Reset();
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IFilterGraph::iid) return GetInterface(static_cast<IFilterGraph*>(this), object);
    if (riid == IGraphBuilder::iid) return GetInterface(static_cast<IGraphBuilder*>(this), object);
    if (riid == IMediaControl::iid) return GetInterface(static_cast<IMediaControl*>(this), object);
    if (riid == IMediaEvent::iid) return GetInterface(static_cast<IMediaEvent*>(this), object);
    if (riid == IMediaEventEx::iid) return GetInterface(static_cast<IMediaEventEx*>(this), object);
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), object);
    if (riid == IMediaFilter::iid) return GetInterface(static_cast<IMediaFilter*>(this), object);
    if (riid == IMediaEventSink::iid)
        return GetInterface(static_cast<IMediaEventSink*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
}

// ---------------------------------------------------------------------------------------
// Building

bool CFilterGraph::ContainsLocked(IBaseFilter* filter) const {
    return std::any_of(filters_.begin(), filters_.end(),
                       [&](const Entry& e) { return e.filter.Get() == filter; });
}

std::string CFilterGraph::UniqueNameLocked(const std::string& wanted) const {
    const auto taken = [&](const std::string& name) {
        return std::any_of(filters_.begin(), filters_.end(),
                           [&](const Entry& e) { return e.name == name; });
    };
    const std::string base = wanted.empty() ? "Filter" : wanted;
    if (!wanted.empty() && !taken(wanted)) return wanted;
    for (int n = 1;; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, " %04d", n);
        if (!taken(base + suffix)) return base + suffix;
    }
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* filter, const std::string& name) {
    if (!filter) return E_POINTER;
    CAutoLock lock(&lock_);
    if (ContainsLocked(filter)) return E_INVALIDARG;
    const std::string unique = UniqueNameLocked(name);
    const HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph*>(this), unique);
    if (FAILED(hr)) return hr;
    filters_.push_back({filter, unique});
    if (!clock_set_explicitly_) clock_.Reset();  // chosen again at the next pause
    return unique == name ? S_OK : VFW_S_DUPLICATE_NAME;
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* filter) {
    if (!filter) return E_POINTER;
    CAutoLock lock(&lock_);
    auto it = std::find_if(filters_.begin(), filters_.end(),
                           [&](const Entry& e) { return e.filter.Get() == filter; });
    if (it == filters_.end()) return VFW_E_NOT_FOUND;
    const ComPtr<IBaseFilter> keep = it->filter;
    FILTER_STATE state = State_Stopped;
    if (SUCCEEDED(filter->GetState(0, &state)) && state != State_Stopped) filter->Stop();
    for (const ComPtr<IPin>& pin : PinsOf(filter)) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer) {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    // A filter that is the graph's clock would otherwise hold itself.
    if (clock_ && SameObject(clock_.Get(), filter)) {
        clock_.Reset();
        clock_set_explicitly_ = false;
    }
    filter->SetSyncSource(nullptr);
    filter->JoinFilterGraph(nullptr, std::string());
    filters_.erase(std::find_if(filters_.begin(), filters_.end(),
                                [&](const Entry& e) { return e.filter.Get() == filter; }));
    return S_OK;
}

HRESULT CFilterGraph::EnumFilters(std::vector<ComPtr<IBaseFilter>>* filters) {
    if (!filters) return E_POINTER;
    CAutoLock lock(&lock_);
    filters->clear();
    for (const Entry& e : filters_) filters->push_back(e.filter);
    return S_OK;
}

HRESULT CFilterGraph::FindFilterByName(const std::string& name, IBaseFilter** filter) {
    if (!filter) return E_POINTER;
    *filter = nullptr;
    CAutoLock lock(&lock_);
    for (const Entry& e : filters_) {
        if (e.name == name) {
            *filter = e.filter.CopyOut();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) {
    if (!out || !in) return E_POINTER;
    CAutoLock lock(&lock_);
    if (!IsDirection(out, PINDIR_OUTPUT) || !IsDirection(in, PINDIR_INPUT))
        return VFW_E_INVALID_DIRECTION;
    const ComPtr<IBaseFilter> out_filter = OwnerOf(out);
    const ComPtr<IBaseFilter> in_filter = OwnerOf(in);
    if (!ContainsLocked(out_filter.Get()) || !ContainsLocked(in_filter.Get()))
        return VFW_E_NOT_IN_GRAPH;
    return out->Connect(in, type);
}

HRESULT CFilterGraph::Disconnect(IPin* pin) {
    if (!pin) return E_POINTER;
    CAutoLock lock(&lock_);
    return pin->Disconnect();
}

HRESULT CFilterGraph::Connect(IPin* out, IPin* in) {
    if (!out || !in) return E_POINTER;
    CAutoLock lock(&lock_);
    HRESULT hr = ConnectDirect(out, in, nullptr);
    if (SUCCEEDED(hr)) return hr;
    if (hr == VFW_E_NOT_IN_GRAPH || hr == VFW_E_ALREADY_CONNECTED || hr == VFW_E_NOT_STOPPED ||
        hr == VFW_E_INVALID_DIRECTION)
        return hr;
    hr = ConnectVia(out, in, 2);
    return SUCCEEDED(hr) ? hr : VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::ConnectVia(IPin* out, IPin* in, int depth) {
    if (depth <= 0) return VFW_E_CANNOT_CONNECT;
    for (const ComponentInfo& info : ComponentRegistry::Instance().Components()) {
        if (info.merit <= MERIT_DO_NOT_USE) continue;
        ComPtr<IBaseFilter> filter;
        if (FAILED(CoCreateInstance(info.clsid, &filter))) continue;
        if (FAILED(AddFilter(filter.Get(), info.name))) continue;
        for (const ComPtr<IPin>& middle_in : PinsOf(filter.Get())) {
            if (!IsDirection(middle_in.Get(), PINDIR_INPUT) || IsConnected(middle_in.Get()))
                continue;
            if (FAILED(out->Connect(middle_in.Get(), nullptr))) continue;
            for (const ComPtr<IPin>& middle_out : PinsOf(filter.Get())) {
                if (!IsDirection(middle_out.Get(), PINDIR_OUTPUT) || IsConnected(middle_out.Get()))
                    continue;
                if (SUCCEEDED(middle_out->Connect(in, nullptr))) return S_OK;
                if (SUCCEEDED(ConnectVia(middle_out.Get(), in, depth - 1))) return S_OK;
            }
            middle_in->Disconnect();
            out->Disconnect();
        }
        RemoveFilter(filter.Get());
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::Render(IPin* out) {
    if (!out) return E_POINTER;
    CAutoLock lock(&lock_);
    if (!IsDirection(out, PINDIR_OUTPUT)) return VFW_E_INVALID_DIRECTION;
    if (IsConnected(out)) return VFW_E_ALREADY_CONNECTED;
    if (!ContainsLocked(OwnerOf(out).Get())) return VFW_E_NOT_IN_GRAPH;
    std::vector<ComPtr<IBaseFilter>> added;
    return RenderPin(out, kMaxRenderDepth, &added);
}

void CFilterGraph::RemoveAdded(std::vector<ComPtr<IBaseFilter>>* added, std::size_t keep) {
    while (added->size() > keep) {
        RemoveFilter(added->back().Get());
        added->pop_back();
    }
}

HRESULT CFilterGraph::RenderOutputs(IBaseFilter* filter, int depth,
                                    std::vector<ComPtr<IBaseFilter>>* added) {
    for (const ComPtr<IPin>& pin : PinsOf(filter)) {
        if (!IsDirection(pin.Get(), PINDIR_OUTPUT) || IsConnected(pin.Get())) continue;
        const HRESULT hr = RenderPin(pin.Get(), depth, added);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CFilterGraph::RenderPin(IPin* out, int depth, std::vector<ComPtr<IBaseFilter>>* added) {
    if (depth <= 0) return VFW_E_CANNOT_RENDER;
    const ComPtr<IBaseFilter> own = OwnerOf(out);

    // Filters already in the graph with a free input pin.
    std::vector<ComPtr<IBaseFilter>> present;
    for (const Entry& e : filters_)
        if (e.filter != own) present.push_back(e.filter);
    for (const ComPtr<IBaseFilter>& filter : present) {
        for (const ComPtr<IPin>& in : PinsOf(filter.Get())) {
            if (!IsDirection(in.Get(), PINDIR_INPUT) || IsConnected(in.Get())) continue;
            if (FAILED(out->Connect(in.Get(), nullptr))) continue;
            const std::size_t mark = added->size();
            if (SUCCEEDED(RenderOutputs(filter.Get(), depth - 1, added))) return S_OK;
            RemoveAdded(added, mark);
            in->Disconnect();
            out->Disconnect();
        }
    }

    // Registered filters, best merit first.
    for (const ComponentInfo& info : ComponentRegistry::Instance().Components()) {
        if (info.merit <= MERIT_DO_NOT_USE) continue;
        ComPtr<IBaseFilter> filter;
        if (FAILED(CoCreateInstance(info.clsid, &filter))) continue;
        if (FAILED(AddFilter(filter.Get(), info.name))) continue;
        const std::size_t mark = added->size();
        added->push_back(filter);
        for (const ComPtr<IPin>& in : PinsOf(filter.Get())) {
            if (!IsDirection(in.Get(), PINDIR_INPUT) || IsConnected(in.Get())) continue;
            if (FAILED(out->Connect(in.Get(), nullptr))) continue;
            if (SUCCEEDED(RenderOutputs(filter.Get(), depth - 1, added))) return S_OK;
            RemoveAdded(added, mark + 1);
            in->Disconnect();
            out->Disconnect();
        }
        RemoveAdded(added, mark);
    }
    return VFW_E_CANNOT_RENDER;
}

// ---------------------------------------------------------------------------------------
// Running

std::vector<ComPtr<IBaseFilter>> CFilterGraph::DownstreamFirstLocked() const {
    struct Node {
        ComPtr<IBaseFilter> filter;
        std::vector<IBaseFilter*> downstream;
        bool placed = false;
    };
    std::vector<Node> nodes;
    for (const Entry& e : filters_) {
        Node node{e.filter, {}, false};
        for (const ComPtr<IPin>& pin : PinsOf(e.filter.Get())) {
            if (!IsDirection(pin.Get(), PINDIR_OUTPUT)) continue;
            ComPtr<IPin> peer;
            if (FAILED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) || !peer) continue;
            if (ComPtr<IBaseFilter> owner = OwnerOf(peer.Get()))
                node.downstream.push_back(owner.Get());
        }
        nodes.push_back(std::move(node));
    }
    std::vector<ComPtr<IBaseFilter>> order;
    const auto is_placed = [&](IBaseFilter* f) {
        for (const Node& n : nodes)
            if (n.filter.Get() == f) return n.placed;
        return true;  // not in the graph: no constraint
    };
    while (order.size() < nodes.size()) {
        bool progress = false;
        for (Node& node : nodes) {
            if (node.placed) continue;
            if (std::all_of(node.downstream.begin(), node.downstream.end(), is_placed)) {
                node.placed = true;
                order.push_back(node.filter);
                progress = true;
            }
        }
        if (!progress) {  // a cycle: take the rest in insertion order
            for (Node& node : nodes) {
                if (!node.placed) {
                    node.placed = true;
                    order.push_back(node.filter);
                }
            }
        }
    }
    return order;
}

void CFilterGraph::ChooseClockLocked() {
    if (!clock_set_explicitly_ && !clock_) {
        // A renderer's clock first (the audio renderer's), then any filter's.
        for (int pass = 0; pass < 2 && !clock_; ++pass) {
            for (const Entry& e : filters_) {
                if (pass == 0 && !IsRenderer(e.filter.Get())) continue;
                ComPtr<IReferenceClock> clock;
                if (SUCCEEDED(QueryInterfaceAs(e.filter.Get(), &clock))) {
                    clock_ = clock;
                    break;
                }
            }
        }
        if (!clock_) clock_ = static_cast<IReferenceClock*>(new CSystemClock);
    }
    for (const Entry& e : filters_) e.filter->SetSyncSource(clock_.Get());
}

REFERENCE_TIME CFilterGraph::ClockNowLocked() const {
    REFERENCE_TIME now = 0;
    if (clock_) clock_->GetTime(&now);
    return now;
}

void CFilterGraph::ResetCompletionLocked() {
    std::set<LONG_PTR> renderers;
    for (const Entry& e : filters_)
        if (IsRenderer(e.filter.Get()))
            renderers.insert(reinterpret_cast<LONG_PTR>(e.filter.Get()));
    std::lock_guard events(event_mutex_);
    renderers_pending_ = std::move(renderers);
    completion_posted_ = false;
    completion_code_.reset();
    stopped_ = false;
}

HRESULT CFilterGraph::PauseLocked() {
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped) {
        ChooseClockLocked();
        ResetCompletionLocked();
        paused_stream_time_ = 0;
        ReadSegmentStartLocked();
    } else if (clock_) {
        paused_stream_time_ = ClockNowLocked() - start_time_;
    }
    for (const ComPtr<IBaseFilter>& filter : DownstreamFirstLocked()) {
        const HRESULT hr = filter->Pause();
        if (FAILED(hr)) {
            StopLocked();
            return hr;
        }
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT CFilterGraph::RunLocked(std::optional<REFERENCE_TIME> start) {
    if (state_ == State_Running) return S_OK;
    if (state_ == State_Stopped) {
        const HRESULT hr = PauseLocked();
        if (FAILED(hr)) return hr;
    }
    if (start)
        start_time_ = *start;
    else
        start_time_ = clock_ ? ClockNowLocked() + kRunDelay - paused_stream_time_ : 0;
    for (const ComPtr<IBaseFilter>& filter : DownstreamFirstLocked()) {
        const HRESULT hr = filter->Run(start_time_);
        if (FAILED(hr)) {
            StopLocked();
            return hr;
        }
    }
    state_ = State_Running;
    return S_OK;
}

HRESULT CFilterGraph::StopLocked() {
    HRESULT result = S_OK;
    for (const ComPtr<IBaseFilter>& filter : DownstreamFirstLocked()) {
        const HRESULT hr = filter->Stop();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    state_ = State_Stopped;
    paused_stream_time_ = 0;
    {
        std::lock_guard events(event_mutex_);
        stopped_ = true;
    }
    event_cv_.notify_all();
    return result;
}

HRESULT CFilterGraph::Run() {
    CAutoLock lock(&lock_);
    return RunLocked(std::nullopt);
}

HRESULT CFilterGraph::Run(REFERENCE_TIME start) {
    CAutoLock lock(&lock_);
    return RunLocked(start);
}

HRESULT CFilterGraph::Pause() {
    CAutoLock lock(&lock_);
    return PauseLocked();
}

HRESULT CFilterGraph::Stop() {
    CAutoLock lock(&lock_);
    return StopLocked();
}

HRESULT CFilterGraph::GetState(DWORD timeout_ms, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    CAutoLock lock(&lock_);
    HRESULT result = S_OK;
    for (const Entry& e : filters_) {
        FILTER_STATE filter_state = State_Stopped;
        const HRESULT hr = e.filter->GetState(timeout_ms, &filter_state);
        if (FAILED(hr)) return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE) result = hr;
    }
    *state = state_;
    return result;
}

HRESULT CFilterGraph::GetState(LONG timeout_ms, OAFilterState* state) {
    if (!state) return E_POINTER;
    FILTER_STATE filter_state = State_Stopped;
    const HRESULT hr =
        GetState(timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms), &filter_state);
    *state = filter_state;
    return hr;
}

HRESULT CFilterGraph::StopWhenReady() {
    CAutoLock lock(&lock_);
    HRESULT hr = PauseLocked();
    if (FAILED(hr)) return hr;
    FILTER_STATE state = State_Paused;
    GetState(INFINITE, &state);
    return StopLocked();
}

HRESULT CFilterGraph::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_FilterGraph;
    return S_OK;
}

HRESULT CFilterGraph::SetSyncSource(IReferenceClock* clock) {
    CAutoLock lock(&lock_);
    clock_ = clock;
    clock_set_explicitly_ = true;
    for (const Entry& e : filters_) e.filter->SetSyncSource(clock);
    return S_OK;
}

HRESULT CFilterGraph::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    CAutoLock lock(&lock_);
    *clock = clock_.CopyOut();
    return S_OK;
}

HRESULT CFilterGraph::SetDefaultSyncSource() {
    CAutoLock lock(&lock_);
    clock_set_explicitly_ = false;
    clock_.Reset();
    ChooseClockLocked();
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Events

HRESULT CFilterGraph::Notify(LONG code, LONG_PTR param1, LONG_PTR param2) {
    std::function<void()> callback;
    {
        std::lock_guard lock(event_mutex_);
        if (code == EC_COMPLETE && !cancelled_.count(EC_COMPLETE)) {
            // Default handling: one EC_COMPLETE once every renderer has ended.
            if (!renderers_pending_.empty()) {
                renderers_pending_.erase(param2);
                if (!renderers_pending_.empty()) return S_OK;
            }
            if (completion_posted_) return S_OK;
            completion_posted_ = true;
            param1 = S_OK;
            param2 = 0;
        }
        events_.push_back({code, param1, param2});
        if ((code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT) &&
            !completion_code_)
            completion_code_ = code;
        if (!(notify_flags_ & AM_MEDIAEVENT_NONOTIFY)) callback = notify_;
    }
    event_cv_.notify_all();
    if (callback) callback();
    return S_OK;
}

HRESULT CFilterGraph::GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeout_ms) {
    if (!code || !param1 || !param2) return E_POINTER;
    std::unique_lock lock(event_mutex_);
    const auto ready = [this] { return !events_.empty(); };
    if (timeout_ms < 0) {
        event_cv_.wait(lock, ready);
    } else if (!event_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
        return E_ABORT;
    }
    const Event event = events_.front();
    events_.pop_front();
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(LONG timeout_ms, LONG* code) {
    if (!code) return E_POINTER;
    *code = 0;
    std::unique_lock lock(event_mutex_);
    const auto ready = [this] { return completion_code_.has_value() || stopped_; };
    if (timeout_ms < 0) {
        event_cv_.wait(lock, ready);
    } else if (!event_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
        return E_ABORT;
    }
    if (!completion_code_) return VFW_E_WRONG_STATE;
    *code = *completion_code_;
    return S_OK;
}

HRESULT CFilterGraph::CancelDefaultHandling(LONG code) {
    std::lock_guard lock(event_mutex_);
    cancelled_.insert(code);
    return S_OK;
}

HRESULT CFilterGraph::RestoreDefaultHandling(LONG code) {
    std::lock_guard lock(event_mutex_);
    cancelled_.erase(code);
    return S_OK;
}

HRESULT CFilterGraph::SetNotifyCallback(std::function<void()> callback) {
    std::lock_guard lock(event_mutex_);
    notify_ = std::move(callback);
    return S_OK;
}

HRESULT CFilterGraph::SetNotifyFlags(LONG flags) {
    std::lock_guard lock(event_mutex_);
    notify_flags_ = flags;
    return S_OK;
}

HRESULT CFilterGraph::GetNotifyFlags(LONG* flags) {
    if (!flags) return E_POINTER;
    std::lock_guard lock(event_mutex_);
    *flags = notify_flags_;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Seeking: forwarded to the renderers that can seek, else to the sources that can.

std::vector<ComPtr<IMediaSeeking>> CFilterGraph::SeekingTargetsLocked() const {
    std::vector<ComPtr<IMediaSeeking>> targets;
    for (int pass = 0; pass < 2 && targets.empty(); ++pass) {
        for (const Entry& e : filters_) {
            const bool wanted =
                pass == 0 ? IsRenderer(e.filter.Get()) : !HasConnectedInput(e.filter.Get());
            if (!wanted) continue;
            ComPtr<IMediaSeeking> seeking;
            if (FAILED(QueryInterfaceAs(e.filter.Get(), &seeking))) continue;
            DWORD caps = 0;
            if (FAILED(seeking->GetCapabilities(&caps))) continue;  // a pass-through to nothing
            targets.push_back(seeking);
        }
    }
    return targets;
}

HRESULT CFilterGraph::GetCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    CAutoLock lock(&lock_);
    const auto targets = SeekingTargetsLocked();
    if (targets.empty()) return E_NOTIMPL;
    DWORD all = ~DWORD{0};
    for (const auto& t : targets) {
        DWORD caps = 0;
        t->GetCapabilities(&caps);
        all &= caps;
    }
    *capabilities = all;
    return S_OK;
}

HRESULT CFilterGraph::CheckCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    DWORD ours = 0;
    const HRESULT hr = GetCapabilities(&ours);
    if (FAILED(hr)) {
        *capabilities = 0;
        return hr;
    }
    const DWORD asked = *capabilities;
    *capabilities &= ours;
    if (*capabilities == asked) return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

HRESULT CFilterGraph::IsFormatSupported(const GUID* format) {
    if (!format) return E_POINTER;
    if (*format == TIME_FORMAT_MEDIA_TIME) return S_OK;
    CAutoLock lock(&lock_);
    const auto targets = SeekingTargetsLocked();
    if (targets.empty()) return S_FALSE;
    for (const auto& t : targets)
        if (t->IsFormatSupported(format) != S_OK) return S_FALSE;
    return S_OK;
}

HRESULT CFilterGraph::QueryPreferredFormat(GUID* format) {
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT CFilterGraph::GetTimeFormat(GUID* format) {
    if (!format) return E_POINTER;
    CAutoLock lock(&lock_);
    *format = time_format_;
    return S_OK;
}

HRESULT CFilterGraph::IsUsingTimeFormat(const GUID* format) {
    if (!format) return E_POINTER;
    CAutoLock lock(&lock_);
    return *format == time_format_ ? S_OK : S_FALSE;
}

HRESULT CFilterGraph::SetTimeFormat(const GUID* format) {
    if (!format) return E_POINTER;
    CAutoLock lock(&lock_);
    if (state_ != State_Stopped) return VFW_E_WRONG_STATE;
    for (const auto& t : SeekingTargetsLocked()) {
        const HRESULT hr = t->SetTimeFormat(format);
        if (FAILED(hr)) return hr;
    }
    time_format_ = *format;
    return S_OK;
}

HRESULT CFilterGraph::GetDuration(LONGLONG* duration) {
    if (!duration) return E_POINTER;
    CAutoLock lock(&lock_);
    HRESULT result = E_NOTIMPL;
    LONGLONG longest = 0;
    for (const auto& t : SeekingTargetsLocked()) {
        LONGLONG d = 0;
        if (SUCCEEDED(t->GetDuration(&d))) {
            longest = SUCCEEDED(result) ? std::max(longest, d) : d;
            result = S_OK;
        }
    }
    if (SUCCEEDED(result)) *duration = longest;
    return result;
}

HRESULT CFilterGraph::GetStopPosition(LONGLONG* stop) {
    if (!stop) return E_POINTER;
    CAutoLock lock(&lock_);
    HRESULT result = E_NOTIMPL;
    LONGLONG latest = 0;
    for (const auto& t : SeekingTargetsLocked()) {
        LONGLONG s = 0;
        if (SUCCEEDED(t->GetStopPosition(&s))) {
            latest = SUCCEEDED(result) ? std::max(latest, s) : s;
            result = S_OK;
        }
    }
    if (SUCCEEDED(result)) *stop = latest;
    return result;
}

void CFilterGraph::ReadSegmentStartLocked() {
    segment_start_ = 0;
    for (const auto& t : SeekingTargetsLocked()) {
        LONGLONG position = 0;
        if (SUCCEEDED(t->GetCurrentPosition(&position))) {
            segment_start_ = position;
            return;
        }
    }
}

HRESULT CFilterGraph::GetCurrentPosition(LONGLONG* current) {
    if (!current) return E_POINTER;
    CAutoLock lock(&lock_);
    const auto targets = SeekingTargetsLocked();
    if (targets.empty()) return E_NOTIMPL;
    if (state_ != State_Stopped && clock_ && time_format_ == TIME_FORMAT_MEDIA_TIME) {
        // Playing on a clock: where the segment started plus the stream time elapsed since.
        REFERENCE_TIME elapsed =
            state_ == State_Running ? ClockNowLocked() - start_time_ : paused_stream_time_;
        elapsed = std::max<REFERENCE_TIME>(elapsed, 0);
        double rate = 1.0;
        targets.front()->GetRate(&rate);
        LONGLONG position = segment_start_ + static_cast<LONGLONG>(elapsed * rate);
        LONGLONG stop = 0;
        if (SUCCEEDED(targets.front()->GetStopPosition(&stop)) && stop > 0)
            position = std::min(position, stop);
        *current = position;
        return S_OK;
    }
    // No clock (a conversion runs as fast as it can) or stopped: the filters know best.
    for (const auto& t : targets)
        if (SUCCEEDED(t->GetCurrentPosition(current))) return S_OK;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::ConvertTimeFormat(LONGLONG* target, const GUID* target_format,
                                        LONGLONG source, const GUID* source_format) {
    if (!target) return E_POINTER;
    CAutoLock lock(&lock_);
    const GUID to = target_format ? *target_format : time_format_;
    const GUID from = source_format ? *source_format : time_format_;
    if (to == from) {
        *target = source;
        return S_OK;
    }
    for (const auto& t : SeekingTargetsLocked())
        if (SUCCEEDED(t->ConvertTimeFormat(target, &to, source, &from))) return S_OK;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                   DWORD stop_flags) {
    const DWORD current_positioning = current_flags & AM_SEEKING_PositioningBitsMask;
    const DWORD stop_positioning = stop_flags & AM_SEEKING_PositioningBitsMask;
    if ((current_positioning && !current) || (stop_positioning && !stop)) return E_POINTER;
    CAutoLock lock(&lock_);
    const auto targets = SeekingTargetsLocked();
    if (targets.empty()) return E_NOTIMPL;

    // A running graph pauses for the seek and runs again with stream time from 0.
    const bool was_running = state_ == State_Running;
    if (was_running) {
        for (const ComPtr<IBaseFilter>& filter : DownstreamFirstLocked()) filter->Pause();
        state_ = State_Paused;
    }
    HRESULT result = S_OK;
    bool any = false;
    for (const auto& t : targets) {
        LONGLONG c = current ? *current : 0;
        LONGLONG s = stop ? *stop : 0;
        const HRESULT hr =
            t->SetPositions(current ? &c : nullptr, current_flags, stop ? &s : nullptr, stop_flags);
        if (SUCCEEDED(hr)) {
            if (!any && (current_flags & AM_SEEKING_ReturnTime) && current) *current = c;
            if (!any && (stop_flags & AM_SEEKING_ReturnTime) && stop) *stop = s;
            any = true;
        } else if (SUCCEEDED(result)) {
            result = hr;
        }
    }
    if (current_positioning != AM_SEEKING_NoPositioning) {
        paused_stream_time_ = 0;
        ReadSegmentStartLocked();
        if (state_ != State_Stopped) ResetCompletionLocked();
    }
    if (was_running) {
        const HRESULT hr = RunLocked(std::nullopt);
        if (FAILED(hr)) return hr;
    }
    return any ? S_OK : result;
}

HRESULT CFilterGraph::GetPositions(LONGLONG* current, LONGLONG* stop) {
    HRESULT hr = S_OK;
    if (current) hr = GetCurrentPosition(current);
    if (SUCCEEDED(hr) && stop) hr = GetStopPosition(stop);
    return hr;
}

HRESULT CFilterGraph::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    CAutoLock lock(&lock_);
    for (const auto& t : SeekingTargetsLocked())
        if (SUCCEEDED(t->GetAvailable(earliest, latest))) return S_OK;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::SetRate(double rate) {
    if (rate == 0.0) return E_INVALIDARG;
    CAutoLock lock(&lock_);
    const auto targets = SeekingTargetsLocked();
    if (targets.empty()) return E_NOTIMPL;
    for (const auto& t : targets) {
        const HRESULT hr = t->SetRate(rate);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CFilterGraph::GetRate(double* rate) {
    if (!rate) return E_POINTER;
    CAutoLock lock(&lock_);
    for (const auto& t : SeekingTargetsLocked())
        if (SUCCEEDED(t->GetRate(rate))) return S_OK;
    return E_NOTIMPL;
}

HRESULT CFilterGraph::GetPreroll(LONGLONG* preroll) {
    if (!preroll) return E_POINTER;
    CAutoLock lock(&lock_);
    for (const auto& t : SeekingTargetsLocked())
        if (SUCCEEDED(t->GetPreroll(preroll))) return S_OK;
    return E_NOTIMPL;
}

}  // namespace

HRESULT CreateFilterGraph(IUnknown** graph) {
    if (!graph) return E_POINTER;
    CFilterGraph* created = new (std::nothrow) CFilterGraph;
    if (!created) return E_OUTOFMEMORY;
    *graph = ComPtr<IUnknown>(static_cast<IUnknown*>(static_cast<IFilterGraph*>(created))).Detach();
    return S_OK;
}

}  // namespace rizuvira::platform
