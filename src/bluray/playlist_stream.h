// SPDX-License-Identifier: GPL-2.0-or-later
// A title's clips read as one transport stream: the clips of its playlist (the first angle)
// one after another, their time stamps moved so that the title's clock runs on across every
// join: a clip's stamps keep their distance from its in-point and start where the clip
// starts in the playlist, counted from the first clip's in-point. The splitter then reads a
// title as it reads one .m2ts file; trims, seeks and chapters land where the playlist says.
//
// The bytes of a clip outside its in- and out-points are read as they are.
//
// Threads: not locked; the owner serialises calls (the pull-model source reads under its
// stream lock).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bluray/bluray_disc.h"

namespace rizuvira::bluray {

class PlaylistStream final {
public:
    PlaylistStream();
    ~PlaylistStream();
    PlaylistStream(const PlaylistStream&) = delete;
    PlaylistStream& operator=(const PlaylistStream&) = delete;

    // `path` is a title's playlist path (SplitPlaylistPath). False with `*error` saying why
    // when the disc, the playlist or one of its clips cannot be opened.
    bool Open(const std::filesystem::path& path, std::string* error);

    int64_t Size() const { return size_; }
    // Up to `count` bytes at `offset`, with the stamps moved; the number read (0 past the
    // end), -1 when a clip cannot be read.
    int64_t ReadAt(int64_t offset, uint8_t* buffer, int64_t count);

    const PlaylistTitle& title() const { return title_; }
    // The clip information file of the title's first clip, read from the disc; empty when
    // there is none.
    const std::vector<uint8_t>& first_clip_info() const { return first_clip_info_; }

private:
    struct Segment {
        std::unique_ptr<BlurayDisc::File> file;
        int64_t start = 0;  // in the joined stream
        int64_t size = 0;   // whole 192-byte packets
        int64_t shift_ticks = 0;
    };
    // Fills the cache with the packets around `offset` of segment `index`.
    bool Fill(size_t index, int64_t offset);

    BlurayDisc disc_;
    PlaylistTitle title_;
    std::vector<Segment> segments_;
    int64_t size_ = 0;
    std::vector<uint8_t> first_clip_info_;
    std::vector<uint8_t> cache_;
    int64_t cache_start_ = -1;  // in the joined stream; -1: empty
};

}  // namespace rizuvira::bluray
