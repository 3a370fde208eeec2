// SPDX-License-Identifier: GPL-2.0-or-later
// CAMThread: a worker thread that takes commands from other threads.
//
// A caller sends a command with CallWorker, which blocks until the worker answers with Reply;
// callers are served one at a time. The worker reads the command with GetRequest (blocking) or
// looks for one with CheckRequest (non-blocking: the command stays pending until Reply, so a
// worker loop may notice it with CheckRequest, leave its inner loop, and read it with
// GetRequest).
//
// Lifetime: Create starts ThreadProc on a new thread; Close waits for it to end (the derived
// class makes ThreadProc return, normally on an exit command). ThreadExists is true while
// ThreadProc runs. Create fails while ThreadProc runs; once it has returned Create starts a new
// thread. A worker told to exit may still be finishing when CallWorker returns, so a filter that
// makes its worker on every pause from stopped sends the exit command and then calls Close
// when it stops. A derived class must Close before its own members go away (call Close in its
// destructor). If ThreadProc returns while a caller waits, or before a
// command is sent, CallWorker returns E_FAIL instead of waiting for ever.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/win_types.h"

namespace rizuvira::platform {

class CAMThread {
public:
    CAMThread() = default;
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the thread; false while one is running.
    bool Create();
    // Waits for the thread to end.
    void Close();
    // True while ThreadProc runs.
    bool ThreadExists();

    // Application side: sends `command` and waits for the worker's Reply value.
    DWORD CallWorker(DWORD command);

    // Worker side.
    DWORD GetRequest();
    bool CheckRequest(DWORD* command);
    void Reply(DWORD result);

protected:
    virtual DWORD ThreadProc() = 0;

private:
    void Main();

    std::mutex call_mutex_;  // one caller at a time
    std::mutex mutex_;       // guards the fields below
    std::condition_variable cv_;
    std::thread thread_;
    bool running_ = false;
    bool pending_ = false;
    bool replied_ = false;
    DWORD command_ = 0;
    DWORD result_ = 0;
};

}  // namespace rizuvira::platform
