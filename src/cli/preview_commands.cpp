// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/preview_commands.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/disc_session.h"
#include "app/preview_controller.h"
#include "cli/info_command.h"
#include "core/messages.h"
#include "core/settings_store.h"
#include "core/time_text.h"
#include "engine/preview_player.h"
#include "filters/snapshot.h"

namespace rizuvira::cli {
namespace {

// Seconds from "12.5" or "00:01:02.250"; negative when the text is neither.
double ParseTime(const std::string& text) {
    const int64_t ms = core::ParseTimeText(text, core::TimeSyntax::kStrict);
    return ms < 0 ? -1 : static_cast<double>(ms) / 1000.0;
}

struct PreviewArgs {
    std::string disc;
    int title = 0;  // from 0
    double at_seconds = 0;
    std::string output;
};

bool Parse(const std::vector<std::string>& args, bool snapshot, PreviewArgs* out,
           const char* name) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        if ((arg == "--title" || arg == "-t") && has_value) {
            out->title = std::atoi(args[++i].c_str()) - 1;
        } else if (snapshot && arg == "--at" && has_value) {
            out->at_seconds = ParseTime(args[++i]);
        } else if (snapshot && (arg == "-o" || arg == "--output") && has_value) {
            out->output = args[++i];
        } else if (!arg.empty() && arg[0] != '-' && out->disc.empty()) {
            out->disc = arg;
        } else {
            std::fprintf(stderr, "rizuvira-cli %s: unexpected %s\n", name, arg.c_str());
            return false;
        }
    }
    if (out->disc.empty() || out->title < 0 || (snapshot && out->at_seconds < 0)) {
        std::fprintf(stderr, "rizuvira-cli %s: a disc, a title from 1%s are needed\n", name,
                     snapshot ? " and a time" : "");
        return false;
    }
    return true;
}

}  // namespace

int RunSnapshot(const std::vector<std::string>& args) {
    PreviewArgs parsed;
    if (!Parse(args, true, &parsed, "snapshot")) return kExitUsage;
    // Without -o, or with a folder, the file is named as the main window
    // names it, a BMP picture; without -o in the current directory (the
    // desktop program's stored folder and type are not read).
    core::Settings settings = core::DefaultSettings();
    if (parsed.output.empty()) {
        std::error_code error;
        parsed.output = std::filesystem::current_path(error).string();
        if (error) {
            std::fprintf(stderr,
                         "rizuvira-cli snapshot: the current directory cannot be read (%s); "
                         "-o names the folder\n",
                         error.message().c_str());
            return kExitUsage;
        }
    }
    parsed.output = app::SnapshotPath(parsed.output, settings, std::time(nullptr)).string();
    if (filters::SnapshotTypeFromPath(parsed.output) == filters::SnapshotType::kUnknown) {
        std::fprintf(stderr,
                     "rizuvira-cli snapshot: the file must end in .png, .bmp, .jpg or .gif\n");
        return kExitUsage;
    }
    if (const std::string problem = app::SnapshotFolderProblem(parsed.output); !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    // A still picture needs no sound device.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    core::StderrMessages messages;
    if (!engine::SaveTitleSnapshot(parsed.disc, parsed.title, parsed.at_seconds, parsed.output,
                                   &messages))
        return 1;
    std::printf("%s\n", parsed.output.c_str());
    return kExitDone;
}

int RunPlay(const std::vector<std::string>& args) {
    PreviewArgs parsed;
    if (!Parse(args, false, &parsed, "play")) return kExitUsage;
    core::StderrMessages messages;
    const bool played = engine::PlayTitle(
        parsed.disc, parsed.title, &messages, [](double position, double duration) {
            std::fprintf(stderr, "\r%8.1f / %.1f s", position, duration);
        });
    std::fputc('\n', stderr);
    return played ? kExitDone : 1;
}

}  // namespace rizuvira::cli
