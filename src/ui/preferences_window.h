// SPDX-License-Identifier: GPL-2.0-or-later
// The preferences window: the General page (output and snapshot folders,
// image type, the action after converting, the maximum processor use) and
// the Options page (language, skin), shown by two tab buttons, over
// app::Preferences, which holds every rule; OK stores what changed.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>

#include "app/preferences.h"
#include "core/messages.h"

class QComboBox;
class QLineEdit;
class QStackedWidget;
class QToolButton;

namespace rizuvira::ui {

class PreferencesWindow final : public QDialog {
    Q_OBJECT
public:
    // `store` and `messages` must outlive the window.
    PreferencesWindow(core::SettingsStore* store, core::MessageSink* messages,
                      QWidget* parent = nullptr);

    const app::Preferences& form() const { return form_; }

    // A tab button: shows its page unless it is shown already.
    void ShowPage(app::PreferencesPage page);

protected:
    // OK: stores the changes and closes; when the settings cannot be
    // written, says so and stays open.
    void accept() override;

private:
    QWidget* BuildTabs();
    QWidget* BuildGeneralPage();
    QWidget* BuildOptionsPage();
    QLayout* BuildButtons();
    QComboBox* List(app::PreferenceList list, const char* name);
    QWidget* FolderField(QLineEdit** field, const char* name, bool snapshots);

    core::SettingsStore* const store_;
    core::MessageSink* const messages_;
    app::Preferences form_;
    QToolButton* general_tab_ = nullptr;
    QToolButton* options_tab_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLineEdit* out_folder_ = nullptr;
    QLineEdit* snap_folder_ = nullptr;
};

}  // namespace rizuvira::ui
