// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <optional>

#include "app/conversion_ending.h"
#include "app/data_files.h"
#include "dvd/dvd_access.h"
#include "ui/conversion_window.h"
#include "ui/custom_settings_window.h"
#include "ui/editor_window.h"
#include "ui/preferences_window.h"
#include "ui/preview_surface.h"
#include "ui/properties_window.h"
#include "ui/qt_helpers.h"
#include "ui/skin.h"
#include "ui/skin_input_dialog.h"
#include "ui/skin_message_box.h"
#include "ui/skin_slider.h"
#include "ui/skin_widgets.h"
#include "ui/small_windows.h"

namespace rizuvira::ui {

namespace {

namespace layout = skin::main_window;

constexpr int kPreviewPeriodMs = 100;
constexpr int kPassingStatusMs = 5000;

SkinButton* Button(const char* file, const char* name, QWidget* parent) {
    auto* button = new SkinButton(file, layout::kButtons, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QLabel* RowLabel(const QString& text, int y, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(layout::kLabelX, y, layout::kFieldX - layout::kLabelX - 6,
                       layout::kRowHeight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

template <typename Field>
Field* RowField(Field* field, int y, const char* name) {
    field->setGeometry(layout::kFieldX, y, layout::kFieldWidth, layout::kRowHeight);
    field->setObjectName(QString::fromLatin1(name));
    return field;
}

// A dropped disc is read where it lies: the drop is a copy, else a link,
// never the move a file manager proposes with no key held (it would delete
// the image). False, ignored, when the source offers neither.
bool AcceptCopyOrLink(QDropEvent* event) {
    const Qt::DropActions offered = event->possibleActions();
    if (!(offered & (Qt::CopyAction | Qt::LinkAction))) {
        event->ignore();
        return false;
    }
    event->setDropAction(offered & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction);
    event->accept();
    return true;
}

}  // namespace

MainWindow::MainWindow(core::MessageSink* messages, core::SettingsStore* settings,
                       engine::SystemActions* actions, QWidget* parent)
    : QWidget(parent),
      messages_(&activity_),
      settings_(settings),
      actions_(actions),
      branding_(app::ReadBranding(app::DataFile("Set.xml"))),
      activity_(app::ActivityLogFile(settings->file()), messages),
      session_(&activity_, settings),
      queue_(app::QueueFile(settings->file()), &activity_),
      player_(&activity_),
      preview_control_(
          &player_, [this] { return LoadPreviewTitle(); }, this) {
    setObjectName("mainWindow");
    setWindowTitle(branding_.title.empty() ? QString::fromUtf8(app::kApplicationTitle)
                                           : Q(branding_.title));
    // The program's own icon once installed, else the theme's disc.
    setWindowIcon(QIcon::fromTheme("org.example.Rizuvira",
                                   ThemeIcon("media-optical", QStyle::SP_DriveDVDIcon)));
    setAcceptDrops(true);
    skinned_ = SkinWindow(this, layout::kArt);

    auto* title = new QLabel(windowTitle(), this);
    title->setObjectName("titleLabel");
    title->setGeometry(layout::kTitle.x, layout::kTitle.y, layout::kTitle.width,
                       layout::kTitle.height);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    title->setFont(bold);
    if (skinned_) {
        QPalette light = title->palette();
        light.setColor(QPalette::WindowText, QColor::fromRgb(skin::kHeaderText));
        title->setPalette(light);
    }

    BuildMenus();
    BuildPreview();
    BuildList();
    BuildOutput();
    BuildQueueControls();
    SetUpKeyboard();

    status_clear_.setSingleShot(true);
    status_clear_.setInterval(kPassingStatusMs);
    connect(&status_clear_, &QTimer::timeout, this, [this] { ShowStatus({}); });
    preview_timer_.setInterval(kPreviewPeriodMs);
    connect(&preview_timer_, &QTimer::timeout, this, &MainWindow::PreviewTick);

    output_->setText(Q(settings_->values().out_folder));
    LoadProfiles();
    queue_.Load();
    ShowState(false, false);
}

MainWindow::~MainWindow() {
    ClosePlayer();
}

// --- Layout ------------------------------------------------------------------

void MainWindow::BuildMenus() {
    auto* file = new QMenu(tr("File"), this);
    file->setObjectName("fileMenu");
    QAction* load_dvd = file->addAction(ThemeIcon("media-optical", QStyle::SP_DriveDVDIcon),
                                        tr("Load DVD"), this, &MainWindow::LoadDvd);
    QAction* load_folder = file->addAction(ThemeIcon("folder", QStyle::SP_DirIcon),
                                           tr("Load DVD Folder"), this, &MainWindow::LoadDvdFolder);
    QAction* load_iso = file->addAction(ThemeIcon("document-open", QStyle::SP_DialogOpenButton),
                                        tr("Load ISO File"), this, &MainWindow::LoadIsoFile);
    load_iso->setShortcut(QKeySequence::Open);
    file->addSeparator();
    file->addAction(ThemeIcon("document-properties", QStyle::SP_FileDialogInfoView),
                    tr("Properties"), this, &MainWindow::ShowProperties);
    file->addSeparator();
    QAction* exit = file->addAction(ThemeIcon("application-exit", QStyle::SP_DialogCloseButton),
                                    tr("Exit"), this, &QWidget::close);
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    auto* edit = new QMenu(tr("Edit"), this);
    edit->setObjectName("editMenu");
    edit->addAction(ThemeIcon("edit-clear-all", QStyle::SP_DialogResetButton), tr("Clear All"),
                    this, &MainWindow::ClearAll);
    edit->addAction(tr("Check All"), this, [this] { CheckAll(true); });
    edit->addAction(tr("UnCheck All"), this, [this] { CheckAll(false); });
    edit->addSeparator();
    edit->addAction(ThemeIcon("document-properties", QStyle::SP_FileDialogInfoView),
                    tr("Properties"), this, &MainWindow::ShowProperties);

    auto* clip = new QMenu(tr("Clip"), this);
    clip->setObjectName("clipMenu");
    clip->addAction(ThemeIcon("edit-cut", QStyle::SP_MediaSeekForward), tr("Trim"), this,
                    [this] { Edit(app::EditorPage::kTrim); });
    clip->addAction(ThemeIcon("transform-crop", QStyle::SP_TitleBarNormalButton), tr("Crop"), this,
                    [this] { Edit(app::EditorPage::kCrop); });
    clip->addAction(ThemeIcon("color-management", QStyle::SP_DesktopIcon), tr("Effect"), this,
                    [this] { Edit(app::EditorPage::kEffect); });

    auto* option = new QMenu(tr("Option"), this);
    option->setObjectName("optionMenu");
    option->addAction(ThemeIcon("configure", QStyle::SP_ComputerIcon), tr("Preferences"), this,
                      &MainWindow::OpenPreferences);
    option->addAction(ThemeIcon("configure", QStyle::SP_ComputerIcon), tr("Conversion Options"),
                      this, &MainWindow::OpenOptions);
    option->addSeparator();
    option->addAction(ThemeIcon("list-add", QStyle::SP_FileDialogNewFolder), tr("Add to Queue"),
                      this, &MainWindow::AddToQueue);
    option->addAction(ThemeIcon("view-list-details", QStyle::SP_FileDialogDetailedView),
                      tr("Queue"), this, &MainWindow::OpenQueue);

    auto* help = new QMenu(tr("Help"), this);
    help->setObjectName("helpMenu");
    QAction* contents = help->addAction(ThemeIcon("help-contents", QStyle::SP_DialogHelpButton),
                                        tr("Help Content"), this, &MainWindow::ShowHelp);
    contents->setShortcut(QKeySequence::HelpContents);
    help->addAction(ThemeIcon("help-faq", QStyle::SP_MessageBoxQuestion), tr("Support"), this,
                    [this] { OpenUrl(Q(branding_.url) + "support/"); });
    help->addAction(ThemeIcon("go-home", QStyle::SP_DirHomeIcon), tr("Home Page"), this,
                    [this] { OpenUrl(Q(branding_.url)); });
    help->addAction(ThemeIcon("view-history", QStyle::SP_FileDialogContentsView),
                    tr("Activity Log"), this, &MainWindow::ShowActivityLog);
    help->addSeparator();
    help->addAction(ThemeIcon("help-about", QStyle::SP_MessageBoxInformation), tr("About"), this,
                    &MainWindow::ShowAbout);

    // Each of the five buttons on the header drops its menu at its lower-left
    // corner; the keys of the menus work without them.
    const std::pair<const char*, QMenu*> drops[] = {{"file.png", file},
                                                    {"edit.png", edit},
                                                    {"clip.png", clip},
                                                    {"option.png", option},
                                                    {"help.png", help}};
    for (const auto& [picture, menu] : drops) {
        auto* button = new SkinButton(picture, layout::kButtons, this);
        button->setObjectName(menu->objectName() + "Button");
        connect(button, &QPushButton::clicked, this,
                [button, menu] { menu->popup(button->mapToGlobal(QPoint(0, button->height()))); });
        addActions(menu->actions());
    }

    // The row of big buttons: Add File drops the three load commands.
    auto* add_menu = new QMenu(this);
    add_menu->setObjectName("addFileMenu");
    add_menu->addAction(load_dvd);
    add_menu->addAction(load_folder);
    add_menu->addAction(load_iso);
    auto* add_file = Button("addfile.png", "addFileButton", this);
    connect(add_file, &QPushButton::clicked, this, [add_file, add_menu] {
        add_menu->popup(add_file->mapToGlobal(QPoint(0, add_file->height())));
    });
    connect(Button("effect.png", "effectButton", this), &QPushButton::clicked, this,
            [this] { Edit(app::EditorPage::kEffect); });
    connect(Button("crop.png", "cropButton", this), &QPushButton::clicked, this,
            [this] { Edit(app::EditorPage::kCrop); });
    connect(Button("trim.png", "trimButton", this), &QPushButton::clicked, this,
            [this] { Edit(app::EditorPage::kTrim); });
    connect(Button("Preferences.png", "preferencesButton", this), &QPushButton::clicked, this,
            &MainWindow::OpenPreferences);

    connect(Button("min.png", "minimiseButton", this), &QPushButton::clicked, this,
            &QWidget::showMinimized);
    connect(Button("close.png", "closeButton", this), &QPushButton::clicked, this, &QWidget::close);
}

void MainWindow::BuildPreview() {
    preview_ = new PreviewSurface(this);
    preview_->setObjectName("previewSurface");
    preview_->SetPlaceholderText(tr("Load a DVD to preview its titles"));
    preview_->setGeometry(layout::kPreview.x, layout::kPreview.y, layout::kPreview.width,
                          layout::kPreview.height);

    slider_ = new SkinSlider(this);
    slider_->setObjectName("positionSlider");
    slider_->SetPictures("sliderbk_main1.png", "sliderbk_main2.png", "thumb.png");
    slider_->SetRange(0, 1000);
    slider_->setGeometry(layout::kSlider.x, layout::kSlider.y, layout::kSlider.width,
                         layout::kSlider.height);
    // Dragging seeks as the thumb moves.
    connect(slider_, &SkinSlider::valueChanging, this, &MainWindow::SliderAction);

    auto* back = Button("back.png", "backButton", this);
    play_ = Button("play.png", "playButton", this);
    pause_ = Button("pause.png", "pauseButton", this);
    stop_ = Button("stop.png", "stopButton", this);
    auto* next = Button("next.png", "nextButton", this);
    auto* snap = Button("snap.png", "snapshotButton", this);
    auto* open = Button("open.png", "snapshotFolderButton", this);
    back->setToolTip(tr("Previous title"));
    play_->setToolTip(tr("Play"));
    pause_->setToolTip(tr("Pause"));
    stop_->setToolTip(tr("Stop"));
    next->setToolTip(tr("Next title"));
    snap->setToolTip(tr("Snapshot"));
    open->setToolTip(tr("Open the snapshot folder"));
    connect(back, &QPushButton::clicked, this, [this] { StepRow(false); });
    connect(play_, &QPushButton::clicked, this, &MainWindow::Play);
    connect(pause_, &QPushButton::clicked, this, &MainWindow::Pause);
    connect(stop_, &QPushButton::clicked, this, &MainWindow::StopPreview);
    connect(next, &QPushButton::clicked, this, [this] { StepRow(true); });
    connect(snap, &QPushButton::clicked, this, &MainWindow::Snapshot);
    connect(open, &QPushButton::clicked, this, &MainWindow::OpenSnapshotFolder);

    RowLabel(tr("Audio Track:"), layout::kAudioY, this);
    RowLabel(tr("SubTitle:"), layout::kSubtitleY, this);
    audio_ = RowField(new QComboBox(this), layout::kAudioY, "audioList");
    subtitles_ = RowField(new QComboBox(this), layout::kSubtitleY, "subtitleList");
    connect(audio_, &QComboBox::activated, this, &MainWindow::AudioChosen);
    connect(subtitles_, &QComboBox::activated, this, &MainWindow::SubtitleChosen);
}

void MainWindow::BuildList() {
    list_stack_ = new QStackedWidget(this);
    list_stack_->setGeometry(layout::kList.x, layout::kList.y, layout::kList.width,
                             layout::kList.height);
    auto* start_page = new QLabel;
    start_page->setObjectName("gettingStarted");
    const QPixmap picture = SkinPicture("getting started.png");
    if (!picture.isNull()) {
        start_page->setPixmap(picture);
    } else {
        start_page->setText(
            tr("<p><b>Getting started</b></p>"
               "<p>Load a DVD with <b>Add File</b>: a disc in a drive, a DVD folder or an ISO "
               "image, or drop one on this window. Tick the titles, choose a profile and press "
               "<b>Start</b>.</p>"));
        start_page->setWordWrap(true);
        start_page->setMargin(16);
    }
    start_page->setAlignment(Qt::AlignCenter);
    list_stack_->addWidget(start_page);

    tree_ = new QTreeWidget;
    tree_->setObjectName("titleList");
    tree_->setColumnCount(4);
    tree_->setHeaderLabels(
        {tr("Source file"), tr("Original Length"), tr("Trimmed Length"), tr("Output Format")});
    tree_->setItemDelegate(new ColumnTreeDelegate(tree_));
    tree_->setRootIsDecorated(true);
    tree_->setUniformRowHeights(true);
    tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree_->setFrameShape(QFrame::NoFrame);
    tree_->header()->setStretchLastSection(true);
    tree_->setIndentation(16);
    tree_->setColumnWidth(0, 150);
    tree_->setColumnWidth(1, 100);
    tree_->setColumnWidth(2, 104);
    connect(tree_, &QTreeWidget::itemChanged, this, &MainWindow::ItemChanged);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { CurrentItemChanged(item); });
    list_stack_->addWidget(tree_);

    status_ = new QLabel(this);
    status_->setObjectName("statusLabel");
    status_->setGeometry(layout::kStatus.x, layout::kStatus.y, layout::kStatus.width,
                         layout::kStatus.height);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette muted = status_->palette();
    muted.setColor(QPalette::WindowText, QColor(0x5b, 0x65, 0x73));
    status_->setPalette(muted);
}

void MainWindow::BuildOutput() {
    RowLabel(tr("Profile:"), layout::kProfileY, this);
    profiles_ = RowField(new QComboBox(this), layout::kProfileY, "profileList");
    connect(profiles_, &QComboBox::currentIndexChanged, this, &MainWindow::ProfileChosen);
    settings_button_ = Button("settings.png", "settingsButton", this);
    settings_button_->setEnabled(false);  // until the catalogue is read
    connect(settings_button_, &QPushButton::clicked, this, &MainWindow::OpenSettings);

    RowLabel(tr("Output:"), layout::kOutputY, this);
    output_ = RowField(new QLineEdit(this), layout::kOutputY, "outputField");
    connect(Button("browse.png", "browseButton", this), &QPushButton::clicked, this,
            &MainWindow::Browse);
    connect(Button("openfolder.png", "openFolderButton", this), &QPushButton::clicked, this,
            &MainWindow::OpenOutputFolder);

    merge_ = new QCheckBox(tr("Merge into one file"), this);
    merge_->setObjectName("mergeBox");
    merge_->setGeometry(layout::kMerge.x, layout::kMerge.y, layout::kMerge.width,
                        layout::kMerge.height);
    start_ = Button("star.png", "startButton", this);
    connect(start_, &QPushButton::clicked, this, &MainWindow::Start);
}

void MainWindow::ShowStatus(const QString& text, bool passing) {
    status_->setText(text);
    // A passing note (a snapshot saved) leaves after a while, or with the
    // next thing the user does.
    if (passing)
        status_clear_.start();
    else
        status_clear_.stop();
}

// --- Profiles ----------------------------------------------------------------

void MainWindow::LoadProfiles() {
    if (!session_.LoadProfiles(app::ProfileCatalogueFile())) return;  // "Settings" stays disabled
    settings_button_->setEnabled(true);
    FillProfileList();
}

void MainWindow::FillProfileList() {
    const QSignalBlocker block(profiles_);
    profiles_->clear();
    int current = -1;  // none shown until a profile is current
    for (const core::OutputProfile& profile : session_.profiles().Iterate()) {
        profiles_->addItem(Q(profile.ProfileName), profile.Id);
        if (session_.has_profile() && profile.Id == session_.profile().Id)
            current = profiles_->count() - 1;
    }
    profiles_->setCurrentIndex(current);
}

void MainWindow::OpenSettings() {
    if (!session_.has_profile()) return;
    CustomSettingsWindow window(session_.profile(), &session_.profile_library(), messages_, this);
    const bool ok = window.exec() == QDialog::Accepted;
    if (ok) session_.ReplaceProfile(window.form().profile());
    session_.ProfilesChanged();
    FillProfileList();
    RefreshOutputNames();
}

void MainWindow::ProfileChosen(int index) {
    if (index < 0) return;
    if (session_.ChooseProfile(profiles_->itemData(index).toInt()))
        RefreshOutputNames();
    else
        FillProfileList();  // a profile that cannot be used is not shown as chosen
}

void MainWindow::RefreshOutputNames() {
    const QSignalBlocker block(tree_);
    for (int i = 0; root_ != nullptr && i < root_->childCount() && i < session_.row_count(); ++i)
        root_->child(i)->setText(3, Q(session_.row(i).output_name));
}

// --- Disc and rows -----------------------------------------------------------

bool MainWindow::OpenDisc(const QString& path) {
    StopPreview();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The player lets go of the disc it plays only once the new one has
    // opened: a path that is no disc leaves both as they were.
    const bool opened = session_.OpenDisc(path.toStdString(), [this] { ClosePlayer(); });
    QApplication::restoreOverrideCursor();
    if (!opened) return false;
    activity_.SetContext(path.toStdString());
    const std::string folder = app::FolderToRemember(path.toStdString()).string();
    if (!folder.empty() && folder != settings_->values().disc_folder)
        settings_->SetDiscFolder(folder);
    const int32_t handle = session_.catalogue().handle();
    if (handle != 0 && session_.catalogue().source_files().empty()) {
        player_open_ = player_.Open(handle, preview_, nullptr, [this] {
            QMetaObject::invokeMethod(this, &MainWindow::DrainPreviewEvents, Qt::QueuedConnection);
        });
    }
    preview_->SetPlaceholderText(player_open_ ? tr("Press Play to preview the selected title")
                                              : tr("No preview"));
    FillRows();
    ShowStatus(Count(session_.row_count(), tr("%2: 1 title"), tr("%2: %1 titles"))
                   .arg(QFileInfo(path).fileName()));
    return true;
}

void MainWindow::FillRows() {
    {
        const QSignalBlocker block(tree_);
        tree_->clear();
        root_ = nullptr;
        if (session_.has_disc()) {
            root_ = new QTreeWidgetItem(tree_, {Q(session_.RootText())});
            root_->setIcon(0, ThemeIcon("media-optical", QStyle::SP_DriveDVDIcon));
            root_->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            for (int i = 0; i < session_.row_count(); ++i) {
                const dvd::CatalogueRow& row = session_.row(i);
                auto* item =
                    new QTreeWidgetItem(root_, {Q(row.name), Q(row.original_length),
                                                Q(row.trimmed_length), Q(row.output_name)});
                item->setIcon(0, ThemeIcon("video-x-generic", QStyle::SP_FileIcon));
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            }
            root_->setExpanded(true);
        }
    }
    SyncChecks();
    {
        const QSignalBlocker block(tree_);
        const int selected = session_.selected_row();
        if (selected >= 0 && root_ != nullptr && selected < root_->childCount())
            tree_->setCurrentItem(root_->child(selected));
    }
    list_stack_->setCurrentIndex(session_.has_disc() ? 1 : 0);
    FillStreams();
}

void MainWindow::SyncChecks() {
    if (root_ == nullptr) return;
    const QSignalBlocker block(tree_);
    auto state = [](app::CheckState s) {
        return s == app::CheckState::kChecked  ? Qt::Checked
               : s == app::CheckState::kPartly ? Qt::PartiallyChecked
                                               : Qt::Unchecked;
    };
    root_->setCheckState(0, state(session_.check_state(app::kRootRow)));
    for (int i = 0; i < root_->childCount() && i < session_.row_count(); ++i)
        root_->child(i)->setCheckState(0, state(session_.check_state(i)));
}

int MainWindow::RowOf(QTreeWidgetItem* item) const {
    if (item == nullptr) return app::kNoRow;
    if (item == root_) return app::kRootRow;
    return root_ != nullptr ? root_->indexOfChild(item) : app::kNoRow;
}

void MainWindow::ItemChanged(QTreeWidgetItem* item, int column) {
    if (column != 0) return;
    const int row = RowOf(item);
    if (row == app::kNoRow) return;
    // Only a click on the check mark reaches here with a state the session
    // does not hold; the session decides what every mark becomes.
    session_.ClickCheck(row);
    SyncChecks();
}

void MainWindow::CurrentItemChanged(QTreeWidgetItem* item) {
    session_.SelectRow(RowOf(item));
    FillStreams();
}

void MainWindow::FillStreams() {
    const dvd::TitleCatalogue& catalogue = session_.catalogue();
    auto fill = [](QComboBox* box, const std::vector<dvd::StreamEntry>& entries, int32_t current) {
        const QSignalBlocker block(box);
        box->clear();
        for (const dvd::StreamEntry& entry : entries) {
            box->addItem(Q(entry.text), entry.id);
            if (entry.id == current) box->setCurrentIndex(box->count() - 1);
        }
    };
    fill(audio_, catalogue.audio_list(), catalogue.current_audio_id());
    fill(subtitles_, catalogue.subtitle_list(), catalogue.current_subtitle_id());
}

void MainWindow::AudioChosen(int index) {
    if (!session_.SelectAudio(index)) return;
    if (preview_control_.loaded())
        player_.SelectStreamsById(session_.catalogue().current_audio_id(), 0);
}

void MainWindow::SubtitleChosen(int index) {
    if (!session_.SelectSubtitle(index)) return;
    if (preview_control_.loaded())
        player_.SelectStreamsById(0, session_.catalogue().current_subtitle_id());
}

void MainWindow::ClearAll() {
    session_.ClearAll();
    FillRows();
}

void MainWindow::CheckAll(bool checked) {
    session_.CheckAll(checked);
    SyncChecks();
}

void MainWindow::Edit(app::EditorPage page) {
    const int row = session_.BeginEdit();
    if (row < 0) return;
    StopPreview();
    const dvd::TitleCatalogue& catalogue = session_.catalogue();
    core::ConvertItem& item = session_.item(row);
    EditorSource source;
    source.name = session_.row(row).name;
    // A plain file has no disc to play in the editor: it edits without pictures.
    if (catalogue.source_files().empty()) {
        source.dvd_handle = catalogue.handle();
        source.disc_path = session_.disc_path();
    }
    source.title = item.title_index;
    source.chapter = item.chapter_index;
    source.audio_id = catalogue.current_audio_id();
    source.subtitle_id = catalogue.current_subtitle_id();
    dvd::DvdVideoInfo video{};
    if (source.dvd_handle != 0 &&
        dvd::MyDVDGetVideoInfo(source.dvd_handle, item.title_index, &video))
        source.picture =
            app::SourcePicture{video.width, video.height, video.aspect_x, video.aspect_y};
    EditorWindow editor(&item, session_.profile().Settings, page, source, session_.watermark(),
                        messages_, this);
    if (editor.exec() == QDialog::Accepted) session_.SetWatermark(editor.watermark());
    session_.EndEdit(row);
    if (root_ != nullptr && row < root_->childCount()) {
        const QSignalBlocker block(tree_);
        root_->child(row)->setText(2, Q(session_.row(row).trimmed_length));
    }
}

// --- Load commands -----------------------------------------------------------

void MainWindow::LoadDvd() {
    const std::vector<app::Drive> listed = app::ListDrives();
    QStringList drives;
    for (const app::Drive& drive : listed) drives << Q(app::DriveText(drive));
    if (drives.isEmpty()) {
        SkinMessageBox::Tell(this, MessageKind::kInformation, windowTitle(),
                             tr("No DVD drive was found."),
                             tr("Use Load DVD Folder or Load ISO File for a disc on disk."));
        return;
    }
    SkinInputDialog ask(tr("Please Select DVD Folder"), tr("Drive:"), drives, this);
    ask.setObjectName("driveDialog");
    if (ask.exec() != QDialog::Accepted) return;
    const QString chosen = ask.textValue();
    if (chosen.isEmpty()) return;
    // A listed drive opens by its path; a typed path as it stands.
    const qsizetype index = drives.indexOf(chosen);
    OpenDisc(index >= 0 ? Q(listed[size_t(index)].path) : chosen);
}

void MainWindow::LoadDvdFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Please Select DVD Folder"),
                                                             Q(settings_->values().disc_folder));
    if (!folder.isEmpty()) OpenDisc(folder);
}

void MainWindow::LoadIsoFile() {
    const QString file =
        QFileDialog::getOpenFileName(this, tr("Load ISO File"), Q(settings_->values().disc_folder),
                                     tr("Disc images (*.iso);;All Files (*)"));
    if (!file.isEmpty()) OpenDisc(file);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls[0].isLocalFile() &&
        app::IsOpenableDiscPath(urls[0].toLocalFile().toStdString()))
        AcceptCopyOrLink(event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls[0].isLocalFile() || !AcceptCopyOrLink(event)) return;
    const QString path = urls[0].toLocalFile();
    QTimer::singleShot(0, this, [this, path] { OpenDisc(path); });
}

// --- Preview -----------------------------------------------------------------

void MainWindow::ShowState(bool playing, bool ticking) {
    play_->setVisible(!playing);
    pause_->setVisible(playing);
    if (!ticking)
        preview_timer_.stop();
    else if (!preview_timer_.isActive())
        preview_timer_.start();
}

void MainWindow::ShowStopped() {
    preview_->Clear();
    slider_->SetValue(0);
}

void MainWindow::Play() {
    if (status_clear_.isActive()) ShowStatus({});
    preview_control_.Play();
}

bool MainWindow::LoadPreviewTitle() {
    if (!player_open_) return false;
    player_.Stop();
    if (!player_.SelectTitle(session_.PreviewTitle(), -1)) return false;
    player_.SeekTo(0);
    player_.SelectStreamsById(session_.catalogue().current_audio_id(),
                              session_.catalogue().current_subtitle_id());
    return true;
}

void MainWindow::Pause() {
    preview_control_.Pause();
}

void MainWindow::PlayPause() {
    preview_control_.PlayPause();
}

void MainWindow::StopPreview() {
    if (status_clear_.isActive()) ShowStatus({});
    preview_control_.Stop();
}

void MainWindow::StepRow(bool forward) {
    const int row = forward ? session_.NextRow() : session_.PreviousRow();
    if (row == app::kNoRow || root_ == nullptr) return;
    tree_->setCurrentItem(root_->child(row));
    preview_control_.Step();
}

void MainWindow::PreviewTick() {
    const std::optional<app::PreviewPosition> at = preview_control_.Position();
    if (at && !slider_->dragging() && at->slider != slider_->value()) slider_->SetValue(at->slider);
}

void MainWindow::SliderAction() {
    preview_control_.SeekSlider(slider_->value());
}

void MainWindow::DrainPreviewEvents() {
    preview_control_.TakeEvents();
}

void MainWindow::ClosePlayer() {
    if (player_open_) {
        player_.Stop();
        player_.Close();
    }
    player_open_ = false;
    preview_control_.Unload();
}

void MainWindow::Snapshot() {
    // A failed snapshot says why in the status line; it never interrupts the preview.
    const app::SnapshotResult shot =
        preview_control_.TakeSnapshot(session_.settings(), std::time(nullptr));
    if (!shot.problem.empty()) ShowStatus(Q(shot.problem));
    if (!shot.written) return;
    ShowStatus(tr("Snapshot saved: %1").arg(Q(shot.file.filename().string())), true);
    emit snapshotSaved(Q(shot.file.string()));
}

void MainWindow::OpenSnapshotFolder() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(session_.settings().snap_folder)));
}

