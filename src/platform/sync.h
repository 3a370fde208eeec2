// SPDX-License-Identifier: GPL-2.0-or-later
// Locks and events of the pipeline.
//
// CCritSec is recursive, like the locks the filters are written against: a filter's state
// change holds the filter lock while it calls into its pins, which take the same lock.
// CAMEvent is a manual- or auto-reset event built on a condition variable; waiting on it
// never polls.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/win_types.h"

namespace rizuvira::platform {

class CCritSec {
public:
    CCritSec() = default;
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }
    // For std::unique_lock / std::scoped_lock.
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a CCritSec for the lifetime of the object.
class CAutoLock {
public:
    explicit CAutoLock(CCritSec* lock) : lock_(lock) { lock_->Lock(); }
    ~CAutoLock() { lock_->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCritSec* lock_;
};

// A signalled/non-signalled flag that threads wait on. A manual-reset event stays signalled
// until Reset; an auto-reset event releases one waiter and resets itself.
class CAMEvent {
public:
    explicit CAMEvent(bool manual_reset = false) : manual_reset_(manual_reset) {}
    CAMEvent(const CAMEvent&) = delete;
    CAMEvent& operator=(const CAMEvent&) = delete;

    void Set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        if (manual_reset_)
            cv_.notify_all();
        else
            cv_.notify_one();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    // True when the event was signalled within timeout_ms (INFINITE waits for ever).
    bool Wait(DWORD timeout_ms = INFINITE) {
        std::unique_lock lock(mutex_);
        const auto ready = [this] { return signalled_; };
        if (timeout_ms == INFINITE) {
            cv_.wait(lock, ready);
        } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
            return false;
        }
        if (!manual_reset_) signalled_ = false;
        return true;
    }
    bool Check() { return Wait(0); }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
    const bool manual_reset_;
};

}  // namespace rizuvira::platform
