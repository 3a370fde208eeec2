// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/media_file_writer.h"

#include "core/encoder_options.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "core/processor_count.h"

namespace rizuvira::core {

namespace {

constexpr int kMaxPictureSide = 8192;
constexpr int kMaxChannels = 8;
constexpr int kMaxSampleRate = 384000;
// Encoders that take any number of samples get at most this many at once.
constexpr int kVariableFrameSamples = 4096;
// More encoder threads than this gain nothing, and some encoders refuse
// them (x265 takes at most 16 frame threads).
constexpr int kMaxEncoderThreads = 16;

// The pixel format to encode in: 4:2:0 planar when the encoder takes it
// (no conversion of the input), else the encoder's first choice.
AVPixelFormat ChoosePixelFormat(const AVCodec* codec) {
    if (codec->pix_fmts == nullptr) return AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == AV_PIX_FMT_YUV420P) return *f;
    }
    return codec->pix_fmts[0];
}

// The sample format to encode in: interleaved 16-bit when the encoder takes
// it, else the encoder's first choice.
AVSampleFormat ChooseSampleFormat(const AVCodec* codec) {
    if (codec->sample_fmts == nullptr) return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (*f == AV_SAMPLE_FMT_S16) return *f;
    }
    return codec->sample_fmts[0];
}

bool SupportsSampleRate(const AVCodec* codec, int sample_rate) {
    if (codec->supported_samplerates == nullptr) return true;
    for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
        if (*r == sample_rate) return true;
    }
    return false;
}

bool SupportsLayout(const AVCodec* codec, const AVChannelLayout* layout) {
    if (codec->ch_layouts == nullptr) return true;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels != 0; ++l) {
        if (av_channel_layout_compare(l, layout) == 0) return true;
    }
    return false;
}

const AVCodec* FindEncoder(const char* name, AVMediaType type) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    return codec != nullptr && codec->type == type ? codec : nullptr;
}

}  // namespace

bool ContainerTakesSeveralSoundTracks(const char* format_name) {
    if (format_name == nullptr) return false;
    // Containers of one sound stream: Flash video and the plain sound files.
    for (const char* single :
         {"flv", "f4v", "swf", "mp3", "wav", "flac", "adts", "ac3", "mp2", "au", "amr"}) {
        if (std::strcmp(format_name, single) == 0) return false;
    }
    return true;
}

bool ContainerTakesChaptersAtTheEnd(const char* format_name) {
    if (format_name == nullptr) return false;
    for (const char* name : {"mp4", "mov", "3gp", "3g2", "ipod", "psp", "matroska", "webm"}) {
        if (std::strcmp(format_name, name) == 0) return true;
    }
    return false;
}

MediaFileWriter::MediaFileWriter() : thread_count_(UsableProcessorCount()) {}

MediaFileWriter::~MediaFileWriter() {
    Close();
}

void MediaFileWriter::SetThreadCount(int thread_count) {
    thread_count_ = std::max(1, thread_count);
}

int MediaFileWriter::ThreadsForCpuUsage(int cpu_usage_percent) {
    const int cores = UsableProcessorCount();
    return std::max(1, cores * std::clamp(cpu_usage_percent, 0, 100) / 100);
}

int MediaFileWriter::audio_frame_samples() const {
    return sound_.empty() ? 0 : sound_[0].frame_size;
}

int64_t MediaFileWriter::audio_samples_written(int track) const {
    return track >= 0 && track < sound_tracks() ? sound_[static_cast<size_t>(track)].samples : 0;
}

bool MediaFileWriter::Fail(std::string message) {
    last_error_ = std::move(message);
    return false;
}

void MediaFileWriter::Release() {
    video_stream_ = nullptr;
    video_encoder_.reset();
    sound_.clear();
    subtitles_.clear();
    output_.reset();  // closes the file
    packet_.reset();
    picture_.reset();
    borrowed_.reset();
    scaler_.reset();
}

