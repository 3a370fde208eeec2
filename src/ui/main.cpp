// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira: the desktop program.
//   rizuvira [DISC] [--quit-after-load]
// DISC (a drive, a DVD folder, an ISO image or an MPEG file) is opened at
// start. --quit-after-load prints the listed rows and quits once DISC is
// open (for scripts and the smoke test); the exit code is 0 when it opened,
// 3 when it did not.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/disc_session.h"
#include "engine/system_actions.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/shutdown_window.h"
#include "ui/small_windows.h"
#include "ui/translation.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(rizuvira::app::kApplicationTitle));
    QApplication::setApplicationVersion(RIZUVIRA_VERSION);
    QGuiApplication::setDesktopFileName("org.example.Rizuvira");
    rizuvira::ui::ApplyIconTheme();
    rizuvira::ui::UseUserLanguage();

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main",
        "Converts DVD titles into video files.\n"
        "The output profiles come from the Format.xml shipped with the program; the "
        "environment variable RIZUVIRA_CATALOGUE=FILE names another catalogue."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QCoreApplication::translate("main", "DISC"),
        QCoreApplication::translate(
            "main", "A drive, a DVD folder, an ISO image or an MPEG file to open at start."));
    QCommandLineOption quit_after_load(
        "quit-after-load",
        QCoreApplication::translate("main", "Print the rows of DISC and quit once it is open."));
    parser.addOption(quit_after_load);
    parser.process(application);
    const QStringList positional = parser.positionalArguments();

    rizuvira::core::SettingsStore settings(
        rizuvira::core::DefaultSettingsFile(rizuvira::app::kApplicationTitle));
    settings.Load();
    rizuvira::ui::MessageBoxes messages;
    rizuvira::engine::DesktopActions desktop;
    // A shutdown waits a minute for the user to cancel it.
    rizuvira::ui::CountdownActions actions(&desktop, &messages);
    rizuvira::ui::MainWindow window(&messages, &settings, &actions);
    messages.SetParent(&window);

    const bool quit = parser.isSet(quit_after_load);
    const QString disc = positional.isEmpty() ? QString() : positional.front();
    auto start = [&window, &messages, &settings, disc, quit] {
        window.show();
        // Stored values that cannot be used, and what is used instead.
        if (!quit)
            for (const std::string& problem : settings.problems()) messages.ShowWarning(problem);
        if (disc.isEmpty()) {
            if (quit) QApplication::exit(0);
            return;
        }
        const bool opened = window.OpenDisc(disc);
        if (!quit) return;
        rizuvira::app::DiscSession& session = window.session();
        for (int i = 0; opened && i < session.row_count(); ++i) {
            const auto& row = session.row(i);
            std::printf("%s\t%s\t%s\t%s\n", row.name.c_str(), row.original_length.c_str(),
                        row.trimmed_length.c_str(), row.output_name.c_str());
        }
        std::fflush(stdout);
        QApplication::exit(opened ? 0 : 3);
    };
    // The splash picture first, unless a script waits for the rows.
    std::unique_ptr<QSplashScreen> splash =
        quit ? nullptr
             : rizuvira::ui::MakeSplash(window.windowTitle(), QApplication::applicationVersion());
    if (splash != nullptr) {
        splash->show();
        QTimer::singleShot(rizuvira::ui::kSplashMs, &window, [&splash, start] {
            splash->finish(nullptr);
            splash.reset();
            start();
        });
    } else {
        QTimer::singleShot(0, &window, start);
    }
    return application.exec();
}
