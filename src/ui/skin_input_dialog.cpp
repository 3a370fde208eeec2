// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/skin_input_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

SkinInputDialog::SkinInputDialog(const QString& title, const QString& label,
                                 const QStringList& choices, QWidget* parent)
    : QDialog(parent) {
    setObjectName("inputDialog");
    setWindowTitle(title);
    setAccessibleName(title);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 12);
    layout->setSpacing(8);
    auto* words = new QLabel(label, this);
    words->setObjectName("inputLabel");
    words->setWordWrap(true);
    layout->addWidget(words);
    QWidget* field = nullptr;
    if (choices.isEmpty()) {
        line_ = new QLineEdit(this);
        field = line_;
    } else {
        list_ = new QComboBox(this);
        list_->setEditable(true);
        list_->addItems(choices);
        field = list_;
    }
    field->setObjectName("inputField");
    field->setMinimumWidth(360);
    words->setBuddy(field);
    layout->addWidget(field);
    layout->addStretch(1);

    QHBoxLayout* buttons = AddSkinFooter(layout);
    buttons->addStretch(1);
    SkinButton* ok = FooterButton("ok2.png", "okButton", this);
    SkinButton* cancel = FooterButton("cancel.png", "cancelButton", this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    ok->setDefault(true);
    SkinLayoutWindow(this, skin::message_box::kArt);
    field->setFocus();
}

QString SkinInputDialog::textValue() const {
    return line_ != nullptr ? line_->text() : list_->currentText();
}

void SkinInputDialog::setTextValue(const QString& text) {
    if (line_ != nullptr)
        line_->setText(text);
    else
        list_->setCurrentText(text);
}

}  // namespace rizuvira::ui