bool MediaFileWriter::Open(const std::filesystem::path& file_name, const OutputSettings& settings,
                           const std::filesystem::path& container_name) {
    if (IsOpen()) return Fail("a file is already open");
    last_error_.clear();
    write_failed_ = false;
    settings_ = settings;
    // The names come from a fixed field; make sure they end inside it.
    settings_.VideoCodecName[sizeof settings_.VideoCodecName - 1] = '\0';
    settings_.AudioCodecName[sizeof settings_.AudioCodecName - 1] = '\0';
    video_frames_ = 0;
    chapters_.clear();

    const AVCodec* video_codec = nullptr;
    const AVCodec* audio_codec = nullptr;
    if (settings_.HasVideo != 0 && settings_.VideoCodecName[0] != '\0') {
        video_codec = FindEncoder(settings_.VideoCodecName, AVMEDIA_TYPE_VIDEO);
        if (video_codec == nullptr) {
            return Fail(std::string("unknown video encoder ") + settings_.VideoCodecName);
        }
    }
    const bool copy_sound =
        settings_.HasAudio != 0 && std::strcmp(settings_.AudioCodecName, kCopySoundCodec) == 0;
    if (settings_.HasAudio != 0 && settings_.AudioCodecName[0] != '\0' && !copy_sound) {
        audio_codec = FindEncoder(settings_.AudioCodecName, AVMEDIA_TYPE_AUDIO);
        if (audio_codec == nullptr) {
            return Fail(std::string("unknown audio encoder ") + settings_.AudioCodecName);
        }
    }
    if (video_codec == nullptr && audio_codec == nullptr && !copy_sound)
        return Fail("no stream to write");

    if (video_codec != nullptr) {
        const int w = settings_.Width;
        const int h = settings_.Height;
        if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide || w % 2 != 0 ||
            h % 2 != 0) {
            return Fail("picture size must be even and between 2 and 8192");
        }
        if (settings_.FrameRate <= 0) return Fail("frame rate must be above 0");
    }
    if (audio_codec != nullptr || copy_sound) {
        if (settings_.SampleRate <= 0 || settings_.SampleRate > kMaxSampleRate) {
            return Fail("sample rate out of range");
        }
        if (settings_.Channel <= 0 || settings_.Channel > kMaxChannels) {
            return Fail("channel count must be 1 to 8");
        }
    }

    const std::string path = file_name.string();
    const std::string format_name = container_name.empty() ? path : container_name.string();
    AVFormatContext* raw_output = nullptr;
    // The extension chooses the container; one that no container claims may
    // name one itself (".null": everything is encoded, then thrown away).
    const AVOutputFormat* named = nullptr;
    if (av_guess_format(nullptr, format_name.c_str(), nullptr) == nullptr) {
        const std::string extension = std::filesystem::path(format_name).extension().string();
        if (extension.size() > 1) named = av_guess_format(extension.c_str() + 1, nullptr, nullptr);
    }
    if (avformat_alloc_output_context2(&raw_output, named, nullptr, format_name.c_str()) < 0 ||
        raw_output == nullptr) {
        return Fail("no container for " + format_name);
    }
    output_.reset(raw_output);
    const AVOutputFormat* format = output_->oformat;
    for (const AVCodec* codec : {video_codec, audio_codec}) {
        if (codec != nullptr &&
            avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
            Release();
            return Fail(std::string("container ") + format->name + " cannot carry " + codec->name);
        }
    }

    packet_.reset(av_packet_alloc());
    if (!packet_) {
        Release();
        return Fail("out of memory");
    }
    if (video_codec != nullptr && !OpenVideo(video_codec)) {
        Release();
        return false;
    }
    if (audio_codec != nullptr || copy_sound) {
        std::vector<std::string> languages = sound_languages_;
        if (languages.empty()) languages.emplace_back();
        if (!ContainerTakesSeveralSoundTracks(format->name)) languages.resize(1);
        for (size_t i = 0; i < languages.size(); ++i) {
            if (copy_sound ? !OpenCopiedAudio(i, languages[i], i == 0)
                           : !OpenAudio(audio_codec, languages[i], i == 0)) {
                Release();
                return false;
            }
        }
    }
    const bool carries_subtitles =
        std::strcmp(format->name, "matroska") == 0 || std::strcmp(format->name, "mp4") == 0;
    if (carries_subtitles && (video_codec != nullptr)) {
        for (const SubtitleTrackFormat& subtitle : subtitle_formats_) {
            if (!OpenSubtitle(subtitle)) {
                Release();
                return false;
            }
        }
    }

    if ((format->flags & AVFMT_NOFILE) == 0) {
        int result = avio_open(&output_->pb, path.c_str(), AVIO_FLAG_WRITE);
        if (result < 0) {
            Release();
            return Fail("cannot create " + path + ": " + av::ErrorText(result));
        }
    }
    file_name_ = file_name;
    int result = avformat_write_header(output_.get(), nullptr);
    if (result < 0) {
        Release();
        std::error_code ignored;
        std::filesystem::remove(file_name_, ignored);
        return Fail("cannot write the header: " + av::ErrorText(result));
    }
    return true;
}

