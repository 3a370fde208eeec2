// SPDX-License-Identifier: GPL-2.0-or-later
// CFilterGraph: positions, forwarded to the renderers that can seek, else to the sources
// that can.
#include "platform/filter_graph_impl.h"

namespace rizuvira::platform {

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

}  // namespace rizuvira::platform
