// SPDX-License-Identifier: GPL-2.0-or-later
// A Blu-ray disc as its users see it: a folder holding BDMV (or BDMV itself) or a disc image
// (UDF), read with libbluray. Its titles are its playlists (BDMV/PLAYLIST/NNNNN.mpls), each
// joining clips in order, with chapter marks, angles and streams; the menus' short playlists
// and playlists that repeat another's clips are left out.
//
// A title is named to the rest of the program by its playlist path: the disc's root (the
// folder or the image file) followed by BDMV/PLAYLIST/NNNNN.mpls, a path that exists for a
// folder and is virtual for an image (PlaylistPath, SplitPlaylistPath).
//
// Threads: each BlurayDisc is used by one thread at a time; separate objects are independent.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace rizuvira::bluray {

// Playlists shorter than this are menus, trailers of a few seconds or padding: not titles.
inline constexpr int64_t kMinTitleMs = 10'000;

inline constexpr int64_t kTicksPerSecond = 90'000;  // the playlist clock (libbluray's 90 kHz)

struct ClipSpan {
    std::string clip_id;         // "00001": BDMV/STREAM/00001.m2ts
    int64_t in_ticks = 0;        // the clip's own time stamps of the first and past the last
    int64_t out_ticks = 0;       // picture played
    int64_t playlist_ticks = 0;  // where it starts in the title
};

struct TitleStream {
    int coding_type = 0;  // transport stream type: 0x1B H.264, 0x81 AC-3, 0x90 PGS, ...
    uint16_t pid = 0;
    std::string language;  // three letters as the disc stores them, or empty
};

struct PlaylistTitle {
    uint32_t playlist = 0;  // NNNNN of NNNNN.mpls
    int64_t duration_ticks = 0;
    std::vector<ClipSpan> clips;               // the first angle's, in play order
    std::vector<int64_t> chapter_start_ticks;  // from the title's start; at least one (0)
    int angles = 1;
    std::vector<TitleStream> video, audio,
        subtitles;  // the first clip's, as the playlist lists them
    bool main_feature = false;

    double duration_ms() const { return static_cast<double>(duration_ticks) / 90.0; }
};

struct DiscListing {
    std::filesystem::path root;  // the image file, or the folder holding BDMV
    std::string name;            // the disc's own name, else its volume name, else the folder's
    std::vector<PlaylistTitle> titles;  // in playlist order; at most one main feature
    int left_out_short = 0;             // playlists shorter than kMinTitleMs
    int left_out_duplicates = 0;        // playlists that repeat another's clips
};

// The disc root `path` names when it is a Blu-ray: a folder holding BDMV/index.bdmv or
// BDMV/PLAYLIST, BDMV itself, or a disc image file whose UDF tree holds BDMV; empty otherwise.
std::filesystem::path BlurayRootOf(const std::filesystem::path& path);

// Whether a disc image (a regular file) carries a Blu-ray tree.
bool IsBlurayImage(const std::filesystem::path& image);

// ROOT/BDMV/PLAYLIST/NNNNN.mpls, and back: false when `path` has not that form.
std::filesystem::path PlaylistPath(const std::filesystem::path& root, uint32_t playlist);
bool SplitPlaylistPath(const std::filesystem::path& path, std::filesystem::path* root,
                       uint32_t* playlist);

// An open disc. Close happens on destruction.
class BlurayDisc {
public:
    BlurayDisc();
    ~BlurayDisc();
    BlurayDisc(const BlurayDisc&) = delete;
    BlurayDisc& operator=(const BlurayDisc&) = delete;

    // Opens the disc at `root` (BlurayRootOf's result). False with `*error` saying why: the
    // disc does not open, or it is encrypted (AACS, BD+) and cannot be read.
    bool Open(const std::filesystem::path& root, std::string* error);

    // Lists the titles: playlists of at least `min_ms`, one of each set of duplicates (the
    // same clips with the same times in the same order), the main feature marked.
    DiscListing List(int64_t min_ms = kMinTitleMs);
    // One playlist's title however short; false when the disc has no such playlist.
    bool Title(uint32_t playlist, PlaylistTitle* title);

    // The whole content of a file of the disc ("BDMV/CLIPINF/00001.clpi"); false when it
    // cannot be read.
    bool ReadFile(const std::string& relative, std::vector<uint8_t>* bytes);

    // A file of the disc opened for reading at any offset.
    class File {
    public:
        virtual ~File() = default;
        virtual int64_t Size() = 0;
        // Up to `count` bytes at `offset`; the number read, 0 past the end, -1 on failure.
        virtual int64_t ReadAt(int64_t offset, uint8_t* buffer, int64_t count) = 0;
    };
    std::unique_ptr<File> OpenFile(const std::string& relative);

    const std::string& name() const { return name_; }

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::filesystem::path root_;
    std::string name_;
};

}  // namespace rizuvira::bluray
