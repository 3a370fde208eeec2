// rizuvira-cli: the converter's engine without a display.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/convert_command.h"
#include "cli/info_command.h"

namespace {

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: rizuvira-cli info DISC [--json]\n"
                 "       rizuvira-cli convert DISC [--title N]... [--chapter K] [--profile ID]\n"
                 "            [--out FOLDER] [--formats Format.xml] [--start-ms MS] [--length-ms MS]\n"
                 "            [--audio ID] [--subtitle ID|none] [--cpu PERCENT] [--quiet]\n"
                 "  DISC is a drive (/dev/sr0), a folder holding VIDEO_TS, or an ISO image.\n"
                 "  Titles and chapters count from 1; stream ids are as info --json lists them.\n");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace rizuvira::cli;
    if (argc >= 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
        Usage(stdout);
        return kExitDone;
    }
    if (argc >= 3 && !std::strcmp(argv[1], "info")) {
        bool json = false;
        const char* disc = nullptr;
        int paths = 0;
        for (int i = 2; i < argc; ++i) {
            if (!std::strcmp(argv[i], "--json")) {
                json = true;
            } else {
                disc = argv[i];
                ++paths;
            }
        }
        if (paths == 1) return RunInfo(disc, json, stdout, stderr);
    }
    if (argc >= 2 && !std::strcmp(argv[1], "convert")) {
        ConvertOptions options;
        std::string error;
        if (ParseConvertOptions(argc - 2, argv + 2, &options, &error)) return RunConvert(options);
        std::fprintf(stderr, "rizuvira-cli convert: %s\n", error.c_str());
    }
    Usage(stderr);
    return kExitUsage;
}
