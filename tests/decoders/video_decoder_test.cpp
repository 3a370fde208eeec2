// SPDX-License-Identifier: GPL-2.0-or-later
// The video decoder against the sample discs' real MPEG-2 streams: every picture once and in
// order (read from the frame-number band), times in display order, interpolated and
// lengthened by repeated fields, flushes, the output type, and the subtitles drawn in the
// disc's colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "decoders/decoder_chain.h"
#include "decoders/decoder_interfaces.h"
#include "dvd/dvd_access.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::decoders {
namespace {

namespace fx = rizuvira::fixtures;
using rizuvira::decoders::CLSID_MpegVideoDecoder;
using rizuvira::decoders::IMySubpictureControl;

constexpr int kWidth = 720;
constexpr int kNtscHeight = 480;
constexpr int kPalHeight = 576;

// Exact start of NTSC frame n, in 100 ns.
REFERENCE_TIME NtscFrameStart(int64_t n) {
    return n * 1001 * UNITS / 30000;
}

CRecordingSink::Inspector BandReader(int height) {
    return [height](const uint8_t* data, long bytes) -> double {
        if (bytes < kWidth * height * 3 / 2) return -2;
        return fx::DecodeFrameBand(data, kWidth, height, kWidth);
    };
}

bool HasStartCode(const std::vector<uint8_t>& data, uint8_t code) {
    for (std::size_t i = 0; i + 3 < data.size(); ++i)
        if (!data[i] && !data[i + 1] && data[i + 2] == 1 && data[i + 3] == code) return true;
    return false;
}

void PushAll(DecoderChain& chain, const std::vector<VobPacket>& packets, int stream_id) {
    for (const VobPacket& p : packets)
        if (p.stream_id == stream_id) {
            ASSERT_EQ(chain.Push(p), S_OK);
        }
}

TEST(VideoDecoder, EveryPictureOnceInOrderWithDisplayTimes) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));  // title 3: 120 frames
    DecoderChain chain(CLSID_MpegVideoDecoder, VideoType(vob), BandReader(kNtscHeight));
    ASSERT_EQ(chain.Connect(), S_OK);

    const CMediaType out = chain.OutputType();
    EXPECT_EQ(out.subtype, MEDIASUBTYPE_YV12);
    ASSERT_EQ(out.formattype, FORMAT_VideoInfo2);
    const auto* vih = out.FormatAs<VIDEOINFOHEADER2>();
    ASSERT_NE(vih, nullptr);
    EXPECT_EQ(vih->bmiHeader.biWidth, kWidth);
    EXPECT_EQ(vih->bmiHeader.biHeight, kNtscHeight);  // positive: bottom-up is never offered
    EXPECT_EQ(vih->bmiHeader.biSizeImage, DWORD{kWidth * kNtscHeight * 3 / 2});
    EXPECT_EQ(vih->dwPictAspectRatioX, 4u);
    EXPECT_EQ(vih->dwPictAspectRatioY, 3u);

    chain.Start();
    PushAll(chain, vob.packets, 0xE0);
    // The last pictures are still inside the decoder (B-frame reordering) until the end.
    EXPECT_LT(chain.sink()->arrivals().size(), 120u);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    EXPECT_EQ(chain.sink()->end_of_stream_count(), 1);

    const std::vector<Arrival> frames = chain.sink()->arrivals();
    ASSERT_EQ(frames.size(), 120u);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(frames[n].value, static_cast<double>(n));
        EXPECT_EQ(frames[n].bytes, kWidth * kNtscHeight * 3 / 2);
        ASSERT_TRUE(frames[n].timed);
        EXPECT_NEAR(static_cast<double>(frames[n].start),
                    static_cast<double>(NtscFrameStart(static_cast<int64_t>(n))), 1.0);
        if (n + 1 < frames.size()) {
            EXPECT_NEAR(static_cast<double>(frames[n].stop),
                        static_cast<double>(frames[n + 1].start), 1.0);
        }
        EXPECT_EQ(frames[n].sync_point, n % 15 == 0);  // closed GOPs of 15, I-frame first
        EXPECT_EQ(frames[n].discontinuity, n == 0);
    }
    EXPECT_NEAR(static_cast<double>(frames.back().stop), static_cast<double>(NtscFrameStart(120)),
                1.0);
}

