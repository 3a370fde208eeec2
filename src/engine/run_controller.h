// SPDX-License-Identifier: GPL-2.0-or-later
// The batch run: converts the checked rows one after the other, each through
// a freshly built item graph, into one file per row or one merged file, and
// keeps the numbers the conversion window (or the command line) shows: the
// item and batch bars (0..1000), the running time and the time left.
//
// Sequencing:
//  - Begin copies the current edit settings into every row (unless the
//    rows carry their own), sums the trim lengths and asks the host to
//    start the first row.
//  - StartCurrentItem opens the output file when a new one is needed
//    (output folder / row's output name), builds and runs the item. A file
//    that cannot be created, or a graph that cannot be built, skips the row
//    (it counts as done) and the next row follows, whatever its length.
//  - Every file is written under a temporary name beside its own (see
//    PartFile) and moved to its name when it is finished, also after a
//    cancel or a failed item (what was written is kept). A file that got
//    nothing is removed instead. An existing file of that name is replaced
//    only as the overwrite policy says, checked when the file is opened and
//    again when it is moved.
//    With BatchOptions::cancelled_file_partial, a file cut short by a
//    cancel goes to its partial name instead.
//  - A failed write ends the item as failed at once; a file that cannot be
//    written, finished or moved to its name counts as a failed item.
//  - HandleGraphEvents, after the graph's notification: on completion the
//    item's file is finished (unless merging) and the next row of at least
//    1000 ms starts; on an abort the row is finished as failed and the
//    next row follows the same way.
//  - After the last row the merged file is closed and the after-action runs:
//    a shutdown when asked for (flag or the "Shut Down" setting), else the
//    output folder is opened when asked for.
//
// Threads: every method runs on the owner's thread (the conversion window's
// or the command line's). The host's PostGraphEvents is called on streaming
// threads; the host then calls HandleGraphEvents on the owner's thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/convert_item.h"
#include "core/messages.h"
#include "core/output_profile.h"
#include "engine/item_graph.h"
#include "engine/part_file.h"

namespace rizuvira::engine {

// Rows shorter than this are passed over after a completed item.
inline constexpr int64_t kShortestFollowingItemMs = 1000;
inline constexpr const char* kCannotCreateOutputMessage = "Cannot create the output file: ";
inline constexpr const char* kReadErrorMessage = "The disc could not be read to the end of ";
// "Title_01: " + kLostStretchMessage + "00:00:04 (1.6 s) ..."
inline constexpr const char* kLostStretchMessage =
    "sectors that could not be read are left out at ";
inline constexpr const char* kNothingConvertedMessage = "Nothing could be converted of ";
inline constexpr const char* kCannotWriteOutputMessage = "Cannot write the output file: ";
inline constexpr const char* kCannotFinishOutputMessage = "Cannot finish the output file: ";
inline constexpr const char* kUnfinishedFileRemovedMessage =
    " could not be finished and was removed: it would not play.";
// Follow the path of the file.
inline constexpr const char* kFileExistsMessage = " exists and was not replaced";
inline constexpr const char* kOutputIsInputMessage =
    " is a file this conversion reads: it is not written over";
inline constexpr const char* kFileAppearedMessage =
    " appeared during the conversion and was not replaced; the converted file was removed";
inline constexpr const char* kCannotOpenFolderMessage = "Cannot open the output folder ";
inline constexpr const char* kCannotShutDownMessage = "Cannot shut down: ";

// A row's further sound tracks and subtitle streams are positional: entry k
// of streams.further_audio_ids goes to the file's sound track k + 1 (named
// by audio_languages[k + 1]); entry k of streams.soft_subtitle_ids to its
// subtitle stream k (subtitle_tracks[k]). An id of 0 (sound) or -1
// (subtitle) holds the place of a track the row's title lacks.
struct BatchRow {
    std::string output_name;  // file name with extension, "Title_01.mp4"
    core::ConvertItem item;
    StreamChoice streams;
    // ISO 639-2 of each chosen sound track, in order (an empty code for one
    // the disc names none for); the file's sound tracks.
    std::vector<std::string> audio_languages;
    // The file's subtitle streams (streams.soft_subtitle_ids), where its
    // container carries them.
    std::vector<core::SubtitleTrackFormat> subtitle_tracks;
    std::vector<core::ChapterMark> chapters;  // the disc's chapters inside the trim, from its start

