// SPDX-License-Identifier: GPL-2.0-or-later
// What a user of the desktop program waits for, timed inside the program on
// Qt's offscreen platform:   gui_latency_bench DISC
//   start   main() entered to the main window painted (no splash)
//   open    the disc opened to its titles listed in the window
//   play    Play clicked to the first picture painted in the preview
//   seek    a click in the middle of the position slider, while playing, to
//           the first painted picture from the middle of the title (read
//           from the frame number the sample discs draw into each picture)
// Prints one line: "start_ms open_ms play_ms seek_ms", and the time from the
// process's start to main() on standard error.
#include <time.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "core/messages.h"
#include "core/settings_store.h"
#include "ui/main_window.h"
#include "ui/preview_surface.h"
#include "ui/skin_slider.h"
#include "ui/ui_driver.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs the event loop until `done` holds, waking for every event (a picture
// arrives as a queued call), never sleeping on a timer of its own.
void RunUntil(const std::function<bool()>& done) {
    while (!done()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Notes when a widget is painted.
class PaintWatch final : public QObject {
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Milliseconds from the process's start (exec) to now, from /proc; -1 when
// unreadable. Its resolution is the kernel's clock tick.
double ProcessAgeMs() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    // Field 22 (starttime) is the 20th after the name.
    for (int i = 0; i < 20 && fields >> field; ++i) {
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double started_ms = std::stod(field) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6 -
           started_ms;
}

}  // namespace

int main(int argc, char** argv) {
    const Clock::time_point entered = Clock::now();
    const double age_at_main_ms = ProcessAgeMs();
    if (argc != 2) {
        std::fprintf(stderr, "usage: gui_latency_bench DISC\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const fs::path folder = fs::temp_directory_path() / ("gui_latency_" + std::to_string(getpid()));
    fs::create_directories(folder);
    rizuvira::core::SettingsStore settings(folder / "settings.ini");
    settings.Load();
    settings.SetOutFolder(folder.string());
    settings.SetSnapFolder(folder.string());
    rizuvira::core::CollectedMessages messages;
    rizuvira::ui::testing::RecordedActions actions;

    auto window = std::make_unique<rizuvira::ui::MainWindow>(&messages, &settings, &actions);
    PaintWatch window_paints(window.get());
    window->show();
    RunUntil([&] { return window_paints.paints > 0; });
    const double start_ms = MsSince(entered);

    auto* tree = window->findChild<QTreeWidget*>("titleList");
    Clock::time_point t = Clock::now();
    if (!window->OpenDisc(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    RunUntil([&] { return tree->topLevelItemCount() > 0; });
    const double open_ms = MsSince(t);

    rizuvira::ui::PreviewSurface* surface = window->preview();
    PaintWatch surface_paints(surface);
    auto* play = window->findChild<QAbstractButton*>("playButton");
    t = Clock::now();
    QTest::mouseClick(play, Qt::LeftButton);
    RunUntil([&] { return surface->has_picture() && surface_paints.paints > 0; });
    const double play_ms = MsSince(t);

    // A second of playing, then the seek to the middle of the title.
    const Clock::time_point playing = Clock::now();
    RunUntil([&] { return MsSince(playing) > 1000; });
    auto* slider = window->findChild<rizuvira::ui::SkinSlider*>("positionSlider");
    const QPoint middle(slider->width() / 2, slider->height() / 2);
    const int height = 480;
    const int first = rizuvira::ui::testing::FrameNumberShown(surface, height);
    uint64_t seen = surface->pictures_shown();
    t = Clock::now();
    QTest::mousePress(slider, Qt::LeftButton, {}, middle);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, middle);
    // The title's frame count is unknown here: the middle is well past the
    // second already played.
    RunUntil([&] {
        if (surface->pictures_shown() == seen) return false;
        seen = surface->pictures_shown();
        QApplication::processEvents();  // paint it
        const int frame = rizuvira::ui::testing::FrameNumberShown(surface, height);
        return frame > first + 300;
    });
    const double seek_ms = MsSince(t);

    window.reset();
    fs::remove_all(folder);
    std::fprintf(stderr, "process start to main(): %.1f ms\n", age_at_main_ms);
    std::printf("%.1f %.1f %.1f %.1f\n", start_ms, open_ms, play_ms, seek_ms);
    for (const std::string& message : messages.messages)
        std::fprintf(stderr, "message: %s\n", message.c_str());
    return 0;
}