TEST(VideoDecoder, PicturesWithoutTimesAreInterpolatedWithoutDrift) {
    VobFile vob = ReadVob(VobPath("ntsc", 2));
    bool first = true;
    for (VobPacket& p : vob.packets) {
        if (p.stream_id != 0xE0) continue;
        if (!first) p.start_100ns.reset();
        first = false;
    }
    DecoderChain chain(CLSID_MpegVideoDecoder, VideoType(vob), BandReader(kNtscHeight));
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    PushAll(chain, vob.packets, 0xE0);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);

    const std::vector<Arrival> frames = chain.sink()->arrivals();
    ASSERT_EQ(frames.size(), 120u);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(frames[n].value, static_cast<double>(n));
        ASSERT_TRUE(frames[n].timed);
        EXPECT_NEAR(static_cast<double>(frames[n].start),
                    static_cast<double>(NtscFrameStart(static_cast<int64_t>(n))), 1.0);
    }
}

TEST(VideoDecoder, PicturesBeforeTheFirstTimeAreDatedBackwardsFromIt) {
    VobFile vob = ReadVob(VobPath("ntsc", 2));
    // The first two GOPs (30 pictures) lose their times, as after a seek into untimed data.
    int gops = 0;
    for (VobPacket& p : vob.packets) {
        if (p.stream_id != 0xE0) continue;
        if (HasStartCode(p.data, 0xB3)) ++gops;
        if (gops <= 2) p.start_100ns.reset();
    }
    DecoderChain chain(CLSID_MpegVideoDecoder, VideoType(vob), BandReader(kNtscHeight));
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    PushAll(chain, vob.packets, 0xE0);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    const std::vector<Arrival> frames = chain.sink()->arrivals();
    ASSERT_EQ(frames.size(), 120u);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(frames[n].value, static_cast<double>(n));
        EXPECT_NEAR(static_cast<double>(frames[n].start),
                    static_cast<double>(NtscFrameStart(static_cast<int64_t>(n))), 2.0);
    }
}

// Soft telecine: film stored as progressive frames, some flagged to show a field twice. The
// sequence is marked interlaced and every second coded picture repeats its first field, so
// such a picture lasts one and a half frame periods.
TEST(VideoDecoder, RepeatedFieldsLengthenThePicture) {
    VobFile vob = ReadVob(VobPath("ntsc", 2));
    int repeated = 0;
    int coded = 0;
    bool first = true;
    for (VobPacket& p : vob.packets) {
        if (p.stream_id != 0xE0) continue;
        if (!first) p.start_100ns.reset();
        first = false;
        std::vector<uint8_t>& d = p.data;
        for (std::size_t i = 0; i + 8 < d.size(); ++i) {
            if (d[i] || d[i + 1] || d[i + 2] != 1 || d[i + 3] != 0xB5) continue;
            const int extension = d[i + 4] >> 4;
            if (extension == 1)
                d[i + 5] &= static_cast<uint8_t>(~0x08);  // progressive_sequence = 0
            if (extension == 8) {
                ASSERT_NE(d[i + 8] & 0x80, 0) << "progressive_frame expected";
                if (coded++ % 2 == 1) {
                    d[i + 7] |= 0x02;  // repeat_first_field
                    ++repeated;
                }
            }
        }
    }
    // A picture whose extension straddles two payloads stays as it was.
    ASSERT_GE(coded, 115);
    DecoderChain chain(CLSID_MpegVideoDecoder, VideoType(vob), BandReader(kNtscHeight));
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    PushAll(chain, vob.packets, 0xE0);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);

    const std::vector<Arrival> frames = chain.sink()->arrivals();
    ASSERT_EQ(frames.size(), 120u);
    const double period = 1001.0 * UNITS / 30000;
    int long_pictures = 0;
    for (std::size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(frames[n].value, static_cast<double>(n));
        const double duration = static_cast<double>(frames[n].stop - frames[n].start);
        if (std::abs(duration - 1.5 * period) <= 1.0) {
            ++long_pictures;
        } else {
            EXPECT_NEAR(duration, period, 1.0);
        }
        if (n + 1 < frames.size()) {
            EXPECT_EQ(frames[n].stop, frames[n + 1].start);
        }
    }
    EXPECT_EQ(long_pictures, repeated);
    EXPECT_NEAR(static_cast<double>(frames.back().stop - frames.front().start),
                (120 + repeated / 2.0) * period, 1.0);
}

