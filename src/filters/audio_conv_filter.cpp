// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/audio_conv_filter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

namespace rizuvira::filters {

using namespace rizuvira::filters;

namespace {

constexpr double kMinus3dB = 0.70710678118654752;  // 1 / sqrt(2)
// The largest level a 16-bit sample holds, as a float sample (1.0 is one step past it).
constexpr float kFullScale = 32767.0f / 32768.0f;

// An AVChannelLayout that is uninitialised on destruction.
class ChannelLayout {
public:
    ChannelLayout() = default;
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    AVChannelLayout* get() { return &layout_; }

private:
    AVChannelLayout layout_{};
};

// The input's speaker layout: the extensible format's channel mask when it names as many
// speakers as there are channels, else FFmpeg's default for the count.
void InputLayout(const CMediaType& type, AVChannelLayout* layout) {
    const auto* wfx = type.FormatAs<WAVEFORMATEX>();
    const auto* extensible = type.FormatAs<WAVEFORMATEXTENSIBLE>();
    if (wfx->wFormatTag == WAVE_FORMAT_EXTENSIBLE && extensible &&
        std::popcount(extensible->dwChannelMask) == wfx->nChannels &&
        av_channel_layout_from_mask(layout, extensible->dwChannelMask) == 0)
        return;
    av_channel_layout_default(layout, wfx->nChannels);
}

// Float input: IEEE_FLOAT with a plain WAVEFORMATEX of 32-bit samples.
bool IsFloat(const CMediaType& type) {
    return type.subtype == MEDIASUBTYPE_IEEE_FLOAT;
}

int16_t LoadSample(const uint8_t* p) {
    int16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

void StoreSample(uint8_t* p, int16_t value) {
    std::memcpy(p, &value, sizeof value);
}

}  // namespace

CMyAudioConveFilter* CMyAudioConveFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
    return NewObject([outer] { return new CMyAudioConveFilter(outer); }, hr);
}

CMyAudioConveFilter::CMyAudioConveFilter(IUnknown* outer)
    : CTransformFilter("AudioConver", outer, CLSID_MyAudioConver) {}

CMyAudioConveFilter::~CMyAudioConveFilter() = default;

HRESULT CMyAudioConveFilter::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyAudioConvFilter::iid)
        return GetInterface(static_cast<IMyAudioConvFilter*>(this), object);
    return CTransformFilter::NonDelegatingQueryInterface(riid, object);
}

HRESULT CMyAudioConveFilter::SetAudioFormat(int32_t channels, int32_t sample_rate_hz) {
    out_channels_ = static_cast<uint16_t>(channels & 0xFFFF);
    out_rate_hz_ = sample_rate_hz;
    return S_OK;
}

HRESULT CMyAudioConveFilter::SetVolume(int32_t volume) {
    volume_ = volume;
    return S_OK;
}

bool CMyAudioConveFilter::IsResampling() {
    std::lock_guard lock(stream_mutex_);
    return resample_on_ && resampler_;
}

// ---------------------------------------------------------------------------------------
// Connection

