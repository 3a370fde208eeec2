// SPDX-License-Identifier: GPL-2.0-or-later
// Reference clocks. CBaseReferenceClock does the bookkeeping (monotonic GetTime, advise
// requests served by a thread of its own that waits on a condition variable until the next
// requested time); a derived clock supplies GetPrivateTime. CSystemClock runs on the system's
// monotonic clock.
//
// Threads: every method may be called from any thread. Events given to AdviseTime/
// AdvisePeriodic must outlive the advise (Unadvise it first; a one-shot advise ends when it
// fires).
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/interfaces.h"
#include "platform/sync.h"

namespace rizuvira::platform {

class CBaseReferenceClock : public CUnknown, public IReferenceClock {
public:
    explicit CBaseReferenceClock(const char* object_name, IUnknown* outer = nullptr);
    ~CBaseReferenceClock() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // Never goes backwards, even if GetPrivateTime does.
    HRESULT GetTime(REFERENCE_TIME* time) override;
    HRESULT AdviseTime(REFERENCE_TIME base, REFERENCE_TIME stream, CAMEvent* event,
                       DWORD_PTR* cookie) override;
    HRESULT AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period, CAMEvent* event,
                           DWORD_PTR* cookie) override;
    HRESULT Unadvise(DWORD_PTR cookie) override;

protected:
    // The clock's own time in 100 ns.
    virtual REFERENCE_TIME GetPrivateTime() = 0;
    // Derived classes call this in their destructor (the thread calls GetPrivateTime).
    void StopAdviseThread();

private:
    struct Advise {
        REFERENCE_TIME due;
        REFERENCE_TIME period;  // 0: one shot
        CAMEvent* event;
    };
    void AdviseThread();
    REFERENCE_TIME MonotonicTimeLocked();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<DWORD_PTR, Advise> advises_;
    DWORD_PTR next_cookie_ = 1;
    REFERENCE_TIME last_time_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

class CSystemClock final : public CBaseReferenceClock {
public:
    CSystemClock();
    ~CSystemClock() override;

protected:
    REFERENCE_TIME GetPrivateTime() override;
};

}  // namespace rizuvira::platform
