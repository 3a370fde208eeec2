// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/codec_session.h"

#include "core/processor_count.h"
#include "decoders/decoder_interfaces.h"

namespace rizuvira::decoders {

namespace av = core::av;

namespace {
constexpr std::size_t kMaxPieceTimes = 64;
}  // namespace

int ProcessorCount() {
    return core::UsableProcessorCount();
}

HRESULT CodecSession::Open(const CodecOptions& options, std::string* error) {
    Close();
    const AVCodec* codec = avcodec_find_decoder(options.codec_id);
    if (!codec) {
        if (error) *error = "no decoder for codec id " + std::to_string(options.codec_id);
        return E_FAIL;
    }
    av::CodecContextPtr context(avcodec_alloc_context3(codec));
    av::PacketPtr packet(av_packet_alloc());
    av::FramePtr frame(av_frame_alloc());
    if (!context || !packet || !frame) return E_OUTOFMEMORY;

    context->pkt_timebase = AVRational{1, static_cast<int>(UNITS)};
    context->thread_count = options.threads > 0 ? options.threads : 1;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (options.sample_rate > 0) context->sample_rate = options.sample_rate;
    if (options.channels > 0) av_channel_layout_default(&context->ch_layout, options.channels);
    if (!options.extradata.empty()) {
        const std::size_t size = options.extradata.size();
        context->extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!context->extradata) return E_OUTOFMEMORY;
        std::copy(options.extradata.begin(), options.extradata.end(), context->extradata);
        context->extradata_size = static_cast<int>(size);
    }
    if (options.configure) options.configure(context.get());
    const int result = avcodec_open2(context.get(), codec, nullptr);
    if (result < 0) {
        if (error) *error = av::ErrorText(result);
        return E_FAIL;
    }
    if (!options.whole_frames) parser_.reset(av_parser_init(options.codec_id));
    frame_start_times_ = options.frame_start_times;
    piece_times_.clear();
    context_ = std::move(context);
    packet_ = std::move(packet);
    frame_ = std::move(frame);
    return S_OK;
}

void CodecSession::Close() {
    parser_.reset();
    context_.reset();
    packet_.reset();
    frame_.reset();
}

HRESULT CodecSession::SendAndReceive(AVPacket* packet, const FrameHandler& handler) {
    int sent = avcodec_send_packet(context_.get(), packet);
    // EAGAIN cannot happen here: every frame is taken out below before the next send. A
    // damaged frame is dropped; the decoder picks up again at the next one.
    (void)sent;
    for (;;) {
        const int result = avcodec_receive_frame(context_.get(), frame_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return S_OK;
        if (result < 0) return S_OK;  // a frame that did not decode
        const HRESULT hr = handler(frame_.get());
        av_frame_unref(frame_.get());
        if (FAILED(hr)) return hr;
    }
}

HRESULT CodecSession::Decode(const uint8_t* data, std::size_t size, int64_t pts_100ns,
                             const FrameHandler& handler) {
    if (!context_) return E_UNEXPECTED;
    if (size == 0) return S_OK;
    if (!parser_) {
        // The piece is a whole frame (libavcodec reads past the end by up to the padding size,
        // so the data is copied into a padded packet).
        if (av_new_packet(packet_.get(), static_cast<int>(size)) < 0) return E_OUTOFMEMORY;
        std::copy(data, data + size, packet_->data);
        packet_->pts = pts_100ns;
        const HRESULT hr = SendAndReceive(packet_.get(), handler);
        av_packet_unref(packet_.get());
        return hr;
    }
    if (frame_start_times_ && pts_100ns != AV_NOPTS_VALUE) {
        // A parser that has not read anything yet counts from the position given with its
        // first piece, 0.
        const int64_t offset =
            (parser_->flags & PARSER_FLAG_FETCHED_OFFSET) != 0 ? parser_->cur_offset : 0;
        piece_times_.push_back({offset, pts_100ns});
        // Data in which no frame ever starts (not this codec, or damaged) must not pile up.
        if (piece_times_.size() > kMaxPieceTimes) piece_times_.pop_front();
        pts_100ns = AV_NOPTS_VALUE;
    }
    while (size > 0) {
        uint8_t* out = nullptr;
        int out_size = 0;
        const int used = av_parser_parse2(parser_.get(), context_.get(), &out, &out_size, data,
                                          static_cast<int>(size), pts_100ns, AV_NOPTS_VALUE, 0);
        if (used < 0) return S_OK;
        data += used;
        size -= static_cast<std::size_t>(used);
        // The time stamp belongs to the first frame that starts in this piece only.
        pts_100ns = AV_NOPTS_VALUE;
        if (out_size > 0) {
            packet_->data = out;
            packet_->size = out_size;
            packet_->pts = OutputFrameTime();
            packet_->dts = AV_NOPTS_VALUE;
            packet_->flags = parser_->key_frame == 1 ? AV_PKT_FLAG_KEY : 0;
            const HRESULT hr = SendAndReceive(packet_.get(), handler);
            packet_->data = nullptr;
            packet_->size = 0;
            if (FAILED(hr)) return hr;
        }
        if (used == 0 && out_size == 0) break;
    }
    return S_OK;
}

HRESULT CodecSession::Drain(const FrameHandler& handler) {
    if (!context_) return E_UNEXPECTED;
    HRESULT hr = S_OK;
    if (parser_) {
        uint8_t* out = nullptr;
        int out_size = 0;
        av_parser_parse2(parser_.get(), context_.get(), &out, &out_size, nullptr, 0, AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        if (out_size > 0) {
            packet_->data = out;
            packet_->size = out_size;
            packet_->pts = OutputFrameTime();
            packet_->dts = AV_NOPTS_VALUE;
            hr = SendAndReceive(packet_.get(), handler);
            packet_->data = nullptr;
            packet_->size = 0;
        }
    }
    if (SUCCEEDED(hr)) hr = SendAndReceive(nullptr, handler);
    Reset();
    return hr;
}

int64_t CodecSession::OutputFrameTime() {
    if (!frame_start_times_) return parser_->pts;
    int64_t pts = AV_NOPTS_VALUE;
    while (!piece_times_.empty() && piece_times_.front().offset <= parser_->frame_offset) {
        pts = piece_times_.front().pts_100ns;
        piece_times_.pop_front();
    }
    return pts;
}

void CodecSession::Reset() {
    if (!context_) return;
    avcodec_flush_buffers(context_.get());
    piece_times_.clear();
    // A parser keeps partial frames and has no reset of its own: make it anew (a session of
    // whole frames has none).
    if (parser_) parser_.reset(av_parser_init(context_->codec_id));
}

}  // namespace rizuvira::decoders
