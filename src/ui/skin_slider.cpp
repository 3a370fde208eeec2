// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/skin_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "ui/skin.h"

namespace rizuvira::ui {
namespace {

constexpr int kPlainHeight = 20;
constexpr int kPlainTrackHeight = 6;

}  // namespace

SkinSlider::SkinSlider(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

void SkinSlider::SetPictures(const QString& track, const QString& fill, const QString& thumb) {
    track_ = SkinPicture(track);
    fill_ = SkinPicture(fill);
    thumb_ = SkinPicture(thumb);
    if (!track_.isNull()) setFixedSize(track_.deviceIndependentSize().toSize());
    updateGeometry();
    update();
}

void SkinSlider::SetMode(Mode mode) {
    mode_ = mode;
    if (mode_ == Mode::kFollowValue) end_mark_ = value_;
    update();
}

void SkinSlider::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum > minimum ? maximum : minimum + 1;
    value_ = std::clamp(value_, minimum_, maximum_);
    start_mark_ = std::clamp(start_mark_, minimum_, maximum_);
    end_mark_ = mode_ == Mode::kFollowValue ? value_ : std::clamp(end_mark_, minimum_, maximum_);
    update();
}

void SkinSlider::SetValue(int value) {
    if (dragging_) return;
    TakeValue(value);
}

void SkinSlider::TakeValue(int value) {
    value_ = std::clamp(value, minimum_, maximum_);
    if (mode_ == Mode::kFollowValue) end_mark_ = value_;
    update();
}

void SkinSlider::SetMarks(int start, int end) {
    if (dragging_) return;
    if (start >= 0) start_mark_ = std::clamp(start, minimum_, maximum_);
    if (end >= 0 && mode_ == Mode::kSeparateMarks) end_mark_ = std::clamp(end, minimum_, maximum_);
    update();
}

QSize SkinSlider::sizeHint() const {
    if (!track_.isNull()) return track_.deviceIndependentSize().toSize();
    return QSize(200, kPlainHeight);
}

QSize SkinSlider::minimumSizeHint() const {
    if (!track_.isNull()) return track_.deviceIndependentSize().toSize();
    return QSize(40, kPlainHeight);
}

int SkinSlider::ValueAt(int x) const {
    const int w = std::max(width(), 1);
    x = std::clamp(x, 0, w);
    return minimum_ + static_cast<int>(static_cast<int64_t>(maximum_ - minimum_) * x / w);
}

int SkinSlider::XOf(int value, int span) const {
    return static_cast<int>(static_cast<int64_t>(span) * (value - minimum_) /
                            (maximum_ - minimum_));
}

void SkinSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    TakeValue(ValueAt(event->position().toPoint().x()));
    emit valueChanging(value_);
}

void SkinSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    TakeValue(ValueAt(event->position().toPoint().x()));
    emit valueChanging(value_);
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    update();
    emit released(value_);
}

void SkinSlider::keyPressEvent(QKeyEvent* event) {
    const int step = std::max(1, (maximum_ - minimum_) / 100);
    int value = value_;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            value -= step;
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            value += step;
            break;
        case Qt::Key_PageDown:
            value -= 10 * step;
            break;
        case Qt::Key_PageUp:
            value += 10 * step;
            break;
        case Qt::Key_Home:
            value = minimum_;
            break;
        case Qt::Key_End:
            value = maximum_;
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    if (dragging_) return;
    TakeValue(value);
    emit valueChanging(value_);
    emit released(value_);
}

void SkinSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width(), h = height();
    const int fill_from = XOf(start_mark_, w);
    const int fill_to = XOf(end_mark_, w);

    if (!track_.isNull()) painter.drawPixmap(0, 0, track_);
    if (!fill_.isNull() && fill_to > fill_from) {
        const qreal ratio = fill_.devicePixelRatio();
        painter.drawPixmap(
            QRectF(fill_from, 0, fill_to - fill_from, h), fill_,
            QRectF(fill_from * ratio, 0, (fill_to - fill_from) * ratio, fill_.height()));
    }
    const QPalette& colours = palette();
    const int track_top = (h - kPlainTrackHeight) / 2;
    if (track_.isNull()) {
        painter.setPen(QPen(colours.color(QPalette::Mid), 1.0));
        painter.setBrush(colours.color(QPalette::Base));
        painter.drawRoundedRect(QRectF(0.5, track_top + 0.5, w - 1, kPlainTrackHeight - 1), 3, 3);
    }
    if (fill_.isNull() && fill_to > fill_from) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colours.color(QPalette::Highlight));
        painter.drawRoundedRect(
            QRectF(fill_from, track_top, fill_to - fill_from, kPlainTrackHeight), 3, 3);
    }

    if (hasFocus()) {
        // The keyboard's place: a ring around the control.
        painter.setPen(QPen(colours.color(QPalette::Highlight), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 4, 4);
    }
    if (!thumb_.isNull()) {
        const QSize size = thumb_.deviceIndependentSize().toSize();
        const int x = XOf(value_, w - size.width());
        painter.drawPixmap(x, (h - size.height()) / 2, thumb_);
        return;
    }
    const int side = std::min(h - 4, 16);
    const int x = XOf(value_, w - side);
    const QRectF knob(x + 0.5, (h - side) / 2 + 0.5, side - 1, side - 1);
    painter.setPen(
        QPen(dragging_ ? colours.color(QPalette::Highlight) : colours.color(QPalette::Dark), 1.0));
    painter.setBrush(underMouse() || dragging_ ? colours.color(QPalette::Light)
                                               : colours.color(QPalette::Button));
    painter.drawEllipse(knob);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.color(QPalette::Highlight));
    painter.drawEllipse(knob.center(), side / 6.0, side / 6.0);
}

}  // namespace rizuvira::ui
