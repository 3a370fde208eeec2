// SPDX-License-Identifier: GPL-2.0-or-later
// A question with one answer to give, on the skin like the message box: a
// name to type, or one of a list that may also be typed over (a drive, or a
// path of one's own). OK and Cancel.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLineEdit;

namespace rizuvira::ui {

// exec() returns Accepted for OK (or Enter), Rejected for Cancel, Escape or
// the header's close.
class SkinInputDialog final : public QDialog {
    Q_OBJECT
public:
    // With no `choices` the answer is a line of free text; with some, an
    // editable list that starts at the first.
    SkinInputDialog(const QString& title, const QString& label, const QStringList& choices = {},
                    QWidget* parent = nullptr);

    QString textValue() const;
    void setTextValue(const QString& text);

private:
    QLineEdit* line_ = nullptr;
    QComboBox* list_ = nullptr;
};

}  // namespace rizuvira::ui
