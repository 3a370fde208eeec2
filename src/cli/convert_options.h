// The options of `rizuvira-cli convert`, parsed and checked: what to
// convert, how, and where. Everything here is plain data; parsing touches
// nothing outside the arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/edit_settings.h"
#include "core/picture_cleanup.h"
#include "core/watermark.h"

namespace rizuvira::cli {

enum class AfterOption { kStored, kNone, kShutDown, kOpenFolder };

// A track chosen by its position in the title's list (from 1) or by its
// two- or three-letter language code.
struct TrackChoice {
    int position = 0;       // 0: not by position
    std::string language;   // empty: not by language
    bool none = false;      // subtitles only: no subtitle
};

struct CustomOutput {
    int width = 0, height = 0;  // 0: the profile's
    int frame_rate_x1000 = 0;
    std::string video_codec;
    int video_bit_rate = 0;
    std::string audio_codec;
    int audio_bit_rate = 0;
    int sample_rate = 0;
    int channels = 0;
};

struct ConvertOptions {
    std::string disc;
    std::string output_folder;  // empty: the stored output folder
    std::string profile;        // id or name; empty: id 1
    std::string catalogue;      // Format.xml to read; empty: the usual places
    std::vector<int> titles;    // indexes from 0, in the order asked; empty: every listed title
    int chapter_title = -1;     // --chapter T:C, indexes from 0
    int chapter = -1;
    int64_t trim_start_ms = 0;
    int64_t trim_end_ms = -1;   // -1: no trim
    core::EditSettings edit = core::kDefaultEditSettings;
    core::Watermark watermark;  // empty text: none
    core::PictureCleanup cleanup;  // --deinterlace, --crop auto
    std::optional<TrackChoice> audio;     // the first (default) sound track
    std::vector<TrackChoice> further_audio;  // written as tracks of their own after it
    std::optional<TrackChoice> subtitle;  // the subtitle drawn, or the first soft one
    std::vector<TrackChoice> further_subtitles;  // soft subtitles only
    bool soft_subtitles = false;          // --subtitle-mode soft
    bool merge = false;
    bool overwrite = false;     // -y: replace existing output files
    CustomOutput custom;
    int cpu_usage = 0;          // 0: the stored setting
    AfterOption after = AfterOption::kStored;
    bool json = false;
    bool quiet = false;
};

// Parses the arguments after "convert". False with a one-line reason.
bool ParseConvertOptions(const std::vector<std::string>& args, ConvertOptions* options, std::string* error);

// "1,3-4" or "all" into indexes from 0 (sorted, without repeats); "all"
// gives an empty list. False when malformed or out of 1..99.
bool ParseTitleList(const std::string& text, std::vector<int>* titles);

}  // namespace rizuvira::cli
