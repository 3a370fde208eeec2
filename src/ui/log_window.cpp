// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/log_window.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/form_widgets.h"
#include "ui/qt_helpers.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

LogWindow::LogWindow(const app::ActivityLog& log, QWidget* parent) : QDialog(parent) {
    setObjectName("logWindow");
    setWindowTitle(tr("Activity Log"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(10);

    auto* list = new QTreeWidget;
    list->setObjectName("logList");
    list->setAccessibleName(tr("Activity log"));
    list->setColumnCount(4);
    list->setHeaderLabels({tr("Time"), tr("Disc"), tr("Title"), tr("Message")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setWordWrap(false);
    list->header()->setStretchLastSection(true);
    const QIcon warning = ThemeIcon("dialog-warning", QStyle::SP_MessageBoxWarning);
    const QIcon message = ThemeIcon("dialog-information", QStyle::SP_MessageBoxInformation);
    const std::vector<app::LogEntry> entries = log.Read();
    for (const app::LogEntry& entry : entries) {
        auto* item = new QTreeWidgetItem(
            list, {Q(entry.time), Q(entry.disc), Q(entry.title), Q(entry.text)});
        item->setIcon(0, entry.warning ? warning : message);
        item->setToolTip(3, Q(entry.text));
    }
    // The time, disc and title whole at any font; the message takes the rest.
    for (int column = 0; column < 3; ++column) list->resizeColumnToContents(column);
    list->scrollToBottom();
    layout->addWidget(list, 1);

    QHBoxLayout* buttons = AddSkinFooter(layout);
    auto* where = new QLabel(entries.empty() ? QString(tr("Nothing has been logged yet."))
                                             : Q(log.file().string()));
    where->setObjectName("logFileName");
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->setForegroundRole(QPalette::PlaceholderText);
    buttons->addWidget(where, 1);
    QPushButton* open = FormButton(tr("Open File"), "logOpenFile", "document-open");
    open->setEnabled(!entries.empty());
    const QString file = Q(log.file().string());
    connect(open, &QPushButton::clicked, this,
            [file] { QDesktopServices::openUrl(QUrl::fromLocalFile(file)); });
    buttons->addWidget(open);
    QPushButton* ok = FooterButton("ok2.png", "okButton", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(ok);
    SkinLayoutWindow(this, skin::log_window::kArt);
}

}  // namespace rizuvira::ui
