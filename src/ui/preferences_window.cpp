// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/preferences_window.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/form_widgets.h"
#include "ui/qt_helpers.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

namespace {

QToolButton* TabButton(const QString& text, const char* name, const QIcon& icon) {
    auto* tab = new QToolButton;
    tab->setObjectName(QString::fromLatin1(name));
    tab->setText(text);
    tab->setIcon(icon);
    tab->setIconSize(QSize(22, 22));
    tab->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tab->setCheckable(true);
    tab->setAutoRaise(true);
    tab->setMinimumWidth(110);
    return tab;
}

}  // namespace

PreferencesWindow::PreferencesWindow(core::SettingsStore* store, core::MessageSink* messages,
                                     QWidget* parent)
    : QDialog(parent), store_(store), messages_(messages), form_(*store) {
    setObjectName("preferencesWindow");
    setWindowTitle(tr("Preferences"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 14);
    layout->setSpacing(10);
    layout->addWidget(BuildTabs());
    pages_ = new QStackedWidget;
    pages_->setObjectName("pages");
    pages_->addWidget(BuildGeneralPage());
    pages_->addWidget(BuildOptionsPage());
    layout->addWidget(pages_, 1);
    AddSkinFooter(layout)->addLayout(BuildButtons());

    general_tab_->setChecked(true);
    pages_->setCurrentIndex(0);
    SkinLayoutWindow(this, skin::preferences_window::kArt);
}

QWidget* PreferencesWindow::BuildTabs() {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    general_tab_ =
        TabButton(tr("General"), "generalTab", ThemeIcon("configure", QStyle::SP_ComputerIcon));
    options_tab_ = TabButton(tr("Options"), "optionsTab",
                             ThemeIcon("preferences-desktop-theme", QStyle::SP_DesktopIcon));
    auto* group = new QButtonGroup(box);
    group->setExclusive(true);
    group->addButton(general_tab_);
    group->addButton(options_tab_);
    connect(general_tab_, &QToolButton::clicked, this,
            [this] { ShowPage(app::PreferencesPage::kGeneral); });
    connect(options_tab_, &QToolButton::clicked, this,
            [this] { ShowPage(app::PreferencesPage::kOptions); });
    row->addWidget(general_tab_);
    row->addWidget(options_tab_);
    row->addStretch(1);
    return box;
}

// The entries are stored as they are written; only their display is
// translated. The one language entry names the language the program shows.
[[maybe_unused]] constexpr const char* kEntryTexts[] = {
    QT_TRANSLATE_NOOP("preferences", "No Action"),
    QT_TRANSLATE_NOOP("preferences", "Shut Down"),
    QT_TRANSLATE_NOOP("preferences", "English"),
    QT_TRANSLATE_NOOP("preferences", "Default"),
};

QComboBox* PreferencesWindow::List(app::PreferenceList list, const char* name) {
    auto* box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    for (const std::string& entry : app::PreferenceEntries(list))
        box->addItem(QCoreApplication::translate("preferences", entry.c_str()));
    // A stored value that begins no entry shows an empty list.
    box->setCurrentIndex(form_.Selection(list));
    connect(box, &QComboBox::currentIndexChanged, this,
            [this, list](int index) { form_.Select(list, index); });
    return box;
}

QWidget* PreferencesWindow::FolderField(QLineEdit** field, const char* name, bool snapshots) {
    *field = new QLineEdit(Q(snapshots ? form_.SnapFolderText() : form_.OutFolderText()));
    QLineEdit* edit = *field;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMinimumWidth(260);
    connect(edit, &QLineEdit::textChanged, this, [this, snapshots](const QString& text) {
        if (snapshots)
            form_.SetSnapFolderText(text.toStdString());
        else
            form_.SetOutFolderText(text.toStdString());
    });
    return edit;
}

QWidget* PreferencesWindow::BuildGeneralPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    QGridLayout* output = nullptr;
    QGroupBox* output_group = FormGroup(tr("Output"), &output);
    FolderField(&out_folder_, "outFolderField", false);
    FolderField(&snap_folder_, "snapFolderField", true);
    // Browse puts a chosen folder into the field (stored on OK); Open shows
    // the folder the field names.
    auto buttons = [this](QLineEdit* field, const char* browse_name, const char* open_name,
                          QWidget** browse_out, QWidget** open_out) {
        QPushButton* browse = FormButton(tr("Browse..."), browse_name, "folder-open");
        QPushButton* open = FormButton(tr("Open"), open_name, "folder");
        connect(browse, &QPushButton::clicked, this, [this, field] {
            const QString folder =
                QFileDialog::getExistingDirectory(this, tr("Browser"), field->text());
            if (!folder.isEmpty()) field->setText(folder);
        });
        connect(open, &QPushButton::clicked, this,
                [field] { QDesktopServices::openUrl(QUrl::fromLocalFile(field->text())); });
        *browse_out = browse;
        *open_out = open;
    };
    QWidget *out_browse = nullptr, *out_open = nullptr, *snap_browse = nullptr,
            *snap_open = nullptr;
    buttons(out_folder_, "outFolderBrowse", "outFolderOpen", &out_browse, &out_open);
    buttons(snap_folder_, "snapFolderBrowse", "snapFolderOpen", &snap_browse, &snap_open);
    AddFormRow(output, tr("Output Folder:"), out_folder_, {out_browse, out_open});
    AddFormRow(output, tr("Snapshot Folder:"), snap_folder_, {snap_browse, snap_open});
    AddFormRow(output, tr("Image Type:"), List(app::PreferenceList::kImageType, "imageTypeList"));
    layout->addWidget(output_group);

    QGridLayout* done = nullptr;
    QGroupBox* done_group = FormGroup(tr("Converting Done"), &done);
    AddFormRow(done, tr("Action:"), List(app::PreferenceList::kAction, "actionList"));
    layout->addWidget(done_group);

    QGridLayout* cpu = nullptr;
    QGroupBox* cpu_group = FormGroup(tr("CPU Usage"), &cpu);
    AddFormRow(cpu, tr("Max Usage:"), List(app::PreferenceList::kCpuUsage, "cpuUsageList"));
    layout->addWidget(cpu_group);
    layout->addStretch(1);
    AlignLabelColumns({output, done, cpu});
    // The lists keep the fields' width rather than the whole row's.
    for (QGridLayout* grid : {done, cpu}) grid->setColumnStretch(2, 1);
    output->setColumnStretch(1, 1);
    return page;
}

