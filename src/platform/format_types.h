// SPDX-License-Identifier: GPL-2.0-or-later
// Format blocks carried by media types, with the byte layouts of their Windows originals
// (packed where those are packed). Sizes are checked below; a format block is always read
// through CMediaType::FormatAs<T>() or after checking cbFormat, never blindly.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

namespace rizuvira::platform {

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
    friend constexpr bool operator==(const RECT&, const RECT&) = default;
};

constexpr LONG RectWidth(const RECT& r) {
    return r.right - r.left;
}
constexpr LONG RectHeight(const RECT& r) {
    return r.bottom - r.top;
}
constexpr bool IsRectEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<BYTE>(a)) |
           (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) |
           (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

inline constexpr DWORD BI_RGB = 0;

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

// dwInterlaceFlags bits.
inline constexpr DWORD AMINTERLACE_IsInterlaced = 0x00000001;
inline constexpr DWORD AMINTERLACE_1FieldPerSample = 0x00000002;
inline constexpr DWORD AMINTERLACE_Field1First = 0x00000004;

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    DWORD dwControlFlags;  // dwReserved1 in older headers
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};

// An MPEG-1 video format: the sequence header bytes follow the fixed part; the block is
// offsetof(MPEG1VIDEOINFO, bSequenceHeader) + cbSequenceHeader bytes long.
struct MPEG1VIDEOINFO {
    VIDEOINFOHEADER hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    BYTE bSequenceHeader[1];
};

// An MPEG-2 video format: sequence header (and extension) bytes follow in dwSequenceHeader;
// the block is offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + cbSequenceHeader bytes long.
struct MPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    DWORD dwProfile;
    DWORD dwLevel;
    DWORD dwFlags;
    DWORD dwSequenceHeader[1];
};

constexpr std::size_t SizeMpeg1VideoInfo(DWORD sequence_header_bytes) {
    return offsetof(MPEG1VIDEOINFO, bSequenceHeader) + sequence_header_bytes;
}
constexpr std::size_t SizeMpeg2VideoInfo(DWORD sequence_header_bytes) {
    return offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + sequence_header_bytes;
}

// MPEG-2 profiles and levels of MPEG2VIDEOINFO.
inline constexpr DWORD AM_MPEG2Profile_Simple = 1;
inline constexpr DWORD AM_MPEG2Profile_Main = 2;
inline constexpr DWORD AM_MPEG2Profile_SNRScalable = 3;
inline constexpr DWORD AM_MPEG2Profile_SpatiallyScalable = 4;
inline constexpr DWORD AM_MPEG2Profile_High = 5;
inline constexpr DWORD AM_MPEG2Level_Low = 1;
inline constexpr DWORD AM_MPEG2Level_Main = 2;
inline constexpr DWORD AM_MPEG2Level_High1440 = 3;
inline constexpr DWORD AM_MPEG2Level_High = 4;

#pragma pack(push, 1)

inline constexpr WORD WAVE_FORMAT_PCM = 0x0001;
inline constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 0x0003;
inline constexpr WORD WAVE_FORMAT_MPEG = 0x0050;
inline constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;
inline constexpr WORD WAVE_FORMAT_AAC = 0x00FF;
inline constexpr WORD WAVE_FORMAT_DOLBY_AC3 = 0x2000;
inline constexpr WORD WAVE_FORMAT_DTS = 0x2001;
inline constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;  // bytes of extra format data that follow
};

// fwHeadLayer
inline constexpr WORD ACM_MPEG_LAYER1 = 0x0001;
inline constexpr WORD ACM_MPEG_LAYER2 = 0x0002;
inline constexpr WORD ACM_MPEG_LAYER3 = 0x0004;
// fwHeadMode
inline constexpr WORD ACM_MPEG_STEREO = 0x0001;
inline constexpr WORD ACM_MPEG_JOINTSTEREO = 0x0002;
inline constexpr WORD ACM_MPEG_DUALCHANNEL = 0x0004;
inline constexpr WORD ACM_MPEG_SINGLECHANNEL = 0x0008;
// fwHeadFlags
inline constexpr WORD ACM_MPEG_PRIVATEBIT = 0x0001;
inline constexpr WORD ACM_MPEG_COPYRIGHT = 0x0002;
inline constexpr WORD ACM_MPEG_ORIGINALHOME = 0x0004;
inline constexpr WORD ACM_MPEG_PROTECTIONBIT = 0x0008;
inline constexpr WORD ACM_MPEG_ID_MPEG1 = 0x0010;

struct MPEG1WAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD fwHeadLayer;
    DWORD dwHeadBitrate;
    WORD fwHeadMode;
    WORD fwHeadModeExt;
    WORD wHeadEmphasis;
    WORD fwHeadFlags;
    DWORD dwPTSLow;
    DWORD dwPTSHigh;
};

struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    WORD wValidBitsPerSample;  // also wSamplesPerBlock
    DWORD dwChannelMask;
    BYTE SubFormat[16];  // a GUID, stored as bytes so the struct stays packed
};

#pragma pack(pop)

static_assert(sizeof(RECT) == 16);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48);
static_assert(sizeof(VIDEOINFOHEADER2) == 112);
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) == 72);
static_assert(sizeof(MPEG1VIDEOINFO) == 104);
static_assert(offsetof(MPEG1VIDEOINFO, bSequenceHeader) == 96);
static_assert(sizeof(MPEG2VIDEOINFO) == 136);
static_assert(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == 132);
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEG1WAVEFORMAT) == 40);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);

}  // namespace rizuvira::platform
