// SPDX-License-Identifier: GPL-2.0-or-later
// SkinSlider: the skinned slider. A range, a value (the thumb), a start and an end mark with
// the fill drawn between them, and a mode: in kFollowValue the end mark follows the value
// (the fill runs from the start mark to the thumb); in kSeparateMarks the marks are set on
// their own (the editor's time slider shows the trimmed range).
//
// Drawn from three skin pictures (track, fill, thumb) when the caller names them and they
// exist; otherwise a plain track, fill and round thumb in the palette's colours.
//
// A press at x sets the value to minimum + (maximum - minimum) * x / width (x held inside the
// control) and captures the mouse: valueChanging comes on the press and on every move while
// captured, released when the button goes up. While captured, SetValue and SetMarks are
// ignored, so a timer updating the thumb does not fight the user.
//
// Tab reaches it (a ring shows the focus); the arrow keys move the value by
// a hundredth of the range, Page Up and Down by a tenth, Home and End to
// the ends, each reported as a press and a release at the new value.
//
// Threads: the user-interface thread.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace rizuvira::ui {

class SkinSlider final : public QWidget {
    Q_OBJECT
public:
    enum class Mode { kFollowValue = 1, kSeparateMarks = 2 };

    explicit SkinSlider(QWidget* parent = nullptr);

    // Pictures by skin name ("sliderbk1.png"); a missing one keeps the plain look. The control
    // takes the track picture's size.
    void SetPictures(const QString& track, const QString& fill, const QString& thumb);

    void SetMode(Mode mode);
    Mode mode() const { return mode_; }
    // A range whose maximum is not above its minimum is taken as [minimum, minimum + 1].
    void SetRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // Held inside the range; ignored while the user drags.
    void SetValue(int value);
    int value() const { return value_; }
    // A negative mark leaves that mark as it is; ignored while the user drags.
    void SetMarks(int start, int end);
    int start_mark() const { return start_mark_; }
    int end_mark() const { return end_mark_; }
    bool dragging() const { return dragging_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user pressed or moved the thumb to `value`.
    void valueChanging(int value);
    // The user let go of the thumb at `value`.
    void released(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int ValueAt(int x) const;
    int XOf(int value, int span) const;  // the share of `span` for `value`
    void TakeValue(int value);

    Mode mode_ = Mode::kFollowValue;
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
    int start_mark_ = 0;
    int end_mark_ = 0;
    bool dragging_ = false;
    QPixmap track_, fill_, thumb_;
};

}  // namespace rizuvira::ui
