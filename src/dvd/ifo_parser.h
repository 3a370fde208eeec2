// SPDX-License-Identifier: GPL-2.0-or-later
// Reader of the DVD-Video information files (VIDEO_TS.IFO and VTS_nn_0.IFO).
//
// The bytes come from the disc and are not trusted: every table is bounds
// checked against the file and a damaged table reads as absent rather than
// being guessed at. Only what the converter uses is kept: the title table,
// the picture, audio and subpicture attributes, the parts of title (chapters),
// and the program chains with their programs, cells, stream control words and
// colour table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rizuvira::dvd {

inline constexpr int kIfoSectorBytes = 2048;

// One row of the disc's title table.
struct IfoTitle {
    int angles = 0;
    int chapters = 0;   // parts of title as the title table counts them
    int title_set = 0;  // 1..99
    int vts_title = 0;  // title number inside its title set, from 1
};

struct IfoVideoAttributes {
    int video_format = 0;  // 0 NTSC (525/60), 1 PAL (625/50)
    int aspect_ratio = 0;  // 0 4:3, 3 16:9
    int picture_size = 0;  // 0 720, 1 704, 2 352, 3 352 at half height
};

struct IfoAudioAttributes {
    int coding = 0;          // 0 AC-3, 2 MPEG-1, 3 MPEG-2 ext, 4 LPCM, 6 DTS, 7 SDDS
    int language_type = 0;   // 1 when the language code is meaningful
    int channels = 0;        // channels less one
    int sample_rate_hz = 0;  // 48000, 96000, or 0 for a code that names neither
    uint16_t language = 0;   // two letters, first in the high byte
};

struct IfoSubpictureAttributes {
    int language_type = 0;
    uint16_t language = 0;
};

struct IfoPlaybackTime {
    uint8_t hour = 0, minute = 0, second = 0, frame_u = 0;  // BCD; frame_u's top bits: rate
};

struct IfoCell {
    int block_mode = 0;  // 0 not in a block, 1 first cell, 2 inside, 3 last cell
    int block_type = 0;  // 1 angle block
    IfoPlaybackTime playback_time;
    uint32_t first_sector = 0;
    uint32_t last_sector = 0;  // inclusive
};

struct IfoProgramChain {
    IfoPlaybackTime playback_time;
    uint16_t audio_control[8] = {};
    uint32_t subpicture_control[32] = {};
    uint32_t palette[16] = {};
    std::vector<uint8_t> program_cells;  // first cell (from 1) of each program
    std::vector<IfoCell> cells;
};

struct IfoPartOfTitle {
    int pgcn = 0;  // program chain, from 1
    int pgn = 0;   // program in it, from 1
};

struct VmgInfo {
    std::vector<IfoTitle> titles;
};

struct VtsInfo {
    IfoVideoAttributes video;
    std::vector<IfoAudioAttributes> audio;
    std::vector<IfoSubpictureAttributes> subpictures;
    std::vector<std::vector<IfoPartOfTitle>> titles;     // per title of the set: its chapters
    std::vector<std::optional<IfoProgramChain>> chains;  // absent when damaged
};

// Both return nothing when the file is not of its kind or its main table is
// damaged; damaged secondary tables are left empty.
std::optional<VmgInfo> ParseVideoManagerIfo(std::span<const uint8_t> file);
std::optional<VtsInfo> ParseTitleSetIfo(std::span<const uint8_t> file);

// Exact length of a DVD playback time: BCD hours, minutes, seconds and a frame
// count whose two high bits give the rate (1: 25 fps, 3: 30000/1001 fps with
// 30 frames per timecode second).
double DvdTimeToMs(uint8_t hour, uint8_t minute, uint8_t second, uint8_t frame_u);

}  // namespace rizuvira::dvd
