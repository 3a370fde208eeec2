// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/skin_widgets.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QEnterEvent>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QRegion>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "ui/skin.h"

namespace rizuvira::ui {
namespace {

QPoint PlaceOf(std::span<const skin::Place> places, const char* file) {
    for (const skin::Place& place : places)
        if (std::strcmp(place.file, file) == 0) return {place.x, place.y};
    return {};
}

// Fits the window's fixed-place texts each time it is shown.
class TextFitter final : public QObject {
public:
    explicit TextFitter(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Show) FitTexts(window_);
        return false;
    }

private:
    QWidget* window_;
};

// The point size the skin's places are drawn for.
constexpr qreal kSkinPointSize = 9;

bool InLayout(QLayout* layout, QWidget* widget) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == widget) return true;
        if (item->layout() != nullptr && InLayout(item->layout(), widget)) return true;
    }
    return false;
}

// Whether `widget` stands at a place of its own rather than in a layout,
// which would give it the room its text needs.
bool AtFixedPlace(QWidget* widget) {
    QWidget* parent = widget->parentWidget();
    if (parent == nullptr) return false;
    return parent->layout() == nullptr || !InLayout(parent->layout(), widget);
}

// Room for the words: a check box or radio button loses its indicator.
int TextRoom(const QWidget* widget) {
    const int width = widget->contentsRect().width();
    if (qobject_cast<const QCheckBox*>(widget) != nullptr ||
        qobject_cast<const QRadioButton*>(widget) != nullptr)
        return width - widget->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget) -
               widget->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, widget);
    return width;
}

// Fits one text; `text` is the whole text, `set` shows a (shortened) one.
void FitText(QWidget* widget, const QString& text, const std::function<void(const QString&)>& set) {
    if (text.isEmpty() || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('<')))
        return;
    const int room = TextRoom(widget);
    if (room <= 0) return;
    QFont font = widget->font();
    while (QFontMetrics(font).horizontalAdvance(text) > room && font.pointSizeF() > kSkinPointSize)
        font.setPointSizeF(std::max(kSkinPointSize, font.pointSizeF() - 0.5));
    if (font != widget->font()) widget->setFont(font);
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(text) <= room) return;
    set(metrics.elidedText(text, Qt::ElideRight, room));
    widget->setToolTip(text);
}

// Paints the background, clips the corners and drags the window; lives as a
// child of the window it serves.
class WindowFrame final : public QObject {
public:
    WindowFrame(QWidget* window, QPixmap background)
        : QObject(window), window_(window), background_(std::move(background)) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_) return false;
        switch (event->type()) {
            case QEvent::Paint: {
                QPainter painter(window_);
                Paint(painter);
                return false;  // the window's own painting follows
            }
            case QEvent::LayoutRequest:
            case QEvent::Show:
                if (art_ != nullptr) FitLayout();
                if (event->type() == QEvent::LayoutRequest) return false;
                [[fallthrough]];
            case QEvent::Resize: {
                QPainterPath outline;
                outline.addRoundedRect(QRectF(window_->rect()), 10, 10);
                window_->setMask(QRegion(outline.toFillPolygon().toPolygon()));
                if (art_ != nullptr) PlaceHeader();
                return false;
            }
            case QEvent::MouseButtonPress: {
                auto* press = static_cast<QMouseEvent*>(event);
                if (press->button() != Qt::LeftButton) return false;
                // The window manager moves the window where it can; elsewhere
                // the window follows the mouse itself.
                QWindow* handle = window_->windowHandle();
                dragging_ = handle == nullptr || !handle->startSystemMove();
                grip_ = press->globalPosition().toPoint() - window_->frameGeometry().topLeft();
                return true;
            }
            case QEvent::MouseMove:
                if (!dragging_) return false;
                window_->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - grip_);
                return true;
            case QEvent::MouseButtonRelease:
                if (!dragging_) return false;
                dragging_ = false;
                return true;
            default:
                return false;
        }
    }

    // A window whose controls stand in a layout: it takes the size the
    // layout needs, at least the picture's, and its header buttons keep
    // their distance from the right edge.
    void FollowLayout(const skin::WindowArt* art,
                      std::vector<std::pair<SkinButton*, skin::Place>> header) {
        art_ = art;
        header_ = std::move(header);
        FitLayout();
    }