HRESULT CMyAudioConveFilter::CheckInputType(const CMediaType* type) {
    if (!type) return E_POINTER;
    if (type->majortype != MEDIATYPE_Audio || type->formattype != FORMAT_WaveFormatEx)
        return VFW_E_TYPE_NOT_ACCEPTED;
    // Frames are counted by channels and the resampler needs a rate.
    const auto* wfx = type->FormatAs<WAVEFORMATEX>();
    if (!wfx || wfx->nChannels == 0 || wfx->nSamplesPerSec == 0) return VFW_E_TYPE_NOT_ACCEPTED;
    if (type->subtype == MEDIASUBTYPE_PCM && wfx->wBitsPerSample == 16) return S_OK;
    if (IsFloat(*type) && wfx->wFormatTag == WAVE_FORMAT_IEEE_FLOAT && wfx->wBitsPerSample == 32)
        return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMyAudioConveFilter::CheckTransform(const CMediaType*, const CMediaType*) {
    return S_OK;
}

HRESULT CMyAudioConveFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type) {
    if (!type) return E_POINTER;
    std::lock_guard lock(stream_mutex_);
    if (direction == PINDIR_INPUT) {
        if (FAILED(input_type_.Set(*type))) return E_OUTOFMEMORY;
        const auto* wfx = input_type_.FormatAs<WAVEFORMATEX>();
        if (!wfx) return VFW_E_TYPE_NOT_ACCEPTED;
        uint16_t same_channels = kSameChannels;
        out_channels_.compare_exchange_strong(same_channels, wfx->nChannels);
        int32_t same_rate = kSameRate;
        out_rate_hz_.compare_exchange_strong(same_rate, static_cast<int32_t>(wfx->nSamplesPerSec));
        if (FAILED(output_type_.Set(input_type_))) return E_OUTOFMEMORY;
        if (IsFloat(input_type_)) {
            // Float in, 16-bit out, through the converter even at the same layout and rate.
            auto* out = output_type_.FormatAs<WAVEFORMATEX>();
            output_type_.subtype = MEDIASUBTYPE_PCM;
            out->wFormatTag = WAVE_FORMAT_PCM;
            out->wBitsPerSample = 16;
            out->nBlockAlign = static_cast<WORD>(out->nChannels * 2);
            out->nAvgBytesPerSec = out->nSamplesPerSec * out->nBlockAlign;
            output_type_.SetSampleSize(out->nBlockAlign);
        }
        return S_OK;
    }
    if (direction != PINDIR_OUTPUT) return S_OK;

    const auto* wfx = input_type_.FormatAs<WAVEFORMATEX>();
    if (!wfx) return E_UNEXPECTED;
    float_output_ = IsFloat(*type);
    const int in_channels = wfx->nChannels;
    const int in_rate_hz = static_cast<int>(wfx->nSamplesPerSec);
    const int out_channels = out_channels_.load();
    const int out_rate_hz = out_rate_hz_.load();
    const bool float_input = IsFloat(input_type_);
    // Once converting, the filter goes on converting; a connection that fails part way (a
    // type the downstream pin refuses) does not count.
    resample_on_ = resampled_ || in_channels != out_channels || in_rate_hz != out_rate_hz ||
                   float_input != float_output_;
    resampler_.reset();
    if (resample_on_) {
        if (out_channels <= 0 || out_rate_hz <= 0) return E_FAIL;
        ChannelLayout in_layout;
        ChannelLayout out_layout;
        InputLayout(input_type_, in_layout.get());
        av_channel_layout_default(out_layout.get(), out_channels);
        SwrContext* raw = nullptr;
        if (swr_alloc_set_opts2(
                &raw, out_layout.get(), AV_SAMPLE_FMT_FLT, out_rate_hz, in_layout.get(),
                float_input ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16, in_rate_hz, 0, nullptr) < 0)
            return E_FAIL;
        core::av::SwrContextPtr resampler(raw);
        // The usual downmix levels: centre and surrounds at -3 dB, LFE left out. Float output
        // keeps the resampler from scaling the matrix down to rule out every overload (7.6 dB
        // quieter for 5.1 into stereo); StoreConverted lowers the level only when a sample
        // would really pass full scale.
        av_opt_set_double(resampler.get(), "center_mix_level", kMinus3dB, 0);
        av_opt_set_double(resampler.get(), "surround_mix_level", kMinus3dB, 0);
        av_opt_set_double(resampler.get(), "lfe_mix_level", 0.0, 0);
        av_opt_set_sample_fmt(resampler.get(), "internal_sample_fmt", AV_SAMPLE_FMT_FLTP, 0);
        // A 16-tap polyphase filter of 2^10 phases, no interpolation between phases, cut-off
        // at 0.8 of the lower Nyquist frequency.
        av_opt_set_int(resampler.get(), "filter_size", 16, 0);
        av_opt_set_int(resampler.get(), "phase_shift", 10, 0);
        av_opt_set_int(resampler.get(), "linear_interp", 0, 0);
        av_opt_set_double(resampler.get(), "cutoff", 0.8, 0);
        if (swr_init(resampler.get()) < 0) return E_FAIL;
        try {
            if (resample_buffer_.empty()) resample_buffer_.resize(kResampleBufferBytes);
        } catch (const std::bad_alloc&) {
            return E_FAIL;
        }
        resampler_ = std::move(resampler);
        headroom_ = 1.0f;
    }
    input_frame_bytes_ = (float_input ? 4 : 2) * in_channels;
    output_frame_bytes_ = OutputSampleBytes() * (resample_on_ ? out_channels : in_channels);
    return S_OK;
}

