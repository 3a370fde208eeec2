// SPDX-License-Identifier: GPL-2.0-or-later
// The desktop program's message sink: each message in the program's message
// box with an OK button, over the window given (or the active one). A
// message is something that went wrong and shows the error mark; a warning
// (something the run got past) shows the warning mark.
//
// Threads: the user-interface thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/messages.h"

namespace rizuvira::ui {

class MessageBoxes final : public core::MessageSink {
public:
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace rizuvira::ui
