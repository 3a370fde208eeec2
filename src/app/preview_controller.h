// SPDX-License-Identifier: GPL-2.0-or-later
// The preview's rules without a window: play, pause, stop, back and next, seeking through the
// position slider, the end of the title, and snapshots with their one folder rule. The main
// window drives it over its PreviewPlayer, the editor over its EditorPreviewGraph; each window
// forwards its clicks and timer ticks here and paints what the controller tells its view.
//
// States: nothing loaded → loaded and stopped (the place-holder shown, the slider at 0) →
// playing (Pause in place of Play, the position timer on) ↔ paused (Play back, the picture and
// the timer kept); Stop and the end of the title return to stopped and rewind. What a load
// prepares (which title, which tracks, an editor graph opened or attached again) is the
// window's, handed over as a Loader.
//
// Threads: the owner's (the user-interface thread); not locked. The player and the view must
// outlive the controller.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/settings_store.h"
#include "engine/editor_preview_graph.h"
#include "engine/preview_player.h"

namespace rizuvira::app {

// The position slider runs from 0 (the start of the title) to this (its end).
inline constexpr int kPreviewSliderRange = 1000;

// The slider's place for a play position (a missing duration counts as 1 second), and the
// seek time for a slider place.
int PreviewSliderValue(double position_seconds, double duration_seconds);
double PreviewSeekSeconds(int value, double duration_seconds);

// Where a snapshot taken at `now` goes: `target` when it names a file; in the folder `target`
// names, or in the stored snapshot folder when `target` is empty, a file named by the time and
// the stored image type ("2010-05-01 12-30-05.BMP").
std::filesystem::path SnapshotPath(const std::string& target, const core::Settings& settings,
                                   std::time_t now);

// The snapshot folder rule, the same in every front end: the folder is taken as it stands and
// never made. A file whose folder does not exist is refused; the text says so and names both.
// Empty when the folder is there (a file without a folder goes to the working folder).
std::string SnapshotFolderProblem(const std::filesystem::path& file);

// What a snapshot came to. Nothing loaded: no file named. Refused by the folder rule: the
// problem says why. The player itself fails silently: not written, no problem.
struct SnapshotResult {
    std::filesystem::path file;
    bool written = false;
    std::string problem;
};

// Where the controller shows its state; the window implements it by painting.
class PreviewView {
public:
    // Pause in place of Play while `playing`; the position timer runs while `ticking`.
    virtual void ShowState(bool playing, bool ticking) = 0;
    // The player stopped: the slider back at the start (the main window also shows its
    // place-holder in place of the picture).
    virtual void ShowStopped() = 0;

protected:
    ~PreviewView() = default;
};

// The play position as the timer's tick reads it.
struct PreviewPosition {
    double position_seconds = 0;
    double duration_seconds = 0;  // 0 when the player gives none
    int slider = 0;               // the slider's place for the position
};

class PreviewController {
public:
    // Makes the player ready to play from the start: true when there is something to play.
    // Called by Load, and by Play when there is no paused picture to go on from.
    using Loader = std::function<bool()>;

    // `view` may be null (nothing shown).
    PreviewController(engine::PreviewPlayer* player, Loader load, PreviewView* view);
    PreviewController(engine::EditorPreviewGraph* graph, Loader load, PreviewView* view);
    PreviewController(const PreviewController&) = delete;
    PreviewController& operator=(const PreviewController&) = delete;

    // Something is loaded to play, pause, seek and take pictures of.
    bool loaded() const { return loaded_; }
    bool playing() const { return playing_; }
    bool ticking() const { return ticking_; }

    // Loads without playing (the properties of the title in the preview).
    bool Load();
    // A paused picture goes on; otherwise the loader prepares the start and the player runs.
    // True when it plays.
    bool Play();
    void Pause();
    // Space: Pause while playing, else Play.
    void PlayPause();
    // Stops and rewinds to the start; true when the player stopped.
    bool Stop();
    // Back and next, once the choice moved to another title: stop, then play the new choice.
    bool Step();
    // The slider dragged (or released) at `value`.
    bool SeekSlider(int value);
    bool SeekTo(double seconds);
    // The title's length in seconds; 0 when nothing is loaded or the player has none.
    double Duration();
    // The timer's tick: nothing when nothing is loaded or the player gives no position.
    std::optional<PreviewPosition> Position();
    // The player's notification: takes every queued event; at the end of the title it stops
    // (as Stop) and returns true.
    bool TakeEvents();
    // The player closed (another disc, the window closing): nothing loaded, stopped.
    void Unload();

    // Saves the picture shown into the stored snapshot folder, named by `now` and the stored
    // image type, under the folder rule above. Only the main window's player takes pictures.
    SnapshotResult TakeSnapshot(const core::Settings& settings, std::time_t now);

private:
    void Show();

    engine::GraphPlayback* const playback_;
    engine::PreviewPlayer* const player_;      // null for the editor's graph
    engine::EditorPreviewGraph* const graph_;  // null for the main window's player
    const Loader load_;
    PreviewView* const view_;
    bool loaded_ = false;
    bool playing_ = false;
    bool ticking_ = false;
};

}  // namespace rizuvira::app
