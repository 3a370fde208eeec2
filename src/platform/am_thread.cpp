// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/am_thread.h"

namespace rizuvira::platform {

CAMThread::~CAMThread() {
    Close();
}

bool CAMThread::Create() {
    std::thread finished;
    {
        std::lock_guard lock(mutex_);
        if (running_) return false;
        finished = std::move(thread_);
    }
    if (finished.joinable()) finished.join();  // ThreadProc has returned already
    std::lock_guard lock(mutex_);
    if (running_ || thread_.joinable()) return false;  // another caller got there first
    running_ = true;
    pending_ = replied_ = false;
    thread_ = std::thread(&CAMThread::Main, this);
    return true;
}

void CAMThread::Main() {
    ThreadProc();
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    cv_.notify_all();
}

void CAMThread::Close() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        thread = std::move(thread_);
    }
    if (thread.joinable()) thread.join();
}

bool CAMThread::ThreadExists() {
    std::lock_guard lock(mutex_);
    return running_;
}

DWORD CAMThread::CallWorker(DWORD command) {
    std::lock_guard call_lock(call_mutex_);
    std::unique_lock lock(mutex_);
    if (!running_) return static_cast<DWORD>(E_FAIL);
    command_ = command;
    pending_ = true;
    replied_ = false;
    cv_.notify_all();
    cv_.wait(lock, [this] { return replied_ || !running_; });
    if (!replied_) {
        pending_ = false;
        return static_cast<DWORD>(E_FAIL);
    }
    replied_ = false;
    return result_;
}

DWORD CAMThread::GetRequest() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return pending_; });
    return command_;
}

bool CAMThread::CheckRequest(DWORD* command) {
    std::lock_guard lock(mutex_);
    if (!pending_) return false;
    if (command) *command = command_;
    return true;
}

void CAMThread::Reply(DWORD result) {
    {
        std::lock_guard lock(mutex_);
        result_ = result;
        pending_ = false;
        replied_ = true;
    }
    cv_.notify_all();
}

}  // namespace rizuvira::platform
