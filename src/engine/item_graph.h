// SPDX-License-Identifier: GPL-2.0-or-later
// What the run controller needs of one item's conversion: an output file,
// a graph built for the item, its state and position, and its events. The
// conversion graph (SourceItemGraph) is the implementation every front end
// uses; keeping the controller on this interface keeps it free of the
// pipeline's types.
//
// Threads: every operation runs on the controller's thread, except that the
// `notify` callback given to Build may be called on any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/convert_item.h"
#include "core/media_file_writer.h"
#include "core/messages.h"
#include "core/output_profile.h"
#include "decoders/video_renderer.h"

namespace rizuvira::engine {

enum class ItemGraphEvent {
    kComplete,    // every input of the sink has seen the end
    kAbort,       // the graph stopped on an error
    kEncrypted,   // the title's data is scrambled (an abort)
    kReadError,   // the source could not be read to its end; the item goes on to what was read
    kWriteError,  // the output file could not be written (an abort); OutputError says why
};

// The audio and subtitle tracks of one item, by whole track id (demux::TrackId).
struct StreamChoice {
    int32_t audio_id = 0;      // 0: the splitter's own choice
    int32_t subtitle_id = -1;  // -1: no subtitle drawn (the subpicture stays unjoined)
    // The file's further sound tracks (its tracks 1, 2, ...), in order.
    std::vector<int32_t> further_audio_ids;
    // The file's subtitle streams, in order, when it has them (see
    // ItemGraph::SetOutputTracks); subtitle_id is then not drawn.
    std::vector<int32_t> soft_subtitle_ids;

    friend bool operator==(const StreamChoice&, const StreamChoice&) = default;
};

// A stretch of the item's source that could not be read and is left out;
// the item goes on after it.
struct LostStretch {
    int64_t start_ms = 0;  // on the item's time line
    int64_t length_ms = 0;
};

class ItemGraph {
public:
    virtual ~ItemGraph() = default;

    // The settings of a file whose first item is `item`: a size or frame rate the settings
    // take from the source is found in the item's source (its picture after the item's crop,
    // the rate after inverse telecine). Settings with none pass unchanged, as they do here.
    virtual core::OutputSettings SettingsForFile(const core::ConvertItem& /*item*/,
                                                 const core::OutputSettings& settings) {
        return settings;
    }
    // Writes the output into `path` (a temporary file the caller made) for
    // `final_path`, whose extension chooses the container; `settings` must
    // stay alive while it is open. False when the file cannot be opened.
    virtual bool OpenOutput(const std::filesystem::path& path,
                            const std::filesystem::path& final_path,
                            const core::OutputSettings& settings) = 0;
    // The sound tracks of the files opened from now on, by language (ISO
    // 639-2, "eng"; empty for none; one track when the list is empty), and
    // their DVD subtitle streams (none in containers that cannot carry them).
    virtual void SetOutputTracks(const std::vector<std::string>& /*audio_languages*/,
                                 const std::vector<core::SubtitleTrackFormat>& /*subtitles*/) {}
    // For settings that copy the source's sound (core::kCopySoundCodec): the
    // coded form of each sound track of the files opened from now on, found
    // in the source of `item` for the tracks `streams` chooses.
    virtual void SetCopiedSound(const core::ConvertItem& /*item*/,
                                const StreamChoice& /*streams*/) {}
    // Chapters of the item about to be built, their starts counted from where
    // the item begins in the open file.
    virtual void MarkChapters(const std::vector<core::ChapterMark>& /*marks*/) {}
    // Whether the run reads `path` (an existing file): an output of that name
    // would destroy its own source.
    virtual bool ReadsFile(const std::filesystem::path& /*path*/) { return false; }
    // Why the last OpenOutput or CloseOutput failed, or the last write.
    virtual std::string OutputError() = 0;
    // Finishes the open file (drains the encoders, writes the trailer).
    virtual bool CloseOutput() = 0;
    // Merged files, between two items: pads the sound so that the next
    // item's picture and sound start at the same time.
    virtual void AlignSoundToPicture() = 0;

    // Builds the item's graph with the chosen streams and leaves it paused.
    // False when a step fails (its message has been shown).
    virtual bool Build(const core::ConvertItem& item, const StreamChoice& streams,
                       std::function<void()> notify) = 0;
    // The live picture of the built item goes to `surface` (borrowed; it
    // must outlive the item's graph), while shown. False when no renderer
    // could be joined; the item converts all the same.
    virtual bool AttachPreview(decoders::IVideoSurface* surface) = 0;
    // Hidden, no picture reaches the surface; the conversion goes on.
    virtual void ShowPreview(bool on) = 0;
    virtual void Run() = 0;
    virtual void Pause() = 0;
    // Stops the item's graph and frees it; the output file stays open.
    virtual void Stop() = 0;
    virtual bool IsRunning() = 0;
    virtual bool GetPositionSeconds(double* seconds) = 0;
    virtual bool GetDurationSeconds(double* seconds) = 0;
    // Takes every event queued since the last call.
    virtual std::vector<ItemGraphEvent> TakeEvents() = 0;
    // Takes the lost stretches found by the events TakeEvents took.
    virtual std::vector<LostStretch> TakeLostStretches() { return {}; }
    // Whether the item built last has put any picture or sound into the file.
    virtual bool WroteSinceBuild() = 0;
};

}  // namespace rizuvira::engine