    friend bool operator==(const BatchRow&, const BatchRow&) = default;
};

// What the machine does at the end of a batch. Tests replace it; nothing
// here is ever triggered by a test. Each returns false, with `error` set to
// a short reason, when the action could not be started or failed.
class SystemActions {
public:
    virtual ~SystemActions() = default;
    virtual bool ShutDown(std::string* error) = 0;
    virtual bool OpenFolder(const std::filesystem::path& folder, std::string* error) = 0;
};

class RunHost {
public:
    virtual ~RunHost() = default;
    // Later, on the owner's thread, call StartCurrentItem (the previous
    // item's event handling has returned by then).
    virtual void PostStartItem() = 0;
    // Any thread: graph events are queued; call HandleGraphEvents on the
    // owner's thread.
    virtual void PostGraphEvents() = 0;
    // The batch has ended (also after a cancel).
    virtual void BatchEnded() {}
};

// What to do with an output file whose name is taken.
enum class OverwritePolicy {
    kRefuse,   // keep the existing file; the item fails with a message
    kReplace,  // replace it
    kAsk,      // ask BatchOptions::confirm_overwrite
};

struct BatchOptions {
    std::filesystem::path output_folder;
    OverwritePolicy overwrite = OverwritePolicy::kRefuse;
    // kAsk: called on the owner's thread with the existing file, when the
    // item starts or when its finished file is moved; true replaces it.
    std::function<bool(const std::filesystem::path&)> confirm_overwrite;
    core::OutputSettings settings{};  // every file of the batch
    bool merge = false;
    bool shut_down = false;      // the window's check box, or --after shutdown
    bool open_folder = false;    // the window's check box, or --after open-folder
    std::string action_setting;  // strAction; "Shut Down" shuts down too
    // A file finished early by a cancel is kept under PartialName (replacing
    // an older partial file), never under its own name, which stays free
    // for a later run; a file finished whole takes its partial file away.
    bool cancelled_file_partial = false;
};

struct RunProgress {
    int item_bar = 0;   // 0..1000
    int batch_bar = 0;  // 0..1000
    int64_t elapsed_ms = 0;
    int64_t remaining_ms = -1;  // -1 until something has been converted
    double position_s = 0;
    double duration_s = 1;
    std::string elapsed_text;    // "00:00:05"
    std::string remaining_text;  // empty while unknown
    std::string position_text;   // "00:00:05/00:01:00"
};

// One output file of the batch, reported when it is finished.
struct FinishedFile {
    std::filesystem::path path;
    bool ok = false;         // every item written into it converted
    double seconds = 0;      // trimmed length of the items written into it
    bool cancelled = false;  // finished early by a cancel: a partial file
};

class RunController {
public:
    // `graph`, `host`, `messages` and `actions` must outlive the controller.
    // `now_ms` is a monotonic clock (a steady clock when empty).
    RunController(ItemGraph* graph, RunHost* host, core::MessageSink* messages,
                  SystemActions* actions, std::function<int64_t()> now_ms = {});
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // Converts the rows as they are, each item with its own edit settings.
    void Begin(std::vector<BatchRow> rows, BatchOptions options);
    // Gives every row the current edit settings first.
    void Begin(std::vector<BatchRow> checked_rows, const core::EditSettings& current_edit,
               BatchOptions options);
    void StartCurrentItem();
    void HandleGraphEvents();
    // The 200 ms timer: reads the position and recomputes the numbers. The
    // item's duration is the graph's, cut to the item's trimmed length (1 s
    // when the graph knows none). The numbers stand still while paused or
    // between items.
    const RunProgress& Tick();
    void Pause();
    void Continue();
    // The conversion window's live picture: every item built from now on
    // shows on `surface` (borrowed; null for none) while the preview is
    // shown. Showing and hiding act at once on the running item.
    void SetPreviewSurface(decoders::IVideoSurface* surface) { preview_surface_ = surface; }
    void ShowPreview(bool on);
    // The after-action check boxes; they count whenever the batch ends,
    // also when ticked during the run.
    void SetShutDown(bool on) { options_.shut_down = on; }
    void SetOpenFolder(bool on) { options_.open_folder = on; }
    // Stops the item, finishes the file written so far and ends the batch;
    // rows not yet converted are skipped and no after-action runs.
    void Cancel();