private:
    // The picture at its size; a larger window stretches one line of the
    // face right of the header words and one just below the band, so the
    // band keeps its height and the footer its place at the bottom.
    void Paint(QPainter& painter) const {
        const QSize picture = background_.deviceIndependentSize().toSize();
        const QSize extra = window_->size() - picture;
        if (art_ == nullptr || (extra.width() <= 0 && extra.height() <= 0)) {
            painter.drawPixmap(0, 0, background_);
            return;
        }
        const qreal ratio = background_.devicePixelRatio();
        // Right of the header's words, which must not be stretched.
        int cut_x = picture.width() - kStretchFromRight;
        for (const skin::Words& words : art_->words)
            if (words.light && words.rect.y == 0)
                cut_x = std::max(cut_x, words.rect.x + words.rect.width + (art_->icon ? 30 : 0));
        cut_x = std::min(cut_x, picture.width() - 1);
        const int cut_y = std::min(art_->header_height + 4, picture.height() - 1);
        const int xs[] = {0, cut_x, cut_x + 1, picture.width()};
        const int ys[] = {0, cut_y, cut_y + 1, picture.height()};
        const int grow_x = std::max(0, extra.width()), grow_y = std::max(0, extra.height());
        auto target = [](const int* edges, int i, int grow) {
            return std::pair{edges[i] + (i >= 2 ? grow : 0), edges[i + 1] + (i >= 1 ? grow : 0)};
        };
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                const auto [left, right] = target(xs, column, grow_x);
                const auto [top, bottom] = target(ys, row, grow_y);
                const QRectF source(xs[column] * ratio, ys[row] * ratio,
                                    (xs[column + 1] - xs[column]) * ratio,
                                    (ys[row + 1] - ys[row]) * ratio);
                painter.drawPixmap(QRectF(left, top, right - left, bottom - top), background_,
                                   source);
            }
        }
    }

    void FitLayout() {
        QLayout* layout = window_->layout();
        if (layout == nullptr) return;
        layout->activate();
        const QSize picture = background_.deviceIndependentSize().toSize();
        const QSize hint = layout->totalSizeHint();
        const int width = std::max(picture.width(), hint.width());
        const int height = std::max(picture.height(), layout->hasHeightForWidth()
                                                          ? layout->totalHeightForWidth(width)
                                                          : hint.height());
        if (window_->minimumSize() != QSize(width, height) ||
            window_->maximumSize() != QSize(width, height))
            window_->setFixedSize(width, height);
    }

    void PlaceHeader() {
        const int shift = window_->width() - art_->width;
        for (const auto& [button, place] : header_) button->move(place.x + shift, place.y);
    }

    // The stretched column stands this far left of the picture's right edge.
    static constexpr int kStretchFromRight = 80;

    QWidget* window_;
    QPixmap background_;
    bool dragging_ = false;
    QPoint grip_;
    const skin::WindowArt* art_ = nullptr;
    std::vector<std::pair<SkinButton*, skin::Place>> header_;
};

}  // namespace

bool SkinWindow(QWidget* window, const skin::WindowArt& art) {
    UseSkin(window);
    const QPixmap background = SkinPicture(QString::fromUtf8(art.file));
    if (background.isNull()) {
        window->setFixedSize(art.width, art.height);
        return false;
    }
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    window->setFixedSize(background.deviceIndependentSize().toSize());
    new WindowFrame(window, background);
    return true;
}

SkinHeader SkinLayoutWindow(QDialog* window, const skin::WindowArt& art) {
    UseSkin(window);
    QLayout* layout = window->layout();
    const QPixmap background = SkinPicture(QString::fromUtf8(art.file));
    if (background.isNull() || layout == nullptr) return {};
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    const QMargins margins = layout->contentsMargins();
    const bool footer = std::any_of(art.panels.begin(), art.panels.end(), [](const skin::Panel& p) {
        return p.kind == skin::PanelKind::kFooter;
    });
    layout->setContentsMargins(margins.left(), art.header_height + margins.top(), margins.right(),
                               footer ? 0 : margins.bottom());
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    SkinHeader header;
    std::vector<std::pair<SkinButton*, skin::Place>> buttons;
    for (const skin::Place& place : art.buttons) {
        const bool close = std::strcmp(place.file, "close.png") == 0;
        if (!close && std::strcmp(place.file, "min.png") != 0) continue;
        auto* button = new SkinButton(place.file, art.buttons, window);
        button->setObjectName(close ? "closeButton" : "minimiseButton");
        const QString name = close ? QObject::tr("Close") : QObject::tr("Minimise");
        button->setToolTip(name);
        button->setAccessibleName(name);
        if (close) {
            QObject::connect(button, &QPushButton::clicked, window, &QDialog::reject);
            header.close = button;
        } else {
            QObject::connect(button, &QPushButton::clicked, window, &QWidget::showMinimized);
            header.minimise = button;
        }
        buttons.emplace_back(button, place);
    }
    auto* frame = new WindowFrame(window, background);
    frame->FollowLayout(&art, std::move(buttons));
    return header;
}

