// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/clip_info.h"

#include "bluray/bluray_disc.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace rizuvira::demux {
namespace {

// Big-endian reads that fail, rather than run past the end.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Seek(size_t at) {
        if (at > bytes_.size()) return false;
        at_ = at;
        return true;
    }
    size_t at() const { return at_; }
    bool Skip(size_t count) { return Seek(at_ + count) && at_ <= bytes_.size(); }
    bool Read(uint32_t* value, int size) {
        if (bytes_.size() - at_ < static_cast<size_t>(size)) return false;
        uint32_t result = 0;
        for (int i = 0; i < size; ++i) result = result << 8 | bytes_[at_++];
        *value = result;
        return true;
    }
    bool ReadLanguage(char out[4]) {
        if (bytes_.size() - at_ < 3) return false;
        std::memcpy(out, bytes_.data() + at_, 3);
        out[3] = '\0';
        at_ += 3;
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

bool IsVideo(uint32_t type) {
    return type == 0x01 || type == 0x02 || type == 0x1B || type == 0xEA || type == 0x24;
}
bool IsAudio(uint32_t type) {
    return type == 0x03 || type == 0x04 || (type >= 0x80 && type <= 0x86) || type == 0xA1 ||
           type == 0xA2;
}
bool IsGraphics(uint32_t type) {
    return type == 0x90 || type == 0x91;
}

// One stream's coding information, from its length byte on; leaves the
// reader after it, by the length byte whatever was read.
bool ReadCoding(Reader& in, ClipStreamEntry* entry) {
    uint32_t length = 0, type = 0, byte = 0;
    if (!in.Read(&length, 1)) return false;
    const size_t end = in.at() + length;
    if (length == 0) return in.Seek(end);
    if (!in.Read(&type, 1)) return false;
    entry->coding_type = static_cast<int32_t>(type);
    // What a stream's information holds must fit inside its own length.
    Reader inside = in;
    if (IsVideo(type)) {
        if (length >= 3 && inside.Read(&byte, 1)) {
            entry->video_format = static_cast<int32_t>(byte >> 4);
            entry->frame_rate = static_cast<int32_t>(byte & 0x0F);
            if (inside.Read(&byte, 1)) entry->aspect_ratio = static_cast<int32_t>(byte >> 4);
        }
    } else if (IsAudio(type)) {
        if (length >= 2 && inside.Read(&byte, 1)) {
            entry->channel_layout = static_cast<int32_t>(byte >> 4);
            entry->sample_rate_code = static_cast<int32_t>(byte & 0x0F);
        }
        if (length >= 5) inside.ReadLanguage(entry->language);
    } else if (IsGraphics(type)) {
        if (length >= 4) inside.ReadLanguage(entry->language);
    } else if (type == 0x92) {
        if (length >= 5 && inside.Skip(1)) inside.ReadLanguage(entry->language);
    }
    return in.Seek(end);
}

}  // namespace

ClipInfoResult ParseClipInfo(std::span<const uint8_t> bytes, ClipInfoList* list) {
    list->streams.clear();
    list->loaded = false;
    if (bytes.size() < 16 || std::memcmp(bytes.data(), "HDMV", 4) != 0)
        return ClipInfoResult::kInvalidFormat;
    const std::string_view version(reinterpret_cast<const char*>(bytes.data()) + 4, 4);
    if (version != "0100" && version != "0200" && version != "0300")
        return ClipInfoResult::kInvalidFormat;

    Reader in(bytes);
    uint32_t program_start = 0, length = 0, value = 0, programs = 0;
    std::vector<ClipStreamEntry> streams;
    if (!in.Seek(12) || !in.Read(&program_start, 4) || !in.Seek(program_start) ||
        !in.Read(&length, 4))
        return ClipInfoResult::kInvalidFormat;
    if (length > bytes.size() - in.at()) return ClipInfoResult::kInvalidFormat;
    if (!in.Skip(1) || !in.Read(&programs, 1)) return ClipInfoResult::kInvalidFormat;
    for (uint32_t p = 0; p < programs; ++p) {
        uint32_t count = 0;
        if (!in.Skip(4) || !in.Read(&value, 2) || !in.Read(&count, 1) || !in.Skip(1))
            return ClipInfoResult::kInvalidFormat;
        for (uint32_t s = 0; s < count; ++s) {
            ClipStreamEntry entry;
            if (!in.Read(&value, 2)) return ClipInfoResult::kInvalidFormat;
            entry.pid = static_cast<uint16_t>(value);
            if (!ReadCoding(in, &entry)) return ClipInfoResult::kInvalidFormat;
            streams.push_back(entry);
        }
    }
    list->streams = std::move(streams);
    list->loaded = true;
    return ClipInfoResult::kOk;
}

ClipInfoResult LoadClipInfo(const std::filesystem::path& file, ClipInfoList* list) {
    std::error_code error;
    std::ifstream in;
    // Anything but a regular file (a named pipe would block) is not one.
    if (std::filesystem::is_regular_file(file, error)) in.open(file, std::ios::binary);
    if (!in.is_open() || !in) {
        list->loaded = false;
        return ClipInfoResult::kCannotOpen;
    }
    // Clip information files are a few kilobytes; anything past 16 MiB is
    // not one.
    std::vector<uint8_t> bytes;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
        if (bytes.size() > (16u << 20)) {
            list->streams.clear();
            list->loaded = false;
            return ClipInfoResult::kInvalidFormat;
        }
    }
    return ParseClipInfo(bytes, list);
}

const ClipStreamEntry* FindClipStream(const ClipInfoList& list, uint16_t pid) {
    for (const ClipStreamEntry& entry : list.streams)
        if (entry.pid == pid) return &entry;
    return nullptr;
}

std::string ClipLanguage(const ClipStreamEntry& entry) {
    const std::string_view code(entry.language, strnlen(entry.language, sizeof(entry.language)));
    const bool letters = code.size() == 3 && std::all_of(code.begin(), code.end(), [](char c) {
                             return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
                         });
    return letters ? std::string(code) : std::string();
}

std::filesystem::path ClipInfoFileFor(const std::filesystem::path& clip) {
    if (clip.parent_path().filename() != "STREAM" || clip.stem().empty()) return {};
    return clip.parent_path().parent_path() / "CLIPINF" / (clip.stem().string() + ".clpi");
}

void LoadSourceClipInfo(const std::filesystem::path& source, ClipInfoList* list) {
    *list = {};
    std::filesystem::path root;
    uint32_t playlist = 0;
    if (bluray::SplitPlaylistPath(source, &root, &playlist)) {
        bluray::BlurayDisc disc;
        bluray::PlaylistTitle title;
        std::string error;
        std::vector<uint8_t> bytes;
        if (disc.Open(root, &error) && disc.Title(playlist, &title) && !title.clips.empty() &&
            disc.ReadFile("BDMV/CLIPINF/" + title.clips.front().clip_id + ".clpi", &bytes))
            ParseClipInfo(bytes, list);
        return;
    }
    if (const std::filesystem::path info = ClipInfoFileFor(source); !info.empty())
        LoadClipInfo(info, list);
}

}  // namespace rizuvira::demux
