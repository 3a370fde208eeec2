#include "demux/splitter_file_ex.h"

#include <algorithm>
#include <cstring>
#include <numeric>

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
constexpr int kAc3Rates[3] = {48000, 44100, 32000};       // by fscod

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

// Strips emulation-prevention bytes (00 00 03) from a NAL unit.
std::vector<uint8_t> Unescape(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size);
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && data[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = data[i] == 0 ? zeros + 1 : 0;
        out.push_back(data[i]);
    }
    return out;
}

// A bit reader over memory, with Exp-Golomb codes; reads past the end give zeros.
class MemoryBits {
public:
    MemoryBits(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Bits(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const size_t byte = bit_ >> 3;
            const int b = byte < size_ ? (data_[byte] >> (7 - (bit_ & 7))) & 1 : 0;
            v = (v << 1) | static_cast<uint32_t>(b);
            ++bit_;
        }
        return v;
    }
    uint32_t Ue() {
        int zeros = 0;
        while (Bits(1) == 0) {
            if (++zeros > 31 || Exhausted()) return 0;
        }
        return ((1u << zeros) - 1) + Bits(zeros);
    }
    int32_t Se() {
        const uint32_t v = Ue();
        return (v & 1) ? static_cast<int32_t>((v + 1) / 2) : -static_cast<int32_t>(v / 2);
    }
    bool Exhausted() const { return (bit_ >> 3) >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t bit_ = 0;
};

uint32_t Gcd(uint32_t a, uint32_t b) { return b == 0 ? a : std::gcd(a, b); }

}  // namespace

REFERENCE_TIME MpegFramePeriod(int code) {
    static constexpr int64_t kTicks27Mhz[] = {0, 1126125, 1125000, 1080000, 900900,
                                             900000, 540000, 450450, 450000};
    if (code < 1 || code > 8) return 0;
    return kTicks27Mhz[code] * 10 / 27;
}

CBaseSplitterFileEx::CBaseSplitterFileEx(IAsyncReader* reader, HRESULT* hr, int cache_bytes)
    : CBaseSplitterFile(reader, hr, cache_bytes) {}

REFERENCE_TIME CBaseSplitterFileEx::ReadTimestamp(bool* valid) {
    int64_t ticks = static_cast<int64_t>(ReadBits(3)) << 30;
    bool ok = ReadBits(1) == 1;
    ticks |= static_cast<int64_t>(ReadBits(15)) << 15;
    ok = ReadBits(1) == 1 && ok;
    ticks |= static_cast<int64_t>(ReadBits(15));
    ok = ReadBits(1) == 1 && ok;
    if (valid) *valid = ok;
    return TicksTo100ns(ticks);
}

bool CBaseSplitterFileEx::Read(PackHeader& h) {
    const uint8_t first = static_cast<uint8_t>(ReadBits(8, true));
    h = {};
    if ((first & 0xF1) == 0x21) {
        h.mpeg_version = 1;
        ReadBits(4);
        bool ok = false;
        h.scr_100ns = ReadTimestamp(&ok);
        if (!ok || ReadBits(1) != 1) return false;
        h.mux_rate = static_cast<uint32_t>(ReadBits(22));
        if (ReadBits(1) != 1) return false;
    } else if ((first & 0xC4) == 0x44) {
        h.mpeg_version = 2;
        ReadBits(2);
        bool ok = false;
        h.scr_100ns = ReadTimestamp(&ok);
        if (!ok) return false;
        ReadBits(9);  // SCR extension
        if (ReadBits(1) != 1) return false;
        h.mux_rate = static_cast<uint32_t>(ReadBits(22));
        if (ReadBits(1) != 1 || ReadBits(1) != 1) return false;
        ReadBits(5);
        const int stuffing = static_cast<int>(ReadBits(3));
        for (int i = 0; i < stuffing; ++i) ReadBits(8);
    } else {
        return false;
    }
    h.bit_rate = h.mux_rate * 400;
    return true;
}

