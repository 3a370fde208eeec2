// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/message_list.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QtMath>

#include <algorithm>

#include "ui/qt_helpers.h"

namespace rizuvira::ui {
namespace {

constexpr int kPad = 4;
constexpr int kIcon = 16;

// Lays `text` out in lines of `width`, breaking between words where it can
// and anywhere else where it must; returns the height.
qreal LayOut(QTextLayout& layout, int width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

class WrappingDelegate final : public QStyledItemDelegate {
public:
    explicit WrappingDelegate(QListWidget* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QTextLayout layout(index.data().toString(), option.font);
        const qreal height = LayOut(layout, TextWidth());
        return QSize(TextWidth(), std::max(kIcon, qCeil(height)) + 2 * kPad);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
        const QRect row = option.rect;
        icon.paint(painter, QRect(row.left() + kPad, row.top() + kPad, kIcon, kIcon));
        QTextLayout layout(index.data().toString(), option.font);
        LayOut(layout, TextWidth());
        painter->setPen(option.palette.color(QPalette::Text));
        layout.draw(painter, QPointF(row.left() + 2 * kPad + kIcon, row.top() + kPad));
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(row.bottomLeft(), row.bottomRight());
        painter->restore();
    }

private:
    // Room is kept for the scroll bar, so a line that fits keeps fitting
    // when the bar appears.
    int TextWidth() const {
        const int scroll_bar = list_->verticalScrollBar()->sizeHint().width();
        return std::max(40, list_->viewport()->width() - scroll_bar - 3 * kPad - kIcon);
    }

    QListWidget* list_;
};

}  // namespace

MessageList::MessageList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new WrappingDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(false);
    setWordWrap(true);
    setResizeMode(QListView::Adjust);
}

void MessageList::Add(const QString& text, Kind kind) {
    auto* item = new QListWidgetItem(
        kind == Kind::kError ? ThemeIcon("dialog-error", QStyle::SP_MessageBoxCritical)
                             : ThemeIcon("dialog-warning", QStyle::SP_MessageBoxWarning),
        text);
    item->setToolTip(text);
    addItem(item);
}

QStringList MessageList::texts() const {
    QStringList all;
    for (int i = 0; i < count(); ++i) all << item(i)->text();
    return all;
}

void MessageList::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    doItemsLayout();  // the rows' heights follow the width
}

}  // namespace rizuvira::ui