TEST(VideoDecoder, DisplayAspectComesFromTheSequenceHeaderWhenTheTypeLacksIt) {
    const VobFile vob = ReadVob(VobPath("ntsc", 4));  // title 5, 16:9
    CMediaType type = VideoType(vob);
    auto* info = type.FormatAs<MPEG2VIDEOINFO>();
    ASSERT_NE(info, nullptr);
    info->hdr.dwPictAspectRatioX = 0;
    info->hdr.dwPictAspectRatioY = 0;
    DecoderChain chain(CLSID_MpegVideoDecoder, type, {});
    ASSERT_EQ(chain.Connect(), S_OK);
    const auto* vih = chain.OutputType().FormatAs<VIDEOINFOHEADER2>();
    ASSERT_NE(vih, nullptr);
    EXPECT_EQ(vih->dwPictAspectRatioX, 16u);
    EXPECT_EQ(vih->dwPictAspectRatioY, 9u);
}

TEST(VideoDecoder, RefusesWhatItCannotDecode) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));
    DecoderChain chain(CLSID_MpegVideoDecoder, Ac3Type(2), {});
    ComPtr<IPin> video_in = GetFilterPin(chain.decoder(), PINDIR_INPUT, 0);
    ComPtr<IPin> subpicture_in = GetFilterPin(chain.decoder(), PINDIR_INPUT, 1);
    ASSERT_TRUE(video_in && subpicture_in);
    EXPECT_EQ(GetFilterPin(chain.decoder(), PINDIR_INPUT, 2), nullptr);
    EXPECT_NE(chain.source()->pin()->Connect(video_in.Get(), nullptr), S_OK);
    const CMediaType subpicture = SubpictureType();
    const CMediaType ac3 = Ac3Type(2);
    EXPECT_EQ(video_in->QueryAccept(&subpicture), S_FALSE);
    EXPECT_EQ(subpicture_in->QueryAccept(&subpicture), S_OK);
    EXPECT_EQ(subpicture_in->QueryAccept(&ac3), S_FALSE);

    // A format block whose sequence header length runs past its end is refused, not read.
    CMediaType broken = VideoType(vob);
    broken.FormatAs<MPEG2VIDEOINFO>()->cbSequenceHeader += 64;
    EXPECT_EQ(video_in->QueryAccept(&broken), S_FALSE);
    const CMediaType good = VideoType(vob);
    EXPECT_EQ(video_in->QueryAccept(&good), S_OK);
}

TEST(VideoDecoder, FlushDropsThePastAndDecodingResumesAtTheNextGop) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));
    const std::vector<const VobPacket*> video = StreamPackets(vob, 0xE0);
    // Sequence headers open the GOPs (one per 15 frames).
    std::vector<std::size_t> gop_starts;
    for (std::size_t i = 0; i < video.size(); ++i)
        if (HasStartCode(video[i]->data, 0xB3)) gop_starts.push_back(i);
    ASSERT_EQ(gop_starts.size(), 8u);

    DecoderChain chain(CLSID_MpegVideoDecoder, VideoType(vob), BandReader(kNtscHeight));
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    for (std::size_t i = 0; i < gop_starts[3] + 3; ++i) ASSERT_EQ(chain.Push(*video[i]), S_OK);
    ASSERT_GT(chain.sink()->arrivals().size(), 30u);

    ASSERT_EQ(chain.source()->BeginFlush(), S_OK);
    ASSERT_EQ(chain.source()->EndFlush(), S_OK);
    EXPECT_EQ(chain.sink()->flush_count(), 1);
    chain.sink()->Clear();
    ASSERT_EQ(chain.source()->NewSegment(NtscFrameStart(90), NtscFrameStart(120), 1.0), S_OK);
    for (std::size_t i = gop_starts[6]; i < video.size(); ++i)
        ASSERT_EQ(chain.Push(*video[i]), S_OK);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);

    const std::vector<Arrival> frames = chain.sink()->arrivals();
    ASSERT_EQ(frames.size(), 30u);  // frames 90 to 119, nothing from before the flush
    for (std::size_t k = 0; k < frames.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(frames[k].value, static_cast<double>(90 + k));
        EXPECT_NEAR(static_cast<double>(frames[k].start),
                    static_cast<double>(NtscFrameStart(static_cast<int64_t>(90 + k))), 1.0);
        EXPECT_EQ(frames[k].discontinuity, k == 0);
    }
    EXPECT_EQ(chain.sink()->end_of_stream_count(), 1);
}