HRESULT CMyAudioConveFilter::CompleteConnect(PIN_DIRECTION direction, IPin*) {
    std::lock_guard lock(stream_mutex_);
    if (direction == PINDIR_OUTPUT) resampled_ = resample_on_;
    return S_OK;
}

HRESULT CMyAudioConveFilter::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (!m_pInput->IsConnected() || position < 0 || position > 1) return VFW_S_NO_MORE_ITEMS;
    std::lock_guard lock(stream_mutex_);
    CMediaType proposed = output_type_;
    auto* wfx = proposed.FormatAs<WAVEFORMATEX>();
    if (!wfx) return VFW_S_NO_MORE_ITEMS;
    // Float first (an encoder then gets the mix at full precision), 16-bit second; an
    // extensible format is offered as 16-bit only.
    const bool float_offered = wfx->wFormatTag == WAVE_FORMAT_PCM;
    if (!float_offered && position > 0) return VFW_S_NO_MORE_ITEMS;
    if (float_offered && position == 0) {
        proposed.subtype = MEDIASUBTYPE_IEEE_FLOAT;
        wfx->wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
        wfx->wBitsPerSample = 32;
    }
    const uint16_t channels = out_channels_.load();
    const auto rate_hz = static_cast<DWORD>(out_rate_hz_.load());
    const bool new_layout = wfx->nChannels != channels;
    wfx->nChannels = channels;
    wfx->nSamplesPerSec = rate_hz;
    wfx->nBlockAlign = static_cast<WORD>(channels * wfx->wBitsPerSample / 8);
    wfx->nAvgBytesPerSec = static_cast<DWORD>(wfx->nBlockAlign) * rate_hz;
    proposed.SetSampleSize(wfx->nBlockAlign);
    // A speaker mask must name as many speakers as there are channels.
    if (auto* extensible = proposed.FormatAs<WAVEFORMATEXTENSIBLE>();
        new_layout && extensible && wfx->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        ChannelLayout layout;
        av_channel_layout_default(layout.get(), channels);
        extensible->dwChannelMask =
            static_cast<DWORD>(av_channel_layout_subset(layout.get(), ~0ULL));
    }
    return type->Set(proposed);
}

HRESULT CMyAudioConveFilter::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    if (!m_pInput->IsConnected()) return E_UNEXPECTED;
    request->cBuffers = kOutputBuffers;
    request->cbBuffer = kOutputBufferBytes;
    request->cbAlign = 1;
    request->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer) return E_FAIL;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Streaming

