// SPDX-License-Identifier: GPL-2.0-or-later
// The settings file: where it lives, defaults, a round trip, and files that
// are damaged, too long, of the wrong type or cannot be written.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/settings_store.h"

namespace rizuvira::core {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rizuvira-settings-XXXXXX";
        home_ = mkdtemp(pattern);
        saved_home_ = getenv("HOME") ? getenv("HOME") : "";
        saved_xdg_ = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
        setenv("HOME", home_.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override {
        setenv("HOME", saved_home_.c_str(), 1);
        if (!saved_xdg_.empty()) setenv("XDG_CONFIG_HOME", saved_xdg_.c_str(), 1);
        fs::permissions(home_, fs::perms::owner_all);
        fs::remove_all(home_);
    }
    fs::path File() const { return DefaultSettingsFile("Rizuvira DVD Converter"); }
    void WriteFile(const std::string& text) {
        fs::create_directories(File().parent_path());
        std::ofstream(File()) << text;
    }
    std::string ReadFile() const {
        std::ifstream in(File());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path home_;
    std::string saved_home_, saved_xdg_;
};

TEST_F(SettingsStoreTest, FileLivesUnderTheConfigFolderOfTheTitle) {
    EXPECT_EQ(File(), home_ / ".config/Rizuvira DVD Converter/settings.ini");
    setenv("XDG_CONFIG_HOME", (home_ / "cfg").c_str(), 1);
    EXPECT_EQ(File(), home_ / "cfg/Rizuvira DVD Converter/settings.ini");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(File(), home_ / ".config/Rizuvira DVD Converter/settings.ini");
}

TEST_F(SettingsStoreTest, DefaultsUseVideosAndPicturesOrHome) {
    SettingsStore store(File());
    store.Load();
    EXPECT_EQ(store.values().out_folder, home_.string()) << "no Videos folder: home";
    EXPECT_EQ(store.values().snap_folder, home_.string());
    EXPECT_EQ(store.values().image_type, "BMP");
    EXPECT_EQ(store.values().action, "No Action");
    EXPECT_EQ(store.values().cpu_usage, 50);

    fs::create_directories(home_ / "Videos");
    fs::create_directories(home_ / "Bilder");
    WriteFile("");
    std::ofstream(home_ / ".config/user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    store.Load();
    EXPECT_EQ(store.values().out_folder, (home_ / "Videos").string());
    EXPECT_EQ(store.values().snap_folder, (home_ / "Bilder").string());
}

TEST_F(SettingsStoreTest, RoundTripKeepsEveryValueAndAwkwardText) {
    SettingsStore store(File());
    store.Load();
    const std::string folder = "/media/films\\old\nline=two";
    EXPECT_TRUE(store.SetOutFolder(folder));
    EXPECT_TRUE(store.SetSnapFolder("/pics"));
    EXPECT_TRUE(store.SetImageType("JPEG"));
    EXPECT_TRUE(store.SetAction("Shut Down"));
    EXPECT_TRUE(store.SetCpuUsage(55));

    SettingsStore again(File());
    again.Load();
    EXPECT_EQ(again.values().out_folder, folder);
    EXPECT_EQ(again.values().snap_folder, "/pics");
    EXPECT_EQ(again.values().image_type, "JPEG");
    EXPECT_EQ(again.values().action, "Shut Down");
    EXPECT_EQ(again.values().cpu_usage, 55);
    EXPECT_EQ(ReadFile().find("\nline=two"), std::string::npos)
        << "a newline in a value stays escaped";
}

TEST_F(SettingsStoreTest, TwoProgramsKeepEachOthersChanges) {
    // Two windows (or a window and the command line), each with the file as it was at its start.
    SettingsStore a(File()), b(File());
    a.Load();
    b.Load();
    ASSERT_TRUE(a.SetSnapFolder("/pictures/of/a"));
    ASSERT_TRUE(b.SetOutFolder("/videos/of/b"));
    SettingsStore restarted(File());
    restarted.Load();
    EXPECT_EQ(restarted.values().snap_folder, "/pictures/of/a");
    EXPECT_EQ(restarted.values().out_folder, "/videos/of/b");
}

TEST_F(SettingsStoreTest, DamagedValuesKeepTheirDefaults) {
    WriteFile(
        "[General]\n"
        "strOutFolder=" +
        std::string(4097, 'x') +
        "\n"
        "strSnapFolder=/ok/pictures\r\n"
        "strImageType=GIF\\q\n"    // unknown escape
        "strAction=Shut Down\\\n"  // dangling escape
        "cpu_usage=70%\n"          // not an integer
        "garbage line without equals\n"
        "\x01\xff=\x02\n");
    SettingsStore store(File());
    store.Load();
    EXPECT_EQ(store.values().out_folder, home_.string());
    EXPECT_EQ(store.values().snap_folder, "/ok/pictures");
    EXPECT_EQ(store.values().image_type, "BMP");
    EXPECT_EQ(store.values().action, "No Action");
    EXPECT_EQ(store.values().cpu_usage, 50);
    // Each value left out is named, with what is used instead.
    ASSERT_EQ(store.problems().size(), 4u);
    EXPECT_EQ(store.problems()[0], "The stored output folder cannot be used: " + home_.string() +
                                       " is used instead (" + File().string() + ")");

    // A path as long as the system takes, counted in bytes.
    std::string long_path = "/";
    while (long_path.size() + 2 <= 4096) long_path += "\xc3\xa9";
    WriteFile("strOutFolder=" + long_path + "\ncpu_usage=99999999999\n");
    store.Load();
    EXPECT_EQ(store.values().out_folder, long_path);
    EXPECT_EQ(store.values().cpu_usage, 50) << "out of 32-bit range";
}

TEST_F(SettingsStoreTest, UnwritableFileKeepsTheNewValueForThisRun) {
    // A regular file where the settings folder should be: no one can write
    // there, root included.
    std::ofstream(home_ / "blocker") << "not a folder";
    SettingsStore store(home_ / "blocker" / "settings.ini");
    store.Load();
    EXPECT_FALSE(store.SetOutFolder("/elsewhere"));
    EXPECT_EQ(store.values().out_folder, "/elsewhere");
    EXPECT_FALSE(store.SetCpuUsage(80));
    EXPECT_EQ(store.values().cpu_usage, 80);
}

TEST_F(SettingsStoreTest, FailedWriteLeavesTheOldFileWhole) {
    SettingsStore store(File());
    store.Load();
    ASSERT_TRUE(store.SetAction("Shut Down"));
    const std::string before = ReadFile();
    // The temporary file's name taken by a folder: the new text cannot be
    // written, so nothing replaces the old file.
    fs::path temporary = File();
    temporary += ".tmp." + std::to_string(getpid());
    fs::create_directories(temporary);
    EXPECT_FALSE(store.SetOutFolder("/elsewhere"));
    EXPECT_EQ(ReadFile(), before);
    fs::remove_all(temporary);
}

TEST(SettingsThreads, CpuUsageSetsTheThreadCount) {
    Settings settings;
    settings.cpu_usage = 100;
    const int all = settings.ThreadCount();
    settings.cpu_usage = 50;
    EXPECT_EQ(settings.ThreadCount(), std::max(1, all / 2));
}

}  // namespace
}  // namespace rizuvira::core
