// SPDX-License-Identifier: GPL-2.0-or-later
// The clip information file of a Blu-ray clip (BDMV/CLIPINF/NNNNN.clpi
// beside BDMV/STREAM/NNNNN.m2ts): for each transport PID of the clip, the
// stream's coding type, language and picture or sound layout.
//
// The file is read as untrusted bytes: every offset and length is checked
// against the file, and a file that does not hold what it claims gives an
// empty list.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace rizuvira::demux {

struct ClipStreamEntry {
    uint16_t pid = 0;
    int32_t coding_type = 0;  // the transport stream type (0x1B H.264, 0x80 LPCM, 0x90 PGS, ...)
    char language[4] = {};    // ISO 639-2 as stored in the file, or empty
    // Four-bit codes; video streams only.
    int32_t video_format = 0, frame_rate = 0, aspect_ratio = 0;
    // Four-bit codes; audio streams only.
    int32_t channel_layout = 0, sample_rate_code = 0;
};

struct ClipInfoList {
    std::vector<ClipStreamEntry> streams;  // in file order
    bool loaded = false;
};

enum class ClipInfoResult { kOk, kCannotOpen, kInvalidFormat };

// Reads the streams of every program of a clip information file held in
// `bytes`. Versions "0100", "0200" and "0300" are read alike (discs carry all
// three with the same program layout). On failure the list is emptied.
ClipInfoResult ParseClipInfo(std::span<const uint8_t> bytes, ClipInfoList* list);
ClipInfoResult LoadClipInfo(const std::filesystem::path& file, ClipInfoList* list);

// The first entry for `pid`, or null.
const ClipStreamEntry* FindClipStream(const ClipInfoList& list, uint16_t pid);

// An entry's language code as stored ("eng", "JPN"); empty unless it is three ASCII letters.
std::string ClipLanguage(const ClipStreamEntry& entry);

// The clip information file of a clip: ".../BDMV/STREAM/00001.m2ts" gives
// ".../BDMV/CLIPINF/00001.clpi". Empty for a file outside a STREAM folder
// (a DVD, "DVD", a plain file).
std::filesystem::path ClipInfoFileFor(const std::filesystem::path& clip);

// The clip information of what the splitter reads from `source`: a clip's own file, or for
// a Blu-ray title (its playlist path) the file of the title's first clip, read from the
// disc. The list stays empty for anything else and when there is no such file.
void LoadSourceClipInfo(const std::filesystem::path& source, ClipInfoList* list);

}  // namespace rizuvira::demux
