// SPDX-License-Identifier: GPL-2.0-or-later
// A sink for the decoder tests that looks at each picture or block of sound as it arrives and
// keeps only what the test extracts from it (a frame number, a tone level), so that a whole
// title of decoded pictures need not be held in memory. Accepts any type; records times,
// flags, end of stream and flushes in arrival order.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base_filter.h"
#include "platform/input_pin.h"

namespace rizuvira::decoders {

// A 64-bit FNV-1a hash of the bytes: tells pictures apart, or a picture from a changed one.
inline uint64_t Fnv1a(const uint8_t* data, long bytes) {
    uint64_t sum = 1469598103934665603ull;
    for (long i = 0; i < bytes; ++i) sum = (sum ^ data[i]) * 1099511628211ull;
    return sum;
}

struct Arrival {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool timed = false;
    bool sync_point = false;
    bool discontinuity = false;
    long bytes = 0;
    double value = 0;  // what the inspector returned
};

class CRecordingSink;

class CRecordingPin final : public CBaseInputPin {
public:
    CRecordingPin(CRecordingSink* sink, CCritSec* lock, HRESULT* hr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;

private:
    CRecordingSink* const sink_;
};

class CRecordingSink final : public CBaseFilter {
public:
    // Called for each sample on the streaming thread with its data.
    using Inspector = std::function<double(const uint8_t* data, long bytes)>;

    explicit CRecordingSink(Inspector inspector = {})
        : CBaseFilter("Recording sink", nullptr, &lock_, GUID_NULL),
          inspector_(std::move(inspector)),
          pin_(std::make_unique<CRecordingPin>(this, &lock_, &hr_)) {}

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? pin_.get() : nullptr; }
    CRecordingPin* pin() { return pin_.get(); }
    // Makes the pin refuse types of this subtype from the next connection on.
    void Refuse(const GUID& subtype) { refused_subtype_ = subtype; }

    std::vector<Arrival> arrivals() {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    int end_of_stream_count() {
        std::lock_guard lock(mutex_);
        return end_of_stream_;
    }
    int flush_count() {
        std::lock_guard lock(mutex_);
        return flushes_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        arrivals_.clear();
    }
    // Keeps the last `count` samples received (all let go at end of stream), as a consumer
    // that holds pictures does, and counts those whose bytes changed while held.
    void HoldSamples(std::size_t count) { hold_count_ = count; }
    int changed_while_held() {
        std::lock_guard lock(mutex_);
        return changed_while_held_;
    }

private:
    friend class CRecordingPin;

    CCritSec lock_;
    HRESULT hr_ = S_OK;
    GUID refused_subtype_ = GUID_NULL;
    Inspector inspector_;
    std::unique_ptr<CRecordingPin> pin_;
    std::mutex mutex_;
    std::vector<Arrival> arrivals_;
    int end_of_stream_ = 0;
    int flushes_ = 0;

    struct HeldSample {
        ComPtr<IMediaSample> sample;
        uint64_t checksum;
    };
    static uint64_t Checksum(IMediaSample* sample) {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        return Fnv1a(data, sample->GetActualDataLength());
    }
    void LetGo(std::size_t keep) {  // under mutex_
        while (held_.size() > keep) {
            if (Checksum(held_.front().sample.Get()) != held_.front().checksum)
                ++changed_while_held_;
            held_.pop_front();
        }
    }
    std::size_t hold_count_ = 0;
    std::deque<HeldSample> held_;
    int changed_while_held_ = 0;
};

inline CRecordingPin::CRecordingPin(CRecordingSink* sink, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("Recording pin", sink, lock, hr, "In"), sink_(sink) {}

inline HRESULT CRecordingPin::CheckMediaType(const CMediaType* type) {
    return sink_->refused_subtype_ != GUID_NULL && type->subtype == sink_->refused_subtype_
               ? S_FALSE
               : S_OK;
}

inline HRESULT CRecordingPin::Receive(IMediaSample* sample) {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    Arrival a;
    a.timed = SUCCEEDED(sample->GetTime(&a.start, &a.stop));
    a.sync_point = sample->IsSyncPoint() == S_OK;
    a.discontinuity = sample->IsDiscontinuity() == S_OK;
    a.bytes = sample->GetActualDataLength();
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (sink_->inspector_) a.value = sink_->inspector_(data, a.bytes);
    std::lock_guard lock(sink_->mutex_);
    sink_->arrivals_.push_back(a);
    if (sink_->hold_count_ > 0) {
        sink_->held_.push_back({sample, CRecordingSink::Checksum(sample)});
        sink_->LetGo(sink_->hold_count_);
    }
    return S_OK;
}

inline HRESULT CRecordingPin::EndOfStream() {
    std::lock_guard lock(sink_->mutex_);
    sink_->LetGo(0);
    ++sink_->end_of_stream_;
    return S_OK;
}

inline HRESULT CRecordingPin::BeginFlush() {
    {
        std::lock_guard lock(sink_->mutex_);
        ++sink_->flushes_;
    }
    return CBaseInputPin::BeginFlush();
}

}  // namespace rizuvira::decoders