    bool ended() const { return ended_; }
    bool cancelled() const { return cancelled_; }
    bool running() const { return running_; }
    bool paused() const { return paused_; }
    int failed_items() const { return failed_items_; }
    int current_index() const { return current_; }  // -1 when none
    // The file being written, by its final name: a merged file keeps the
    // first item's name through every item. Empty while no file is open.
    std::filesystem::path output_file() const {
        return file_open_ ? open_file_.path : std::filesystem::path();
    }
    const std::vector<BatchRow>& rows() const { return rows_; }
    const RunProgress& progress() const { return progress_; }
    const std::vector<FinishedFile>& finished_files() const { return files_; }
    // Called whenever a file is finished.
    void SetFileFinishedCallback(std::function<void(const FinishedFile&)> callback) {
        on_file_finished_ = std::move(callback);
    }
    double total_seconds() const { return total_seconds_; }

private:
    int NextRow(int after, int64_t shortest_ms) const;
    void ItemEnded(bool ok, int64_t shortest_next_ms);
    void SkipCurrent(bool file_failed);
    void MoveTo(int row);
    // Finishes the open file and moves it to its name; `report` false for a
    // file that nothing reached, which is removed instead and is not among
    // the finished files.
    void CloseFile(bool report = true);
    // Whether the file may be written under `path` (absent, or the policy
    // allows replacing it).
    bool MayReplace(const std::filesystem::path& path);
    bool MoveToFinalName();
    // The open file failed: it counts as a failed item unless its item
    // failed already.
    void FileFailed();
    void EndBatch();
    void SetBatchBar();

    ItemGraph* const graph_;
    RunHost* const host_;
    core::MessageSink* const messages_;
    SystemActions* const actions_;
    std::function<int64_t()> now_ms_;

    std::vector<BatchRow> rows_;
    BatchOptions options_;
    // The open file's settings: the batch's, with the source's values where they take them.
    core::OutputSettings file_settings_{};
    int current_ = -1;
    bool new_file_needed_ = true;
    bool file_open_ = false;
    FinishedFile open_file_;
    PartFile part_;                      // the open file's temporary name
    bool replace_confirmed_ = false;     // the open file may replace its namesake
    bool write_error_reported_ = false;  // the open file's write failure was shown
    bool file_got_data_ = false;         // an item put something into the open file
    std::vector<FinishedFile> files_;
    std::function<void(const FinishedFile&)> on_file_finished_;
    double done_seconds_ = 0;
    double total_seconds_ = 0;
    decoders::IVideoSurface* preview_surface_ = nullptr;
    bool preview_shown_ = true;
    bool item_built_ = false;
    bool read_error_ = false;  // the current item's source ended early
    bool running_ = false;
    bool paused_ = false;
    bool ended_ = true;
    bool cancelled_ = false;
    int failed_items_ = 0;
    int64_t segment_start_ms_ = 0;
    int64_t elapsed_before_ms_ = 0;
    RunProgress progress_;
};

// Fits the rows' tracks to the files they go to: a file of its own keeps
// only the tracks its row has; a merged file has a track wherever any row
// has one, named after the first row that has it, the other rows holding
// its place (silence, no subtitle). Begin does this.
void FitTracksToFiles(std::vector<BatchRow>* rows, bool merge);

// The files a batch would write that exist already (for a merged batch,
// the first row's only), in row order.
std::vector<std::filesystem::path> ExistingOutputs(const std::vector<BatchRow>& rows,
                                                   const BatchOptions& options);

}  // namespace rizuvira::engine
