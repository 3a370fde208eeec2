// rizuvira-cli snapshot: the picture the preview shows at a time, as a file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace {

namespace fx = rizuvira::fixtures;
using rizuvira::cli_test::CliRun;
using rizuvira::cli_test::RunCli;

TEST(CliSnapshot, SavesThePictureShownAtTheTime) {
    char pattern[] = "/tmp/rizuvira-snap-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    for (const char* name : {"at20.bmp", "at20.JPG"}) {
        const std::filesystem::path file = folder / name;
        const CliRun run = RunCli("snapshot '" + disc + "' --title 1 --at 00:00:20 -o '" + file.string() + "'",
                                  "SDL_AUDIODRIVER=dummy");
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const rizuvira::e2e::DecodedOutput picture = rizuvira::e2e::DecodeOutput(file.string(), 720, 480);
        ASSERT_TRUE(picture.ok) << name;
        ASSERT_EQ(picture.pictures.size(), 1u) << name;
        EXPECT_NEAR(picture.pictures[0].band, 599, 1) << name << ": the frame shown at 20 s";
    }
    const CliRun unknown = RunCli("snapshot '" + disc + "' --title 1 --at 20 -o '" + (folder / "x.png").string() + "'");
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_FALSE(std::filesystem::exists(folder / "x.png"));
    std::filesystem::remove_all(folder);
}

}  // namespace
