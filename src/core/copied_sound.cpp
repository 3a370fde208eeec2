// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/copied_sound.h"

#include <algorithm>
#include <cstdlib>

namespace rizuvira::core {
namespace {

constexpr AVRational kFileTime{1, 10000000};
// Frames that begin this much before the last one's end still follow it.
constexpr int64_t kOverlapSlack100ns = 10000;
// The least difference from the frames' own clock that a stamp must show to count.
constexpr int64_t kJitter100ns = 400000;

bool BeginsWithSync(AVCodecID codec, const uint8_t* frame, int size) {
    if (size < 4) return false;
    switch (codec) {
        case AV_CODEC_ID_AC3:
        case AV_CODEC_ID_EAC3:
            return frame[0] == 0x0B && frame[1] == 0x77;
        case AV_CODEC_ID_DTS:
            return frame[0] == 0x7F && frame[1] == 0xFE && frame[2] == 0x80 && frame[3] == 0x01;
        case AV_CODEC_ID_MP2:
        case AV_CODEC_ID_MP3:
            return frame[0] == 0xFF && (frame[1] & 0xE0) == 0xE0;
        default:
            return true;
    }
}

}  // namespace

AVCodecID CopiedCodecOf(const std::string& decoder_name) {
    if (decoder_name == "ac3") return AV_CODEC_ID_AC3;
    if (decoder_name == "eac3") return AV_CODEC_ID_EAC3;
    if (decoder_name == "dca" || decoder_name == "dts") return AV_CODEC_ID_DTS;
    if (decoder_name == "mp2") return AV_CODEC_ID_MP2;
    if (decoder_name == "mp3") return AV_CODEC_ID_MP3;
    return AV_CODEC_ID_NONE;
}

CopiedSound::CopiedSound() = default;
CopiedSound::~CopiedSound() = default;

bool CopiedSound::Open(AVFormatContext* output, const CopiedSoundFormat& format,
                       const std::string& language, bool is_default, std::string* error) {
    codec_ = format.codec;
    sample_rate_ = format.sample_rate > 0 ? format.sample_rate : 48000;
    parser_.reset(av_parser_init(codec_));
    const AVCodec* decoder = avcodec_find_decoder(codec_);
    context_.reset(avcodec_alloc_context3(decoder));
    packet_.reset(av_packet_alloc());
    if (!parser_ || !context_ || !packet_) {
        *error = std::string("cannot copy ") + avcodec_get_name(codec_) + " sound";
        return false;
    }
    stream_ = avformat_new_stream(output, nullptr);
    if (stream_ == nullptr) {
        *error = "cannot add the audio stream";
        return false;
    }
    stream_->id = static_cast<int>(output->nb_streams - 1);
    stream_->time_base = kFileTime;
    stream_->disposition = is_default ? AV_DISPOSITION_DEFAULT : 0;
    if (!language.empty()) av_dict_set(&stream_->metadata, "language", language.c_str(), 0);
    AVCodecParameters* par = stream_->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = codec_;
    par->sample_rate = sample_rate_;
    av_channel_layout_default(&par->ch_layout, std::clamp(format.channels, 1, 8));
    next_100ns_ = INT64_MIN;
    end_100ns_ = 0;
    pending_100ns_ = AV_NOPTS_VALUE;
    last_size_ = 0;
    return true;
}

bool CopiedSound::Write(const uint8_t* data, size_t length, int64_t start_100ns, int64_t from_100ns,
                        const PacketWriter& write) {
    if (!parser_) return false;
    from_100ns_ = from_100ns;
    const int64_t stamp = start_100ns == INT64_MIN ? AV_NOPTS_VALUE : start_100ns;
    bool stamp_given = false;
    while (length > 0) {
        uint8_t* frame = nullptr;
        int size = 0;
        const int piece = static_cast<int>(std::min<size_t>(length, INT32_MAX / 2));
        const int used = av_parser_parse2(parser_.get(), context_.get(), &frame, &size, data, piece,
                                          stamp_given ? AV_NOPTS_VALUE : stamp, AV_NOPTS_VALUE, 0);
        stamp_given = true;
        if (used < 0) return true;  // the parser gave up on this piece
        data += used;
        length -= static_cast<size_t>(used);
        if (size > 0 && !Emit(frame, size, parser_->pts, write)) return false;
        if (used == 0 && size == 0) break;
    }
    return true;
}

bool CopiedSound::Flush(const PacketWriter& write) {
    if (!parser_) return true;
    uint8_t* frame = nullptr;
    int size = 0;
    av_parser_parse2(parser_.get(), context_.get(), &frame, &size, nullptr, 0, AV_NOPTS_VALUE,
                     AV_NOPTS_VALUE, 0);
    // A frame cut short by the end of the range (shorter than the frames before
    // it, beyond MPEG audio's padding byte) is left out.
    if (size <= 0 || size + 4 < last_size_) return true;
    return Emit(frame, size, parser_->pts, write);
}

bool CopiedSound::Emit(const uint8_t* frame, int size, int64_t stamp_100ns,
                       const PacketWriter& write) {
    if (!BeginsWithSync(codec_, frame, size)) {
        // The tail of a frame cut off before the first piece: the parser gives it the
        // piece's stamp, which belongs to the frame that begins after it.
        if (stamp_100ns != AV_NOPTS_VALUE) pending_100ns_ = stamp_100ns;
        return true;
    }
    if (stamp_100ns == AV_NOPTS_VALUE) stamp_100ns = pending_100ns_;
    pending_100ns_ = AV_NOPTS_VALUE;
    const int rate = context_->sample_rate > 0 ? context_->sample_rate : sample_rate_;
    const int64_t duration =
        parser_->duration > 0 ? av_rescale(parser_->duration, 10000000, rate) : 0;
    int64_t start = stamp_100ns != AV_NOPTS_VALUE ? stamp_100ns : next_100ns_;
    if (start == INT64_MIN) return true;  // nothing timed yet
    // Coded frames cannot be cut, so a stamp within two frames of where the last
    // frame ended is jitter (or the parser's stamp of a neighbouring frame): the
    // frames follow on. A stamp further off is a gap or a restart of the clock.
    if (next_100ns_ != INT64_MIN &&
        std::abs(start - next_100ns_) < std::max(2 * duration, kJitter100ns))
        start = next_100ns_;
    next_100ns_ = start + duration;
    if (start < from_100ns_) return true;  // before the range
    if (end_100ns_ > 0 && start < end_100ns_ - kOverlapSlack100ns) return true;
    av_packet_unref(packet_.get());
    if (av_new_packet(packet_.get(), size) < 0) return false;
    std::copy_n(frame, size, packet_->data);
    packet_->pts = packet_->dts = start;
    packet_->duration = duration;
    packet_->stream_index = stream_->index;
    av_packet_rescale_ts(packet_.get(), kFileTime, stream_->time_base);
    end_100ns_ = std::max(end_100ns_, start + duration);
    last_size_ = size;
    return write(packet_.get());
}

}  // namespace rizuvira::core
