// `rizuvira-cli convert DISC [options]`: converts titles of a disc with a
// profile of the catalogue, one file per title, through the same conversion
// graph the GUI runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rizuvira::cli {

struct ConvertOptions {
    std::string disc;
    std::vector<int> titles;  // indexes from 0; empty: every listed title
    int chapter = -1;         // -1: whole titles
    int profile_id = 1;
    std::string formats;      // Format.xml; empty: the usual places
    std::string output_folder = ".";
    int64_t start_ms = 0;
    int64_t length_ms = -1;   // -1: to the end of the title
    int audio_id = 0;         // 0: the title's first audio track
    int subtitle_id = -1;     // -1: none
    int cpu_usage = 100;      // percent of the cores for the encoders and decoders
    bool quiet = false;
};

// Exit codes beyond those of info: 4 a file could not be written or a title
// failed to convert, 5 the profile does not exist, 6 the disc is encrypted,
// 130 interrupted (the file written so far is closed and playable).
inline constexpr int kExitConvertFailed = 4;
inline constexpr int kExitNoProfile = 5;
inline constexpr int kExitEncrypted = 6;
inline constexpr int kExitInterrupted = 130;

int RunConvert(const ConvertOptions& options);

// Parses the options after "convert"; false with a message on a bad one.
bool ParseConvertOptions(int argc, char** argv, ConvertOptions* options, std::string* error);

}  // namespace rizuvira::cli
