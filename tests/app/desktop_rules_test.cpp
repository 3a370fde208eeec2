// SPDX-License-Identifier: GPL-2.0-or-later
// The desktop program's small rules: Set.xml, the drives "Load DVD" offers,
// and what a drop opens.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/branding.h"
#include "app/data_files.h"
#include "app/dropped_paths.h"
#include "app/optical_drives.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;

class DesktopRulesTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("desktop_rules_" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

TEST_F(DesktopRulesTest, BrandingComesFromSetXmlAndIsEmptyWithout) {
    const Branding shipped = ReadBranding(DataFile("Set.xml"));
    EXPECT_EQ(shipped.title, "Rizuvira DVD Converter");
    EXPECT_FALSE(shipped.url.empty());
    std::ofstream(folder_ / "Set.xml")
        << "<Set><Profile><Url value=\"https://a.example/\"/></Profile></Set>";
    const Branding partial = ReadBranding(folder_ / "Set.xml");
    EXPECT_EQ(partial.title, "");
    EXPECT_EQ(partial.url, "https://a.example/");
    EXPECT_EQ(ReadBranding(folder_ / "missing.xml").url, "");
}

// Data is found in the working directory, then beside the executable as an
// installed copy lays it out, then in $XDG_DATA_DIRS, then in the build tree.
// The profile catalogue skips the working directory unless it is named.
TEST_F(DesktopRulesTest, DataIsFoundInTheWorkingDirectoryThenBesideTheProgramThenXdg) {
    const char* saved = std::getenv("XDG_DATA_DIRS");
    const std::string kept = saved != nullptr ? saved : "";
    setenv("XDG_DATA_DIRS", (folder_ / "xdg").c_str(), 1);
    const std::vector<fs::path> folders = DataFolders();
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0], ".");
    EXPECT_EQ(folders[1], fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "share" /
                              "rizuvira");
    EXPECT_EQ(folders[2], folder_ / "xdg" / "rizuvira");
    EXPECT_EQ(folders[3].filename(), "rizuvira");

    fs::create_directories(folder_ / "xdg" / "rizuvira");
    std::ofstream(folder_ / "xdg" / "rizuvira" / "only-here.txt") << "x";
    EXPECT_EQ(DataFile("only-here.txt"), folder_ / "xdg" / "rizuvira" / "only-here.txt");
    const fs::path working = fs::current_path();
    fs::current_path(folder_);
    std::ofstream("only-here.txt") << "y";
    EXPECT_EQ(DataFile("only-here.txt"), "only-here.txt");
    std::ofstream("Format.xml") << "<Formats/>";
    unsetenv(kCatalogueVariable);
    EXPECT_EQ(ProfileCatalogueFile(), fs::path(RIZUVIRA_BINARY_DIR) / "share/rizuvira/Format.xml");
    setenv(kCatalogueVariable, "Format.xml", 1);
    EXPECT_EQ(ProfileCatalogueFile(), "Format.xml");
    EXPECT_EQ(ProfileCatalogueFile("given.xml"), "given.xml");
    unsetenv(kCatalogueVariable);
    fs::current_path(working);
    if (saved != nullptr)
        setenv("XDG_DATA_DIRS", kept.c_str(), 1);
    else
        unsetenv("XDG_DATA_DIRS");
}

TEST_F(DesktopRulesTest, DrivesAreOpticalDevicesInOrderThenMountedDiscs) {
    for (const char* name : {"sr10", "sr2", "sda", "sr", "srx"})
        std::ofstream(folder_ / name) << "";
    const std::string mounts =
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sr2 /media/user/MY\\040DISC iso9660 ro 0 0\n"
        "/dev/loop0 /mnt/film udf ro 0 0\n"
        "proc /proc proc rw 0 0\n";
    EXPECT_EQ(OpticalDrives(folder_, mounts),
              (std::vector<std::string>{(folder_ / "sr2").string(), (folder_ / "sr10").string(),
                                        "/media/user/MY DISC", "/mnt/film"}));
    EXPECT_TRUE(OpticalDrives(folder_ / "missing", "").empty());
}

TEST_F(DesktopRulesTest, DropsOpenFilesAndDiscFoldersOnly) {
    EXPECT_TRUE(IsOpenableDiscPath(fx::SampleDiscPath(fx::kNtscDisc.iso)));
    const fs::path disc = fx::SampleDiscPath(fx::kNtscDisc.folder);
    EXPECT_TRUE(IsOpenableDiscPath(disc));
    EXPECT_TRUE(IsOpenableDiscPath(disc / "VIDEO_TS"));
    EXPECT_FALSE(IsOpenableDiscPath(folder_));
    fs::create_directories(folder_ / "film" / "BDMV");
    EXPECT_TRUE(IsOpenableDiscPath(folder_ / "film")) << "a Blu-ray folder";
    EXPECT_TRUE(IsOpenableDiscPath(folder_ / "film" / "BDMV"));
    std::ofstream(folder_ / "clip.mpg") << "data";
    EXPECT_TRUE(IsOpenableDiscPath(folder_ / "clip.mpg"));
    EXPECT_FALSE(IsOpenableDiscPath(folder_ / "missing.iso"));
}

// The file windows open beside the disc opened last, whichever way it was opened.
TEST_F(DesktopRulesTest, TheFolderRememberedHoldsTheDiscOpened) {
    EXPECT_EQ(FolderToRemember("/discs/film.iso"), "/discs");
    EXPECT_EQ(FolderToRemember("/discs/film"), "/discs");
    EXPECT_EQ(FolderToRemember("/discs/film/"), "/discs");
    EXPECT_EQ(FolderToRemember("/discs/film/VIDEO_TS"), "/discs");
    EXPECT_EQ(FolderToRemember("/discs/film/video_ts/"), "/discs");
    EXPECT_EQ(FolderToRemember("/film.iso"), "/");
    EXPECT_EQ(FolderToRemember("/"), "");
}

}  // namespace
}  // namespace rizuvira::app
