// SPDX-License-Identifier: GPL-2.0-or-later
// Command-line tests that convert the NTSC sample disc and decode what it writes.
#pragma once

#include <filesystem>
#include <string>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli::test {

class NtscDiscTest : public CliFolderTest {
protected:
    // rizuvira-cli convert on the sample disc, quietly, with `options`.
    CliRun Convert(const std::string& options) {
        return RunCli(
            "convert '" + fixtures::SampleDiscPath(fixtures::kNtscDisc.iso) + "' -q " + options,
            env_);
    }
    e2e::DecodedOutput Decode(const std::filesystem::path& file) {
        return e2e::DecodeOutput(file.string(), 720, 480);
    }
};

}  // namespace rizuvira::cli::test
