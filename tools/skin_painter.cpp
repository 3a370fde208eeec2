// SPDX-License-Identifier: GPL-2.0-or-later
// Draws the skin pictures the windows are made of, from the description in
// src/ui/skin_layout.h, once at 1x and once at 2x ("name@2x.png"):
//
//   rizuvira-skin-painter OUTPUT_FOLDER [ICON_THEME_FOLDER] [TRANSLATION.qm...]
//   rizuvira-skin-painter --icon SVG NAME ICON_THEME_ROOT
//
// For each translation the pictures that hold words are drawn once more, in
// that language, into OUTPUT_FOLDER/LANGUAGE ("de").
// The second form renders the program's own icon into the hicolor sizes
// (ICON_THEME_ROOT/hicolor/NxN/apps/NAME.png).
//
// Icons come from an installed icon theme (breeze by default), rendered from
// its SVG files; the rest is drawn with anti-aliased shapes in one palette.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgRenderer>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <span>

#include "ui/skin_layout.h"

using namespace rizuvira;

namespace skin = rizuvira::ui::skin;

namespace {

// --- Palette -------------------------------------------------------------------

const QColor kFaceTop(0xf5, 0xf7, 0xfa);
const QColor kFaceBottom(0xe4, 0xe9, 0xf0);
const QColor kHeaderTop(0x2a, 0x3a, 0x50);
const QColor kHeaderBottom(0x1c, 0x27, 0x36);
const QColor kHeaderLine(0x3f, 0x55, 0x73);
const QColor kText(0x1f, 0x29, 0x33);
const QColor kMutedText(0x8a, 0x94, 0xa3);
const QColor kLightText(0xf2, 0xf5, 0xf9);
const QColor kAccent(0x31, 0x6a, 0xc5);
const QColor kAccentLight(0x4a, 0x86, 0xe0);
const QColor kAccentDark(0x24, 0x52, 0x9c);
const QColor kBorder(0xc3, 0xcb, 0xd6);
const QColor kHoverFill(0xff, 0xff, 0xff);
const QColor kPressedFill(0xd6, 0xe3, 0xf7);
const QColor kDisabledFill(0xe9, 0xec, 0xf0);
const QColor kClose(0xe0, 0x3e, 0x45);

QString g_theme = QStringLiteral("/usr/share/icons/breeze");
QString g_out;

// --- Icons ---------------------------------------------------------------------

// The SVG of `name` in the theme, preferring the folder nearest `size`.
QByteArray IconSvg(const QString& name, int size) {
    const char* contexts[] = {"actions", "places", "devices", "status", "mimetypes", "apps"};
    const int sizes_small[] = {22, 32, 16, 48, 64};
    const int sizes_large[] = {64, 48, 32, 22, 16};
    for (const char* context : contexts) {
        for (int folder :
             size > 32 ? std::span<const int>(sizes_large) : std::span<const int>(sizes_small)) {
            QFile file(
                QStringLiteral("%1/%2/%3/%4.svg").arg(g_theme).arg(context).arg(folder).arg(name));
            if (file.open(QIODevice::ReadOnly)) return file.readAll();
        }
    }
    std::fprintf(stderr, "skin painter: no icon %s in %s\n", qPrintable(name), qPrintable(g_theme));
    return {};
}

// Draws the icon into `box`; a monochrome icon takes `colour`, a coloured
// one keeps its own colours.
void DrawIcon(QPainter& painter, const QString& name, const QRectF& box, const QColor& colour,
              qreal opacity = 1.0) {
    QByteArray svg = IconSvg(name, int(box.width()));
    if (svg.isEmpty()) return;
    // The theme's monochrome icons are drawn in its text colour.
    svg.replace("#232629", colour.name().toLatin1());
    svg.replace("#31363b", colour.name().toLatin1());
    svg.replace("#4d4d4d", colour.name().toLatin1());
    QSvgRenderer renderer(svg);
    painter.save();
    painter.setOpacity(opacity);
    renderer.render(&painter, box);
    painter.restore();
}

QFont Font(qreal pixels, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qMax(1, qRound(pixels)));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// `font` made smaller, a pixel at a time down to 8, until `text` fits in
// `width`: a translation's longer words still fit their button.
QFont Fitted(QFont font, const QString& text, qreal width) {
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

// Point size as the windows use it, in pixels at 96 dpi.
qreal PointPixels(int points) {
    return points * 96.0 / 72.0;
}

QImage Canvas(int width, int height, int scale,
              QImage::Format format = QImage::Format_ARGB32_Premultiplied) {
    QImage image(width * scale, height * scale, format);
    image.fill(Qt::transparent);
    return image;
}

void Save(const QImage& image, const QString& file, int scale) {
    QString name = file;
    if (scale == 2) {
        const int dot = name.lastIndexOf(u'.');
        name = name.left(dot) + QStringLiteral("@2x") + name.mid(dot);
    }
    const QString path = QDir(g_out).filePath(name);
    if (!image.save(path, nullptr, name.endsWith(QStringLiteral(".jpg")) ? 92 : -1)) {
        std::fprintf(stderr, "skin painter: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QRectF R(const skin::Rect& rect) {
    return QRectF(rect.x, rect.y, rect.width, rect.height);
}

// --- Buttons -------------------------------------------------------------------

enum Frame { kNormal, kOver, kPressed, kDisabled };

void RoundedBox(QPainter& p, const QRectF& box, qreal radius, const QBrush& fill,
                const QColor& line) {
    QPainterPath path;
    path.addRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.fillPath(path, fill);
    if (line.isValid()) {
        p.setPen(QPen(line, 1.0));
        p.drawPath(path);
    }
}

QLinearGradient Vertical(const QRectF& box, const QColor& top, const QColor& bottom) {
    QLinearGradient gradient(box.topLeft(), box.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    return gradient;
}

void DrawLabel(QPainter& p, const QRectF& box, const QString& text, const QFont& font,
               const QColor& colour, int flags = Qt::AlignCenter) {
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, flags | Qt::TextSingleLine, text);
}

// One frame of `art` in the box (window pixels; the painter is scaled).
void DrawButtonFrame(QPainter& p, const skin::ButtonArt& art, const QRectF& box, Frame frame) {
    const QString label = QCoreApplication::translate("skin", art.label);
    QString icon = art.icon ? QString::fromUtf8(art.icon) : QString();
    const bool off = frame == kDisabled;
    switch (art.look) {
        case skin::Look::kTool: {
            const QRectF face = box.adjusted(3, 2, -3, -2);
            if (frame == kOver) RoundedBox(p, face, 8, QColor(255, 255, 255, 220), kBorder);
            if (frame == kPressed) RoundedBox(p, face, 8, kPressedFill, kAccent);
            const QColor colour = off ? kMutedText : frame == kPressed ? kAccentDark : kText;
            DrawIcon(p, icon, QRectF(box.center().x() - 12, box.y() + 6, 24, 24), colour,
                     off ? 0.45 : 1.0);
            DrawLabel(p, QRectF(box.x(), box.y() + 32, box.width(), 18), label,
                      Fitted(Font(12, frame == kPressed), label, box.width() - 6), colour);
            break;
        }
        case skin::Look::kMedia: {
            const QRectF disc = box.adjusted(2, 2, -2, -2);
            QColor colour = kText;
            if (frame == kOver) {
                p.setPen(QPen(kBorder, 1));
                p.setBrush(Qt::white);
                p.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
            } else if (frame == kPressed) {
                p.setPen(Qt::NoPen);
                p.setBrush(Vertical(disc, kAccentLight, kAccent));
                p.drawEllipse(disc);
                colour = Qt::white;
            }
            if (off) colour = kMutedText;
            DrawIcon(p, icon, QRectF(box.center().x() - 11, box.center().y() - 11, 22, 22), colour,
                     off ? 0.45 : 1.0);
            break;
        }
        case skin::Look::kMenu: {
            const QRectF face = box.adjusted(2, 5, -2, -5);
            if (frame == kOver) RoundedBox(p, face, 5, QColor(255, 255, 255, 36), QColor());
            if (frame == kPressed) RoundedBox(p, face, 5, kAccent, QColor());
            DrawLabel(p, box, label, Fitted(Font(12.5, false), label, box.width() - 6),
                      off                ? QColor(0x7a, 0x86, 0x96)
                      : frame == kNormal ? QColor(0xd5, 0xdc, 0xe6)
                                         : Qt::white);
            break;
        }
        case skin::Look::kCaption:
        case skin::Look::kClose: {
            const QRectF face = box.adjusted(1, 1, -1, -1);
            const bool red = art.look == skin::Look::kClose;
            if (frame == kOver)
                RoundedBox(p, face, 4, red ? kClose : QColor(255, 255, 255, 46), QColor());
            if (frame == kPressed)
                RoundedBox(p, face, 4, red ? kClose.darker(125) : QColor(255, 255, 255, 80),
                           QColor());
            DrawIcon(p, icon, QRectF(box.center().x() - 8, box.center().y() - 8, 16, 16),
                     off                ? QColor(0x7a, 0x86, 0x96)
                     : frame == kNormal ? QColor(0xd5, 0xdc, 0xe6)
                                        : Qt::white);
            break;
        }
        case skin::Look::kPush:
        case skin::Look::kTab:
        case skin::Look::kAccent: {
            const QRectF face = box.adjusted(1, 1, -1, -2);
            const bool accent = art.look == skin::Look::kAccent;
            QColor colour = kText;
            // A soft shadow under every frame but the pressed one.
            if (frame != kPressed && !off)
                RoundedBox(p, face.translated(0, 1), 6, QColor(0, 0, 0, 28), QColor());
            if (off) {
                RoundedBox(p, face, 6, kDisabledFill, QColor(0xd3, 0xd8, 0xdf));
                colour = kMutedText;
            } else if (accent) {
                const QColor top = frame == kOver      ? kAccentLight.lighter(106)
                                   : frame == kPressed ? kAccentDark
                                                       : kAccentLight;
                const QColor bottom = frame == kOver      ? kAccentLight
                                      : frame == kPressed ? kAccentDark.darker(108)
                                                          : kAccent;
                RoundedBox(p, face, 6, Vertical(face, top, bottom), kAccentDark);
                colour = Qt::white;
            } else if (frame == kPressed) {
                RoundedBox(p, face, 6, kPressedFill, kAccent);
                colour = kAccentDark;
            } else {
                RoundedBox(
                    p, face, 6,
                    Vertical(face, Qt::white,
                             frame == kOver ? QColor(0xf3, 0xf7, 0xfd) : QColor(0xf0, 0xf2, 0xf5)),
                    frame == kOver ? kAccentLight : kBorder);
            }
            const bool big = box.height() >= 44;
            const int icon_size = big ? 22 : 16;
            const QFont full = Font(big ? 17 : 12.5, accent || big);
            // Words that do not fit beside the icon drop it before they shrink.
            const bool with_icon = !icon.isEmpty() && QFontMetrics(full).horizontalAdvance(label) <=
                                                          box.width() - icon_size - 14;
            if (!with_icon) icon.clear();
            const int gap = with_icon ? icon_size + 6 : 0;
            const QFont font = Fitted(full, label, box.width() - gap - 14);
            const int text_width = QFontMetrics(font).horizontalAdvance(label);
            const qreal left = box.center().x() - (gap + text_width) / 2.0;
            if (!icon.isEmpty())
                DrawIcon(
                    p, icon,
                    QRectF(left, box.center().y() - icon_size / 2.0 - 0.5, icon_size, icon_size),
                    colour, off ? 0.45 : 1.0);
            DrawLabel(p, QRectF(left + gap, box.y(), text_width + 2, box.height() - 1), label, font,
                      colour, Qt::AlignLeft | Qt::AlignVCenter);
            break;
        }
    }
}

void PaintButton(const skin::ButtonArt& art, int scale) {
    QImage image = Canvas(art.width * 4, art.height, scale);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                     QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    for (int frame = 0; frame < 4; ++frame)
        DrawButtonFrame(p, art, QRectF(frame * art.width, 0, art.width, art.height), Frame(frame));
    p.end();
    Save(image, QString::fromUtf8(art.file), scale);
}

// --- Windows -------------------------------------------------------------------

void DrawFace(QPainter& p, const skin::WindowArt& art) {
    const QRectF whole(0, 0, art.width, art.height);
    p.fillRect(whole, Vertical(whole, kFaceTop, kFaceBottom));
    if (art.header_height > 0) {
        const QRectF band(0, 0, art.width, art.header_height);
        p.fillRect(band, Vertical(band, kHeaderTop, kHeaderBottom));
        p.fillRect(QRectF(0, art.header_height - 1, art.width, 1), kHeaderLine);
        if (art.icon)
            DrawIcon(p, QString::fromUtf8(art.icon),
                     QRectF(14, (art.header_height - 22) / 2.0, 22, 22), kLightText);
    }
    for (const skin::Panel& panel : art.panels) {
        const QRectF box = R(panel.rect);
        switch (panel.kind) {
            case skin::PanelKind::kScreen:
                RoundedBox(p, box.adjusted(-3, -3, 3, 3), 6, QColor(0x11, 0x17, 0x1f),
                           QColor(0x0b, 0x0f, 0x14));
                break;
            case skin::PanelKind::kSheet:
                RoundedBox(p, box.adjusted(-1, -1, 1, 1), 4, Qt::white, kBorder);
                break;
            case skin::PanelKind::kCard:
                RoundedBox(p, box.translated(0, 1), 10, QColor(0, 0, 0, 14), QColor());
                RoundedBox(p, box, 10, QColor(255, 255, 255, 190), QColor(0xd4, 0xda, 0xe2));
                break;
            case skin::PanelKind::kFooter:
                p.fillRect(box, Vertical(box, QColor(0xe6, 0xeb, 0xf1), QColor(0xdc, 0xe2, 0xea)));
                p.fillRect(QRectF(box.x(), box.y(), box.width(), 1), QColor(0xcc, 0xd3, 0xdc));
                p.fillRect(QRectF(box.x(), box.y() + 1, box.width(), 1),
                           QColor(255, 255, 255, 160));
                break;
            case skin::PanelKind::kRule:
                p.fillRect(QRectF(box.x(), box.y(), box.width(), 1), QColor(0xd0, 0xd6, 0xde));
                p.fillRect(QRectF(box.x(), box.y() + 1, box.width(), 1),
                           QColor(255, 255, 255, 200));
                break;
        }
    }
    for (const skin::Words& words : art.words) {
        p.setFont(Font(PointPixels(words.point_size), words.bold));
        p.setPen(words.light ? kLightText : kText);
        const QRectF box = R(words.rect);
        const bool band = words.light && words.rect.y == 0;
        // A title on the band leaves room for the band's icon.
        p.drawText(band && art.icon ? box.adjusted(30, 0, 0, 0) : box,
                   Qt::AlignLeft | (band ? Qt::AlignVCenter : Qt::AlignTop) | Qt::TextWordWrap,
                   QCoreApplication::translate("skin", words.text));
    }
}

void DrawEmblem(QPainter& p, const skin::Rect& rect, const char* icon) {
    const QRectF box = R(rect);
    QRadialGradient glow(box.center(), box.width() * 0.75);
    glow.setColorAt(0, QColor(0x4a, 0x86, 0xe0, 60));
    glow.setColorAt(1, QColor(0x4a, 0x86, 0xe0, 0));
    p.fillRect(box.adjusted(-box.width() / 3, -box.height() / 3, box.width() / 3, box.height() / 3),
               glow);
    DrawIcon(p, QString::fromUtf8(icon), box, kText);
}

template <typename Extra>
void PaintWindow(const skin::WindowArt& art, int scale, Extra extra) {
    QImage image = Canvas(art.width, art.height, scale);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                     QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    DrawFace(p, art);
    extra(p);
    p.end();
    Save(image, QString::fromUtf8(art.file), scale);
}

// A square icon picture (a message box's mark).
void PaintMark(const char* file, int size, const char* icon, const QColor& colour, int scale) {
    QImage image = Canvas(size, size, scale);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    DrawIcon(p, QString::fromUtf8(icon), QRectF(0, 0, size, size), colour);
    p.end();
    Save(image, QString::fromUtf8(file), scale);
}

void PaintSplash(int scale) {
    namespace s = skin::splash;
    QImage image = Canvas(s::kWidth, s::kHeight, scale, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                     QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    const QRectF whole(0, 0, s::kWidth, s::kHeight);
    QLinearGradient sky(whole.topLeft(), whole.bottomRight());
    sky.setColorAt(0, QColor(0x2c, 0x41, 0x5e));
    sky.setColorAt(1, QColor(0x14, 0x1c, 0x28));
    p.fillRect(whole, sky);
    // Light arcs behind the emblem, like a disc's rings.
    p.setPen(QPen(QColor(255, 255, 255, 18), 18));
    p.setBrush(Qt::NoBrush);
    for (int ring = 0; ring < 4; ++ring)
        p.drawEllipse(QPointF(360, 40), 120.0 + ring * 48, 120.0 + ring * 48);
    DrawEmblem(p, s::kEmblem, "media-optical-video");
    p.fillRect(QRectF(0, s::kHeight - 4, s::kWidth, 4), kAccent);
    p.end();
    Save(image, QStringLiteral("starup.jpg"), scale);
}

void PaintGettingStarted(int scale) {
    const skin::Rect list = skin::main_window::kList;
    QImage image = Canvas(list.width, list.height, scale);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                     QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    p.fillRect(QRectF(0, 0, list.width, list.height), Qt::white);
    DrawEmblem(p, {list.width / 2 - 32, 26, 64, 64}, "media-optical-dvd");
    DrawLabel(p, QRectF(0, 100, list.width, 26),
              QCoreApplication::translate("skin", "Getting started"), Font(17, true), kText);
    const char* lines[] = {
        QT_TRANSLATE_NOOP("skin", "Load a DVD with Add File: a disc in a drive,"),
        QT_TRANSLATE_NOOP("skin", "a DVD folder or an ISO image, or drop one here."),
        QT_TRANSLATE_NOOP("skin", "Tick the titles, choose a profile, press Start."),
    };
    for (int i = 0; i < 3; ++i)
        DrawLabel(p, QRectF(0, 136 + i * 22, list.width, 20),
                  QCoreApplication::translate("skin", lines[i]), Font(12.5, false),
                  QColor(0x4b, 0x55, 0x63));
    p.end();
    Save(image, QStringLiteral("getting started.png"), scale);
}

void PaintSliders(int scale) {
    for (const skin::SliderArt& art : skin::kSliders) {
        for (int fill = 0; fill < 2; ++fill) {
            QImage image = Canvas(art.width, art.height, scale);
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(scale, scale);
            const QRectF groove(0, art.height / 2.0 - 3, art.width, 6);
            if (fill)
                RoundedBox(p, groove, 3, Vertical(groove, kAccentLight, kAccent), QColor());
            else
                RoundedBox(p, groove, 3, QColor(0xcf, 0xd6, 0xdf), QColor(0xbd, 0xc5, 0xd0));
            p.end();
            Save(image, QString::fromUtf8(fill ? art.fill : art.track), scale);
        }
    }
    QImage thumb = Canvas(skin::kThumbWidth, skin::kThumbHeight, scale);
    QPainter p(&thumb);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    const QPointF centre(skin::kThumbWidth / 2.0, skin::kThumbHeight / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(centre + QPointF(0, 1), 6.5, 6.5);
    p.setPen(QPen(kAccent, 1.5));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 6, 6);
    p.end();
    Save(thumb, QStringLiteral("thumb.png"), scale);

    // The range control's thumb: a small marker pointing up at the slider.
    QImage select = Canvas(18, 14, scale);
    QPainter s(&select);
    s.setRenderHint(QPainter::Antialiasing);
    s.scale(scale, scale);
    QPainterPath marker;
    marker.moveTo(9, 1);
    marker.lineTo(16.5, 8);
    marker.lineTo(16.5, 13);
    marker.lineTo(1.5, 13);
    marker.lineTo(1.5, 8);
    marker.closeSubpath();
    s.fillPath(marker, Vertical(QRectF(0, 0, 18, 14), kAccentLight, kAccent));
    s.setPen(QPen(kAccentDark, 1));
    s.drawPath(marker);
    s.end();
    Save(select, QStringLiteral("select.png"), scale);
}

void PaintProgress(int scale) {
    for (int i = 0; i < 2; ++i) {
        QImage image = Canvas(8, skin::kProgressHeight, scale);
        QPainter p(&image);
        p.scale(scale, scale);
        const QRectF box(0, 0, 8, skin::kProgressHeight);
        p.fillRect(box, Vertical(box, i == 0 ? kAccentLight : QColor(0x3f, 0xa7, 0x6a),
                                 i == 0 ? kAccent : QColor(0x2d, 0x85, 0x52)));
        p.fillRect(QRectF(0, 0, 8, 1), QColor(255, 255, 255, 70));
        p.end();
        Save(image, QString::fromUtf8(skin::kProgressFills[i]), scale);
    }
}

// Whether the translation installed now changes `text`.
bool Translated(const char* text) {
    return text[0] != '\0' && QCoreApplication::translate("skin", text) != QString::fromUtf8(text);
}

// Every picture, or with `words_only` only those whose words the installed
// translation changes (the windows fall back to the others).
void PaintAll(bool words_only) {
    for (int scale = 1; scale <= 2; ++scale) {
        for (const skin::ButtonArt& art : skin::kButtons)
            if (!words_only || Translated(art.label)) PaintButton(art, scale);
        auto window = [words_only, scale](const skin::WindowArt& art, auto extra) {
            if (!words_only || std::any_of(art.words.begin(), art.words.end(),
                                           [](const skin::Words& w) { return Translated(w.text); }))
                PaintWindow(art, scale, extra);
        };
        const auto plain = [](QPainter&) {};
        for (const skin::WindowArt* art :
             {&skin::main_window::kArt, &skin::conversion_window::kArt,
              &skin::finished_window::kArt, &skin::queue_window::kArt, &skin::editor_window::kArt,
              &skin::preferences_window::kArt, &skin::settings_window::kArt,
              &skin::properties_window::kArt, &skin::message_box::kArt,
              &skin::shutdown_window::kArt, &skin::log_window::kArt, &skin::options_window::kArt})
            window(*art, plain);
        window(skin::about_window::kArt, [](QPainter& p) {
            DrawEmblem(p, skin::about_window::kEmblem, skin::about_window::kEmblemIcon);
        });
        PaintGettingStarted(scale);
        if (words_only) continue;
        namespace box = skin::message_box;
        for (size_t kind = 0; kind < std::size(box::kMarks); ++kind)
            PaintMark(box::kMarks[kind], box::kMarkSize, box::kMarkIcons[kind], kText, scale);
        PaintMark(skin::shutdown_window::kMark, skin::shutdown_window::kMarkSize,
                  skin::shutdown_window::kMarkIcon, kClose, scale);
        PaintSplash(scale);
        PaintSliders(scale);
        PaintProgress(scale);
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--icon") {
        QSvgRenderer svg(QString::fromLocal8Bit(argv[2]));
        if (!svg.isValid()) return 1;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps")
                                       .arg(QString::fromLocal8Bit(argv[4]))
                                       .arg(size);
            QDir().mkpath(folder);
            QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            svg.render(&p, QRectF(0, 0, size, size));
            p.end();
            if (!image.save(
                    QStringLiteral("%1/%2.png").arg(folder, QString::fromLocal8Bit(argv[3]))))
                return 1;
        }
        return 0;
    }
    QStringList arguments;
    QStringList translations;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        (argument.endsWith(QStringLiteral(".qm")) ? translations : arguments) << argument;
    }
    if (arguments.isEmpty()) {
        std::fprintf(stderr,
                     "usage: rizuvira-skin-painter OUTPUT_FOLDER [ICON_THEME_FOLDER] "
                     "[TRANSLATION.qm...]\n");
        return 2;
    }
    const QString out = arguments[0];
    if (arguments.size() > 1) g_theme = arguments[1];
    g_out = out;
    QDir().mkpath(g_out);
    PaintAll(false);
    // Each translation's copies of the pictures with words, in a folder named
    // by its language ("de"); the windows look there first.
    for (const QString& file : translations) {
        QTranslator translator;
        if (!translator.load(file) || translator.language().isEmpty()) {
            std::fprintf(stderr, "cannot read the translation %s\n", qPrintable(file));
            return 1;
        }
        QCoreApplication::installTranslator(&translator);
        g_out = out + u'/' + translator.language().section(u'_', 0, 0);
        QDir().mkpath(g_out);
        PaintAll(true);
        QCoreApplication::removeTranslator(&translator);
    }
    return 0;
}
