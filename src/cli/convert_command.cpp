#include "cli/convert_command.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "cli/info_command.h"
#include "cli/json_text.h"
#include "cli/progress_view.h"
#include "dvd/language_names.h"
#include "dvd/title_catalogue.h"
#include "dvd/title_texts.h"
#include "engine/batch_loop.h"
#include "engine/dvd_item_graph.h"
#include "engine/mpeg_file_source.h"
#include "engine/profile_catalogue.h"
#include "engine/run_controller.h"
#include "engine/settings_store.h"
#include "engine/system_actions.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;

inline constexpr const char* kApplicationTitle = "Rizuvira DVD Converter";

// The given catalogue, else Format.xml in the working directory, else the
// one shipped with the program.
bool LoadCatalogue(const std::string& path, engine::ProfileCatalogue* catalogue) {
    if (!path.empty()) return catalogue->LoadFile(path);
    if (fs::exists("Format.xml")) return catalogue->Load();
    return catalogue->LoadFile(fs::path(RIZUVIRA_DATA_DIR) / "Format.xml");
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// By id when the text is a number, else by name (ignoring case).
bool FindProfile(const engine::ProfileCatalogue& catalogue, const std::string& wanted, engine::OutputProfile* out) {
    if (wanted.empty()) return catalogue.Find(1, *out);
    if (std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); }) &&
        wanted.size() < 9)
        return catalogue.Find(std::stoi(wanted), *out);
    for (const engine::OutputProfile& profile : catalogue.Iterate()) {
        if (Lower(profile.ProfileName) == Lower(wanted)) {
            *out = profile;
            return true;
        }
    }
    return false;
}

void ApplyCustom(const CustomOutput& custom, engine::OutputSettings* settings) {
    if (custom.width) settings->Width = custom.width;
    if (custom.height) settings->Height = custom.height;
    if (custom.frame_rate_x1000) settings->FrameRate = custom.frame_rate_x1000;
    if (!custom.video_codec.empty())
        std::snprintf(settings->VideoCodecName, sizeof(settings->VideoCodecName), "%s", custom.video_codec.c_str());
    if (custom.video_bit_rate) settings->VideoBitRate = custom.video_bit_rate;
    if (!custom.audio_codec.empty())
        std::snprintf(settings->AudioCodecName, sizeof(settings->AudioCodecName), "%s", custom.audio_codec.c_str());
    if (custom.audio_bit_rate) settings->AudioBitRate = custom.audio_bit_rate;
    if (custom.sample_rate) settings->SampleRate = custom.sample_rate;
    if (custom.channels) settings->Channel = custom.channels;
}

bool LanguageMatches(int32_t track_language, const std::string& code) {
    if (code.size() == 2) return LanguageCode2(track_language) == code;
    const std::string name = LanguageName3(code);
    return !name.empty() && LanguageName(track_language) == name;
}

// The id of the chosen track of `title`, or `fallback` (with a note) when
// the title has no such track.
int32_t ChooseTrack(const TrackChoice& choice, int count, const int32_t* ids, const int32_t* languages,
                    int32_t fallback, const std::string& item, const char* kind, engine::MessageSink& messages) {
    count = std::clamp(count, 0, kDvdMaxStreams);
    if (choice.position > 0 && choice.position <= count) return ids[choice.position - 1];
    if (!choice.language.empty()) {
        for (int i = 0; i < count; ++i)
            if (LanguageMatches(languages[i], choice.language)) return ids[i];
    }
    messages.ShowMessage(item + " has no " + kind + " track " +
                         (choice.position > 0 ? std::to_string(choice.position) : choice.language) +
                         "; it keeps its first one");
    return fallback;
}

// The messages of the engine, on their own line below the progress bar.
class CliMessages final : public engine::MessageSink {
public:
    explicit CliMessages(ProgressView* view) : view_(view) {}
    void ShowMessage(const std::string& text) override {
        view_->Interrupt();
        std::fprintf(stderr, "%s\n", text.c_str());
    }

private:
    ProgressView* view_;
};

// Waits for Ctrl-C (or SIGTERM) on a thread of its own and cancels the
// batch. The signals are blocked in every other thread, so they land here.
class InterruptWatch {
public:
    explicit InterruptWatch(engine::BatchLoop* loop) : thread_([this, loop] { Watch(loop); }) {}
    ~InterruptWatch() {
        done_ = true;
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
    }
    bool interrupted() const { return interrupted_; }

