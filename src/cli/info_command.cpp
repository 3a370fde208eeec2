// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/info_command.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "app/optical_drives.h"
#include "bluray/bluray_disc.h"
#include "cli/json_text.h"
#include "core/time_text.h"
#include "demux/mpeg_splitter.h"
#include "dvd/dvd_access.h"
#include "dvd/language_names.h"
#include "dvd/title_texts.h"
#include "engine/bdmv_folder.h"
#include "engine/conversion_graph.h"
#include "engine/mpeg_file_source.h"
#include "platform/async_reader.h"

namespace rizuvira::cli {
namespace {

std::string Hex(int32_t id) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04X", static_cast<unsigned>(id));
    return text;
}

// What the listing adds to the records for one title: picture, chapter times and the sound
// of each audio stream (in the record's order). Zero or empty where nothing says.
struct TitleFacts {
    int width = 0;
    int height = 0;
    double frames_per_second = 0;
    int aspect_x = 0;  // display aspect, reduced
    int aspect_y = 0;
    std::vector<double> chapter_ms;
    int sample_rate_hz[dvd::kDvdMaxStreams] = {};
    bool subtitle_not_drawn[dvd::kDvdMaxStreams] = {};  // a Blu-ray graphics stream: listed only
    std::string file;  // a Blu-ray folder's clip or a Blu-ray title's playlist: its file name
    int clips = 0;     // a Blu-ray title: the clips its playlist joins, and its angles
    int angles = 0;
    bool main_feature = false;
};

// What a Blu-ray listing leaves out, for the end of the text listing.
struct LeftOut {
    bool bluray = false;
    std::string disc_name;
    int short_playlists = 0;
    int duplicate_playlists = 0;
};

TitleFacts DiscTitleFacts(int32_t handle, int title, const dvd::DvdTitleInfo& record) {
    TitleFacts facts;
    dvd::DvdVideoInfo video{};
    if (dvd::MyDVDGetVideoInfo(handle, title, &video) && video.frame_rate_den > 0) {
        facts.width = video.width;
        facts.height = video.height;
        facts.frames_per_second = static_cast<double>(video.frame_rate_num) / video.frame_rate_den;
        facts.aspect_x = video.aspect_x;
        facts.aspect_y = video.aspect_y;
    }
    for (int c = 0; c < record.chapters; ++c)
        facts.chapter_ms.push_back(std::max(0.0, dvd::MyDvdGetChapterDuration(handle, title, c)));
    auto audio = std::make_unique<dvd::DvdAudioInfo>();
    if (dvd::MyDVDGetAudioInfo(handle, title, audio.get()))
        for (int a = 0; a < record.audio_count && a < audio->count; ++a)
            facts.sample_rate_hz[a] = audio->sample_rate_hz[a];
    return facts;
}

TitleFacts FileTitleFacts(const char* path, const dvd::DvdTitleInfo& record) {
    TitleFacts facts;
    facts.chapter_ms.push_back(record.duration_ms);
    ComPtr<IBaseFilter> splitter;
    if (FAILED(demux::CreateMpegSplitter(nullptr, splitter.ReleaseAndGetAddressOf()))) return facts;
    ComPtr<IFileSourceFilter> file = splitter.As<IFileSourceFilter>();
    engine::StreamTable streams;
    if (!file || FAILED(file->Load(path, nullptr)) ||
        !engine::ListSplitterStreams(splitter.Get(), &streams))
        return facts;
    if (!streams.video.empty()) {
        const engine::StreamTable::Video& video = streams.video[0];
        facts.width = video.width;
        facts.height = std::abs(video.height);
        if (video.frame_duration_100ns > 0)
            facts.frames_per_second = 1e7 / static_cast<double>(video.frame_duration_100ns);
        facts.aspect_x = video.aspect_x;
        facts.aspect_y = video.aspect_y;
    }
    for (int a = 0; a < record.audio_count; ++a)
        for (const engine::StreamTable::Audio& audio : streams.audio)
            if (audio.key == record.audio_id[a]) facts.sample_rate_hz[a] = audio.sample_rate;
    for (int s = 0; s < record.subtitle_count; ++s)
        for (const engine::StreamTable::Subtitle& subtitle : streams.subtitles)
            if (subtitle.key == record.subtitle_id[s])
                facts.subtitle_not_drawn[s] = !subtitle.drawn;
    return facts;
}

// "PAL" at 25 pictures a second, "NTSC" at 29.97, else the rate ("23.976 fps"); empty when
// unknown.
std::string SystemText(double frames_per_second) {
    if (frames_per_second <= 0) return {};
    if (std::abs(frames_per_second - 25.0) < 0.01) return "PAL";
    if (std::abs(frames_per_second - 30000.0 / 1001.0) < 0.01) return "NTSC";
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f fps", frames_per_second);
    return text;
}

std::string AspectText(const TitleFacts& facts) {
    if (facts.aspect_x <= 0 || facts.aspect_y <= 0) return {};
    const int divisor = std::gcd(facts.aspect_x, facts.aspect_y);
    return std::to_string(facts.aspect_x / divisor) + ":" +
           std::to_string(facts.aspect_y / divisor);
}

// `list_all`: a plain file, whose one title is listed however short.
void PrintText(const dvd::TitleTable& disc, const std::vector<TitleFacts>& facts, bool list_all,
               const LeftOut& left_out, std::FILE* out) {
    if (left_out.bluray) std::fprintf(out, "Blu-ray  %s\n", left_out.disc_name.c_str());
    for (int t = 0; t < disc.title_count; ++t) {
        const dvd::DvdTitleInfo& title = disc.titles[t];
        if (!list_all && (title.chapters <= 0 || title.duration_ms <= 0)) {
            std::fprintf(out, "%s  unreadable: its title set's information is damaged or missing\n",
                         dvd::TitleItemName(t).c_str());
            continue;
        }
        if (!dvd::IsListedTitle(title) && !list_all) continue;
        const TitleFacts& fact = facts[static_cast<std::size_t>(t)];
        std::fprintf(out, "%s  %s  %d chapter%s", dvd::TitleItemName(t).c_str(),
                     dvd::DurationText(title.duration_ms).c_str(), title.chapters,
                     title.chapters == 1 ? "" : "s");
        if (!fact.file.empty()) std::fprintf(out, "  %s", fact.file.c_str());
        if (fact.clips > 0)
            std::fprintf(out, "  %d clip%s", fact.clips, fact.clips == 1 ? "" : "s");
        if (fact.angles > 1) std::fprintf(out, "  %d angles", fact.angles);
        std::fprintf(out, fact.main_feature ? "  main feature\n" : "\n");
        if (fact.width > 0)
            std::fprintf(out, "  video     %dx%d  %s  %s\n", fact.width, fact.height,
                         SystemText(fact.frames_per_second).c_str(), AspectText(fact).c_str());
        double start_ms = 0;
        for (std::size_t c = 0; c < fact.chapter_ms.size(); ++c) {
            constexpr core::TimePrecision kMs = core::TimePrecision::kMilliseconds;
            std::fprintf(out, "  chapter   %zu  %s  %s\n", c + 1,
                         core::TimeText(std::llround(start_ms), kMs).c_str(),
                         core::TimeText(std::llround(fact.chapter_ms[c]), kMs).c_str());
            start_ms += fact.chapter_ms[c];
        }
        for (int a = 0; a < title.audio_count; ++a) {
            std::fprintf(out, "  audio     %s", dvd::AudioEntryText(title, a).c_str());
            if (fact.sample_rate_hz[a] > 0) std::fprintf(out, "  %d Hz", fact.sample_rate_hz[a]);
            const int channels = title.audio_channels[a] + 1;
            std::fprintf(out, "  %d channel%s\n", channels, channels == 1 ? "" : "s");
        }
        for (int s = 0; s < title.subtitle_count; ++s)
            std::fprintf(
                out, "  subtitle  %s%s\n", dvd::SubtitleEntryText(title, s).c_str(),
                fact.subtitle_not_drawn[s] ? "  (Blu-ray graphics: listed, not drawn)" : "");
    }
    if (left_out.short_playlists > 0 || left_out.duplicate_playlists > 0)
        std::fprintf(out, "Not listed: %d playlist%s shorter than %d s, %d repeating a title\n",
                     left_out.short_playlists, left_out.short_playlists == 1 ? "" : "s",
                     static_cast<int>(bluray::kMinTitleMs / 1000), left_out.duplicate_playlists);
}

void PrintJson(const dvd::TitleTable& disc, const std::vector<TitleFacts>& facts, std::FILE* out) {
    // Numbers a user types (titles, chapters, tracks) count from 1, as -t, --chapter(s),
    // --audio and --subtitle take them; "id" is the stream's id on the disc.
    std::fprintf(out, "{\"numbering\": \"from 1\", \"titles\": [");
    bool first_title = true;
    for (int t = 0; t < disc.title_count; ++t) {
        const dvd::DvdTitleInfo& title = disc.titles[t];
        const TitleFacts& fact = facts[static_cast<std::size_t>(t)];
        std::fprintf(out,
                     "%s\n  {\"title\": %d, \"name\": %s, \"listed\": %s, \"duration_ms\": %.3f, ",
                     first_title ? "" : ",", t + 1, JsonString(dvd::TitleItemName(t)).c_str(),
                     dvd::IsListedTitle(title) ? "true" : "false", title.duration_ms);
        first_title = false;
        if (!fact.file.empty()) std::fprintf(out, "\"file\": %s, ", JsonString(fact.file).c_str());
        if (fact.clips > 0)
            std::fprintf(out, "\"clips\": %d, \"angles\": %d, \"main_feature\": %s, ", fact.clips,
                         fact.angles, fact.main_feature ? "true" : "false");
        std::fprintf(out, "\"length\": %s, \"chapters\": %d, \"chapter_sectors\": [",
                     JsonString(dvd::DurationText(title.duration_ms)).c_str(), title.chapters);
        for (int k = 0; k < title.chapters; ++k)
            std::fprintf(out, "%s%u", k ? ", " : "", title.chapter_sectors[k]);
        std::fprintf(out, "],\n   \"chapter_times\": [");
        double start_ms = 0;
        for (std::size_t c = 0; c < fact.chapter_ms.size(); ++c) {
            std::fprintf(out, "%s{\"chapter\": %zu, \"start_ms\": %.3f, \"length_ms\": %.3f}",
                         c ? ", " : "", c + 1, start_ms, fact.chapter_ms[c]);
            start_ms += fact.chapter_ms[c];
        }
        std::fprintf(out,
                     "],\n   \"video\": {\"width\": %d, \"height\": %d, \"system\": %s, "
                     "\"frame_rate\": %.3f, \"display_aspect\": %s},",
                     fact.width, fact.height,
                     JsonString(SystemText(fact.frames_per_second)).c_str(), fact.frames_per_second,
                     JsonString(AspectText(fact)).c_str());
        std::fprintf(out, "\n   \"audio\": [");
        for (int a = 0; a < title.audio_count; ++a) {
            std::fprintf(out,
                         "%s{\"track\": %d, \"id\": \"%s\", \"language\": %s, \"coding\": %d, "
                         "\"channels\": %d, \"sample_rate\": %d, \"text\": %s}",
                         a ? ", " : "", a + 1, Hex(title.audio_id[a]).c_str(),
                         JsonString(dvd::LanguageCode2(title.audio_language[a])).c_str(),
                         title.audio_coding[a], title.audio_channels[a] + 1, fact.sample_rate_hz[a],
                         JsonString(dvd::AudioEntryText(title, a)).c_str());
        }
        std::fprintf(out, "],\n   \"subtitles\": [");
        for (int s = 0; s < title.subtitle_count; ++s) {
            std::fprintf(out,
                         "%s{\"track\": %d, \"id\": \"%s\", \"language\": %s, \"text\": %s, "
                         "\"drawn\": %s}",
                         s ? ", " : "", s + 1, Hex(title.subtitle_id[s]).c_str(),
                         JsonString(dvd::LanguageCode2(title.subtitle_language[s])).c_str(),
                         JsonString(dvd::SubtitleEntryText(title, s)).c_str(),
                         fact.subtitle_not_drawn[s] ? "false" : "true");
        }
        std::fprintf(out, "]}");
    }
    std::fprintf(out, "\n]}\n");
}

}  // namespace

