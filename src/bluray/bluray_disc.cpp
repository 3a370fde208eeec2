// SPDX-License-Identifier: GPL-2.0-or-later
#include "bluray/bluray_disc.h"

#include <libbluray/bluray.h>
#include <libbluray/filesystem.h>
#include <libbluray/log_control.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <tuple>

namespace rizuvira::bluray {
namespace {

namespace fs = std::filesystem;

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// libbluray writes its complaints to standard error; the program says what matters itself.
void Quiet() {
    static const bool quiet = [] {
        bd_set_debug_mask(0);
        return true;
    }();
    (void)quiet;
}

struct DiscCloser {
    void operator()(BLURAY* disc) const { bd_close(disc); }
};
using DiscPtr = std::unique_ptr<BLURAY, DiscCloser>;

struct TitleInfoFree {
    void operator()(BLURAY_TITLE_INFO* info) const { bd_free_title_info(info); }
};
using TitleInfoPtr = std::unique_ptr<BLURAY_TITLE_INFO, TitleInfoFree>;

// Whether an image's volume recognition sequence (2048-byte sectors from 16) names a UDF
// descriptor (NSR02, NSR03). libbluray reads images through UDF only, and complains on
// standard error about any other.
bool HasUdf(const fs::path& image) {
    std::ifstream in(image, std::ios::binary);
    char sector[2048];
    for (int s = 16; s < 32 && in.seekg(s * 2048) && in.read(sector, sizeof sector); ++s) {
        const std::string id(sector + 1, 5);
        if (id == "NSR02" || id == "NSR03") return true;
        if (id != "BEA01" && id != "CD001" && id != "CDW02" && id != "BOOT2" && id != "TEA01")
            return false;
    }
    return false;
}

bool HasPlaylistFolder(BLURAY* disc) {
    BD_DIR_H* folder = bd_open_dir(disc, "BDMV/PLAYLIST");
    if (folder == nullptr) return false;
    folder->close(folder);
    return true;
}

std::string Language(const uint8_t (&code)[4]) {
    std::string text;
    for (uint8_t c : code) {
        if (c == 0) break;
        text += static_cast<char>(c);
    }
    return text;
}

std::vector<TitleStream> Streams(const BLURAY_STREAM_INFO* streams, int count) {
    std::vector<TitleStream> list;
    for (int i = 0; i < count; ++i)
        list.push_back({streams[i].coding_type, streams[i].pid, Language(streams[i].lang)});
    return list;
}

PlaylistTitle TitleOf(const BLURAY_TITLE_INFO& info) {
    PlaylistTitle title;
    title.playlist = info.playlist;
    title.duration_ticks = static_cast<int64_t>(info.duration);
    title.angles = std::max<int>(1, info.angle_count);
    for (uint32_t c = 0; c < info.clip_count; ++c) {
        const BLURAY_CLIP_INFO& clip = info.clips[c];
        title.clips.push_back({std::string(clip.clip_id, strnlen(clip.clip_id, 5)),
                               static_cast<int64_t>(clip.in_time),
                               static_cast<int64_t>(clip.out_time),
                               static_cast<int64_t>(clip.start_time)});
    }
    for (uint32_t c = 0; c < info.chapter_count; ++c) {
        const auto start = static_cast<int64_t>(info.chapters[c].start);
        if (start < title.duration_ticks &&
            (title.chapter_start_ticks.empty() || start > title.chapter_start_ticks.back()))
            title.chapter_start_ticks.push_back(start);
    }
    // A title without marks, or whose first mark is late, starts a chapter at its start.
    if (title.chapter_start_ticks.empty() || title.chapter_start_ticks.front() > 0)
        title.chapter_start_ticks.insert(title.chapter_start_ticks.begin(), 0);
    if (info.clip_count > 0) {
        const BLURAY_CLIP_INFO& first = info.clips[0];
        title.video = Streams(first.video_streams, first.video_stream_count);
        title.audio = Streams(first.audio_streams, first.audio_stream_count);
        title.subtitles = Streams(first.pg_streams, first.pg_stream_count);
    }
    return title;
}

using ClipKey = std::vector<std::tuple<std::string, int64_t, int64_t>>;

ClipKey KeyOf(const PlaylistTitle& title) {
    ClipKey key;
    for (const ClipSpan& clip : title.clips)
        key.emplace_back(clip.clip_id, clip.in_ticks, clip.out_ticks);
    return key;
}

class DiscFile final : public BlurayDisc::File {
public:
    explicit DiscFile(BD_FILE_H* file) : file_(file) {}
    ~DiscFile() override { file_->close(file_); }
    DiscFile(const DiscFile&) = delete;
    DiscFile& operator=(const DiscFile&) = delete;

