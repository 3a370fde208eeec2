// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/preview_controller.h"

#include <algorithm>
#include <system_error>

#include "filters/snapshot.h"

namespace rizuvira::app {

namespace fs = std::filesystem;

int PreviewSliderValue(double position_seconds, double duration_seconds) {
    if (!(duration_seconds > 0)) duration_seconds = 1;
    const double value = position_seconds * kPreviewSliderRange / duration_seconds;
    return static_cast<int>(std::clamp(value, 0.0, double{kPreviewSliderRange}));
}

double PreviewSeekSeconds(int value, double duration_seconds) {
    return std::clamp(value, 0, kPreviewSliderRange) * duration_seconds / kPreviewSliderRange;
}

fs::path SnapshotPath(const std::string& target, const core::Settings& settings, std::time_t now) {
    std::error_code error;
    if (!target.empty() && !fs::is_directory(target, error)) return target;
    const std::string folder = target.empty() ? settings.snap_folder : target;
    const fs::path first = filters::SnapshotFileName(folder, settings.image_type, now);
    // Two snapshots within a second: the second one is numbered.
    fs::path path = first;
    for (int number = 2; fs::symlink_status(path, error).type() != fs::file_type::not_found;
         ++number) {
        path = first.parent_path() / (first.stem().string() + " (" + std::to_string(number) + ")" +
                                      first.extension().string());
    }
    return path;
}

std::string SnapshotFolderProblem(const fs::path& file) {
    const fs::path folder = file.parent_path();
    std::error_code error;
    if (folder.empty() || fs::is_directory(folder, error)) return {};
    return "Cannot write the snapshot " + file.string() + ": the folder " + folder.string() +
           " does not exist";
}

PreviewController::PreviewController(engine::PreviewPlayer* player, Loader load, PreviewView* view)
    : playback_(player), player_(player), graph_(nullptr), load_(std::move(load)), view_(view) {}

PreviewController::PreviewController(engine::EditorPreviewGraph* graph, Loader load,
                                     PreviewView* view)
    : playback_(graph), player_(nullptr), graph_(graph), load_(std::move(load)), view_(view) {}

bool PreviewController::Load() {
    if (!load_ || !load_()) return false;
    loaded_ = true;
    return true;
}

bool PreviewController::Play() {
    const bool resume = loaded_ && playback_->IsPaused();
    if (!resume && !Load()) return false;
    playback_->Play();
    if (!playback_->IsRunning()) return false;
    playing_ = ticking_ = true;
    Show();
    return true;
}

void PreviewController::Pause() {
    if (!loaded_) return;
    playback_->Pause();
    if (!playback_->IsPaused()) return;
    // The picture and the timer stay.
    playing_ = false;
    Show();
}

void PreviewController::PlayPause() {
    if (playing_)
        Pause();
    else
        Play();
}

bool PreviewController::Stop() {
    if (!loaded_) return false;
    playback_->Stop();
    const bool stopped = playback_->IsStopped();
    if (stopped) {
        playing_ = ticking_ = false;
        Show();
        if (view_) view_->ShowStopped();
    }
    playback_->SeekTo(0);
    return stopped;
}

bool PreviewController::Step() {
    Stop();
    return Play();
}

bool PreviewController::SeekSlider(int value) {
    return loaded_ && playback_->SeekTo(PreviewSeekSeconds(value, Duration()));
}

bool PreviewController::SeekTo(double seconds) {
    return loaded_ && playback_->SeekTo(seconds);
}

double PreviewController::Duration() {
    double seconds = 0;
    if (loaded_) playback_->GetPlayDuration(&seconds);  // stays 0 when the player has none
    return seconds;
}

std::optional<PreviewPosition> PreviewController::Position() {
    PreviewPosition at;
    if (!loaded_ || !playback_->GetPlayPosition(&at.position_seconds)) return std::nullopt;
    at.duration_seconds = Duration();
    at.slider = PreviewSliderValue(at.position_seconds, at.duration_seconds);
    return at;
}

bool PreviewController::TakeEvents() {
    if (!engine::TakeEventsUntilComplete(player_ ? player_->Events() : graph_->Events()))
        return false;
    Stop();
    return true;
}

void PreviewController::Unload() {
    loaded_ = playing_ = ticking_ = false;
    Show();
    if (view_) view_->ShowStopped();
}

SnapshotResult PreviewController::TakeSnapshot(const core::Settings& settings, std::time_t now) {
    SnapshotResult result;
    if (!loaded_ || !player_) return result;
    result.file = SnapshotPath("", settings, now);
    result.problem = SnapshotFolderProblem(result.file);
    if (result.problem.empty()) result.written = player_->SaveSnapshot(result.file);
    return result;
}

void PreviewController::Show() {
    if (view_) view_->ShowState(playing_, ticking_);
}

}  // namespace rizuvira::app
