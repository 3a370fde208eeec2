// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/vob_packets.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "fixtures/sample_discs.h"

namespace rizuvira::decoders {

namespace {

struct InputClose {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// The sequence header and its extension: from 00 00 01 B3 up to the first start code that is
// neither the header's nor an extension's.
std::vector<uint8_t> FindSequenceHeader(const std::vector<uint8_t>& data) {
    for (std::size_t i = 0; i + 4 <= data.size(); ++i) {
        if (data[i] || data[i + 1] || data[i + 2] != 1 || data[i + 3] != 0xB3) continue;
        std::size_t end = i + 4;
        while (end + 4 <= data.size()) {
            if (!data[end] && !data[end + 1] && data[end + 2] == 1 && data[end + 3] != 0xB5) break;
            ++end;
        }
        return {data.begin() + static_cast<std::ptrdiff_t>(i),
                data.begin() + static_cast<std::ptrdiff_t>(end)};
    }
    return {};
}

CMediaType WaveType(const GUID& subtype, WORD tag, int channels, int rate, int bits,
                    std::size_t size) {
    CMediaType type(MEDIATYPE_Audio);
    type.subtype = subtype;
    type.formattype = FORMAT_WaveFormatEx;
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(type.AllocFormatBuffer(static_cast<ULONG>(size)));
    wfx->wFormatTag = tag;
    wfx->nChannels = static_cast<WORD>(channels);
    wfx->nSamplesPerSec = static_cast<DWORD>(rate);
    wfx->wBitsPerSample = static_cast<WORD>(bits);
    wfx->cbSize = static_cast<WORD>(size - sizeof(WAVEFORMATEX));
    return type;
}

}  // namespace

std::string VobPath(const std::string& disc, int title_set) {
    char name[32];
    std::snprintf(name, sizeof name, "/VIDEO_TS/VTS_%02d_1.VOB", title_set);
    return rizuvira::fixtures::SampleDiscPath(disc + name);
}

VobFile ReadVob(const std::string& path) {
    VobFile file;
    AVFormatContext* raw = avformat_alloc_context();
    // Whole PES payloads, as they are in the file: no frame parsing, no guessed times.
    raw->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN;
    if (avformat_open_input(&raw, path.c_str(), av_find_input_format("mpeg"), nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return file;
    }
    std::unique_ptr<AVFormatContext, InputClose> context(raw);
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::optional<int64_t> base_pts;
    std::vector<VobPacket> pending;  // before the first video time is known
    while (av_read_frame(context.get(), packet.get()) >= 0) {
        const AVStream* stream = context->streams[packet->stream_index];
        VobPacket out;
        out.stream_id = stream->id & 0xFF;
        out.data.assign(packet->data, packet->data + packet->size);
        if (out.stream_id >= 0xA0 && out.stream_id <= 0xA7) {
            // The splitter removes the LPCM header; remember the first one for the type.
            if (out.data.size() < 3) continue;
            if (file.lpcm_bits == 0) {
                static constexpr int kBits[4] = {16, 20, 24, 0};
                static constexpr int kRates[4] = {48000, 96000, 44100, 32000};
                file.lpcm_bits = kBits[out.data[1] >> 6];
                file.lpcm_rate = kRates[(out.data[1] >> 4) & 3];
                file.lpcm_channels = (out.data[1] & 7) + 1;
            }
            out.data.erase(out.data.begin(), out.data.begin() + 3);
        }
        if (packet->pts != AV_NOPTS_VALUE) {
            if (!base_pts && out.stream_id == 0xE0) base_pts = packet->pts;
            out.start_100ns = packet->pts;  // 90 kHz until the base is known
        }
        file.packets.push_back(std::move(out));
        av_packet_unref(packet.get());
    }
    const int64_t base = base_pts.value_or(0);
    for (VobPacket& p : file.packets)
        if (p.start_100ns) p.start_100ns = (*p.start_100ns - base) * 1000 / 9;
    return file;
}

std::vector<const VobPacket*> StreamPackets(const VobFile& file, int stream_id) {
    std::vector<const VobPacket*> out;
    for (const VobPacket& p : file.packets)
        if (p.stream_id == stream_id) out.push_back(&p);
    return out;
}

CMediaType VideoType(const VobFile& file) {
    std::vector<uint8_t> header;
    for (const VobPacket* p : StreamPackets(file, 0xE0)) {
        header = FindSequenceHeader(p->data);
        if (!header.empty()) break;
    }
    EXPECT_GE(header.size(), 12u) << "no sequence header";
    if (header.size() < 12) return CMediaType();
    const int width = header[4] << 4 | header[5] >> 4;
    const int height = (header[5] & 0x0F) << 8 | header[6];
    const int aspect_code = header[7] >> 4;
    const int rate_code = header[7] & 0x0F;
    static constexpr REFERENCE_TIME kPeriods[9] = {0,      417083, 416667, 400000, 333667,
                                                   333333, 200000, 166833, 166667};
    CMediaType type(MEDIATYPE_Video);
    type.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    type.formattype = FORMAT_MPEG2Video;
    const std::size_t size = SizeMpeg2VideoInfo(static_cast<DWORD>(header.size()));
    BYTE* block =
        type.AllocFormatBuffer(static_cast<ULONG>(std::max(size, sizeof(MPEG2VIDEOINFO))));
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(block);
    info->hdr.rcSource = {0, 0, width, height};
    info->hdr.AvgTimePerFrame = rate_code < 9 ? kPeriods[rate_code] : 0;
    info->hdr.dwPictAspectRatioX = aspect_code == 3 ? 16 : 4;
    info->hdr.dwPictAspectRatioY = aspect_code == 3 ? 9 : 3;
    info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->hdr.bmiHeader.biWidth = width;
    info->hdr.bmiHeader.biHeight = height;
    info->cbSequenceHeader = static_cast<DWORD>(header.size());
    info->dwProfile = AM_MPEG2Profile_Main;
    info->dwLevel = AM_MPEG2Level_Main;
    std::memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), header.data(), header.size());
    type.ReallocFormatBuffer(static_cast<ULONG>(size));
    return type;
}

CMediaType Mpeg1VideoType(const VobFile& file) {
    std::vector<uint8_t> header;
    for (const VobPacket* p : StreamPackets(file, 0xE0)) {
        header = FindSequenceHeader(p->data);
        if (!header.empty()) break;
    }
    EXPECT_GE(header.size(), 12u) << "no sequence header";
    if (header.size() < 12) return CMediaType();
    const int width = header[4] << 4 | header[5] >> 4;
    const int height = (header[5] & 0x0F) << 8 | header[6];
    CMediaType type(MEDIATYPE_Video);
    type.subtype = MEDIASUBTYPE_MPEG1Payload;
    type.formattype = FORMAT_MPEGVideo;
    const std::size_t size = SizeMpeg1VideoInfo(static_cast<DWORD>(header.size()));
    BYTE* block =
        type.AllocFormatBuffer(static_cast<ULONG>(std::max(size, sizeof(MPEG1VIDEOINFO))));
    auto* info = reinterpret_cast<MPEG1VIDEOINFO*>(block);
    info->hdr.rcSource = {0, 0, width, height};
    info->hdr.AvgTimePerFrame = 400000;
    info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->hdr.bmiHeader.biWidth = width;
    info->hdr.bmiHeader.biHeight = height;
    info->cbSequenceHeader = static_cast<DWORD>(header.size());
    std::memcpy(block + offsetof(MPEG1VIDEOINFO, bSequenceHeader), header.data(), header.size());
    type.ReallocFormatBuffer(static_cast<ULONG>(size));
    return type;
}

CMediaType DtsType(int channels) {
    return WaveType(MEDIASUBTYPE_DTS, WAVE_FORMAT_DTS, channels, 48000, 0, sizeof(WAVEFORMATEX));
}

CMediaType Ac3Type(int channels) {
    return WaveType(MEDIASUBTYPE_DOLBY_AC3, WAVE_FORMAT_DOLBY_AC3, channels, 48000, 0,
                    sizeof(WAVEFORMATEX));
}

CMediaType Mpeg1Layer2Type(int channels) {
    CMediaType type = WaveType(MEDIASUBTYPE_MPEG1AudioPayload, WAVE_FORMAT_MPEG, channels, 48000, 0,
                               sizeof(MPEG1WAVEFORMAT));
    auto* mpeg = reinterpret_cast<MPEG1WAVEFORMAT*>(type.pbFormat);
    mpeg->fwHeadLayer = ACM_MPEG_LAYER2;
    mpeg->dwHeadBitrate = 224000;
    mpeg->fwHeadMode = ACM_MPEG_STEREO;
    mpeg->fwHeadFlags = ACM_MPEG_ID_MPEG1;
    return type;
}

CMediaType LpcmType(const VobFile& file) {
    CMediaType type = WaveType(MEDIASUBTYPE_DVD_LPCM_AUDIO, WAVE_FORMAT_PCM, file.lpcm_channels,
                               file.lpcm_rate, file.lpcm_bits, sizeof(WAVEFORMATEX));
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(type.pbFormat);
    wfx->nBlockAlign = static_cast<WORD>(file.lpcm_channels * 2 * file.lpcm_bits / 8);
    wfx->nAvgBytesPerSec = wfx->nBlockAlign * wfx->nSamplesPerSec / 2;
    return type;
}

CMediaType SubpictureType() {
    CMediaType type(MEDIATYPE_Video);
    type.subtype = MEDIASUBTYPE_DVD_SUBPICTURE;
    type.formattype = FORMAT_None;
    return type;
}

}  // namespace rizuvira::decoders