    int64_t Size() override {
        const int64_t at = file_->tell(file_);
        const int64_t size = file_->seek(file_, 0, SEEK_END);
        file_->seek(file_, at, SEEK_SET);
        return size;
    }
    int64_t ReadAt(int64_t offset, uint8_t* buffer, int64_t count) override {
        if (file_->seek(file_, offset, SEEK_SET) != offset) return offset >= Size() ? 0 : -1;
        int64_t done = 0;
        while (done < count) {
            const int64_t got = file_->read(file_, buffer + done, count - done);
            if (got < 0) return done > 0 ? done : -1;
            if (got == 0) break;
            done += got;
        }
        return done;
    }

private:
    BD_FILE_H* const file_;
};

}  // namespace

struct BlurayDisc::Handle {
    DiscPtr disc;
};

fs::path BlurayRootOf(const fs::path& path) {
    if (IsFile(path)) return IsBlurayImage(path) ? path : fs::path();
    if (!IsFolder(path)) return {};
    const fs::path folder = path.has_filename() ? path : path.parent_path();
    const fs::path bdmv = folder.filename() == "BDMV" ? folder : folder / "BDMV";
    if (bdmv == folder / "BDMV" && IsFolder(folder / "VIDEO_TS")) return {};
    std::error_code error;
    for (fs::directory_iterator it(bdmv / "PLAYLIST", error), end; !error && it != end;
         it.increment(error)) {
        std::string extension = it->path().extension().string();
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension == ".mpls") return bdmv.parent_path();
    }
    return {};
}

bool IsBlurayImage(const fs::path& image) {
    if (!HasUdf(image)) return false;
    Quiet();
    DiscPtr disc(bd_open(image.c_str(), nullptr));
    return disc && HasPlaylistFolder(disc.get());
}

fs::path PlaylistPath(const fs::path& root, uint32_t playlist) {
    char name[16];
    std::snprintf(name, sizeof(name), "%05u.mpls", playlist % 100000);
    return root / "BDMV" / "PLAYLIST" / name;
}

bool SplitPlaylistPath(const fs::path& path, fs::path* root, uint32_t* playlist) {
    const std::string name = path.filename().string();
    if (name.size() != 10 || name.substr(5) != ".mpls" ||
        path.parent_path().filename() != "PLAYLIST" ||
        path.parent_path().parent_path().filename() != "BDMV")
        return false;
    uint32_t number = 0;
    for (size_t i = 0; i < 5; ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        number = number * 10 + static_cast<uint32_t>(name[i] - '0');
    }
    *root = path.parent_path().parent_path().parent_path();
    *playlist = number;
    return true;
}

BlurayDisc::BlurayDisc() : handle_(std::make_unique<Handle>()) {}
BlurayDisc::~BlurayDisc() = default;

