// SPDX-License-Identifier: GPL-2.0-or-later
// SubpictureOverlay: decodes DVD subpictures with libavcodec's DVD subtitle decoder, or
// Blu-ray presentation graphics (PGS) with its PGS decoder, and draws the one showing at a
// picture's time into that YV12 picture.
//
// Colours: a subpicture selects four entries of the title's 16-colour table and gives each a
// contrast (alpha). The table (0x00YYCrCb entries from the IFO) goes to the decoder as its
// "palette" option; a new table reopens the decoder at the next packet. Without a table the
// decoder picks grey levels.
//
// Timing: every subtitle shows from its packet time plus its start delay to its packet time
// plus its end delay (the display commands of the subpicture). A subtitle without an end
// stays up until the next subtitle starts. A graphics display set shows until the next one
// (an empty set clears the screen).
//
// Threads: AddPacket runs on the subpicture input's streaming thread, Draw on the video input's;
// SetPalette on any thread. One mutex guards the decoder and the list; Draw holds it while it
// blends (a few rectangles of a few kilobytes).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "decoders/codec_session.h"
#include "platform/win_types.h"

namespace rizuvira::decoders {

// Bytes of a contiguous YV12 picture: the chroma planes are half the size rounded up, as
// libavcodec's 4:2:0 planes are (an odd width or height keeps its last chroma sample).
inline int Yv12ChromaWidth(int width) {
    return (width + 1) / 2;
}
inline int Yv12ChromaHeight(int height) {
    return (height + 1) / 2;
}
inline std::size_t Yv12Bytes(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) +
           2 * static_cast<std::size_t>(Yv12ChromaWidth(width)) *
               static_cast<std::size_t>(Yv12ChromaHeight(height));
}

// One plane layout of a YV12 picture the overlay draws into.
struct Yv12View {
    uint8_t* y = nullptr;
    uint8_t* v = nullptr;  // Cr, the first chroma plane of YV12
    uint8_t* u = nullptr;  // Cb
    int width = 0;
    int height = 0;
    int y_stride = 0;
    int uv_stride = 0;
};

class SubpictureOverlay {
public:
    SubpictureOverlay() = default;
    SubpictureOverlay(const SubpictureOverlay&) = delete;
    SubpictureOverlay& operator=(const SubpictureOverlay&) = delete;

    void SetPalette(const uint32_t palette_ycrcb[16]);
    // Blu-ray presentation graphics instead of DVD subpictures: packets carry segments (type,
    // 16-bit size, data), a segment possibly cut across packets. Reopens the decoder at the
    // next packet.
    void SetGraphics(bool graphics);

    // One piece of subpicture data (a PES payload, the substream byte removed) with its time,
    // or AV_NOPTS_VALUE. Pieces of one subpicture are joined before decoding.
    HRESULT AddPacket(const uint8_t* data, std::size_t size, int64_t pts_100ns);
    // Draws what shows at `time_100ns` and forgets subtitles that ended before it.
    void Draw(const Yv12View& picture, int64_t time_100ns);
    // Drops every subtitle and partial packet (flush, seek, stop).
    void Clear();

    // The RGB form of an 0x00YYCrCb entry as the decoder's palette option wants it (0xRRGGBB).
    static uint32_t YCrCbToRgb(uint32_t ycrcb);

private:
    struct Pixel {
        uint8_t y, u, v, alpha;
    };
    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
        std::vector<Pixel> pixels;  // width * height, row by row
    };
    struct Entry {
        int64_t start_100ns = 0;
        int64_t stop_100ns = 0;  // INT64_MAX: until the next subtitle
        std::vector<Rect> rects;
    };

    HRESULT OpenLocked();
    // Decodes the whole segments gathered in graphics_bytes_.
    void DecodeSegmentsLocked(AVPacket* packet);
    void AddSubtitleLocked(const AVSubtitle& subtitle, int64_t pts_100ns);

    std::mutex mutex_;
    core::av::CodecContextPtr context_;
    ParserPtr parser_;
    bool have_palette_ = false;
    bool graphics_ = false;
    std::vector<uint8_t> graphics_bytes_;  // segments not yet decoded, the last maybe partial
    int64_t graphics_pts_ = INT64_MIN;     // their PES's time; AV_NOPTS_VALUE: none begun
    bool reopen_ = true;
    std::array<uint32_t, 16> palette_{};
    std::vector<Entry> entries_;  // in start order
};

}  // namespace rizuvira::decoders
