// SPDX-License-Identifier: GPL-2.0-or-later
// The audio decoder against the sample discs' AC-3, MPEG-1 layer II and LPCM tracks: the
// output format, each track's own tone on the right channels, the beeps at the times the
// blocks carry, continuity of those times, and the tail that end of stream drains.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "decoders/decoder_chain.h"
#include "decoders/decoder_interfaces.h"
#include "decoders/mpeg_audio_decoder.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::decoders {
namespace {

namespace fx = rizuvira::fixtures;
using rizuvira::decoders::CLSID_MpegAudioDecoder;

// Everything the decoder delivered, as floats per channel, with the time of the first sample.
struct DecodedSound {
    int channels = 0;
    std::vector<std::vector<float>> samples;  // [channel][frame]
    REFERENCE_TIME first_start = 0;
    std::vector<Arrival> blocks;
    int end_of_stream = 0;

    std::size_t frames() const { return samples.empty() ? 0 : samples[0].size(); }
    // Tone amplitude of `channel` over `window_s` starting at stream time `time_s`.
    double ToneAt(int channel, double time_s, double tone_hz, double window_s = 0.02) const {
        const double offset =
            (time_s - static_cast<double>(first_start) / UNITS) * fx::kAudioRateHz;
        const auto begin = static_cast<std::size_t>(std::max(0.0, offset));
        const auto count = static_cast<std::size_t>(window_s * fx::kAudioRateHz);
        if (begin + count > frames()) return -1;
        return fx::ToneAmplitude(
            std::span<const float>(samples[static_cast<std::size_t>(channel)].data() + begin,
                                   count),
            fx::kAudioRateHz, tone_hz);
    }
};

// Decodes `stream_id` of `vob` into float samples (the decoder's first choice) or, for a
// consumer that takes only 16-bit ones, into those.
DecodedSound Decode(const VobFile& vob, int stream_id, const CMediaType& type, double until_s = 1e9,
                    bool sixteen_bits = false) {
    DecodedSound sound;
    const auto* wfx = type.FormatAs<WAVEFORMATEX>();
    sound.channels = wfx ? wfx->nChannels : 0;
    sound.samples.resize(static_cast<std::size_t>(sound.channels));
    auto inspect = [&sound, sixteen_bits](const uint8_t* data, long bytes) -> double {
        const long sample_bytes = sixteen_bits ? 2 : 4;
        const long frames = bytes / (sample_bytes * sound.channels);
        for (long i = 0; i < frames; ++i) {
            for (int c = 0; c < sound.channels; ++c) {
                const uint8_t* at = data + (i * sound.channels + c) * sample_bytes;
                float value = 0;
                if (sixteen_bits) {
                    int16_t pcm = 0;
                    std::memcpy(&pcm, at, sizeof pcm);
                    value = pcm / 32768.0f;
                } else {
                    std::memcpy(&value, at, sizeof value);
                }
                sound.samples[static_cast<std::size_t>(c)].push_back(value);
            }
        }
        return static_cast<double>(frames);
    };
    DecoderChain chain(CLSID_MpegAudioDecoder, type, inspect);
    if (sixteen_bits) chain.sink()->Refuse(MEDIASUBTYPE_IEEE_FLOAT);
    EXPECT_EQ(chain.Connect(), S_OK);
    const CMediaType out = chain.OutputType();
    EXPECT_EQ(out.subtype, sixteen_bits ? MEDIASUBTYPE_PCM : MEDIASUBTYPE_IEEE_FLOAT);
    const auto* out_wfx = out.FormatAs<WAVEFORMATEX>();
    EXPECT_NE(out_wfx, nullptr);
    if (out_wfx && wfx) {
        EXPECT_EQ(out_wfx->wFormatTag, sixteen_bits ? WAVE_FORMAT_PCM : WAVE_FORMAT_IEEE_FLOAT);
        EXPECT_EQ(out_wfx->nChannels, wfx->nChannels);
        EXPECT_EQ(out_wfx->nSamplesPerSec, wfx->nSamplesPerSec);
        EXPECT_EQ(out_wfx->wBitsPerSample, sixteen_bits ? 16 : 32);
        EXPECT_EQ(out_wfx->nBlockAlign, out_wfx->wBitsPerSample / 8 * wfx->nChannels);
    }
    chain.Start();
    for (const VobPacket& p : vob.packets) {
        if (p.stream_id != stream_id) continue;
        if (p.start_100ns && *p.start_100ns > static_cast<REFERENCE_TIME>(until_s * UNITS)) break;
        EXPECT_EQ(chain.Push(p), S_OK);
    }
    EXPECT_EQ(chain.source()->EndOfStream(), S_OK);
    sound.blocks = chain.sink()->arrivals();
    sound.end_of_stream = chain.sink()->end_of_stream_count();
    if (!sound.blocks.empty()) sound.first_start = sound.blocks.front().start;
    return sound;
}

// Every block is timed, starts where the one before stopped, and lasts its sample count.
void ExpectContinuousTimes(const DecodedSound& sound) {
    ASSERT_FALSE(sound.blocks.empty());
    for (std::size_t i = 0; i < sound.blocks.size(); ++i) {
        SCOPED_TRACE(i);
        const Arrival& b = sound.blocks[i];
        ASSERT_TRUE(b.timed);
        EXPECT_NEAR(static_cast<double>(b.stop - b.start), b.value * UNITS / fx::kAudioRateHz, 1.0);
        if (i > 0) {
            EXPECT_NEAR(static_cast<double>(b.start), static_cast<double>(sound.blocks[i - 1].stop),
                        2.0);
        }
    }
}

// The beep (four times the tone) fills the first 0.1 s of every second, at the times the
// blocks say.
void ExpectBeepsOnTime(const DecodedSound& sound, int channel, double tone_hz, int seconds) {
    for (int s = 1; s <= seconds; ++s) {
        SCOPED_TRACE(s);
        EXPECT_NEAR(sound.ToneAt(channel, s + 0.04, tone_hz), fx::kBeepAmplitude, 0.05);
        EXPECT_NEAR(sound.ToneAt(channel, s + 0.5, tone_hz), fx::kToneAmplitude, 0.02);
        // 20 ms that end 5 ms before the beep: no beep yet.
        EXPECT_NEAR(sound.ToneAt(channel, s - 0.025, tone_hz), fx::kToneAmplitude, 0.02);
    }
}

// Also over the first 10 s, where some frames have their sync word in the last bytes of a
// pack: the pack's time stamp belongs to the frame after such a frame. Given that frame's
// time, the sound jumped a frame ahead and the next frame, with the same time, was lost.
TEST(AudioDecoder, Ac3FiveOneKeepsSixChannelsWithASilentLfe) {
    const VobFile vob = ReadVob(VobPath("ntsc", 1));
    int straddling = 0;
    std::vector<uint8_t> stream;
    for (const VobPacket* p : StreamPackets(vob, 0x80)) {
        if (p->start_100ns && *p->start_100ns > 10 * UNITS) break;
        stream.insert(stream.end(), p->data.begin(), p->data.end());
        for (std::size_t back = 2; back <= 5 && back <= stream.size(); ++back)
            if (stream[stream.size() - back] == 0x0B && stream[stream.size() - back + 1] == 0x77)
                ++straddling;
    }
    ASSERT_GT(straddling, 0) << "the title no longer has a frame that starts at the end of a pack";
    const DecodedSound sound = Decode(vob, 0x80, Ac3Type(6), 10.0);
    ASSERT_EQ(sound.channels, 6);
    ASSERT_GT(sound.frames(), 3u * fx::kAudioRateHz);
    ExpectContinuousTimes(sound);
    // The track starts 256 samples before frame 0.
    EXPECT_NEAR(static_cast<double>(sound.first_start), -256.0 * UNITS / fx::kAudioRateHz,
                UNITS / 1000.0);
    for (int c = 0; c < 6; ++c) {
        SCOPED_TRACE(c);
        if (c == 3) {  // FL FR FC LFE BL BR: the LFE carries nothing
            float peak = 0;
            for (float x : sound.samples[3]) peak = std::max(peak, std::abs(x));
            EXPECT_LT(peak, 0.01f);
            continue;
        }
        EXPECT_NEAR(sound.ToneAt(c, 1.5, 440), fx::kToneAmplitude, 0.02);
        EXPECT_LT(sound.ToneAt(c, 1.2, 530, 0.5), 0.005);  // not the other track's tone
    }
    ExpectBeepsOnTime(sound, 0, 440, 9);
    EXPECT_EQ(sound.end_of_stream, 1);
}

TEST(AudioDecoder, Ac3StereoTrackCarriesItsOwnTone) {
    const VobFile vob = ReadVob(VobPath("ntsc", 1));
    const DecodedSound sound = Decode(vob, 0x81, Ac3Type(2), 3.0);
    ASSERT_EQ(sound.channels, 2);
    ExpectContinuousTimes(sound);
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(sound.ToneAt(c, 1.5, 530), fx::kToneAmplitude, 0.02);
        EXPECT_LT(sound.ToneAt(c, 1.2, 440, 0.5), 0.005);
    }
    ExpectBeepsOnTime(sound, 1, 530, 2);
}

