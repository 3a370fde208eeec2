// SPDX-License-Identifier: GPL-2.0-or-later
// One conversion as data: everything Start (or `rizuvira-cli convert`)
// hands to the run. DiscSession::MakeJob makes it from the session's
// choices and the few the front end makes at Start; ConversionRun converts
// it. Two jobs made from the same choices are equal, whichever front end
// made them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/output_profile.h"
#include "core/picture_cleanup.h"
#include "core/watermark.h"
#include "engine/run_controller.h"

namespace rizuvira::app {

// What the machine does after the last item.
enum class AfterAction {
    kStored,      // as the stored setting says ("Shut Down" shuts down)
    kNone,        // nothing
    kShutDown,    // shut down
    kOpenFolder,  // open the output folder
};

// What a front end decides at Start that the session does not hold.
struct JobChoices {
    std::filesystem::path output_folder;
    engine::OverwritePolicy overwrite = engine::OverwritePolicy::kRefuse;
    bool merge = false;  // every item into one file, named after the first
    AfterAction after = AfterAction::kStored;
    int cpu_usage = 0;  // maximum processor use, 50..100; 0: the stored setting
};

// Where the items are read: the disc the session opened, through its
// handle (the session's; the disc stays open while the job runs), or the
// MPEG files of its titles (title t from files[t]).
struct JobSource {
    std::string path;  // as opened
    int32_t dvd_handle = 0;
    std::vector<std::string> files;

    // The same disc: two opens of one path are one source.
    friend bool operator==(const JobSource& a, const JobSource& b) {
        return a.path == b.path && a.files == b.files;
    }
};

struct ConversionJob {
    JobSource source;
    // The checked rows in the order they are converted: each with its output
    // name, its trim, the current edit settings, its tracks and chapters.
    std::vector<engine::BatchRow> items;
    // The current profile; its Settings, with this run's changes, are every
    // file's.
    core::OutputProfile profile{};
    core::Watermark watermark;  // empty text: none
    core::PictureCleanup picture_cleanup;
    std::filesystem::path output_folder;
    engine::OverwritePolicy overwrite = engine::OverwritePolicy::kRefuse;
    bool merge = false;
    // After the last item: shut down, or open the output folder; the stored
    // action ("Shut Down") shuts down too.
    bool shut_down = false;
    bool open_folder = false;
    std::string stored_action;
    int thread_count = 1;  // for the encoders and decoders
    // A file cut short by a cancel is kept as "NAME.partial.EXT" (the
    // command line's choice; the window keeps it under its own name).
    bool cancelled_file_partial = false;

    friend bool operator==(const ConversionJob&, const ConversionJob&) = default;
};

}  // namespace rizuvira::app