    // Blocks the signals in the calling thread (and every thread it starts
    // afterwards); call before any other thread exists.
    static void BlockSignals() {
        sigset_t set = Signals();
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }

private:
    static sigset_t Signals() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGUSR1);
        return set;
    }
    void Watch(engine::BatchLoop* loop) {
        const sigset_t set = Signals();
        while (!done_) {
            int signal_number = 0;
            if (sigwait(&set, &signal_number) != 0) break;
            if (signal_number == SIGINT || signal_number == SIGTERM) {
                interrupted_ = true;
                loop->RequestCancel();
            }
        }
    }
    std::atomic<bool> done_{false};
    std::atomic<bool> interrupted_{false};
    std::thread thread_;
};

// The rows of the batch in the order asked for. False (with a message) when
// a title or chapter asked for does not exist; `skipped` counts titles that
// the trim range misses.
bool MakeRows(const ConvertOptions& options, const TitleCatalogue& catalogue, const std::string& format_ext,
              engine::MessageSink& messages, std::vector<engine::BatchRow>* rows, int* skipped) {
    const DvdDiscInfo& disc = catalogue.disc();
    std::vector<std::pair<int, int>> wanted;  // title, chapter
    if (options.chapter >= 0) {
        wanted.emplace_back(options.chapter_title, options.chapter);
    } else if (!options.titles.empty()) {
        for (int t : options.titles) wanted.emplace_back(t, -1);
    } else {
        for (const CatalogueRow& row : catalogue.rows()) wanted.emplace_back(row.item.title_index, -1);
    }
    for (auto [t, chapter] : wanted) {
        if (t >= disc.title_count) {
            messages.ShowMessage(TitleItemName(t) + " does not exist on this disc");
            return false;
        }
        const DvdTitleInfo& title = disc.titles[t];
        if (chapter >= title.chapters) {
            messages.ShowMessage(ChapterItemName(t, chapter) + " does not exist on this disc");
            return false;
        }
        const std::string name = chapter < 0 ? TitleItemName(t) : ChapterItemName(t, chapter);
        engine::ConvertItem item = engine::MakeTitleItem(t, static_cast<int64_t>(std::floor(title.duration_ms)));
        item.chapter_index = chapter;
        if (chapter >= 0) {
            item.length_ms = catalogue.ChapterLengthMs(t, chapter);
            item.trim_length_ms = item.length_ms;
        }
        if (title.chapters <= 0 || item.length_ms <= 0) {
            // The title set's information could not be read (a damaged disc
            // or a cut-off image): there is nothing to find the title by.
            messages.ShowMessage(name + " cannot be read on this disc; it is skipped");
            ++*skipped;
            continue;
        }
        if (options.trim_end_ms >= 0) {
            if (options.trim_start_ms >= item.length_ms) {
                messages.ShowMessage(name + " ends before the trim start; it is skipped");
                ++*skipped;
                continue;
            }
            item.trim_start_ms = options.trim_start_ms;
            item.trim_length_ms = std::min(options.trim_end_ms, item.length_ms) - item.trim_start_ms;
        }
        engine::StreamChoice streams;
        const int32_t first_audio = title.audio_count > 0 ? title.audio_id[0] : 0;
        const int32_t first_subtitle = title.subtitle_count > 0 ? title.subtitle_id[0] : kNoSubtitleId;
        streams.audio_id = options.audio ? ChooseTrack(*options.audio, title.audio_count, title.audio_id,
                                                       title.audio_language, first_audio, name, "audio", messages)
                                         : first_audio;
        if (options.subtitle && options.subtitle->none) {
            streams.subtitle_id = kNoSubtitleId;
        } else if (options.subtitle) {
            streams.subtitle_id = ChooseTrack(*options.subtitle, title.subtitle_count, title.subtitle_id,
                                              title.subtitle_language, first_subtitle, name, "subtitle", messages);
        } else {
            streams.subtitle_id = first_subtitle;
        }
        rows->push_back({name + format_ext, item, streams});
    }
    return true;
}

}  // namespace

int RunProfiles(const std::string& catalogue_path, bool json, std::FILE* out) {
    engine::ProfileCatalogue catalogue;
    if (!LoadCatalogue(catalogue_path, &catalogue)) {
        std::fprintf(stderr, "Cannot read the profile catalogue %s\n", catalogue_path.c_str());
        return kExitUsage;
    }
    if (json) std::fprintf(out, "{\"profiles\": [");
    bool first = true;
    for (const engine::OutputProfile& profile : catalogue.Iterate()) {
        const engine::OutputSettings& s = profile.Settings;
        if (json) {
            std::fprintf(out,
                         "%s\n  {\"id\": %d, \"name\": %s, \"extension\": %s, \"video\": %s, \"width\": %d, "
                         "\"height\": %d, \"frame_rate_x1000\": %d, \"video_bit_rate\": %d, \"audio\": %s, "
                         "\"sample_rate\": %d, \"channels\": %d, \"audio_bit_rate\": %d}",
                         first ? "" : ",", profile.Id, JsonString(profile.ProfileName).c_str(),
                         JsonString(profile.FormatExt).c_str(),
                         JsonString(s.HasVideo ? s.VideoCodecName : "").c_str(), s.Width, s.Height, s.FrameRate,
                         s.VideoBitRate, JsonString(s.HasAudio ? s.AudioCodecName : "").c_str(), s.SampleRate,
                         s.Channel, s.AudioBitRate);
        } else {
            std::fprintf(out, "%3d  %-6s %s\n", profile.Id, profile.FormatExt, profile.ProfileName);
        }
        first = false;
    }
    if (json) std::fprintf(out, "\n]}\n");
    return kExitDone;
}

