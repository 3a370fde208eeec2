// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/mpeg_audio_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace rizuvira::decoders {

namespace {

constexpr int kMaxChannels = 8;
// A DVD LPCM payload's time stamp belongs to the first audio frame (1/600 s) that starts in
// it, which need not be its first byte; within that distance the running count of samples
// is the better time.
constexpr REFERENCE_TIME kLpcmJitter100ns = UNITS / 600 + 1;

// Interleaved PCM of the input's layout and rate: 32-bit float, or signed 16-bit.
CMediaType MakePcmType(const AudioInputFormat& in, bool as_float) {
    CMediaType type(MEDIATYPE_Audio);
    type.subtype = as_float ? MEDIASUBTYPE_IEEE_FLOAT : MEDIASUBTYPE_PCM;
    type.formattype = FORMAT_WaveFormatEx;
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = as_float ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    wfx.nChannels = static_cast<WORD>(in.channels);
    wfx.nSamplesPerSec = static_cast<DWORD>(in.sample_rate);
    wfx.wBitsPerSample = as_float ? 32 : 16;
    wfx.nBlockAlign = static_cast<WORD>(in.channels * wfx.wBitsPerSample / 8);
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    if (!type.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof wfx)) return CMediaType();
    type.SetSampleSize(wfx.nBlockAlign);
    return type;
}

// True for one of the two output types, float (`*as_float`) or 16-bit.
bool ParsePcmType(const CMediaType& type, bool* as_float) {
    const auto* wfx = type.FormatAs<WAVEFORMATEX>();
    if (type.majortype != MEDIATYPE_Audio || type.formattype != FORMAT_WaveFormatEx || !wfx)
        return false;
    if (type.subtype == MEDIASUBTYPE_IEEE_FLOAT && wfx->wBitsPerSample == 32) {
        *as_float = true;
        return true;
    }
    *as_float = false;
    return type.subtype == MEDIASUBTYPE_PCM && wfx->wBitsPerSample == 16;
}

}  // namespace

bool ParseAudioInputType(const AM_MEDIA_TYPE& type, AudioInputFormat* format) {
    if (!format || type.majortype != MEDIATYPE_Audio || type.formattype != FORMAT_WaveFormatEx ||
        !type.pbFormat || type.cbFormat < sizeof(WAVEFORMATEX))
        return false;
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, type.pbFormat, sizeof wfx);
    AudioInputFormat f;
    f.channels = wfx.nChannels;
    f.sample_rate = static_cast<int>(wfx.nSamplesPerSec);
    if (type.subtype == MEDIASUBTYPE_DOLBY_AC3) {
        f.codec_id = AV_CODEC_ID_AC3;
    } else if (type.subtype == MEDIASUBTYPE_DOLBY_DDPLUS) {
        f.codec_id = AV_CODEC_ID_EAC3;
    } else if (type.subtype == MEDIASUBTYPE_DTS) {
        f.codec_id = AV_CODEC_ID_DTS;
    } else if (type.subtype == MEDIASUBTYPE_MP3) {
        f.codec_id = AV_CODEC_ID_MP3;
    } else if (type.subtype == MEDIASUBTYPE_MPEG1AudioPayload ||
               type.subtype == MEDIASUBTYPE_MPEG2_AUDIO ||
               type.subtype == MEDIASUBTYPE_MPEG1Audio ||
               type.subtype == MEDIASUBTYPE_MPEG1Packet) {
        f.codec_id = AV_CODEC_ID_MP2;
        if (wfx.wFormatTag == WAVE_FORMAT_MPEGLAYER3) f.codec_id = AV_CODEC_ID_MP3;
        if (wfx.wFormatTag == WAVE_FORMAT_MPEG && type.cbFormat >= sizeof(MPEG1WAVEFORMAT)) {
            MPEG1WAVEFORMAT mpeg;
            std::memcpy(&mpeg, type.pbFormat, sizeof mpeg);
            if (mpeg.fwHeadLayer == ACM_MPEG_LAYER1) f.codec_id = AV_CODEC_ID_MP1;
            if (mpeg.fwHeadLayer == ACM_MPEG_LAYER3) f.codec_id = AV_CODEC_ID_MP3;
        }
    } else if (type.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO) {
        f.codec_id = AV_CODEC_ID_PCM_DVD;
        f.lpcm_bits = wfx.wBitsPerSample;
        if (f.lpcm_bits != 16 && f.lpcm_bits != 20 && f.lpcm_bits != 24) return false;
    } else if (type.subtype == MEDIASUBTYPE_AAC) {
        f.codec_id = AV_CODEC_ID_AAC;
        const std::size_t extra =
            std::min<std::size_t>(wfx.cbSize, type.cbFormat - sizeof(WAVEFORMATEX));
        if (extra < 2) return false;
        f.config.assign(type.pbFormat + sizeof(WAVEFORMATEX),
                        type.pbFormat + sizeof(WAVEFORMATEX) + extra);
    } else {
        return false;
    }
    if (f.channels < 1 || f.channels > kMaxChannels || f.sample_rate < 8000 ||
        f.sample_rate > 192000)
        return false;
    *format = f;
    return true;
}