TEST(AudioDecoder, MpegLayerTwoDecodesTheWholeTitleAndDrainsAtTheEnd) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));  // title 3: 4.004 s
    const DecodedSound sound = Decode(vob, 0xC0, Mpeg1Layer2Type(2));
    ASSERT_EQ(sound.channels, 2);
    ExpectContinuousTimes(sound);
    ExpectBeepsOnTime(sound, 0, 800, 3);
    EXPECT_NEAR(sound.ToneAt(1, 2.5, 800), fx::kToneAmplitude, 0.02);
    // Nothing is left in the decoder: the sound runs to the title's end (within one frame of
    // 1152 samples; the encoder pads the last one).
    const double end_s = static_cast<double>(sound.blocks.back().stop) / UNITS;
    const double title_s = fx::kNtscDisc.title(fx::kNtscMp2Title).duration_ms() / 1000.0;
    EXPECT_GT(end_s, title_s - 1152.0 / fx::kAudioRateHz);
    EXPECT_LT(end_s, title_s + 2 * 1152.0 / fx::kAudioRateHz);
    EXPECT_EQ(sound.end_of_stream, 1);
}

TEST(AudioDecoder, LpcmIsBigEndianAndTimedFromItsPackets) {
    const VobFile vob = ReadVob(VobPath("ntsc", 3));  // title 4: LPCM 16-bit stereo
    ASSERT_EQ(vob.lpcm_bits, 16);
    ASSERT_EQ(vob.lpcm_channels, 2);
    // Into a 16-bit consumer, the LPCM samples pass as they are.
    const DecodedSound sound = Decode(vob, 0xA0, LpcmType(vob), 1e9, true);
    ASSERT_EQ(sound.channels, 2);
    ExpectContinuousTimes(sound);
    // Sample 0 plays with frame 0.
    EXPECT_NEAR(static_cast<double>(sound.first_start), 0.0, UNITS / 1000.0);
    // The right byte order gives the clean tone; swapped bytes would give noise.
    for (int c = 0; c < 2; ++c) EXPECT_NEAR(sound.ToneAt(c, 2.5, 890), fx::kToneAmplitude, 0.01);
    ExpectBeepsOnTime(sound, 0, 890, 4);
    EXPECT_EQ(static_cast<int64_t>(sound.frames()),
              fx::kNtscDisc.title(fx::kNtscLpcmTitle).audio_samples());
}

