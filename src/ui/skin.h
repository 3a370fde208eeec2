// SPDX-License-Identifier: GPL-2.0-or-later
// The skin: the pictures the windows and their controls are drawn from.
// Each picture is a PNG named as the windows name it; a twice-sized copy
// "NAME@2x.png" beside it is used on high-density screens.
//
// Threads: the user-interface thread.
#pragma once

#include <QPixmap>
#include <QString>

namespace rizuvira::ui {

// The picture `name` ("play.png") at the screen's density, from the folder
// "skin" of the first data folder that has it (app::DataFolders). A null
// pixmap when there is none, which leaves the control in its plain look.
// The pixmap's device pixel ratio is 2 for an "@2x" copy, so its
// deviceIndependentSize() is always the 1x size.
QPixmap SkinPicture(const QString& name);

// Uses only the pictures of `folder` from now on (tests; an empty folder
// name restores the search above).
void SetSkinFolder(const QString& folder);

// Pictures with words are looked for first in the folder of `language`
// ("de") beside the others; an empty name uses the English ones only.
void SetSkinLanguage(const QString& language);

// Uses the breeze icon theme where the desktop names none (the offscreen
// platform, bare window managers); call after the QApplication is made.
void ApplyIconTheme();

}  // namespace rizuvira::ui
