// The Conversion Options window (Option > Conversion Options): deinterlacing,
// the automatic crop of black borders, subtitles drawn or kept as tracks, and
// a checkable list of the selected title's sound tracks (the first ticked one
// is the default track). OK writes the choices into app::ConversionOptions;
// Cancel leaves them.
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

namespace rizuvira::ui {

class OptionsWindow final : public QDialog {
    Q_OBJECT
public:
    // `options` must outlive the window; `sound_tracks` are the entries of
    // the selected title's sound list, in its order.
    OptionsWindow(app::ConversionOptions* options, const std::vector<std::string>& sound_tracks,
                  QWidget* parent = nullptr);

    void accept() override;

private:
    app::ConversionOptions* const options_;
    QComboBox* deinterlace_ = nullptr;
    QCheckBox* auto_crop_ = nullptr;
    QComboBox* subtitles_ = nullptr;
    QListWidget* sound_ = nullptr;
};

}  // namespace rizuvira::ui
