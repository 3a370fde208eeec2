// SPDX-License-Identifier: GPL-2.0-or-later
// Sound copied into the output file as the source coded it ("as on the
// disc"): AC-3, E-AC-3, DTS and MPEG audio pass through in whole frames,
// untouched. The source's packets are cut into frames by libavcodec's parser;
// each frame takes the time of the packet it begins in (a packet's time
// stamp belongs to the first frame that begins in it) or follows the frame
// before it. A frame that does not begin with its coding's sync word (the
// tail of a frame cut off by a range start) and a frame that would begin
// before the end of the last one written (sound of a merged item that ran
// past its pictures) are left out, so the times only ever rise.
//
// Threading: none of its own; the media file writer's caller serialises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/av_handles.h"

namespace rizuvira::core {

// The audio encoder name that copies the source's sound.
inline constexpr const char* kCopySoundCodec = "copy";

// The coded form of a copied sound track, as the source declares it.
struct CopiedSoundFormat {
    AVCodecID codec = AV_CODEC_ID_NONE;  // NONE: not copied but coded losslessly
    bool pcm = false;  // the source is PCM (LPCM): a NONE track is written as 16-bit PCM, else FLAC
    int sample_rate = 48000;
    int channels = 2;

    friend bool operator==(const CopiedSoundFormat&, const CopiedSoundFormat&) = default;
};

// The codec a source's sound copies as: AC-3, E-AC-3, DTS, MP2 or MP3 (an
// FFmpeg decoder's name, "ac3"); NONE for everything else (LPCM, AAC).
AVCodecID CopiedCodecOf(const std::string& decoder_name);

class CopiedSound {
public:
    CopiedSound();
    ~CopiedSound();
    CopiedSound(const CopiedSound&) = delete;
    CopiedSound& operator=(const CopiedSound&) = delete;

    // Adds the stream to `output` (before its header is written). False, with
    // `error` set, when the codec has no parser or the stream cannot be added.
    bool Open(AVFormatContext* output, const CopiedSoundFormat& format, const std::string& language,
              bool is_default, std::string* error);
    AVStream* stream() const { return stream_; }

    // One piece of the source's sound; `start_100ns` is the time in the file
    // of the first frame that begins in it, or INT64_MIN for none. Every
    // whole frame that begins at or after `from_100ns` goes to `write` (its
    // times in the stream's time base); false when `write` failed.
    using PacketWriter = std::function<bool(AVPacket*)>;
    bool Write(const uint8_t* data, size_t length, int64_t start_100ns, int64_t from_100ns,
               const PacketWriter& write);
    // Writes the frame the parser still holds.
    bool Flush(const PacketWriter& write);

    // The end of the last frame written, in the file's 100-ns units.
    int64_t end_100ns() const { return end_100ns_; }

private:
    bool Emit(const uint8_t* frame, int size, int64_t stamp_100ns, const PacketWriter& write);
    int64_t from_100ns_ = 0;

    struct ParserClose {
        void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
    };
    std::unique_ptr<AVCodecParserContext, ParserClose> parser_;
    av::CodecContextPtr context_;  // the parser's: the frames' rate and duration
    av::PacketPtr packet_;
    AVStream* stream_ = nullptr;  // owned by the output
    AVCodecID codec_ = AV_CODEC_ID_NONE;
    int sample_rate_ = 48000;
    int64_t next_100ns_ = INT64_MIN;          // where the next frame follows; MIN: no time yet
    int64_t pending_100ns_ = AV_NOPTS_VALUE;  // a stamp the parser gave a cut-off tail
    int64_t end_100ns_ = 0;
    int last_size_ = 0;  // of the last frame written
};

}  // namespace rizuvira::core
