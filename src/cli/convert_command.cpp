// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/convert_command.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "app/conversion_request.h"
#include "app/conversion_run.h"
#include "app/data_files.h"
#include "app/disc_session.h"
#include "cli/info_command.h"
#include "cli/json_text.h"
#include "cli/progress_view.h"
#include "core/profile_catalogue.h"
#include "core/settings_store.h"
#include "dvd/language_names.h"
#include "dvd/title_texts.h"
#include "engine/batch_loop.h"
#include "engine/mpeg_file_source.h"
#include "engine/part_file.h"
#include "engine/run_controller.h"
#include "engine/system_actions.h"

extern "C" {
#include <libavutil/log.h>
}

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;

// The messages of the engine, on their own line below the progress bar,
// and with --json also as "message" and "warning" events about the item
// being converted (`current` says which; null before the run and between
// items).
class CliMessages final : public core::MessageSink {
public:
    explicit CliMessages(ProgressView* view) : view_(view) {}
    void ShowMessage(const std::string& text) override { Show("message", text); }
    void ShowWarning(const std::string& text) override { Show("warning", text); }
    void SetCurrentItem(std::function<const ItemRef*()> current) { current_ = std::move(current); }

private:
    void Show(const char* kind, const std::string& text) {
        view_->Message(kind, text, current_ ? current_() : nullptr);
    }

    ProgressView* view_;
    std::function<const ItemRef*()> current_;
};

// What the events say of each item of the job, in the job's order.
std::vector<ItemRef> ItemRefs(const app::ConversionJob& job, const ConvertOptions& options) {
    std::vector<ItemRef> refs;
    for (const engine::BatchRow& row : job.items) {
        ItemRef ref;
        ref.title = row.item.title_index + 1;
        if (row.item.chapter_index >= 0) {
            ref.chapter = ref.last_chapter = row.item.chapter_index + 1;
            ref.name = dvd::ChapterItemName(row.item.title_index, row.item.chapter_index);
        } else if (options.chapter >= 0) {
            // A chapter range: the title, trimmed to the chapters.
            ref.chapter = options.chapter + 1;
            ref.last_chapter = options.last_chapter + 1;
            char last[16];
            std::snprintf(last, sizeof(last), "-%02d", ref.last_chapter);
            ref.name = dvd::ChapterItemName(row.item.title_index, options.chapter) + last;
        } else {
            ref.name = dvd::TitleItemName(row.item.title_index);
        }
        ref.output = job.output_folder / row.output_name;
        refs.push_back(std::move(ref));
    }
    if (job.merge && !refs.empty()) {
        for (ItemRef& ref : refs) {
            ref.output = refs.front().output;
            for (const engine::BatchRow& row : job.items)
                ref.titles.push_back(row.item.title_index + 1);
        }
    }
    return refs;
}

// The --log file, appended to; closed at the end.
struct LogFile {
    std::FILE* file = nullptr;
    ~LogFile() {
        if (file) std::fclose(file);
    }
};

// Waits for Ctrl-C, SIGTERM or SIGHUP (the terminal closed) on a thread of
// its own and cancels the batch, which finishes the file being written. The
// signals are blocked in every other thread, so they land here. SIGPIPE is
// ignored: a reader of standard output that has gone is noticed as a failed
// write (OutputGone) and cancels the same way.
class InterruptWatch {
public:
    explicit InterruptWatch(engine::BatchLoop* loop) : thread_([this, loop] { Watch(loop); }) {}
    ~InterruptWatch() {
        done_ = true;
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
    }

    // Blocks the signals in the calling thread (and every thread it starts
    // afterwards); call before any other thread exists.
    static void BlockSignals() {
        sigset_t set = Signals();
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
    }

private:
    static sigset_t Signals() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        sigaddset(&set, SIGUSR1);
        return set;
    }
    void Watch(engine::BatchLoop* loop) {
        const sigset_t set = Signals();
        while (!done_) {
            int signal_number = 0;
            if (sigwait(&set, &signal_number) != 0) break;
            if (signal_number != SIGUSR1) loop->RequestCancel();
        }
    }
    std::atomic<bool> done_{false};

public:
    // Whether writing to `out` has failed (nobody reads it any more).
    static bool OutputGone(std::FILE* out) { return std::ferror(out) != 0; }

private:
    std::thread thread_;
};

}  // namespace

