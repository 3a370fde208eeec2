// SPDX-License-Identifier: GPL-2.0-or-later
// The picture area of the main window's preview and of the conversion
// window: a widget that the video renderer presents into. Present runs on the
// renderer's streaming thread; it converts the picture to RGB there and hands
// it to the widget's thread through a queued call, where it is drawn
// letter-boxed (or stretched, as the renderer's placement asks) on the
// border colour, with the placement's colour-keyed overlay (the editor's
// crop frame) over the destination rectangle.
//
// Threads: Present on any thread; everything else on the widget's thread.
// The owner detaches the surface from its renderer (SetSurface(null), or the
// graph closed) before the widget is destroyed.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "decoders/video_renderer.h"

namespace rizuvira::ui {

class PreviewSurface final : public QWidget, public decoders::IVideoSurface {
    Q_OBJECT
public:
    explicit PreviewSurface(QWidget* parent = nullptr);

    void Present(const decoders::VideoFrameView& frame) override;

    // Forgets the picture and shows the place holder again.
    void Clear();
    void SetPlaceholderText(const QString& text);

    bool has_picture() const { return !picture_.isNull(); }
    // Pictures drawn since the widget was made (counted on arrival).
    uint64_t pictures_shown() const { return pictures_shown_; }
    // Where the current picture lands in the widget (empty without one).
    QRect PictureRect() const;

    // A 4:3 area by default; the picture is letter-boxed inside it.
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width * 3 / 4; }
    QSize sizeHint() const override { return QSize(480, 360); }

signals:
    void pictureShown();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Take(const QImage& image, QSize display_aspect, bool stretch, QRect destination,
              QColor border, std::shared_ptr<const decoders::OverlayBitmap> overlay);
    void DrawOverlay(QPainter& painter);

    QImage picture_;
    QSize display_aspect_;
    bool stretch_ = false;
    QRect destination_;  // empty: the whole widget
    QColor border_{Qt::black};
    std::shared_ptr<const decoders::OverlayBitmap> overlay_;
    std::shared_ptr<const decoders::OverlayBitmap> overlay_drawn_;  // what overlay_image_ holds
    QImage overlay_image_;  // the overlay with its key colour transparent
    QString placeholder_;
    uint64_t pictures_shown_ = 0;
};

}  // namespace rizuvira::ui
