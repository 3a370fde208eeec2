// SPDX-License-Identifier: GPL-2.0-or-later
// The preferences, custom output settings and properties windows, opened
// from the main window on the offscreen platform and driven with synthetic
// clicks and keys; a profile saved there converts through rizuvira-cli.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/saved_profiles.h"
#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"
#include "ui/main_window.h"
#include "ui/properties_window.h"
#include "ui/skin_input_dialog.h"
#include "ui/ui_driver.h"

namespace rizuvira::ui {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using testing::DialogWatch;

template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* widget = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

void Click(QWidget* parent, const char* button) {
    QTest::mouseClick(Child<QAbstractButton>(parent, button), Qt::LeftButton);
}

void Type(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

// Moves a list's choice to the entry `text` with the arrow keys, as a user does.
void Choose(QComboBox* list, const QString& text) {
    const int target = list->findText(text);
    ASSERT_GE(target, 0) << text.toStdString();
    list->setFocus();
    if (list->currentIndex() < 0) QTest::keyClick(list, Qt::Key_Home);
    while (list->currentIndex() < target) QTest::keyClick(list, Qt::Key_Down);
    while (list->currentIndex() > target) QTest::keyClick(list, Qt::Key_Up);
}

class SettingsWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rizuvira-ui-settings-XXXXXX";
        folder_ = mkdtemp(pattern);
        // Where rizuvira-cli looks with HOME set to folder_/home.
        settings_file_ = folder_ / "home/.config/Rizuvira DVD Converter/settings.ini";
        Restart();
    }
    void TearDown() override {
        window_.reset();
        fs::remove_all(folder_);
    }
    void Restart() {
        window_.reset();
        store_ = std::make_unique<core::SettingsStore>(settings_file_);
        store_->Load();
        window_ = std::make_unique<MainWindow>(&messages_, store_.get(), &actions_);
        window_->show();
    }
    QComboBox* ProfileList() { return Child<QComboBox>(window_.get(), "profileList"); }

    fs::path folder_;
    fs::path settings_file_;
    core::CollectedMessages messages_;
    testing::RecordedActions actions_;
    std::unique_ptr<core::SettingsStore> store_;
    std::unique_ptr<MainWindow> window_;
};

// --- Preferences ---------------------------------------------------------------

