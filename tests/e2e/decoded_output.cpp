// SPDX-License-Identifier: GPL-2.0-or-later
#include "e2e/decoded_output.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <span>

#include "core/av_handles.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::e2e {
namespace {

namespace fx = fixtures;
namespace av = core::av;

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

av::CodecContextPtr OpenDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return nullptr;
    av::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0 ||
        avcodec_open2(context.get(), codec, nullptr) < 0)
        return nullptr;
    return context;
}

}  // namespace

ShownRect FindShownRect(const uint8_t* luma, int width, int height, int stride) {
    constexpr int kAboveBlack =
        48;  // black bars are luma 16; the darkest colour bar is 35 only at the right
    const auto at = [&](int x, int y) { return luma[static_cast<size_t>(y) * stride + x]; };
    ShownRect shown;
    int left = -1, right = -1, top = -1, bottom = -1;
    for (int x = 0; x < width; ++x)
        if (at(x, height / 4) > kAboveBlack) {
            if (left < 0) left = x;
            right = x;
        }
    for (int y = 0; y < height; ++y)
        if (at(width / 2, y) > kAboveBlack) {
            if (top < 0) top = y;
            bottom = y;
        }
    if (left < 0 || top < 0) return shown;
    return {left, top, right - left + 1, bottom - top + 1};
}

double BeepRise(const DecodedOutput& out, double around_s, double tone_hz) {
    const auto tone_at = [&](double t, double length_s) {
        if (t < out.audio_start_s) return -1.0;
        const size_t first = static_cast<size_t>((t - out.audio_start_s) * out.sample_rate);
        const size_t count = static_cast<size_t>(length_s * out.sample_rate);
        if (first + count > out.mono.size()) return -1.0;
        return fx::ToneAmplitude(std::span<const float>(out.mono).subspan(first, count),
                                 out.sample_rate, tone_hz);
    };
    // A track that is silent between its beeps still needs a clear rise.
    const double steady = std::max(tone_at(around_s + 0.3, 0.2), fx::kToneAmplitude / 5);
    const double threshold = steady * (1 + fx::kBeepAmplitude / fx::kToneAmplitude) / 2;
    for (double t = around_s - 0.1; t < around_s + 0.1; t += 0.001)
        if (tone_at(t, 0.01) > threshold) return t;
    return -1;
}