bool BlurayDisc::Open(const fs::path& root, std::string* error) {
    Quiet();
    handle_->disc.reset(bd_open(root.c_str(), nullptr));
    root_ = root;
    if (!handle_->disc) {
        *error = root.string() + " does not open as a Blu-ray disc";
        return false;
    }
    const BLURAY_DISC_INFO* info = bd_get_disc_info(handle_->disc.get());
    if (info != nullptr && ((info->aacs_detected && !info->aacs_handled) ||
                            (info->bdplus_detected && !info->bdplus_handled))) {
        *error = root.string() + " is an encrypted Blu-ray disc (" +
                 (info->aacs_detected ? "AACS" : "BD+") +
                 "); only unencrypted discs and copies can be read";
        handle_->disc.reset();
        return false;
    }
    if (info != nullptr && info->disc_name != nullptr && info->disc_name[0] != 0)
        name_ = info->disc_name;
    else if (info != nullptr && info->udf_volume_id != nullptr && info->udf_volume_id[0] != 0)
        name_ = info->udf_volume_id;
    else
        name_ = (root.has_filename() ? root : root.parent_path()).filename().string();
    return true;
}

DiscListing BlurayDisc::List(int64_t min_ms) {
    DiscListing listing;
    listing.root = root_;
    listing.name = name_;
    BLURAY* disc = handle_->disc.get();
    if (disc == nullptr) return listing;
    const uint32_t count = bd_get_titles(disc, TITLES_ALL, 0);
    const int main_index = bd_get_main_title(disc);
    std::vector<PlaylistTitle> all;
    uint32_t main_playlist = UINT32_MAX;
    for (uint32_t i = 0; i < count; ++i) {
        TitleInfoPtr info(bd_get_title_info(disc, i, 0));
        if (!info) continue;
        all.push_back(TitleOf(*info));
        if (static_cast<int>(i) == main_index) main_playlist = info->playlist;
    }
    std::sort(all.begin(), all.end(), [](const PlaylistTitle& a, const PlaylistTitle& b) {
        return a.playlist < b.playlist;
    });
    std::map<ClipKey, size_t> seen;
    for (PlaylistTitle& title : all) {
        if (title.duration_ms() < static_cast<double>(min_ms)) {
            ++listing.left_out_short;
            continue;
        }
        const auto [at, fresh] = seen.emplace(KeyOf(title), listing.titles.size());
        if (!fresh) {
            ++listing.left_out_duplicates;
            // The disc's own pick among copies stays the one listed.
            if (title.playlist == main_playlist)
                main_playlist = listing.titles[at->second].playlist;
            continue;
        }
        listing.titles.push_back(std::move(title));
    }
    auto main = std::find_if(listing.titles.begin(), listing.titles.end(),
                             [&](const PlaylistTitle& t) { return t.playlist == main_playlist; });
    if (main == listing.titles.end())
        main = std::max_element(listing.titles.begin(), listing.titles.end(),
                                [](const PlaylistTitle& a, const PlaylistTitle& b) {
                                    return a.duration_ticks < b.duration_ticks;
                                });
    if (main != listing.titles.end()) main->main_feature = true;
    return listing;
}

bool BlurayDisc::Title(uint32_t playlist, PlaylistTitle* title) {
    BLURAY* disc = handle_->disc.get();
    if (disc == nullptr) return false;
    const uint32_t count = bd_get_titles(disc, TITLES_ALL, 0);
    for (uint32_t i = 0; i < count; ++i) {
        TitleInfoPtr info(bd_get_title_info(disc, i, 0));
        if (info && info->playlist == playlist) {
            *title = TitleOf(*info);
            return true;
        }
    }
    return false;
}

bool BlurayDisc::ReadFile(const std::string& relative, std::vector<uint8_t>* bytes) {
    bytes->clear();
    BLURAY* disc = handle_->disc.get();
    void* data = nullptr;
    int64_t size = 0;
    if (disc == nullptr || !bd_read_file(disc, relative.c_str(), &data, &size) || size < 0)
        return false;
    const auto* begin = static_cast<const uint8_t*>(data);
    bytes->assign(begin, begin + size);
    std::free(data);
    return true;
}

std::unique_ptr<BlurayDisc::File> BlurayDisc::OpenFile(const std::string& relative) {
    BLURAY* disc = handle_->disc.get();
    BD_FILE_H* file = disc != nullptr ? bd_open_file_dec(disc, relative.c_str()) : nullptr;
    if (file == nullptr) return nullptr;
    return std::make_unique<DiscFile>(file);
}

}  // namespace rizuvira::bluray
