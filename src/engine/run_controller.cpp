// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/run_controller.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "core/time_text.h"

namespace rizuvira::engine {

namespace {

int64_t SteadyNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Any directory entry counts, also a link that leads nowhere.
bool NameTaken(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
               std::filesystem::file_type::not_found &&
           !error;
}

bool CopiesSound(const core::OutputSettings& settings) {
    return settings.HasAudio != 0 && std::strncmp(settings.AudioCodecName, core::kCopySoundCodec,
                                                  sizeof settings.AudioCodecName) == 0;
}

}  // namespace

void FitTracksToFiles(std::vector<BatchRow>* rows, bool merge) {
    if (!rows || rows->empty()) return;
    // Positions some row of the file fills.
    size_t audio_positions = 0, subtitle_positions = 0;
    for (BatchRow& row : *rows) {
        row.audio_languages.resize(row.streams.further_audio_ids.size() + 1);
        row.subtitle_tracks.resize(row.streams.soft_subtitle_ids.size());
        audio_positions = std::max(audio_positions, row.streams.further_audio_ids.size());
        subtitle_positions = std::max(subtitle_positions, row.streams.soft_subtitle_ids.size());
    }
    auto fit = [&](std::vector<BatchRow*> file) {
        std::vector<bool> audio_used(audio_positions), subtitle_used(subtitle_positions);
        std::vector<std::string> languages(audio_positions);
        std::vector<core::SubtitleTrackFormat> formats(subtitle_positions);
        for (BatchRow* row : file) {
            for (size_t k = 0; k < row->streams.further_audio_ids.size(); ++k)
                if (row->streams.further_audio_ids[k] != 0 && !audio_used[k]) {
                    audio_used[k] = true;
                    languages[k] = row->audio_languages[k + 1];
                }
            for (size_t k = 0; k < row->streams.soft_subtitle_ids.size(); ++k)
                if (row->streams.soft_subtitle_ids[k] != -1 && !subtitle_used[k]) {
                    subtitle_used[k] = true;
                    formats[k] = row->subtitle_tracks[k];
                }
        }
        for (BatchRow* row : file) {
            std::vector<int32_t> audio_ids, subtitle_ids;
            std::vector<std::string> row_languages{row->audio_languages[0]};
            std::vector<core::SubtitleTrackFormat> row_formats;
            for (size_t k = 0; k < audio_positions; ++k) {
                if (!audio_used[k]) continue;
                audio_ids.push_back(k < row->streams.further_audio_ids.size()
                                        ? row->streams.further_audio_ids[k]
                                        : 0);
                row_languages.push_back(languages[k]);
            }
            for (size_t k = 0; k < subtitle_positions; ++k) {
                if (!subtitle_used[k]) continue;
                subtitle_ids.push_back(k < row->streams.soft_subtitle_ids.size()
                                           ? row->streams.soft_subtitle_ids[k]
                                           : -1);
                row_formats.push_back(formats[k]);
            }
            row->streams.further_audio_ids = std::move(audio_ids);
            row->streams.soft_subtitle_ids = std::move(subtitle_ids);
            row->audio_languages = std::move(row_languages);
            row->subtitle_tracks = std::move(row_formats);
        }
    };
    if (merge) {
        std::vector<BatchRow*> file;
        for (BatchRow& row : *rows) file.push_back(&row);
        fit(file);
    } else {
        for (BatchRow& row : *rows) fit({&row});
    }
}

std::vector<std::filesystem::path> ExistingOutputs(const std::vector<BatchRow>& rows,
                                                   const BatchOptions& options) {
    std::vector<std::filesystem::path> existing;
    for (const BatchRow& row : rows) {
        const std::filesystem::path path = options.output_folder / row.output_name;
        if (NameTaken(path)) existing.push_back(path);
        if (options.merge) break;
    }
    return existing;
}

RunController::RunController(ItemGraph* graph, RunHost* host, core::MessageSink* messages,
                             SystemActions* actions, std::function<int64_t()> now_ms)
    : graph_(graph),
      host_(host),
      messages_(messages),
      actions_(actions),
      now_ms_(now_ms ? std::move(now_ms) : std::function<int64_t()>(SteadyNowMs)) {}

RunController::~RunController() {
    if (item_built_) graph_->Stop();
    item_built_ = false;
    if (file_open_) CloseFile();
}

void RunController::Begin(std::vector<BatchRow> checked_rows,
                          const core::EditSettings& current_edit, BatchOptions options) {
    for (BatchRow& row : checked_rows) row.item.edit = current_edit;
    Begin(std::move(checked_rows), std::move(options));
}

void RunController::Begin(std::vector<BatchRow> rows, BatchOptions options) {
    rows_ = std::move(rows);
    options_ = std::move(options);
    FitTracksToFiles(&rows_, options_.merge);
    int64_t total_ms = 0;
    for (const BatchRow& row : rows_) total_ms += row.item.trim_length_ms;
    total_seconds_ = static_cast<double>(total_ms) / 1000.0;
    done_seconds_ = 0;
    files_.clear();
    failed_items_ = 0;
    progress_ = {};
    new_file_needed_ = true;
    running_ = paused_ = cancelled_ = item_built_ = false;
    ended_ = false;
    elapsed_before_ms_ = 0;
    current_ = -1;
    MoveTo(rows_.empty() ? -1 : 0);
}

void RunController::StartCurrentItem() {
    if (ended_ || current_ < 0 || item_built_) return;
    const BatchRow& row = rows_[current_];
    if (new_file_needed_) {
        const std::filesystem::path path = options_.output_folder / row.output_name;
        std::string error;
        if (graph_->ReadsFile(path)) {
            messages_->ShowMessage(path.string() + kOutputIsInputMessage);
        } else if (!MayReplace(path)) {
            messages_->ShowMessage(path.string() + kFileExistsMessage);
        } else if (!part_.Create(path, &error)) {
            messages_->ShowMessage(kCannotCreateOutputMessage + path.string() + " (" + error + ")");
        } else if (graph_->SetOutputTracks(row.audio_languages, row.subtitle_tracks),
                   CopiesSound(options_.settings) ? graph_->SetCopiedSound(row.item, row.streams)
                                                  : void(),
                   file_settings_ = graph_->SettingsForFile(row.item, options_.settings),
                   !graph_->OpenOutput(part_.path(), path, file_settings_)) {
            part_.Remove();
            messages_->ShowMessage(kCannotCreateOutputMessage + path.string() + " (" +
                                   graph_->OutputError() + ")");
        } else {
            file_open_ = true;
            open_file_ = {path, true, 0};
            write_error_reported_ = false;
            file_got_data_ = false;
            new_file_needed_ = false;
        }
        if (!file_open_) {
            ++failed_items_;
            SkipCurrent(false);
            return;
        }
    }
    // A merged file has a chapter per item, named after it; a file of its
    // own keeps the disc's chapters.
    if (options_.merge)
        graph_->MarkChapters({{0, std::filesystem::path(row.output_name).stem().string()}});
    else
        graph_->MarkChapters(row.chapters);
    if (!graph_->Build(row.item, row.streams, [host = host_] { host->PostGraphEvents(); })) {
        ++failed_items_;
        SkipCurrent(true);
        return;
    }
    if (preview_surface_) graph_->AttachPreview(preview_surface_);
    graph_->ShowPreview(preview_shown_);
    progress_.item_bar = 0;
    progress_.position_s = 0;
    progress_.duration_s = 1;
    progress_.remaining_ms = -1;
    item_built_ = true;
    read_error_ = false;
    graph_->Run();
    running_ = true;
    paused_ = false;
    segment_start_ms_ = now_ms_();
    elapsed_before_ms_ = 0;
}

void RunController::ShowPreview(bool on) {
    preview_shown_ = on;
    if (item_built_) graph_->ShowPreview(on);
}

void RunController::SkipCurrent(bool file_failed) {
    const BatchRow& row = rows_[current_];
    done_seconds_ += static_cast<double>(row.item.trim_length_ms) / 1000.0;
    SetBatchBar();
    if (file_failed && file_open_) {
        open_file_.ok = false;
        if (!options_.merge) {
            // A file that nothing reached is taken away rather than left empty.
            CloseFile(file_got_data_);
            new_file_needed_ = true;
        }
    }
    MoveTo(NextRow(current_, 0));
}

void RunController::HandleGraphEvents() {
    const std::vector<ItemGraphEvent> events = graph_->TakeEvents();
    if (item_built_ && current_ >= 0) {
        const std::string name = std::filesystem::path(rows_[current_].output_name).stem().string();
        for (const LostStretch& lost : graph_->TakeLostStretches()) {
            char length[32];
            std::snprintf(length, sizeof(length), " (%.1f s of picture and sound)",
                          static_cast<double>(lost.length_ms) / 1000.0);
            messages_->ShowWarning(name + ": " + kLostStretchMessage +
                                   core::TimeText(lost.start_ms) + length + ".");
        }
    }
    for (ItemGraphEvent event : events) {
        if (!item_built_) return;
        if (event == ItemGraphEvent::kReadError) {
            read_error_ = true;
            continue;
        }
        if (event == ItemGraphEvent::kWriteError) {
            messages_->ShowMessage(kCannotWriteOutputMessage + open_file_.path.string() + " (" +
                                   graph_->OutputError() + ")");
            write_error_reported_ = true;
        }
        ItemEnded(event == ItemGraphEvent::kComplete, kShortestFollowingItemMs);
    }
}

void RunController::ItemEnded(bool ok, int64_t shortest_next_ms) {
    const BatchRow& row = rows_[current_];
    running_ = paused_ = false;
    item_built_ = false;
    if (ok && read_error_) {
        // What could be read is in the file, but the item is not whole.
        double reached_s = 0;
        if (!graph_->GetPositionSeconds(&reached_s)) reached_s = progress_.position_s;
        messages_->ShowMessage(
            kReadErrorMessage + std::filesystem::path(row.output_name).stem().string() +
            "; the file stops at " + core::TimeText(static_cast<int64_t>(reached_s * 1000)) + ".");
        ok = false;
    }
    read_error_ = false;
    const bool wrote = graph_->WroteSinceBuild();
    if (ok && !wrote) {
        messages_->ShowMessage(kNothingConvertedMessage +
                               std::filesystem::path(row.output_name).stem().string() + ".");
        ok = false;
    }
    if (ok) progress_.item_bar = 1000;
    // A failed item's file holds what was written up to where it stopped.
    double written_s = static_cast<double>(row.item.trim_length_ms) / 1000.0;
    double reached_s = 0;
    if (!ok && graph_->GetPositionSeconds(&reached_s))
        written_s = std::clamp(reached_s, 0.0, written_s);
    graph_->Stop();
    if (!ok) {
        ++failed_items_;
        open_file_.ok = false;
    }
    if (wrote) {
        open_file_.seconds += written_s;
        file_got_data_ = true;
    }
    if (options_.merge) {
        graph_->AlignSoundToPicture();
    } else {
        // A file that got nothing is taken away rather than left empty.
        CloseFile(file_got_data_);
        new_file_needed_ = true;
    }
    done_seconds_ += static_cast<double>(row.item.trim_length_ms) / 1000.0;
    SetBatchBar();
    MoveTo(NextRow(current_, shortest_next_ms));
}

int RunController::NextRow(int after, int64_t shortest_ms) const {
    for (int i = after + 1; i < static_cast<int>(rows_.size()); ++i) {
        if (rows_[i].item.trim_length_ms >= shortest_ms) return i;
    }
    return -1;
}

void RunController::MoveTo(int row) {
    current_ = row;
    if (row < 0) {
        EndBatch();
    } else {
        host_->PostStartItem();
    }
}

void RunController::CloseFile(bool report) {
    if (!file_open_) return;
    file_open_ = false;
    const bool closed = graph_->CloseOutput();
    if (!closed && !write_error_reported_)
        messages_->ShowMessage(kCannotWriteOutputMessage + open_file_.path.string() + " (" +
                               graph_->OutputError() + ")");
    if (!closed || write_error_reported_) {
        // A file the writer could not finish (a full disk) has no index for a
        // player to read: it never takes its final name.
        FileFailed();
        part_.Remove();
        if (!report) return;
        messages_->ShowMessage(open_file_.path.string() + kUnfinishedFileRemovedMessage);
        files_.push_back(open_file_);
        if (on_file_finished_) on_file_finished_(open_file_);
        return;
    }
    if (!report) {
        part_.Remove();
        return;
    }
    if (!MoveToFinalName()) {
        part_.Remove();
        FileFailed();
        return;
    }
    if (options_.cancelled_file_partial && open_file_.ok) {
        // The whole file supersedes what a cancelled run kept of it.
        const std::filesystem::path partial = PartialName(open_file_.path);
        std::error_code error;
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(partial, error)))
            std::filesystem::remove(partial, error);
    }
    files_.push_back(open_file_);
    if (on_file_finished_) on_file_finished_(open_file_);
}

