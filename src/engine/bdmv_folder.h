// A Blu-ray folder offered as a disc: BDMV (or the folder that holds it) with its clips in
// BDMV/STREAM (NNNNN.m2ts) and their information in BDMV/CLIPINF. Every clip is a title of
// one chapter, the longest first; as with a DVD's titles, one shorter than 3 s is not listed
// (IsListedTitle). The playlists are not read: a film cut into several clips shows as
// several titles.
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

}  // namespace rizuvira::engine
