// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/message_boxes.h"

#include <QApplication>

#include "app/disc_session.h"
#include "ui/skin_message_box.h"

namespace rizuvira::ui {

void MessageBoxes::ShowMessage(const std::string& text) {
    SkinMessageBox::Tell(parent_ ? parent_.data() : QApplication::activeWindow(),
                         MessageKind::kError, QString::fromUtf8(app::kApplicationTitle),
                         QString::fromStdString(text));
}

void MessageBoxes::ShowWarning(const std::string& text) {
    SkinMessageBox::Tell(parent_ ? parent_.data() : QApplication::activeWindow(),
                         MessageKind::kWarning, QString::fromUtf8(app::kApplicationTitle),
                         QString::fromStdString(text));
}

}  // namespace rizuvira::ui
