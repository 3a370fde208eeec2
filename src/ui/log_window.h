// SPDX-License-Identifier: GPL-2.0-or-later
// The activity log window (Help > Activity Log): every entry of app::ActivityLog,
// newest last, with its time, disc, title and words, warnings marked, and a
// button that opens the log file in the desktop's text viewer.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>

#include "app/activity_log.h"

namespace rizuvira::ui {

class LogWindow final : public QDialog {
    Q_OBJECT
public:
    // `log` must outlive the window; it is read once, when the window is made.
    explicit LogWindow(const app::ActivityLog& log, QWidget* parent = nullptr);
};

}  // namespace rizuvira::ui
