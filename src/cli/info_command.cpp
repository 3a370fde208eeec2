#include "cli/info_command.h"

#include <memory>
#include <string>

#include "dvd/dvd_access.h"
#include "dvd/language_names.h"
#include "cli/json_text.h"
#include "dvd/title_texts.h"
#include "engine/mpeg_file_source.h"

namespace rizuvira::cli {
namespace {

std::string Hex(int32_t id) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04X", static_cast<unsigned>(id));
    return text;
}

// `list_all`: a plain file, whose one title is listed however short.
void PrintText(const DvdDiscInfo& disc, bool list_all, std::FILE* out) {
    for (int t = 0; t < disc.title_count; ++t) {
        const DvdTitleInfo& title = disc.titles[t];
        if (!IsListedTitle(title) && !list_all) continue;
        std::fprintf(out, "%s  %s  %d chapter%s\n", TitleItemName(t).c_str(),
                     DurationText(title.duration_ms).c_str(), title.chapters,
                     title.chapters == 1 ? "" : "s");
        for (int a = 0; a < title.audio_count; ++a)
            std::fprintf(out, "  audio     %s\n", AudioEntryText(title, a).c_str());
        for (int s = 0; s < title.subtitle_count; ++s)
            std::fprintf(out, "  subtitle  %s\n", SubtitleEntryText(title, s).c_str());
    }
}

void PrintJson(const DvdDiscInfo& disc, std::FILE* out) {
    std::fprintf(out, "{\"titles\": [");
    bool first_title = true;
    for (int t = 0; t < disc.title_count; ++t) {
        const DvdTitleInfo& title = disc.titles[t];
        std::fprintf(out, "%s\n  {\"index\": %d, \"name\": %s, \"listed\": %s, \"duration_ms\": %.3f, ",
                     first_title ? "" : ",", t, JsonString(TitleItemName(t)).c_str(),
                     IsListedTitle(title) ? "true" : "false", title.duration_ms);
        first_title = false;
        std::fprintf(out, "\"length\": %s, \"chapters\": %d, \"chapter_sectors\": [",
                     JsonString(DurationText(title.duration_ms)).c_str(), title.chapters);
        for (int k = 0; k < title.chapters; ++k)
            std::fprintf(out, "%s%u", k ? ", " : "", title.chapter_sectors[k]);
        std::fprintf(out, "],\n   \"audio\": [");
        for (int a = 0; a < title.audio_count; ++a) {
            std::fprintf(out,
                         "%s{\"id\": \"%s\", \"language\": %s, \"coding\": %d, \"channels\": %d, "
                         "\"text\": %s}",
                         a ? ", " : "", Hex(title.audio_id[a]).c_str(),
                         JsonString(LanguageCode2(title.audio_language[a])).c_str(),
                         title.audio_coding[a], title.audio_channels[a] + 1,
                         JsonString(AudioEntryText(title, a)).c_str());
        }
        std::fprintf(out, "],\n   \"subtitles\": [");
        for (int s = 0; s < title.subtitle_count; ++s) {
            std::fprintf(out, "%s{\"id\": \"%s\", \"language\": %s, \"text\": %s}", s ? ", " : "",
                         Hex(title.subtitle_id[s]).c_str(),
                         JsonString(LanguageCode2(title.subtitle_language[s])).c_str(),
                         JsonString(SubtitleEntryText(title, s)).c_str());
        }
        std::fprintf(out, "]}");
    }
    std::fprintf(out, "\n]}\n");
}

}  // namespace

int RunInfo(const char* disc_path, bool json, std::FILE* out, std::FILE* err) {
    auto disc = std::make_unique<DvdDiscInfo>();
    if (const std::string missing = engine::MissingSourceText(disc_path); !missing.empty()) {
        std::fprintf(err, "%s\n", missing.c_str());
        return kExitCannotOpen;
    }
    if (engine::IsMpegFilePath(disc_path)) {
        if (!engine::ProbeMpegFile(disc_path, disc.get())) {
            std::fprintf(err, "%s\n", engine::UnreadableFileText(disc_path).c_str());
            return kExitCannotOpen;
        }
    } else {
        const int32_t handle = MyDVDOpen(disc_path);
        if (handle == 0) {
            std::fprintf(err, "Open DVD error\n");
            return kExitCannotOpen;
        }
        MyDVDGetInfo(handle, disc.get());
        MyDVDClose(handle);
    }
    if (json)
        PrintJson(*disc, out);
    else
        PrintText(*disc, engine::IsMpegFilePath(disc_path), out);
    return kExitDone;
}

}  // namespace rizuvira::cli
