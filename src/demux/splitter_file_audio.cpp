// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseSplitterFileEx, the audio headers: MPEG audio, AAC (ADTS), AC-3 and E-AC-3, DTS, DVD and
// Blu-ray LPCM and PS2 audio, each with the media type it describes.
#include "demux/splitter_file_ex.h"

#include <algorithm>
#include <cstring>

#include "demux/demux_types.h"

namespace rizuvira::demux {

namespace {

void SetWaveFormat(CMediaType* type, const GUID& subtype, const WAVEFORMATEX& wfx,
                   const uint8_t* extra = nullptr, size_t extra_bytes = 0) {
    if (!type) return;
    *type = CMediaType();
    type->majortype = MEDIATYPE_Audio;
    type->subtype = subtype;
    type->formattype = FORMAT_WaveFormatEx;
    BYTE* block = type->AllocFormatBuffer(static_cast<ULONG>(sizeof(WAVEFORMATEX) + extra_bytes));
    if (!block) return;
    WAVEFORMATEX w = wfx;
    w.cbSize = static_cast<WORD>(extra_bytes);
    std::memcpy(block, &w, sizeof(w));
    if (extra_bytes) std::memcpy(block + sizeof(w), extra, extra_bytes);
    type->SetSampleSize(1);
    type->SetVariableSize();
}

constexpr int kAc3Channels[8] = {2, 1, 2, 3, 3, 4, 4, 5};  // by acmod, without the LFE
constexpr int kAc3Rates[3] = {48000, 44100, 32000};        // by fscod

// The type of an AC-3 or E-AC-3 stream whose header is `h`.
void SetAc3Type(const Ac3Header& h, const GUID& subtype, CMediaType* type) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_DOLBY_AC3;
    wfx.nChannels = static_cast<WORD>(h.channels);
    wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
    wfx.nAvgBytesPerSec = static_cast<DWORD>(h.bytes_per_second);
    wfx.nBlockAlign = static_cast<WORD>(h.block_bytes);
    SetWaveFormat(type, subtype, wfx);
}

}  // namespace