bool MediaFileWriter::OpenVideo(const AVCodec* codec) {
    video_encoder_.reset(avcodec_alloc_context3(codec));
    picture_.reset(av_frame_alloc());
    if (!video_encoder_ || !picture_) return Fail("out of memory");
    AVCodecContext* enc = video_encoder_.get();
    const FrameRateFraction rate = ExactFrameRate(settings_.FrameRate);

    enc->codec_type = AVMEDIA_TYPE_VIDEO;
    enc->codec_id = codec->id;
    enc->bit_rate = settings_.VideoBitRate;
    enc->width = settings_.Width;
    enc->height = settings_.Height;
    enc->framerate = AVRational{rate.num, rate.den};
    enc->time_base = AVRational{rate.den, rate.num};
    enc->gop_size = std::max(1, settings_.FrameRate / 1000);
    enc->pix_fmt = ChoosePixelFormat(codec);
    enc->max_b_frames = 0;
    // Pixels as wide as the display aspect makes them: (AspectX · H) / (AspectY · W).
    enc->sample_aspect_ratio = AVRational{1, 1};
    if (settings_.AspectX > 0 && settings_.AspectY > 0)
        av_reduce(&enc->sample_aspect_ratio.num, &enc->sample_aspect_ratio.den,
                  int64_t{settings_.AspectX} * settings_.Height,
                  int64_t{settings_.AspectY} * settings_.Width, 1 << 16);
    enc->thread_count = std::min(thread_count_, kMaxEncoderThreads);
    if (codec->id == AV_CODEC_ID_MJPEG) enc->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    if ((output_->oformat->flags & AVFMT_GLOBALHEADER) != 0)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    // x265 writes its banner straight to the standard error stream.
    AVDictionary* options = nullptr;
    if (std::strcmp(codec->name, "libx265") == 0)
        av_dict_set(&options, "x265-params", "log-level=error", 0);
    // SVT-AV1 prints its set-up unless its environment says otherwise (a user's setting stays).
    if (std::strcmp(codec->name, "libsvtav1") == 0) setenv("SVT_LOG", "1", 0);
    frame_quality_ = ApplyRateControl(settings_, codec, enc, &options);
    int result = avcodec_open2(enc, codec, &options);
    av_dict_free(&options);
    if (result < 0) {
        return Fail(std::string("cannot open video encoder ") + codec->name + ": " +
                    av::ErrorText(result));
    }

    picture_->format = enc->pix_fmt;
    picture_->width = enc->width;
    picture_->height = enc->height;
    // libx264 copies each picture into a frame of its own before avcodec_send_frame returns,
    // so it can read the caller's picture where it lies. wrapped_avframe keeps a reference in
    // its packet, which the multiplexer may queue for a while: the caller lends it pictures
    // only as long as it can spare them (KeepsLentPictures). Other encoders get a copy.
    keeps_lent_pictures_ = std::strcmp(codec->name, "wrapped_avframe") == 0;
    borrows_pictures_ = keeps_lent_pictures_ || std::strcmp(codec->name, "libx264") == 0;
    borrowed_.reset(av_frame_alloc());
    if (!borrowed_) return Fail("out of memory");
    if (av_frame_get_buffer(picture_.get(), 0) < 0) return Fail("out of memory");
    if (enc->pix_fmt != AV_PIX_FMT_YUV420P) {
        scaler_.reset(sws_getContext(enc->width, enc->height, AV_PIX_FMT_YUV420P, enc->width,
                                     enc->height, enc->pix_fmt, SWS_BICUBIC, nullptr, nullptr,
                                     nullptr));
        if (!scaler_) return Fail("cannot convert pictures to the encoder's pixel format");
    }

    video_stream_ = avformat_new_stream(output_.get(), nullptr);
    if (video_stream_ == nullptr) {
        std::fputs("Could not alloc stream\n", stderr);
        return Fail("cannot add the video stream");
    }
    video_stream_->id = static_cast<int>(output_->nb_streams - 1);
    video_stream_->time_base = enc->time_base;
    video_stream_->avg_frame_rate = enc->framerate;
    video_stream_->sample_aspect_ratio = enc->sample_aspect_ratio;
    if (avcodec_parameters_from_context(video_stream_->codecpar, enc) < 0)
        return Fail("out of memory");
    return true;
}

