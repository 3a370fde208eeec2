// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/snapshot.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "core/av_handles.h"
#include "platform/format_types.h"

namespace rizuvira::filters {

namespace av = rizuvira::core::av;

namespace {

constexpr int kMaxSide = 16384;

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The picture of a DIB as top-down RGB24 rows, or false when the bitmap is malformed.
bool ReadDib(const std::vector<uint8_t>& dib, std::vector<uint8_t>* rgb, int* width, int* height) {
    if (dib.size() < sizeof(BITMAPINFOHEADER)) return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof header);
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biBitCount != 24 ||
        header.biCompression != 0 || header.biClrUsed != 0)
        return false;
    const int w = header.biWidth;
    const int h = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return false;
    const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
    const std::size_t offset = header.biSize;
    if (dib.size() < offset || dib.size() - offset < stride * static_cast<std::size_t>(h))
        return false;
    rgb->resize(static_cast<std::size_t>(w) * 3 * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const int source_row = header.biHeight > 0 ? h - 1 - y : y;
        const uint8_t* in = dib.data() + offset + stride * static_cast<std::size_t>(source_row);
        uint8_t* out = rgb->data() + static_cast<std::size_t>(w) * 3 * static_cast<std::size_t>(y);
        for (int x = 0; x < w; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    *width = w;
    *height = h;
    return true;
}

// One encoded image file in memory, or empty on failure.
std::vector<uint8_t> Encode(SnapshotType type, const std::vector<uint8_t>& rgb, int width,
                            int height) {
    AVCodecID codec_id = AV_CODEC_ID_BMP;
    AVPixelFormat format = AV_PIX_FMT_BGR24;
    if (type == SnapshotType::kJpeg) codec_id = AV_CODEC_ID_MJPEG, format = AV_PIX_FMT_YUVJ420P;
    if (type == SnapshotType::kGif) codec_id = AV_CODEC_ID_GIF, format = AV_PIX_FMT_RGB8;
    if (type == SnapshotType::kPng) codec_id = AV_CODEC_ID_PNG, format = AV_PIX_FMT_RGB24;
    const AVCodec* codec = avcodec_find_encoder(codec_id);
    if (!codec) return {};
    av::CodecContextPtr context(avcodec_alloc_context3(codec));
    av::FramePtr frame(av_frame_alloc());
    av::PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet) return {};
    context->width = width;
    context->height = height;
    context->pix_fmt = format;
    context->time_base = AVRational{1, 25};
    if (type == SnapshotType::kJpeg) context->color_range = AVCOL_RANGE_JPEG;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};

    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
    av::SwsContextPtr scaler(sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, format,
                                            SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) return {};
    const uint8_t* planes[1] = {rgb.data()};
    const int strides[1] = {width * 3};
    sws_scale(scaler.get(), planes, strides, 0, height, frame->data, frame->linesize);
    frame->pts = 0;

    std::vector<uint8_t> file;
    if (avcodec_send_frame(context.get(), frame.get()) < 0 ||
        avcodec_send_frame(context.get(), nullptr) < 0)
        return {};
    for (;;) {
        const int result = avcodec_receive_packet(context.get(), packet.get());
        if (result == AVERROR_EOF) break;
        if (result < 0) return {};
        file.insert(file.end(), packet->data, packet->data + packet->size);
        av_packet_unref(packet.get());
    }
    // The GIF encoder leaves the file's trailer to the muxer.
    if (type == SnapshotType::kGif && !file.empty() && file.back() != 0x3B) file.push_back(0x3B);
    return file;
}

}  // namespace

SnapshotType SnapshotTypeFromPath(const std::filesystem::path& path) {
    const std::string extension = Lower(path.extension().string());
    if (extension == ".bmp" || extension == ".dib" || extension == ".rle")
        return SnapshotType::kBmp;
    if (extension == ".jpg" || extension == ".jpeg" || extension == ".jpe" || extension == ".jfif")
        return SnapshotType::kJpeg;
    if (extension == ".gif") return SnapshotType::kGif;
    if (extension == ".png") return SnapshotType::kPng;
    return SnapshotType::kUnknown;
}

bool SaveDibAsImage(const std::vector<uint8_t>& dib, const std::filesystem::path& path) {
    const SnapshotType type = SnapshotTypeFromPath(path);
    if (type == SnapshotType::kUnknown) return false;
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    if (!ReadDib(dib, &rgb, &width, &height)) return false;
    const std::vector<uint8_t> file = Encode(type, rgb, width, height);
    if (file.empty()) return false;
    bool written = false;
    {
        // Never over a file that is there: not even one that appeared since the name was chosen.
        FilePtr out(std::fopen(path.c_str(), "wbx"));
        if (!out) return false;
        written = std::fwrite(file.data(), 1, file.size(), out.get()) == file.size();
        written = std::fclose(out.release()) == 0 && written;
    }
    if (!written) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return written;
}

std::string SnapshotFileName(const std::string& folder, const std::string& image_type,
                             std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64] = {};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    return folder + "/" + stamp + "." + image_type;
}

std::vector<uint8_t> MakeDibFromRgb(const uint8_t* rgb, int width, int height) {
    if (!rgb || width <= 0 || height <= 0) return {};
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<uint8_t> dib(sizeof(BITMAPINFOHEADER) + stride * static_cast<std::size_t>(height),
                             0);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));
    std::memcpy(dib.data(), &header, sizeof header);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in =
            rgb + static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height - 1 - y);
        uint8_t* out = dib.data() + sizeof header + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    return dib;
}

}  // namespace rizuvira::filters
