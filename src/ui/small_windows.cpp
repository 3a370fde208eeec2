// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/small_windows.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>

#include <memory>

#include "ui/qt_helpers.h"
#include "ui/skin.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {
namespace {

QLabel* Placed(const QString& text, const skin::Rect& rect, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect.x, rect.y, rect.width, rect.height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

}  // namespace

AboutWindow::AboutWindow(const QString& title, const QString& home_page, QWidget* parent)
    : QDialog(parent) {
    namespace about = skin::about_window;
    setObjectName("aboutWindow");
    setWindowTitle(tr("About %1").arg(title));
    if (!SkinWindow(this, about::kArt)) {
        auto* emblem = new QLabel(this);
        emblem->setPixmap(
            ThemeIcon(about::kEmblemIcon, QStyle::SP_DriveDVDIcon).pixmap(about::kEmblem.width));
        emblem->setGeometry(about::kEmblem.x, about::kEmblem.y, about::kEmblem.width,
                            about::kEmblem.height);
    }
    QLabel* name = Placed(title, about::kName, this);
    name->setObjectName("aboutName");
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    Placed(tr("Version %1").arg(QApplication::applicationVersion()), about::kVersion, this);
    const QString link =
        QStringLiteral("<a style='color:#316ac5; text-decoration:none' href='%1'>%2</a>");
    for (const auto& [rect, url, text, object] :
         {std::tuple{about::kHomeLink, home_page, QString(tr("Home page")), "homeLink"},
          std::tuple{about::kSupportLink, home_page + "support/", QString(tr("Support")),
                     "supportLink"}}) {
        QLabel* label = Placed(link.arg(url, text), rect, this);
        label->setObjectName(object);
        label->setTextFormat(Qt::RichText);
        label->setOpenExternalLinks(true);
        label->setEnabled(!home_page.isEmpty());
    }
    auto* ok = new SkinButton("ok2.png", about::kButtons, this);
    ok->setObjectName("aboutOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* close = new SkinButton("close.png", about::kButtons, this);
    close->setToolTip(tr("Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

std::unique_ptr<QSplashScreen> MakeSplash(const QString& title, const QString& version) {
    QPixmap picture = SkinPicture("starup.jpg");
    if (picture.isNull()) return nullptr;
    namespace splash = skin::splash;
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font = QApplication::font();
        font.setPixelSize(30);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(
            QRect(splash::kName.x, splash::kName.y, splash::kName.width, splash::kName.height),
            Qt::AlignCenter, title);
        font.setPixelSize(14);
        font.setBold(false);
        painter.setFont(font);
        painter.setPen(QColor(0xc8, 0xd3, 0xe2));
        painter.drawText(
            QRect(splash::kLine.x, splash::kLine.y, splash::kLine.width, splash::kLine.height),
            Qt::AlignCenter,
            QCoreApplication::translate("splash", "Version %1 \u00b7 Loading\u2026").arg(version));
    }
    auto screen = std::make_unique<QSplashScreen>(picture);
    screen->setObjectName("splash");
    return screen;
}

}  // namespace rizuvira::ui
