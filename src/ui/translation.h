// SPDX-License-Identifier: GPL-2.0-or-later
// The desktop program in the user's language: its own translation, Qt's
// (the words of the stock file dialogs), the skin pictures drawn in that
// language and the app layer's texts, all chosen by one locale.
//
// Threads: the user-interface thread, once, before the first window.
#pragma once

#include <QLocale>
#include <QString>

namespace rizuvira::ui {

// Installs the translation that matches `locale` (the user's, from
// LANG/LC_ALL/LC_MESSAGES, by default) from the "translations" folder of the
// data folders. Returns its language ("de"), or an empty string when the
// program stays in English: an English locale, or one it has no
// translation for.
QString UseUserLanguage(const QLocale& locale = QLocale());

}  // namespace rizuvira::ui