TEST_F(SettingsWindowsTest, AFreshFolderShowsTheDefaultsAndOkWithoutChangesWritesNothing) {
    const core::Settings defaults = core::DefaultSettings();
    int shown = 0;
    DialogWatch watch("preferencesWindow", [&](QWidget* window) {
        ++shown;
        EXPECT_EQ(Child<QLineEdit>(window, "outFolderField")->text().toStdString(),
                  defaults.out_folder);
        EXPECT_EQ(Child<QLineEdit>(window, "snapFolderField")->text().toStdString(),
                  defaults.snap_folder);
        EXPECT_EQ(Child<QComboBox>(window, "imageTypeList")->currentText(), "BMP");
        EXPECT_EQ(Child<QComboBox>(window, "actionList")->currentText(), "No Action");
        EXPECT_EQ(Child<QComboBox>(window, "actionList")->itemText(1), "Shut Down");
        EXPECT_EQ(Child<QComboBox>(window, "cpuUsageList")->currentText(), "50%");
        EXPECT_EQ(Child<QComboBox>(window, "cpuUsageList")->count(), 6);
        EXPECT_EQ(Child<QComboBox>(window, "languageList")->currentText(), "English");
        EXPECT_EQ(Child<QComboBox>(window, "skinList")->currentText(), "Default");
        Click(window, "okButton");
    });
    window_->OpenPreferences();
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(fs::exists(settings_file_));
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(SettingsWindowsTest, AStoredProcessorUseOf55SelectsNothingAndOkKeepsIt) {
    ASSERT_TRUE(store_->SetCpuUsage(55));
    DialogWatch watch("preferencesWindow", [&](QWidget* window) {
        EXPECT_EQ(Child<QComboBox>(window, "cpuUsageList")->currentIndex(), -1);
        Choose(Child<QComboBox>(window, "imageTypeList"), "GIF");
        Click(window, "okButton");
    });
    window_->OpenPreferences();
    store_->Load();
    EXPECT_EQ(store_->values().cpu_usage, 55);
    EXPECT_EQ(store_->values().image_type, "GIF");
}

TEST_F(SettingsWindowsTest, EditsSurviveSwitchingPagesAndAMissingFolderIsStoredThenRefused) {
    const std::string missing = (folder_ / "not there").string();
    DialogWatch watch("preferencesWindow", [&](QWidget* window) {
        Type(Child<QLineEdit>(window, "outFolderField"), QString::fromStdString(missing));
        Choose(Child<QComboBox>(window, "imageTypeList"), "JPEG");
        Choose(Child<QComboBox>(window, "cpuUsageList"), "80%");
        auto* pages = Child<QStackedWidget>(window, "pages");
        Click(window, "optionsTab");
        EXPECT_EQ(pages->currentIndex(), 1);
        EXPECT_FALSE(Child<QLineEdit>(window, "outFolderField")->isVisible());
        Click(window, "optionsTab");  // the page shown already: nothing changes
        EXPECT_EQ(pages->currentIndex(), 1);
        Click(window, "generalTab");
        EXPECT_EQ(pages->currentIndex(), 0);
        EXPECT_EQ(Child<QLineEdit>(window, "outFolderField")->text().toStdString(), missing);
        EXPECT_EQ(Child<QComboBox>(window, "imageTypeList")->currentText(), "JPEG");
        Click(window, "okButton");
    });
    window_->OpenPreferences();
    store_->Load();
    EXPECT_EQ(store_->values().out_folder, missing);
    EXPECT_EQ(store_->values().image_type, "JPEG");
    EXPECT_EQ(store_->values().cpu_usage, 80);
    EXPECT_EQ(Child<QLineEdit>(window_.get(), "outputField")->text().toStdString(), missing);
    window_->Start();
    EXPECT_EQ(messages_.messages, std::vector<std::string>{"Invalid output directory: " + missing +
                                                           ": No such file or directory"});
}

TEST_F(SettingsWindowsTest, OkThatCannotWriteTheSettingsSaysSoAndStaysOpen) {
    fs::create_directories(folder_ / "home");
    std::ofstream(folder_ / "home/.config") << "a file where the folder should be";
    Restart();
    const std::string before = store_->values().out_folder;
    bool stayed_open = false;
    DialogWatch watch("preferencesWindow", [&](QWidget* window) {
        Type(Child<QLineEdit>(window, "outFolderField"), "/elsewhere");
        Click(window, "okButton");
        stayed_open = window->isVisible();
        Click(window, "cancelButton");
    });
    window_->OpenPreferences();
    EXPECT_TRUE(stayed_open);
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_NE(messages_.messages[0].find(settings_file_.string()), std::string::npos);
    EXPECT_EQ(store_->values().out_folder, before);
}

// --- Custom output settings -------------------------------------------------------

TEST_F(SettingsWindowsTest, TypedSizesJoinedByAnAsteriskAreTakenAndLabelsStoreTheirKeys) {
    bool stayed_open = false;
    DialogWatch watch("customSettingsWindow", [&](QWidget* window) {
        QLineEdit* size = Child<QComboBox>(window, "resolutionList")->lineEdit();
        Type(size, "640x360");
        Click(window, "okButton");
        stayed_open = window->isVisible();
        Type(size, "640*360");
        Choose(Child<QComboBox>(window, "videoEncoderList"), "MPEG-4 Part 2");
        Choose(Child<QComboBox>(window, "channelsList"), "Mono");
        Choose(Child<QComboBox>(window, "qualityList"), "CRF 20");
        Choose(Child<QComboBox>(window, "encoderPresetList"), "slow");
        Click(window, "okButton");
    });
    QTest::mouseClick(Child<QPushButton>(window_.get(), "settingsButton"), Qt::LeftButton);
    EXPECT_TRUE(stayed_open);
    EXPECT_EQ(messages_.messages, std::vector<std::string>{"Resolution Error\r\n"});
    const core::OutputSettings& s = window_->session().profile().Settings;
    EXPECT_EQ(s.Width, 640);
    EXPECT_EQ(s.Height, 360);
    EXPECT_EQ(s.Quality, 20);
    EXPECT_STREQ(s.EncoderPreset, "slow");
    EXPECT_STREQ(s.VideoCodecName, "mpeg4");
    EXPECT_EQ(s.Channel, 1);
}

TEST_F(SettingsWindowsTest, DefaultThenCancelLeavesTheMainWindowsProfileAsItWas) {
    const core::OutputProfile before = window_->session().profile();
    DialogWatch watch("customSettingsWindow", [&](QWidget* window) {
        auto* rate = Child<QComboBox>(window, "frameRateList");
        const QString shown = rate->currentText();
        Choose(rate, "25 fps");
        Type(Child<QComboBox>(window, "resolutionList")->lineEdit(), "320*240");
        Click(window, "defaultButton");
        EXPECT_EQ(rate->currentText(), shown);
        EXPECT_EQ(Child<QComboBox>(window, "resolutionList")->currentText(), "Same as source");
        Choose(rate, "25 fps");
        Click(window, "cancelButton");
    });
    window_->OpenSettings();
    EXPECT_EQ(std::memcmp(&before, &window_->session().profile(), sizeof before), 0);
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(SettingsWindowsTest, ASavedProfileSurvivesARestartAndConvertsThroughTheCommandLine) {
    const int shipped = ProfileList()->count();
    DialogWatch name("profileNameDialog", [](QWidget* dialog) {
        static_cast<SkinInputDialog*>(dialog)->setTextValue("Small 360p");
        static_cast<SkinInputDialog*>(dialog)->accept();
    });
    DialogWatch watch("customSettingsWindow", [&](QWidget* window) {
        EXPECT_FALSE(Child<QPushButton>(window, "deleteButton")->isEnabled());  // shipped
        auto* presets = Child<QComboBox>(window, "presetList");
        Type(Child<QComboBox>(window, "resolutionList")->lineEdit(), "640x360");
        Click(window, "saveAsButton");  // what OK refuses is not saved
        EXPECT_EQ(presets->count(), shipped);
        Type(Child<QComboBox>(window, "resolutionList")->lineEdit(), "640*360");
        Click(window, "saveAsButton");
        EXPECT_EQ(presets->currentText(), "Small 360p");
        EXPECT_EQ(presets->currentIndex(), shipped);
        EXPECT_TRUE(Child<QPushButton>(window, "deleteButton")->isEnabled());
        Click(window, "cancelButton");
    });
    window_->OpenSettings();
    EXPECT_EQ(messages_.messages, std::vector<std::string>{"Resolution Error\r\n"});
    EXPECT_EQ(ProfileList()->count(), shipped + 1);
    EXPECT_EQ(ProfileList()->currentIndex(), 1);  // Cancel: the profile stays

    Restart();
    ASSERT_EQ(ProfileList()->count(), shipped + 1);
    EXPECT_EQ(ProfileList()->itemText(shipped), "Small 360p");
    EXPECT_TRUE(fs::exists(settings_file_.parent_path() / "Format.user.xml"));

    const fs::path out = folder_ / "out";
    const cli::test::CliRun listed = cli::test::RunCli(
        "profiles", "HOME='" + (folder_ / "home").string() + "' XDG_CONFIG_HOME=");
    EXPECT_NE(listed.out.find("1001  .mp4   Small 360p"), std::string::npos) << listed.out;
    const cli::test::CliRun run = cli::test::RunCli(
        "convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) + "' -q -t 1 --trim 0:00:01-0:00:02 " +
            "-p 'small 360P' -o '" + out.string() + "'",
        "HOME='" + (folder_ / "home").string() + "' XDG_CONFIG_HOME=");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const e2e::DecodedOutput decoded = e2e::DecodeOutput((out / "Title_01.mp4").string(), 720, 480);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 640);
    EXPECT_EQ(decoded.height, 360);
}

TEST_F(SettingsWindowsTest, DelRemovesASavedProfileOnlyAfterTheUserAgrees) {
    core::OutputProfile saved = window_->session().profile();
    int32_t id = 0;
    ASSERT_TRUE(window_->session().profile_library().SaveAs("Keep me", saved, &id).ok);
    ASSERT_TRUE(window_->session().profile_library().SaveAs("Drop me", saved, &id).ok);
    window_->session().ChooseProfile(id);
    int asked = 0;
    DialogWatch question("deleteProfileQuestion", [&](QWidget* box) {
        Click(box, ++asked == 1 ? "noButton" : "yesButton");
    });
    DialogWatch watch("customSettingsWindow", [&](QWidget* window) {
        auto* presets = Child<QComboBox>(window, "presetList");
        EXPECT_EQ(presets->currentText(), "Drop me");
        Click(window, "deleteButton");  // No
        EXPECT_NE(presets->findText("Drop me"), -1);
        Click(window, "deleteButton");  // Yes
        EXPECT_EQ(presets->findText("Drop me"), -1);
        EXPECT_NE(presets->findText("Keep me"), -1);
        EXPECT_EQ(presets->currentIndex(), 1);  // the default profile is shown
        Click(window, "cancelButton");
    });
    window_->OpenSettings();
    EXPECT_EQ(asked, 2);
    // The deleted profile was current: the default takes its place.
    EXPECT_EQ(window_->session().profile().Id, 1);
    EXPECT_EQ(ProfileList()->findText("Drop me"), -1);
    EXPECT_EQ(ProfileList()->currentIndex(), 1);
}

// --- Properties ---------------------------------------------------------------------

TEST_F(SettingsWindowsTest, PropertiesDescribeTheSampleTitleAndNeedALoadedDisc) {
    int shown = 0;
    DialogWatch watch("propertiesWindow", [&](QWidget* window) {
        ++shown;
        EXPECT_EQ(window->windowTitle(), "Properties");
        EXPECT_EQ(Child<QLabel>(window, "resolutionValue")->text(), "720x480");
        EXPECT_EQ(Child<QLabel>(window, "frameRateValue")->text(), "29.970 fps");
        EXPECT_TRUE(Child<QLabel>(window, "videoBitrateValue")->text().endsWith(" kbps"));
        EXPECT_EQ(Child<QLabel>(window, "audioSampleRateValue")->text(), "48000 Hz");
        EXPECT_EQ(Child<QLabel>(window, "channelsValue")->text(), "5.1");  // title 1's first track
        Click(window, "okButton");
    });
    window_->ShowProperties();  // no disc: nothing
    EXPECT_EQ(shown, 0);
    ASSERT_TRUE(window_->OpenDisc(QString::fromStdString(fx::SampleDiscPath(fx::kNtscDisc.iso))));
    window_->ShowProperties();
    EXPECT_EQ(shown, 1);

    // No frame duration and no sound: those rows stay empty.
    engine::StreamInfoList streams{};
    streams.video_count = 1;
    streams.video[0] = {0, 352, 240, 1150000, 0};
    PropertiesWindow window(streams);
    EXPECT_EQ(Child<QLabel>(&window, "resolutionValue")->text(), "352x240");
    EXPECT_EQ(Child<QLabel>(&window, "frameRateValue")->text(), "");
    EXPECT_EQ(Child<QLabel>(&window, "audioBitrateValue")->text(), "");
    EXPECT_EQ(Child<QLabel>(&window, "channelsValue")->text(), "");
}

}  // namespace
}  // namespace rizuvira::ui