int RunProfiles(const std::string& catalogue_path, bool json, std::FILE* out) {
    app::ProfileLibrary library;
    const fs::path saved =
        app::SavedProfilesFile(core::DefaultSettingsFile(app::kApplicationTitle));
    if (!library.Load(app::ProfileCatalogueFile(catalogue_path), saved)) {
        std::fprintf(stderr, "%s: %s\n", app::kLoadFormatError, library.load_error().c_str());
        return kExitUsage;
    }
    if (!library.saved_file_error().empty())
        std::fprintf(stderr, "%s\n", library.saved_file_error().c_str());
    const core::ProfileCatalogue& catalogue = library.catalogue();
    if (json) std::fprintf(out, "{\"profiles\": [");
    bool first = true;
    for (const core::OutputProfile& profile : catalogue.Iterate()) {
        const core::OutputSettings& s = profile.Settings;
        const std::string problem = library.Problem(profile.Id);
        if (json) {
            std::fprintf(
                out,
                "%s\n  {\"number\": %d, \"name\": %s, \"extension\": %s, \"video\": %s, \"width\": "
                "%d, "
                "\"height\": %d, \"frame_rate_x1000\": %d, \"video_bit_rate\": %d, \"audio\": %s, "
                "\"sample_rate\": %d, \"channels\": %d, \"audio_bit_rate\": %d, \"quality\": %d, "
                "\"encoder_preset\": %s, \"problem\": %s}",
                first ? "" : ",", profile.Id + 1, JsonString(profile.ProfileName).c_str(),
                JsonString(profile.FormatExt).c_str(),
                JsonString(s.HasVideo ? s.VideoCodecName : "").c_str(), s.Width, s.Height,
                s.FrameRate, s.VideoBitRate, JsonString(s.HasAudio ? s.AudioCodecName : "").c_str(),
                s.SampleRate, s.Channel, s.AudioBitRate, s.Quality,
                JsonString(s.EncoderPreset).c_str(), JsonString(problem).c_str());
        } else {
            std::fprintf(out, "%3d  %-6s %s\n", profile.Id + 1, profile.FormatExt,
                         profile.ProfileName);
            if (!problem.empty()) std::fprintf(out, "     unusable: %s\n", problem.c_str());
        }
        first = false;
    }
    if (json) std::fprintf(out, "\n]}\n");
    return kExitDone;
}

