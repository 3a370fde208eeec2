// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/async_io.h"

#include <limits>

namespace rizuvira::platform {

CAsyncIo::CAsyncIo(CAsyncStream* stream) : stream_(stream) {}

CAsyncIo::~CAsyncIo() {
    BeginFlush();
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    if (worker_.joinable()) worker_.join();
    std::deque<Request_> left;
    {
        std::lock_guard lock(mutex_);
        left.swap(done_);
    }
    for (Request_& r : left)
        if (r.sample) r.sample->Release();
}

LONG CAsyncIo::Alignment() {
    const DWORD align = stream_->RequiredAlignment();
    return align == 0 ? 1 : static_cast<LONG>(align);
}

void CAsyncIo::Perform(Request_* request) {
    request->actual = 0;
    request->at_end = false;
    stream_->LockStream();
    HRESULT hr = stream_->MoveToByte(request->position);
    if (SUCCEEDED(hr)) {
        DWORD actual = 0;
        hr = request->length > 0
                 ? stream_->ReadBytes(request->buffer, static_cast<DWORD>(request->length), &actual)
                 : S_OK;
        if (SUCCEEDED(hr)) {
            request->actual = static_cast<LONG>(actual);
            hr = request->actual < request->length ? S_FALSE : S_OK;
            // Judged under the stream lock: the length may shrink while reading.
            request->at_end = request->position + request->actual == stream_->TotalSize();
        }
    }
    stream_->UnlockStream();
    request->hr = hr;
}

HRESULT CAsyncIo::Request(LONGLONG position, LONG length, bool aligned, BYTE* buffer,
                          IMediaSample* sample, DWORD_PTR user) {
    if (!buffer && length > 0) return E_POINTER;
    if (position < 0 || length < 0) return E_INVALIDARG;
    if (aligned && (!IsAligned(position) || !IsAligned(length) ||
                    !IsAligned(static_cast<LONGLONG>(reinterpret_cast<std::uintptr_t>(buffer)))))
        return VFW_E_BADALIGN;
    {
        std::lock_guard lock(mutex_);
        if (flushing_) return VFW_E_WRONG_STATE;
        if (stop_) return E_UNEXPECTED;
        queue_.push_back({position, length, buffer, sample, user, 0, S_OK, false});
        if (!worker_.joinable()) worker_ = std::thread(&CAsyncIo::WorkerMain, this);
    }
    work_.notify_one();
    return S_OK;
}

void CAsyncIo::WorkerMain() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stop_ || (!flushing_ && !queue_.empty()); });
        if (stop_) return;
        Request_ request = queue_.front();
        queue_.pop_front();
        ++in_progress_;
        lock.unlock();
        Perform(&request);
        lock.lock();
        done_.push_back(request);
        --in_progress_;
        finished_.notify_all();
        if (in_progress_ == 0) all_done_.notify_all();
    }
}

HRESULT CAsyncIo::WaitForNext(DWORD timeout_ms, IMediaSample** sample, DWORD_PTR* user,
                              LONG* actual) {
    if (!sample || !user || !actual) return E_POINTER;
    *sample = nullptr;
    *user = 0;
    *actual = 0;
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return !done_.empty() || (flushing_ && in_progress_ == 0); };
    if (timeout_ms == INFINITE) {
        finished_.wait(lock, ready);
    } else if (!finished_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
        return VFW_E_TIMEOUT;
    }
    if (done_.empty()) return VFW_E_WRONG_STATE;
    const Request_ request = done_.front();
    done_.pop_front();
    *sample = request.sample;
    *user = request.user;
    *actual = request.actual;
    if (request.hr == S_FALSE) return request.at_end ? S_OK : E_FAIL;
    return request.hr;
}

HRESULT CAsyncIo::SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* actual) {
    if (!actual) return E_POINTER;
    *actual = 0;
    if (!buffer && length > 0) return E_POINTER;
    if (position < 0 || length < 0) return E_INVALIDARG;
    if (!IsAligned(position) || !IsAligned(length) ||
        !IsAligned(static_cast<LONGLONG>(reinterpret_cast<std::uintptr_t>(buffer))))
        return VFW_E_BADALIGN;
    Request_ request{position, length, buffer, nullptr, 0, 0, S_OK, false};
    Perform(&request);
    *actual = request.actual;
    return request.hr;
}

HRESULT CAsyncIo::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    if (!buffer && length > 0) return E_POINTER;
    if (position < 0 || length < 0) return E_INVALIDARG;
    Request_ request{position, length, buffer, nullptr, 0, 0, S_OK, false};
    Perform(&request);
    return request.hr;
}

HRESULT CAsyncIo::Length(LONGLONG* total, LONGLONG* available) {
    if (!total || !available) return E_POINTER;
    // Not under the stream lock: a read under way (which holds it) must not hold up a caller
    // that only asks for the length.
    *total = stream_->TotalSize(available);
    return S_OK;
}

HRESULT CAsyncIo::BeginFlush() {
    std::unique_lock lock(mutex_);
    flushing_ = true;
    while (!queue_.empty()) {
        Request_ request = queue_.front();
        queue_.pop_front();
        request.hr = VFW_E_WRONG_STATE;
        done_.push_back(request);
    }
    finished_.notify_all();
    all_done_.wait(lock, [this] { return in_progress_ == 0; });
    // Wake waiters again: with nothing in progress a waiter may now answer VFW_E_WRONG_STATE.
    finished_.notify_all();
    return S_OK;
}

HRESULT CAsyncIo::EndFlush() {
    std::lock_guard lock(mutex_);
    flushing_ = false;
    if (!done_.empty()) finished_.notify_all();
    if (!queue_.empty()) work_.notify_one();
    return S_OK;
}

}  // namespace rizuvira::platform
