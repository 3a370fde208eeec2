// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/skin_message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/skin.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {
namespace {

namespace box = skin::message_box;

QPixmap Mark(MessageKind kind, const QStyle* style) {
    const QPixmap picture = SkinPicture(QString::fromUtf8(box::kMarks[int(kind)]));
    if (!picture.isNull()) return picture;
    const QStyle::StandardPixmap standard[] = {
        QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxQuestion,
        QStyle::SP_MessageBoxInformation};
    return style->standardIcon(standard[int(kind)]).pixmap(box::kMarkSize);
}

// The words wrap inside this width; a longer message makes the box taller.
constexpr int kTextWidth = 340;

}  // namespace

SkinMessageBox::SkinMessageBox(MessageKind kind, const QString& title, const QString& message,
                               const QString& next_step, QWidget* parent)
    : QDialog(parent), kind_(kind), message_(message) {
    setObjectName("messageBox");
    setWindowTitle(title);
    setModal(true);
    setAccessibleName(title);
    setAccessibleDescription(message);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 12);
    layout->setSpacing(12);
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    auto* mark = new QLabel(this);
    mark->setObjectName("messageMark");
    mark->setPixmap(Mark(kind, style()));
    mark->setFixedSize(box::kMarkSize, box::kMarkSize);
    row->addWidget(mark, 0, Qt::AlignTop);

    auto* words = new QVBoxLayout;
    words->setSpacing(6);
    auto* text = new QLabel(QString(message).replace('/', QStringLiteral("/\u200b")), this);
    text->setObjectName("messageText");
    text->setWordWrap(true);
    text->setMinimumWidth(kTextWidth);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont larger = text->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.1);
    text->setFont(larger);
    words->addWidget(text);
    if (!next_step.isEmpty()) {
        auto* next = new QLabel(next_step, this);
        next->setObjectName("messageNextStep");
        next->setWordWrap(true);
        next->setMinimumWidth(kTextWidth);
        QPalette muted = next->palette();
        muted.setColor(QPalette::WindowText, QColor(0x5b, 0x65, 0x73));
        next->setPalette(muted);
        words->addWidget(next);
    }
    row->addLayout(words, 1);
    layout->addLayout(row);
    layout->addStretch(1);

    QHBoxLayout* buttons = AddSkinFooter(layout);
    buttons->addStretch(1);
    if (kind == MessageKind::kQuestion) {
        SkinButton* yes = FooterButton("yes.png", "yesButton", this);
        SkinButton* no = FooterButton("no.png", "noButton", this);
        buttons->addWidget(yes);
        buttons->addWidget(no);
        connect(yes, &QPushButton::clicked, this, &QDialog::accept);
        connect(no, &QPushButton::clicked, this, &QDialog::reject);
        no->setDefault(true);
        no->setFocus();
    } else {
        SkinButton* ok = FooterButton("ok2.png", "okButton", this);
        buttons->addWidget(ok);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setDefault(true);
        ok->setFocus();
    }
    SkinLayoutWindow(this, box::kArt);
}

bool SkinMessageBox::Ask(QWidget* parent, const QString& title, const QString& question,
                         const QString& next_step) {
    SkinMessageBox ask(MessageKind::kQuestion, title, question, next_step, parent);
    return ask.exec() == QDialog::Accepted;
}

void SkinMessageBox::Tell(QWidget* parent, MessageKind kind, const QString& title,
                          const QString& message, const QString& next_step) {
    SkinMessageBox tell(kind, title, message, next_step, parent);
    tell.exec();
}

}  // namespace rizuvira::ui