bool CBaseSplitterFileEx::Read(SystemHeader& h) {
    h = {};
    h.header_length = static_cast<uint16_t>(ReadBits(16));
    const int64_t end = Position() + h.header_length;
    if (ReadBits(1) != 1) return false;
    h.rate_bound = static_cast<uint32_t>(ReadBits(22));
    if (ReadBits(1) != 1) return false;
    h.audio_bound = static_cast<uint8_t>(ReadBits(6));
    h.fixed_rate = ReadBits(1);
    h.csps = ReadBits(1);
    h.audio_lock = ReadBits(1);
    h.video_lock = ReadBits(1);
    if (ReadBits(1) != 1) return false;
    h.video_bound = static_cast<uint8_t>(ReadBits(5));
    MoveTo(end);  // stream entries
    return true;
}

bool CBaseSplitterFileEx::Read(PesHeader& h, uint8_t stream_id) {
    h = {};
    if ((stream_id < 0xBD || stream_id > 0xEF) && stream_id != 0xFD) return false;
    int64_t length = static_cast<int64_t>(ReadBits(16));
    const bool bounded = length != 0;
    for (int i = 0; i < 16 && ReadBits(8, true) == 0xFF; ++i) {
        ReadBits(8);
        if (bounded && --length < 0) return false;
    }
    if (ReadBits(2, true) == 2) {
        h.mpeg_version = 2;
        ReadBits(2);
        h.scrambling = static_cast<uint8_t>(ReadBits(2));
        ReadBits(4);  // priority, alignment, copyright, original
        h.has_pts = ReadBits(1);
        h.has_dts = ReadBits(1);
        ReadBits(6);  // ESCR, ES rate, trick mode, copy info, CRC, extension
        h.header_data_length = static_cast<uint8_t>(ReadBits(8));
        const int64_t data_start = Position();
        if (h.has_pts) {
            const uint64_t prefix = ReadBits(4);
            if (prefix != (h.has_dts ? 3u : 2u)) return false;
            bool ok = false;
            h.pts_100ns = ReadTimestamp(&ok);
            if (!ok) return false;
            if (h.has_dts) {
                if (ReadBits(4) != 1) return false;
                h.dts_100ns = ReadTimestamp(&ok);
                if (!ok) return false;
            }
        } else if (h.has_dts) {
            return false;
        }
        if (Position() > data_start + h.header_data_length) return false;
        MoveTo(data_start + h.header_data_length);
        if (bounded) {
            length -= 3 + h.header_data_length;
            if (length < 0) return false;
        }
    } else {
        h.mpeg_version = 1;
        if (ReadBits(2, true) == 1) {
            ReadBits(16);  // STD buffer scale and size
            if (bounded && (length -= 2) < 0) return false;
        }
        const uint64_t prefix = ReadBits(4, true);
        if (prefix == 2 || prefix == 3) {
            ReadBits(4);
            bool ok = false;
            h.pts_100ns = ReadTimestamp(&ok);
            if (!ok) return false;
            h.has_pts = true;
            if (bounded && (length -= 5) < 0) return false;
            if (prefix == 3) {
                if (ReadBits(4) != 1) return false;
                h.dts_100ns = ReadTimestamp(&ok);
                if (!ok) return false;
                h.has_dts = true;
                if (bounded && (length -= 5) < 0) return false;
            }
        } else {
            if (ReadBits(8) != 0x0F) return false;
            if (bounded && (length -= 1) < 0) return false;
        }
    }
    h.length = static_cast<uint32_t>(length);
    return true;
}