void RunController::FileFailed() {
    if (open_file_.ok) ++failed_items_;
    open_file_.ok = false;
}

bool RunController::MayReplace(const std::filesystem::path& path) {
    replace_confirmed_ = false;
    if (!NameTaken(path)) return true;
    switch (options_.overwrite) {
        case OverwritePolicy::kReplace:
            replace_confirmed_ = true;
            break;
        case OverwritePolicy::kAsk:
            replace_confirmed_ = options_.confirm_overwrite && options_.confirm_overwrite(path);
            break;
        case OverwritePolicy::kRefuse:
            break;
    }
    return replace_confirmed_;
}

bool RunController::MoveToFinalName() {
    if (open_file_.cancelled && options_.cancelled_file_partial) {
        const std::filesystem::path partial = PartialName(open_file_.path);
        std::string error;
        if (part_.MoveTo(partial, /*replace=*/true, &error) == PartFile::Commit::kDone) {
            open_file_.path = partial;
            return true;
        }
        messages_->ShowMessage(kCannotFinishOutputMessage + partial.string() + " (" + error + ")");
        return false;
    }
    const std::filesystem::path& path = open_file_.path;
    const bool replace = replace_confirmed_ || options_.overwrite == OverwritePolicy::kReplace;
    std::string error;
    PartFile::Commit result = part_.MoveToFinalName(replace, &error);
    if (result == PartFile::Commit::kExists && options_.overwrite == OverwritePolicy::kAsk &&
        options_.confirm_overwrite && options_.confirm_overwrite(path))
        result = part_.MoveToFinalName(true, &error);
    if (result == PartFile::Commit::kDone) return true;
    if (result == PartFile::Commit::kExists)
        messages_->ShowMessage(path.string() + kFileAppearedMessage);
    else
        messages_->ShowMessage(kCannotFinishOutputMessage + path.string() + " (" + error + ")");
    return false;
}

