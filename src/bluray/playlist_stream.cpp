// SPDX-License-Identifier: GPL-2.0-or-later
#include "bluray/playlist_stream.h"

#include <algorithm>
#include <cstring>

#include "bluray/stamp_shift.h"

namespace rizuvira::bluray {
namespace {

// 32 aligned units of a disc (6144 bytes, 32 packets each).
constexpr int64_t kCacheBytes = 32 * 6144;

}  // namespace

PlaylistStream::PlaylistStream() = default;
PlaylistStream::~PlaylistStream() = default;

bool PlaylistStream::Open(const std::filesystem::path& path, std::string* error) {
    std::filesystem::path root;
    uint32_t playlist = 0;
    if (!SplitPlaylistPath(path, &root, &playlist)) {
        *error = path.string() + " names no Blu-ray playlist";
        return false;
    }
    if (!disc_.Open(root, error)) return false;
    if (!disc_.Title(playlist, &title_) || title_.clips.empty()) {
        *error = path.string() + " is not a playlist of the disc";
        return false;
    }
    const int64_t base = title_.clips.front().in_ticks;
    for (const ClipSpan& clip : title_.clips) {
        Segment segment;
        const std::string name = "BDMV/STREAM/" + clip.clip_id + ".m2ts";
        segment.file = disc_.OpenFile(name);
        const int64_t bytes = segment.file ? segment.file->Size() : -1;
        if (bytes < 0) {
            *error = root.string() + ": " + name + " of playlist " + path.filename().string() +
                     " cannot be read";
            return false;
        }
        segment.start = size_;
        segment.size = bytes - bytes % static_cast<int64_t>(kClipPacketBytes);
        segment.shift_ticks = base + clip.playlist_ticks - clip.in_ticks;
        size_ += segment.size;
        segments_.push_back(std::move(segment));
    }
    disc_.ReadFile("BDMV/CLIPINF/" + title_.clips.front().clip_id + ".clpi", &first_clip_info_);
    return true;
}

bool PlaylistStream::Fill(size_t index, int64_t offset) {
    Segment& segment = segments_[index];
    const int64_t inside = offset - segment.start;
    const int64_t from = inside - inside % kCacheBytes;
    const int64_t count = std::min(kCacheBytes, segment.size - from);
    cache_.resize(static_cast<size_t>(count));
    cache_start_ = -1;
    if (segment.file->ReadAt(from, cache_.data(), count) != count) return false;
    ShiftClipStamps(cache_.data(), cache_.size(), segment.shift_ticks);
    cache_start_ = segment.start + from;
    return true;
}

int64_t PlaylistStream::ReadAt(int64_t offset, uint8_t* buffer, int64_t count) {
    int64_t done = 0;
    size_t index = 0;
    while (done < count && offset + done < size_) {
        const int64_t at = offset + done;
        while (index + 1 < segments_.size() && segments_[index + 1].start <= at) ++index;
        while (index > 0 && segments_[index].start > at) --index;
        const bool cached = cache_start_ >= 0 && at >= cache_start_ &&
                            at < cache_start_ + static_cast<int64_t>(cache_.size());
        if (!cached && !Fill(index, at)) return done > 0 ? done : -1;
        const int64_t within = at - cache_start_;
        const int64_t take = std::min(count - done, static_cast<int64_t>(cache_.size()) - within);
        std::memcpy(buffer + done, cache_.data() + within, static_cast<size_t>(take));
        done += take;
    }
    return done;
}

}  // namespace rizuvira::bluray
