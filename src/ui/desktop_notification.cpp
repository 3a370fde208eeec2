// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/desktop_notification.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace rizuvira::ui {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr int kShownMs = 10'000;

}  // namespace

bool NotifyDesktop(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) return false;
    const QString service = QString::fromLatin1(kService);
    if (!bus.interface()->isServiceRegistered(service).value()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, QString::fromLatin1(kPath), service,
                                                       QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QApplication::applicationName() << 0u << QApplication::desktopFileName() << summary
         << body << QStringList() << QVariantMap() << kShownMs;
    return bus.send(call);
}

}  // namespace rizuvira::ui