void RunController::SetBatchBar() {
    if (total_seconds_ <= 0) return;
    progress_.batch_bar =
        std::clamp(static_cast<int>(done_seconds_ * 1000 / total_seconds_), 0, 1000);
}

void RunController::EndBatch() {
    if (ended_) return;
    if (item_built_) graph_->Stop();
    item_built_ = running_ = paused_ = false;
    CloseFile();
    current_ = -1;
    ended_ = true;
    if (!cancelled_) {
        std::string error;
        if (options_.shut_down || options_.action_setting == "Shut Down") {
            if (!actions_->ShutDown(&error)) messages_->ShowMessage(kCannotShutDownMessage + error);
        } else if (options_.open_folder) {
            if (!actions_->OpenFolder(options_.output_folder, &error))
                messages_->ShowMessage(kCannotOpenFolderMessage + options_.output_folder.string() +
                                       ": " + error);
        }
    }
    host_->BatchEnded();
}

const RunProgress& RunController::Tick() {
    if (!running_) return progress_;
    double position = 0, duration = 1;
    if (!graph_->GetPositionSeconds(&position)) position = 0;
    if (!graph_->GetDurationSeconds(&duration) || duration <= 0) {
        duration = 1;
    } else {
        // The splitter knows the whole title; the item ends at its trim end.
        const double trimmed_s = static_cast<double>(rows_[current_].item.trim_length_ms) / 1000.0;
        if (trimmed_s > 0) duration = std::min(duration, trimmed_s);
    }
    const double fraction = position / duration;
    const int64_t elapsed_ms = elapsed_before_ms_ + (now_ms_() - segment_start_ms_);
    progress_.position_s = position;
    progress_.duration_s = duration;
    progress_.elapsed_ms = elapsed_ms;
    progress_.elapsed_text = core::TimeText(elapsed_ms);
    if (elapsed_ms > 100 && fraction > 0) {
        progress_.remaining_ms = std::llround((1 - std::min(fraction, 1.0)) *
                                              static_cast<double>(elapsed_ms) / fraction);
        progress_.remaining_text = core::TimeText(progress_.remaining_ms);
    }
    progress_.item_bar = std::clamp(static_cast<int>(fraction * 1000 + 0.5), 0, 1000);
    if (total_seconds_ > 0)
        progress_.batch_bar = std::clamp(
            static_cast<int>((done_seconds_ + position) * 1000 / total_seconds_), 0, 1000);
    progress_.position_text = core::TimeText(static_cast<int64_t>(position * 1000)) + "/" +
                              core::TimeText(static_cast<int64_t>(duration * 1000));
    return progress_;
}

void RunController::Pause() {
    if (!running_) return;
    running_ = false;
    paused_ = true;
    elapsed_before_ms_ += now_ms_() - segment_start_ms_;
    graph_->Pause();
}

void RunController::Continue() {
    if (!paused_) return;
    paused_ = false;
    running_ = true;
    segment_start_ms_ = now_ms_();
    graph_->Run();
}

void RunController::Cancel() {
    if (ended_) return;
    cancelled_ = true;
    if (item_built_) {
        open_file_.ok = false;
        open_file_.cancelled = true;
        open_file_.seconds += progress_.position_s;
        ++failed_items_;
    }
    EndBatch();
}

}  // namespace rizuvira::engine
