// SPDX-License-Identifier: GPL-2.0-or-later
// The desktop program in German, as a user with LANG=de_DE.UTF-8 starts it:
// ctest runs this program with that locale, and it chooses its language the
// way the program does at start.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>

#include <filesystem>

#include "app/conversion_ending.h"
#include "app/shutdown_countdown.h"
#include "fixtures/sample_discs.h"
#include "ui/main_window.h"
#include "ui/skin.h"
#include "ui/translation.h"
#include "ui/ui_driver.h"

namespace rizuvira::ui {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;

// What the start chose from LANG (see main).
QString g_language;

QStringList LabelTexts(QWidget* window) {
    QStringList texts;
    for (QLabel* label : window->findChildren<QLabel*>()) texts << label->text();
    return texts;
}

TEST(LanguageTest, TheMainWindowSpeaksTheLanguageOfTheLocale) {
    ASSERT_EQ(g_language, "de") << "LANG=" << qgetenv("LANG").constData();
    const fs::path folder = fs::temp_directory_path() / ("language_" + std::to_string(::getpid()));
    core::SettingsStore store(folder / "settings.ini");
    store.Load();
    core::CollectedMessages messages;
    testing::RecordedActions actions;
    MainWindow window(&messages, &store, &actions);
    window.show();
    ASSERT_TRUE(window.OpenDisc(QString::fromStdString(fx::SampleDiscPath(fx::kNtscDisc.iso))));
    QApplication::processEvents();

    const QStringList labels = LabelTexts(&window);
    for (const char* german : {"Tonspur:", "Untertitel:", "Profil:", "Ausgabe:"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(german))) << german;
    EXPECT_EQ(window.findChild<QLabel*>("statusLabel")->text(), "ntsc.iso: 4 Titel");
    EXPECT_EQ(window.findChild<QTreeWidget*>("titleList")->headerItem()->text(1),
              QString::fromUtf8("Originallänge"));
    // Alt and the menu's German letter open it.
    EXPECT_EQ(window.findChild<QAbstractButton*>("fileMenuButton")->text(), "&Datei");
    QStringList file_menu;
    for (QAction* action : window.findChild<QMenu*>("fileMenu")->actions())
        file_menu << action->text();
    EXPECT_TRUE(file_menu.contains("ISO-Datei laden")) << file_menu.join(", ").toStdString();
    // The buttons' words are drawn in the pictures: the German copies are used.
    EXPECT_EQ(window.findChild<QAbstractButton*>("startButton")->text(), "Start");
    EXPECT_EQ(window.findChild<QAbstractButton*>("addFileButton")->text(),
              QString::fromUtf8("Datei hinzufügen"));
    SetSkinLanguage(QString());
    const QImage english = SkinPicture("addfile.png").toImage();
    SetSkinLanguage("de");
    const QImage german = SkinPicture("addfile.png").toImage();
    ASSERT_FALSE(german.isNull());
    EXPECT_EQ(german.size(), english.size());
    EXPECT_NE(german, english);
    fs::remove_all(folder);
}

TEST(LanguageTest, TheAppLayersSentencesAreTranslatedWhole) {
    ASSERT_EQ(g_language, "de");
    app::RunResult result;
    result.items = 3;
    result.failed_items = 2;
    result.reasons = {"disk full"};
    const app::ConversionEnding ending = app::DescribeEnding(result);
    EXPECT_EQ(ending.headline, "2 von 3 Elementen konnten nicht konvertiert werden.");
    EXPECT_EQ(ending.detail, "1 Element wurde konvertiert. Die Gründe stehen unten.");
    app::ShutdownCountdown countdown(60, [] { return int64_t{0}; });
    EXPECT_EQ(countdown.Text(), "Der Computer wird in 60 Sekunden heruntergefahren.");
}

}  // namespace
}  // namespace rizuvira::ui

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication application(argc, argv);
    rizuvira::ui::ApplyIconTheme();
    // As the program does at start, from LANG.
    rizuvira::ui::g_language = rizuvira::ui::UseUserLanguage();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
