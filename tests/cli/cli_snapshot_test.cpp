// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli snapshot: the picture the preview shows at a time, as a file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {

namespace {

namespace fx = rizuvira::fixtures;
using rizuvira::cli::test::CliRun;
using rizuvira::cli::test::RunCli;

TEST(CliSnapshot, SavesThePictureShownAtTheTime) {
    char pattern[] = "/tmp/rizuvira-snap-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    for (const char* name : {"at20.bmp", "at20.JPG", "at20.png"}) {
        const std::filesystem::path file = folder / name;
        const CliRun run =
            RunCli("snapshot '" + disc + "' --title 1 --at 00:00:20 -o '" + file.string() + "'",
                   "SDL_AUDIODRIVER=dummy");
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const rizuvira::e2e::DecodedOutput picture =
            rizuvira::e2e::DecodeOutput(file.string(), 720, 480);
        ASSERT_TRUE(picture.ok) << name;
        ASSERT_EQ(picture.pictures.size(), 1u) << name;
        EXPECT_NEAR(picture.pictures[0].band, 599, 1) << name << ": the frame shown at 20 s";
    }
    const CliRun unknown = RunCli("snapshot '" + disc + "' --title 1 --at 20 -o '" +
                                  (folder / "x.tif").string() + "'");
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_FALSE(std::filesystem::exists(folder / "x.tif"));
    std::filesystem::remove_all(folder);
}

// With a folder, or with none, the file is a BMP named by the time of day, in
// that folder or the current one: the desktop program's stored folder and
// image type are not read.
TEST(CliSnapshot, NamesTheFileByTheTimeInTheGivenOrCurrentFolder) {
    char pattern[] = "/tmp/rizuvira-snap-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    const std::filesystem::path config = folder / "config" / "Rizuvira DVD Converter";
    const std::filesystem::path stored = folder / "stored";
    std::filesystem::create_directories(config);
    std::filesystem::create_directories(stored);
    std::ofstream(config / "settings.ini")
        << "[General]\nstrSnapFolder=" << stored.string() << "\nstrImageType=JPEG\n";
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    const std::filesystem::path here = folder / "here";
    std::filesystem::create_directories(here);
    const std::string env = "cd '" + here.string() +
                            "' && SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME='" +
                            (folder / "config").string() + "'";
    const CliRun given =
        RunCli("snapshot '" + disc + "' --title 1 --at 2 -o '" + folder.string() + "'", env);
    const CliRun none = RunCli("snapshot '" + disc + "' --title 1 --at 2", env);
    ASSERT_EQ(given.exit_code, 0) << given.err;
    ASSERT_EQ(none.exit_code, 0) << none.err;
    EXPECT_TRUE(std::filesystem::is_empty(stored));
    for (const auto& [run, where] : {std::pair{given, folder}, std::pair{none, here}}) {
        const std::filesystem::path file = run.out.substr(0, run.out.find('\n'));
        EXPECT_EQ(file.parent_path(), where);
        EXPECT_EQ(file.extension(), ".BMP");
        EXPECT_EQ(file.stem().string().size(), std::string("2010-05-01 12-30-05").size()) << file;
        EXPECT_TRUE(rizuvira::e2e::DecodeOutput(file.string(), 720, 480).ok) << file;
    }
    std::filesystem::remove_all(folder);
}

TEST(CliSnapshot, NeverReplacesAFile) {
    char pattern[] = "/tmp/rizuvira-snap-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    // Several within one second into a folder: each one numbered after the first.
    std::set<std::string> names;
    for (int i = 0; i < 3; ++i) {
        const CliRun run =
            RunCli("snapshot '" + disc + "' --title 3 --at 1 -o '" + folder.string() + "'",
                   "SDL_AUDIODRIVER=dummy");
        ASSERT_EQ(run.exit_code, 0) << run.err;
        names.insert(run.out.substr(0, run.out.find('\n')));
    }
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 3);
    // A file named by the user is refused, as a conversion's output is.
    const std::filesystem::path mine = folder / "mine.bmp";
    std::ofstream(mine) << "mine";
    const CliRun named =
        RunCli("snapshot '" + disc + "' --title 3 --at 1 -o '" + mine.string() + "'",
               "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(named.exit_code, 1);
    EXPECT_EQ(named.err, "Cannot write the snapshot " + mine.string() + ": File exists\n");
    EXPECT_EQ(std::filesystem::file_size(mine), 4u);
    std::filesystem::remove_all(folder);
}

TEST(CliSnapshot, StillPictureStaysAfterItsOnlyPicture) {
    char pattern[] = "/tmp/rizuvira-snap-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    const std::filesystem::path file = folder / "still.bmp";
    const CliRun run = RunCli("snapshot '" + fx::SampleDiscPath(fx::kStillDiscIso) +
                                  "' --title 1 --at 00:00:03 -o '" + file.string() + "'",
                              "SDL_AUDIODRIVER=dummy");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const rizuvira::e2e::DecodedOutput picture =
        rizuvira::e2e::DecodeOutput(file.string(), 720, 480);
    ASSERT_TRUE(picture.ok);
    ASSERT_EQ(picture.pictures.size(), 1u);
    EXPECT_EQ(picture.pictures[0].band, fx::kStillTitles[0].band)
        << "the title's only picture, 3 s before";
    std::filesystem::remove_all(folder);
}

TEST(CliSnapshot, PastTheEndOrIntoAMissingFolderSaysWhy) {
    char pattern[] = "/tmp/rizuvira-snap-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    const CliRun late = RunCli(
        "snapshot '" + disc + "' --title 3 --at 100 -o '" + (folder / "x.bmp").string() + "'",
        "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(late.exit_code, 1);
    EXPECT_EQ(late.err, "No snapshot at 00:01:40: Title_03 ends at 00:00:04\n");
    const std::filesystem::path missing = folder / "missing" / "x.bmp";
    const CliRun nowhere =
        RunCli("snapshot '" + disc + "' --title 3 --at 1 -o '" + missing.string() + "'",
               "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(nowhere.exit_code, 1);
    EXPECT_EQ(nowhere.err, "Cannot write the snapshot " + missing.string() + ": the folder " +
                               missing.parent_path().string() + " does not exist\n");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder);
}

}  // namespace

}  // namespace rizuvira::cli
