// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseSplitterFileEx, the video headers: MPEG-1/2 sequence headers, H.264 parameter sets and
// VC-1 sequence headers, each with the media type it describes.
#include "demux/splitter_file_ex.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "demux/demux_types.h"

namespace rizuvira::demux {

namespace {

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

uint32_t Gcd(uint32_t a, uint32_t b) {
    return b == 0 ? a : std::gcd(a, b);
}

}  // namespace

REFERENCE_TIME MpegFramePeriod(int code) {
    static constexpr int64_t kTicks27Mhz[] = {0,      1126125, 1125000, 1080000, 900900,
                                              900000, 540000,  450450,  450000};
    if (code < 1 || code > 8) return 0;
    return kTicks27Mhz[code] * 10 / 27;
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
                if (bit_rate_units)
                    bit_rate_units |= static_cast<uint32_t>(ReadBits(12)) << 18;
                else
                    ReadBits(12);
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
    // A zero size is only valid with the extension's high bits (4096 and beyond).
    if (h.width == 0 || h.height == 0) return false;
    h.bit_rate = bit_rate_units * 400;
    h.frame_period_100ns = MpegFramePeriod(h.frame_rate_code);
    if (h.mpeg2)
        h.frame_period_100ns =
            h.frame_period_100ns * (h.frame_rate_ext_d + 1) / (h.frame_rate_ext_n + 1);

    if (h.mpeg2) {
        switch (h.aspect_code) {
            case 2:
                h.aspect_x = 4;
                h.aspect_y = 3;
                break;
            case 3:
                h.aspect_x = 16;
                h.aspect_y = 9;
                break;
            case 4:
                h.aspect_x = 221;
                h.aspect_y = 100;
                break;
            default:
                h.aspect_x = h.width;
                h.aspect_y = h.height;
                break;
        }
    } else {
        static constexpr double kPelAspect[16] = {1.0,    1.0,    0.6735, 0.7031, 0.7615, 0.8055,
                                                  0.8437, 0.8935, 0.9157, 0.9815, 1.0255, 1.0695,
                                                  1.0950, 1.1575, 1.2015, 1.0};
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
        while (ext + 4 <= h.raw.size() && !(h.raw[ext] == 0 && h.raw[ext + 1] == 0 &&
                                            h.raw[ext + 2] == 1 && h.raw[ext + 3] == 0xB5))
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
            BYTE* block =
                type->AllocFormatBuffer(static_cast<ULONG>(std::max(size, sizeof(MPEG2VIDEOINFO))));
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
            std::memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), h.raw.data(),
                        h.raw.size());
            type->ReallocFormatBuffer(static_cast<ULONG>(size));
        } else {
            type->subtype = MEDIASUBTYPE_MPEG1Payload;
            type->formattype = FORMAT_MPEGVideo;
            const size_t size = SizeMpeg1VideoInfo(static_cast<DWORD>(h.raw.size()));
            BYTE* block =
                type->AllocFormatBuffer(static_cast<ULONG>(std::max(size, sizeof(MPEG1VIDEOINFO))));
            auto* vi = reinterpret_cast<MPEG1VIDEOINFO*>(block);
            vi->hdr.rcSource = frame;
            vi->hdr.dwBitRate = h.bit_rate;
            vi->hdr.AvgTimePerFrame = h.frame_period_100ns;
            vi->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            vi->hdr.bmiHeader.biWidth = h.width;
            vi->hdr.bmiHeader.biHeight = h.height;
            vi->cbSequenceHeader = static_cast<DWORD>(h.raw.size());
            std::memcpy(block + offsetof(MPEG1VIDEOINFO, bSequenceHeader), h.raw.data(),
                        h.raw.size());
            type->ReallocFormatBuffer(static_cast<ULONG>(size));
        }
        type->SetVariableSize();
        type->SetTemporalCompression(TRUE);
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
        BYTE* block =
            type->AllocFormatBuffer(static_cast<ULONG>(std::max(size, sizeof(MPEG2VIDEOINFO))));
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
        std::memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), sequence.data(),
                    sequence.size());
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
    ReadBits(1);        // pulldown
    ReadBits(1);        // interlace
    ReadBits(1);        // frame counter
    ReadBits(1);        // interpolation
    ReadBits(1);        // reserved
    ReadBits(1);        // psf
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

}  // namespace rizuvira::demux