bool MediaFileWriter::OpenAudio(const AVCodec* codec, const std::string& language,
                                bool is_default) {
    SoundTrack& track = sound_.emplace_back();
    track.encoder.reset(avcodec_alloc_context3(codec));
    if (!track.encoder) return Fail("out of memory");
    AVCodecContext* enc = track.encoder.get();
    av::ChannelLayout layout(settings_.Channel);
    if (!SupportsSampleRate(codec, settings_.SampleRate)) {
        return Fail(std::string(codec->name) + " does not take this sample rate");
    }
    if (!SupportsLayout(codec, layout.get())) {
        return Fail(std::string(codec->name) + " does not take this channel count");
    }

    enc->codec_type = AVMEDIA_TYPE_AUDIO;
    enc->codec_id = codec->id;
    enc->bit_rate = settings_.AudioBitRate;
    enc->sample_rate = settings_.SampleRate;
    enc->sample_fmt = ChooseSampleFormat(codec);
    enc->time_base = AVRational{1, settings_.SampleRate};
    enc->thread_count = 1;
    if (av_channel_layout_copy(&enc->ch_layout, layout.get()) < 0) return Fail("out of memory");
    if ((output_->oformat->flags & AVFMT_GLOBALHEADER) != 0)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    int result = avcodec_open2(enc, codec, nullptr);
    if (result < 0) {
        return Fail(std::string("cannot open audio encoder ") + codec->name + ": " +
                    av::ErrorText(result));
    }
    const bool variable = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    track.frame_size = variable ? 0 : enc->frame_size;
    track.small_last_frame = (codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;

    const int fifo_samples = std::max(track.frame_size, kVariableFrameSamples) * 2;
    track.fifo.reset(
        av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, fifo_samples));
    if (!track.fifo) return Fail("out of memory");

    track.stream = avformat_new_stream(output_.get(), nullptr);
    if (track.stream == nullptr) {
        std::fputs("Could not alloc stream\n", stderr);
        return Fail("cannot add the audio stream");
    }
    track.stream->id = static_cast<int>(output_->nb_streams - 1);
    track.stream->time_base = enc->time_base;
    track.stream->disposition = is_default ? AV_DISPOSITION_DEFAULT : 0;
    if (!language.empty()) av_dict_set(&track.stream->metadata, "language", language.c_str(), 0);
    if (avcodec_parameters_from_context(track.stream->codecpar, enc) < 0)
        return Fail("out of memory");
    return true;
}