int RunConvert(const ConvertOptions& options, std::FILE* out) {
    ProgressView::Mode mode = ProgressView::Mode::kPlain;
    if (options.json)
        mode = ProgressView::Mode::kJson;
    else if (options.quiet)
        mode = ProgressView::Mode::kQuiet;
    else if (isatty(STDERR_FILENO))
        mode = ProgressView::Mode::kTerminal;
    ProgressView view(mode, out, stderr, options.disc);
    view.SetVerbose(options.verbose);
    if (options.verbose >= 2) av_log_set_level(AV_LOG_WARNING);
    LogFile log;
    if (!options.log_file.empty()) {
        log.file = std::fopen(options.log_file.c_str(), "ae");
        if (!log.file) {
            std::fprintf(stderr, "rizuvira-cli convert: cannot write the log %s: %s\n",
                         options.log_file.c_str(), std::strerror(errno));
            return kExitUsage;
        }
        view.SetLog(log.file);
    }
    view.Start(RIZUVIRA_VERSION);
    view.Detail("rizuvira-cli " RIZUVIRA_VERSION ": converting " + options.disc);
    CliMessages messages(&view);

    // The command line acts on its options alone: the desktop program's
    // stored folder, after-action and processor use are not read (the store
    // keeps its defaults); only the saved profiles beside it are.
    core::SettingsStore store(core::DefaultSettingsFile(app::kApplicationTitle));
    app::DiscSession session(&messages, &store);
    app::RequestedJob requested = app::MakeRequestedJob(options, &session, &messages);
    switch (requested.outcome) {
        case app::RequestOutcome::kReady:
            break;
        case app::RequestOutcome::kRefused:
            return kExitUsage;
        case app::RequestOutcome::kCannotOpen:
            return kExitCannotOpen;
        case app::RequestOutcome::kNothingToConvert: {
            char shortest_s[32];
            std::snprintf(
                shortest_s, sizeof(shortest_s), "%g",
                static_cast<double>(std::max<int64_t>(options.min_length_ms, 3000)) / 1000.0);
            messages.ShowMessage(options.disc + " has no title to convert: none lasts " +
                                 shortest_s + " s or more (-t names a shorter one)");
            return kExitItemFailed;
        }
    }
    // Temporary files of runs into this folder that were killed.
    for (const fs::path& stale : engine::RemoveStaleParts(requested.job.output_folder))
        if (!options.quiet)
            messages.ShowMessage("Removed " + stale.string() +
                                 ", left by a conversion that no longer runs");
    int skipped_existing = options.skip_existing ? 0 : -1;
    if (options.skip_existing) {
        const std::vector<ItemRef> all = ItemRefs(requested.job, options);
        const std::vector<fs::path> existing = app::DropExistingOutputs(&requested.job);
        for (const ItemRef& ref : all) {
            if (std::find(existing.begin(), existing.end(), ref.output) == existing.end()) continue;
            view.Skipped(ref);
            ++skipped_existing;
            if (requested.job.merge) break;  // one file: one skip
        }
        if (requested.job.items.empty()) {
            view.Done(0, requested.skipped, false, skipped_existing);
            return requested.skipped > 0 ? kExitItemFailed : kExitDone;
        }
    } else if (!options.overwrite) {
        const std::vector<fs::path> existing = app::ExistingOutputs(requested.job);
        for (const fs::path& path : existing)
            messages.ShowMessage(path.string() + " exists; -y (--overwrite) replaces it");
        if (!existing.empty()) return kExitOutputExists;
    }
    const std::vector<ItemRef> refs = ItemRefs(requested.job, options);
    {
        const app::ConversionJob& job = requested.job;
        view.Detail("profile " + std::to_string(job.profile.Id + 1) + " (" +
                    job.profile.ProfileName + "), " + std::to_string(job.thread_count) + " thread" +
                    (job.thread_count == 1 ? "" : "s") + " for each encoder and decoder, into " +
                    job.output_folder.string());
        for (size_t i = 0; i < refs.size(); ++i)
            view.Queued(refs[i], static_cast<int>(i) + 1, static_cast<int>(refs.size()),
                        static_cast<double>(job.items[i].item.trim_length_ms) / 1000.0);
    }
    const int skipped = requested.skipped;
    requested.job.cancelled_file_partial = true;

    // Before the first pipeline thread starts, so Ctrl-C reaches only the watch.
    InterruptWatch::BlockSignals();
    engine::BatchLoop loop;
    engine::DesktopActions actions;
    app::ConversionRun run(std::move(requested.job), &messages, &loop, &actions);
    engine::RunController& controller = run.controller();
    auto current_ref = [&]() -> const ItemRef* {
        const int index = controller.current_index();
        return index >= 0 && index < static_cast<int>(refs.size()) ? &refs[index] : nullptr;
    };
    messages.SetCurrentItem(current_ref);
    controller.SetFileFinishedCallback([&](const engine::FinishedFile& file) {
        const ItemRef* ref = current_ref();
        view.FileFinished(file, ref ? *ref : refs.front());
        if (InterruptWatch::OutputGone(out)) loop.RequestCancel();
    });
    InterruptWatch interrupt(&loop);

    run.Begin();
    loop.Run(controller, [&](const engine::RunProgress& progress) {
        const ItemRef* ref = current_ref();
        if (!ref) return;
        view.Update(*ref, controller.current_index() + 1, static_cast<int>(refs.size()), progress);
        if (InterruptWatch::OutputGone(out)) loop.RequestCancel();
    });
    int files_ok = 0;
    for (const engine::FinishedFile& file : controller.finished_files())
        files_ok += file.ok ? 1 : 0;
    view.Done(files_ok, controller.failed_items() + skipped, controller.cancelled(),
              skipped_existing);
    if (controller.cancelled()) {
        std::string partial;
        for (const engine::FinishedFile& file : controller.finished_files())
            if (file.cancelled) partial = file.path.string();
        messages.ShowMessage(partial.empty()
                                 ? std::string("Cancelled")
                                 : "Cancelled; " + partial +
                                       " is a partial file: it holds what was converted so far;"
                                       " the next run converts the item again");
    }
    return controller.failed_items() + skipped > 0 || controller.cancelled() ? kExitItemFailed
                                                                             : kExitDone;
}

}  // namespace rizuvira::cli
