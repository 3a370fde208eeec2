// SPDX-License-Identifier: GPL-2.0-or-later
// The pieces the settings windows are built from, in one place so that a
// skin can restyle them: a titled group with a grid of labelled rows, the
// labels of one column kept at one width across groups, and push buttons.
//
// Threads: the user-interface thread.
#pragma once

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QString>

#include <initializer_list>

namespace rizuvira::ui {

// A group box titled `title` whose grid the rows go into (label in column 0).
QGroupBox* FormGroup(const QString& title, QGridLayout** grid);

// Adds a row: `label` in column 0 (its buddy `field`), `field` in column 1 and, when
// given, `extra` widgets after it.
void AddFormRow(QGridLayout* grid, const QString& label, QWidget* field,
                std::initializer_list<QWidget*> extra = {});

// Gives column 0 of every grid the width of the widest of their labels, so rows line up
// from group to group.
void AlignLabelColumns(std::initializer_list<QGridLayout*> grids);

// A push button named `name`, with an icon of the theme when there is one.
QPushButton* FormButton(const QString& text, const char* name, const char* icon = nullptr);

}  // namespace rizuvira::ui
