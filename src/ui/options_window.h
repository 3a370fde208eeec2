// SPDX-License-Identifier: GPL-2.0-or-later
// The Conversion Options window (Option > Conversion Options): deinterlacing,
// the automatic crop of black borders, subtitles drawn or kept as tracks, and
// a checkable list of the selected title's sound tracks (the first ticked one
// is the default track), and a chapter range of the selected title. OK writes
// the choices into app::ConversionOptions (the range is the caller's to
// apply); Cancel leaves them.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "app/conversion_options.h"

class QCheckBox;
class QComboBox;
class QListWidget;
class QSpinBox;

namespace rizuvira::ui {

class OptionsWindow final : public QDialog {
    Q_OBJECT
public:
    // `options` must outlive the window; `sound_tracks` are the entries of
    // the selected title's sound list, in its order; `chapters` the number of
    // its chapters (0: no range to choose).
    OptionsWindow(app::ConversionOptions* options, const std::vector<std::string>& sound_tracks,
                  int chapters, QWidget* parent = nullptr);

    void accept() override;
    // After OK: whether the chapter range was changed, and the range (from 1).
    bool chapters_chosen() const { return chapters_chosen_; }
    int first_chapter() const;
    int last_chapter() const;

private:
    app::ConversionOptions* const options_;
    QComboBox* deinterlace_ = nullptr;
    QCheckBox* auto_crop_ = nullptr;
    QComboBox* subtitles_ = nullptr;
    QListWidget* sound_ = nullptr;
    QSpinBox* first_chapter_ = nullptr;
    QSpinBox* last_chapter_ = nullptr;
    bool chapters_touched_ = false;
    bool chapters_chosen_ = false;
};

}  // namespace rizuvira::ui
