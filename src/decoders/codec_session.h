// SPDX-License-Identifier: GPL-2.0-or-later
// CodecSession: one libavcodec decoder with the parser in front of it, as the decoder filters
// use it. Compressed data arrives in arbitrary pieces (the splitter delivers PES payloads, not
// whole frames); the parser cuts them into frames and carries each piece's time stamp to the
// frame that starts in it; the decoder turns frames into pictures or sound, in display order.
// For sound (frame_start_times) the session itself follows the bytes: a piece's time goes to
// the first frame whose first byte lies at or after the piece's first byte, as a DVD or MPEG
// program stream states it. libavcodec's own rule gives a frame whose sync word ends one
// piece the time of the next piece, which puts it a frame late and loses the next one.
//
// Times are 100 ns throughout: the packet time base is 1/10^7, so a frame's pts comes back in
// the same unit the sample carried, or AV_NOPTS_VALUE when its piece had none.
//
// Threads: a session belongs to one streaming thread at a time (the filter serialises calls).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "core/av_handles.h"
#include "platform/win_types.h"

namespace rizuvira::decoders {

struct ParserClose {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
};
using ParserPtr = std::unique_ptr<AVCodecParserContext, ParserClose>;

// Owns an AVSubtitle's rectangles.
class Subtitle {
public:
    Subtitle() = default;
    ~Subtitle() { avsubtitle_free(&sub_); }
    Subtitle(const Subtitle&) = delete;
    Subtitle& operator=(const Subtitle&) = delete;
    AVSubtitle* get() { return &sub_; }
    const AVSubtitle* get() const { return &sub_; }

private:
    AVSubtitle sub_{};
};

struct CodecOptions {
    AVCodecID codec_id = AV_CODEC_ID_NONE;
    int threads = 1;                     // libavcodec worker threads
    std::span<const uint8_t> extradata;  // codec configuration (e.g. a sequence header)
    int sample_rate = 0;                 // hints for audio decoders; 0 = from the stream
    int channels = 0;
    // Every piece is one whole frame: no parser (one that expects another framing would
    // refuse them).
    bool whole_frames = false;
    // A piece's time stamp goes to the first frame that starts in or after it, counted by
    // the session (see above) rather than by the parser.
    bool frame_start_times = false;
    // Private options of the decoder (av_opt_set on priv_data), e.g. dvdsub's "palette".
    std::function<void(AVCodecContext*)> configure;
};

class CodecSession {
public:
    // Called with every decoded frame, in output order. The frame is valid for the call only.
    using FrameHandler = std::function<HRESULT(AVFrame* frame)>;

    CodecSession() = default;
    ~CodecSession() = default;
    CodecSession(const CodecSession&) = delete;
    CodecSession& operator=(const CodecSession&) = delete;

    // Opens the decoder and its parser (a codec without a parser takes the pieces whole).
    // E_FAIL with `error` set when libavcodec refuses.
    HRESULT Open(const CodecOptions& options, std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return context_ != nullptr; }
    AVCodecContext* context() const { return context_.get(); }

    // Parses and decodes one piece; `pts_100ns` is the piece's start time or AV_NOPTS_VALUE.
    // Damaged data is skipped (the decoder resynchronises); a failure of the handler is
    // returned at once.
    HRESULT Decode(const uint8_t* data, std::size_t size, int64_t pts_100ns,
                   const FrameHandler& handler);
    // End of stream: pushes out what the parser holds and every frame the decoder keeps back.
    // The session is ready for new data afterwards.
    HRESULT Drain(const FrameHandler& handler);
    // Forgets every buffered piece and frame (a flush or seek).
    void Reset();

private:
    HRESULT SendAndReceive(AVPacket* packet, const FrameHandler& handler);
    // The time of the frame the parser has just put out: the parser's, or with
    // frame_start_times that of the last timed piece starting at or before the frame's first
    // byte and after the previous frame's (AV_NOPTS_VALUE when none).
    int64_t OutputFrameTime();

    struct PieceTime {
        int64_t offset;  // of the piece's first byte, counted as the parser counts
        int64_t pts_100ns;
    };
    bool frame_start_times_ = false;
    std::deque<PieceTime> piece_times_;  // timed pieces that no frame has started in yet

    core::av::CodecContextPtr context_;
    ParserPtr parser_;
    core::av::PacketPtr packet_;
    core::av::FramePtr frame_;
};

}  // namespace rizuvira::decoders
