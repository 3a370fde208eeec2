// SPDX-License-Identifier: GPL-2.0-or-later
// CFilterGraph: state changes, the clock and the filters' events.
#include "platform/filter_graph_impl.h"

#include <algorithm>
#include <chrono>

#include "platform/reference_clock.h"

namespace rizuvira::platform {

namespace {

// Stream time 0 lies this far after the clock's now when the graph runs, so every filter has
// its start time before the first sample is due.
constexpr REFERENCE_TIME kRunDelay = 10 * MILLISECONDS;

}  // namespace

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

}  // namespace rizuvira::platform
