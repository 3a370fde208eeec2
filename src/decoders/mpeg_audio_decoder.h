// SPDX-License-Identifier: GPL-2.0-or-later
// CMpegAudioDecoder: the audio decoder filter. MPEG audio (layers I to III), AC-3, E-AC-3, DTS,
// DVD LPCM and AAC (raw frames, one per sample) in; interleaved PCM out, 32-bit float or signed
// 16-bit, with the channel count and sample rate the input type states.
//
// Pins: input 0 "In" takes the splitter's types (MEDIATYPE_Audio with a WAVEFORMATEX block):
// MPEG1AudioPayload / MPEG2_AUDIO / MPEG1Audio / MP3, DOLBY_AC3, DOLBY_DDPLUS (E-AC-3), DTS,
// DVD_LPCM_AUDIO (16, 20 or 24 bits: the splitter removes the LPCM header, so the sample format
// comes from the type), AAC (the decoder configuration follows the WAVEFORMATEX, cbSize bytes).
// Output 0 "Out" offers MEDIASUBTYPE_IEEE_FLOAT (32 bits) first, then MEDIASUBTYPE_PCM (16 bits),
// each with a WAVEFORMATEX.
//
// The output format is fixed when the pins connect. Should the stream change its layout or rate
// later (a new programme in an AC-3 stream), or another stream arrive (a sample carrying a new
// media type, as when a different audio track is chosen while running: the decoder is then
// reopened for it), the decoded sound is converted to the connected format (libswresample),
// so the buffers downstream never change meaning.
//
// Times: a block of sound whose compressed frame came with a time stamp starts at it; one
// without follows on where the previous block stopped; every block stops at its start plus its
// sample count at the output rate. Sound decoded before the first time stamp after a start or
// a flush is held (up to a second) and dated backwards from that stamp. DVD LPCM stamps
// point into the payload rather than at its start, so a stamp within 1/600 s of the running
// time does not move it. End of stream first decodes what the parser and decoder
// still hold, then passes downstream; flush and new segment pass downstream at once.
//
// Threads: the input's streaming thread decodes and delivers (under the receive lock); state
// changes on the application thread under the filter lock; libavcodec's worker threads
// (IMyDecoderThreads) inside the decoding calls.
#pragma once

#include <atomic>
#include <optional>
#include <vector>

#include "decoders/codec_session.h"
#include "decoders/decoder_interfaces.h"
#include "decoders/lpcm_unpacker.h"
#include "platform/transform_filter.h"

namespace rizuvira::decoders {

struct AudioInputFormat {
    AVCodecID codec_id = AV_CODEC_ID_NONE;  // AV_CODEC_ID_PCM_DVD for DVD LPCM
    int channels = 0;
    int sample_rate = 0;
    int lpcm_bits = 0;            // DVD LPCM only
    std::vector<uint8_t> config;  // AAC: the AudioSpecificConfig after the WAVEFORMATEX
};

// Reads one of the accepted input types; false for anything else or a malformed block.
bool ParseAudioInputType(const AM_MEDIA_TYPE& type, AudioInputFormat* format);

class CMpegAudioDecoder final : public CTransformFilter, public IMyDecoderThreads {
public:
    CMpegAudioDecoder(IUnknown* outer, HRESULT* hr);
    ~CMpegAudioDecoder() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;  // not used: E_UNEXPECTED
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;

    HRESULT SetThreadCount(int threads) override;
    int GetThreadCount() override { return threads_.load(); }

private:
    // Opens the decoder (or the LPCM unpacker) for `format`, the stream now arriving.
    HRESULT OpenStream(const AudioInputFormat& format);
    HRESULT ConvertAndDeliver(AVFrame* frame, REFERENCE_TIME jitter_100ns);
    // Delivers `frames` interleaved sample frames starting at `start_100ns`, split over as many
    // output buffers as they need.
    HRESULT DeliverPcm(const uint8_t* samples, std::size_t frames, REFERENCE_TIME start_100ns);
    // Dates a block of converted sound: with a time stamp (`pts_100ns`; one within
    // `jitter_100ns` of the running time is taken as that running time) or following on from
    // the block before; sound before the first time stamp is held and dated backwards.
    HRESULT EmitPcm(const uint8_t* samples, std::size_t frames, int64_t pts_100ns,
                    REFERENCE_TIME jitter_100ns);
    void ResetTiming();
    int SampleBytes() const { return float_output_ ? 4 : 2; }

    std::atomic<int> threads_{0};
    // The stream format announced by the last type change since the input connected; a
    // restart decodes with it (the upstream does not announce it again). Filter lock for
    // writes from SetMediaType, receive lock otherwise; both are held around StartStreaming.
    std::optional<AudioInputFormat> switched_;

    // Streaming state, under the receive lock.
    AudioInputFormat output_;    // the connection's: channels and rate of every delivered block
    bool float_output_ = false;  // the connection's sample format; set while connecting
    AudioInputFormat input_;     // the stream now decoded (differs after a type change)
    CodecSession session_;
    LpcmUnpacker lpcm_;
    core::av::SwrContextPtr resampler_;
    AVChannelLayout resampler_in_layout_{};
    int resampler_in_format_ = -1;
    int resampler_in_rate_ = 0;
    std::vector<uint8_t> pcm_;           // converted sound (scratch)
    std::vector<int16_t> lpcm_samples_;  // unpacked LPCM (scratch)
    REFERENCE_TIME next_start_100ns_ = 0;
    bool have_time_ = false;        // next_start_100ns_ is known
    std::vector<uint8_t> untimed_;  // sound decoded before the first time stamp (< 1 s)
    bool discontinuity_ = true;
};

}  // namespace rizuvira::decoders