QWidget* PreferencesWindow::BuildOptionsPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    QGridLayout* language = nullptr;
    QGroupBox* language_group = FormGroup(tr("Language"), &language);
    AddFormRow(language, tr("Change Language:"),
               List(app::PreferenceList::kLanguage, "languageList"));
    QGridLayout* skin = nullptr;
    QGroupBox* skin_group = FormGroup(tr("Skin"), &skin);
    AddFormRow(skin, tr("Change Skin:"), List(app::PreferenceList::kSkin, "skinList"));
    for (QGridLayout* grid : {language, skin}) grid->setColumnStretch(2, 1);
    AlignLabelColumns({language, skin});
    layout->addWidget(language_group);
    layout->addWidget(skin_group);
    layout->addStretch(1);
    return page;
}

QLayout* PreferencesWindow::BuildButtons() {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch(1);
    QPushButton* ok = FooterButton("ok2.png", "okButton", this);
    QPushButton* cancel = FooterButton("cancel.png", "cancelButton", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

void PreferencesWindow::ShowPage(app::PreferencesPage page) {
    if (form_.ShowPage(page))
        pages_->setCurrentIndex(page == app::PreferencesPage::kGeneral ? 0 : 1);
    general_tab_->setChecked(form_.page() == app::PreferencesPage::kGeneral);
    options_tab_->setChecked(form_.page() == app::PreferencesPage::kOptions);
}

void PreferencesWindow::accept() {
    if (!form_.Ok()) {
        messages_->ShowMessage(tr("The settings cannot be written to %1")
                                   .arg(Q(store_->file().string()))
                                   .toStdString());
        return;
    }
    QDialog::accept();
}

}  // namespace rizuvira::ui
