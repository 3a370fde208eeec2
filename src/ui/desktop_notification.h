// SPDX-License-Identifier: GPL-2.0-or-later
// A message in the desktop's notification area, through the freedesktop
// notification service on the session bus.
//
// Threads: the user-interface thread.
#pragma once

#include <QString>

namespace rizuvira::ui {

// Sends the notification without waiting for an answer. Returns false, and
// does nothing, when there is no session bus or no notification service on
// it.
bool NotifyDesktop(const QString& summary, const QString& body);

}  // namespace rizuvira::ui
