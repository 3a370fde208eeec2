// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli: the converter's engine without a display.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "cli/convert_command.h"
#include "cli/info_command.h"
#include "cli/preview_commands.h"

namespace {

// The commands and what DISC may be.
constexpr const char* kCommands =
    "usage: rizuvira-cli info DISC [--json]\n"
    "       rizuvira-cli profiles [--catalogue FILE] [--json]\n"
    "       rizuvira-cli convert DISC [options]\n"
    "       rizuvira-cli snapshot DISC --title N --at TIME [-o FILE.(png|bmp|jpg|gif)|FOLDER]\n"
    "                          (default: a BMP named by the time, in the current directory)\n"
    "       rizuvira-cli play DISC --title N\n"
    "       rizuvira-cli drives [--json]\n"
    "       rizuvira-cli --version\n"
    "\n"
    "DISC is a drive (/dev/sr0), a folder holding VIDEO_TS, or an ISO image; an\n"
    "unencrypted Blu-ray folder (BDMV, or the folder holding it) or image, whose\n"
    "playlists of 10 s or more are its titles, the main feature marked; or a plain\n"
    "file of one title: an MPEG program stream or VOB (.mpg, .vob), a transport stream\n"
    "(.ts, .m2ts; of several programs, the first with video), or a bare MPEG-1/2 video\n"
    "stream (.m2v). Pictures in MPEG-1/2 or H.264; sound in MPEG audio, AC-3, DTS,\n"
    "LPCM or AAC. Other files are refused with a message.\n"
    "Titles, chapters, tracks and profiles count from 1, as info and profiles list them.\n"
    "`drives` lists the optical drives and mounted discs, with the volume name of each\n"
    "inserted disc.\n"
    "Encrypted (CSS) DVDs are read when libdvdcss is installed: libdvdread loads it.\n"
    "On Debian, enable the contrib section, install libdvd-pkg and run\n"
    "`sudo dpkg-reconfigure libdvd-pkg` (it builds and installs libdvdcss2).\n";

// The options of convert, and how it writes and ends.
constexpr const char* kConvertHelp =
    "convert options:\n"
    "  -o, --output DIR|FILE   output folder, made when missing (default: the current\n"
    "                          directory); a path ending in a media file extension (.mp4,\n"
    "                          .mkv, ...) or naming a file that exists is the output file\n"
    "                          itself, for one item (or --merge); its extension chooses\n"
    "                          the container\n"
    "  -p, --profile N|NAME    output profile, see `profiles`: the shipped ones, then those\n"
    "                          saved in the desktop program, by the number `profiles`\n"
    "                          lists (from 1) or name (default: 2)\n"
    "      --catalogue FILE    profile catalogue (default: the file $RIZUVIRA_CATALOGUE "
    "names,\n"
    "                          else the shipped one; a Format.xml in the working folder is\n"
    "                          read only when named here)\n"
    "  -t, --titles LIST       titles to convert, e.g. 1,3-4 or all (default: every listed "
    "title)\n"
    "      --main-feature      the longest listed title alone\n"
    "      --min-length TIME   leave out the titles shorter than TIME (seconds, or\n"
    "                          [hh:]mm:ss) unless -t names them\n"
    "      --chapter T:C       one chapter of title T (item \"Chapter_TT_CC\")\n"
    "      --chapters T:A-B    chapters A to B of title T as one file\n"
    "                          (item \"Chapter_TT_AA-BB\")\n"
    "      --trim START-END    hh:mm:ss[.mmm]-hh:mm:ss[.mmm], applied to each chosen title\n"
    "      --crop L,T,R,B      crop rectangle in source pixels\n"
    "      --crop auto         measure each title's black borders and crop them\n"
    "      --deinterlace auto|on|off  deinterlace (auto: interlaced pictures only; telecined\n"
    "                          film back to 23.976 fps when the output runs at 23.976)\n"
    "      --zoom MODE         keep, full, 16:9 or 4:3 (default: keep)\n"
    "      --brightness N      0..256, 128 leaves the picture\n"
    "      --saturation N      0..128, 64 leaves the picture\n"
    "      --hue N             -180..180 degrees\n"
    "      --volume N          0..512, 256 leaves the sound\n"
    "      --watermark TEXT    draw TEXT into every picture (up to 63 characters), on a white "
    "box\n"
    "      --watermark-font FAMILY  font family (default: DejaVu Sans)\n"
    "      --watermark-size PX      text height in output pixels, 4..400 (default: 32)\n"
    "      --watermark-colour RRGGBB  text colour in hexadecimal (default: 000000)\n"
    "      --watermark-pos X,Y      top-left corner in output pixels (default: 16,16)\n"
    "      --watermark-opacity N    0..100 percent (default: 50)\n"
    "      --audio LIST        audio tracks by position in the title's list or language code,\n"
    "                          e.g. 1,3 or en,fr: each a track of its own, the first the\n"
    "                          default (default: the first track); all: every track of\n"
    "                          the title, each with its language\n"
    "      --subtitle LIST|none  subtitle drawn into the picture (default: the first one);\n"
    "                          with --subtitle-mode soft, the tracks kept as subtitle streams\n"
    "      --subtitle-mode MODE  burn (default) or soft: DVD subtitle streams in MKV and MP4,\n"
    "                          drawn into the picture in other containers\n"
    "      --merge             all items into one file, named after the first\n"
    "  -y, --overwrite         replace output files that exist (default: refuse to start)\n"
    "      --name TEMPLATE     file names (the profile's extension is added): {item} (the\n"
    "                          default: Title_01, Chapter_01_03), {volume} (the disc's\n"
    "                          volume name, else {disc}), {disc} (the disc's file or folder\n"
    "                          name), {title} (01), {chapter} (03; empty for a title),\n"
    "                          {profile} (its number); e.g. --name '{volume}_{item}' keeps\n"
    "                          the files of many discs in one folder apart\n"
    "  -n, --skip-existing     leave out the items whose output file exists, convert the\n"
    "                          rest (for reruns)\n"
    "      --size WxH|source   output picture size; source: the source's lines, its\n"
    "                          display aspect written into the file\n"
    "      --fps N|source      output frame rate (29.97 and 23.976 are the NTSC rates);\n"
    "                          source: the source's (telecined film back at 23.976)\n"
    "      --vcodec NAME       video encoder (FFmpeg name)\n"
    "      --vbitrate N        video bit rate, bits per second (codes to it, unless\n"
    "                          --quality is given)\n"
    "      --quality N         constant quality: x264/x265 CRF (0..51), VP9 CRF (0..63),\n"
    "                          MPEG-4/MPEG-2 quantiser (1..31); lower is better; 0 codes\n"
    "                          to the bit rate; auto: what suits the encoder (x264 22,\n"
    "                          x265 24, VP9 32, MPEG quantiser 4)\n"
    "      --encoder-preset NAME  encoder speed: x264/x265 preset (ultrafast .. veryslow),\n"
    "                          VP9 cpu-used (0 slowest .. 8 fastest)\n"
    "      --acodec NAME       audio encoder (FFmpeg name); copy: the sound as on the disc\n"
    "                          (AC-3, E-AC-3, DTS and MPEG audio frames kept as they are,\n"
    "                          LPCM as PCM, others as FLAC), where the container takes it\n"
    "      --abitrate N        audio bit rate, bits per second\n"
    "      --rate N            audio sample rate, Hz\n"
    "      --channels N        audio channels\n"
    "      --cpu PERCENT       maximum processor use, 50..100 (default: 50)\n"
    "      --after ACTION      after the last item: none (default), shutdown (systemctl\n"
    "                          poweroff) or open-folder (xdg-open)\n"
    "      --json              progress and results as JSON lines on standard output\n"
    "                          (schema: docs/json.md; each names its disc, title and file)\n"
    "  -q, --quiet             no progress\n"
    "  -v, --verbose           the plan (items, files, profile, threads) and each file's\n"
    "                          result; -vv also FFmpeg's warnings\n"
    "      --log FILE          append the messages, the plan, a progress line every 5 s\n"
    "                          and the files written to FILE, each with the UTC time\n"
    "Short options combine: -yq is -y -q, -t3 is -t 3.\n"
    "Progress: on a terminal, bars on standard error; otherwise (a pipe, a job\n"
    "scheduler's log) one plain line when an item starts and every 5 s.\n"
    "\n"
    "Each file is written under a temporary name (.NAME.XXXXXX.part) in the output folder\n"
    "and gets its name when finished. Ctrl-C, SIGTERM or SIGHUP cancels: the file being\n"
    "written is finished, playable, as NAME.partial.EXT (never under its own name, so a\n"
    "rerun with -n converts the item again). A temporary file left by a killed run is\n"
    "removed by the next run into its folder. A file that cannot be written (a full disk)\n"
    "fails its item.\n"
    "The desktop program's stored choices (output and snapshot folders, after-action,\n"
    "processor use) are never read here; only the profiles saved in it are.\n"
    "Exit codes: 0 all converted, 1 an item failed or the run was cancelled,\n"
    "2 usage error, 3 the disc cannot be opened, 4 an output file exists (without -y or\n"
    "-n; nothing was converted). With -n, items skipped because their file exists count\n"
    "as converted.\n";

void Usage(std::FILE* to) {
    std::fprintf(to, "%s\n%s", kCommands, kConvertHelp);
}

// `rizuvira-cli COMMAND --help` for the commands other than convert: the
// command's own usage lines from the list above; false for an unknown command.
bool CommandUsage(const std::string& command, std::FILE* to) {
    const std::string_view commands(kCommands);
    const std::string wanted = "rizuvira-cli " + command + " ";
    const size_t at = commands.find(wanted);
    if (command.empty() || at == std::string_view::npos) return false;
    size_t end = commands.find('\n', at);
    // A continuation line (indented further) belongs to the command.
    while (end != std::string_view::npos && commands.substr(end + 1).starts_with("          "))
        end = commands.find('\n', end + 1);
    const std::string_view usage = commands.substr(at, end - at);
    std::fprintf(to, "usage: %.*s\n", static_cast<int>(usage.size()), usage.data());
    if (usage.find("DISC") != std::string_view::npos)
        std::fprintf(to,
                     "\n(DISC: a drive, a VIDEO_TS folder, a disc image or a plain MPEG file;"
                     " see rizuvira-cli --help)\n");
    return true;
}

// `rizuvira-cli convert --help`: its usage line and options only.
void ConvertUsage(std::FILE* to) {
    std::fprintf(
        to, "usage: rizuvira-cli convert DISC [options]   (DISC: see rizuvira-cli --help)\n\n%s",
        kConvertHelp);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace rizuvira::cli;
    // The engine reports its own failures; the libraries' chatter about
    // the pictures they decode would only bury the progress.
    av_log_set_level(AV_LOG_FATAL);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "-h" || args[0] == "--help" || args[0] == "help")) {
        Usage(stdout);
        return kExitDone;
    }
    if (!args.empty() && args[0] == "--version") {
        std::printf("rizuvira-cli %s\n", RIZUVIRA_VERSION);
        return kExitDone;
    }
    const std::string command = args.empty() ? "" : args[0];
    const std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
    for (const std::string& arg : rest) {
        if (arg == "-h" || arg == "--help") {
            if (command == "convert")
                ConvertUsage(stdout);
            else if (!CommandUsage(command, stdout))
                Usage(stdout);
            return kExitDone;
        }
    }
    if (command == "info") {
        bool json = false;
        std::vector<std::string> paths;
        for (const std::string& arg : rest) {
            if (arg == "--json")
                json = true;
            else if (arg.size() > 1 && arg[0] == '-') {
                std::fprintf(stderr, "rizuvira-cli info: unknown option %s\n", arg.c_str());
                return kExitUsage;
            } else
                paths.push_back(arg);
        }
        if (paths.size() == 1) return RunInfo(paths[0].c_str(), json, stdout, stderr);
        std::fprintf(stderr, "rizuvira-cli info: one disc, please\n");
        return kExitUsage;
    }
    if (command == "profiles") {
        bool json = false;
        std::string catalogue;
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == "--json")
                json = true;
            else if (rest[i] == "--catalogue" && i + 1 < rest.size())
                catalogue = rest[++i];
            else {
                std::fprintf(stderr, "rizuvira-cli profiles: unexpected %s\n", rest[i].c_str());
                return kExitUsage;
            }
        }
        return RunProfiles(catalogue, json, stdout);
    }
    if (command == "convert") {
        ConvertOptions options;
        std::string error;
        if (ParseConvertOptions(rest, &options, &error)) return RunConvert(options, stdout);
        std::fprintf(stderr, "rizuvira-cli convert: %s (see rizuvira-cli --help)\n", error.c_str());
        return kExitUsage;
    }
    if (command == "drives") {
        const bool json = rest.size() == 1 && rest[0] == "--json";
        if (!rest.empty() && !json) {
            std::fprintf(stderr, "rizuvira-cli drives: unexpected %s\n", rest[0].c_str());
            return kExitUsage;
        }
        return RunDrives(json, stdout);
    }
    if (command == "snapshot") return RunSnapshot(rest);
    if (command == "play") return RunPlay(rest);
    if (command.empty())
        std::fprintf(stderr, "rizuvira-cli: a command is needed\n");
    else
        std::fprintf(stderr, "rizuvira-cli: unknown command %s\n", command.c_str());
    Usage(stderr);
    return kExitUsage;
}