QHBoxLayout* AddSkinFooter(QBoxLayout* layout) {
    auto* footer = new QWidget;
    footer->setObjectName("skinFooter");
    footer->setFixedHeight(skin::kFooterHeight);
    auto* row = new QHBoxLayout(footer);
    const int gap = (skin::kFooterHeight - kFooterButtonHeight) / 2;
    row->setContentsMargins(0, gap, 0, gap);
    layout->addWidget(footer);
    return row;
}

SkinButton* FooterButton(const char* file, const char* name, QWidget* parent) {
    auto* button = new SkinButton(file, {}, parent);
    button->setObjectName(QString::fromLatin1(name));
    if (button->skinned()) button->setFixedSize(button->size());
    return button;
}

QPalette SkinPalette() {
    const QColor face(0xf3, 0xf5, 0xf8), words = QColor::fromRgb(skin::kFaceText);
    const QColor muted(0x8a, 0x93, 0x9e), accent = QColor::fromRgb(skin::kAccent);
    QPalette palette(words, face, Qt::white, QColor(0xa8, 0xb1, 0xbd), QColor(0xc4, 0xcb, 0xd4),
                     words, Qt::white);
    palette.setColor(QPalette::Window, face);
    palette.setColor(QPalette::Button, QColor(0xe9, 0xed, 0xf2));
    palette.setColor(QPalette::AlternateBase, QColor(0xf4, 0xf6, 0xf9));
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::LinkVisited, accent.darker(120));
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xe1));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::PlaceholderText, muted);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, muted);
    return palette;
}

void UseSkin(QWidget* window) {
    window->setPalette(SkinPalette());
    new TextFitter(window);
}

void FitTexts(QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!AtFixedPlace(label) || label->wordWrap() || !label->pixmap().isNull()) continue;
        FitText(label, label->text(), [label](const QString& shown) { label->setText(shown); });
    }
    // Column titles: the header's font shrinks until the widest title fits
    // its column (the columns are the skin's).
    for (QHeaderView* header : window->findChildren<QHeaderView*>()) {
        if (header->model() == nullptr || header->orientation() != Qt::Horizontal) continue;
        QFont font = header->font();
        const int padding = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin) + 4;
        auto cut = [&](const QFont& candidate) {
            const QFontMetrics metrics(candidate);
            for (int i = 0; i < header->count(); ++i) {
                const QString title = header->model()->headerData(i, Qt::Horizontal).toString();
                const int room = header->sectionSize(i) - padding;
                if (room > 0 && metrics.horizontalAdvance(title) > room) return true;
            }
            return false;
        };
        while (cut(font) && font.pointSizeF() > kSkinPointSize)
            font.setPointSizeF(std::max(kSkinPointSize, font.pointSizeF() - 0.5));
        if (font != header->font()) header->setFont(font);
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QCheckBox*>(button) == nullptr &&
            qobject_cast<QRadioButton*>(button) == nullptr)
            continue;
        if (!AtFixedPlace(button)) continue;
        FitText(button, button->text(), [button](const QString& shown) { button->setText(shown); });
    }
}

// --- SkinButton -----------------------------------------------------------------

SkinButton::SkinButton(const char* file, std::span<const skin::Place> places, QWidget* parent)
    : QPushButton(parent), picture_(SkinPicture(QString::fromUtf8(file))) {
    const skin::ButtonArt* art = skin::FindButton(file);
    QSize size = art != nullptr ? QSize(art->width, art->height) : QSize(80, 28);
    if (art != nullptr) {
        const QString label = QCoreApplication::translate("skin", art->label);
        if (!label.isEmpty())
            setText(label);
        else if (art->icon != nullptr)
            setIcon(QIcon::fromTheme(QString::fromUtf8(art->icon)));
    }
    if (!picture_.isNull()) {
        const QSizeF whole = picture_.deviceIndependentSize();
        size = QSize(qRound(whole.width() / 4), qRound(whole.height()));
        setAttribute(Qt::WA_Hover);
        // Reached by Tab, not taken by a click: a mouse user sees no ring.
        setFocusPolicy(Qt::TabFocus);
    }
    setGeometry(QRect(PlaceOf(places, file), size));
}

