#include "cli/convert_command.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "cli/info_command.h"
#include "dvd/dvd_access.h"
#include "dvd/title_texts.h"
#include "engine/conversion_graph.h"
#include "engine/convert_item.h"
#include "engine/item_run.h"
#include "engine/media_file_writer.h"
#include "engine/messages.h"
#include "engine/profile_catalogue.h"

namespace rizuvira::cli {
namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

// The catalogue: the given file, else Format.xml in the working directory,
// else the one shipped with the program's sources.
bool LoadCatalogue(const std::string& path, engine::ProfileCatalogue* catalogue) {
    if (!path.empty()) return catalogue->LoadFile(path);
    if (std::filesystem::exists("Format.xml")) return catalogue->Load();
    return catalogue->LoadFile(std::filesystem::path(RIZUVIRA_DATA_DIR) / "Format.xml");
}

enum class ItemResult { kDone, kFailed, kInterrupted, kEncrypted };

ItemResult ConvertOne(int32_t handle, const DvdTitleInfo& title_info, int title, const ConvertOptions& options,
                      const engine::OutputProfile& profile) {
    engine::StderrMessages messages;
    engine::ConversionGraph graph(&messages);
    graph.SetThreadCount(engine::MediaFileWriter::ThreadsForCpuUsage(options.cpu_usage));

    engine::ConvertItem item = engine::MakeTitleItem(title, static_cast<int64_t>(title_info.duration_ms));
    item.chapter_index = options.chapter;
    item.trim_start_ms = std::clamp<int64_t>(options.start_ms, 0, item.length_ms);
    const int64_t rest = item.length_ms - item.trim_start_ms;
    item.trim_length_ms = options.length_ms < 0 ? rest : std::min(options.length_ms, rest);

    const std::string name =
        options.chapter < 0 ? TitleItemName(title) : ChapterItemName(title, options.chapter);
    const std::filesystem::path path = std::filesystem::path(options.output_folder) / (name + profile.FormatExt);
    if (!graph.OpenOutput(path, profile.Settings)) {
        std::fprintf(stderr, "Cannot create the output file %s: %s\n", path.c_str(),
                     graph.writer().last_error().c_str());
        return ItemResult::kFailed;
    }

    engine::ItemRunRequest request;
    request.dvd_handle = handle;
    request.title = title;
    request.chapter = options.chapter;
    request.item = item;
    request.audio_key = options.audio_id ? options.audio_id : (title_info.audio_count ? title_info.audio_id[0] : 0);
    request.subtitle_key = options.subtitle_id;
    request.cancel = &g_interrupted;
    request.messages = &messages;
    const auto started = std::chrono::steady_clock::now();
    if (!options.quiet) {
        request.progress = [&](double seconds) {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::fprintf(stderr, "\r%s  %6.1f / %.1f s  (%.1f s elapsed)", name.c_str(), seconds,
                         item.trim_length_ms / 1000.0, elapsed);
        };
    }
    const engine::ItemRunResult run = engine::RunItem(graph, request);
    if (!options.quiet) std::fputc('\n', stderr);
    ItemResult result = ItemResult::kFailed;
    switch (run) {
        case engine::ItemRunResult::kDone: result = ItemResult::kDone; break;
        case engine::ItemRunResult::kCancelled: result = ItemResult::kInterrupted; break;
        case engine::ItemRunResult::kEncrypted: result = ItemResult::kEncrypted; break;
        case engine::ItemRunResult::kFailed: break;
    }
    const bool wrote_something =
        graph.writer().video_frames_written() > 0 || graph.writer().audio_samples_written() > 0;
    if (!graph.CloseOutput()) {
        std::fprintf(stderr, "Writing %s failed: %s\n", path.c_str(), graph.writer().last_error().c_str());
        return ItemResult::kFailed;
    }
    if ((result == ItemResult::kFailed || result == ItemResult::kEncrypted) && !wrote_something)
        std::filesystem::remove(path);
    if (result == ItemResult::kDone || result == ItemResult::kInterrupted) std::printf("%s\n", path.c_str());
    return result;
}

bool ParseInt(const char* text, int64_t* value) {
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (!text[0] || *end) return false;
    *value = parsed;
    return true;
}

}  // namespace