TEST(AudioDecoder, FlushForgetsBufferedSoundAndTimesRestartFromTheNextPacket) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));
    const std::vector<const VobPacket*> audio = StreamPackets(vob, 0xC0);
    ASSERT_GT(audio.size(), 20u);
    DecodedSound sound;
    DecoderChain chain(CLSID_MpegAudioDecoder, Mpeg1Layer2Type(2), {});
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    for (std::size_t i = 0; i < audio.size() / 2; ++i) ASSERT_EQ(chain.Push(*audio[i]), S_OK);
    ASSERT_EQ(chain.source()->BeginFlush(), S_OK);
    ASSERT_EQ(chain.source()->EndFlush(), S_OK);
    chain.sink()->Clear();
    // Resume at a packet with a time: the first block after the flush is marked as a
    // discontinuity and starts at that time, or one frame later when the parser needs the
    // packet's first frame to find its footing again.
    std::size_t resume = audio.size() * 3 / 4;
    while (!audio[resume]->start_100ns) ++resume;
    for (std::size_t i = resume; i < audio.size(); ++i) ASSERT_EQ(chain.Push(*audio[i]), S_OK);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    const std::vector<Arrival> blocks = chain.sink()->arrivals();
    ASSERT_FALSE(blocks.empty());
    EXPECT_TRUE(blocks.front().discontinuity);
    EXPECT_GE(blocks.front().start, *audio[resume]->start_100ns);
    EXPECT_LE(blocks.front().start, *audio[resume]->start_100ns + 1152 * UNITS / fx::kAudioRateHz);
}

