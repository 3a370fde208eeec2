// SPDX-License-Identifier: GPL-2.0-or-later
// The small windows: the splash picture shown at start and the About window.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>
#include <QSplashScreen>

#include <memory>

namespace rizuvira::ui {

// The About window: the program's name and version, and links to its home
// page and support page, which open in the desktop's browser.
class AboutWindow final : public QDialog {
    Q_OBJECT
public:
    AboutWindow(const QString& title, const QString& home_page, QWidget* parent = nullptr);
};

// The start-up picture with the program's name and version written on it.
// Returns null when the picture is missing: then there is no splash.
std::unique_ptr<QSplashScreen> MakeSplash(const QString& title, const QString& version);

// How long the splash stays before the main window shows.
inline constexpr int kSplashMs = 1500;

}  // namespace rizuvira::ui