bool CBaseSplitterFileEx::Read(MpegAudioHeader& h, int64_t length, CMediaType* type) {
    h = {};
    const int64_t end = Position() + length;
    AlignToByte();
    for (;;) {
        if (end - Position() <= 3) return false;
        if ((ReadBits(12, true) & 0xFFF) == 0xFFF) break;
        ReadBits(8);
    }
    ReadBits(11);
    const int version_code = static_cast<int>(ReadBits(2));
    const int layer_code = static_cast<int>(ReadBits(2));
    h.protection = ReadBits(1);
    h.bit_rate_index = static_cast<int>(ReadBits(4));
    h.sample_rate_index = static_cast<int>(ReadBits(2));
    h.padding = ReadBits(1);
    h.private_bit = ReadBits(1);
    h.mode = static_cast<int>(ReadBits(2));
    h.mode_extension = static_cast<int>(ReadBits(2));
    h.copyright = ReadBits(1);
    h.original = ReadBits(1);
    h.emphasis = static_cast<int>(ReadBits(2));
    if (version_code == 1 || layer_code == 0 || h.sample_rate_index == 3 ||
        h.bit_rate_index == 15 || h.bit_rate_index == 0 || h.emphasis == 2)
        return false;
    h.version = version_code == 3 ? 1 : 2;
    h.layer = 4 - layer_code;

    static constexpr int kBitRates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static constexpr int kSampleRates[3][3] = {
        {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    const int table = h.version == 1 ? 0 : 1;
    h.bit_rate = kBitRates[table][h.layer - 1][h.bit_rate_index] * 1000;
    h.sample_rate = kSampleRates[version_code == 3   ? 0
                                 : version_code == 2 ? 1
                                                     : 2][h.sample_rate_index];
    if (h.layer == 1) {
        h.frame_bytes = (12 * h.bit_rate / h.sample_rate + (h.padding ? 1 : 0)) * 4;
        h.samples_per_frame = 384;
    } else {
        const int factor = (h.layer == 3 && h.version != 1) ? 72 : 144;
        h.frame_bytes = factor * h.bit_rate / h.sample_rate + (h.padding ? 1 : 0);
        h.samples_per_frame = (h.layer == 3 && h.version != 1) ? 576 : 1152;
    }
    h.frame_duration_100ns = int64_t{h.samples_per_frame} * 10000000 / h.sample_rate;
    h.channels = h.mode == 3 ? 1 : 2;

    if (type) {
        if (h.layer == 3) {
            WAVEFORMATEX wfx{};
            wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
            wfx.nChannels = static_cast<WORD>(h.channels);
            wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
            wfx.nAvgBytesPerSec = static_cast<DWORD>(h.bit_rate / 8);
            wfx.nBlockAlign = 1;
            SetWaveFormat(type, MEDIASUBTYPE_MP3, wfx);
        } else {
            MPEG1WAVEFORMAT m{};
            m.wfx.wFormatTag = WAVE_FORMAT_MPEG;
            m.wfx.nChannels = static_cast<WORD>(h.channels);
            m.wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
            m.wfx.nAvgBytesPerSec = static_cast<DWORD>(h.bit_rate / 8);
            m.wfx.nBlockAlign = 1;
            m.fwHeadLayer = static_cast<WORD>(1 << (h.layer - 1));
            m.dwHeadBitrate = static_cast<DWORD>(h.bit_rate);
            m.fwHeadMode = static_cast<WORD>(1 << h.mode);
            m.fwHeadModeExt = static_cast<WORD>(1 << h.mode_extension);
            m.wHeadEmphasis = static_cast<WORD>(h.emphasis + 1);
            m.fwHeadFlags = static_cast<WORD>((h.private_bit ? ACM_MPEG_PRIVATEBIT : 0) |
                                              (h.copyright ? ACM_MPEG_COPYRIGHT : 0) |
                                              (h.original ? ACM_MPEG_ORIGINALHOME : 0) |
                                              (h.protection ? ACM_MPEG_PROTECTIONBIT : 0) |
                                              (h.version == 1 ? ACM_MPEG_ID_MPEG1 : 0));
            const auto* extra = reinterpret_cast<const uint8_t*>(&m) + sizeof(WAVEFORMATEX);
            SetWaveFormat(
                type, h.version == 1 ? MEDIASUBTYPE_MPEG1AudioPayload : MEDIASUBTYPE_MPEG2_AUDIO,
                m.wfx, extra, sizeof(m) - sizeof(WAVEFORMATEX));
        }
    }
    return true;
}

bool CBaseSplitterFileEx::Read(AacHeader& h, int64_t length, CMediaType* type) {
    h = {};
    const int64_t end = Position() + length;
    AlignToByte();
    for (;;) {
        if (end - Position() <= 6) return false;
        if (ReadBits(12, true) == 0xFFF) break;
        ReadBits(8);
    }
    ReadBits(12);
    ReadBits(1);  // id
    if (ReadBits(2) != 0) return false;
    h.crc = ReadBits(1) == 0;
    h.profile = static_cast<int>(ReadBits(2));
    h.sample_rate_index = static_cast<int>(ReadBits(4));
    ReadBits(1);
    h.channels = static_cast<int>(ReadBits(3));
    ReadBits(4);
    h.frame_bytes = static_cast<int>(ReadBits(13));
    ReadBits(11);
    ReadBits(2);
    h.header_bytes = h.crc ? 9 : 7;
    if (h.crc) ReadBits(16);
    if (h.sample_rate_index > 11 || h.frame_bytes <= h.header_bytes) return false;
    static constexpr int kRates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                       24000, 22050, 16000, 12000, 11025, 8000};
    h.sample_rate = kRates[h.sample_rate_index];
    if (type) {
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = WAVE_FORMAT_AAC;
        wfx.nChannels = static_cast<WORD>(h.channels);
        wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
        wfx.nBlockAlign = 1;
        const uint16_t config = static_cast<uint16_t>(
            ((h.profile + 1) << 11) | (h.sample_rate_index << 7) | (h.channels << 3));
        const uint8_t extra[2] = {static_cast<uint8_t>(config >> 8), static_cast<uint8_t>(config)};
        SetWaveFormat(type, MEDIASUBTYPE_AAC, wfx, extra, 2);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(Ac3Header& h, int64_t length, CMediaType* type) {
    h = {};
    const int64_t end = Position() + length;
    AlignToByte();
    for (;;) {
        if (end - Position() <= 6) return false;
        if (ReadBits(16, true) == 0x0B77) break;
        ReadBits(8);
    }
    // bsid sits 40 bits in for AC-3 and E-AC-3 alike; above 10 the frame is E-AC-3.
    if (((ReadBits(48, true) >> 3) & 0x1F) > 10) return ReadEac3(h, type);
    ReadBits(16);
    ReadBits(16);  // crc1
    h.fscod = static_cast<int>(ReadBits(2));
    h.frmsizecod = static_cast<int>(ReadBits(6));
    h.bsid = static_cast<int>(ReadBits(5));
    h.bsmod = static_cast<int>(ReadBits(3));
    h.acmod = static_cast<int>(ReadBits(3));
    if ((h.acmod & 1) && h.acmod != 1) ReadBits(2);  // cmixlev
    if (h.acmod & 4) ReadBits(2);                    // surmixlev
    if (h.acmod == 2) ReadBits(2);                   // dsurmod
    h.lfeon = ReadBits(1);
    if (h.bsid >= 17 || h.fscod == 3 || h.frmsizecod >= 48) return false;
    static constexpr int kKbps[24] = {32,  40,  48,  56,  64,  80,   96,   112,
                                      128, 160, 192, 224, 256, 320,  384,  448,
                                      512, 576, 640, 768, 896, 1024, 1152, 1280};
    h.channels = kAc3Channels[h.acmod] + (h.lfeon ? 1 : 0);
    h.sample_rate = kAc3Rates[h.fscod];
    if (h.bsid == 9)
        h.sample_rate /= 2;
    else if (h.bsid == 10)
        h.sample_rate /= 4;
    h.bytes_per_second = kKbps[h.frmsizecod / 2] * 1000 / 8;
    h.block_bytes = static_cast<int>(int64_t{h.bytes_per_second} * 1536 / h.sample_rate);
    SetAc3Type(h, MEDIASUBTYPE_DOLBY_AC3, type);
    return true;
}

bool CBaseSplitterFileEx::ReadEac3(Ac3Header& h, CMediaType* type) {
    ReadBits(16);  // syncword
    ReadBits(2);   // strmtyp
    ReadBits(3);   // substreamid
    const int frame_bytes = (static_cast<int>(ReadBits(11)) + 1) * 2;
    h.fscod = static_cast<int>(ReadBits(2));
    int blocks = 6;
    if (h.fscod == 3) {
        const int fscod2 = static_cast<int>(ReadBits(2));
        if (fscod2 == 3) return false;
        h.sample_rate = kAc3Rates[fscod2] / 2;
    } else {
        static constexpr int kBlocks[4] = {1, 2, 3, 6};
        blocks = kBlocks[ReadBits(2)];
        h.sample_rate = kAc3Rates[h.fscod];
    }
    h.acmod = static_cast<int>(ReadBits(3));
    h.lfeon = ReadBits(1);
    h.bsid = static_cast<int>(ReadBits(5));
    if (h.bsid > 16) return false;
    h.channels = kAc3Channels[h.acmod] + (h.lfeon ? 1 : 0);
    h.eac3 = true;
    h.block_bytes = frame_bytes;
    h.bytes_per_second = static_cast<int>(int64_t{frame_bytes} * h.sample_rate / (blocks * 256));
    SetAc3Type(h, MEDIASUBTYPE_DOLBY_DDPLUS, type);
    return true;
}

bool CBaseSplitterFileEx::Read(DtsHeader& h, int64_t length, CMediaType* type) {
    h = {};
    const int64_t end = Position() + length;
    AlignToByte();
    for (;;) {
        if (end - Position() <= 9) return false;
        if (ReadBits(32, true) == 0x7FFE8001) break;
        ReadBits(8);
    }
    ReadBits(32);
    h.normal_frame = ReadBits(1);
    h.deficit_samples = static_cast<int>(ReadBits(5));
    h.crc = ReadBits(1);
    h.pcm_blocks = static_cast<int>(ReadBits(7));
    h.frame_bytes = static_cast<int>(ReadBits(14)) + 1;
    h.arrangement = static_cast<int>(ReadBits(6));
    h.sample_rate_code = static_cast<int>(ReadBits(4));
    h.bit_rate_code = static_cast<int>(ReadBits(5));
    ReadBits(5);  // downmix, dynamic range, timestamp, aux data, HDCD
    ReadBits(3);  // extension audio id
    ReadBits(1);
    ReadBits(1);
    h.lfe = static_cast<int>(ReadBits(2));
    static constexpr int kChannels[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
    static constexpr int kRates[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                                       44100, 0,    0,     12000, 24000, 48000, 0,     0};
    static constexpr int kBitRates[32] = {
        32000,   56000,   64000,   96000,   112000,  128000,  192000,  224000,
        256000,  320000,  384000,  448000,  512000,  576000,  640000,  754500,
        960000,  1024000, 1152000, 1280000, 1344000, 1408000, 1411200, 1472000,
        1509750, 1920000, 2048000, 3072000, 3840000, 0,       0,       0};
    h.channels = h.arrangement < 16 ? kChannels[h.arrangement] : 0;
    if (h.lfe) ++h.channels;
    h.sample_rate = kRates[h.sample_rate_code];
    h.bytes_per_second = (kBitRates[h.bit_rate_code] + 4) / 8;
    if (type) {
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = WAVE_FORMAT_DTS;
        wfx.nChannels = static_cast<WORD>(h.channels);
        wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
        wfx.nAvgBytesPerSec = static_cast<DWORD>(h.bytes_per_second);
        wfx.nBlockAlign = static_cast<WORD>(h.frame_bytes);
        SetWaveFormat(type, MEDIASUBTYPE_DTS, wfx);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(DvdLpcmHeader& h, CMediaType* type) {
    h = {};
    ReadBits(2);  // emphasis, mute
    const bool reserved1 = ReadBits(1);
    h.frame_number = static_cast<int>(ReadBits(5));
    h.word_length_code = static_cast<int>(ReadBits(2));
    h.sample_rate_code = static_cast<int>(ReadBits(2));
    const bool reserved2 = ReadBits(1);
    h.channels = static_cast<int>(ReadBits(3)) + 1;
    ReadBits(8);  // dynamic range
    if (h.word_length_code == 3 || reserved1 || reserved2) return false;
    static constexpr int kRates[4] = {48000, 96000, 44100, 32000};
    static constexpr int kBits[3] = {16, 20, 24};
    h.sample_rate = kRates[h.sample_rate_code];
    h.bits = kBits[h.word_length_code];
    h.block_bytes = h.channels * 2 * h.bits / 8;
    h.bytes_per_second = h.block_bytes * h.sample_rate / 2;
    if (type) {
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = WAVE_FORMAT_PCM;
        wfx.nChannels = static_cast<WORD>(h.channels);
        wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
        wfx.nAvgBytesPerSec = static_cast<DWORD>(h.bytes_per_second);
        wfx.nBlockAlign = static_cast<WORD>(h.block_bytes);
        wfx.wBitsPerSample = static_cast<WORD>(h.bits);
        SetWaveFormat(type, MEDIASUBTYPE_DVD_LPCM_AUDIO, wfx);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(HdmvLpcmHeader& h, CMediaType* type) {
    h = {};
    h.size = static_cast<int>(ReadBits(16));
    h.layout = static_cast<int>(ReadBits(4));
    h.sample_rate_code = static_cast<int>(ReadBits(4));
    h.bits_code = static_cast<int>(ReadBits(2));
    ReadBits(6);
    if (h.layout == 0 || h.layout == 2) return false;
    if (h.sample_rate_code != 1 && h.sample_rate_code != 4 && h.sample_rate_code != 5) return false;
    static constexpr int kChannels[16] = {0, 1, 0, 2, 3, 3, 4, 4, 5, 6, 7, 8, 0, 0, 0, 0};
    h.channels = kChannels[h.layout];
    h.sample_rate = h.sample_rate_code == 1 ? 48000 : h.sample_rate_code == 4 ? 96000 : 192000;
    h.bits = h.bits_code == 1 ? 16 : h.bits_code == 2 ? 20 : h.bits_code == 3 ? 24 : 0;
    if (type) {
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = WAVE_FORMAT_PCM;
        wfx.nChannels = static_cast<WORD>(h.channels);
        wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
        wfx.wBitsPerSample = static_cast<WORD>(h.bits);
        wfx.nBlockAlign = static_cast<WORD>(h.channels * ((h.bits + 7) / 8));
        wfx.nAvgBytesPerSec = wfx.nBlockAlign * wfx.nSamplesPerSec;
        const uint8_t layout = static_cast<uint8_t>(h.layout);
        SetWaveFormat(type, MEDIASUBTYPE_HDMV_LPCM_AUDIO, wfx, &layout, 1);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(Ps2AudioHeader& h, CMediaType* type) {
    h = {};
    if (ReadBits(32) != 0x53536864) return false;  // "SShd"
    auto le32 = [this] {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(ReadBits(8)) << (8 * i);
        return v;
    };
    const uint32_t size = le32();
    if (size < 16) return false;
    h.type = static_cast<int>(le32());
    h.sample_rate = static_cast<int>(le32());
    h.channels = static_cast<int>(le32());
    h.interleave = static_cast<int>(le32());
    for (uint32_t i = 16; i < size && i < 64; ++i) ReadBits(8);
    if (ReadBits(32) != 0x53536264) return false;  // "SSbd"
    le32();
    if ((h.type != 1 && h.type != 0x10) || h.sample_rate <= 0 || h.sample_rate > 192000 ||
        h.channels <= 0 || h.channels > 8)
        return false;
    if (type) {
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = h.type == 1 ? kWaveFormatPs2Pcm : kWaveFormatPs2Adpcm;
        wfx.nChannels = static_cast<WORD>(h.channels);
        wfx.nSamplesPerSec = static_cast<DWORD>(h.sample_rate);
        wfx.wBitsPerSample = h.type == 1 ? 16 : 4;
        wfx.nBlockAlign = static_cast<WORD>(h.channels * std::max(h.interleave, 1));
        wfx.nAvgBytesPerSec =
            static_cast<DWORD>(h.sample_rate * h.channels * wfx.wBitsPerSample / 8);
        SetWaveFormat(type, h.type == 1 ? MEDIASUBTYPE_PS2_PCM : MEDIASUBTYPE_PS2_ADPCM, wfx);
    }
    return true;
}

}  // namespace rizuvira::demux