CMpegAudioDecoder::CMpegAudioDecoder(IUnknown* outer, HRESULT* hr)
    : CTransformFilter("MPEG audio decoder", outer, CLSID_MpegAudioDecoder) {
    HRESULT pin_hr = S_OK;
    m_pInput = std::make_unique<CTransformInputPin>("Audio input", this, &pin_hr, "In");
    m_pOutput = std::make_unique<CTransformOutputPin>("Audio output", this, &pin_hr, "Out");
    if (hr && FAILED(pin_hr)) *hr = pin_hr;
}

CMpegAudioDecoder::~CMpegAudioDecoder() {
    av_channel_layout_uninit(&resampler_in_layout_);
}

HRESULT CMpegAudioDecoder::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyDecoderThreads::iid)
        return GetInterface(static_cast<IMyDecoderThreads*>(this), object);
    return CTransformFilter::NonDelegatingQueryInterface(riid, object);
}

HRESULT CMpegAudioDecoder::CheckInputType(const CMediaType* type) {
    if (!type) return E_POINTER;
    AudioInputFormat format;
    return ParseAudioInputType(*type, &format) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMpegAudioDecoder::CheckTransform(const CMediaType* in, const CMediaType* out) {
    if (!in || !out) return E_POINTER;
    AudioInputFormat format;
    if (!ParseAudioInputType(*in, &format)) return VFW_E_TYPE_NOT_ACCEPTED;
    // The output keeps the format of the connection; a type change on the input (another
    // track) is converted to it, so it is checked against the connected input type.
    if (m_pInput->IsConnected() && !ParseAudioInputType(m_pInput->CurrentMediaType(), &format))
        return VFW_E_TYPE_NOT_ACCEPTED;
    bool as_float = false;
    if (!ParsePcmType(*out, &as_float)) return VFW_E_TYPE_NOT_ACCEPTED;
    const auto* wfx = out->FormatAs<WAVEFORMATEX>();
    if (wfx->nChannels != format.channels ||
        static_cast<int>(wfx->nSamplesPerSec) != format.sample_rate)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CMpegAudioDecoder::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position > 1) return VFW_S_NO_MORE_ITEMS;
    AudioInputFormat format;
    if (!ParseAudioInputType(m_pInput->CurrentMediaType(), &format)) return VFW_S_NO_MORE_ITEMS;
    // Float first: a downstream mix or encoder then works on the decoder's own precision.
    *type = MakePcmType(format, position == 0);
    return type->IsValid() ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMpegAudioDecoder::DecideBufferSize(IMemAllocator* allocator,
                                            ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    AudioInputFormat format;
    if (!ParseAudioInputType(m_pInput->CurrentMediaType(), &format)) return E_UNEXPECTED;
    // A fifth of a second per buffer holds any one decoded frame (DTS: up to 4096 samples at
    // 48 kHz is 85 ms); longer blocks are split.
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max<LONG>(wanted.cBuffers, 8);
    const LONG frame_bytes = format.channels * SampleBytes();
    wanted.cbBuffer = std::max<LONG>(wanted.cbBuffer, format.sample_rate / 5 * frame_bytes);
    wanted.cbAlign = std::max<LONG>(wanted.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < wanted.cBuffers || actual.cbBuffer < frame_bytes) return E_FAIL;
    return S_OK;
}

HRESULT CMpegAudioDecoder::Transform(IMediaSample*, IMediaSample*) {
    return E_UNEXPECTED;  // Receive delivers 0..n blocks per sample itself
}

HRESULT CMpegAudioDecoder::StartStreaming() {
    // The connection fixes the output format for the whole run.
    if (!ParseAudioInputType(m_pInput->CurrentMediaType(), &output_))
        return VFW_E_TYPE_NOT_ACCEPTED;
    ResetTiming();
    return OpenStream(switched_ ? *switched_ : output_);
}

HRESULT CMpegAudioDecoder::SetMediaType(PIN_DIRECTION direction, const CMediaType* type) {
    if (direction == PINDIR_INPUT) switched_.reset();  // a new connection: its type rules
    if (direction == PINDIR_OUTPUT && type) {
        bool as_float = false;
        if (!ParsePcmType(*type, &as_float)) return VFW_E_TYPE_NOT_ACCEPTED;
        float_output_ = as_float;
    }
    return S_OK;
}

HRESULT CMpegAudioDecoder::OpenStream(const AudioInputFormat& format) {
    session_.Close();
    resampler_.reset();
    resampler_in_format_ = -1;
    input_ = format;
    if (input_.codec_id == AV_CODEC_ID_PCM_DVD)
        return lpcm_.Configure(input_.lpcm_bits, input_.channels) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    CodecOptions options;
    options.codec_id = input_.codec_id;
    options.threads = threads_.load() > 0 ? threads_.load() : ProcessorCount();
    options.sample_rate = input_.sample_rate;
    options.channels = input_.channels;
    options.extradata = input_.config;
    // The splitter delivers AAC as raw frames, one per sample.
    options.whole_frames = input_.codec_id == AV_CODEC_ID_AAC;
    options.frame_start_times = true;
    return session_.Open(options);
}

HRESULT CMpegAudioDecoder::StopStreaming() {
    session_.Close();
    lpcm_.Reset();
    resampler_.reset();
    return S_OK;
}

void CMpegAudioDecoder::ResetTiming() {
    next_start_100ns_ = 0;
    have_time_ = false;
    untimed_.clear();
    discontinuity_ = true;
}

HRESULT CMpegAudioDecoder::EmitPcm(const uint8_t* samples, std::size_t frames, int64_t pts_100ns,
                                   REFERENCE_TIME jitter_100ns) {
    const auto frame_bytes = static_cast<std::size_t>(output_.channels * SampleBytes());
    const auto rate = static_cast<REFERENCE_TIME>(output_.sample_rate);
    if (pts_100ns == AV_NOPTS_VALUE) {
        if (have_time_) return DeliverPcm(samples, frames, next_start_100ns_);
        // No time known since the start or the last flush: hold the sound until one comes,
        // then date it backwards from there.
        untimed_.insert(untimed_.end(), samples, samples + frames * frame_bytes);
        if (untimed_.size() / frame_bytes < static_cast<std::size_t>(rate)) return S_OK;
        // A whole second and still no time: the stream carries none; count from zero.
        have_time_ = true;
        std::vector<uint8_t> held;
        held.swap(untimed_);
        return DeliverPcm(held.data(), held.size() / frame_bytes, next_start_100ns_);
    }
    if (have_time_ && std::abs(pts_100ns - next_start_100ns_) <= jitter_100ns)
        pts_100ns = next_start_100ns_;
    if (!have_time_ && !untimed_.empty()) {
        std::vector<uint8_t> held;
        held.swap(untimed_);
        const auto held_frames = static_cast<REFERENCE_TIME>(held.size() / frame_bytes);
        have_time_ = true;
        const HRESULT hr = DeliverPcm(held.data(), held.size() / frame_bytes,
                                      pts_100ns - held_frames * UNITS / rate);
        if (FAILED(hr)) return hr;
    }
    have_time_ = true;
    return DeliverPcm(samples, frames, pts_100ns);
}

HRESULT CMpegAudioDecoder::Receive(IMediaSample* sample) {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    CMediaType change;
    if (sample->GetMediaType(&change) == S_OK) {
        // Another stream from here on (a new audio track chosen while running): decode it
        // with its own decoder; the output keeps the connected format.
        AudioInputFormat format;
        if (!ParseAudioInputType(change, &format)) return VFW_E_INVALIDMEDIATYPE;
        if (session_.IsOpen() && format.codec_id != AV_CODEC_ID_PCM_DVD)
            session_.Drain([this](AVFrame* frame) { return ConvertAndDeliver(frame, 0); });
        switched_ = format;
        const HRESULT hr = OpenStream(format);
        if (FAILED(hr)) return hr;
    }
    const LONG size = sample->GetActualDataLength();
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    if (sample->IsDiscontinuity() == S_OK) discontinuity_ = true;
    if (size <= 0) return S_OK;

    if (input_.codec_id == AV_CODEC_ID_PCM_DVD) {
        // Bytes carried from the previous payload play before this payload's time.
        const std::size_t carried = lpcm_.PendingBytes();
        lpcm_samples_.clear();
        const std::size_t frames =
            lpcm_.Unpack(data, static_cast<std::size_t>(size), &lpcm_samples_);
        int64_t first = AV_NOPTS_VALUE;
        if (timed) {
            const auto carried_frames = static_cast<REFERENCE_TIME>(
                carried * 2 / static_cast<std::size_t>(lpcm_.block_bytes()));
            first = start - carried_frames * UNITS / input_.sample_rate;
        }
        if (frames == 0) return S_OK;
        if (input_.channels == output_.channels && input_.sample_rate == output_.sample_rate &&
            !float_output_)
            return EmitPcm(reinterpret_cast<const uint8_t*>(lpcm_samples_.data()), frames, first,
                           kLpcmJitter100ns);
        // LPCM of another layout, rate or sample format than the connection's: through the
        // converter.
        core::av::FramePtr wrapper(av_frame_alloc());
        if (!wrapper) return E_OUTOFMEMORY;
        wrapper->format = AV_SAMPLE_FMT_S16;
        wrapper->sample_rate = input_.sample_rate;
        av_channel_layout_default(&wrapper->ch_layout, input_.channels);
        wrapper->nb_samples = static_cast<int>(frames);
        wrapper->data[0] = reinterpret_cast<uint8_t*>(lpcm_samples_.data());
        wrapper->linesize[0] = static_cast<int>(lpcm_samples_.size() * sizeof(int16_t));
        wrapper->extended_data = wrapper->data;
        wrapper->pts = first;
        return ConvertAndDeliver(wrapper.get(), kLpcmJitter100ns);
    }
    return session_.Decode(data, static_cast<std::size_t>(size), timed ? start : AV_NOPTS_VALUE,
                           [this](AVFrame* frame) { return ConvertAndDeliver(frame, 0); });
}

HRESULT CMpegAudioDecoder::ConvertAndDeliver(AVFrame* frame, REFERENCE_TIME jitter_100ns) {
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0) return S_OK;
    if (!resampler_ || frame->format != resampler_in_format_ ||
        frame->sample_rate != resampler_in_rate_ ||
        av_channel_layout_compare(&frame->ch_layout, &resampler_in_layout_) != 0) {
        // Same channel count as the connection: keep the stream's own channel order (a pure
        // sample-format change); otherwise mix to the connection's standard layout.
        AVChannelLayout out_layout{};
        if (frame->ch_layout.nb_channels == output_.channels)
            av_channel_layout_copy(&out_layout, &frame->ch_layout);
        else
            av_channel_layout_default(&out_layout, output_.channels);
        SwrContext* swr = nullptr;
        const AVSampleFormat out_format = float_output_ ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16;
        const int result = swr_alloc_set_opts2(
            &swr, &out_layout, out_format, output_.sample_rate, &frame->ch_layout,
            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&out_layout);
        resampler_.reset(swr);
        if (result < 0 || !resampler_ || swr_init(resampler_.get()) < 0) {
            resampler_.reset();
            return S_OK;  // sound we cannot convert is skipped, not passed on as noise
        }
        resampler_in_format_ = frame->format;
        resampler_in_rate_ = frame->sample_rate;
        av_channel_layout_copy(&resampler_in_layout_, &frame->ch_layout);
    }
    const int capacity = swr_get_out_samples(resampler_.get(), frame->nb_samples);
    // The scratch holds the converted sound, never the frame's own (LPCM frames point into
    // lpcm_samples_).
    if (capacity <= 0) return S_OK;
    pcm_.resize(static_cast<std::size_t>(capacity) *
                static_cast<std::size_t>(output_.channels * SampleBytes()));
    uint8_t* out[1] = {pcm_.data()};
    const int converted =
        swr_convert(resampler_.get(), out, capacity,
                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted <= 0) return S_OK;
    return EmitPcm(pcm_.data(), static_cast<std::size_t>(converted), frame->pts, jitter_100ns);
}

