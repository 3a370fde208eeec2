// SPDX-License-Identifier: GPL-2.0-or-later
// Every shipped profile, through the command line, writes a file that a
// player reads and decodes from its first packet to its last.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "cli/cli_run.h"
#include "core/output_profile.h"
#include "core/profile_catalogue.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using test::CliFolderTest;
using test::RunCli;

class CliProfilesTest : public CliFolderTest {};

// Four seconds of the PAL title across its chapter mark, so that the
// containers that carry chapters get one.
TEST_F(CliProfilesTest, EveryShippedProfileWritesAFileThatDecodesWhole) {
    core::ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.LoadFile(fs::path(RIZUVIRA_SOURCE_DIR) / "data" / "Format.xml"));
    const std::string disc = fx::SampleDiscPath(fx::kPalDisc.iso);
    for (const core::OutputProfile& profile : catalogue.Iterate()) {
        SCOPED_TRACE(core::FieldText(profile.ProfileName));
        const fs::path out = folder_ / ("p" + std::to_string(profile.Id));
        // libx265 leaks one parameter block per encoder (ffmpeg's own tool too); it is not ours.
        const auto run = RunCli(
            "convert '" + disc + "' -t 1 --trim 00:00:03-00:00:07 -p " +
                std::to_string(profile.Id + 1) + " -o '" + out.string() + "'",
            env_ + " LSAN_OPTIONS=suppressions='" + RIZUVIRA_SOURCE_DIR + "/tests/cli/lsan.supp'");
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const fs::path file = out / ("Title_01" + std::string(core::FieldText(profile.FormatExt)));
        const e2e::WholeDecode decoded = e2e::DecodeWhole(file.string());
        ASSERT_TRUE(decoded.opened);
        EXPECT_TRUE(decoded.errors.empty()) << decoded.errors.front();
        const core::OutputSettings& s = profile.Settings;
        // Theora codes a repeated picture as an empty packet: count time, not pictures.
        if (s.HasVideo) {
            EXPECT_NEAR(decoded.video_span_s, 4.0, 0.2);
        }
        if (s.HasAudio) {
            EXPECT_NEAR(static_cast<double>(decoded.audio_samples) / decoded.audio_rate, 4.0, 0.2);
        }
    }
}

}  // namespace
}  // namespace rizuvira::cli
