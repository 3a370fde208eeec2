// SPDX-License-Identifier: GPL-2.0-or-later
// Owning handles for the FFmpeg objects the engine creates. Each frees its
// object with the library's own release call; all are move-only.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace rizuvira::core::av {

struct OutputFormatContextFree {
    // Closes the output file (when the container has one and it is open),
    // then frees the context with its streams.
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr && context->oformat != nullptr &&
            (context->oformat->flags & AVFMT_NOFILE) == 0) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwrContextFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct SwsContextFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using OutputFormatContextPtr = std::unique_ptr<AVFormatContext, OutputFormatContextFree>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextFree>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFree>;

// Holds an AVChannelLayout and uninitialises it on destruction.
class ChannelLayout {
public:
    ChannelLayout() = default;
    explicit ChannelLayout(int channels) { av_channel_layout_default(&layout_, channels); }
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    const AVChannelLayout* get() const { return &layout_; }

private:
    AVChannelLayout layout_{};
};

// Text of an FFmpeg error code.
inline std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

}  // namespace rizuvira::core::av
