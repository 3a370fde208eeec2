// SPDX-License-Identifier: GPL-2.0-or-later
// RangeSelect: the two-thumb range control. Two fractions, start and end, each 0.0 to 1.0,
// shown as two thumbs on a track. A thumb's centre lies at half a thumb width plus the
// fraction of (width - thumb width), so the centres span the track less half a thumb at each
// end: placed half a thumb wider on each side than a slider, the thumbs stand over the
// slider's marks.
//
// A press on a thumb takes it (on both, when they overlap, the first move decides: left takes
// the start, right the end); while it is dragged it stays inside the track, the start thumb
// never passes the end thumb nor the end thumb the start thumb, and every move posts both
// positions, range x fraction truncated.
//
// Drawn from two skin pictures (track, thumb) when given and present; otherwise a plain
// track with the span between the thumbs filled and two pointer thumbs.
//
// Threads: the user-interface thread.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace rizuvira::ui {

class RangeSelect final : public QWidget {
    Q_OBJECT
public:
    explicit RangeSelect(QWidget* parent = nullptr);

    // Pictures by skin name; a missing one keeps the plain look. The control takes the track
    // picture's size.
    void SetPictures(const QString& track, const QString& thumb);

    // A negative fraction leaves it; each is held to 0..1 and the end is kept at or after the
    // start.
    void SetFractions(double start, double end);
    double start_fraction() const { return start_; }
    double end_fraction() const { return end_; }
    // The range positions are reported in (default 1000); at least 1.
    void SetRange(int range);
    int range() const { return range_; }
    // A thumb is held by the mouse.
    bool dragging() const { return grab_ != Grab::kNone; }
    int start_position() const;
    int end_position() const;

    // Width of a thumb in pixels; the thumbs' centres keep half of it from the ends.
    int thumb_width() const;
    // Where the centre of a thumb at `fraction` lies.
    int ThumbCentre(double fraction) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A thumb moved: both positions, 0..range.
    void rangeChanging(int start, int end);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Grab { kNone, kStart, kEnd, kEither };
    double FractionAt(int centre_x) const;

    double start_ = 0.0;
    double end_ = 1.0;
    int range_ = 1000;
    Grab grab_ = Grab::kNone;
    int grab_offset_ = 0;  // press x minus the thumb's centre
    QPixmap track_, thumb_;
};

}  // namespace rizuvira::ui
