// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstring>

#include "app/data_files.h"
#include "app/texts.h"
#include "ui/skin.h"

namespace rizuvira::ui {
namespace {

// lupdate records a window's texts under its class name without the
// namespace ("MainWindow"); tr() asks with it ("rizuvira::ui::MainWindow").
class ProgramTranslator final : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        static constexpr char kNamespace[] = "rizuvira::ui::";
        const QString found = QTranslator::translate(context, source, disambiguation, n);
        if (!found.isNull() || std::strncmp(context, kNamespace, sizeof kNamespace - 1) != 0)
            return found;
        return QTranslator::translate(context + sizeof kNamespace - 1, source, disambiguation, n);
    }
};

std::string TranslateAppText(const char* context, const char* source) {
    return QCoreApplication::translate(context, source).toStdString();
}

}  // namespace

QString UseUserLanguage(const QLocale& locale) {
    // Installed once for the program's life.
    static ProgramTranslator ours;
    static QTranslator qt;
    bool found = false;
    for (const std::filesystem::path& folder : app::DataFolders()) {
        const QString dir = QString::fromStdString((folder / "translations").string());
        if (ours.load(locale, QStringLiteral("rizuvira"), QStringLiteral("_"), dir)) {
            found = true;
            break;
        }
    }
    if (!found) return {};
    QCoreApplication::installTranslator(&ours);
    if (qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
    const QString language = ours.language().section(u'_', 0, 0);
    SetSkinLanguage(language);
    app::SetTextTranslator(&TranslateAppText);
    return language;
}

}  // namespace rizuvira::ui
