// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ui_driver.h"

#include <QPointer>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "fixtures/sample_discs.h"
#include "ui/preview_surface.h"

namespace rizuvira::ui::testing {

void WaitFor(const std::function<bool()>& done) {
    while (!done()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void ClickCheckMark(QTreeWidget* tree, QTreeWidgetItem* item) {
    QModelIndex index;
    if (QTreeWidgetItem* parent = item->parent())
        index = tree->model()->index(parent->indexOfChild(item), 0,
                                     tree->model()->index(tree->indexOfTopLevelItem(parent), 0));
    else
        index = tree->model()->index(tree->indexOfTopLevelItem(item), 0);
    QStyleOptionViewItem option;
    option.initFrom(tree->viewport());
    option.rect = tree->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay |
                      QStyleOptionViewItem::HasDecoration;
    option.decorationSize = tree->iconSize().isValid() ? tree->iconSize() : QSize(16, 16);
    const QRect check =
        tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, check.center());
}

struct DialogWatch::State {
    QTimer timer;
    QList<QPointer<QWidget>> answered;
};

DialogWatch::DialogWatch(const QString& name, std::function<void(QWidget*)> answer)
    : state_(std::make_unique<State>()) {
    state_->timer.setInterval(50);
    QObject::connect(&state_->timer, &QTimer::timeout, [state = state_.get(), name, answer] {
        // A dialog that is gone is forgotten, so the next one made at the
        // same address is answered too.
        state->answered.removeIf([](const QPointer<QWidget>& w) { return w.isNull(); });
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if ((widget->objectName() != name && widget->metaObject()->className() != name) ||
                !widget->isVisible() || state->answered.contains(widget))
                continue;
            state->answered.push_back(widget);
            answer(widget);
        }
    });
    state_->timer.start();
}

DialogWatch::~DialogWatch() = default;

int FrameNumberShown(PreviewSurface* surface, int source_height) {
    const QRect shown = surface->PictureRect();
    if (shown.isEmpty()) return -1;
    const QImage grey = surface->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
    const double sx = shown.width() / 720.0,
                 sy = shown.height() / static_cast<double>(source_height);
    const fixtures::PictureRect band = fixtures::OriginalBandRect(source_height);
    const fixtures::PictureRect mapped{shown.left() + band.x0 * sx, shown.top() + band.y0 * sy,
                                       band.width * sx, band.height * sy};
    return fixtures::DecodeFrameBand(grey.constBits(), grey.width(), grey.height(),
                                     static_cast<int>(grey.bytesPerLine()), mapped);
}

}  // namespace rizuvira::ui::testing
