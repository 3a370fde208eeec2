// SPDX-License-Identifier: GPL-2.0-or-later
// COutputQueue: hands samples and stream control to a downstream input pin, in order, on a
// thread of its own (queued mode) or directly on the caller's thread.
//
// Ownership: Receive and ReceiveMultiple take over the caller's reference to each sample
// (AddRef before passing a sample you keep); the queue releases it after delivery, on a
// flush, on a delivery failure and on destruction.
//
// Order: samples, EOS and NewSegment reach the downstream pin in the order they were given.
// Samples go out in batches of up to `batch_size` through ReceiveMultiple; with
// `batch_exact` a batch waits until it is full (or EOS, NewSegment or SendAnyway pushes it).
// `list_size` bounds the samples waiting in the queue (0: unbounded): Receive blocks while it
// is full, so a stalled downstream slows the upstream instead of growing memory.
//
// Flushing: BeginFlush drops everything queued, then calls the downstream BeginFlush at once
// (so a downstream blocked in Receive lets go); samples given while flushing are dropped
// (Receive answers S_FALSE). EndFlush waits until the queue's thread is idle, then calls the
// downstream EndFlush and clears a recorded delivery failure.
//
// Failure: the first failing downstream Receive is recorded; later samples are dropped and
// Receive returns that result until EndFlush or Reset.
//
// Threads: one producer thread (the owning pin's streaming thread) calls Receive, EOS,
// NewSegment; flushing may come from another thread. The queue's own thread is started by the
// constructor and ended by the destructor. `priority` is accepted for compatibility; the
// thread runs at the process's normal priority.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/interfaces.h"

namespace rizuvira::platform {

class COutputQueue {
public:
    static constexpr LONG kDefaultListSize = 10;

    // `auto_mode`: queue exactly when the downstream pin's ReceiveCanBlock says S_OK;
    // otherwise `queue` decides. *hr receives E_NOINTERFACE for a pin without IMemInputPin.
    COutputQueue(IPin* input_pin, HRESULT* hr, bool auto_mode = true, bool queue = true,
                 LONG batch_size = 1, bool batch_exact = false, LONG list_size = kDefaultListSize,
                 DWORD priority = 0, bool flushing_opt = false);
    ~COutputQueue();
    COutputQueue(const COutputQueue&) = delete;
    COutputQueue& operator=(const COutputQueue&) = delete;

    HRESULT Receive(IMediaSample* sample);
    HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed);
    void EOS();
    void NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    void BeginFlush();
    void EndFlush();
    // Sends a partial batch now.
    void SendAnyway();
    // Clears a recorded delivery failure.
    void Reset();
    // Nothing queued and nothing being delivered.
    bool IsIdle();
    bool IsQueued() const { return queued_; }

private:
    enum class Kind { kSample, kEndOfStream, kNewSegment };
    struct Entry {
        Kind kind;
        IMediaSample* sample;  // kSample: the reference the queue owns
        REFERENCE_TIME start;
        REFERENCE_TIME stop;
        double rate;
    };

    void ThreadMain();
    bool ReadyLocked() const;
    LONG QueuedSamplesLocked() const;

    ComPtr<IPin> pin_;
    ComPtr<IMemInputPin> input_;
    bool queued_ = true;
    const LONG batch_size_;
    const bool batch_exact_;
    const LONG list_size_;

    std::mutex mutex_;
    std::condition_variable work_;   // wakes the thread
    std::condition_variable space_;  // wakes a producer waiting for room
    std::condition_variable idle_;   // wakes EndFlush
    std::deque<Entry> list_;
    bool terminate_ = false;
    bool flushing_ = false;
    bool send_anyway_ = false;
    bool busy_ = false;  // the thread is delivering outside the lock
    HRESULT result_ = S_OK;
    std::thread thread_;
};

}  // namespace rizuvira::platform
