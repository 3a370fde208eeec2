// SPDX-License-Identifier: GPL-2.0-or-later
// The pull model's byte source and its request engine.
//
// CAsyncStream: an abstract seekable byte stream (the DVD stream, a plain file). The engine
// calls MoveToByte and ReadBytes only between LockStream and UnlockStream, so one read is
// performed at a time.
//
// CAsyncIo: reads requested byte ranges into sample buffers on one worker thread (started by
// the first Request, ended by the destructor), or at once on the caller's thread (the Sync*
// calls). Its request queue, finished list and in-progress count are guarded by its own lock;
// the worker waits for work, WaitForNext for a finished request and BeginFlush for the
// in-progress count to reach 0, each on a condition variable.
//
// Requests carry a sample: Request takes over the caller's reference to it, WaitForNext hands
// it back (also for requests that failed or were flushed); the destructor releases samples
// never collected. Performing a request: MoveToByte(start), then ReadBytes(length); a read that
// delivers fewer bytes than asked is a success only when it ends exactly at the stream's
// length (then WaitForNext reports S_OK and the shorter length), else E_FAIL.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/interfaces.h"

namespace rizuvira::platform {

class CAsyncStream {
public:
    virtual ~CAsyncStream() = default;
    // Positions the stream so that the next ReadBytes starts at byte `position`.
    virtual HRESULT MoveToByte(LONGLONG position) = 0;
    // Reads up to `count` bytes; *actual receives how many came. S_OK when at least one came
    // (or count was 0), a failure otherwise.
    virtual HRESULT ReadBytes(BYTE* destination, DWORD count, DWORD* actual) = 0;
    // The stream's length as now known; *available (when non-null) the bytes readable now.
    // Called with and without the stream lock, from any thread, also while a read is under
    // way: keep the length in an atomic (or behind a lock of its own).
    virtual LONGLONG TotalSize(LONGLONG* available = nullptr) = 0;
    virtual DWORD RequiredAlignment() = 0;
    virtual void LockStream() = 0;
    virtual void UnlockStream() = 0;
};

class CAsyncIo {
public:
    explicit CAsyncIo(CAsyncStream* stream);
    ~CAsyncIo();
    CAsyncIo(const CAsyncIo&) = delete;
    CAsyncIo& operator=(const CAsyncIo&) = delete;

    // Queues a read of `length` bytes at `position` into `buffer`. VFW_E_BADALIGN for an
    // unaligned aligned request, VFW_E_WRONG_STATE while flushing; on failure the caller
    // keeps its sample reference.
    HRESULT Request(LONGLONG position, LONG length, bool aligned, BYTE* buffer,
                    IMediaSample* sample, DWORD_PTR user);
    // The next finished request: its sample, user value, bytes read and result.
    // VFW_E_TIMEOUT when none finished within timeout_ms; VFW_E_WRONG_STATE while flushing with
    // nothing finished or in progress.
    HRESULT WaitForNext(DWORD timeout_ms, IMediaSample** sample, DWORD_PTR* user, LONG* actual);
    // Read at once on the caller's thread. S_OK for the whole length, S_FALSE when fewer bytes
    // came (*actual tells how many), a failure otherwise.
    HRESULT SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* actual);
    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer);
    HRESULT Length(LONGLONG* total, LONGLONG* available);
    LONG Alignment();
    bool IsAligned(LONGLONG value) { return value % Alignment() == 0; }

    // Moves queued requests to the finished list unperformed (their result
    // VFW_E_WRONG_STATE) and waits until the request being performed is finished.
    HRESULT BeginFlush();
    HRESULT EndFlush();

private:
    struct Request_ {
        LONGLONG position;
        LONG length;
        BYTE* buffer;
        IMediaSample* sample;
        DWORD_PTR user;
        LONG actual;
        HRESULT hr;   // S_FALSE: fewer bytes than asked
        bool at_end;  // the read stopped exactly at the stream's length
    };

    void Perform(Request_* request);
    void WorkerMain();

    CAsyncStream* const stream_;
    std::mutex mutex_;
    std::condition_variable work_;      // the worker: a request queued, or stop
    std::condition_variable finished_;  // WaitForNext: a request finished, or a flush
    std::condition_variable all_done_;  // BeginFlush: nothing in progress
    std::deque<Request_> queue_;
    std::deque<Request_> done_;
    int in_progress_ = 0;
    bool flushing_ = false;
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace rizuvira::platform
