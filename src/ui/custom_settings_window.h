// SPDX-License-Identifier: GPL-2.0-or-later
// The custom output settings window: the eight lists of a copy of the
// current profile (the resolution list takes typed sizes too), the preset
// list with "Save as..." and "Del" for the user's saved profiles, "Default",
// OK and Cancel, over app::CustomOutputSettings, which holds every rule.
// After OK the caller takes form().profile().
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>

#include <array>
#include <initializer_list>

#include "app/custom_output_settings.h"
#include "core/messages.h"

class QComboBox;
class QGroupBox;
class QPushButton;

namespace rizuvira::ui {

class CustomSettingsWindow final : public QDialog {
    Q_OBJECT
public:
    // `library` and `messages` must outlive the window. Saving and deleting
    // take effect at once, whether the window ends with OK or Cancel.
    CustomSettingsWindow(const core::OutputProfile& profile, app::ProfileLibrary* library,
                         core::MessageSink* messages, QWidget* parent = nullptr);

    const app::CustomOutputSettings& form() const { return form_; }

    // The buttons, as clicks call them. SaveAs asks for the name.
    void Default();
    void SaveAs();
    void SaveAs(const QString& name);
    void Delete();

protected:
    // OK: the lists' choices go into the copy; a failed step says why and
    // the window stays open.
    void accept() override;

private:
    QLayout* BuildPresets();
    QGroupBox* BuildGroup(const QString& title, std::initializer_list<app::OutputList> lists);
    QLayout* BuildButtons();
    QComboBox* List(app::OutputList list);
    // Shows the copy's values and the preset list again.
    void Refresh();
    bool Report(const app::FormOutcome& outcome);

    core::MessageSink* const messages_;
    app::CustomOutputSettings form_;
    std::array<QComboBox*, app::kOutputListCount> lists_{};
    QComboBox* presets_ = nullptr;
    QPushButton* delete_ = nullptr;
    QGroupBox* video_ = nullptr;
    QGroupBox* audio_ = nullptr;
};

}  // namespace rizuvira::ui
