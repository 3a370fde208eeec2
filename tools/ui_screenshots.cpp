// SPDX-License-Identifier: GPL-2.0-or-later
// Writes a PNG of each window of the desktop program, for review:
//   ui-screenshots [--light-only] OUTPUT_FOLDER [DISC]
// main.png (the sample disc loaded and playing), about.png, properties.png,
// preferences.png and preferences-options.png, settings.png, the editor on
// each page while it plays (editor-trim.png, editor-crop.png,
// editor-effect.png, editor-watermark.png), conversion.png (mid-run),
// finished.png, the main window after Add to Queue (main-queued.png), the
// queue window (queue.png), a batch whose items all fail (finished-failed.png
// over conversion-failed.png), the conversion options (options.png) and the
// activity log window (log.png), an error in the program's message box
// (message.png), the question before a file is replaced
// (message-question.png), the name of a profile to save (input.png), the countdown before a
// shutdown (shutdown.png). The same pictures again under a dark desktop palette (in
// OUTPUT_FOLDER/dark) and with the desktop's font half as large again
// (OUTPUT_FOLDER/large-font), and in German (OUTPUT_FOLDER/de). Runs on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise; --light-only writes only the
// first set (the package's screenshots); DISC defaults to the sample NTSC image.
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/sample_discs.h"
#include "ui/conversion_window.h"
#include "ui/editor_window.h"
#include "ui/main_window.h"
#include "ui/preferences_window.h"
#include "ui/preview_surface.h"
#include "ui/shutdown_window.h"
#include "ui/skin_input_dialog.h"
#include "ui/skin_message_box.h"
#include "ui/translation.h"
#include "ui/ui_driver.h"

