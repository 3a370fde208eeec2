// SPDX-License-Identifier: GPL-2.0-or-later
// The command line acts on its options alone: with the desktop program's
// settings holding "Shut Down" and an output folder of its own, a plain
// convert neither shuts down nor writes there. A recording systemctl first
// on PATH stands for the real one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/cli_run.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using cli::test::CliRun;
using cli::test::RunCli;

class CliDesktopStateTest : public cli::test::CliFolderTest {
protected:
    void SetUp() override {
        CliFolderTest::SetUp();
        const fs::path config = folder_ / "config" / "Rizuvira DVD Converter";
        fs::create_directories(config);
        fs::create_directories(folder_ / "stored");
        fs::create_directories(folder_ / "work");
        std::ofstream(config / "settings.ini")
            << "[General]\nstrOutFolder=" << (folder_ / "stored").string()
            << "\nstrAction=Shut Down\n";
        fs::create_directories(folder_ / "bin");
        const fs::path systemctl = folder_ / "bin" / "systemctl";
        std::ofstream(systemctl) << "#!/bin/sh\necho \"$@\" >> '" << Log().string() << "'\n";
        fs::permissions(systemctl, fs::perms::owner_all);
    }
    // Converts title 3 (4 s) from the folder "work", without HOME.
    CliRun Convert(const std::string& options) {
        const std::string env = "cd '" + (folder_ / "work").string() + "' && env -u HOME" +
                                " XDG_CONFIG_HOME='" + (folder_ / "config").string() + "'" +
                                " PATH='" + (folder_ / "bin").string() + "':\"$PATH\"" +
                                " SDL_AUDIODRIVER=dummy";
        return RunCli("convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) + "' -q -t 3 " + options,
                      env);
    }
    std::string Recorded() const {
        std::ifstream in(Log());
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path Log() const { return folder_ / "systemctl.log"; }
};

TEST_F(CliDesktopStateTest, PlainConvertWritesHereAndRunsNoStoredAction) {
    const CliRun run = Convert("");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(folder_ / "work" / "Title_03.mp4"));
    EXPECT_TRUE(fs::is_empty(folder_ / "stored"));
    EXPECT_EQ(Recorded(), "") << "no after-action without --after";
}

TEST_F(CliDesktopStateTest, AfterShutdownPowersOffThroughSystemd) {
    const CliRun run = Convert("--after shutdown -o '" + (folder_ / "out").string() + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(folder_ / "out" / "Title_03.mp4"));
    EXPECT_EQ(Recorded(), "poweroff\n");
}

}  // namespace
}  // namespace rizuvira::cli