TEST(VideoDecoder, StopAndRestartDecodesAgainFromTheStart) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));
    DecoderChain chain(CLSID_MpegVideoDecoder, VideoType(vob), BandReader(kNtscHeight));
    ASSERT_EQ(chain.Connect(), S_OK);
    ComPtr<rizuvira::decoders::IMyDecoderThreads> threads;
    ASSERT_EQ(ComPtr<IBaseFilter>(chain.decoder()).As(&threads), S_OK);
    EXPECT_EQ(threads->GetThreadCount(), 0);
    EXPECT_EQ(threads->SetThreadCount(-1), E_INVALIDARG);
    for (int threads_used : {1, 2}) {
        SCOPED_TRACE(threads_used);
        ASSERT_EQ(threads->SetThreadCount(threads_used), S_OK);
        chain.sink()->Clear();
        chain.Start();
        PushAll(chain, vob.packets, 0xE0);
        ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
        const std::vector<Arrival> frames = chain.sink()->arrivals();
        ASSERT_EQ(frames.size(), 120u);
        EXPECT_EQ(frames.front().value, 0);
        EXPECT_EQ(frames.back().value, 119);
        chain.Stop();
    }
}

// Without subtitles, pictures are decoded straight into output samples and delivered as they
// are; with the subpicture input connected every picture is copied. Both must give the same
// pictures, also when the consumer holds samples (the decoder then falls back to copies), and
// a sample held downstream must never be decoded into again.
TEST(VideoDecoder, PicturesDecodedIntoSamplesEqualCopiesAndStayUntouchedWhileHeld) {
    const VobFile vob = ReadVob(VobPath("ntsc", 2));
    const CRecordingSink::Inspector checksum = [](const uint8_t* data, long bytes) -> double {
        return static_cast<double>(Fnv1a(data, bytes) >> 12);  // exact in a double
    };
    auto run = [&](bool copies, std::size_t held) {
        DecoderChain chain(CLSID_MpegVideoDecoder, VideoType(vob), checksum);
        EXPECT_EQ(chain.Connect(), S_OK);
        if (copies) {
            EXPECT_EQ(chain.ConnectSubpictures(), S_OK);  // no subpictures are pushed
        }
        chain.sink()->HoldSamples(held);
        chain.Start();
        PushAll(chain, vob.packets, 0xE0);
        EXPECT_EQ(chain.source()->EndOfStream(), S_OK);
        EXPECT_EQ(chain.sink()->changed_while_held(), 0);
        std::vector<double> sums;
        for (const Arrival& a : chain.sink()->arrivals()) sums.push_back(a.value);
        return sums;
    };
    const std::vector<double> copied = run(true, 0);
    ASSERT_EQ(copied.size(), 120u);
    for (std::size_t held : {0u, 5u}) {
        SCOPED_TRACE(held);
        EXPECT_EQ(run(false, held), copied);
    }
}

// Subtitles: the PAL title's English track shows 1.0-3.0 s and 6.0-8.0 s. The same pictures
// decoded without the subpicture input tell which pixels the subtitle changed.
struct SubtitleRun {
    std::map<int, uint64_t> bottom_checksum;  // by frame number
    std::vector<uint8_t> frame50_luma;
};

