// SPDX-License-Identifier: GPL-2.0-or-later
// The conversion-finished window: what happened to the batch in one
// sentence with its mark (a check when every item converted, a warning when
// some failed, a cross when none converted, a stop after a cancel), the
// files written with a button that opens their folder, and every message
// of the run in full.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>

#include <filesystem>

#include "app/conversion_ending.h"

namespace rizuvira::ui {

class FinishedWindow final : public QDialog {
    Q_OBJECT
public:
    FinishedWindow(const app::ConversionEnding& ending,
                   const std::vector<engine::FinishedFile>& files,
                   const std::filesystem::path& folder, QWidget* parent = nullptr);

    // The colour of the mark.
    static QColor MarkColour(app::Ending ending);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    app::Ending ending_;
};

}  // namespace rizuvira::ui