bool CBaseSplitterFileEx::Read(MpegVideoHeader& h, int64_t length, CMediaType* type) {
    h = {};
    const int64_t end = Position() + length;
    AlignToByte();
    // Find 00 00 01 B3 within the range.
    bool found = false;
    while (Position() + 4 <= end) {
        if (ReadBits(32, true) == 0x000001B3) {
            found = true;
            break;
        }
        ReadBits(8);
    }
    if (!found) return false;
    const int64_t header_start = Position();
    ReadBits(32);
    h.width = static_cast<uint16_t>(ReadBits(12));
    h.height = static_cast<uint16_t>(ReadBits(12));
    h.aspect_code = static_cast<uint8_t>(ReadBits(4));
    h.frame_rate_code = static_cast<uint8_t>(ReadBits(4));
    const uint32_t rate = static_cast<uint32_t>(ReadBits(18));
    if (ReadBits(1) != 1) return false;
    h.vbv_size = static_cast<uint16_t>(ReadBits(10));
    h.constrained = ReadBits(1);
    if (ReadBits(1)) {
        for (int i = 0; i < 64; ++i) ReadBits(8);
    }
    if (ReadBits(1)) {
        for (int i = 0; i < 64; ++i) ReadBits(8);
    }
    if (h.width == 0 || h.height == 0) return false;
    const int64_t header_end = Position();
    uint32_t bit_rate_units = rate == 0x3FFFF ? 0 : rate;

    // The sequence extension, when its start code follows within 8 bytes.
    int64_t extension_end = header_end;
    for (int i = 0; i < 8 && Position() + 4 <= StreamLength(); ++i) {
        if (ReadBits(32, true) == 0x000001B5) {
            ReadBits(32);
            if (ReadBits(4) == 1) {
                h.mpeg2 = true;
                ReadBits(1);  // escape
                const int profile = static_cast<int>(ReadBits(3));
                const int level = static_cast<int>(ReadBits(4));
                h.profile = profile >= 1 && profile <= 5 ? static_cast<uint8_t>(6 - profile) : 0;
                h.level = (level >= 4 && level <= 10 && level % 2 == 0)
                              ? static_cast<uint8_t>((12 - level) / 2)
                              : 0;
                h.progressive = ReadBits(1);
                h.chroma = static_cast<uint8_t>(ReadBits(2));
                h.width |= static_cast<uint16_t>(ReadBits(2) << 12);
                h.height |= static_cast<uint16_t>(ReadBits(2) << 12);
                if (bit_rate_units) bit_rate_units |= static_cast<uint32_t>(ReadBits(12)) << 18;
                else ReadBits(12);
                if (ReadBits(1) != 1) return false;
                ReadBits(8);  // VBV extension
                ReadBits(1);  // low delay
                h.frame_rate_ext_n = static_cast<uint8_t>(ReadBits(2));
                h.frame_rate_ext_d = static_cast<uint8_t>(ReadBits(5));
                extension_end = Position();
            }
            break;
        }
        ReadBits(8);
    }
    h.bit_rate = bit_rate_units * 400;
    h.frame_period_100ns = MpegFramePeriod(h.frame_rate_code);
    if (h.mpeg2)
        h.frame_period_100ns = h.frame_period_100ns * (h.frame_rate_ext_d + 1) / (h.frame_rate_ext_n + 1);

    if (h.mpeg2) {
        switch (h.aspect_code) {
            case 2: h.aspect_x = 4; h.aspect_y = 3; break;
            case 3: h.aspect_x = 16; h.aspect_y = 9; break;
            case 4: h.aspect_x = 221; h.aspect_y = 100; break;
            default: h.aspect_x = h.width; h.aspect_y = h.height; break;
        }
    } else {
        static constexpr double kPelAspect[16] = {1.0, 1.0, 0.6735, 0.7031, 0.7615, 0.8055,
                                                  0.8437, 0.8935, 0.9157, 0.9815, 1.0255,
                                                  1.0695, 1.0950, 1.1575, 1.2015, 1.0};
        h.aspect_x = static_cast<uint32_t>(h.width / kPelAspect[h.aspect_code] + 0.5);
        h.aspect_y = h.height;
    }
    const uint32_t g = Gcd(h.aspect_x, h.aspect_y);
    if (g > 1) {
        h.aspect_x /= g;
        h.aspect_y /= g;
    }

    // Keep the raw header bytes.
    h.raw.resize(static_cast<size_t>(extension_end - header_start));
    MoveTo(header_start);
    if (FAILED(ReadBytes(h.raw.data(), static_cast<int64_t>(h.raw.size())))) return false;
    if (h.mpeg2 && extension_end > header_end) {
        // Drop stuffing between the header and the extension.
        const size_t head = static_cast<size_t>(header_end - header_start);
        size_t ext = head;
        while (ext + 4 <= h.raw.size() &&
               !(h.raw[ext] == 0 && h.raw[ext + 1] == 0 && h.raw[ext + 2] == 1 && h.raw[ext + 3] == 0xB5))
            ++ext;
        h.raw.erase(h.raw.begin() + static_cast<std::ptrdiff_t>(head),
                    h.raw.begin() + static_cast<std::ptrdiff_t>(ext));
    }

    if (type) {
        *type = CMediaType();
        type->majortype = MEDIATYPE_Video;
        const RECT frame{0, 0, h.width, h.height};
        if (h.mpeg2) {
            type->subtype = MEDIASUBTYPE_MPEG2_VIDEO;
            type->formattype = FORMAT_MPEG2_VIDEO;
            const size_t size = SizeMpeg2VideoInfo(static_cast<DWORD>(h.raw.size()));
            BYTE* block = type->AllocFormatBuffer(static_cast<ULONG>(std::max(size, sizeof(MPEG2VIDEOINFO))));
            auto* vi = reinterpret_cast<MPEG2VIDEOINFO*>(block);
            vi->hdr.rcSource = frame;
            vi->hdr.dwBitRate = h.bit_rate;
            vi->hdr.AvgTimePerFrame = h.frame_period_100ns;
            vi->hdr.dwPictAspectRatioX = h.aspect_x;
            vi->hdr.dwPictAspectRatioY = h.aspect_y;
            vi->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            vi->hdr.bmiHeader.biWidth = h.width;
            vi->hdr.bmiHeader.biHeight = h.height;
            vi->cbSequenceHeader = static_cast<DWORD>(h.raw.size());
            vi->dwProfile = h.profile;
            vi->dwLevel = h.level;
            std::memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), h.raw.data(), h.raw.size());
            type->ReallocFormatBuffer(static_cast<ULONG>(size));
        } else {
            type->subtype = MEDIASUBTYPE_MPEG1Payload;
            type->formattype = FORMAT_MPEGVideo;
            const size_t size = SizeMpeg1VideoInfo(static_cast<DWORD>(h.raw.size()));
            BYTE* block = type->AllocFormatBuffer(static_cast<ULONG>(std::max(size, sizeof(MPEG1VIDEOINFO))));
            auto* vi = reinterpret_cast<MPEG1VIDEOINFO*>(block);
            vi->hdr.rcSource = frame;
            vi->hdr.dwBitRate = h.bit_rate;
            vi->hdr.AvgTimePerFrame = h.frame_period_100ns;
            vi->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            vi->hdr.bmiHeader.biWidth = h.width;
            vi->hdr.bmiHeader.biHeight = h.height;
            vi->cbSequenceHeader = static_cast<DWORD>(h.raw.size());
            std::memcpy(block + offsetof(MPEG1VIDEOINFO, bSequenceHeader), h.raw.data(), h.raw.size());
            type->ReallocFormatBuffer(static_cast<ULONG>(size));
        }
        type->SetVariableSize();
        type->SetTemporalCompression(TRUE);
    }
    return true;
}

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
    h.sample_rate = kSampleRates[version_code == 3 ? 0 : version_code == 2 ? 1 : 2][h.sample_rate_index];
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
            SetWaveFormat(type, h.version == 1 ? MEDIASUBTYPE_MPEG1AudioPayload : MEDIASUBTYPE_MPEG2_AUDIO,
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
        const uint16_t config = static_cast<uint16_t>(((h.profile + 1) << 11) |
                                                      (h.sample_rate_index << 7) | (h.channels << 3));
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
    static constexpr int kKbps[24] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160, 192, 224,
                                      256, 320, 384, 448, 512, 576, 640, 768, 896, 1024, 1152, 1280};
    h.channels = kAc3Channels[h.acmod] + (h.lfeon ? 1 : 0);
    h.sample_rate = kAc3Rates[h.fscod];
    if (h.bsid == 9) h.sample_rate /= 2;
    else if (h.bsid == 10) h.sample_rate /= 4;
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
    static constexpr int kRates[16] = {0, 8000, 16000, 32000, 0, 0, 11025, 22050,
                                       44100, 0, 0, 12000, 24000, 48000, 0, 0};
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

