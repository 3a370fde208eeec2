// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/convert_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "core/output_limits.h"
#include "core/time_text.h"
#include "dvd/dvd_access.h"
#include "filters/video_geometry.h"

namespace rizuvira::cli {
namespace {

bool ParseInt(const std::string& text, int64_t* value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    auto [ptr, error] = std::from_chars(begin, end, *value);
    return error == std::errc() && ptr == end && begin != end;
}

bool ParseIntIn(const std::string& text, int64_t low, int64_t high, int* value) {
    int64_t number = 0;
    if (!ParseInt(text, &number) || number < low || number > high) return false;
    *value = static_cast<int>(number);
    return true;
}

// A whole number for an output setting, checked as a catalogue's value is.
bool ParseOutputValue(const std::string& text, core::OutputField field, int* value) {
    int64_t number = 0;
    if (!ParseInt(text, &number) || !core::OutputValueProblem(field, number).empty()) return false;
    *value = static_cast<int>(number);
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

bool ParseTrack(const std::string& text, bool allow_none, app::TrackChoice* choice) {
    *choice = {};
    if (allow_none && text == "none") {
        choice->none = true;
        return true;
    }
    if (ParseIntIn(text, 1, dvd::kDvdMaxStreams, &choice->position)) return true;
    if ((text.size() == 2 || text.size() == 3) &&
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalpha(c); })) {
        for (char c : text)
            choice->language += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return true;
    }
    return false;
}

// "1,3" or "en,fr": the first track and the ones after it; "none" stands alone.
bool ParseTrackList(const std::string& text, bool allow_none,
                    std::optional<app::TrackChoice>* first,
                    std::vector<app::TrackChoice>* further) {
    further->clear();
    const std::vector<std::string> parts = Split(text, ',');
    if (parts.empty() || parts.size() > static_cast<size_t>(dvd::kDvdMaxStreams)) return false;
    for (size_t i = 0; i < parts.size(); ++i) {
        app::TrackChoice choice;
        if (!ParseTrack(parts[i], allow_none && parts.size() == 1, &choice)) return false;
        if (i == 0)
            *first = choice;
        else
            further->push_back(choice);
    }
    return true;
}

// UTF-16 code units of UTF-8 text: one per character, two above U+FFFF (a four-byte sequence).
std::size_t Utf16Units(const std::string& text) {
    std::size_t units = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++units;
        if ((c & 0xF8) == 0xF0) ++units;
    }
    return units;
}

bool ParseColour(std::string text, uint32_t* colour) {
    if (!text.empty() && text[0] == '#') text.erase(0, 1);
    if (text.size() != 6 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); }))
        return false;
    const auto rgb = static_cast<uint32_t>(std::stoul(text, nullptr, 16));
    // RRGGBB as typed; the record holds 0x00BBGGRR.
    *colour = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    return true;
}

}  // namespace

bool NamesOutputFile(const std::string& path) {
    // The containers of the shipped profiles and their usual relatives.
    static const std::set<std::string> kMediaExtensions{
        ".3g2", ".3gp", ".aac",  ".ac3", ".asf", ".avi", ".dv",   ".flac", ".flv", ".m2ts", ".m4a",
        ".m4v", ".mka", ".mkv",  ".mov", ".mp2", ".mp3", ".mp4",  ".mpeg", ".mpg", ".mts",  ".oga",
        ".ogg", ".ogv", ".opus", ".ts",  ".vob", ".wav", ".webm", ".wma",  ".wmv"};
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) return false;
    if (fs::is_regular_file(status)) return true;
    std::string extension = fs::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return kMediaExtensions.count(extension) > 0;
}

