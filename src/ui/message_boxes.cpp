// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "app/disc_session.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

void MessageBoxes::ShowMessage(const std::string& text) {
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    // Every message is something that went wrong or could not be done.
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(app::kApplicationTitle),
                    QString::fromStdString(text), QMessageBox::Ok, parent);
    box.setPalette(SkinPalette());
    box.exec();
}

}  // namespace rizuvira::ui
