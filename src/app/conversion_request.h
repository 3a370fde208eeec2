// SPDX-License-Identifier: GPL-2.0-or-later
// A conversion asked for in one go, as `rizuvira-cli convert` asks for it:
// the choices a user makes in the main window, as data, and the call that
// makes them on a session and the job from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/conversion_job.h"
#include "app/disc_session.h"
#include "core/edit_settings.h"
#include "core/messages.h"
#include "core/output_profile.h"
#include "core/picture_cleanup.h"
#include "core/watermark.h"

namespace rizuvira::app {

// Changes to the current profile's output settings for this run; 0 and
// empty leave the profile's.
struct OutputChanges {
    static constexpr int kSource = -1;  // the size or frame rate of the source
    static constexpr int kProfileQuality = -2;
    int width = 0, height = 0;
    int frame_rate_x1000 = 0;
    std::string video_codec;
    int video_bit_rate = 0;         // also codes to it, unless a quality is given
    int quality = kProfileQuality;  // 0: code to the bit rate
    std::string encoder_preset;
    std::string audio_codec;
    int audio_bit_rate = 0;
    int sample_rate = 0;
    int channels = 0;
};

struct ConversionRequest {
    std::string disc;
    std::string output_folder;  // empty: the current directory
    // The one file the request makes (one item, or merged items), in place
    // of output_folder and the item's name; empty: named as usual.
    std::string output_file;
    // How the files are named (see ExpandNameTemplate); empty: the items'
    // own names ("Title_01").
    std::string name_template;
    std::string profile;      // number (from 1) or name; empty: kDefaultProfileNumber
    std::string catalogue;    // Format.xml to read; empty: the usual places
    std::vector<int> titles;  // indexes from 0, in the order asked; empty: every listed title
    int chapter_title = -1;   // one chapter of one title, indexes from 0
    int chapter = -1;
    int last_chapter = -1;      // a range of chapters, chapter..last_chapter; -1: chapter alone
    bool main_feature = false;  // the longest listed title alone
    // Titles chosen by default (every listed one, or the main feature)
    // shorter than this are left out; 0: none.
    int64_t min_length_ms = 0;
    int64_t trim_start_ms = 0;  // applied to each title
    int64_t trim_end_ms = -1;   // -1: no trim
    core::EditSettings edit = core::kDefaultEditSettings;
    core::Watermark watermark;  // empty text: none
    core::PictureCleanup cleanup;
    std::optional<TrackChoice> audio;        // the first (default) sound track
    std::vector<TrackChoice> further_audio;  // written as tracks of their own after it
    bool every_audio = false;             // every sound track of each title, in its order, instead
    std::optional<TrackChoice> subtitle;  // the subtitle drawn, or the first soft one
    std::vector<TrackChoice> further_subtitles;  // soft subtitles only
    bool soft_subtitles = false;                 // kept as subtitle streams instead of drawn
    bool merge = false;
    bool overwrite = false;  // replace output files that exist
    OutputChanges custom;
    int cpu_usage = 0;  // 0: the settings' own (the session's store)
    // Only an action asked for runs; the desktop program's stored one never.
    AfterAction after = AfterAction::kNone;
};

// What a name template's fields stand for, for one item.
struct NameFields {
    std::string volume;  // the disc's volume name; empty: unknown
    std::string disc;    // the disc's file or folder name (DiscFileName)
    int title = 0;       // from 1
    int chapter = 0;     // from 1; 0 for a whole title
    std::string item;    // "Title_01", "Chapter_01_03"
    int profile_id = 0;  // as -p takes it: from 1
};

// Fills in a file name (without extension) from `name_template`: {volume}
// (the disc's volume name, else {disc}), {disc}, {title} ("01"), {chapter}
// ("03"; empty for a whole title), {item} ("Title_01" or "Chapter_01_03")
// and {profile} (the profile's number); other text is kept. A '/' or control
// character that a field brings becomes '_', as does a leading '.'. False,
// with `error` saying why, for an unknown or unclosed field, a '/' in the
// template, or an empty name.
bool ExpandNameTemplate(const std::string& name_template, const NameFields& fields,
                        std::string* name, std::string* error);

// The fields' {disc}: the last part of `disc_path`, without its extension
// when it is a file ("movie.iso": "movie"), the folder above when that part
// is VIDEO_TS.
std::string DiscFileName(const std::string& disc_path);

enum class RequestOutcome {
    kReady,
    kRefused,     // the request cannot be met (no such profile, title, folder); a message says why
    kCannotOpen,  // the disc cannot be opened; a message says why
    kNothingToConvert,  // no row to convert (none lasts 3 s), and none was skipped
};

struct RequestedJob {
    RequestOutcome outcome = RequestOutcome::kRefused;
    ConversionJob job;
    int skipped = 0;  // rows left out: the trim misses them, or they cannot be read
};

// Makes the request's choices on `session` as a user makes them in the
// main window, in the same order (profile, output folder, disc, rows, trim,
// edit settings, watermark, picture cleanup, tracks), and the job from
// them. The job replaces files that exist only when the request says so
// (kReplace, else kRefuse). Unlike the main window, the output folder is
// the request's or the current directory (never a stored one), a missing
// one is made once there is something to convert, a path that is something
// else is refused, and the folder is not stored. An output file names the
// folder (its parent) and the file; a request for more than one file is then
// refused. A name template names every file; one that gives two files one
// name is refused. `messages` is the session's.
RequestedJob MakeRequestedJob(const ConversionRequest& request, DiscSession* session,
                              core::MessageSink* messages);

}  // namespace rizuvira::app
