// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/form_widgets.h"

#include <QIcon>

#include <algorithm>

namespace rizuvira::ui {

QGroupBox* FormGroup(const QString& title, QGridLayout** grid) {
    auto* group = new QGroupBox(title);
    *grid = new QGridLayout(group);
    (*grid)->setContentsMargins(12, 10, 12, 12);
    (*grid)->setHorizontalSpacing(10);
    (*grid)->setVerticalSpacing(8);
    (*grid)->setColumnStretch(1, 1);
    return group;
}

void AddFormRow(QGridLayout* grid, const QString& label, QWidget* field,
                std::initializer_list<QWidget*> extra) {
    const int row =
        grid->rowCount() == 1 && grid->itemAtPosition(0, 0) == nullptr ? 0 : grid->rowCount();
    auto* text = new QLabel(label);
    text->setBuddy(field);
    grid->addWidget(text, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(field, row, 1);
    int column = 2;
    for (QWidget* widget : extra) grid->addWidget(widget, row, column++);
}

void AlignLabelColumns(std::initializer_list<QGridLayout*> grids) {
    int width = 0;
    for (QGridLayout* grid : grids) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            if (QLayoutItem* item = grid->itemAtPosition(row, 0); item && item->widget())
                width = std::max(width, item->widget()->sizeHint().width());
        }
    }
    for (QGridLayout* grid : grids) grid->setColumnMinimumWidth(0, width);
}

QPushButton* FormButton(const QString& text, const char* name, const char* icon) {
    auto* button = new QPushButton(text);
    button->setObjectName(QString::fromLatin1(name));
    if (icon != nullptr && QIcon::hasThemeIcon(QString::fromLatin1(icon)))
        button->setIcon(QIcon::fromTheme(QString::fromLatin1(icon)));
    return button;
}

}  // namespace rizuvira::ui