namespace {

namespace fs = std::filesystem;
using namespace rizuvira;

bool Save(QWidget* widget, const fs::path& file) {
    const bool ok = widget->grab().save(QString::fromStdString(file.string()));
    std::printf("%s %s\n", ok ? "wrote" : "could not write", file.c_str());
    return ok;
}

// Every window once, in the desktop's look as it is now; the number of
// pictures that could not be written.
int ShootAll(const fs::path& out, const std::string& disc, const fs::path& work) {
    fs::create_directories(out);
    fs::create_directories(work / "out");
    core::StderrMessages messages;
    core::SettingsStore store(work / "settings.ini");
    store.Load();
    store.SetOutFolder((work / "out").string());
    store.SetSnapFolder((work / "snaps").string());
    ui::testing::RecordedActions actions;
    int failures = 0;
    {
        ui::MainWindow window(&messages, &store, &actions);
        window.show();
        if (!window.OpenDisc(QString::fromStdString(disc))) return 1;
        QTest::mouseClick(window.findChild<QAbstractButton*>("playButton"), Qt::LeftButton);
        ui::testing::WaitFor([&] { return window.preview()->pictures_shown() > 10; });
        // Into the part of the title with the colour bars, still playing.
        window.player().SeekTo(20.0);
        const uint64_t shown = window.preview()->pictures_shown();
        ui::testing::WaitFor([&] { return window.preview()->pictures_shown() > shown + 20; });
        failures += !Save(&window, out / "main.png");
        window.Pause();

        {
            ui::testing::DialogWatch about("aboutWindow", [&](QWidget* box) {
                failures += !Save(box, out / "about.png");
                static_cast<QDialog*>(box)->accept();
            });
            window.ShowAbout();
        }
        {
            ui::testing::DialogWatch properties("propertiesWindow", [&](QWidget* dialog) {
                failures += !Save(dialog, out / "properties.png");
                static_cast<QDialog*>(dialog)->accept();
            });
            window.ShowProperties();
        }
        window.StopPreview();
        {
            ui::testing::DialogWatch preferences("preferencesWindow", [&](QWidget* widget) {
                auto* dialog = static_cast<ui::PreferencesWindow*>(widget);
                failures += !Save(dialog, out / "preferences.png");
                dialog->ShowPage(app::PreferencesPage::kOptions);
                failures += !Save(dialog, out / "preferences-options.png");
                dialog->reject();
            });
            window.OpenPreferences();
        }
        {
            ui::testing::DialogWatch settings("customSettingsWindow", [&](QWidget* dialog) {
                failures += !Save(dialog, out / "settings.png");
                static_cast<QDialog*>(dialog)->reject();
            });
            window.OpenSettings();
        }

        // The editor on each page, playing, with a crop, a trim and a watermark set.
        const char* pages[] = {"editor-trim.png", "editor-crop.png", "editor-effect.png",
                               "editor-watermark.png"};
        for (int page = 0; page < 4; ++page) {
            ui::testing::DialogWatch editor("editorWindow", [&](QWidget* widget) {
                auto* dialog = static_cast<ui::EditorWindow*>(widget);
                app::Editor& rules = dialog->editor();
                rules.TypeCropNumber(app::Editor::CropSide::kLeft, 60);
                rules.TypeCropNumber(app::Editor::CropSide::kRight, 660);
                rules.DragRange(150, 800);
                rules.MarkIn();
                rules.MarkOut();
                if (page == 3) {
                    core::Watermark mark = rules.watermark();
                    mark.text = "Rizuvira";
                    mark.x = 120;
                    mark.y = 40;
                    rules.SetWatermark(mark);
                    dialog->ShowPage(app::EditorPage::kWatermark);
                }
                dialog->RefreshAll();
                ui::testing::WaitFor([&] {
                    return dialog->right_picture()->pictures_shown() > 50 &&
                           dialog->left_picture()->has_picture();
                });
                failures += !Save(dialog, out / pages[page]);
                dialog->reject();
            });
            window.Edit(page < 3 ? static_cast<app::EditorPage>(page) : app::EditorPage::kEffect);
        }

        {
            ui::testing::DialogWatch running("conversionWindow", [&](QWidget* widget) {
                auto* conversion = static_cast<ui::ConversionWindow*>(widget);
                auto* bar = conversion->findChild<QProgressBar*>("itemBar");
                auto* timer = new QTimer(conversion);
                QObject::connect(timer, &QTimer::timeout, conversion, [&, conversion, bar, timer] {
                    if (bar->value() < 300 || conversion->preview()->pictures_shown() == 0) return;
                    timer->stop();
                    failures += !Save(conversion, out / "conversion.png");
                });
                timer->start(50);
                QObject::connect(conversion, &ui::ConversionWindow::finishedShown, conversion,
                                 [&](QDialog* finished) {
                                     QTimer::singleShot(100, finished, [&, finished] {
                                         failures += !Save(finished, out / "finished.png");
                                         finished->accept();
                                     });
                                 });
            });
            window.session().CheckAll(false);
            window.session().ClickCheck(0);
            window.Start();
        }
        // The queue with three jobs: two titles of one profile and one
        // merged pair of another.
        {
            auto* tree = window.findChild<QTreeWidget*>("titleList");
            auto* profiles = window.findChild<QComboBox*>("profileList");
            QTreeWidgetItem* root = tree->topLevelItem(0);
            window.CheckAll(false);
            ui::testing::ClickCheckMark(tree, root->child(0));
            ui::testing::ClickCheckMark(tree, root->child(2));
            window.AddToQueue();
            profiles->setCurrentIndex(profiles->findData(3));
            ui::testing::ClickCheckMark(tree, root->child(1));
            window.findChild<QCheckBox*>("mergeBox")->setChecked(true);
            window.AddToQueue();
            window.findChild<QCheckBox*>("mergeBox")->setChecked(false);
            failures += !Save(&window, out / "main-queued.png");
            ui::testing::DialogWatch queue("queueWindow", [&](QWidget* dialog) {
                auto* list = dialog->findChild<QTreeWidget*>("queueList");
                list->setCurrentItem(list->topLevelItem(1));
                failures += !Save(dialog, out / "queue.png");
                static_cast<QDialog*>(dialog)->reject();
            });
            window.OpenQueue();
            profiles->setCurrentIndex(profiles->findData(1));
        }
        // A batch whose every item fails: a profile with an encoder that
        // does not exist.
        {
            // Its items fail at once: the finished window is watched for
            // itself, as it may show before the conversion window is seen.
            ui::testing::DialogWatch failing("finishedWindow", [&](QWidget* finished) {
                QTimer::singleShot(100, finished, [&, finished] {
                    failures += !Save(finished, out / "finished-failed.png");
                    failures += !Save(finished->parentWidget(), out / "conversion-failed.png");
                    static_cast<QDialog*>(finished)->accept();
                });
            });
            core::SetField(window.session().output_settings().VideoCodecName, "no-such-encoder");
            window.session().CheckAll(false);
            window.session().ClickCheck(1);
            window.session().ClickCheck(2);
            window.Start();
        }
        {
            ui::testing::DialogWatch options("optionsWindow", [&](QWidget* dialog) {
                failures += !Save(dialog, out / "options.png");
                static_cast<QDialog*>(dialog)->reject();
            });
            window.OpenOptions();
        }
        {
            ui::testing::DialogWatch log("logWindow", [&](QWidget* dialog) {
                failures += !Save(dialog, out / "log.png");
                static_cast<QDialog*>(dialog)->accept();
            });
            window.ShowActivityLog();
        }
        {
            ui::SkinMessageBox error(
                ui::MessageKind::kError, window.windowTitle(),
                QString::fromStdString("The disc in " + (work / "discs" / "Holiday 2019").string() +
                                       " cannot be read: it holds no VIDEO_TS folder."),
                "Choose the DVD folder itself, or its ISO image.", &window);
            error.show();
            failures += !Save(&error, out / "message.png");
            ui::SkinMessageBox question(
                ui::MessageKind::kQuestion, window.windowTitle(),
                QCoreApplication::translate("MainWindow", "%1 exists. Replace it?")
                    .arg(QString::fromStdString((work / "out" / "Title_01.mp4").string())),
                QCoreApplication::translate("MainWindow",
                                            "No keeps the file and goes on with the next title."),
                &window);
            question.show();
            failures += !Save(&question, out / "message-question.png");
            ui::SkinInputDialog name(
                QCoreApplication::translate("CustomSettingsWindow", "Save as"),
                QCoreApplication::translate("CustomSettingsWindow", "Name of the new profile:"), {},
                &window);
            name.setTextValue("Small 360p");
            name.show();
            failures += !Save(&name, out / "input.png");
        }
        {
            // The countdown before a shutdown, on a clock that stands still.
            ui::CountdownActions countdown(&actions, &messages, [] { return int64_t{0}; });
            std::string error;
            countdown.ShutDown(&error);
            ui::testing::WaitFor([&] { return countdown.window() != nullptr; });
            failures += !Save(countdown.window(), out / "shutdown.png");
            countdown.window()->reject();
        }
    }
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication application(argc, argv);
    QApplication::setApplicationVersion("0.1.0");
    rizuvira::ui::ApplyIconTheme();
    std::vector<std::string> arguments;
    bool light_only = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--light-only")
            light_only = true;
        else
            arguments.emplace_back(argv[i]);
    }
    if (arguments.empty()) {
        std::fprintf(stderr, "usage: ui-screenshots [--light-only] OUTPUT_FOLDER [DISC]\n");
        return 2;
    }
    const fs::path out = arguments[0];
    const std::string disc =
        arguments.size() > 1 ? arguments[1] : fixtures::SampleDiscPath(fixtures::kNtscDisc.iso);
    const fs::path work =
        fs::temp_directory_path() / ("ui_screenshots_" + std::to_string(::getpid()));
    int failures = ShootAll(out, disc, work / "light");
    if (light_only) {
        fs::remove_all(work);
        return failures == 0 ? 0 : 1;
    }

    // A dark desktop theme: the skin keeps its own colours.
    const QPalette light = QApplication::palette();
    QPalette dark;
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        dark.setColor(role, QColor(0x23, 0x26, 0x29));
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
        dark.setColor(role, QColor(0xef, 0xf0, 0xf1));
    dark.setColor(QPalette::AlternateBase, QColor(0x31, 0x36, 0x3b));
    QApplication::setPalette(dark);
    failures += ShootAll(out / "dark", disc, work / "dark");
    QApplication::setPalette(light);

    // The desktop's font half as large again.
    const QFont normal = QApplication::font();
    QFont large = normal;
    large.setPointSizeF(large.pointSizeF() * 1.5);
    QApplication::setFont(large);
    failures += ShootAll(out / "large-font", disc, work / "large-font");
    QApplication::setFont(normal);

    // In German, as a user with LANG=de_DE.UTF-8 sees it (last: a
    // translation stays installed).
    if (rizuvira::ui::UseUserLanguage(QLocale(QLocale::German, QLocale::Germany)).isEmpty()) {
        std::printf("could not load the German translation\n");
        ++failures;
    } else {
        failures += ShootAll(out / "de", disc, work / "de");
    }

    fs::remove_all(work);
    return failures == 0 ? 0 : 1;
}
