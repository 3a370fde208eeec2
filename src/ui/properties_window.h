// SPDX-License-Identifier: GPL-2.0-or-later
// The properties window: the picture and sound of the title loaded in the
// preview, in words (app::MakePropertiesTexts), and an OK button.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>

#include "app/properties.h"

namespace rizuvira::ui {

class PropertiesWindow final : public QDialog {
    Q_OBJECT
public:
    // `bluray_title`: what the disc says of a Blu-ray title (DiscSession::BlurayTitleText),
    // shown in a group of its own; empty for a DVD or a file.
    PropertiesWindow(const engine::StreamInfoList& streams, QWidget* parent = nullptr,
                     const std::string& bluray_title = {});
};

}  // namespace rizuvira::ui
