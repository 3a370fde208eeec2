// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/reference_clock.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace rizuvira::platform {

CBaseReferenceClock::CBaseReferenceClock(const char* object_name, IUnknown* outer)
    : CUnknown(object_name, outer) {}

CBaseReferenceClock::~CBaseReferenceClock() {
    StopAdviseThread();
}

HRESULT CBaseReferenceClock::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IReferenceClock::iid)
        return GetInterface(static_cast<IReferenceClock*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
}

REFERENCE_TIME CBaseReferenceClock::MonotonicTimeLocked() {
    last_time_ = std::max(last_time_, GetPrivateTime());
    return last_time_;
}

HRESULT CBaseReferenceClock::GetTime(REFERENCE_TIME* time) {
    if (!time) return E_POINTER;
    std::lock_guard lock(mutex_);
    *time = MonotonicTimeLocked();
    return S_OK;
}

HRESULT CBaseReferenceClock::AdviseTime(REFERENCE_TIME base, REFERENCE_TIME stream, CAMEvent* event,
                                        DWORD_PTR* cookie) {
    if (!event || !cookie) return E_POINTER;
    if (base < 0 || stream < 0) return E_INVALIDARG;
    {
        std::lock_guard lock(mutex_);
        if (stop_) return E_UNEXPECTED;
        *cookie = next_cookie_++;
        advises_[*cookie] = {base + stream, 0, event};
        if (!thread_.joinable()) thread_ = std::thread(&CBaseReferenceClock::AdviseThread, this);
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT CBaseReferenceClock::AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period,
                                            CAMEvent* event, DWORD_PTR* cookie) {
    if (!event || !cookie) return E_POINTER;
    if (start < 0 || period <= 0) return E_INVALIDARG;
    {
        std::lock_guard lock(mutex_);
        if (stop_) return E_UNEXPECTED;
        *cookie = next_cookie_++;
        advises_[*cookie] = {start, period, event};
        if (!thread_.joinable()) thread_ = std::thread(&CBaseReferenceClock::AdviseThread, this);
    }
    wake_.notify_all();
    return S_OK;
}

HRESULT CBaseReferenceClock::Unadvise(DWORD_PTR cookie) {
    std::lock_guard lock(mutex_);
    return advises_.erase(cookie) ? S_OK : S_FALSE;
}

void CBaseReferenceClock::StopAdviseThread() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void CBaseReferenceClock::AdviseThread() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const REFERENCE_TIME now = MonotonicTimeLocked();
        REFERENCE_TIME next_due = -1;
        for (auto it = advises_.begin(); it != advises_.end();) {
            Advise& advise = it->second;
            if (advise.due <= now) {
                advise.event->Set();
                if (advise.period == 0) {
                    it = advises_.erase(it);
                    continue;
                }
                // Skip periods that have already gone by.
                advise.due += ((now - advise.due) / advise.period + 1) * advise.period;
            }
            if (next_due < 0 || advise.due < next_due) next_due = advise.due;
            ++it;
        }
        if (next_due < 0) {
            wake_.wait(lock);
        } else {
            // Wait in steady time for the clock's remaining time; a clock that runs slower
            // than the steady one simply gets another round.
            wake_.wait_for(lock, std::chrono::microseconds((next_due - now + 9) / 10));
        }
    }
}

CSystemClock::CSystemClock() : CBaseReferenceClock("System clock") {}

CSystemClock::~CSystemClock() {
    StopAdviseThread();
}

REFERENCE_TIME CSystemClock::GetPrivateTime() {
    const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
}

}  // namespace rizuvira::platform