int RunInfo(const char* disc_path, bool json, std::FILE* out, std::FILE* err) {
    auto disc = std::make_unique<dvd::TitleTable>();
    if (const std::string missing = engine::MissingSourceText(disc_path); !missing.empty()) {
        std::fprintf(err, "%s\n", missing.c_str());
        return kExitCannotOpen;
    }
    std::vector<TitleFacts> facts;
    LeftOut left_out;
    const bool file = engine::IsMpegFilePath(disc_path);
    const std::filesystem::path bluray_root =
        file ? std::filesystem::path() : bluray::BlurayRootOf(disc_path);
    if (file) {
        if (!engine::ProbeMpegFile(disc_path, disc.get())) {
            std::fprintf(err, "%s\n", engine::UnreadableFileText(disc_path).c_str());
            return kExitCannotOpen;
        }
        facts.push_back(FileTitleFacts(disc_path, disc->titles[0]));
    } else if (!bluray_root.empty()) {
        engine::BlurayTitles titles;
        std::string error;
        if (!engine::ProbeBlurayDisc(bluray_root, disc.get(), &titles, &error)) {
            std::fprintf(err, "%s\n", error.c_str());
            return kExitCannotOpen;
        }
        for (const std::string& line : titles.notes) std::fprintf(err, "%s\n", line.c_str());
        left_out = {true, titles.disc_name, titles.short_playlists, titles.duplicate_playlists};
        for (int t = 0; t < disc->title_count; ++t) {
            const auto i = static_cast<size_t>(t);
            TitleFacts& fact =
                facts.emplace_back(FileTitleFacts(titles.files[i].c_str(), disc->titles[t]));
            fact.chapter_ms = titles.chapter_ms[i];
            fact.file = std::filesystem::path(titles.files[i]).filename().string();
            fact.clips = titles.clips[i];
            fact.angles = titles.angles[i];
            fact.main_feature = t == titles.main_feature;
        }
    } else if (const std::filesystem::path bdmv = engine::BdmvFolderOf(disc_path); !bdmv.empty()) {
        engine::BdmvClips clips;
        std::string error;
        if (!engine::ProbeBdmvFolder(bdmv, disc.get(), &clips, &error)) {
            std::fprintf(err, "%s\n", error.c_str());
            return kExitCannotOpen;
        }
        for (const std::string& line : clips.left_out) std::fprintf(err, "%s\n", line.c_str());
        for (int t = 0; t < disc->title_count; ++t) {
            facts.push_back(
                FileTitleFacts(clips.files[static_cast<size_t>(t)].c_str(), disc->titles[t]));
            facts.back().file = clips.files[static_cast<size_t>(t)].filename().string();
        }
    } else {
        const int32_t handle = dvd::MyDVDOpen(disc_path);
        if (handle == 0) {
            std::fprintf(err, "Open DVD error: %s%s\n", disc_path,
                         dvd::DiscOpenProblem(disc_path).c_str());
            return kExitCannotOpen;
        }
        dvd::MyDVDGetInfo(handle, disc.get());
        for (int t = 0; t < disc->title_count; ++t)
            facts.push_back(DiscTitleFacts(handle, t, disc->titles[t]));
        dvd::MyDVDClose(handle);
    }
    facts.resize(static_cast<std::size_t>(std::max(disc->title_count, 0)));
    if (json)
        PrintJson(*disc, facts, out);
    else
        PrintText(*disc, facts, file, left_out, out);
    return kExitDone;
}

int RunDrives(bool json, std::FILE* out) {
    const std::vector<app::Drive> drives = app::ListDrives();
    if (json) {
        std::fprintf(out, "[");
        for (size_t i = 0; i < drives.size(); ++i)
            std::fprintf(out, "%s{\"path\": %s, \"volume\": %s}", i ? ", " : "",
                         JsonString(drives[i].path).c_str(), JsonString(drives[i].volume).c_str());
        std::fprintf(out, "]\n");
    } else {
        for (const app::Drive& drive : drives)
            std::fprintf(out, "%s\t%s\n", drive.path.c_str(), drive.volume.c_str());
        if (drives.empty()) std::fprintf(stderr, "No DVD drive was found.\n");
    }
    return kExitDone;
}

}  // namespace rizuvira::cli
