// SPDX-License-Identifier: GPL-2.0-or-later
// The decoders in front of the filters that consume their output in the conversion graph: the
// video and audio conversion filters take the types and buffers as they come.
#include <gtest/gtest.h>

#include "decoders/decoder_interfaces.h"
#include "decoders/recording_sink.h"
#include "decoders/register.h"
#include "decoders/vob_packets.h"
#include "filters/audio_conv_filter.h"
#include "filters/video_conv_filter.h"
#include "fixtures/sample_discs.h"
#include "platform/media_sample.h"
#include "platform/pipeline_harness.h"
#include "platform/registry.h"

namespace rizuvira::decoders {
namespace {

namespace fx = rizuvira::fixtures;

// source -> decoder -> converter -> sink, all on the test's thread.
void RunThroughConverter(const CLSID& decoder_clsid, CTransformFilter* converter,
                         const CMediaType& input_type, const VobFile& file, int stream_id,
                         CRecordingSink* sink) {
    rizuvira::decoders::RegisterDecoders();
    ComPtr<CTransformFilter> conv(converter);
    ComPtr<platform::harness::CTestSource> source(
        new platform::harness::CTestSource(input_type, 4, 8192));
    ComPtr<IBaseFilter> decoder;
    ASSERT_EQ(CoCreateInstance(decoder_clsid, &decoder), S_OK);
    ASSERT_EQ(source->pin()->Connect(GetFilterPin(decoder.Get(), PINDIR_INPUT, 0).Get(), nullptr),
              S_OK);
    ASSERT_EQ(GetFilterPin(decoder.Get(), PINDIR_OUTPUT, 0)->Connect(conv->InputPin(), nullptr),
              S_OK);
    ASSERT_EQ(conv->OutputPin()->Connect(sink->pin(), nullptr), S_OK);
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(conv->Pause(), S_OK);
    ASSERT_EQ(decoder->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
    for (const VobPacket& p : file.packets) {
        if (p.stream_id != stream_id) continue;
        std::optional<REFERENCE_TIME> stop;
        if (p.start_100ns) stop = *p.start_100ns + 1;
        ASSERT_EQ(source->Push(p.data, p.start_100ns, stop), S_OK);
    }
    ASSERT_EQ(source->EndOfStream(), S_OK);
    EXPECT_EQ(sink->end_of_stream_count(), 1);
    sink->Stop();
    conv->Stop();
    decoder->Stop();
    source->Stop();
    sink->pin()->Disconnect();
    conv->OutputPin()->Disconnect();
    conv->InputPin()->Disconnect();
    GetFilterPin(decoder.Get(), PINDIR_OUTPUT, 0)->Disconnect();
    GetFilterPin(decoder.Get(), PINDIR_INPUT, 0)->Disconnect();
    source->pin()->Disconnect();
    EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
}

TEST(ConsumerChain, VideoConverterTakesTheDecodedPictures) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));
    HRESULT hr = S_OK;
    filters::CMyVideoConveFilter* conv = filters::CMyVideoConveFilter::CreateInstance(nullptr, &hr);
    ASSERT_TRUE(conv);
    ComPtr<CRecordingSink> sink(new CRecordingSink([](const uint8_t* data, long bytes) -> double {
        if (bytes < 720 * 480 * 3 / 2) return -2;
        return fx::DecodeFrameBand(data, 720, 480, 720);
    }));
    RunThroughConverter(rizuvira::decoders::CLSID_MpegVideoDecoder, conv, VideoType(vob), vob, 0xE0,
                        sink.Get());
    const std::vector<Arrival> frames = sink->arrivals();
    ASSERT_EQ(frames.size(), 120u);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        EXPECT_EQ(frames[n].value, static_cast<double>(n)) << n;
        EXPECT_TRUE(frames[n].timed) << n;
    }
}

TEST(ConsumerChain, AudioConverterTakesTheDecodedSound) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));
    HRESULT hr = S_OK;
    filters::CMyAudioConveFilter* conv = filters::CMyAudioConveFilter::CreateInstance(nullptr, &hr);
    ASSERT_TRUE(conv);
    // Stereo float: 8 bytes a sample frame.
    ComPtr<CRecordingSink> sink(
        new CRecordingSink([](const uint8_t*, long bytes) -> double { return bytes / 8.0; }));
    RunThroughConverter(rizuvira::decoders::CLSID_MpegAudioDecoder, conv, Mpeg1Layer2Type(2), vob,
                        0xC0, sink.Get());
    double frames = 0;
    for (const Arrival& a : sink->arrivals()) frames += a.value;
    // The title's 4.004 s of stereo sound, give or take the encoder's padding.
    EXPECT_NEAR(frames, 4.004 * fx::kAudioRateHz, 2 * 1152);
}

}  // namespace
}  // namespace rizuvira::decoders
