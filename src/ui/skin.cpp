// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/skin.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>

#include "app/data_files.h"

namespace rizuvira::ui {
namespace {

QString& FixedFolder() {
    static QString folder;
    return folder;
}

QString& Language() {
    static QString language;
    return language;
}

// A folder's pictures in the user's language come before its English ones.
void AddFolder(QStringList& folders, const QString& folder) {
    if (!Language().isEmpty()) folders << folder + u'/' + Language();
    folders << folder;
}

QStringList Folders() {
    QStringList folders;
    if (!FixedFolder().isEmpty()) {
        AddFolder(folders, FixedFolder());
        return folders;
    }
    for (const std::filesystem::path& folder : app::DataFolders())
        AddFolder(folders, QString::fromStdString((folder / "skin").string()));
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

void ApplyIconTheme() {
    // Platforms without a desktop theme (offscreen, plain X servers) search
    // only the resources: add the desktop's icon folders.
    QStringList paths = QIcon::themeSearchPaths();
    QString data_dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (data_dirs.isEmpty()) data_dirs = "/usr/local/share:/usr/share";
    for (const QString& dir : data_dirs.split(':', Qt::SkipEmptyParts))
        if (!paths.contains(dir + "/icons")) paths << dir + "/icons";
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == "hicolor")
        QIcon::setThemeName("breeze");
}

void SetSkinFolder(const QString& folder) {
    FixedFolder() = folder;
}

void SetSkinLanguage(const QString& language) {
    Language() = language;
}

}  // namespace rizuvira::ui
