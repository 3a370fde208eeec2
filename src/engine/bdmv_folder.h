// SPDX-License-Identifier: GPL-2.0-or-later
// A Blu-ray offered as a disc. A disc with playlists (a folder holding BDMV/PLAYLIST, or a
// disc image) lists its playlists as titles (ProbeBlurayDisc): each title joins its clips,
// with the playlist's chapter marks, and is read by its playlist path. A bare folder of clips
// without playlists lists each clip in BDMV/STREAM (NNNNN.m2ts) as a title of one chapter,
// the longest first; as with a DVD's titles, one shorter than 3 s is not listed
// (IsListedTitle).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "dvd/dvd_access.h"

namespace rizuvira::engine {

// The BDMV folder `path` names: `path` itself when it is called BDMV, else its BDMV
// subfolder; empty when there is none, or when `path` holds a VIDEO_TS folder (a DVD).
std::filesystem::path BdmvFolderOf(const std::filesystem::path& path);

struct BdmvClips {
    std::vector<std::filesystem::path> files;  // the clip of each title of the record
    std::vector<std::string> left_out;         // one line for each clip that does not read
};

// Reads every clip of `bdmv`/STREAM (as ProbeMpegFile does) and lists up to kDvdMaxTitles of
// them in `disc`, longest first, each with the languages and layouts of its clip
// information. False with `*error` saying why when the folder has no STREAM folder, no clip,
// or no clip that reads. May take a while: every clip is scanned.
bool ProbeBdmvFolder(const std::filesystem::path& bdmv, dvd::TitleTable* disc, BdmvClips* clips,
                     std::string* error);

struct BlurayTitles {
    std::string disc_name;                        // the disc's own name, volume or folder name
    std::vector<std::string> files;               // each title's playlist path
    std::vector<std::vector<double>> chapter_ms;  // each title's chapter lengths
    std::vector<int> clips;                       // each title's clips
    std::vector<int> angles;                      // each title's angles (the first is read)
    int main_feature = -1;                        // the title of the main feature; -1: none
    std::vector<std::string> notes;               // playlists that do not read, one line each
    int short_playlists = 0;                      // menus and the like, not listed
    int duplicate_playlists = 0;                  // repeating a listed title's clips
};

// Lists the playlists of the Blu-ray at `root` (bluray::BlurayRootOf) in `disc`, each with
// its streams as the splitter finds them (languages from the first clip's information), its
// playlist's length and chapters. False with `*error` saying why when the disc does not open
// (encrypted, damaged) or has no title long enough.
bool ProbeBlurayDisc(const std::filesystem::path& root, dvd::TitleTable* disc, BlurayTitles* titles,
                     std::string* error);

}  // namespace rizuvira::engine
