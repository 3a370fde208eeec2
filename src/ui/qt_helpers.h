// SPDX-License-Identifier: GPL-2.0-or-later
// Small conversions the windows share.
#pragma once

#include <QApplication>
#include <QIcon>
#include <QString>
#include <QStyle>

#include <string>

namespace rizuvira::ui {

// The engine's UTF-8 text as a QString.
inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// `one` when `count` is 1, else `many` with the count for its %1; both
// already translated: Count(n, tr("1 title"), tr("%1 titles")).
inline QString Count(int count, const QString& one, const QString& many) {
    return count == 1 ? one : many.arg(count);
}

// An icon of the desktop's theme, else the style's own.
inline QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name),
                            QApplication::style()->standardIcon(fallback));
}

}  // namespace rizuvira::ui
