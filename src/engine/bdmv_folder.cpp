// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/bdmv_folder.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <system_error>

#include "bluray/bluray_disc.h"
#include "engine/mpeg_file_source.h"

namespace rizuvira::engine {
namespace {

namespace fs = std::filesystem;

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool IsClipName(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".m2ts";
}

}  // namespace

fs::path BdmvFolderOf(const fs::path& path) {
    if (!IsFolder(path)) return {};
    // "/media/disc/BDMV/" names the folder as well as "/media/disc/BDMV".
    const fs::path folder = path.has_filename() ? path : path.parent_path();
    if (folder.filename() == "BDMV") return folder;
    if (IsFolder(folder / "VIDEO_TS") || !IsFolder(folder / "BDMV")) return {};
    return folder / "BDMV";
}

bool ProbeBdmvFolder(const fs::path& bdmv, dvd::TitleTable* disc, BdmvClips* clips,
                     std::string* error) {
    *disc = {};
    *clips = {};
    const fs::path stream = bdmv / "STREAM";
    std::error_code failure;
    fs::directory_iterator list(stream, failure);
    if (failure) {
        *error = bdmv.string() + (IsFolder(stream)
                                      ? ": its STREAM folder cannot be read: " + failure.message()
                                      : " holds no STREAM folder with the disc's clips");
        return false;
    }
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : list) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && IsClipName(entry.path()))
            files.push_back(entry.path());
    }
    if (files.empty()) {
        *error = stream.string() + " holds no clip (.m2ts)";
        return false;
    }
    std::sort(files.begin(), files.end());

    struct Clip {
        fs::path file;
        dvd::DvdTitleInfo title;
    };
    std::vector<Clip> read;
    auto probe = std::make_unique<dvd::TitleTable>();
    for (const fs::path& file : files) {
        if (ProbeMpegFile(file, probe.get()))
            read.push_back({file, probe->titles[0]});
        else
            clips->left_out.push_back(UnreadableFileText(file) + "; it is left out");
    }
    if (read.empty()) {
        *error = files.size() == 1 ? files[0].string() + ", the only clip in " + stream.string() +
                                         ", is not an MPEG transport stream"
                                   : "None of the " + std::to_string(files.size()) + " clips in " +
                                         stream.string() + " is an MPEG transport stream";
        return false;
    }
    std::stable_sort(read.begin(), read.end(), [](const Clip& a, const Clip& b) {
        return a.title.duration_ms > b.title.duration_ms;
    });
    if (read.size() > dvd::kDvdMaxTitles) {
        clips->left_out.push_back(std::to_string(read.size() - dvd::kDvdMaxTitles) +
                                  " of the shortest clips in " + stream.string() +
                                  " are left out: a disc lists at most " +
                                  std::to_string(dvd::kDvdMaxTitles) + " titles");
        read.resize(dvd::kDvdMaxTitles);
    }
    for (const Clip& clip : read) {
        disc->titles[disc->title_count++] = clip.title;
        clips->files.push_back(clip.file);
    }
    return true;
}

bool ProbeBlurayDisc(const fs::path& root, dvd::TitleTable* disc, BlurayTitles* titles,
                     std::string* error) {
    *disc = {};
    *titles = {};
    bluray::BlurayDisc bluray;
    if (!bluray.Open(root, error)) return false;
    const bluray::DiscListing listing = bluray.List();
    titles->disc_name = listing.name;
    auto probe = std::make_unique<dvd::TitleTable>();
    for (const bluray::PlaylistTitle& title : listing.titles) {
        const fs::path path = bluray::PlaylistPath(root, title.playlist);
        if (disc->title_count >= dvd::kDvdMaxTitles) {
            titles->notes.push_back(path.filename().string() +
                                    " and the playlists after it are left out: a disc lists at "
                                    "most " +
                                    std::to_string(dvd::kDvdMaxTitles) + " titles");
            break;
        }
        if (!ProbeMpegFile(path, probe.get())) {
            titles->notes.push_back(root.string() + ": the clips of playlist " +
                                    path.filename().string() + " do not read; it is left out");
            continue;
        }
        dvd::DvdTitleInfo info = probe->titles[0];
        info.duration_ms = title.duration_ms();
        std::vector<double> lengths;
        const std::vector<int64_t>& starts = title.chapter_start_ticks;
        for (size_t c = 0; c < starts.size() && c < dvd::kDvdMaxChapters; ++c) {
            const int64_t end = c + 1 < starts.size() ? starts[c + 1] : title.duration_ticks;
            lengths.push_back(static_cast<double>(end - starts[c]) / 90.0);
        }
        info.chapters = static_cast<int32_t>(lengths.size());
        std::fill(std::begin(info.chapter_sectors), std::end(info.chapter_sectors), 0u);
        if (title.main_feature) titles->main_feature = disc->title_count;
        disc->titles[disc->title_count++] = info;
        titles->files.push_back(path.string());
        titles->chapter_ms.push_back(std::move(lengths));
        titles->clips.push_back(static_cast<int>(title.clips.size()));
        titles->angles.push_back(title.angles);
    }
    titles->short_playlists = listing.left_out_short;
    titles->duplicate_playlists = listing.left_out_duplicates;
    if (disc->title_count == 0) {
        *error = root.string() + " holds no playlist of at least " +
                 std::to_string(bluray::kMinTitleMs / 1000) + " s that reads";
        return false;
    }
    return true;
}

}  // namespace rizuvira::engine