std::size_t CMyAudioConveFilter::StoreConverted(uint8_t* buffer, std::size_t samples) {
    float peak = 0.0f;
    for (std::size_t i = 0; i < samples; ++i) {
        float value;
        std::memcpy(&value, buffer + i * sizeof(float), sizeof value);
        peak = std::max(peak, std::abs(value));
    }
    if (peak * headroom_ > kFullScale) headroom_ = kFullScale / peak;
    if (float_output_) {
        if (headroom_ < 1.0f) {
            for (std::size_t i = 0; i < samples; ++i) {
                float value;
                std::memcpy(&value, buffer + i * sizeof(float), sizeof value);
                value *= headroom_;
                std::memcpy(buffer + i * sizeof(float), &value, sizeof value);
            }
        }
        return samples * sizeof(float);
    }
    const float gain = headroom_ * 32768.0f;
    // Front to back: sample i's two bytes land where samples up to i / 2 were read from.
    for (std::size_t i = 0; i < samples; ++i) {
        float value;
        std::memcpy(&value, buffer + i * sizeof(float), sizeof value);
        const long rounded = std::lrintf(value * gain);
        StoreSample(buffer + i * 2, static_cast<int16_t>(std::clamp(rounded, -32768L, 32767L)));
    }
    return samples * 2;
}

HRESULT CMyAudioConveFilter::ResampleIntoRing(const uint8_t* input, int frames) {
    SwrContext* resampler = resampler_.get();
    const int channels = output_frame_bytes_ / OutputSampleBytes();
    const int room_frames = static_cast<int>(resample_buffer_.size() /
                                             (sizeof(float) * static_cast<std::size_t>(channels)));
    while (frames > 0) {
        int piece = frames;
        while (piece > 1 && swr_get_out_samples(resampler, piece) > room_frames) piece /= 2;
        const uint8_t* in_planes[1] = {input};
        uint8_t* out_planes[1] = {resample_buffer_.data()};
        const int produced = swr_convert(resampler, out_planes, room_frames, in_planes, piece);
        if (produced < 0) return E_FAIL;
        const std::size_t bytes =
            StoreConverted(resample_buffer_.data(),
                           static_cast<std::size_t>(produced) * static_cast<std::size_t>(channels));
        ring_.Write(resample_buffer_.data(), bytes, static_cast<std::size_t>(output_frame_bytes_));
        input += static_cast<std::ptrdiff_t>(piece) * input_frame_bytes_;
        frames -= piece;
    }
    return S_OK;
}

HRESULT CMyAudioConveFilter::Transform(IMediaSample* in, IMediaSample* out) {
    BYTE* source = nullptr;
    BYTE* target = nullptr;
    if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&target)) || !source || !target)
        return E_FAIL;
    std::lock_guard lock(stream_mutex_);
    if (output_frame_bytes_ <= 0) return E_UNEXPECTED;  // the output never connected
    const LONG length = std::max<LONG>(in->GetActualDataLength(), 0);

    if (resample_on_) {
        if (!resampler_) return E_UNEXPECTED;
        const HRESULT hr = ResampleIntoRing(source, length / input_frame_bytes_);
        if (FAILED(hr)) return hr;
    } else {
        ring_.Write(source, static_cast<std::size_t>(length),
                    static_cast<std::size_t>(output_frame_bytes_));
    }

    const std::size_t bytes =
        ring_.Read(target, static_cast<std::size_t>(std::max<LONG>(out->GetSize(), 0)),
                   static_cast<std::size_t>(output_frame_bytes_));

    const int32_t volume = volume_.load(std::memory_order_relaxed);
    if (volume != kNeutralVolume && float_output_) {
        const float gain = static_cast<float>(volume) / kNeutralVolume;
        for (std::size_t offset = 0; offset + sizeof(float) <= bytes; offset += sizeof(float)) {
            float value;
            std::memcpy(&value, target + offset, sizeof value);
            value *= gain;
            std::memcpy(target + offset, &value, sizeof value);
        }
    } else if (volume != kNeutralVolume) {
        for (std::size_t offset = 0; offset + 1 < bytes; offset += 2) {
            const int64_t scaled = (int64_t{LoadSample(target + offset)} * volume + 128) >> 8;
            StoreSample(target + offset,
                        static_cast<int16_t>(std::clamp<int64_t>(scaled, -32768, 32767)));
        }
    }
    return out->SetActualDataLength(static_cast<LONG>(bytes));
}

}  // namespace rizuvira::filters
