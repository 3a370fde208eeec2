// SPDX-License-Identifier: GPL-2.0-or-later
// Feeds arbitrary bytes to the MPEG splitter: the stream parser's detection and stream search
// when the input connects, then a whole delivery run (with a seek first for odd sizes) into
// sinks that drop what they get. A run must end with an end of stream on every pin.
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "demux/mpeg_splitter.h"
#include "demux/vobu_clock.h"
#include "platform/async_reader.h"
#include "platform/input_pin.h"

using namespace rizuvira;

namespace {

using namespace rizuvira::demux;

constexpr GUID kClsidMemorySource = "3C1F77A2-5D0B-4E63-9B1A-6A2E4F8D9C01"_guid;
constexpr GUID kClsidNullSink = "3C1F77A2-5D0B-4E63-9B1A-6A2E4F8D9C02"_guid;

class MemoryStream final : public CAsyncStream {
public:
    MemoryStream(const uint8_t* data, size_t size) : data_(data, data + size) {}
    HRESULT MoveToByte(LONGLONG position) override {
        if (position < 0 || position > static_cast<LONGLONG>(data_.size())) return E_FAIL;
        position_ = position;
        return S_OK;
    }
    HRESULT ReadBytes(BYTE* destination, DWORD count, DWORD* actual) override {
        const LONGLONG left = static_cast<LONGLONG>(data_.size()) - position_;
        const DWORD n = static_cast<DWORD>(std::min<LONGLONG>(left, count));
        if (n) std::memcpy(destination, data_.data() + position_, n);
        position_ += n;
        *actual = n;
        return n || count == 0 ? S_OK : E_FAIL;
    }
    LONGLONG TotalSize(LONGLONG* available) override {
        if (available) *available = static_cast<LONGLONG>(data_.size());
        return static_cast<LONGLONG>(data_.size());
    }
    DWORD RequiredAlignment() override { return 1; }
    void LockStream() override { lock_.Lock(); }
    void UnlockStream() override { lock_.Unlock(); }

private:
    std::vector<uint8_t> data_;
    LONGLONG position_ = 0;
    CCritSec lock_;
};

class MemorySource final : public CAsyncReader {
public:
    MemorySource(MemoryStream* stream, HRESULT* hr)
        : CAsyncReader("memory source", nullptr, stream, hr, kClsidMemorySource) {
        m_mt.majortype = MEDIATYPE_Stream;
    }
};

class NullSink;

class NullSinkPin final : public CBaseInputPin {
public:
    NullSinkPin(NullSink* sink, CCritSec* lock, HRESULT* hr);
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT Receive(IMediaSample* sample) override { return CBaseInputPin::Receive(sample); }
    HRESULT EndOfStream() override;

private:
    NullSink* sink_;
};

class NullSink final : public CBaseFilter {
public:
    NullSink()
        : CBaseFilter("null sink", nullptr, &lock_, kClsidNullSink), pin_(this, &lock_, nullptr) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
    NullSinkPin* pin() { return &pin_; }
    void Ended() {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }
    void WaitForEnd() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return ended_; });
    }

private:
    CCritSec lock_;
    NullSinkPin pin_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
};

NullSinkPin::NullSinkPin(NullSink* sink, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("null sink pin", sink, lock, hr, "In"), sink_(sink) {}

HRESULT NullSinkPin::EndOfStream() {
    sink_->Ended();
    return S_OK;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every sector as a DVD navigation pack, as the VOB length probe reads them.
    for (size_t at = 0; at < size; at += 2048) {
        NavigationSector nav;
        ReadNavigationSector(std::span<const uint8_t>(data + at, std::min<size_t>(2048, size - at)),
                             &nav);
    }
    MemoryStream stream(data, size);
    HRESULT hr = S_OK;
    ComPtr<IBaseFilter> source(new MemorySource(&stream, &hr));
    IBaseFilter* raw = nullptr;
    if (FAILED(CreateMpegSplitter(nullptr, &raw))) return 0;
    ComPtr<IBaseFilter> splitter = ComPtr<IBaseFilter>::Adopt(raw);

    ComPtr<IPin> output, input;
    source->FindPin("Output", output.ReleaseAndGetAddressOf());
    splitter->FindPin("Input", input.ReleaseAndGetAddressOf());
    if (FAILED(output->Connect(input.Get(), nullptr))) return 0;

    std::vector<ComPtr<IBaseFilter>> sinks;
    std::vector<NullSink*> connected;
    std::vector<ComPtr<IPin>> pins;
    splitter->EnumPins(&pins);
    for (auto& pin : pins) {
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction != PINDIR_OUTPUT) continue;
        auto* sink = new NullSink();
        sinks.emplace_back(sink);
        if (SUCCEEDED(pin->Connect(sink->pin(), nullptr))) connected.push_back(sink);
    }
    if (size % 2) {
        LONGLONG position = 3 * UNITS;
        splitter.As<IMediaSeeking>()->SetPositions(&position, AM_SEEKING_AbsolutePositioning,
                                                   nullptr, 0);
    }
    for (auto& sink : sinks) sink->Pause();
    splitter->Pause();
    for (auto& sink : sinks) sink->Run(0);
    splitter->Run(0);
    for (NullSink* sink : connected) sink->WaitForEnd();
    for (auto& sink : sinks) sink->Stop();
    splitter->Stop();
    for (auto& pin : pins) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf()))) {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    input->Disconnect();
    output->Disconnect();
    return 0;
}
