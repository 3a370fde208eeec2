// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/finished_window.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>

#include "core/time_text.h"
#include "ui/message_list.h"
#include "ui/qt_helpers.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {
namespace {

namespace layout = skin::finished_window;

QRect R(const skin::Rect& rect) {
    return QRect(rect.x, rect.y, rect.width, rect.height);
}

QLabel* Words(const QString& text, const skin::Rect& rect, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(R(rect));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(skin::kFaceText));
    label->setPalette(palette);
    return label;
}

// A wrapped text at a fixed place: its font shrinks, half a point at a time
// down to 8 points, until the words fit the place's height (a translation or
// a larger desktop font may need more room than the English).
void ShrinkUntilItFits(QLabel* label) {
    QFont font = label->font();
    while (font.pointSizeF() > 8 && label->heightForWidth(label->width()) > label->height()) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        label->setFont(font);
    }
}

}  // namespace

QColor FinishedWindow::MarkColour(app::Ending ending) {
    switch (ending) {
        case app::Ending::kAllConverted:
            return QColor(0x2d, 0x85, 0x52);
        case app::Ending::kSomeFailed:
            return QColor(0xd0, 0x84, 0x00);
        case app::Ending::kAllFailed:
            return QColor(0xc6, 0x28, 0x28);
        case app::Ending::kCancelled:
            return QColor(0x6b, 0x76, 0x85);
    }
    return Qt::gray;
}

FinishedWindow::FinishedWindow(const app::ConversionEnding& ending,
                               const std::vector<engine::FinishedFile>& files,
                               const std::filesystem::path& folder, QWidget* parent)
    : QDialog(parent), ending_(ending.ending) {
    setObjectName("finishedWindow");
    setWindowTitle(tr("Conversion finished"));
    SkinWindow(this, layout::kArt);

    QLabel* headline = Words(Q(ending.headline), layout::kHeadline, this);
    headline->setObjectName("finishedHeadline");
    QFont bold = headline->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    headline->setFont(bold);
    ShrinkUntilItFits(headline);
    QLabel* detail = Words(Q(ending.detail), layout::kDetail, this);
    detail->setObjectName("finishedText");
    detail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ShrinkUntilItFits(detail);

    auto* list = new QListWidget(this);
    list->setObjectName("finishedFiles");
    QRect files_place = R(layout::kFiles);
    if (!ending.reasons.empty()) files_place.setHeight(layout::kFilesWithMessagesHeight);
    list->setGeometry(files_place);
    for (const engine::FinishedFile& file : files) {
        const QString name = Q(file.path.filename().string());
        auto* item = new QListWidgetItem(
            ThemeIcon(file.ok ? "video-x-generic" : "dialog-error",
                      file.ok ? QStyle::SP_FileIcon : QStyle::SP_MessageBoxCritical),
            QString("%1  (%2)")
                .arg(name, Q(core::TimeText(static_cast<int64_t>(file.seconds * 1000)))));
        item->setToolTip(Q(file.path.string()));
        list->addItem(item);
    }
    list->setVisible(!files.empty() || ending.reasons.empty());

    auto* messages = new MessageList(this);
    messages->setObjectName("finishedMessages");
    // Without files the messages take the whole place.
    messages->setGeometry(files.empty() ? R(layout::kFiles).united(R(layout::kMessages))
                                        : R(layout::kMessages));
    const auto kind = ending.ending == app::Ending::kAllConverted ? MessageList::Kind::kWarning
                                                                  : MessageList::Kind::kError;
    for (const std::string& reason : ending.reasons) messages->Add(Q(reason), kind);
    messages->setVisible(!ending.reasons.empty());

    auto* open = new SkinButton("openfolder.png", layout::kButtons, this);
    open->setObjectName("finishedOpenFolder");
    open->setEnabled(!folder.empty());
    connect(open, &QPushButton::clicked, this,
            [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder.string()))); });
    auto* ok = new SkinButton("ok2.png", layout::kButtons, this);
    ok->setObjectName("finishedOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* close = new SkinButton("close.png", layout::kButtons, this);
    close->setObjectName("finishedClose");
    close->setToolTip(tr("Close"));
    close->setAccessibleName(tr("Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void FinishedWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(R(layout::kMark)).adjusted(1, 1, -1, -1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(MarkColour(ending_));
    painter.drawEllipse(box);
    const QPointF c = box.center();
    const qreal u = box.width() / 44.0;  // the drawings are made for 44 pixels
    QPen pen(Qt::white, 4.5 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    switch (ending_) {
        case app::Ending::kAllConverted: {
            QPainterPath check;
            check.moveTo(c + QPointF(-10 * u, 0));
            check.lineTo(c + QPointF(-3 * u, 7 * u));
            check.lineTo(c + QPointF(10 * u, -7 * u));
            painter.drawPath(check);
            break;
        }
        case app::Ending::kSomeFailed:
            painter.drawLine(c + QPointF(0, -10 * u), c + QPointF(0, 3 * u));
            painter.drawPoint(c + QPointF(0, 10 * u));
            break;
        case app::Ending::kAllFailed:
            painter.drawLine(c + QPointF(-8 * u, -8 * u), c + QPointF(8 * u, 8 * u));
            painter.drawLine(c + QPointF(8 * u, -8 * u), c + QPointF(-8 * u, 8 * u));
            break;
        case app::Ending::kCancelled:
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawRoundedRect(QRectF(c - QPointF(8 * u, 8 * u), QSizeF(16 * u, 16 * u)),
                                    2 * u, 2 * u);
            break;
    }
}

}  // namespace rizuvira::ui