// Choosing another audio track while running: the splitter attaches the new track's type to
// its first sample. The decoder follows it and keeps delivering the connected format.
TEST(AudioDecoder, FollowsATrackChangeAndKeepsTheConnectedFormat) {
    const VobFile mp2_vob = ReadVob(VobPath("ntsc", 2));
    const VobFile lpcm_vob = ReadVob(VobPath("ntsc", 3));
    const VobFile ac3_vob = ReadVob(VobPath("ntsc", 1));
    std::vector<float> left;
    DecoderChain chain(CLSID_MpegAudioDecoder, Mpeg1Layer2Type(2),
                       [&left](const uint8_t* data, long bytes) -> double {
                           for (long i = 0; i + 1 < bytes / 4; i += 2) {
                               float value = 0;
                               std::memcpy(&value, data + i * 4, sizeof value);
                               left.push_back(value);
                           }
                           return 0;
                       });
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    auto push_track = [&](const VobFile& vob, int stream_id, const CMediaType& type,
                          double seconds) {
        bool first = true;
        for (const VobPacket& p : vob.packets) {
            if (p.stream_id != stream_id) continue;
            if (p.start_100ns && *p.start_100ns > static_cast<REFERENCE_TIME>(seconds * UNITS))
                break;
            std::optional<REFERENCE_TIME> stop;
            if (p.start_100ns) stop = *p.start_100ns + 1;
            ASSERT_EQ(
                chain.source()->Push(p.data, p.start_100ns, stop, {}, first ? &type : nullptr),
                S_OK);
            first = false;
        }
    };
    auto tone_after = [&](std::size_t from, double hz) {
        return fx::ToneAmplitude(std::span<const float>(left.data() + from + 24000, 4800), 48000,
                                 hz);
    };
    push_track(mp2_vob, 0xC0, Mpeg1Layer2Type(2), 1.5);
    const std::size_t lpcm_from = left.size();
    push_track(lpcm_vob, 0xA0, LpcmType(lpcm_vob), 1.5);
    const std::size_t ac3_from = left.size();
    push_track(ac3_vob, 0x80, Ac3Type(6), 1.5);  // 5.1 into the stereo connection
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);

    const auto* wfx = chain.OutputType().FormatAs<WAVEFORMATEX>();
    ASSERT_NE(wfx, nullptr);
    EXPECT_EQ(wfx->nChannels, 2);
    ASSERT_GT(left.size(), ac3_from + 48000);
    EXPECT_NEAR(tone_after(0, 800), fx::kToneAmplitude, 0.02);
    EXPECT_NEAR(tone_after(lpcm_from, 890), fx::kToneAmplitude, 0.02);
    EXPECT_LT(tone_after(lpcm_from, 800), 0.01);
    EXPECT_GT(tone_after(ac3_from, 440), 0.05);  // mixed down, but there
    EXPECT_LT(tone_after(ac3_from, 890), 0.01);
}

TEST(AudioDecoder, AcceptsTheSplitterTypesAndRefusesOthers) {
    DecoderChain chain(CLSID_MpegAudioDecoder, Ac3Type(2), {});
    ComPtr<IPin> in = GetFilterPin(chain.decoder(), PINDIR_INPUT, 0);
    ASSERT_TRUE(in);
    EXPECT_TRUE(GetFilterPin(chain.decoder(), PINDIR_OUTPUT, 0));
    VobFile lpcm_file;
    lpcm_file.lpcm_channels = 2;
    lpcm_file.lpcm_rate = 48000;
    CMediaType dts = Ac3Type(6);
    dts.subtype = MEDIASUBTYPE_DTS;
    for (int bits : {16, 20, 24}) {
        lpcm_file.lpcm_bits = bits;
        const CMediaType lpcm = LpcmType(lpcm_file);
        EXPECT_EQ(in->QueryAccept(&lpcm), S_OK) << bits;
    }
    lpcm_file.lpcm_bits = 12;
    const CMediaType lpcm12 = LpcmType(lpcm_file);
    const CMediaType ac3 = Ac3Type(6);
    const CMediaType mp2 = Mpeg1Layer2Type(2);
    const CMediaType pcm = platform::harness::MakeAudioType(2, 48000);
    const CMediaType subpicture = SubpictureType();
    EXPECT_EQ(in->QueryAccept(&ac3), S_OK);
    EXPECT_EQ(in->QueryAccept(&dts), S_OK);
    EXPECT_EQ(in->QueryAccept(&mp2), S_OK);
    EXPECT_EQ(in->QueryAccept(&lpcm12), S_FALSE);
    EXPECT_EQ(in->QueryAccept(&pcm), S_FALSE);
    EXPECT_EQ(in->QueryAccept(&subpicture), S_FALSE);
    CMediaType short_block = Ac3Type(2);
    short_block.ReallocFormatBuffer(10);  // shorter than a WAVEFORMATEX
    EXPECT_EQ(in->QueryAccept(&short_block), S_FALSE);
    CMediaType no_channels = Ac3Type(0);
    EXPECT_EQ(in->QueryAccept(&no_channels), S_FALSE);
}

}  // namespace
}  // namespace rizuvira::decoders