bool CBaseSplitterFileEx::Read(TransportHeader& h, bool sync) {
    h = {};
    AlignToByte();
    if (packet_size_ == 0) {
        // First packet: find a sync byte confirmed one packet later.
        const int64_t start = Position();
        for (int i = 0; i < 192 && packet_size_ == 0; ++i) {
            const int64_t at = start + i;
            if (at + 189 > StreamLength()) break;
            MoveTo(at);
            if (ReadBits(8) != 0x47) continue;
            MoveTo(at + 188);
            if (ReadBits(8) == 0x47) {
                packet_size_ = 188;
            } else if (at + 193 <= StreamLength()) {
                MoveTo(at + 192);
                if (ReadBits(8) == 0x47) packet_size_ = 192;
            }
            if (packet_size_) MoveTo(at);
        }
        if (packet_size_ == 0) {
            MoveTo(start);
            return false;
        }
    }
    if (sync) {
        const int64_t start = Position();
        bool found = false;
        for (int i = 0; i < packet_size_; ++i) {
            const int64_t at = start + i;
            if (at >= StreamLength()) break;
            MoveTo(at);
            if (ReadBits(8, true) != 0x47) continue;
            if (i == 0) {
                found = true;
                break;
            }
            if (at + packet_size_ < StreamLength()) {
                MoveTo(at + packet_size_);
                const bool confirmed = ReadBits(8, true) == 0x47;
                MoveTo(at);
                if (confirmed) {
                    found = true;
                    break;
                }
            }
        }
        if (!found) return false;
    }
    const int64_t sync_position = Position();
    if (BytesLeft() < 188) return false;
    if (ReadBits(8) != 0x47) return false;
    h.next_packet = sync_position + packet_size_;
    h.payload_end = sync_position + 188;
    h.error = ReadBits(1);
    h.unit_start = ReadBits(1);
    h.priority = ReadBits(1);
    h.pid = static_cast<uint16_t>(ReadBits(13));
    h.scrambling = static_cast<uint8_t>(ReadBits(2));
    h.has_adaptation = ReadBits(1);
    h.has_payload = ReadBits(1);
    h.counter = static_cast<uint8_t>(ReadBits(4));
    h.bytes_left = 184;
    if (h.has_adaptation) {
        h.adaptation_length = static_cast<uint8_t>(ReadBits(8));
        h.bytes_left -= h.adaptation_length + 1;
        if (h.bytes_left < 0) return false;
        const int64_t adaptation_end = Position() + h.adaptation_length;
        if (h.adaptation_length > 0) {
            ReadBits(3);  // discontinuity, random access, priority
            h.has_pcr = ReadBits(1);
            ReadBits(4);  // OPCR, splicing, private data, extension
            if (h.has_pcr && h.adaptation_length >= 7) {
                const int64_t base = static_cast<int64_t>(ReadBits(33));
                ReadBits(6);
                const int64_t extension = static_cast<int64_t>(ReadBits(9));
                h.pcr_100ns = (base * 300 + extension) * 10 / 27;
            }
        }
        MoveTo(adaptation_end);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(PsiSection& h) {
    h = {};
    const int pointer = static_cast<int>(ReadBits(8));
    for (int i = 0; i < pointer; ++i) ReadBits(8);
    h.table_id = static_cast<uint8_t>(ReadBits(8));
    const bool syntax = ReadBits(1);
    const bool zero = ReadBits(1);
    ReadBits(2);
    h.section_length = static_cast<uint16_t>(ReadBits(12));
    h.table_id_extension = static_cast<uint16_t>(ReadBits(16));
    ReadBits(2);
    h.version = static_cast<uint8_t>(ReadBits(5));
    h.current = ReadBits(1);
    h.section_number = static_cast<uint8_t>(ReadBits(8));
    h.last_section_number = static_cast<uint8_t>(ReadBits(8));
    return syntax && !zero;
}

bool CBaseSplitterFileEx::Read(PvaHeader& h, bool sync) {
    h = {};
    AlignToByte();
    auto looks_like_header = [this] {
        const uint64_t v = ReadBits(48, true);
        return (v >> 32) == 0x4156 && ((v >> 24) & 0xFF) < 4 && ((v >> 8) & 0xFF) == 0x55 &&
               (v & 0xE0) == 0;
    };
    if (sync) {
        const int64_t start = Position();
        bool found = false;
        for (int i = 0; i < 65536; ++i) {
            if (BytesLeft() < 8) break;
            if (looks_like_header()) {
                found = true;
                break;
            }
            ReadBits(8);
        }
        if (!found) {
            MoveTo(start);
            return false;
        }
    } else if (BytesLeft() < 8 || !looks_like_header()) {
        return false;
    }
    ReadBits(16);
    h.stream_id = static_cast<uint8_t>(ReadBits(8));
    h.counter = static_cast<uint8_t>(ReadBits(8));
    ReadBits(8);
    h.flags = static_cast<uint8_t>(ReadBits(8));
    h.has_pts = (h.flags & 0x10) != 0;
    h.prebytes = (h.flags >> 2) & 3;
    h.postbytes = h.flags & 3;
    h.length = static_cast<int>(ReadBits(16));
    if (h.length > 6136) return false;
    if (h.stream_id == 1 && h.has_pts) {
        if (h.length < 4) return false;
        h.pts_100ns = TicksTo100ns(static_cast<int64_t>(ReadBits(32)));
        h.length -= 4;
    }
    return true;
}

namespace {

// The H.264 sequence parameter set fields that describe the picture.
bool ParseSps(const std::vector<uint8_t>& nal, H264Header& h) {
    const std::vector<uint8_t> rbsp = Unescape(nal.data() + 1, nal.size() - 1);
    MemoryBits b(rbsp.data(), rbsp.size());
    h.profile = static_cast<int>(b.Bits(8));
    b.Bits(8);
    h.level = static_cast<int>(b.Bits(8));
    b.Ue();
    int chroma_format = 1;
    if (h.profile == 100 || h.profile == 110 || h.profile == 122 || h.profile == 244 ||
        h.profile == 44 || h.profile == 83 || h.profile == 86 || h.profile == 118 ||
        h.profile == 128) {
        chroma_format = static_cast<int>(b.Ue());
        if (chroma_format == 3) b.Bits(1);
        b.Ue();
        b.Ue();
        b.Bits(1);
        if (b.Bits(1)) {
            for (int i = 0; i < (chroma_format != 3 ? 8 : 12); ++i) {
                if (!b.Bits(1)) continue;
                const int size = i < 6 ? 16 : 64;
                int last = 8, next = 8;
                for (int j = 0; j < size && next != 0; ++j) {
                    next = (last + b.Se() + 256) % 256;
                    if (next != 0) last = next;
                }
            }
        }
    }
    b.Ue();  // log2_max_frame_num
    const uint32_t poc_type = b.Ue();
    if (poc_type == 0) {
        b.Ue();
    } else if (poc_type == 1) {
        b.Bits(1);
        b.Se();
        b.Se();
        const uint32_t cycle = std::min<uint32_t>(b.Ue(), 255);
        for (uint32_t i = 0; i < cycle; ++i) b.Se();
    }
    b.Ue();  // max_num_ref_frames
    b.Bits(1);
    const uint32_t width_mbs = b.Ue() + 1;
    const uint32_t height_units = b.Ue() + 1;
    const bool frame_mbs_only = b.Bits(1);
    if (!frame_mbs_only) b.Bits(1);
    b.Bits(1);
    uint32_t crop_left = 0, crop_right = 0, crop_top = 0, crop_bottom = 0;
    if (b.Bits(1)) {
        crop_left = b.Ue();
        crop_right = b.Ue();
        crop_top = b.Ue();
        crop_bottom = b.Ue();
    }
    const uint32_t crop_x = chroma_format == 0 || chroma_format == 3 ? 1 : 2;
    const uint32_t crop_y = (chroma_format == 1 ? 2 : 1) * (frame_mbs_only ? 1 : 2);
    const int64_t width = int64_t{width_mbs} * 16 - int64_t{crop_x} * (crop_left + crop_right);
    const int64_t height = int64_t{height_units} * 16 * (frame_mbs_only ? 1 : 2) -
                           int64_t{crop_y} * (crop_top + crop_bottom);
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
    if (b.Bits(1)) {  // VUI
        if (b.Bits(1)) {
            if (b.Bits(8) == 255) b.Bits(32);
        }
        if (b.Bits(1)) b.Bits(1);
        if (b.Bits(1)) {
            b.Bits(4);
            if (b.Bits(1)) b.Bits(24);
        }
        if (b.Bits(1)) {
            b.Ue();
            b.Ue();
        }
        if (b.Bits(1)) {
            const uint32_t units = b.Bits(32);
            const uint32_t scale = b.Bits(32);
            if (units && scale) h.frame_period_100ns = int64_t{units} * 2 * 10000000 / scale;
        }
    }
    return true;
}

}  // namespace

bool CBaseSplitterFileEx::Read(H264Header& h, int64_t length, CMediaType* type) {
    h = {};
    const int64_t available = std::min(length, BytesLeft());
    if (available < 8) return false;
    const int64_t window = std::min<int64_t>(available, 1 << 20);
    std::vector<uint8_t> buf(static_cast<size_t>(window));
    if (FAILED(ReadBytes(buf.data(), window))) return false;
    // Walk the NAL units (Annex B start codes).
    size_t i = 0;
    auto next_start = [&](size_t from) {
        for (size_t k = from; k + 3 <= buf.size(); ++k)
            if (buf[k] == 0 && buf[k + 1] == 0 && buf[k + 2] == 1) return k;
        return buf.size();
    };
    i = next_start(0);
    while (i < buf.size()) {
        const size_t begin = i + 3;
        size_t end = next_start(begin);
        size_t nal_end = end;
        while (nal_end > begin && buf[nal_end - 1] == 0) --nal_end;
        if (begin < nal_end) {
            const uint8_t header = buf[begin];
            const int nal_type = header & 0x1F;
            const int ref_idc = (header >> 5) & 3;
            std::vector<uint8_t> nal(buf.begin() + static_cast<std::ptrdiff_t>(begin),
                                     buf.begin() + static_cast<std::ptrdiff_t>(nal_end));
            if (nal_type == 7 && ref_idc != 0 && h.sps.empty()) {
                H264Header parsed;
                if (ParseSps(nal, parsed)) {
                    parsed.sps = nal;
                    parsed.pps = std::move(h.pps);
                    h = std::move(parsed);
                }
            } else if (nal_type == 8 && ref_idc != 0 && h.pps.empty()) {
                h.pps = nal;
            }
        }
        if (!h.sps.empty() && !h.pps.empty()) break;
        i = end;
    }
    if (h.sps.empty() || h.pps.empty()) return false;
    if (type) {
        std::vector<uint8_t> sequence;
        for (const auto* nal : {&h.sps, &h.pps}) {
            sequence.push_back(static_cast<uint8_t>(nal->size() >> 8));
            sequence.push_back(static_cast<uint8_t>(nal->size()));
            sequence.insert(sequence.end(), nal->begin(), nal->end());
        }
        *type = CMediaType();
        type->majortype = MEDIATYPE_Video;
        type->subtype = MEDIASUBTYPE_AVC1;
        type->formattype = FORMAT_MPEG2_VIDEO;
        const size_t size = SizeMpeg2VideoInfo(static_cast<DWORD>(sequence.size()));
        BYTE* block = type->AllocFormatBuffer(static_cast<ULONG>(std::max(size, sizeof(MPEG2VIDEOINFO))));
        auto* vi = reinterpret_cast<MPEG2VIDEOINFO*>(block);
        vi->hdr.rcSource = {0, 0, h.width, h.height};
        vi->hdr.AvgTimePerFrame = h.frame_period_100ns;
        uint32_t ax = static_cast<uint32_t>(h.width), ay = static_cast<uint32_t>(h.height);
        const uint32_t g = Gcd(ax, ay);
        vi->hdr.dwPictAspectRatioX = ax / g;
        vi->hdr.dwPictAspectRatioY = ay / g;
        vi->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vi->hdr.bmiHeader.biWidth = h.width;
        vi->hdr.bmiHeader.biHeight = h.height;
        vi->hdr.bmiHeader.biCompression = MakeFourCC('A', 'V', 'C', '1');
        vi->dwProfile = static_cast<DWORD>(h.profile);
        vi->dwLevel = static_cast<DWORD>(h.level);
        vi->dwFlags = 4;  // NAL units travel with 4-byte length prefixes
        vi->cbSequenceHeader = static_cast<DWORD>(sequence.size());
        std::memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), sequence.data(), sequence.size());
        type->ReallocFormatBuffer(static_cast<ULONG>(size));
        type->SetVariableSize();
        type->SetTemporalCompression(TRUE);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(Vc1Header& h, int64_t length, CMediaType* type) {
    h = {};
    const int64_t end = Position() + length;
    AlignToByte();
    bool found = false;
    while (Position() + 4 <= end) {
        if (ReadBits(32, true) == 0x0000010F) {
            found = true;
            break;
        }
        ReadBits(8);
    }
    if (!found) return false;
    const int64_t start = Position();
    ReadBits(32);
    h.profile = static_cast<int>(ReadBits(2));
    if (h.profile != 3) return false;
    h.level = static_cast<int>(ReadBits(3));
    ReadBits(2);  // colour difference format
    ReadBits(3);  // frame rate quantizer
    ReadBits(5);  // bit rate quantizer
    ReadBits(1);  // postproc
    h.width = (static_cast<int>(ReadBits(12)) + 1) * 2;
    h.height = (static_cast<int>(ReadBits(12)) + 1) * 2;
    ReadBits(1);  // pulldown
    ReadBits(1);  // interlace
    ReadBits(1);  // frame counter
    ReadBits(1);  // interpolation
    ReadBits(1);  // reserved
    ReadBits(1);  // psf
    if (ReadBits(1)) {  // display extension
        ReadBits(14);
        ReadBits(14);
        if (ReadBits(1)) {
            const int ratio = static_cast<int>(ReadBits(4));
            if (ratio == 15) ReadBits(16);
        }
        if (ReadBits(1)) {
            if (ReadBits(1)) {
                ReadBits(16);
            } else {
                const int nr = static_cast<int>(ReadBits(8));
                const int dr = static_cast<int>(ReadBits(4));
                static constexpr int kNum[8] = {0, 24, 25, 30, 50, 60, 48, 72};
                if (nr >= 1 && nr <= 7 && (dr == 1 || dr == 2))
                    h.frame_period_100ns = 10000000LL * (dr == 2 ? 1001 : 1000) / (kNum[nr] * 1000);
            }
        }
    }
    // Keep the header bytes up to the next start code (the entry point follows).
    AlignToByte();
    int64_t stop = Position();
    while (stop + 3 <= end && stop - start < 4096) {
        MoveTo(stop);
        if (ReadBits(24, true) == 1 && stop > start) break;
        ++stop;
    }
    h.raw.resize(static_cast<size_t>(stop - start));
    MoveTo(start);
    if (FAILED(ReadBytes(h.raw.data(), static_cast<int64_t>(h.raw.size())))) return false;
    if (type) {
        *type = CMediaType();
        type->majortype = MEDIATYPE_Video;
        type->subtype = MEDIASUBTYPE_WVC1;
        type->formattype = FORMAT_VideoInfo2;
        const size_t size = sizeof(VIDEOINFOHEADER2) + 1 + h.raw.size();
        BYTE* block = type->AllocFormatBuffer(static_cast<ULONG>(size));
        auto* vi = reinterpret_cast<VIDEOINFOHEADER2*>(block);
        vi->rcSource = {0, 0, h.width, h.height};
        vi->AvgTimePerFrame = h.frame_period_100ns;
        const uint32_t g = Gcd(static_cast<uint32_t>(h.width), static_cast<uint32_t>(h.height));
        vi->dwPictAspectRatioX = static_cast<DWORD>(h.width) / g;
        vi->dwPictAspectRatioY = static_cast<DWORD>(h.height) / g;
        vi->bmiHeader.biSize = static_cast<DWORD>(sizeof(BITMAPINFOHEADER) + 1 + h.raw.size());
        vi->bmiHeader.biWidth = h.width;
        vi->bmiHeader.biHeight = h.height;
        vi->bmiHeader.biCompression = MakeFourCC('W', 'V', 'C', '1');
        std::memcpy(block + sizeof(VIDEOINFOHEADER2) + 1, h.raw.data(), h.raw.size());
        type->SetVariableSize();
        type->SetTemporalCompression(TRUE);
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
        wfx.nAvgBytesPerSec = static_cast<DWORD>(h.sample_rate * h.channels * wfx.wBitsPerSample / 8);
        SetWaveFormat(type, h.type == 1 ? MEDIASUBTYPE_PS2_PCM : MEDIASUBTYPE_PS2_ADPCM, wfx);
    }
    return true;
}

}  // namespace rizuvira::demux