void SkinButton::SetCurrent(bool current) {
    if (current_ == current) return;
    current_ = current;
    update();
}

int SkinButton::Frame() const {
    if (!isEnabled()) return 3;
    if (isDown() || current_ || isChecked()) return 2;
    if (underMouse()) return 1;
    return 0;
}

void SkinButton::paintEvent(QPaintEvent* event) {
    if (picture_.isNull()) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const int frame_width = picture_.width() / 4;
    painter.drawPixmap(rect(), picture_,
                       QRect(Frame() * frame_width, 0, frame_width, picture_.height()));
    if (hasFocus()) {
        // The keyboard's place: a ring in the accent colour inside the edge.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor::fromRgb(skin::kAccent), 2, Qt::SolidLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 5, 5);
    }
}

bool SkinButton::event(QEvent* event) {
    // A button that shows only a picture is named by its tooltip for the
    // screen reader, unless it was named otherwise.
    if (event->type() == QEvent::ToolTipChange && text().isEmpty() &&
        (accessibleName().isEmpty() || accessibleName() == named_by_tooltip_)) {
        named_by_tooltip_ = toolTip();
        setAccessibleName(named_by_tooltip_);
    }
    return QPushButton::event(event);
}

void SkinButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    update();
}

void SkinButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    update();
}

// --- SkinProgress ---------------------------------------------------------------

int ProgressPercent(int value, int minimum, int maximum) {
    if (maximum <= minimum) return 0;
    return int(std::floor(100.0 * (value - minimum) / (maximum - minimum) + 0.5));
}

SkinProgress::SkinProgress(const char* fill, QWidget* parent)
    : QProgressBar(parent), fill_(SkinPicture(QString::fromUtf8(fill))) {
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

QString SkinProgress::text() const {
    return QString::asprintf("%d%%", ProgressPercent(value(), minimum(), maximum()));
}

void SkinProgress::paintEvent(QPaintEvent* event) {
    if (fill_.isNull()) {
        QProgressBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(box, 4, 4);
    painter.fillPath(outline, Qt::white);
    const double span = maximum() - minimum();
    const double fraction = span > 0 ? qBound(0.0, (value() - minimum()) / span, 1.0) : 0.0;
    painter.save();
    painter.setClipPath(outline);
    painter.drawTiledPixmap(QRectF(0, 0, width() * fraction, height()), fill_);
    painter.restore();
    painter.setPen(QColor(0xc3, 0xcb, 0xd6));
    painter.drawPath(outline);
    // The percentage is white where it stands on the fill and dark where it
    // stands on the white, so it reads at every value.
    const QRectF filled(0, 0, width() * fraction, height());
    const QRectF empty(filled.right(), 0, width() - filled.width(), height());
    for (const auto& [part, colour] : {std::pair{filled, QColor(Qt::white)},
                                       std::pair{empty, QColor::fromRgb(skin::kFaceText)}}) {
        if (part.isEmpty()) continue;
        painter.save();
        painter.setClipRect(part);
        painter.setPen(colour);
        painter.drawText(rect(), Qt::AlignCenter, text());
        painter.restore();
    }
}

// --- ColumnTreeDelegate ---------------------------------------------------------

void ColumnTreeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    if (index.column() == 0) {
        cell.palette.setColor(QPalette::Highlight, QColor(49, 106, 197));
        cell.palette.setColor(QPalette::HighlightedText, Qt::white);
    } else {
        cell.state &= ~QStyle::State_Selected;
        cell.displayAlignment =
            Qt::Alignment(index.model()
                              ->headerData(index.column(), Qt::Horizontal, Qt::TextAlignmentRole)
                              .toInt()) |
            Qt::AlignVCenter;
        if (!(cell.displayAlignment & Qt::AlignHorizontal_Mask))
            cell.displayAlignment |= Qt::AlignLeft;
    }
    cell.textElideMode = Qt::ElideRight;
    cell.features &= ~QStyleOptionViewItem::WrapText;
    QStyledItemDelegate::paint(painter, cell, index);
    painter->save();
    painter->setPen(QColor(0xdf, 0xe3, 0xe9));
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
}

}  // namespace rizuvira::ui