bool MediaFileWriter::OpenCopiedAudio(size_t index, const std::string& language, bool is_default) {
    const CopiedSoundFormat format =
        index < copied_formats_.size() ? copied_formats_[index] : CopiedSoundFormat{};
    if (format.codec == AV_CODEC_ID_NONE) {
        const AVCodec* lossless =
            FindEncoder(format.pcm ? "pcm_s16le" : "flac", AVMEDIA_TYPE_AUDIO);
        if (lossless == nullptr) return Fail("no lossless audio encoder");
        if (avformat_query_codec(output_->oformat, lossless->id, FF_COMPLIANCE_NORMAL) == 0)
            return Fail(std::string("container ") + output_->oformat->name + " cannot carry " +
                        lossless->name);
        return OpenAudio(lossless, language, is_default);
    }
    if (avformat_query_codec(output_->oformat, format.codec, FF_COMPLIANCE_NORMAL) == 0)
        return Fail(std::string("container ") + output_->oformat->name + " cannot carry " +
                    avcodec_get_name(format.codec));
    SoundTrack& track = sound_.emplace_back();
    track.copied = std::make_unique<CopiedSound>();
    std::string error;
    if (!track.copied->Open(output_.get(), format, language, is_default, &error))
        return Fail(error);
    track.stream = track.copied->stream();
    return true;
}

int MediaFileWriter::WriteCodedSound(int track_index, const uint8_t* data, size_t length_bytes,
                                     int64_t start_100ns, int64_t from_100ns) {
    if (!CopiesSound(track_index) || write_failed_) return -1;
    SoundTrack& track = sound_[static_cast<size_t>(track_index)];
    const bool ok =
        track.copied->Write(data, length_bytes, start_100ns == kUntimed ? INT64_MIN : start_100ns,
                            from_100ns, [this](AVPacket* packet) { return WritePacket(packet); });
    if (settings_.SampleRate > 0)
        track.samples = track.copied->end_100ns() * settings_.SampleRate / 10000000;
    return ok ? 0 : -1;
}

int64_t MediaFileWriter::coded_sound_end_100ns(int track) const {
    return CopiesSound(track) ? sound_[static_cast<size_t>(track)].copied->end_100ns() : 0;
}