int RunConvert(const ConvertOptions& options, std::FILE* out) {
    ProgressView::Mode mode = ProgressView::Mode::kPlain;
    if (options.json) mode = ProgressView::Mode::kJson;
    else if (options.quiet) mode = ProgressView::Mode::kQuiet;
    else if (isatty(STDERR_FILENO)) mode = ProgressView::Mode::kTerminal;
    ProgressView view(mode, out, stderr);
    CliMessages messages(&view);

    engine::SettingsStore store(engine::DefaultSettingsFile(kApplicationTitle));
    store.Load();

    engine::ProfileCatalogue profiles;
    engine::OutputProfile profile{};
    if (!LoadCatalogue(options.catalogue, &profiles)) {
        messages.ShowMessage("Cannot read the profile catalogue " + options.catalogue);
        return kExitUsage;
    }
    if (!FindProfile(profiles, options.profile, &profile)) {
        messages.ShowMessage("No output profile " + (options.profile.empty() ? "1" : options.profile));
        return kExitUsage;
    }
    engine::BatchOptions batch;
    batch.settings = profile.Settings;
    ApplyCustom(options.custom, &batch.settings);
    batch.output_folder = options.output_folder.empty() ? store.values().out_folder : options.output_folder;
    std::error_code error;
    if (!fs::is_directory(batch.output_folder, error)) {
        messages.ShowMessage("Invalid output directory");
        return kExitUsage;
    }
    batch.merge = options.merge;
    switch (options.after) {
        case AfterOption::kStored: batch.action_setting = store.values().action; break;
        case AfterOption::kNone: break;
        case AfterOption::kShutDown: batch.shut_down = true; break;
        case AfterOption::kOpenFolder: batch.open_folder = true; break;
    }
    engine::Settings run_settings = store.values();
    if (options.cpu_usage) run_settings.cpu_usage = options.cpu_usage;

    engine::CurrentEditSettings current_edit;
    TitleCatalogue catalogue(&messages, &current_edit);
    catalogue.SetFormatExt(profile.FormatExt);
    if (engine::IsMpegFilePath(options.disc)) {
        auto record = std::make_unique<DvdDiscInfo>();
        if (!engine::ProbeMpegFile(options.disc, record.get())) {
            messages.ShowMessage(kOpenDvdError);
            return kExitCannotOpen;
        }
        catalogue.LoadFileRecord(options.disc, *record);
    } else if (!catalogue.LoadDisc(options.disc)) {
        return kExitCannotOpen;
    }

    std::vector<engine::BatchRow> rows;
    int skipped = 0;
    if (!MakeRows(options, catalogue, profile.FormatExt, messages, &rows, &skipped)) return kExitUsage;

    // Before the first pipeline thread starts, so Ctrl-C reaches only the watch.
    InterruptWatch::BlockSignals();
    engine::DvdItemGraph graph(&messages, catalogue.handle(), run_settings.ThreadCount());
    if (!catalogue.source_file().empty()) graph.SetSourceFile(catalogue.source_file());
    engine::BatchLoop loop;
    engine::DesktopActions actions;
    engine::RunController controller(&graph, &loop, &messages, &actions);
    controller.SetFileFinishedCallback([&](const engine::FinishedFile& file) { view.FileFinished(file); });
    InterruptWatch interrupt(&loop);

    controller.Begin(std::move(rows), options.edit, std::move(batch));
    loop.Run(controller, [&](const engine::RunProgress& progress) {
        const int index = controller.current_index();
        if (index < 0) return;
        const std::string& name = controller.rows()[index].output_name;
        view.Update(fs::path(name).stem().string(), index + 1, static_cast<int>(controller.rows().size()), progress);
    });
    int files_ok = 0;
    for (const engine::FinishedFile& file : controller.finished_files()) files_ok += file.ok ? 1 : 0;
    view.Done(files_ok, controller.failed_items() + skipped, controller.cancelled());
    if (controller.cancelled()) messages.ShowMessage("Cancelled; the file being written was finished as it stood");
    return controller.failed_items() + skipped > 0 || controller.cancelled() ? kExitItemFailed : kExitDone;
}

}  // namespace rizuvira::cli
