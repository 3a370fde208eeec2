// SPDX-License-Identifier: GPL-2.0-or-later
// `rizuvira-cli convert DISC [options]` and `rizuvira-cli profiles`: the
// batch run of the conversion window without a window. The title
// catalogue lists the disc, the run controller converts the chosen rows,
// and a batch loop on the main thread drives it; Ctrl-C cancels like the
// Cancel button (the file being written is finished and playable).
#pragma once

#include <cstdio>

#include "cli/convert_options.h"

namespace rizuvira::cli {

// Exit codes of convert: 0 every item converted, 1 an item failed (or the
// batch was cancelled), 2 a usage error, 3 the disc cannot be opened, 4 an
// output file exists and -y was not given (checked before anything runs, so
// nothing was converted; a script can tell this from a wrong option).
inline constexpr int kExitItemFailed = 1;
inline constexpr int kExitOutputExists = 4;

// Messages go to standard error; file names (or JSON lines) to `out`.
int RunConvert(const ConvertOptions& options, std::FILE* out);

// Lists the output profiles of the catalogue (`catalogue_path`, or the
// usual places when empty), then the user's saved ones.
int RunProfiles(const std::string& catalogue_path, bool json, std::FILE* out);

}  // namespace rizuvira::cli