bool MediaFileWriter::Encode(AVCodecContext* encoder, AVStream* stream, const AVFrame* frame) {
    int result = avcodec_send_frame(encoder, frame);
    if (result < 0 && !(frame == nullptr && result == AVERROR_EOF)) {
        return Fail("encoder failed: " + av::ErrorText(result));
    }
    for (;;) {
        result = avcodec_receive_packet(encoder, packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
        if (result < 0) return Fail("encoder failed: " + av::ErrorText(result));
        packet_->stream_index = stream->index;
        av_packet_rescale_ts(packet_.get(), encoder->time_base, stream->time_base);
        if (!WritePacket(packet_.get())) return false;
    }
}

bool MediaFileWriter::WritePacket(AVPacket* packet) {
    const int result = av_interleaved_write_frame(output_.get(), packet);
    if (result < 0) {
        write_failed_ = true;
        return Fail("cannot write to the file: " + av::ErrorText(result));
    }
    return true;
}

int MediaFileWriter::WriteVideo(const uint8_t* data, size_t length_bytes, AVBufferRef* owner) {
    std::unique_ptr<AVBufferRef, void (*)(AVBufferRef*)> keep(
        owner, [](AVBufferRef* b) { av_buffer_unref(&b); });
    if (!video_encoder_ || data == nullptr || write_failed_) return -1;
    const int w = settings_.Width;
    const int h = settings_.Height;
    const size_t luma_bytes = static_cast<size_t>(w) * h;
    const size_t chroma_bytes = luma_bytes / 4;
    if (length_bytes < luma_bytes + 2 * chroma_bytes) return -1;

    // YV12: Y, then V, then U.
    const uint8_t* planes[4] = {data, data + luma_bytes + chroma_bytes, data + luma_bytes, nullptr};
    const int strides[4] = {w, w / 2, w / 2, 0};
    if (keep && borrows_pictures_ && !scaler_) {
        // The encoder reads the caller's picture in place, kept alive by `owner`.
        AVFrame* borrowed = borrowed_.get();
        borrowed->format = AV_PIX_FMT_YUV420P;
        borrowed->width = w;
        borrowed->height = h;
        for (int i = 0; i < 3; ++i) {
            borrowed->data[i] = const_cast<uint8_t*>(planes[i]);
            borrowed->linesize[i] = strides[i];
        }
        borrowed->buf[0] = keep.release();
        borrowed->pts = video_frames_;
        borrowed->quality = frame_quality_;
        const bool encoded = Encode(video_encoder_.get(), video_stream_, borrowed);
        av_frame_unref(borrowed);
        if (!encoded) return -1;
        ++video_frames_;
        return 0;
    }
    AVFrame* picture = picture_.get();
    // The encoder may still hold the last picture; then this gets a fresh one.
    if (av_frame_make_writable(picture) < 0) return -1;
    if (scaler_) {
        sws_scale(scaler_.get(), planes, strides, 0, h, picture->data, picture->linesize);
    } else {
        av_image_copy(picture->data, picture->linesize, planes, strides, AV_PIX_FMT_YUV420P, w, h);
    }
    picture->pts = video_frames_;
    picture->quality = frame_quality_;
    if (!Encode(video_encoder_.get(), video_stream_, picture)) return -1;
    ++video_frames_;
    return 0;
}

bool MediaFileWriter::UseSoundInput(SoundTrack& track, AVSampleFormat input) {
    if (track.input_format == input) return true;
    AVCodecContext* enc = track.encoder.get();
    track.sample_converter.reset();
    track.converted_sound.reset();
    track.partial_sample_bytes = 0;  // a cut sample frame of the other format is no use
    track.input_format = AV_SAMPLE_FMT_NONE;
    if (enc->sample_fmt != input) {
        SwrContext* converter = nullptr;
        if (swr_alloc_set_opts2(&converter, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                &enc->ch_layout, input, enc->sample_rate, 0, nullptr) < 0) {
            return Fail("cannot convert sound to the encoder's sample format");
        }
        track.sample_converter.reset(converter);
        if (swr_init(converter) < 0)
            return Fail("cannot convert sound to the encoder's sample format");
        track.converted_sound.reset(av_frame_alloc());
        if (!track.converted_sound) return Fail("out of memory");
    }
    track.input_format = input;
    return true;
}

bool MediaFileWriter::QueueSamples(SoundTrack& track, const uint8_t* interleaved,
                                   int sample_count) {
    if (sample_count <= 0) return true;
    if (!track.sample_converter) {
        void* planes[1] = {const_cast<uint8_t*>(interleaved)};
        return av_audio_fifo_write(track.fifo.get(), planes, sample_count) == sample_count;
    }
    AVFrame* converted = track.converted_sound.get();
    if (converted->nb_samples < sample_count) {
        av_frame_unref(converted);
        converted->format = track.encoder->sample_fmt;
        converted->nb_samples = sample_count;
        if (av_channel_layout_copy(&converted->ch_layout, &track.encoder->ch_layout) < 0 ||
            av_frame_get_buffer(converted, 0) < 0) {
            av_frame_unref(converted);
            return Fail("out of memory");
        }
    }
    const uint8_t* in[1] = {interleaved};
    int produced = swr_convert(track.sample_converter.get(), converted->extended_data, sample_count,
                               in, sample_count);
    if (produced < 0) return Fail("cannot convert sound");
    void** planes = reinterpret_cast<void**>(converted->extended_data);
    return av_audio_fifo_write(track.fifo.get(), planes, produced) == produced;
}

bool MediaFileWriter::EncodeQueuedAudio(SoundTrack& track, bool flush) {
    AVCodecContext* enc = track.encoder.get();
    for (;;) {
        const int queued = av_audio_fifo_size(track.fifo.get());
        if (queued == 0) return true;
        int take = 0;     // samples from the FIFO
        int samples = 0;  // samples in the frame
        if (track.frame_size == 0) {
            take = samples = std::min(queued, kVariableFrameSamples);
        } else if (queued >= track.frame_size) {
            take = samples = track.frame_size;
        } else if (!flush) {
            return true;
        } else {
            take = queued;
            samples = track.small_last_frame ? queued : track.frame_size;
        }

        av::FramePtr frame(av_frame_alloc());
        if (!frame) return Fail("out of memory");
        frame->format = enc->sample_fmt;
        frame->sample_rate = enc->sample_rate;
        frame->nb_samples = samples;
        if (av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 ||
            av_frame_get_buffer(frame.get(), 0) < 0) {
            return Fail("out of memory");
        }
        void** planes = reinterpret_cast<void**>(frame->extended_data);
        if (av_audio_fifo_read(track.fifo.get(), planes, take) != take)
            return Fail("sound queue failed");
        if (samples > take) {
            av_samples_set_silence(frame->extended_data, take, samples - take,
                                   enc->ch_layout.nb_channels, enc->sample_fmt);
        }
        frame->pts = track.samples;
        track.samples += samples;
        if (!Encode(enc, track.stream, frame.get())) return false;
    }
}

int MediaFileWriter::WriteAudio(int track_index, const uint8_t* data, size_t length_bytes,
                                SoundSamples format) {
    if (track_index < 0 || track_index >= sound_tracks() ||
        (data == nullptr && length_bytes != 0) || write_failed_)
        return -1;
    SoundTrack& track = sound_[static_cast<size_t>(track_index)];
    if (track.copied) return -1;  // takes the source's frames only
    if (length_bytes == 0) return 0;
    const bool floats = format == SoundSamples::kFloat;
    if (!UseSoundInput(track, floats ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16)) return -1;
    const int block = (floats ? 4 : 2) * track.encoder->ch_layout.nb_channels;

    // Complete a sample frame that the previous call cut.
    if (track.partial_sample_bytes > 0) {
        size_t fill = std::min<size_t>(block - track.partial_sample_bytes, length_bytes);
        std::memcpy(track.partial_sample + track.partial_sample_bytes, data, fill);
        track.partial_sample_bytes += static_cast<int>(fill);
        data += fill;
        length_bytes -= fill;
        if (track.partial_sample_bytes < block) return 0;
        track.partial_sample_bytes = 0;
        if (track.skip > 0)
            --track.skip;
        else if (!QueueSamples(track, track.partial_sample, 1))
            return -1;
    }
    // Queue and encode in slices so the FIFO stays small for big inputs.
    const size_t slice_samples = static_cast<size_t>(kVariableFrameSamples);
    size_t samples = length_bytes / block;
    if (track.skip > 0 && samples > 0) {
        const size_t skipped =
            static_cast<size_t>(std::min<int64_t>(track.skip, static_cast<int64_t>(samples)));
        track.skip -= static_cast<int64_t>(skipped);
        data += skipped * block;
        length_bytes -= skipped * block;
        samples -= skipped;
    }
    while (samples > 0) {
        size_t count = std::min(samples, slice_samples);
        if (!QueueSamples(track, data, static_cast<int>(count))) return -1;
        if (!EncodeQueuedAudio(track, false)) return -1;
        data += count * block;
        length_bytes -= count * block;
        samples -= count;
    }
    if (length_bytes > 0) {
        std::memcpy(track.partial_sample, data, length_bytes);
        track.partial_sample_bytes = static_cast<int>(length_bytes);
    }
    return 0;
}

void MediaFileWriter::SkipAudio(int track, int64_t samples) {
    if (track >= 0 && track < sound_tracks() && samples > 0)
        sound_[static_cast<size_t>(track)].skip += samples;
}

int64_t MediaFileWriter::audio_samples_queued(int track) const {
    if (track < 0 || track >= sound_tracks() || CopiesSound(track)) return 0;
    return av_audio_fifo_size(sound_[static_cast<size_t>(track)].fifo.get());
}

bool MediaFileWriter::Close() {
    if (!IsOpen()) return true;
    bool ok = true;
    for (SoundTrack& track : sound_) {
        track.skip = 0;
        if (track.copied) {
            ok =
                track.copied->Flush([this](AVPacket* packet) { return WritePacket(packet); }) && ok;
            continue;
        }
        ok = EncodeQueuedAudio(track, true) && ok;
        ok = Encode(track.encoder.get(), track.stream, nullptr) && ok;
    }
    if (video_encoder_) ok = Encode(video_encoder_.get(), video_stream_, nullptr) && ok;
    WriteChapters();
    int result = av_write_trailer(output_.get());
    if (result < 0) {
        write_failed_ = true;
        ok = Fail("cannot finish the file: " + av::ErrorText(result));
    }
    if (output_->pb != nullptr && (output_->oformat->flags & AVFMT_NOFILE) == 0) {
        // The buffered tail is written here; its failure is a write failure.
        avio_flush(output_->pb);
        const int flush_error = output_->pb->error;
        result = avio_closep(&output_->pb);
        if (result >= 0) result = flush_error;
        if (result < 0) {
            write_failed_ = true;
            if (ok) ok = Fail("cannot close the file: " + av::ErrorText(result));
        }
    }
    Release();
    return ok;
}

void MediaFileWriter::AddChapter(ChapterMark mark) {
    if (IsOpen() && mark.start_ms >= 0) chapters_.push_back(std::move(mark));
}

int64_t MediaFileWriter::written_100ns() const {
    if (video_encoder_ && settings_.FrameRate > 0) {
        const FrameRateFraction rate = ExactFrameRate(settings_.FrameRate);
        return av_rescale(video_frames_, 10000000LL * rate.den, rate.num);
    }
    if (!sound_.empty() && settings_.SampleRate > 0)
        return sound_[0].samples * 10000000 / settings_.SampleRate;
    return 0;
}

void MediaFileWriter::WriteChapters() {
    std::stable_sort(
        chapters_.begin(), chapters_.end(),
        [](const ChapterMark& a, const ChapterMark& b) { return a.start_ms < b.start_ms; });
    const int64_t end_ms = written_ms();
    std::vector<ChapterMark> kept;
    for (ChapterMark& mark : chapters_) {
        if (mark.start_ms >= end_ms) break;
        if (!kept.empty() && kept.back().start_ms == mark.start_ms) kept.pop_back();
        kept.push_back(std::move(mark));
    }
    chapters_.clear();
    if (kept.empty() || !ContainerTakesChaptersAtTheEnd(output_->oformat->name)) return;
    auto** list = static_cast<AVChapter**>(av_calloc(kept.size(), sizeof(AVChapter*)));
    if (list == nullptr) return;
    for (size_t i = 0; i < kept.size(); ++i) {
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (chapter == nullptr) break;
        chapter->id = static_cast<int64_t>(i + 1);
        chapter->time_base = AVRational{1, 1000};
        chapter->start = kept[i].start_ms;
        chapter->end = i + 1 < kept.size() ? kept[i + 1].start_ms : end_ms;
        av_dict_set(&chapter->metadata, "title", kept[i].title.c_str(), 0);
        list[i] = chapter;
        output_->nb_chapters = static_cast<unsigned>(i + 1);
    }
    // The container frees them with itself.
    av_freep(&output_->chapters);
    output_->chapters = list;
}

}  // namespace rizuvira::core
