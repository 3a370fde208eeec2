// SPDX-License-Identifier: GPL-2.0-or-later
// The audio converter: pass-through, resampling and downmix against libswresample, the ring's
// overflow, and the volume.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

#include "filter_chain.h"
#include "filters/audio_conv_filter.h"

namespace rizuvira::filters {

namespace {

// The converter into a sink that takes 16-bit sound only (its second choice).
class AudioChain : public FilterChain<CMyAudioConveFilter> {
public:
    AudioChain(CMyAudioConveFilter* filter, CMediaType input_type, LONG source_buffer_bytes)
        : FilterChain(filter, std::move(input_type), source_buffer_bytes, 2, MEDIASUBTYPE_PCM) {}
};

CMyAudioConveFilter* NewFilter() {
    HRESULT hr = E_FAIL;
    CMyAudioConveFilter* filter = CMyAudioConveFilter::CreateInstance(nullptr, &hr);
    EXPECT_EQ(hr, S_OK);
    return filter;
}

std::vector<BYTE> ToBytes(const std::vector<int16_t>& samples) {
    std::vector<BYTE> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

std::vector<int16_t> ToSamples(const std::vector<BYTE>& bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// `frames` frames of `channels` channels; channel `tone_channel` (or all when -1) carries a
// 1 kHz sine of the given amplitude, the others silence.
std::vector<int16_t> Tone(int frames, int channels, int rate_hz, int tone_channel, double amplitude,
                          int first_frame = 0) {
    std::vector<int16_t> samples(static_cast<std::size_t>(frames) * channels);
    for (int f = 0; f < frames; ++f) {
        const double value =
            amplitude * std::sin(2 * std::numbers::pi * 1000.0 * (first_frame + f) / rate_hz);
        for (int c = 0; c < channels; ++c)
            if (tone_channel < 0 || c == tone_channel)
                samples[static_cast<std::size_t>(f) * channels + c] = static_cast<int16_t>(value);
    }
    return samples;
}

double ChannelRms(const std::vector<int16_t>& samples, int channels, int channel) {
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < samples.size(); i += channels) {
        sum += static_cast<double>(samples[i]) * samples[i];
        ++count;
    }
    return count ? std::sqrt(sum / count) : 0.0;
}

// libswresample set up as the filter promises, converting the whole stream in one call.
std::vector<int16_t> ReferenceResample(const std::vector<int16_t>& input, int in_channels,
                                       int in_rate_hz, int out_channels, int out_rate_hz) {
    AVChannelLayout in_layout{};
    AVChannelLayout out_layout{};
    av_channel_layout_default(&in_layout, in_channels);
    av_channel_layout_default(&out_layout, out_channels);
    SwrContext* swr = nullptr;
    EXPECT_GE(swr_alloc_set_opts2(&swr, &out_layout, AV_SAMPLE_FMT_FLT, out_rate_hz, &in_layout,
                                  AV_SAMPLE_FMT_S16, in_rate_hz, 0, nullptr),
              0);
    av_opt_set_int(swr, "filter_size", 16, 0);
    av_opt_set_int(swr, "phase_shift", 10, 0);
    av_opt_set_int(swr, "linear_interp", 0, 0);
    av_opt_set_double(swr, "cutoff", 0.8, 0);
    EXPECT_GE(swr_init(swr), 0);
    const int in_frames = static_cast<int>(input.size()) / in_channels;
    const int capacity = swr_get_out_samples(swr, in_frames);
    std::vector<float> converted(static_cast<std::size_t>(capacity) * out_channels);
    const uint8_t* in_planes[1] = {reinterpret_cast<const uint8_t*>(input.data())};
    uint8_t* out_planes[1] = {reinterpret_cast<uint8_t*>(converted.data())};
    const int produced = swr_convert(swr, out_planes, capacity, in_planes, in_frames);
    EXPECT_GE(produced, 0);
    swr_free(&swr);
    std::vector<int16_t> output(static_cast<std::size_t>(std::max(produced, 0)) * out_channels);
    for (std::size_t i = 0; i < output.size(); ++i)
        output[i] =
            static_cast<int16_t>(std::clamp(std::lrintf(converted[i] * 32768.0f), -32768L, 32767L));
    return output;
}

// Every output sample's bytes, in order.
std::vector<BYTE> AllOutput(const AudioChain& chain) {
    std::vector<BYTE> all;
    for (std::size_t i = 0; i < chain.OutputCount(); ++i) {
        const std::vector<BYTE> data = chain.Output(i);
        all.insert(all.end(), data.begin(), data.end());
    }
    return all;
}

}  // namespace

TEST(AudioConvFilter, AcceptsOnlyPcmWithAWaveFormat) {
    ComPtr<CMyAudioConveFilter> filter(NewFilter());
    CMediaType pcm = harness::MakeAudioType(2, 48000);
    EXPECT_EQ(filter->CheckInputType(&pcm), S_OK);
    CMediaType ac3 = pcm;
    ac3.SetSubtype(&MEDIASUBTYPE_DOLBY_AC3);
    EXPECT_EQ(filter->CheckInputType(&ac3), VFW_E_TYPE_NOT_ACCEPTED);
    CMediaType no_channels = pcm;
    no_channels.FormatAs<WAVEFORMATEX>()->nChannels = 0;
    EXPECT_EQ(filter->CheckInputType(&no_channels), VFW_E_TYPE_NOT_ACCEPTED);
    CMediaType video = harness::MakeVideoType(16, 16);
    EXPECT_EQ(filter->CheckInputType(&video), VFW_E_TYPE_NOT_ACCEPTED);

    ComPtr<IMyAudioConvFilter> control;
    EXPECT_EQ(ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(filter.Get())).As(&control), S_OK);
}

TEST(AudioConvFilter, SameFormatPassesBytesThroughUnchanged) {
    AudioChain chain(NewFilter(), harness::MakeAudioType(2, 48000), 4096);
    ASSERT_EQ(chain.Connect(), S_OK);
    EXPECT_FALSE(chain.filter()->IsResampling());
    chain.Start();
    std::mt19937 random(7);
    for (int i = 0; i < 3; ++i) {
        std::vector<BYTE> data(4096);
        for (BYTE& b : data) b = static_cast<BYTE>(random());
        ASSERT_EQ(chain.Push(data, i * 100, i * 100 + 100), S_OK);
        EXPECT_EQ(chain.Output(static_cast<std::size_t>(i)), data);
        EXPECT_EQ(chain.sink()->samples()[static_cast<std::size_t>(i)].start, i * 100);
    }
}

TEST(AudioConvFilter, VolumeRoundsClampsAndInverts) {
    const std::vector<int16_t> input = {1000, -1000, 3, -3, 20000, -20000, 32767, -32768};
    struct Case {
        int volume;
        std::vector<int16_t> expected;
    };
    const Case cases[] = {
        {0, {0, 0, 0, 0, 0, 0, 0, 0}},
        {512, {2000, -2000, 6, -6, 32767, -32768, 32767, -32768}},
        {128, {500, -500, 2, -1, 10000, -10000, 16384, -16384}},
        {-256, {-1000, 1000, -3, 3, -20000, 20000, -32767, 32767}},
        {1 << 30, {32767, -32768, 32767, -32768, 32767, -32768, 32767, -32768}},
    };
    for (const Case& c : cases) {
        AudioChain chain(NewFilter(), harness::MakeAudioType(2, 48000), 4096);
        ASSERT_EQ(chain.Connect(), S_OK);
        chain.Start();
        chain.filter()->SetVolume(c.volume);
        ASSERT_EQ(chain.Push(ToBytes(input)), S_OK);
        EXPECT_EQ(ToSamples(chain.Output(0)), c.expected) << c.volume;
    }
}

// 48 kHz sound of `channels` channels in 32-bit float, as the audio decoder gives it.
CMediaType FloatAudioType(WORD channels) {
    CMediaType type = harness::MakeAudioType(channels, 48000);
    type.SetSubtype(&MEDIASUBTYPE_IEEE_FLOAT);
    auto* wfx = type.FormatAs<WAVEFORMATEX>();
    wfx->wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    wfx->wBitsPerSample = 32;
    wfx->nBlockAlign = static_cast<WORD>(channels * 4);
    wfx->nAvgBytesPerSec = 48000 * wfx->nBlockAlign;
    return type;
}

// The decoder's float sound leaves as 16-bit samples at the same layout and rate; a peak past
// full scale lowers the level instead of clipping.
TEST(AudioConvFilter, FloatSoundLeavesAsSixteenBitSamples) {
    const CMediaType type = FloatAudioType(2);
    AudioChain chain(NewFilter(), type, 4096);
    ASSERT_EQ(chain.Connect(), S_OK);
    const CMediaType out = chain.OutputType();
    const auto* wfx = out.FormatAs<WAVEFORMATEX>();
    ASSERT_NE(wfx, nullptr);
    EXPECT_EQ(out.subtype, MEDIASUBTYPE_PCM);
    EXPECT_EQ(wfx->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wfx->wBitsPerSample, 16);
    EXPECT_EQ(wfx->nBlockAlign, 4);
    EXPECT_EQ(wfx->nChannels, 2);
    EXPECT_EQ(wfx->nSamplesPerSec, 48000u);
    chain.Start();
    auto push = [&chain](const std::vector<float>& samples) {
        std::vector<BYTE> bytes(samples.size() * sizeof(float));
        std::memcpy(bytes.data(), samples.data(), bytes.size());
        return chain.Push(bytes);
    };
    ASSERT_EQ(push({0.5f, -0.25f, 3.0f / 32768, -1.0f / 32768, 0.0f, 0.75f}), S_OK);
    EXPECT_EQ(ToSamples(chain.Output(0)), (std::vector<int16_t>{16384, -8192, 3, -1, 0, 24576}));
    ASSERT_EQ(push({2.0f, -0.5f}), S_OK);
    EXPECT_EQ(ToSamples(chain.Output(1)), (std::vector<int16_t>{32767, -8192}));
}

// A consumer that takes float gets the mix at full precision: the centre at -3 dB on both
// sides, closer than a 16-bit step.
TEST(AudioConvFilter, FloatConsumerGetsTheMixUnrounded) {
    const CMediaType type = FloatAudioType(6);
    FilterChain<CMyAudioConveFilter> chain(NewFilter(), type, 48000);
    chain.filter()->SetAudioFormat(2, 48000);
    ASSERT_EQ(chain.Connect(), S_OK);
    EXPECT_EQ(chain.OutputType().subtype, MEDIASUBTYPE_IEEE_FLOAT);
    EXPECT_EQ(chain.OutputType().FormatAs<WAVEFORMATEX>()->nBlockAlign, 8);
    chain.Start();
    std::vector<float> input(6 * 1000, 0.0f);
    for (int f = 0; f < 1000; ++f)
        input[static_cast<std::size_t>(f) * 6 + 2] = 0.5f * std::sin(f * 0.05f);
    std::vector<BYTE> bytes(input.size() * sizeof(float));
    std::memcpy(bytes.data(), input.data(), bytes.size());
    ASSERT_EQ(chain.Push(bytes), S_OK);
    const std::vector<BYTE> out = chain.Output(0);
    ASSERT_EQ(out.size(), 1000u * 8);
    for (int f = 0; f < 1000; f += 37) {
        float left = 0, right = 0;
        std::memcpy(&left, out.data() + f * 8, 4);
        std::memcpy(&right, out.data() + f * 8 + 4, 4);
        const double expected = 0.70710678 * input[static_cast<std::size_t>(f) * 6 + 2];
        EXPECT_NEAR(left, expected, 1e-6) << f;
        EXPECT_NEAR(right, expected, 1e-6) << f;
    }
}

TEST(AudioConvFilter, ResamplingFollowsTheResamplerSampleForSample) {
    AudioChain chain(NewFilter(), harness::MakeAudioType(2, 48000), 4800);
    chain.filter()->SetAudioFormat(2, 44100);
    ASSERT_EQ(chain.Connect(), S_OK);
    EXPECT_TRUE(chain.filter()->IsResampling());
    const auto* wfx = chain.OutputType().FormatAs<WAVEFORMATEX>();
    ASSERT_NE(wfx, nullptr);
    EXPECT_EQ(wfx->nSamplesPerSec, 44100u);
    EXPECT_EQ(wfx->nChannels, 2);
    EXPECT_EQ(wfx->nBlockAlign, 4);
    EXPECT_EQ(wfx->nAvgBytesPerSec, 176400u);
    chain.Start();

    constexpr int kFramesPerSample = 1200;  // 25 ms
    const std::vector<int16_t> stream = Tone(40 * kFramesPerSample, 2, 48000, -1, 12000);
    for (int i = 0; i < 40; ++i) {
        const auto first = stream.begin() + i * kFramesPerSample * 2;
        ASSERT_EQ(chain.Push(ToBytes({first, first + kFramesPerSample * 2})), S_OK);
    }
    EXPECT_EQ(chain.OutputCount(), 40u);
    const std::vector<int16_t> reference = ReferenceResample(stream, 2, 48000, 2, 44100);
    EXPECT_GT(reference.size(), 40u * 1100 * 2 - 64);
    EXPECT_EQ(ToSamples(AllOutput(chain)), reference);
}

TEST(AudioConvFilter, DownmixKeepsCentreAndSurroundsAudible) {
    // Channel order of six-channel sound: FL FR FC LFE, then the left and right surround.
    for (const int channel : {2, 4}) {
        AudioChain chain(NewFilter(), harness::MakeAudioType(6, 48000), 48000);
        chain.filter()->SetAudioFormat(2, 48000);
        ASSERT_EQ(chain.Connect(), S_OK);
        chain.Start();
        const std::vector<int16_t> input = Tone(4000, 6, 48000, channel, 10000);
        ASSERT_EQ(chain.Push(ToBytes(input)), S_OK);
        const std::vector<int16_t> output = ToSamples(AllOutput(chain));
        ASSERT_GT(output.size(), 3000u * 2);
        const double in_rms = ChannelRms(input, 6, channel);
        const double left = ChannelRms(output, 2, 0);
        const double right = ChannelRms(output, 2, 1);
        EXPECT_GT(left, 0.2 * in_rms) << channel;
        if (channel == 2)
            EXPECT_NEAR(left, right, 1.0);
        else
            EXPECT_LT(right, 0.01 * in_rms);
    }
}

// 5.1 sound (FL FR FC LFE SL SR) with the same 1 kHz sine on every channel but the LFE.
std::vector<int16_t> FiveOneTone(int frames, double amplitude) {
    std::vector<int16_t> samples = Tone(frames, 6, 48000, -1, amplitude);
    for (std::size_t i = 3; i < samples.size(); i += 6) samples[i] = 0;
    return samples;
}

double Decibels(double ratio) {
    return 20 * std::log10(ratio);
}

TEST(AudioConvFilter, DownmixUsesTheUsualLevelsAndNeverClips) {
    const auto downmix = [](const std::vector<int16_t>& input) {
        AudioChain chain(NewFilter(), harness::MakeAudioType(6, 48000),
                         static_cast<LONG>(input.size() * 2));
        chain.filter()->SetAudioFormat(2, 48000);
        EXPECT_EQ(chain.Connect(), S_OK);
        chain.Start();
        EXPECT_EQ(chain.Push(ToBytes(input)), S_OK);
        return ToSamples(AllOutput(chain));
    };
    // Front + (centre + surround) at -3 dB: 1 + 2 * 0.7071 times the channel level, LFE dropped.
    const std::vector<int16_t> input = FiveOneTone(4800, 3277);
    std::vector<int16_t> output = downmix(input);
    ASSERT_GT(output.size(), 4000u * 2);
    const double expected = ChannelRms(input, 6, 0) * (1 + 2 * std::numbers::sqrt2 / 2);
    EXPECT_NEAR(Decibels(ChannelRms(output, 2, 0) / expected), 0.0, 0.5);
    EXPECT_NEAR(Decibels(ChannelRms(output, 2, 1) / expected), 0.0, 0.5);

    // A mix that would pass full scale is lowered as a whole: still a sine, not a clipped one.
    output = downmix(FiveOneTone(4800, 20000));
    ASSERT_GT(output.size(), 4000u * 2);
    int peak = 0;
    for (std::size_t i = 0; i < output.size(); i += 2)
        peak = std::max(peak, std::abs(int{output[i]}));
    EXPECT_LE(peak, 32767);
    EXPECT_GT(peak, 32000) << "lowered only as far as needed";
    EXPECT_NEAR(ChannelRms(output, 2, 0) * std::numbers::sqrt2 / peak, 1.0, 0.01)
        << "a clipped sine has a lower crest";
}

TEST(AudioConvFilter, LongSampleIsResampledInPiecesAndDrainedByLaterSamples) {
    // 60000 frames at 48 kHz become about 120000 frames (480000 bytes) at 96 kHz: more than
    // the 256 KiB resample buffer, less than the ring.
    AudioChain chain(NewFilter(), harness::MakeAudioType(2, 48000), 240000);
    chain.filter()->SetAudioFormat(2, 96000);
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    const std::vector<int16_t> input = Tone(60000, 2, 48000, -1, 8000);
    ASSERT_EQ(chain.Push(ToBytes(input)), S_OK);
    EXPECT_EQ(chain.Output(0).size(),
              static_cast<std::size_t>(CMyAudioConveFilter::kOutputBufferBytes));
    for (int i = 0; i < 6; ++i) ASSERT_EQ(chain.Push({}), S_OK);  // empty samples drain the ring
    EXPECT_TRUE(chain.Output(6).empty());
    EXPECT_EQ(ToSamples(AllOutput(chain)), ReferenceResample(input, 2, 48000, 2, 96000));
}

TEST(AudioConvFilter, RingOverflowDropsOnlyTheExcess) {
    constexpr std::size_t kInBytes = 200000;  // each sample adds 200000, each output takes 115200
    constexpr int kSamples = 10;
    AudioChain chain(NewFilter(), harness::MakeAudioType(2, 48000), kInBytes);
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();

    // Frames carry their index, so the output shows exactly what was kept.
    std::vector<uint32_t> kept;
    std::size_t fill = 0;
    std::vector<std::size_t> expected_lengths;
    for (int s = 0; s < kSamples; ++s) {
        std::vector<uint32_t> frames(kInBytes / 4);
        for (std::size_t f = 0; f < frames.size(); ++f)
            frames[f] = static_cast<uint32_t>(s * frames.size() + f);
        std::vector<BYTE> bytes(kInBytes);
        std::memcpy(bytes.data(), frames.data(), kInBytes);
        ASSERT_EQ(chain.Push(bytes), S_OK);

        const std::size_t room = CMyAudioConveFilter::kRingBytes - fill;
        const std::size_t written = std::min(kInBytes, room);
        kept.insert(kept.end(), frames.begin(),
                    frames.begin() + static_cast<std::ptrdiff_t>(written / 4));
        fill += written;
        const std::size_t out =
            std::min<std::size_t>(fill, CMyAudioConveFilter::kOutputBufferBytes);
        fill -= out;
        expected_lengths.push_back(out);
    }
    ASSERT_LT(kept.size() * 4, kSamples * kInBytes);  // the ring did overflow
    for (int s = 0; s < kSamples; ++s)
        EXPECT_EQ(chain.Output(static_cast<std::size_t>(s)).size(),
                  expected_lengths[static_cast<std::size_t>(s)])
            << s;
    const std::vector<BYTE> all = AllOutput(chain);
    std::vector<uint32_t> got(all.size() / 4);
    std::memcpy(got.data(), all.data(), got.size() * 4);
    kept.resize(got.size());
    EXPECT_EQ(got, kept);
}

TEST(AudioConvFilter, NewFormatWaitsForTheOutputToReconnect) {
    AudioChain chain(NewFilter(), harness::MakeAudioType(2, 48000), 4096);
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    chain.filter()->SetAudioFormat(1, 22050);
    const std::vector<BYTE> data = ToBytes(Tone(1024, 2, 48000, -1, 5000));
    ASSERT_EQ(chain.Push(data), S_OK);
    EXPECT_EQ(chain.Output(0), data);
    chain.Reconnect();
    EXPECT_TRUE(chain.filter()->IsResampling());
    EXPECT_EQ(chain.OutputType().FormatAs<WAVEFORMATEX>()->nChannels, 1);
}

}  // namespace rizuvira::filters