SubtitleRun DecodePal(bool with_subtitles, const uint32_t* palette) {
    SubtitleRun run;
    const VobFile vob = ReadVob(VobPath("pal", 1));
    CRecordingSink::Inspector inspect = [&run](const uint8_t* data, long bytes) -> double {
        if (bytes < kWidth * kPalHeight * 3 / 2) return -2;
        const int frame = fx::DecodeFrameBand(data, kWidth, kPalHeight, kWidth);
        uint64_t sum = 0;
        for (int y = kPalHeight * 5 / 8; y < kPalHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                sum += static_cast<uint64_t>(data[y * kWidth + x]) * static_cast<uint64_t>(x + 1);
        // Chroma of the same rows (V then U planes).
        const uint8_t* v = data + kWidth * kPalHeight;
        for (int i = kWidth / 2 * kPalHeight * 5 / 16; i < kWidth / 2 * kPalHeight / 2; ++i)
            sum += v[i] * 7u;
        run.bottom_checksum[frame] = sum;
        if (frame == 50) run.frame50_luma.assign(data, data + kWidth * kPalHeight);
        return frame;
    };
    DecoderChain chain(CLSID_MpegVideoDecoder, VideoType(vob), inspect);
    EXPECT_EQ(chain.Connect(), S_OK);
    if (with_subtitles) {
        EXPECT_EQ(chain.ConnectSubpictures(), S_OK);
        if (palette) {
            ComPtr<IMySubpictureControl> control;
            EXPECT_EQ(ComPtr<IBaseFilter>(chain.decoder()).As(&control), S_OK);
            EXPECT_EQ(control->SetPalette(palette), S_OK);
        }
    }
    chain.Start();
    for (const VobPacket& p : vob.packets)
        if (p.stream_id == 0xE0 || (with_subtitles && p.stream_id == 0x20)) {
            EXPECT_EQ(chain.Push(p), S_OK);
        }
    EXPECT_EQ(chain.source()->EndOfStream(), S_OK);
    EXPECT_EQ(chain.sink()->arrivals().size(), 250u);
    return run;
}

TEST(VideoDecoder, ChosenSubtitleShowsFromItsStartToItsEndInTheDiscColours) {
    const int32_t disc = rizuvira::dvd::MyDVDOpen(fx::SampleDiscPath(fx::kPalDisc.folder).c_str());
    ASSERT_NE(disc, 0);
    uint32_t palette[16] = {};
    ASSERT_TRUE(rizuvira::dvd::MyDVDGetPalette(disc, 0, palette));
    rizuvira::dvd::MyDVDClose(disc);

    const SubtitleRun plain = DecodePal(false, nullptr);
    const SubtitleRun subtitled = DecodePal(true, palette);
    ASSERT_EQ(plain.bottom_checksum.size(), 250u);
    ASSERT_EQ(subtitled.bottom_checksum.size(), 250u);
    auto shows = [&](int frame) {
        return plain.bottom_checksum.at(frame) != subtitled.bottom_checksum.at(frame);
    };
    // Frame n starts at n * 40 ms: the cues cover frames 25-74 and 150-199. A subpicture
    // counts its display delays in ticks of 1024/90000 s, so its end lands up to 11 ms late
    // and may still cover the picture that starts exactly at the cue's end.
    for (int frame = 0; frame < 250; ++frame) {
        SCOPED_TRACE(frame);
        if (frame == 75 || frame == 200) continue;
        const bool in_cue = (frame >= 25 && frame < 75) || (frame >= 150 && frame < 200);
        EXPECT_EQ(shows(frame), in_cue);
    }

    // The text is drawn in the colours of the title's table: the pixels that changed most
    // often take the luma of one of its entries.
    ASSERT_EQ(plain.frame50_luma.size(), subtitled.frame50_luma.size());
    std::map<int, int> changed;
    for (std::size_t i = 0; i < plain.frame50_luma.size(); ++i)
        if (plain.frame50_luma[i] != subtitled.frame50_luma[i])
            ++changed[subtitled.frame50_luma[i]];
    ASSERT_FALSE(changed.empty());
    const auto most =
        std::max_element(changed.begin(), changed.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    std::set<int> palette_luma;
    for (uint32_t entry : palette) palette_luma.insert(static_cast<int>((entry >> 16) & 0xFF));
    bool matches = false;
    for (int y : palette_luma) matches |= std::abs(y - most->first) <= 2;
    EXPECT_TRUE(matches) << "most common subtitle luma " << most->first;
}

}  // namespace
}  // namespace rizuvira::decoders
