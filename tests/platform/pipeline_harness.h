// SPDX-License-Identifier: GPL-2.0-or-later
// Test harness for filters: a source whose output pin the test drives (it is the streaming
// thread), a sink that collects what arrives, and a transform for the generic tests.
//
//   CTestSource --"Out"--> filter under test --> CCollectingSink ("In")
//
// The sink records every sample (a copy of its data, times and flags), every end of stream,
// flush and new segment, under its own lock; WaitForSamples/WaitForEndOfStream block on a
// condition variable. The source's pin answers IMediaSeeking and records the seeks it gets,
// flushing downstream and starting a new segment for each, as a demultiplexer does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/base_filter.h"
#include "platform/input_pin.h"
#include "platform/output_pin.h"
#include "platform/pos_pass_thru.h"
#include "platform/seeking.h"
#include "platform/transform_filter.h"

namespace rizuvira::platform {

namespace harness {

inline constexpr GUID CLSID_TestSource = "6F0D2C55-3B1E-4C7A-8E21-0A9B5C3D7E11"_guid;
inline constexpr GUID CLSID_CollectingSink = "6F0D2C55-3B1E-4C7A-8E21-0A9B5C3D7E12"_guid;
inline constexpr GUID CLSID_TestInvert = "6F0D2C55-3B1E-4C7A-8E21-0A9B5C3D7E13"_guid;

// A media type of the test's own: video, subtype YV12, a VIDEOINFOHEADER of width x height.
CMediaType MakeVideoType(LONG width, LONG height);
// Audio PCM with a WAVEFORMATEX.
CMediaType MakeAudioType(WORD channels, DWORD rate);

struct SampleFlags {
    bool sync_point = false;
    bool discontinuity = false;
    bool preroll = false;
    std::optional<DWORD> video = std::nullopt;  // IMediaSampleVideoFlags; none: not set
};

class CTestSource;

class CTestSourcePin final : public CBaseOutputPin, public IMediaSeeking {
public:
    CTestSourcePin(CTestSource* filter, CCritSec* lock, HRESULT* hr);

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // IMediaSeeking: media time only, duration 10 s; SetPositions flushes downstream and sends
    // a new segment from the new position.
    HRESULT GetCapabilities(DWORD* capabilities) override;
    HRESULT CheckCapabilities(DWORD* capabilities) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT QueryPreferredFormat(GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT IsUsingTimeFormat(const GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) override {
        return E_NOTIMPL;
    }
    HRESULT SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                         DWORD stop_flags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    HRESULT GetPreroll(LONGLONG* preroll) override;

    int seek_count() const;
    LONGLONG current_position() const;

private:
    CTestSource* const source_;
    mutable std::mutex seek_mutex_;
    int seeks_ = 0;
    LONGLONG current_ = 0;
    LONGLONG stop_ = 10 * UNITS;
    double rate_ = 1.0;
};

class CTestSource final : public CBaseFilter {
public:
    explicit CTestSource(CMediaType type, LONG buffers = 4, LONG buffer_size = 4096);
    ~CTestSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    // Streaming side, called by the test. Push gets a buffer (blocking while none is free),
    // fills it and delivers it; it returns the delivery's result.
    HRESULT Push(const std::vector<BYTE>& data, std::optional<REFERENCE_TIME> start,
                 std::optional<REFERENCE_TIME> stop, SampleFlags flags = {},
                 const AM_MEDIA_TYPE* type_change = nullptr);
    HRESULT EndOfStream();
    HRESULT BeginFlush();
    HRESULT EndFlush();
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    CTestSourcePin* pin() { return &pin_; }
    const CMediaType& offered_type() const { return type_; }
    LONG buffers() const { return buffers_; }
    LONG buffer_size() const { return buffer_size_; }
    // The buffer of the sample Push delivered last.
    const BYTE* last_buffer() const { return last_buffer_; }

private:
    CCritSec lock_;
    CMediaType type_;
    LONG buffers_;
    LONG buffer_size_;
    const BYTE* last_buffer_ = nullptr;
    CTestSourcePin pin_;
};

struct ReceivedSample {
    std::vector<BYTE> data;
    const BYTE* buffer = nullptr;  // where the data lay in the sample
    HRESULT time_result = VFW_E_SAMPLE_TIME_NOT_SET;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool media_times = false;
    LONGLONG media_start = 0;
    LONGLONG media_stop = 0;
    SampleFlags flags;
    bool type_change = false;
};

// What the sink saw, in arrival order.
struct SinkEvent {
    enum Kind { kSample, kEndOfStream, kBeginFlush, kEndFlush, kNewSegment } kind;
    std::size_t sample_index = 0;  // kSample: index into samples
    REFERENCE_TIME start = 0;      // kNewSegment
    REFERENCE_TIME stop = 0;
    double rate = 0.0;
};

class CCollectingSink;

class CCollectingSinkPin final : public CBaseInputPin {
public:
    CCollectingSinkPin(CCollectingSink* filter, CCritSec* lock, HRESULT* hr);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    CCollectingSink* const sink_;
};

// A renderer-like sink: posts EC_COMPLETE on end of stream, passes seeking upstream.
class CCollectingSink final : public CBaseFilter {
public:
    // `major`, `subtype`: the only type accepted (GUID_NULL: any).
    explicit CCollectingSink(const GUID& major = GUID_NULL, const GUID& subtype = GUID_NULL);
    ~CCollectingSink() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;
    // Lets held samples go, as a renderer does when it stops.
    HRESULT Stop() override;

