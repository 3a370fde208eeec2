// SPDX-License-Identifier: GPL-2.0-or-later
// The options of the Conversion Options window, the ones the command line
// has as --deinterlace, --crop auto, several --audio and --soft-subs: how the
// picture is cleaned up, whether subtitles are drawn or kept as tracks, and
// which sound tracks each file gets. Held by the main window for the run of
// the program, like the watermark, and given to the session before a job is
// made.
#pragma once

#include <vector>

#include "app/disc_session.h"
#include "core/picture_cleanup.h"

namespace rizuvira::app {

struct ConversionOptions {
    core::PictureCleanup cleanup;
    bool soft_subtitles = false;  // kept as subtitle tracks where the container takes them
    // The sound tracks ticked, by their position in a title's list (from 1),
    // in the list's order; the first is the file's default track. Empty: the
    // track chosen in the main window's list, alone.
    std::vector<int> sound_tracks;

    friend bool operator==(const ConversionOptions&, const ConversionOptions&) = default;
};

// Gives `session` the options: the picture cleanup, the subtitle mode and
// the sound tracks (a title that lacks a ticked track leaves it out, with a
// note, when the job is made).
void ApplyConversionOptions(const ConversionOptions& options, DiscSession* session);

// The chapters of row `row`'s title when the row is a whole title of an open
// DVD; 0 when there is no range to choose (a chapter row, a plain file).
int ChapterCount(const DiscSession& session, int row);
// A chapter range of the selected title: chapters `first`..`last` (from 1,
// both included) of row `row` become its trim, as the editor's trim would
// (its "Trimmed Length" follows). False, changing nothing, when the row has
// no chapters to choose or the range is not inside them.
bool TrimToChapters(DiscSession* session, int row, int first, int last);

}  // namespace rizuvira::app