// --- Output and Start --------------------------------------------------------

void MainWindow::Browse() {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Browser"), output_->text());
    if (folder.isEmpty()) return;
    output_->setText(folder);
    session_.settings_store().SetOutFolder(folder.toStdString());
}

void MainWindow::OpenOutputFolder() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(output_->text()));
}

void MainWindow::Start() {
    app::ConversionJob job;
    if (!MakeJob(engine::OverwritePolicy::kAsk, &job)) return;
    StopPreview();
    ConversionWindow window(std::move(job), actions_, this);
    window.SetActivityLog(&activity_);
    window.Begin([this](const std::filesystem::path& file) {
        return SkinMessageBox::Ask(
            QApplication::activeWindow() ? QApplication::activeWindow() : this, windowTitle(),
            tr("%1 exists. Replace it?").arg(Q(file.string())),
            tr("No keeps the file and goes on with the next title."));
    });
    window.exec();
}

void MainWindow::OpenPreferences() {
    PreferencesWindow window(&session_.settings_store(), messages_, this);
    if (window.exec() == QDialog::Accepted) output_->setText(Q(session_.settings().out_folder));
}

void MainWindow::ShowProperties() {
    if (!player_open_) return;
    if (!preview_control_.loaded() && !preview_control_.Load()) return;
    engine::StreamInfoList streams{};
    if (!player_.ListStreams(&streams)) return;
    PropertiesWindow window(streams, this, session_.BlurayTitleText(session_.PreviewTitle()));
    window.exec();
}

// --- Help --------------------------------------------------------------------

void MainWindow::OpenUrl(const QString& url) {
    if (!url.isEmpty()) QDesktopServices::openUrl(QUrl(url));
}

void MainWindow::ShowHelp() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(app::DataFile("help.html").string())));
}

void MainWindow::ShowAbout() {
    AboutWindow about(windowTitle(), Q(branding_.url), this);
    about.exec();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    StopPreview();
    ClosePlayer();
    event->accept();
}

}  // namespace rizuvira::ui