    // Hold up to `count` received samples (AddRef'd) instead of letting them go, so that the
    // upstream allocator runs dry; ReleaseHeld lets them go.
    void HoldSamples(std::size_t count);
    void ReleaseHeld();
    // With the gate closed, Receive waits (like a renderer waiting for a sample's time) until
    // the gate opens, a flush begins or the sink stops.
    void CloseGate();
    void OpenGate();
    void WaitUntilBlockedInReceive();
    // Receive refuses every sample with E_FAIL from now on, as a filter that breaks down.
    void FailReceives() { fail_receives_ = true; }

    void WaitForSamples(std::size_t count);
    void WaitForEndOfStream();

    std::vector<ReceivedSample> samples() const;
    std::vector<SinkEvent> events() const;
    int end_of_stream_count() const;
    void Clear();

    CCollectingSinkPin* pin() { return &pin_; }

private:
    friend class CCollectingSinkPin;
    void Record(IMediaSample* sample);
    void RecordEvent(SinkEvent event);

    CCritSec lock_;
    const GUID accepted_major_;
    const GUID accepted_subtype_;
    CCollectingSinkPin pin_;
    std::unique_ptr<CPosPassThru> position_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ReceivedSample> samples_;
    std::vector<SinkEvent> events_;
    std::vector<ComPtr<IMediaSample>> held_;
    std::size_t hold_limit_ = 0;
    std::atomic<bool> fail_receives_{false};
    int end_of_stream_ = 0;
    bool gate_closed_ = false;
    bool blocked_in_receive_ = false;
    bool released_ = false;  // a flush or stop let blocked receivers go
};

// A transform for the generic tests: inverts every byte; a sample whose first byte is 0xDD is
// dropped (Transform answers S_FALSE). Output type = input type.
class CInvertTransform final : public CTransformFilter {
public:
    CInvertTransform();

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

    int start_count() const { return starts_.load(); }
    int stop_count() const { return stops_.load(); }

    // Called on the streaming thread just before Receive asks for an output buffer.
    std::function<void()> before_output_buffer;

protected:
    HRESULT InitializeOutputSample(IMediaSample* in, ComPtr<IMediaSample>* out) override;

private:
    std::atomic<int> starts_{0};
    std::atomic<int> stops_{0};
};

// Bytes 0, 1, 2, ... of `size`, starting from `seed`.
std::vector<BYTE> Pattern(std::size_t size, BYTE seed);

}  // namespace harness

}  // namespace rizuvira::platform
