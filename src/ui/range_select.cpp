// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/range_select.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "ui/skin.h"

namespace rizuvira::ui {
namespace {

constexpr int kPlainThumbWidth = 18;
constexpr int kPlainHeight = 18;

}  // namespace

RangeSelect::RangeSelect(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void RangeSelect::SetPictures(const QString& track, const QString& thumb) {
    track_ = SkinPicture(track);
    thumb_ = SkinPicture(thumb);
    if (!track_.isNull()) setFixedSize(track_.deviceIndependentSize().toSize());
    updateGeometry();
    update();
}

void RangeSelect::SetFractions(double start, double end) {
    if (start >= 0) start_ = std::clamp(start, 0.0, 1.0);
    if (end >= 0) end_ = std::clamp(end, 0.0, 1.0);
    if (end_ < start_) end_ = start_;
    update();
}

void RangeSelect::SetRange(int range) {
    range_ = std::max(range, 1);
}

int RangeSelect::start_position() const {
    return static_cast<int>(range_ * start_);
}
int RangeSelect::end_position() const {
    return static_cast<int>(range_ * end_);
}

int RangeSelect::thumb_width() const {
    return thumb_.isNull() ? kPlainThumbWidth : thumb_.deviceIndependentSize().toSize().width();
}

int RangeSelect::ThumbCentre(double fraction) const {
    const int tw = thumb_width();
    return tw / 2 + static_cast<int>(std::lround(fraction * std::max(width() - tw, 0)));
}

double RangeSelect::FractionAt(int centre_x) const {
    const int tw = thumb_width();
    const int span = width() - tw;
    if (span <= 0) return 0.0;
    return std::clamp(static_cast<double>(centre_x - tw / 2) / span, 0.0, 1.0);
}

QSize RangeSelect::sizeHint() const {
    if (!track_.isNull()) return track_.deviceIndependentSize().toSize();
    return QSize(218, kPlainHeight);
}

QSize RangeSelect::minimumSizeHint() const {
    if (!track_.isNull()) return track_.deviceIndependentSize().toSize();
    return QSize(3 * kPlainThumbWidth, kPlainHeight);
}

void RangeSelect::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int x = event->position().toPoint().x();
    const int half = thumb_width() / 2 + 1;
    const int start_x = ThumbCentre(start_), end_x = ThumbCentre(end_);
    const bool on_start = std::abs(x - start_x) <= half;
    const bool on_end = std::abs(x - end_x) <= half;
    if (on_start && on_end && start_x == end_x) {
        grab_ = Grab::kEither;
        grab_offset_ = x - start_x;
    } else if (on_start && (!on_end || std::abs(x - start_x) <= std::abs(x - end_x))) {
        grab_ = Grab::kStart;
        grab_offset_ = x - start_x;
    } else if (on_end) {
        grab_ = Grab::kEnd;
        grab_offset_ = x - end_x;
    } else {
        grab_ = Grab::kNone;
    }
}

void RangeSelect::mouseMoveEvent(QMouseEvent* event) {
    if (grab_ == Grab::kNone) return;
    const int x = event->position().toPoint().x();
    const double fraction = FractionAt(x - grab_offset_);
    if (grab_ == Grab::kEither) {
        if (fraction == start_) return;
        grab_ = fraction < start_ ? Grab::kStart : Grab::kEnd;
    }
    if (grab_ == Grab::kStart)
        start_ = std::min(fraction, end_);
    else
        end_ = std::max(fraction, start_);
    update();
    emit rangeChanging(start_position(), end_position());
}

void RangeSelect::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) grab_ = Grab::kNone;
}

void RangeSelect::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width(), h = height();
    const int tw = thumb_width();
    const int start_x = ThumbCentre(start_), end_x = ThumbCentre(end_);
    const QPalette& colours = palette();

    if (!track_.isNull()) {
        painter.drawPixmap(0, 0, track_);
    } else {
        const QRectF track(tw / 2, h - 6, w - tw / 2 * 2, 4);
        painter.setPen(QPen(colours.color(QPalette::Mid), 1.0));
        painter.setBrush(colours.color(QPalette::Base));
        painter.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        QColor span = colours.color(QPalette::Highlight);
        span.setAlpha(150);
        painter.setPen(Qt::NoPen);
        painter.setBrush(span);
        painter.drawRect(QRectF(start_x, track.top(), end_x - start_x, track.height()));
    }

    for (const int centre : {start_x, end_x}) {
        if (!thumb_.isNull()) {
            const QSize size = thumb_.deviceIndependentSize().toSize();
            painter.drawPixmap(centre - size.width() / 2, (h - size.height()) / 2, thumb_);
            continue;
        }
        // A pointer whose tip stands on the track at the thumb's centre.
        const qreal half = tw / 2.0 - 2;
        QPainterPath pointer;
        pointer.moveTo(centre + 0.5, h - 3.5);
        pointer.lineTo(centre + half + 0.5, h - 3.5 - half);
        pointer.lineTo(centre + half + 0.5, 1.5);
        pointer.lineTo(centre - half + 0.5, 1.5);
        pointer.lineTo(centre - half + 0.5, h - 3.5 - half);
        pointer.closeSubpath();
        painter.setPen(QPen(colours.color(QPalette::Dark), 1.0));
        painter.setBrush(colours.color(QPalette::Button));
        painter.drawPath(pointer);
        painter.setPen(QPen(colours.color(QPalette::Highlight), 2.0));
        painter.drawLine(QPointF(centre + 0.5, 4), QPointF(centre + 0.5, h - 3.5 - half));
    }
}

}  // namespace rizuvira::ui
