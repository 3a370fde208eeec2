// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/skin.h"

#include <QDir>
#include <QGuiApplication>

#include "app/data_files.h"

namespace rizuvira::ui {
namespace {

QString& FixedFolder() {
    static QString folder;
    return folder;
}

QStringList Folders() {
    if (!FixedFolder().isEmpty()) return {FixedFolder()};
    QStringList folders;
    for (const std::filesystem::path& folder : app::DataFolders())
        folders << QString::fromStdString((folder / "skin").string());
    return folders;
}

QString TwiceName(const QString& name) {
    const int dot = name.lastIndexOf(u'.');
    return dot < 0 ? name + QStringLiteral("@2x")
                   : name.left(dot) + QStringLiteral("@2x") + name.mid(dot);
}

}  // namespace

QPixmap SkinPicture(const QString& name) {
    const bool dense = qApp != nullptr && qApp->devicePixelRatio() > 1.0;
    for (const QString& folder : Folders()) {
        const QDir dir(folder);
        if (dense) {
            QPixmap twice(dir.filePath(TwiceName(name)));
            if (!twice.isNull()) {
                twice.setDevicePixelRatio(2.0);
                return twice;
            }
        }
        QPixmap once(dir.filePath(name));
        if (!once.isNull()) return once;
    }
    return {};
}

void SetSkinFolder(const QString& folder) {
    FixedFolder() = folder;
}

}  // namespace rizuvira::ui
