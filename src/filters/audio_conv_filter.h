// SPDX-License-Identifier: GPL-2.0-or-later
// CMyAudioConveFilter: the audio converter stage. Interleaved PCM in and out, signed 16-bit or
// 32-bit float (float is offered first; 16-bit goes to a consumer that takes only that),
// converted to the channel count and sample rate set with SetAudioFormat (libswresample in
// float, downmixing with centre and surrounds at -3 dB and LFE left out), passed through a
// 512 KiB ring that decouples input and output sample sizes, and scaled by the volume. A
// conversion never clips: when a converted sample would pass full scale, the level of the
// rest of the stream is lowered just enough (it never rises again until the pins reconnect).
// Float that passes unconverted (same format, layout and rate) is left as it is.
//
// Every input sample yields one output sample with the same times, holding what the ring
// has, up to one output buffer (115200 bytes), in whole frames; it may be empty. Sound that
// does not fit the ring is dropped (whole frames, the end of the write). Sound still in the
// ring when the stream ends is not delivered; flushing and stopping keep the ring and the
// resampler's state.
//
// Threads: SetAudioFormat and SetVolume run on the application thread (atomics). Output
// format and volume are read when the pins connect (format) and once per sample (volume).
// Connection calls and Transform are serialised by stream_mutex_, which guards the types, the
// resampler, its buffer and the ring.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/av_handles.h"
#include "filters/byte_ring.h"
#include "platform/transform_filter.h"

namespace rizuvira::filters {

inline constexpr GUID CLSID_MyAudioConver = "F410BCFF-57B4-4A02-A1EE-41FC4C22A1C9"_guid;

struct IMyAudioConvFilter : virtual IUnknown {
    static constexpr GUID iid = "D9983DA2-084D-4BA4-BCD4-9C61DB0FC2B3"_guid;

    // Output channel count (low 16 bits) and sample rate in Hz, used when the pins next
    // connect. Until set, both follow the input.
    virtual HRESULT SetAudioFormat(int32_t channels, int32_t sample_rate_hz) = 0;
    // Factor in 1/256 steps (256: unchanged; negative inverts), read for every sample.
    virtual HRESULT SetVolume(int32_t volume) = 0;
};

inline constexpr const GUID& IID_IMyAudioConvFilter = IMyAudioConvFilter::iid;

class CMyAudioConveFilter final : public CTransformFilter, public IMyAudioConvFilter {
public:
    static constexpr uint16_t kSameChannels = 0xFFFF;
    static constexpr int32_t kSameRate = 0x0FFFFFFF;
    static constexpr int32_t kNeutralVolume = 256;
    static constexpr LONG kOutputBuffers = 4;
    static constexpr LONG kOutputBufferBytes = 115200;
    static constexpr std::size_t kRingBytes = 512 * 1024;
    static constexpr std::size_t kResampleBufferBytes = 256 * 1024;

    // A new filter with no references (take it with a ComPtr); null with E_OUTOFMEMORY in *hr
    // when it cannot be made.
    static CMyAudioConveFilter* CreateInstance(IUnknown* outer, HRESULT* hr);

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IMyAudioConvFilter
    HRESULT SetAudioFormat(int32_t channels, int32_t sample_rate_hz) override;
    HRESULT SetVolume(int32_t volume) override;

    // CTransformFilter
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* pin) override;

    bool IsResampling();

private:
    explicit CMyAudioConveFilter(IUnknown* outer);
    ~CMyAudioConveFilter() override;

    // Converts `frames` input frames into the ring, in pieces whose output fits the
    // resample buffer.
    HRESULT ResampleIntoRing(const uint8_t* input, int frames);
    // Turns `samples` float samples at the start of `buffer` into output samples in place, at
    // the headroom gain (lowered first when the piece would pass full scale). Returns the
    // bytes written.
    std::size_t StoreConverted(uint8_t* buffer, std::size_t samples);
    int OutputSampleBytes() const { return float_output_ ? 4 : 2; }

    std::atomic<uint16_t> out_channels_{kSameChannels};
    std::atomic<int32_t> out_rate_hz_{kSameRate};
    std::atomic<int32_t> volume_{kNeutralVolume};

    std::mutex stream_mutex_;
    CMediaType input_type_;                 // guarded by stream_mutex_
    CMediaType output_type_;                // guarded by stream_mutex_
    bool resample_on_ = false;              // guarded; converting on this connection
    bool resampled_ = false;                // guarded; converted on a completed one: never cleared
    bool float_output_ = false;             // guarded; the output connection's format
    core::av::SwrContextPtr resampler_;     // guarded
    std::vector<uint8_t> resample_buffer_;  // guarded; made at the first resampler set-up
    float headroom_ = 1.0f;                 // guarded; gain that keeps samples in range
    int input_frame_bytes_ = 0;             // guarded
    int output_frame_bytes_ = 0;            // guarded
    rizuvira::filters::ByteRing ring_{kRingBytes};  // guarded
};

}  // namespace rizuvira::filters
