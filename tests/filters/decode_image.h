// SPDX-License-Identifier: GPL-2.0-or-later
// Reads an image file back with libavformat/libavcodec for the snapshot tests: the picture as
// RGB24 rows, top row first.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <string>
#include <vector>

#include "core/av_handles.h"

namespace rizuvira::filters {

struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    std::string codec;
};

inline bool DecodeImageFile(const std::string& path, DecodedImage* image) {
    using namespace rizuvira::core::av;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return false;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
        raw, [](AVFormatContext* c) { avformat_close_input(&c); });
    if (avformat_find_stream_info(input.get(), nullptr) < 0 || input->nb_streams < 1) return false;
    const AVCodecParameters* parameters = input->streams[0]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) return false;
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0 ||
        avcodec_open2(context.get(), codec, nullptr) < 0)
        return false;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    bool have = false;
    while (!have && av_read_frame(input.get(), packet.get()) >= 0) {
        if (avcodec_send_packet(context.get(), packet.get()) >= 0)
            have = avcodec_receive_frame(context.get(), frame.get()) >= 0;
        av_packet_unref(packet.get());
    }
    if (!have) {
        avcodec_send_packet(context.get(), nullptr);
        have = avcodec_receive_frame(context.get(), frame.get()) >= 0;
    }
    if (!have) return false;
    SwsContextPtr scaler(sws_getContext(
        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
        frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) return false;
    image->width = frame->width;
    image->height = frame->height;
    image->codec = codec->name;
    image->rgb.assign(static_cast<std::size_t>(frame->width) * frame->height * 3, 0);
    uint8_t* out[1] = {image->rgb.data()};
    const int out_stride[1] = {frame->width * 3};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, out, out_stride);
    return true;
}

// BT.601 limited-range luma of RGB24 rows, for reading the frame band of the sample discs.
inline std::vector<uint8_t> LumaOf(const DecodedImage& image) {
    std::vector<uint8_t> luma(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < luma.size(); ++i) {
        const double y = 16 + (65.481 * image.rgb[3 * i] + 128.553 * image.rgb[3 * i + 1] +
                               24.966 * image.rgb[3 * i + 2]) /
                                  255.0;
        luma[i] = static_cast<uint8_t>(y + 0.5);
    }
    return luma;
}

}  // namespace rizuvira::filters
