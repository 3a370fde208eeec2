// A sink for the decoder tests that looks at each picture or block of sound as it arrives and
// keeps only what the test extracts from it (a frame number, a tone level), so that a whole
// title of decoded pictures need not be held in memory. Accepts any type; records times,
// flags, end of stream and flushes in arrival order.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base_filter.h"
#include "platform/input_pin.h"

namespace decoder_test {

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
};

inline CRecordingPin::CRecordingPin(CRecordingSink* sink, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("Recording pin", sink, lock, hr, "In"), sink_(sink) {}

inline HRESULT CRecordingPin::CheckMediaType(const CMediaType* type) {
    return sink_->refused_subtype_ != GUID_NULL && type->subtype == sink_->refused_subtype_ ? S_FALSE : S_OK;
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
    return S_OK;
}

inline HRESULT CRecordingPin::EndOfStream() {
    std::lock_guard lock(sink_->mutex_);
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

}  // namespace decoder_test
