// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/output_queue.h"

#include <algorithm>

namespace rizuvira::platform {

COutputQueue::COutputQueue(IPin* input_pin, HRESULT* hr, bool auto_mode, bool queue,
                           LONG batch_size, bool batch_exact, LONG list_size, DWORD, bool)
    : pin_(input_pin),
      batch_size_(std::max<LONG>(1, batch_size)),
      batch_exact_(batch_exact),
      list_size_(std::max<LONG>(0, list_size)) {
    const HRESULT qi = QueryInterfaceAs(input_pin, &input_);
    if (FAILED(qi)) {
        if (hr) *hr = E_NOINTERFACE;
        queued_ = false;
        return;
    }
    queued_ = auto_mode ? input_->ReceiveCanBlock() == S_OK : queue;
    if (queued_) thread_ = std::thread(&COutputQueue::ThreadMain, this);
}

COutputQueue::~COutputQueue() {
    std::deque<Entry> left;
    {
        std::lock_guard lock(mutex_);
        terminate_ = true;
    }
    work_.notify_all();
    space_.notify_all();
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(mutex_);
        left.swap(list_);
    }
    for (Entry& e : left)
        if (e.sample) e.sample->Release();
}

LONG COutputQueue::QueuedSamplesLocked() const {
    return static_cast<LONG>(std::count_if(list_.begin(), list_.end(),
                                           [](const Entry& e) { return e.kind == Kind::kSample; }));
}

bool COutputQueue::ReadyLocked() const {
    if (list_.empty()) return false;
    if (list_.front().kind != Kind::kSample) return true;
    if (!batch_exact_ || send_anyway_) return true;
    LONG run = 0;
    for (const Entry& e : list_) {
        if (e.kind != Kind::kSample) return true;  // a control entry pushes the batch out
        if (++run >= batch_size_) return true;
    }
    return false;
}

void COutputQueue::ThreadMain() {
    std::unique_lock lock(mutex_);
    std::vector<IMediaSample*> batch;
    for (;;) {
        work_.wait(lock, [this] { return terminate_ || ReadyLocked(); });
        if (terminate_) return;

        Entry front = list_.front();
        if (front.kind != Kind::kSample) {
            list_.pop_front();
            busy_ = true;
            lock.unlock();
            if (front.kind == Kind::kEndOfStream)
                pin_->EndOfStream();
            else
                pin_->NewSegment(front.start, front.stop, front.rate);
            lock.lock();
        } else {
            batch.clear();
            while (!list_.empty() && list_.front().kind == Kind::kSample &&
                   static_cast<LONG>(batch.size()) < batch_size_) {
                batch.push_back(list_.front().sample);
                list_.pop_front();
            }
            if (QueuedSamplesLocked() == 0) send_anyway_ = false;
            busy_ = true;
            const bool deliver = SUCCEEDED(result_) && !flushing_;
            lock.unlock();
            space_.notify_all();
            HRESULT hr = S_OK;
            if (deliver) {
                LONG processed = 0;
                hr = input_->ReceiveMultiple(batch.data(), static_cast<LONG>(batch.size()),
                                             &processed);
            }
            for (IMediaSample* s : batch) s->Release();
            lock.lock();
            if (deliver && hr != S_OK && !flushing_ && SUCCEEDED(result_))
                result_ = FAILED(hr) ? hr : S_FALSE;
        }
        busy_ = false;
        idle_.notify_all();
    }
}

HRESULT COutputQueue::Receive(IMediaSample* sample) {
    LONG processed = 0;
    return ReceiveMultiple(&sample, 1, &processed);
}

HRESULT COutputQueue::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
    if (!samples || !processed) return E_POINTER;
    *processed = 0;
    if (!input_) {
        for (LONG i = 0; i < count; ++i) samples[i]->Release();
        return VFW_E_NOT_CONNECTED;
    }
    if (!queued_) {
        HRESULT hr;
        {
            std::lock_guard lock(mutex_);
            hr = result_;
        }
        if (hr == S_OK) {
            hr = input_->ReceiveMultiple(samples, count, processed);
            std::lock_guard lock(mutex_);
            if (FAILED(hr) && !flushing_) result_ = hr;
        }
        for (LONG i = 0; i < count; ++i) samples[i]->Release();
        return hr;
    }

    LONG i = 0;
    HRESULT hr = S_OK;
    {
        std::unique_lock lock(mutex_);
        for (; i < count; ++i) {
            space_.wait(lock, [this] {
                return terminate_ || flushing_ || FAILED(result_) || list_size_ == 0 ||
                       QueuedSamplesLocked() < list_size_;
            });
            if (terminate_ || flushing_ || FAILED(result_)) {
                hr = flushing_ ? S_FALSE : (FAILED(result_) ? result_ : VFW_E_WRONG_STATE);
                break;
            }
            list_.push_back({Kind::kSample, samples[i], 0, 0, 0.0});
            ++*processed;
            work_.notify_one();
        }
    }
    for (; i < count; ++i) samples[i]->Release();  // dropped
    return hr;
}

void COutputQueue::EOS() {
    if (!queued_) {
        if (pin_) pin_->EndOfStream();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (flushing_) return;
        list_.push_back({Kind::kEndOfStream, nullptr, 0, 0, 0.0});
    }
    work_.notify_one();
}

void COutputQueue::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    if (!queued_) {
        if (pin_) pin_->NewSegment(start, stop, rate);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        list_.push_back({Kind::kNewSegment, nullptr, start, stop, rate});
    }
    work_.notify_one();
}

void COutputQueue::BeginFlush() {
    std::deque<Entry> dropped;
    {
        std::lock_guard lock(mutex_);
        flushing_ = true;
        dropped.swap(list_);
        send_anyway_ = false;
    }
    space_.notify_all();
    for (Entry& e : dropped)
        if (e.sample) e.sample->Release();
    if (pin_) pin_->BeginFlush();
}

void COutputQueue::EndFlush() {
    {
        std::unique_lock lock(mutex_);
        // Whatever the thread is delivering now was taken before the flush; let it finish so
        // that nothing old reaches the pin after its EndFlush.
        idle_.wait(lock, [this] { return !busy_ || terminate_; });
        flushing_ = false;
        result_ = S_OK;
    }
    if (pin_) pin_->EndFlush();
}

void COutputQueue::SendAnyway() {
    {
        std::lock_guard lock(mutex_);
        send_anyway_ = true;
    }
    work_.notify_one();
}

void COutputQueue::Reset() {
    std::lock_guard lock(mutex_);
    result_ = S_OK;
}

bool COutputQueue::IsIdle() {
    std::lock_guard lock(mutex_);
    return list_.empty() && !busy_;
}

}  // namespace rizuvira::platform
