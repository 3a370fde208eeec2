// SPDX-License-Identifier: GPL-2.0-or-later
// The preferences window's rules over a real settings file: what a fresh folder shows, list
// selection by the stored values, OK writing only what changed, and a store that cannot be
// written.
#include "app/preferences.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace rizuvira::app {

namespace {

namespace fs = std::filesystem;
using rizuvira::app::PreferenceList;
using rizuvira::app::Preferences;
using rizuvira::app::PreferencesPage;
using rizuvira::core::SettingsStore;

class PreferencesTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rizuvira-preferences-XXXXXX";
        folder_ = mkdtemp(pattern);
        file_ = folder_ / "config" / "settings.ini";
    }
    void TearDown() override { fs::remove_all(folder_); }

    void WriteFile(const std::string& text) {
        fs::create_directories(file_.parent_path());
        std::ofstream(file_) << text;
    }
    std::string ReadFile() const {
        std::ifstream in(file_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path folder_;
    fs::path file_;
};

TEST_F(PreferencesTest, AFreshFolderShowsTheDefaultsAndOkWritesNothing) {
    SettingsStore store(file_);
    store.Load();
    Preferences prefs(store);
    const rizuvira::core::Settings defaults = rizuvira::core::DefaultSettings();
    EXPECT_EQ(prefs.OutFolderText(), defaults.out_folder);
    EXPECT_EQ(prefs.SnapFolderText(), defaults.snap_folder);
    for (PreferenceList list :
         {PreferenceList::kImageType, PreferenceList::kAction, PreferenceList::kCpuUsage,
          PreferenceList::kLanguage, PreferenceList::kSkin}) {
        EXPECT_EQ(prefs.Selection(list), 0);
    }
    EXPECT_EQ(rizuvira::app::PreferenceEntries(PreferenceList::kCpuUsage)[0], "50%");
    EXPECT_TRUE(prefs.Ok());
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(PreferencesTest, ListsSelectTheFirstEntryBeginningWithTheStoredValue) {
    WriteFile("[General]\nstrImageType=jpeg\nstrAction=shut\ncpu_usage=55\n");
    SettingsStore store(file_);
    store.Load();
    Preferences prefs(store);
    EXPECT_EQ(prefs.Selection(PreferenceList::kImageType), 1);
    EXPECT_EQ(prefs.Selection(PreferenceList::kAction), 1);
    EXPECT_EQ(prefs.Selection(PreferenceList::kCpuUsage), -1);  // "55%" begins no entry
    const std::vector<std::string> cpu =
        rizuvira::app::PreferenceEntries(PreferenceList::kCpuUsage);
    EXPECT_EQ(rizuvira::app::SelectByPrefix(cpu, "100%"), 5);
    EXPECT_EQ(rizuvira::app::SelectByPrefix(cpu, "10%"), -1);

    // A list without a selection keeps the stored value; the shown texts replace the others.
    ASSERT_TRUE(prefs.Ok());
    store.Load();
    EXPECT_EQ(store.values().cpu_usage, 55);
    EXPECT_EQ(store.values().image_type, "JPEG");
    EXPECT_EQ(store.values().action, "Shut Down");
}

TEST_F(PreferencesTest, OkStoresOnlyTheChangedValuesAndAcceptsAMissingFolder) {
    WriteFile("[General]\nstrOutFolder=/old\nstrSnapFolder=/snaps\n");
    SettingsStore store(file_);
    store.Load();
    Preferences prefs(store);
    prefs.SetOutFolderText("/no/such/folder");
    prefs.Select(PreferenceList::kCpuUsage, 3);
    // Switching pages keeps the unsaved edits.
    EXPECT_TRUE(prefs.ShowPage(PreferencesPage::kOptions));
    EXPECT_FALSE(prefs.ShowPage(PreferencesPage::kOptions));
    EXPECT_TRUE(prefs.ShowPage(PreferencesPage::kGeneral));
    EXPECT_EQ(prefs.OutFolderText(), "/no/such/folder");
    EXPECT_EQ(prefs.Selection(PreferenceList::kCpuUsage), 3);

    ASSERT_TRUE(prefs.Ok());
    SettingsStore reread(file_);
    reread.Load();
    EXPECT_EQ(reread.values().out_folder, "/no/such/folder");
    EXPECT_EQ(reread.values().snap_folder, "/snaps");
    EXPECT_EQ(reread.values().cpu_usage, 80);
}

TEST_F(PreferencesTest, AStoreThatCannotBeWrittenChangesNothing) {
    // The settings folder's place is taken by a file: nothing can be written under it.
    std::ofstream(folder_ / "config") << "not a folder";
    SettingsStore store(file_);
    store.Load();
    const rizuvira::core::Settings before = store.values();
    Preferences prefs(store);
    prefs.SetOutFolderText("/elsewhere");
    prefs.SetSnapFolderText("/pictures");
    prefs.Select(PreferenceList::kImageType, 2);
    prefs.Select(PreferenceList::kAction, 1);
    prefs.Select(PreferenceList::kCpuUsage, 5);
    EXPECT_FALSE(prefs.Ok());
    EXPECT_EQ(store.values().out_folder, before.out_folder);
    EXPECT_EQ(store.values().snap_folder, before.snap_folder);
    EXPECT_EQ(store.values().image_type, before.image_type);
    EXPECT_EQ(store.values().action, before.action);
    EXPECT_EQ(store.values().cpu_usage, before.cpu_usage);
    // The window keeps the edits for another try.
    EXPECT_EQ(prefs.OutFolderText(), "/elsewhere");
}

}  // namespace

}  // namespace rizuvira::app