DecodedOutput DecodeOutput(const std::string& path, int source_width, int source_height,
                           OutputMapping given, int audio_track) {
    DecodedOutput out;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        out.error = "cannot open";
        return out;
    }
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        out.error = "no stream info";
        return out;
    }
    out.container = input->iformat->name;
    const int video_index =
        av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int audio_index = audio_track < 0
                          ? av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)
                          : -1;
    for (unsigned i = 0, seen = 0; audio_track >= 0 && i < input->nb_streams && audio_index < 0;
         ++i)
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
            static_cast<int>(seen++) == audio_track)
            audio_index = static_cast<int>(i);
    av::CodecContextPtr video =
        video_index >= 0 ? OpenDecoder(input->streams[video_index]) : nullptr;
    av::CodecContextPtr audio =
        audio_index >= 0 ? OpenDecoder(input->streams[audio_index]) : nullptr;
    if (video) {
        out.video_codec = avcodec_get_name(video->codec_id);
        out.width = video->width;
        out.height = video->height;
        out.frame_rate = av_q2d(input->streams[video_index]->avg_frame_rate);
        const AVRational sar = input->streams[video_index]->codecpar->sample_aspect_ratio;
        out.sample_aspect = sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 0;
    }
    if (audio) {
        out.audio_codec = avcodec_get_name(audio->codec_id);
        out.sample_rate = audio->sample_rate;
        out.channels = audio->ch_layout.nb_channels;
    }

    // The band, mapped from the source picture to where it shows in the output.
    fx::PictureRect band{}, flash{};
    const auto map_band = [&](const fx::PictureMapping& mapping) {
        band = fx::MapRect(fx::OriginalBandRect(source_height), mapping);
        flash = fx::MapRect(fx::OriginalFlashRect(source_width, source_height), mapping);
    };
    if (given.crop_width > 0)
        map_band({given.crop_x0, given.crop_y0, given.crop_width, given.crop_height, given.out_x0,
                  given.out_y0, given.out_width, given.out_height});

    av::PacketPtr packet(av_packet_alloc());
    av::FramePtr frame(av_frame_alloc());
    std::vector<uint8_t> gray;
    SwsContext* scaler = nullptr;
    bool audio_started = false;

    auto take_video = [&](AVFrame* f) {
        const AVRational base = input->streams[video_index]->time_base;
        const uint8_t* luma = f->data[0];
        int stride = f->linesize[0];
        if (f->format != AV_PIX_FMT_YUV420P && f->format != AV_PIX_FMT_YUVJ420P) {
            scaler = sws_getCachedContext(
                scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                f->height, AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr, nullptr);
            gray.resize(static_cast<size_t>(f->width) * f->height);
            uint8_t* planes[1] = {gray.data()};
            int strides[1] = {f->width};
            sws_scale(scaler, f->data, f->linesize, 0, f->height, planes, strides);
            luma = gray.data();
            stride = f->width;
        }
        if (out.pictures.empty()) {
            out.shown = FindShownRect(luma, f->width, f->height, stride);
            if (given.crop_width <= 0 && out.shown.width > 0)
                map_band({0, 0, static_cast<double>(source_width),
                          static_cast<double>(source_height), static_cast<double>(out.shown.x0),
                          static_cast<double>(out.shown.y0), static_cast<double>(out.shown.width),
                          static_cast<double>(out.shown.height)});
        }
        double top = 0;
        const int top_rows = std::max(1, f->height / 10);
        for (int y = 0; y < top_rows; ++y)
            for (int x = 0; x < f->width; ++x) top += luma[static_cast<size_t>(y) * stride + x];
        top /= static_cast<double>(f->width) * top_rows;
        double bottom = 0;
        const int top_row = f->height * 5 / 6;
        for (int y = top_row; y < f->height; ++y)
            for (int x = 0; x < f->width; ++x) bottom += luma[static_cast<size_t>(y) * stride + x];
        bottom /= static_cast<double>(f->width) * (f->height - top_row);
        out.last_luma.resize(static_cast<size_t>(f->width) * f->height);
        for (int y = 0; y < f->height; ++y)
            std::copy_n(luma + static_cast<size_t>(y) * stride, f->width,
                        out.last_luma.begin() + static_cast<std::ptrdiff_t>(y) * f->width);
        const int64_t pts =
            f->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : f->best_effort_timestamp;
        out.pictures.push_back(
            {pts * av_q2d(base), fx::DecodeFrameBand(luma, f->width, f->height, stride, band),
             fx::IsFlashFrame(luma, f->width, f->height, stride, flash, band), bottom, top});
    };
    auto take_audio = [&](AVFrame* f) {
        if (!audio_started) {
            const AVRational base = input->streams[audio_index]->time_base;
            out.audio_start_s = f->best_effort_timestamp == AV_NOPTS_VALUE
                                    ? 0
                                    : f->best_effort_timestamp * av_q2d(base);
            audio_started = true;
        }
        for (int i = 0; i < f->nb_samples; ++i) {
            float value = 0;
            switch (f->format) {
                case AV_SAMPLE_FMT_FLTP:
                    value = reinterpret_cast<const float*>(f->data[0])[i];
                    break;
                case AV_SAMPLE_FMT_FLT:
                    value = reinterpret_cast<const float*>(f->data[0])[i * out.channels];
                    break;
                case AV_SAMPLE_FMT_S16P:
                    value = reinterpret_cast<const int16_t*>(f->data[0])[i] / 32768.0f;
                    break;
                case AV_SAMPLE_FMT_S16:
                    value =
                        reinterpret_cast<const int16_t*>(f->data[0])[i * out.channels] / 32768.0f;
                    break;
                case AV_SAMPLE_FMT_S32P:
                    value = reinterpret_cast<const int32_t*>(f->data[0])[i] / 2147483648.0f;
                    break;
                case AV_SAMPLE_FMT_S32:
                    value = reinterpret_cast<const int32_t*>(f->data[0])[i * out.channels] /
                            2147483648.0f;
                    break;
                default:
                    break;
            }
            out.mono.push_back(value);
        }
    };
    auto drain = [&](AVCodecContext* context, bool is_video) {
        while (avcodec_receive_frame(context, frame.get()) == 0) {
            if (is_video)
                take_video(frame.get());
            else
                take_audio(frame.get());
            av_frame_unref(frame.get());
        }
    };

    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (video && packet->stream_index == video_index &&
            avcodec_send_packet(video.get(), packet.get()) >= 0)
            drain(video.get(), true);
        if (audio && packet->stream_index == audio_index &&
            avcodec_send_packet(audio.get(), packet.get()) >= 0)
            drain(audio.get(), false);
        av_packet_unref(packet.get());
    }
    if (video && avcodec_send_packet(video.get(), nullptr) >= 0) drain(video.get(), true);
    if (audio && avcodec_send_packet(audio.get(), nullptr) >= 0) drain(audio.get(), false);
    sws_freeContext(scaler);
    out.ok = true;
    return out;
}

