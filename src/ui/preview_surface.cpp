// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/preview_surface.h"

#include <QIcon>
#include <QPainter>

#include <algorithm>

namespace rizuvira::ui {
namespace {

inline uint8_t Clamp(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// YV12 (limited range, BT.601) to RGB32 for the pixels in `source`.
QImage ToRgb(const decoders::VideoFrameView& frame, const QRect& source) {
    QImage image(source.size(), QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y) {
        const int sy = source.top() + y;
        const uint8_t* luma = frame.y + static_cast<ptrdiff_t>(sy) * frame.y_stride;
        const uint8_t* cr = frame.v + static_cast<ptrdiff_t>(sy / 2) * frame.uv_stride;
        const uint8_t* cb = frame.u + static_cast<ptrdiff_t>(sy / 2) * frame.uv_stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int sx = source.left() + x;
            const int c = 298 * (luma[sx] - 16);
            const int d = cb[sx / 2] - 128;
            const int e = cr[sx / 2] - 128;
            out[x] =
                qRgb(Clamp((c + 409 * e + 128) >> 8), Clamp((c - 100 * d - 208 * e + 128) >> 8),
                     Clamp((c + 516 * d + 128) >> 8));
        }
    }
    return image;
}

QRect FromRect(const RECT& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

}  // namespace

PreviewSurface::PreviewSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Small enough for every place a window gives it (the main window's is
    // 296 wide): a larger minimum would push it under its neighbours and
    // off the centre of its place.
    setMinimumSize(160, 90);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void PreviewSurface::Present(const decoders::VideoFrameView& frame) {
    if (frame.y == nullptr || frame.u == nullptr || frame.v == nullptr || frame.width <= 0 ||
        frame.height <= 0)
        return;
    QRect source(0, 0, frame.width, frame.height);
    bool stretch = false;
    QRect destination;
    QColor border(Qt::black);
    std::shared_ptr<const decoders::OverlayBitmap> overlay;
    if (frame.placement != nullptr) {
        const decoders::VideoPlacement& placement = *frame.placement;
        const QRect wanted = FromRect(placement.source);
        if (wanted.isValid() && !wanted.isEmpty()) source = wanted.intersected(source);
        if (source.isEmpty()) return;
        const QRect dest = FromRect(placement.destination);
        if (dest.isValid() && !dest.isEmpty()) destination = dest;
        stretch = placement.aspect_ratio_mode == decoders::VMR_ARMODE_NONE;
        const uint32_t c = placement.border_colour;
        border = QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        overlay = placement.overlay;
    }
    QSize aspect(frame.aspect_x, frame.aspect_y);
    if (aspect.width() <= 0 || aspect.height() <= 0) aspect = QSize(frame.width, frame.height);
    // The display aspect of the part shown.
    const double shown_w = static_cast<double>(aspect.width()) * source.width() / frame.width;
    const double shown_h = static_cast<double>(aspect.height()) * source.height() / frame.height;
    aspect = QSize(qRound(shown_w * 1000), qRound(shown_h * 1000));
    if (aspect.isEmpty()) aspect = source.size();
    const QImage image = ToRgb(frame, source);
    QMetaObject::invokeMethod(
        this,
        [this, image, aspect, stretch, destination, border, overlay] {
            Take(image, aspect, stretch, destination, border, overlay);
        },
        Qt::QueuedConnection);
}

void PreviewSurface::Take(const QImage& image, QSize display_aspect, bool stretch,
                          QRect destination, QColor border,
                          std::shared_ptr<const decoders::OverlayBitmap> overlay) {
    picture_ = image;
    overlay_ = std::move(overlay);
    display_aspect_ = display_aspect;
    stretch_ = stretch;
    destination_ = destination;
    border_ = border;
    ++pictures_shown_;
    update();
    emit pictureShown();
}

void PreviewSurface::Clear() {
    picture_ = QImage();
    overlay_.reset();
    update();
}

void PreviewSurface::SetPlaceholderText(const QString& text) {
    placeholder_ = text;
    update();
}

QRect PreviewSurface::PictureRect() const {
    if (picture_.isNull()) return {};
    const QRect area = destination_.isEmpty() ? rect() : destination_;
    if (stretch_) return area;
    QSize size = display_aspect_.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.left() + (area.width() - size.width()) / 2,
                 area.top() + (area.height() - size.height()) / 2, size.width(), size.height());
}

void PreviewSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_.isNull()) {
        painter.fillRect(rect(), QColor(0x1e, 0x20, 0x24));
        const QIcon icon = QIcon::fromTheme("video-x-generic");
        const int side = std::min(64, std::min(width(), height()) / 3);
        if (!icon.isNull() && side > 8) {
            icon.paint(&painter, QRect((width() - side) / 2, height() / 2 - side, side, side),
                       Qt::AlignCenter, QIcon::Disabled);
        }
        painter.setPen(QColor(0xa0, 0xa4, 0xac));
        painter.drawText(rect().adjusted(8, height() / 2 + 8, -8, -8),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, placeholder_);
        return;
    }
    painter.fillRect(rect(), border_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PictureRect(), picture_);
    DrawOverlay(painter);
}

void PreviewSurface::DrawOverlay(QPainter& painter) {
    const decoders::OverlayBitmap* overlay = overlay_.get();
    if (overlay == nullptr) return;
    if (overlay_drawn_ != overlay_) {
        overlay_drawn_ = overlay_;
        overlay_image_ = QImage(overlay->width, overlay->height, QImage::Format_ARGB32);
        const uint32_t key = overlay->colour_key;
        const QRgb key_rgb = qRgb(key & 0xFF, (key >> 8) & 0xFF, (key >> 16) & 0xFF);
        const int alpha = std::clamp(static_cast<int>(overlay->alpha * 255.0f + 0.5f), 0, 255);
        for (int y = 0; y < overlay->height; ++y) {
            const uint8_t* in =
                overlay->rgb.data() + static_cast<std::size_t>(y) * overlay->width * 3;
            auto* out = reinterpret_cast<QRgb*>(overlay_image_.scanLine(y));
            for (int x = 0; x < overlay->width; ++x, in += 3) {
                const QRgb rgb = qRgb(in[0], in[1], in[2]);
                out[x] = rgb == key_rgb ? qRgba(0, 0, 0, 0) : qRgba(in[0], in[1], in[2], alpha);
            }
        }
    }
    // The overlay covers its share of the destination rectangle.
    const QRect area = destination_.isEmpty() ? rect() : destination_;
    const QRectF target(area.left() + overlay->dest_left * area.width(),
                        area.top() + overlay->dest_top * area.height(),
                        (overlay->dest_right - overlay->dest_left) * area.width(),
                        (overlay->dest_bottom - overlay->dest_top) * area.height());
    const RECT& s = overlay->source;
    const QRect source = QRect(QPoint(s.left, s.top), QPoint(s.right - 1, s.bottom - 1))
                             .intersected(overlay_image_.rect());
    if (source.isEmpty()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, overlay_image_, source);
}

}  // namespace rizuvira::ui