HRESULT CMpegAudioDecoder::DeliverPcm(const uint8_t* samples, std::size_t frames,
                                      REFERENCE_TIME start_100ns) {
    const auto frame_bytes = static_cast<std::size_t>(output_.channels * SampleBytes());
    const auto rate = static_cast<REFERENCE_TIME>(output_.sample_rate);
    std::size_t done = 0;
    while (done < frames) {
        if (m_pInput->IsFlushing()) return S_OK;
        ComPtr<IMediaSample> out;
        HRESULT hr =
            m_pOutput->GetDeliveryBuffer(out.ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
        if (FAILED(hr)) return m_pInput->IsFlushing() ? S_OK : hr;
        BYTE* buffer = nullptr;
        out->GetPointer(&buffer);
        const std::size_t room = static_cast<std::size_t>(out->GetSize()) / frame_bytes;
        if (!buffer || room == 0) return E_FAIL;
        const std::size_t count = std::min(room, frames - done);
        std::memcpy(buffer, samples + done * frame_bytes, count * frame_bytes);
        out->SetActualDataLength(static_cast<LONG>(count * frame_bytes));
        REFERENCE_TIME start = start_100ns + static_cast<REFERENCE_TIME>(done) * UNITS / rate;
        REFERENCE_TIME stop =
            start_100ns + static_cast<REFERENCE_TIME>(done + count) * UNITS / rate;
        out->SetTime(&start, &stop);
        out->SetSyncPoint(TRUE);
        out->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
        discontinuity_ = false;
        next_start_100ns_ = stop;
        hr = m_pOutput->Deliver(out.Get());
        if (m_pInput->IsFlushing()) return S_OK;
        if (FAILED(hr)) return hr;
        done += count;
    }
    return S_OK;
}

HRESULT CMpegAudioDecoder::EndOfStream() {
    if (session_.IsOpen())
        session_.Drain([this](AVFrame* frame) { return ConvertAndDeliver(frame, 0); });
    lpcm_.Reset();
    return CTransformFilter::EndOfStream();
}

HRESULT CMpegAudioDecoder::EndFlush() {
    {
        CAutoLock lock(&m_csReceive);
        if (session_.IsOpen()) session_.Reset();
        lpcm_.Reset();
        if (resampler_) swr_init(resampler_.get());  // drops the resampler's buffered sound
        ResetTiming();
    }
    return CTransformFilter::EndFlush();
}

HRESULT CMpegAudioDecoder::SetThreadCount(int threads) {
    if (threads < 0) return E_INVALIDARG;
    threads_ = threads;
    return S_OK;
}

}  // namespace rizuvira::decoders
