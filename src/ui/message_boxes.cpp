#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

#include "app/disc_session.h"

namespace rizuvira::ui {

void MessageBoxes::ShowMessage(const std::string& text) {
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(app::kApplicationTitle),
                    QString::fromStdString(text), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace rizuvira::ui
