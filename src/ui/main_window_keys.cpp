// SPDX-License-Identifier: GPL-2.0-or-later
// The main window by keyboard: Tab walks its controls in reading order, the
// header's menus open with Alt and their letter or F10, Space plays and
// pauses (or presses the button that has the focus), and every control that
// shows only a picture has a name for screen readers.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QShortcut>

#include <utility>

#include "ui/main_window.h"

namespace rizuvira::ui {
namespace {

// Reading order: the header, the row of tools, the preview column with its
// buttons, the list, then the card of choices ending with Start.
constexpr const char* kTabOrder[] = {
    "fileMenuButton",       "editMenuButton",   "clipMenuButton", "optionMenuButton",
    "helpMenuButton",       "minimiseButton",   "closeButton",    "addFileButton",
    "effectButton",         "cropButton",       "trimButton",     "preferencesButton",
    "queueButton",          "positionSlider",   "backButton",     "playButton",
    "pauseButton",          "stopButton",       "nextButton",     "snapshotButton",
    "snapshotFolderButton", "titleList",        "audioList",      "subtitleList",
    "profileList",          "settingsButton",   "mergeBox",       "outputField",
    "browseButton",         "openFolderButton", "startButton",    "addQueueButton",
};

// The header buttons' words with the letter Alt opens them by.
constexpr std::pair<const char*, const char*> kMenuKeys[] = {
    {"fileMenuButton", QT_TRANSLATE_NOOP("MainWindow", "&File")},
    {"editMenuButton", QT_TRANSLATE_NOOP("MainWindow", "&Edit")},
    {"clipMenuButton", QT_TRANSLATE_NOOP("MainWindow", "&Clip")},
    {"optionMenuButton", QT_TRANSLATE_NOOP("MainWindow", "&Option")},
    {"helpMenuButton", QT_TRANSLATE_NOOP("MainWindow", "&Help")},
};

}  // namespace

void MainWindow::SetUpKeyboard() {
    QWidget* previous = nullptr;
    for (const char* name : kTabOrder) {
        auto* widget = findChild<QWidget*>(QString::fromLatin1(name));
        if (widget == nullptr) continue;
        if (previous != nullptr) setTabOrder(previous, widget);
        previous = widget;
    }
    // The words are in the button's picture; the text gives the key.
    for (const auto& [name, words] : kMenuKeys)
        findChild<QAbstractButton*>(QString::fromLatin1(name))->setText(tr(words));
    // The window opens with the profile list focused, not a header button
    // with its ring.
    findChild<QWidget*>("profileList")->setFocus();
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this,
            [this] { findChild<QAbstractButton*>("fileMenuButton")->click(); });

    // Space presses the button or box that has the focus, as it would
    // anywhere else; elsewhere it plays and pauses.
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, [this] {
        auto* focused = qobject_cast<QAbstractButton*>(focusWidget());
        if (focused != nullptr && focused->isVisible() && focused->isEnabled())
            focused->animateClick();
        else
            PlayPause();
    });

    findChild<QAbstractButton*>("minimiseButton")->setToolTip(tr("Minimise"));
    findChild<QAbstractButton*>("closeButton")->setToolTip(tr("Close"));
    findChild<QWidget*>("positionSlider")->setAccessibleName(tr("Position"));
    findChild<QWidget*>("previewSurface")->setAccessibleName(tr("Preview"));
    findChild<QWidget*>("titleList")->setAccessibleName(tr("Titles"));
    findChild<QWidget*>("outputField")->setAccessibleName(tr("Output folder"));
    // Each field is named by the label before it.
    for (QLabel* label : findChildren<QLabel*>()) {
        const QString text = label->text();
        const char* field = text == tr("Audio Track:") ? "audioList"
                            : text == tr("SubTitle:")  ? "subtitleList"
                            : text == tr("Profile:")   ? "profileList"
                            : text == tr("Output:")    ? "outputField"
                                                       : nullptr;
        if (field != nullptr) label->setBuddy(findChild<QWidget*>(QString::fromLatin1(field)));
    }
}

}  // namespace rizuvira::ui
