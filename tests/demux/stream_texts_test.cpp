// SPDX-License-Identifier: GPL-2.0-or-later
// The stream description texts: the cases callers parse or show.
#include <gtest/gtest.h>

#include <cstring>

#include "demux/stream_texts.h"

namespace rizuvira::demux {
namespace {

CMediaType Wave(const GUID& subtype, WORD tag, WORD channels, DWORD rate, DWORD bytes_per_second,
                WORD bits = 0) {
    CMediaType type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = subtype;
    type.formattype = FORMAT_WaveFormatEx;
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = tag;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.nAvgBytesPerSec = bytes_per_second;
    wfx.wBitsPerSample = bits;
    type.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    return type;
}

TEST(StreamTexts, DvdAudioFormats) {
    EXPECT_EQ(DescribeStream(Wave(MEDIASUBTYPE_DOLBY_AC3, WAVE_FORMAT_DOLBY_AC3, 6, 48000, 56000),
                             nullptr, 0),
              "Audio - Dolby Digital, 48.0 kHz, 6 chn, 448.0 kbit/s");
    EXPECT_EQ(
        DescribeStream(Wave(MEDIASUBTYPE_DVD_LPCM_AUDIO, WAVE_FORMAT_PCM, 2, 48000, 192000, 16),
                       nullptr, 0),
        "Audio - DVD LPCM, 48.0 kHz, 2 chn, 16 bit, 1536.0 kbit/s");
    // A transport stream type names the format instead.
    EXPECT_EQ(DescribeStream(Wave(MEDIASUBTYPE_DOLBY_AC3, WAVE_FORMAT_DOLBY_AC3, 2, 48000, 24000),
                             nullptr, 0x84),
              "Audio - Dolby Digital Plus, 48.0 kHz, 2 chn, 192.0 kbit/s");
    CMediaType mpeg;
    mpeg.majortype = MEDIATYPE_Audio;
    mpeg.subtype = MEDIASUBTYPE_MPEG1AudioPayload;
    mpeg.formattype = FORMAT_WaveFormatEx;
    MPEG1WAVEFORMAT m{};
    m.wfx.wFormatTag = WAVE_FORMAT_MPEG;
    m.wfx.nChannels = 2;
    m.wfx.nSamplesPerSec = 44100;
    m.fwHeadLayer = ACM_MPEG_LAYER2;
    mpeg.SetFormat(reinterpret_cast<const BYTE*>(&m), sizeof(m));
    EXPECT_EQ(DescribeStream(mpeg, nullptr, 0), "Audio - MPEG1 - Layer 2, 44.1 kHz, 2 chn");
}

TEST(StreamTexts, BitRateBoundary) {
    EXPECT_EQ(BitRateText(20000000), "20000.0 kbit/s");
    EXPECT_EQ(BitRateText(20000001), "20.00 mbit/s");
}

TEST(StreamTexts, VideoAndSubpictures) {
    CMediaType sub;
    sub.majortype = MEDIATYPE_Video;
    sub.subtype = MEDIASUBTYPE_DVD_SUBPICTURE;
    sub.formattype = FORMAT_None;
    EXPECT_EQ(DescribeStream(sub, nullptr, 0), "Video - DVD Sub Picture");

    CMediaType video;
    video.majortype = MEDIATYPE_Video;
    video.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    video.formattype = FORMAT_MPEG2_VIDEO;
    MPEG2VIDEOINFO vi{};
    vi.hdr.bmiHeader.biWidth = 720;
    vi.hdr.bmiHeader.biHeight = 576;
    vi.hdr.AvgTimePerFrame = 400000;
    vi.hdr.dwBitRate = 9800000;
    vi.dwProfile = AM_MPEG2Profile_Main;
    vi.dwLevel = AM_MPEG2Level_Main;
    video.SetFormat(reinterpret_cast<const BYTE*>(&vi), sizeof(vi));
    EXPECT_EQ(DescribeStream(video, nullptr, 0),
              "Video - MPEG2, Main Profile, Main Level, 720x576, 25.000 fps, 9800.0 kbit/s");

    vi.hdr.bmiHeader.biCompression = MakeFourCC('A', 'V', 'C', '1');
    vi.dwProfile = 100;
    vi.dwLevel = 41;
    vi.hdr.dwBitRate = 0;
    video.SetFormat(reinterpret_cast<const BYTE*>(&vi), sizeof(vi));
    EXPECT_EQ(DescribeStream(video, nullptr, 0),
              "Video - AVC (H.264), High Profile, Level 4.1, 720x576, 25.000 fps");
}

TEST(StreamTexts, SubtitleLanguageAndEmptyDescriptions) {
    CMediaType pg;
    pg.majortype = MEDIATYPE_Subtitle;
    pg.subtype = MEDIASUBTYPE_HDMVSUB;
    pg.formattype = FORMAT_SubtitleFormat;
    SubtitleFormat info{};
    std::memcpy(info.iso_language, "fre", 3);
    pg.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof(info));
    EXPECT_EQ(DescribeStream(pg, nullptr, 0x90), "Subtitle - French, Presentation Graphics Stream");

    CMediaType nothing;
    nothing.majortype = MEDIATYPE_Audio;
    EXPECT_EQ(DescribeStream(nothing, nullptr, 0), "");
    EXPECT_FALSE(StreamTypeName(0x42).has_value());
    EXPECT_EQ(StreamTypeName(0xEA).value_or(""), "VC-1");
    EXPECT_STREQ(StreamKindName(2), "Subtitle");
}

// The conversion graph and the preview player pick tracks by the id read back from the
// names the splitter lists.
TEST(StreamTexts, TrackIdReadsTheLastTagOfAName) {
    EXPECT_EQ(StreamTag(0, 0xBD, 0x81), "(0000,bd,81)");
    EXPECT_EQ(TrackIdFromName("Audio - Dolby Digital, 48.0 kHz " + StreamTag(0, 0xBD, 0x81)),
              0xBD81);
    // Two AC-3 tracks of a transport stream differ only in their PIDs.
    EXPECT_EQ(TrackIdFromName("Audio " + StreamTag(0x1100, 0xFD, 0)), 0x1100FD00);
    EXPECT_EQ(TrackIdFromName("Audio " + StreamTag(0x1101, 0xFD, 0)), 0x1101FD00);
    // Brackets in a language or format word, before or after the tag, are passed over.
    EXPECT_EQ(TrackIdFromName("Subtitle - English (Forced) " + StreamTag(0, 0xBD, 0x20)), 0xBD20);
    EXPECT_EQ(TrackIdFromName("(Commentary) " + StreamTag(0, 0xC0, 0) + " (x)"), 0xC000);
    EXPECT_EQ(TrackIdFromName(StreamTag(0, 0xBD, 0x20) + " " + StreamTag(0, 0xBD, 0x21)), 0xBD21);
    EXPECT_EQ(TrackIdFromName("No subtitles"), -1);
    EXPECT_EQ(TrackIdFromName("Audio (0000,bd)"), -1);
    EXPECT_EQ(TrackIdFromName("("), -1);
    EXPECT_EQ(TrackIdFromName(""), -1);
}

}  // namespace
}  // namespace rizuvira::demux