bool ParseTitleList(const std::string& text, std::vector<int>* titles) {
    titles->clear();
    if (text == "all") return true;
    std::set<int> chosen;
    for (const std::string& part : Split(text, ',')) {
        const std::vector<std::string> range = Split(part, '-');
        int first = 0, last = 0;
        if (range.size() > 2 || !ParseIntIn(range[0], 1, dvd::kDvdMaxTitles, &first)) return false;
        last = first;
        if (range.size() == 2 &&
            (!ParseIntIn(range[1], 1, dvd::kDvdMaxTitles, &last) || last < first))
            return false;
        // In the order asked; a title named again keeps its first place.
        for (int t = first; t <= last; ++t)
            if (chosen.insert(t - 1).second) titles->push_back(t - 1);
    }
    return !titles->empty();
}

bool ParseConvertOptions(const std::vector<std::string>& args_in, ConvertOptions* options,
                         std::string* error) {
    // "--name=value" is the same as "--name value".
    std::vector<std::string> args;
    for (const std::string& arg : args_in) {
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            args.push_back(arg.substr(0, equals));
            args.push_back(arg.substr(equals + 1));
        } else {
            args.push_back(arg);
        }
    }
    auto fail = [&](const std::string& why) {
        *error = why;
        return false;
    };
    core::EditSettings& edit = options->edit;
    bool watermark_options = false;
    std::string template_error;
    using Handler = std::function<bool(const std::string&)>;
    auto level = [](int* field, int low, int high) {
        return [field, low, high](const std::string& v) { return ParseIntIn(v, low, high, field); };
    };
    auto output_value = [](int* field, core::OutputField which) {
        return [field, which](const std::string& v) { return ParseOutputValue(v, which, field); };
    };
    const std::map<std::string, std::pair<Handler, const char*>> valued{
        {"--output",
         {[&](const std::string& v) {
              options->output_folder = v;
              return !v.empty();
          },
          "a folder, or a media file for one output"}},
        {"--name",
         {[&](const std::string& v) {
              options->name_template = v;
              app::NameFields sample;
              sample.disc = "disc";
              sample.item = "Title_01";
              sample.chapter = 1;
              std::string name;
              return ExpandNameTemplate(v, sample, &name, &template_error);
          },
          "a template of {volume}, {disc}, {title}, {chapter}, {item}, {profile} and text"}},
        {"--profile",
         {[&](const std::string& v) {
              options->profile = v;
              return !v.empty();
          },
          "an id or a name"}},
        {"--catalogue",
         {[&](const std::string& v) {
              options->catalogue = v;
              return !v.empty();
          },
          "a file"}},
        {"--titles",
         {[&](const std::string& v) { return ParseTitleList(v, &options->titles); },
          "a list like 1,3-4 or all"}},
        {"--chapter",
         {[&](const std::string& v) {
              const std::vector<std::string> tc = Split(v, ':');
              int t = 0, c = 0;
              if (tc.size() != 2 || !ParseIntIn(tc[0], 1, dvd::kDvdMaxTitles, &t) ||
                  !ParseIntIn(tc[1], 1, dvd::kDvdMaxChapters, &c))
                  return false;
              options->chapter_title = t - 1;
              options->chapter = c - 1;
              options->last_chapter = -1;
              return true;
          },
          "TITLE:CHAPTER, both from 1"}},
        {"--chapters",
         {[&](const std::string& v) {
              const std::vector<std::string> tc = Split(v, ':');
              if (tc.size() != 2) return false;
              const std::vector<std::string> range = Split(tc[1], '-');
              int t = 0, first = 0, last = 0;
              if (range.size() > 2 || !ParseIntIn(tc[0], 1, dvd::kDvdMaxTitles, &t) ||
                  !ParseIntIn(range[0], 1, dvd::kDvdMaxChapters, &first))
                  return false;
              last = first;
              if (range.size() == 2 && (!ParseIntIn(range[1], first, dvd::kDvdMaxChapters, &last)))
                  return false;
              options->chapter_title = t - 1;
              options->chapter = first - 1;
              options->last_chapter = last - 1;
              return true;
          },
          "TITLE:FIRST-LAST, all from 1, LAST not before FIRST"}},
        {"--min-length",
         {[&](const std::string& v) {
              options->min_length_ms = core::ParseTimeText(v, core::TimeSyntax::kStrict);
              return options->min_length_ms >= 0;
          },
          "seconds, or [hh:]mm:ss"}},
        {"--log",
         {[&](const std::string& v) {
              options->log_file = v;
              return !v.empty();
          },
          "a file"}},
        {"--trim",
         {[&](const std::string& v) {
              const size_t dash = v.find('-');
              if (dash == std::string::npos) return false;
              const core::TimeSyntax syntax = core::TimeSyntax::kStrict;
              options->trim_start_ms = core::ParseTimeText(v.substr(0, dash), syntax);
              options->trim_end_ms = core::ParseTimeText(v.substr(dash + 1), syntax);
              return options->trim_start_ms >= 0 && options->trim_end_ms > options->trim_start_ms;
          },
          "START-END as hh:mm:ss[.mmm], END after START"}},
        {"--crop",
         {[&](const std::string& v) {
              if (v == "auto") {
                  options->cleanup.auto_crop = true;
                  return true;
              }
              options->cleanup.auto_crop = false;
              const std::vector<std::string> p = Split(v, ',');
              int l = 0, t = 0, r = 0, b = 0;
              // Checked against each title's own picture size once the disc is open.
              constexpr int kMax = filters::kMaxPictureSide;
              if (p.size() != 4 || !ParseIntIn(p[0], 0, kMax - 1, &l) ||
                  !ParseIntIn(p[1], 0, kMax - 1, &t) || !ParseIntIn(p[2], l + 1, kMax, &r) ||
                  !ParseIntIn(p[3], t + 1, kMax, &b))
                  return false;
              edit.crop_left = l, edit.crop_top = t, edit.crop_right = r, edit.crop_bottom = b;
              return true;
          },
          "auto, or LEFT,TOP,RIGHT,BOTTOM in source pixels with left < right and top < bottom"}},
        {"--deinterlace",
         {[&](const std::string& v) {
              return core::ParseDeinterlaceMode(v, &options->cleanup.deinterlace);
          },
          "auto, on or off"}},
        {"--zoom",
         {[&](const std::string& v) {
              static const std::map<std::string, int> modes{{"keep", core::kZoomKeepOriginal},
                                                            {"full", core::kZoomFullScreen},
                                                            {"16:9", core::kZoom16x9},
                                                            {"4:3", core::kZoom4x3}};
              const auto found = modes.find(v);
              if (found == modes.end()) return false;
              edit.zoom_mode = found->second;
              return true;
          },
          "keep, full, 16:9 or 4:3"}},
        {"--brightness", {level(&edit.brightness, 0, 256), "0..256 (128 leaves it)"}},
        {"--saturation", {level(&edit.saturation, 0, 128), "0..128 (64 leaves it)"}},
        {"--hue", {level(&edit.hue_degrees, -180, 180), "-180..180 degrees"}},
        {"--volume", {level(&edit.volume, 0, 512), "0..512 (256 leaves it)"}},
        {"--audio",
         {[&](const std::string& v) {
              options->every_audio = v == "all";
              return options->every_audio ||
                     ParseTrackList(v, false, &options->audio, &options->further_audio);
          },
          "track numbers from 1 or language codes, separated by commas, or all"}},
        {"--subtitle",
         {[&](const std::string& v) {
              return ParseTrackList(v, true, &options->subtitle, &options->further_subtitles);
          },
          "track numbers from 1 or language codes, separated by commas, or none"}},
        {"--subtitle-mode",
         {[&](const std::string& v) {
              options->soft_subtitles = v == "soft";
              return v == "soft" || v == "burn";
          },
          "soft or burn"}},
        {"--size",
         {[&](const std::string& v) {
              if (v == core::kSameAsSourceKey) {
                  options->custom.width = options->custom.height = app::OutputChanges::kSource;
                  return true;
              }
              const std::vector<std::string> wh = Split(v, 'x');
              return wh.size() == 2 &&
                     ParseOutputValue(wh[0], core::OutputField::kWidth, &options->custom.width) &&
                     ParseOutputValue(wh[1], core::OutputField::kHeight, &options->custom.height);
          },
          "WIDTHxHEIGHT, even numbers from 16 to 4096, or source"}},
        {"--fps",
         {[&](const std::string& v) {
              if (v == core::kSameAsSourceKey) {
                  options->custom.frame_rate_x1000 = app::OutputChanges::kSource;
                  return true;
              }
              char* end = nullptr;
              const double fps = std::strtod(v.c_str(), &end);
              if (v.empty() || *end || !(fps >= 0 && fps <= 1e6)) return false;
              const auto x1000 = static_cast<int>(std::lround(fps * 1000));
              if (!core::OutputValueProblem(core::OutputField::kFrameRate, x1000).empty())
                  return false;
              options->custom.frame_rate_x1000 = x1000;
              return true;
          },
          "frames per second, 1 to 120 (29.97 and 23.976 for NTSC), or source"}},
        {"--quality",
         {[&, level](const std::string& v) {
              if (v != "auto") return level(&options->custom.quality, 0, 63)(v);
              options->custom.quality = core::kEncodersOwnQuality;
              return true;
          },
          "a number from 0 to 63: the encoder's CRF, or quantiser (0: the bit rate), or auto"}},
        {"--encoder-preset",
         {[&](const std::string& v) {
              options->custom.encoder_preset = v;
              return !v.empty() && v.size() < 16;
          },
          "an x264/x265 preset (ultrafast .. veryslow) or a VP9 speed (0 .. 8)"}},
        {"--vcodec",
         {[&](const std::string& v) {
              options->custom.video_codec = v;
              return !v.empty() && v.size() < 16;
          },
          "an encoder name"}},
        {"--acodec",
         {[&](const std::string& v) {
              options->custom.audio_codec = v;
              return !v.empty() && v.size() < 16;
          },
          "an encoder name"}},
        {"--vbitrate",
         {output_value(&options->custom.video_bit_rate, core::OutputField::kVideoBitRate),
          "bits per second, 1000 to 200000000"}},
        {"--abitrate",
         {output_value(&options->custom.audio_bit_rate, core::OutputField::kAudioBitRate),
          "bits per second, 1000 to 2000000"}},
        {"--rate",
         {output_value(&options->custom.sample_rate, core::OutputField::kSampleRate),
          "a sample rate in Hz, 8000 to 192000"}},
        {"--channels",
         {output_value(&options->custom.channels, core::OutputField::kChannels), "1 to 8"}},
        {"--cpu", {level(&options->cpu_usage, 50, 100), "a percentage from 50 to 100"}},
        {"--watermark",
         {[&](const std::string& v) {
              options->watermark.text = v;
              return !v.empty() &&
                     Utf16Units(v) <= static_cast<std::size_t>(core::kMaxWatermarkUnits);
          },
          "a text of 1 to 63 characters"}},
        {"--watermark-font",
         {[&](const std::string& v) {
              options->watermark.font_family = v;
              watermark_options = true;
              return !v.empty() && v.size() < 64;
          },
          "a font family name, as fc-list shows it"}},
        {"--watermark-size",
         {[&](const std::string& v) {
              watermark_options = true;
              return ParseIntIn(v, 4, 400, &options->watermark.font_size_px);
          },
          "the text's height in output pixels, 4..400"}},
        {"--watermark-colour",
         {[&](const std::string& v) {
              watermark_options = true;
              return ParseColour(v, &options->watermark.colour);
          },
          "RRGGBB in hexadecimal"}},
        {"--watermark-pos",
         {[&](const std::string& v) {
              const std::vector<std::string> xy = Split(v, ',');
              watermark_options = true;
              return xy.size() == 2 && ParseIntIn(xy[0], 0, 4096, &options->watermark.x) &&
                     ParseIntIn(xy[1], 0, 4096, &options->watermark.y);
          },
          "X,Y of the text's top-left corner in output pixels"}},
        {"--watermark-opacity",
         {[&](const std::string& v) {
              int percent = 0;
              watermark_options = true;
              if (!ParseIntIn(v, 0, 100, &percent)) return false;
              options->watermark.alpha = static_cast<float>(percent) / 100.0f;
              return true;
          },
          "a percentage from 0 (invisible) to 100 (opaque)"}},
        {"--after",
         {[&](const std::string& v) {
              if (v == "none")
                  options->after = app::AfterAction::kNone;
              else if (v == "shutdown")
                  options->after = app::AfterAction::kShutDown;
              else if (v == "open-folder")
                  options->after = app::AfterAction::kOpenFolder;
              else
                  return false;
              return true;
          },
          "none, shutdown or open-folder"}},
    };
    const std::map<std::string, std::string> short_names{
        {"-o", "--output"},
        {"-p", "--profile"},
        {"-t", "--titles"},
        {"--watermark-color", "--watermark-colour"}};

    for (size_t i = 0; i < args.size(); ++i) {
        // Short options joined: "-t3" is "-t 3", "-yq" is "-y -q".
        if (args[i].size() > 2 && args[i][0] == '-' && args[i][1] != '-') {
            const std::string joined = args[i];
            std::vector<std::string> apart{joined.substr(0, 2)};
            if (short_names.count(apart[0])) {
                apart.push_back(joined.substr(2));
            } else if (joined.find_first_not_of("yqnv", 1) == std::string::npos) {
                for (size_t c = 2; c < joined.size(); ++c) apart.push_back({'-', joined[c]});
            } else {
                apart.clear();
            }
            if (!apart.empty()) {
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
                args.insert(args.begin() + static_cast<std::ptrdiff_t>(i), apart.begin(),
                            apart.end());
            }
        }
        std::string arg = args[i];
        if (auto found = short_names.find(arg); found != short_names.end()) arg = found->second;
        if (arg == "--merge") {
            options->merge = true;
        } else if (arg == "-y" || arg == "--overwrite") {
            options->overwrite = true;
        } else if (arg == "-n" || arg == "--skip-existing") {
            options->skip_existing = true;
        } else if (arg == "--json") {
            options->json = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options->quiet = true;
        } else if (arg == "-v" || arg == "--verbose") {
            ++options->verbose;
        } else if (arg == "--main-feature") {
            options->main_feature = true;
        } else if (auto option = valued.find(arg); option != valued.end()) {
            if (i + 1 >= args.size()) return fail(arg + " needs a value: " + option->second.second);
            if (!option->second.first(args[++i]))
                return fail("bad value '" + args[i] + "' for " + arg + ": " +
                            (template_error.empty() ? option->second.second : template_error));
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option " + args[i]);
        } else if (options->disc.empty()) {
            options->disc = arg;
        } else {
            return fail("one disc at a time ('" + arg + "' is a second one)");
        }
    }
    if (options->disc.empty()) return fail("no disc given");
    if (options->overwrite && options->skip_existing)
        return fail("-y (--overwrite) and -n (--skip-existing) exclude each other");
    if (NamesOutputFile(options->output_folder)) {
        options->output_file = options->output_folder;
        options->output_folder.clear();
        if (!options->name_template.empty())
            return fail("--name and an output file (-o " + options->output_file +
                        ") exclude each other");
    }
    if (watermark_options && !options->watermark.enabled())
        return fail("the --watermark-* options need --watermark TEXT");
    const bool chapters = options->chapter >= 0;
    if (chapters && !options->titles.empty())
        return fail("--chapter(s) and --titles exclude each other");
    if (options->main_feature && (chapters || !options->titles.empty()))
        return fail("--main-feature and --titles or --chapter(s) exclude each other");
    if (options->quiet && options->verbose)
        return fail("-q (--quiet) and -v (--verbose) exclude each other");
    return true;
}

}  // namespace rizuvira::cli