bool ParseConvertOptions(int argc, char** argv, ConvertOptions* options, std::string* error) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](int64_t* out) {
            if (i + 1 >= argc || !ParseInt(argv[i + 1], out)) {
                *error = "a number must follow " + arg;
                return false;
            }
            ++i;
            return true;
        };
        int64_t number = 0;
        if (arg == "--title") {
            if (!value(&number) || number < 1 || number > kDvdMaxTitles) return *error = "titles count from 1", false;
            options->titles.push_back(static_cast<int>(number - 1));
        } else if (arg == "--chapter") {
            if (!value(&number) || number < 1) return *error = "chapters count from 1", false;
            options->chapter = static_cast<int>(number - 1);
        } else if (arg == "--profile") {
            if (!value(&number)) return false;
            options->profile_id = static_cast<int>(number);
        } else if (arg == "--start-ms") {
            if (!value(&options->start_ms)) return false;
        } else if (arg == "--length-ms") {
            if (!value(&options->length_ms)) return false;
        } else if (arg == "--cpu") {
            if (!value(&number)) return false;
            options->cpu_usage = static_cast<int>(std::clamp<int64_t>(number, 50, 100));
        } else if (arg == "--audio" || arg == "--subtitle") {
            if (i + 1 >= argc) return *error = "an id must follow " + arg, false;
            const std::string id = argv[++i];
            const int parsed = id == "none" ? -1 : static_cast<int>(std::strtol(id.c_str(), nullptr, 0));
            (arg == "--audio" ? options->audio_id : options->subtitle_id) = parsed;
        } else if (arg == "--formats" || arg == "--out") {
            if (i + 1 >= argc) return *error = "a path must follow " + arg, false;
            (arg == "--formats" ? options->formats : options->output_folder) = argv[++i];
        } else if (arg == "--quiet") {
            options->quiet = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return *error = "unknown option " + arg, false;
        } else if (options->disc.empty()) {
            options->disc = arg;
        } else {
            return *error = "one disc at a time", false;
        }
    }
    if (options->disc.empty()) return *error = "no disc given", false;
    if (options->chapter >= 0 && options->titles.size() != 1) return *error = "--chapter needs one --title", false;
    return true;
}

int RunConvert(const ConvertOptions& options) {
    engine::ProfileCatalogue catalogue;
    engine::OutputProfile profile{};
    if (!LoadCatalogue(options.formats, &catalogue) || !catalogue.Find(options.profile_id, profile)) {
        std::fprintf(stderr, "No output profile %d\n", options.profile_id);
        return kExitNoProfile;
    }
    const int32_t handle = MyDVDOpen(options.disc.c_str());
    if (handle == 0) {
        std::fprintf(stderr, "Open DVD error\n");
        return kExitCannotOpen;
    }
    auto disc = std::make_unique<DvdDiscInfo>();
    MyDVDGetInfo(handle, disc.get());
    std::vector<int> titles = options.titles;
    if (titles.empty())
        for (int t = 0; t < disc->title_count; ++t)
            if (IsListedTitle(disc->titles[t])) titles.push_back(t);

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    int exit_code = kExitDone;
    for (int title : titles) {
        if (title >= disc->title_count || (options.chapter >= 0 && options.chapter >= disc->titles[title].chapters)) {
            std::fprintf(stderr, "%s does not exist on this disc\n", TitleItemName(title).c_str());
            exit_code = kExitConvertFailed;
            continue;
        }
        const ItemResult result = ConvertOne(handle, disc->titles[title], title, options, profile);
        if (result == ItemResult::kInterrupted) {
            exit_code = kExitInterrupted;
            break;
        }
        if (result == ItemResult::kEncrypted) {
            exit_code = kExitEncrypted;
            break;  // the other titles of the disc are scrambled too
        }
        if (result == ItemResult::kFailed) exit_code = kExitConvertFailed;
    }
    MyDVDClose(handle);
    return exit_code;
}

}  // namespace rizuvira::cli
