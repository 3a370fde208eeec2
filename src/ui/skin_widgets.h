// SPDX-License-Identifier: GPL-2.0-or-later
// The skinned controls the windows are built from. Each draws itself from
// its skin pictures (ui/skin.h); when a picture is missing it keeps the
// plain Qt look, at the same place, and says nothing.
//
// Threads: the user-interface thread.
#pragma once

#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <span>

#include "ui/skin_layout.h"

class QBoxLayout;
class QDialog;
class QHBoxLayout;

namespace rizuvira::ui {

// Paints a window from its background picture: the window takes the
// picture's size, loses the system frame, is clipped to a rectangle with
// rounded corners (a 20 x 20 corner ellipse) and is dragged by a press on its
// background (any point no child takes). Without the picture the window
// keeps its frame and gets the description's size. Returns whether the
// picture was found.
bool SkinWindow(QWidget* window, const skin::WindowArt& art);

class SkinButton;

// The header buttons SkinLayoutWindow makes; null when the description
// places none (or the window is not skinned).
struct SkinHeader {
    SkinButton* close = nullptr;     // rejects the window
    SkinButton* minimise = nullptr;  // minimises it
};

// SkinWindow for a window whose controls stand in its layout (set before
// this call): the window loses the system frame and takes the size the
// layout needs, at least the picture's; where it is larger (a larger
// desktop font), the picture's plain face stretches. The layout moves below
// the header band and, when the picture has a footer, down to the window's
// bottom (AddSkinFooter puts the buttons there). The header buttons the
// description places are made here, named for the screen reader, and keep
// their distance from the right edge. Without the picture the window keeps
// its frame and its layout and gets no header buttons.
SkinHeader SkinLayoutWindow(QDialog* window, const skin::WindowArt& art);

// A row at the bottom of `layout`, as tall as the picture's footer, for the
// window's buttons.
QHBoxLayout* AddSkinFooter(QBoxLayout* layout);

// The skin's colours: dark words on the light face, white fields, the
// accent for selections. The skin's pictures are light whatever the
// desktop's theme is, so its windows never take the desktop's palette.
QPalette SkinPalette();
// Gives `window` and everything in it the skin's colours (SkinWindow does
// this too), and its own fitting of fixed-place texts to a larger desktop
// font (FitTexts) each time it is shown.
void UseSkin(QWidget* window);
// Texts at fixed places (labels and check boxes outside any layout) that
// are wider than their place: the font shrinks step by step down to the
// skin's size, and what still does not fit ends in an ellipsis, the whole
// text in its tooltip.
void FitTexts(QWidget* window);

// A button of four frames side by side in one picture: normal, mouse over,
// pressed or current, disabled. It stands at its place in the window's
// description and has one frame's size. Tab reaches it and a ring shows
// when it has the focus; one with no words is named by its tooltip.
class SkinButton final : public QPushButton {
    Q_OBJECT
public:
    // `file` names the picture ("play.png"); its label, icon and size come
    // from the description, its place from `places`.
    SkinButton(const char* file, std::span<const skin::Place> places, QWidget* parent);

    // Draws the pressed frame while set (the tab of the page shown).
    void SetCurrent(bool current);
    bool skinned() const { return !picture_.isNull(); }

    // The frame drawn now: 0 normal, 1 mouse over, 2 pressed or current,
    // 3 disabled.
    int Frame() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap picture_;
    bool current_ = false;
    QString named_by_tooltip_;
};

// A skinned button for a layout: it keeps its picture's size.
SkinButton* FooterButton(const char* file, const char* name, QWidget* parent = nullptr);
inline constexpr int kFooterButtonHeight = 28;

// The percentage in whole numbers, halves rounded up: 333 of 1000 is 33,
// 335 is 34.
int ProgressPercent(int value, int minimum, int maximum);

// A progress bar on white, filled from the left by its tiled picture, with
// "%d%%" centred over it.
class SkinProgress final : public QProgressBar {
    Q_OBJECT
public:
    SkinProgress(const char* fill, QWidget* parent = nullptr);
    QString text() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap fill_;
};

// Draws the rows of the column list: grid lines at the column boundaries,
// the selected row's first cell in blue with white words, every other cell
// in the header's alignment, on one line, cut with an ellipsis.
class ColumnTreeDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

}  // namespace rizuvira::ui