namespace {

std::mutex log_mutex;
std::vector<std::string>* log_errors = nullptr;

void KeepErrors(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    int prefix = 1;
    av_log_format_line(context, level, format, args, line, sizeof line, &prefix);
    std::lock_guard lock(log_mutex);
    if (log_errors != nullptr) log_errors->emplace_back(line);
}

}  // namespace

WholeDecode DecodeWhole(const std::string& path) {
    WholeDecode out;
    {
        std::lock_guard lock(log_mutex);
        log_errors = &out.errors;
    }
    av_log_set_callback(KeepErrors);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) == 0) {
        std::unique_ptr<AVFormatContext, InputCloser> input(raw);
        out.opened = avformat_find_stream_info(input.get(), nullptr) >= 0;
        std::map<int, av::CodecContextPtr> decoders;
        int first_audio = -1;  // only the first sound stream is counted
        for (unsigned i = 0; out.opened && i < input->nb_streams; ++i) {
            const AVMediaType type = input->streams[i]->codecpar->codec_type;
            if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) continue;
            av::CodecContextPtr decoder = OpenDecoder(input->streams[i]);
            if (!decoder) {
                out.errors.push_back("no decoder for stream " + std::to_string(i));
                continue;
            }
            if (type == AVMEDIA_TYPE_AUDIO && first_audio < 0) {
                first_audio = static_cast<int>(i);
                out.audio_rate = decoder->sample_rate;
            }
            decoders.emplace(static_cast<int>(i), std::move(decoder));
        }
        av::PacketPtr packet(av_packet_alloc());
        av::FramePtr frame(av_frame_alloc());
        double first_picture_s = -1;
        const auto drain = [&](int index, AVCodecContext* decoder) {
            while (avcodec_receive_frame(decoder, frame.get()) == 0) {
                if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) {
                    ++out.video_frames;
                    const AVStream* stream = input->streams[index];
                    const double at_s = frame->best_effort_timestamp * av_q2d(stream->time_base);
                    if (first_picture_s < 0) first_picture_s = at_s;
                    const double rate = av_q2d(stream->avg_frame_rate);
                    out.video_span_s = std::max(out.video_span_s,
                                                at_s - first_picture_s + (rate > 0 ? 1 / rate : 0));
                }
                if (index == first_audio) out.audio_samples += frame->nb_samples;
                av_frame_unref(frame.get());
            }
        };
        int read = 0;
        while (out.opened && (read = av_read_frame(input.get(), packet.get())) >= 0) {
            const auto found = decoders.find(packet->stream_index);
            if (found != decoders.end()) {
                const int sent = avcodec_send_packet(found->second.get(), packet.get());
                if (sent < 0)
                    out.errors.push_back("a packet does not decode: " + av::ErrorText(sent));
                drain(found->first, found->second.get());
            }
            av_packet_unref(packet.get());
        }
        if (out.opened && read != AVERROR_EOF)
            out.errors.push_back("reading stops: " + av::ErrorText(read));
        for (auto& [index, decoder] : decoders) {
            avcodec_send_packet(decoder.get(), nullptr);
            drain(index, decoder.get());
        }
    }
    av_log_set_callback(av_log_default_callback);
    std::lock_guard lock(log_mutex);
    log_errors = nullptr;
    return out;
}

}  // namespace rizuvira::e2e
