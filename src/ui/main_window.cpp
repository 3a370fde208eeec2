#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/data_files.h"
#include "ui/conversion_window.h"
#include "ui/preview_surface.h"
#include "ui/qt_helpers.h"

namespace rizuvira::ui {

namespace {

QToolButton* MediaButton(const QString& tip, const QIcon& icon, const char* name) {
    auto* button = new QToolButton;
    button->setIcon(icon);
    button->setIconSize(QSize(22, 22));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

constexpr int kPreviewPeriodMs = 100;

}  // namespace

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

MainWindow::MainWindow(engine::MessageSink* messages, engine::SettingsStore* settings,
                       engine::SystemActions* actions, QWidget* parent)
    : QMainWindow(parent),
      messages_(messages),
      settings_(settings),
      actions_(actions),
      branding_(app::ReadBranding(app::DataFile("Set.xml"))),
      session_(messages, settings),
      player_(messages) {
    setObjectName("mainWindow");
    setWindowTitle(branding_.title.empty() ? QString::fromUtf8(app::kApplicationTitle)
                                           : Q(branding_.title));
    setWindowIcon(ThemeIcon("media-optical", QStyle::SP_DriveDVDIcon));
    setAcceptDrops(true);

    auto* central = new QWidget;
    auto* body = new QHBoxLayout(central);
    body->setContentsMargins(12, 8, 12, 12);
    body->setSpacing(16);
    body->addWidget(BuildPreview(), 5);
    auto* right = new QVBoxLayout;
    right->setSpacing(10);
    right->addWidget(BuildList(), 1);
    right->addWidget(BuildOutput());
    body->addLayout(right, 6);
    setCentralWidget(central);
    BuildMenus();
    statusBar()->setSizeGripEnabled(true);

    preview_timer_.setInterval(kPreviewPeriodMs);
    connect(&preview_timer_, &QTimer::timeout, this, &MainWindow::PreviewTick);

    output_->setText(Q(settings_->values().out_folder));
    LoadProfiles();
    ShowPlaying(false);
    resize(1000, 620);
}

MainWindow::~MainWindow() {
    ClosePlayer();
}

// --- Layout ------------------------------------------------------------------

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    QAction* load_dvd = file->addAction(ThemeIcon("media-optical", QStyle::SP_DriveDVDIcon),
                                        "Load DVD", this, &MainWindow::LoadDvd);
    QAction* load_folder = file->addAction(ThemeIcon("folder", QStyle::SP_DirIcon),
                                           "Load DVD Folder", this, &MainWindow::LoadDvdFolder);
    QAction* load_iso = file->addAction(ThemeIcon("document-open", QStyle::SP_DialogOpenButton),
                                        "Load ISO File", this, &MainWindow::LoadIsoFile);
    load_iso->setShortcut(QKeySequence::Open);
    file->addSeparator();
    properties_file_ = file->addAction(
        ThemeIcon("document-properties", QStyle::SP_FileDialogInfoView), "Properties");
    file->addSeparator();
    QAction* exit = file->addAction(ThemeIcon("application-exit", QStyle::SP_DialogCloseButton),
                                    "Exit", this, &QWidget::close);
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction(ThemeIcon("edit-clear-all", QStyle::SP_DialogResetButton), "Clear All", this,
                    &MainWindow::ClearAll);
    edit->addAction("Check All", this, [this] { CheckAll(true); });
    edit->addAction("UnCheck All", this, [this] { CheckAll(false); });
    edit->addSeparator();
    QAction* properties_edit = edit->addAction(
        ThemeIcon("document-properties", QStyle::SP_FileDialogInfoView), "Properties");

    QMenu* clip = menuBar()->addMenu("&Clip");
    QAction* trim = clip->addAction(ThemeIcon("edit-cut", QStyle::SP_MediaSeekForward), "Trim",
                                    this, [this] { Edit(0); });
    QAction* crop = clip->addAction(ThemeIcon("transform-crop", QStyle::SP_TitleBarNormalButton),
                                    "Crop", this, [this] { Edit(1); });
    QAction* effect = clip->addAction(ThemeIcon("color-select", QStyle::SP_DesktopIcon), "Effect",
                                      this, [this] { Edit(2); });

    QMenu* option = menuBar()->addMenu("&Option");
    QAction* preferences =
        option->addAction(ThemeIcon("preferences-system", QStyle::SP_ComputerIcon), "Preferences");

    // The properties, preferences and output settings windows are not built
    // yet: their commands stay visible but disabled.
    for (QAction* later : {properties_file_, properties_edit, preferences})
        later->setEnabled(false);

    QMenu* help = menuBar()->addMenu("&Help");
    QAction* contents = help->addAction(ThemeIcon("help-contents", QStyle::SP_DialogHelpButton),
                                        "Help Content", this, &MainWindow::ShowHelp);
    contents->setShortcut(QKeySequence::HelpContents);
    help->addAction(ThemeIcon("help-faq", QStyle::SP_MessageBoxQuestion), "Support", this,
                    [this] { OpenUrl(Q(branding_.url) + "support/"); });
    help->addAction(ThemeIcon("go-home", QStyle::SP_DirHomeIcon), "Home Page", this,
                    [this] { OpenUrl(Q(branding_.url)); });
    help->addSeparator();
    help->addAction(ThemeIcon("help-about", QStyle::SP_MessageBoxInformation), "About", this,
                    &MainWindow::ShowAbout);

    // The row of big buttons: Add File drops the three load commands.
    QToolBar* bar = addToolBar("Commands");
    bar->setObjectName("commandBar");
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(24, 24));
    auto* add_menu = new QMenu(this);
    add_menu->setObjectName("addFileMenu");
    add_menu->addAction(load_dvd);
    add_menu->addAction(load_folder);
    add_menu->addAction(load_iso);
    auto* add_file = new QToolButton;
    add_file->setObjectName("addFileButton");
    add_file->setText("Add File");
    add_file->setIcon(ThemeIcon("list-add", QStyle::SP_FileDialogNewFolder));
    add_file->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    add_file->setMenu(add_menu);
    add_file->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(add_file);
    bar->addSeparator();
    bar->addAction(effect);
    bar->addAction(crop);
    bar->addAction(trim);
    bar->addSeparator();
    bar->addAction(preferences);

    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, &MainWindow::PlayPause);
}

QWidget* MainWindow::BuildPreview() {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    preview_ = new PreviewSurface;
    preview_->setObjectName("previewSurface");
    preview_->SetPlaceholderText("Load a DVD to preview its titles");
    layout->addWidget(preview_);

    slider_ = new QSlider(Qt::Horizontal);
    slider_->setObjectName("positionSlider");
    slider_->setRange(0, 1000);
    slider_->setPageStep(50);
    connect(slider_, &QSlider::actionTriggered, this,
            [this] { QTimer::singleShot(0, this, &MainWindow::SliderAction); });
    layout->addWidget(slider_);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    auto* back =
        MediaButton("Previous title",
                    ThemeIcon("media-skip-backward", QStyle::SP_MediaSkipBackward), "backButton");
    play_ =
        MediaButton("Play", ThemeIcon("media-playback-start", QStyle::SP_MediaPlay), "playButton");
    pause_ = MediaButton("Pause", ThemeIcon("media-playback-pause", QStyle::SP_MediaPause),
                         "pauseButton");
    stop_ =
        MediaButton("Stop", ThemeIcon("media-playback-stop", QStyle::SP_MediaStop), "stopButton");
    auto* next = MediaButton(
        "Next title", ThemeIcon("media-skip-forward", QStyle::SP_MediaSkipForward), "nextButton");
    auto* snap = MediaButton("Snapshot", ThemeIcon("camera-photo", QStyle::SP_DialogSaveButton),
                             "snapshotButton");
    auto* open =
        MediaButton("Open the snapshot folder",
                    ThemeIcon("folder-pictures", QStyle::SP_DirOpenIcon), "snapshotFolderButton");
    connect(back, &QToolButton::clicked, this, [this] { StepRow(false); });
    connect(play_, &QToolButton::clicked, this, &MainWindow::Play);
    connect(pause_, &QToolButton::clicked, this, &MainWindow::Pause);
    connect(stop_, &QToolButton::clicked, this, &MainWindow::StopPreview);
    connect(next, &QToolButton::clicked, this, [this] { StepRow(true); });
    connect(snap, &QToolButton::clicked, this, &MainWindow::Snapshot);
    connect(open, &QToolButton::clicked, this, &MainWindow::OpenSnapshotFolder);
    for (QToolButton* button : {back, play_, pause_, stop_, next}) buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(snap);
    buttons->addWidget(open);
    layout->addLayout(buttons);
    auto* streams = new QFormLayout;
    streams->setContentsMargins(0, 8, 0, 0);
    streams->setHorizontalSpacing(10);
    streams->setVerticalSpacing(8);
    audio_ = new QComboBox;
    audio_->setObjectName("audioList");
    subtitles_ = new QComboBox;
    subtitles_->setObjectName("subtitleList");
    connect(audio_, &QComboBox::activated, this, &MainWindow::AudioChosen);
    connect(subtitles_, &QComboBox::activated, this, &MainWindow::SubtitleChosen);
    streams->addRow("Audio Track:", audio_);
    streams->addRow("SubTitle:", subtitles_);
    layout->addLayout(streams);
    layout->addStretch(1);
    return box;
}

QWidget* MainWindow::BuildList() {
    list_stack_ = new QStackedWidget;
    auto* start_page = new QLabel(
        "<p style='font-size:13pt'><b>Getting started</b></p>"
        "<p>Load a DVD with <b>Add File</b>: a disc in a drive, a DVD folder or an ISO image. "
        "You can also drop an image or a folder on this window.</p>"
        "<p>Tick the titles to convert, choose a profile and an output folder, then press "
        "<b>Start</b>.</p>");
    start_page->setObjectName("gettingStarted");
    start_page->setWordWrap(true);
    start_page->setAlignment(Qt::AlignCenter);
    start_page->setMargin(24);
    start_page->setFrameShape(QFrame::StyledPanel);
    list_stack_->addWidget(start_page);

    tree_ = new QTreeWidget;
    tree_->setObjectName("titleList");
    tree_->setColumnCount(4);
    tree_->setHeaderLabels({"Source file", "Original Length", "Trimmed Length", "Output Format"});
    tree_->setRootIsDecorated(true);
    tree_->setAlternatingRowColors(true);
    tree_->setUniformRowHeights(true);
    tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree_->header()->setStretchLastSection(true);
    tree_->setColumnWidth(0, 140);
    tree_->setColumnWidth(1, 120);
    tree_->setColumnWidth(2, 110);
    connect(tree_, &QTreeWidget::itemChanged, this, &MainWindow::ItemChanged);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { CurrentItemChanged(item); });
    list_stack_->addWidget(tree_);

    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_stack_, 1);
    return box;
}

QWidget* MainWindow::BuildOutput() {
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 4, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);

    profiles_ = new QComboBox;
    profiles_->setObjectName("profileList");
    connect(profiles_, &QComboBox::currentIndexChanged, this, &MainWindow::ProfileChosen);
    settings_button_ =
        new QPushButton(ThemeIcon("configure", QStyle::SP_FileDialogDetailedView), "Settings");
    settings_button_->setObjectName("settingsButton");
    settings_button_->setEnabled(false);  // the output settings window comes later
    grid->addWidget(new QLabel("Profile:"), 0, 0);
    grid->addWidget(profiles_, 0, 1);
    grid->addWidget(settings_button_, 0, 2, 1, 2);

    output_ = new QLineEdit;
    output_->setObjectName("outputField");
    auto* browse = new QPushButton(ThemeIcon("folder-open", QStyle::SP_DirOpenIcon), "Browse..");
    browse->setObjectName("browseButton");
    auto* open = new QPushButton(ThemeIcon("folder", QStyle::SP_DirIcon), "Open Folder");
    open->setObjectName("openFolderButton");
    connect(browse, &QPushButton::clicked, this, &MainWindow::Browse);
    connect(open, &QPushButton::clicked, this, &MainWindow::OpenOutputFolder);
    grid->addWidget(new QLabel("Output:"), 1, 0);
    grid->addWidget(output_, 1, 1);
    grid->addWidget(browse, 1, 2);
    grid->addWidget(open, 1, 3);

    merge_ = new QCheckBox("Merge into one file");
    merge_->setObjectName("mergeBox");
    start_ = new QPushButton(ThemeIcon("media-record", QStyle::SP_MediaPlay), "Start");
    start_->setObjectName("startButton");
    start_->setDefault(true);
    start_->setMinimumHeight(40);
    start_->setMinimumWidth(140);
    QFont big = start_->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    big.setBold(true);
    start_->setFont(big);
    connect(start_, &QPushButton::clicked, this, &MainWindow::Start);
    grid->addWidget(merge_, 2, 1);
    grid->addWidget(start_, 2, 2, 1, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    return box;
}

// --- Profiles ----------------------------------------------------------------

void MainWindow::LoadProfiles() {
    if (!session_.LoadProfiles(app::ProfileCatalogueFile())) return;  // "Settings" stays disabled
    const QSignalBlocker block(profiles_);
    for (const engine::OutputProfile& profile : session_.profiles().Iterate()) {
        profiles_->addItem(Q(profile.ProfileName), profile.Id);
        if (profile.Id == 1) profiles_->setCurrentIndex(profiles_->count() - 1);
    }
}

void MainWindow::ProfileChosen(int index) {
    if (index < 0) return;
    if (session_.ChooseProfile(profiles_->itemData(index).toInt())) RefreshOutputNames();
}

void MainWindow::RefreshOutputNames() {
    const QSignalBlocker block(tree_);
    for (int i = 0; root_ != nullptr && i < root_->childCount() && i < session_.row_count(); ++i)
        root_->child(i)->setText(3, Q(session_.row(i).output_name));
}

// --- Disc and rows -----------------------------------------------------------

bool MainWindow::OpenDisc(const QString& path) {
    StopPreview();
    ClosePlayer();  // before the catalogue closes the disc it plays
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool opened = session_.OpenDisc(path.toStdString());
    QApplication::restoreOverrideCursor();
    if (!opened) {
        FillRows();
        return false;
    }
    const int32_t handle = session_.catalogue().handle();
    if (handle != 0 && session_.catalogue().source_file().empty()) {
        player_open_ = player_.Open(handle, preview_, nullptr, [this] {
            QMetaObject::invokeMethod(this, &MainWindow::DrainPreviewEvents, Qt::QueuedConnection);
        });
    }
    preview_->SetPlaceholderText(player_open_ ? "Press Play to preview the selected title"
                                              : "No preview");
    FillRows();
    statusBar()->showMessage(QString("%1: %2 titles").arg(path).arg(session_.row_count()));
    return true;
}

void MainWindow::FillRows() {
    {
        const QSignalBlocker block(tree_);
        tree_->clear();
        root_ = nullptr;
        if (session_.has_disc()) {
            root_ = new QTreeWidgetItem(tree_, {"VIDEO_TS"});
            root_->setIcon(0, ThemeIcon("media-optical", QStyle::SP_DriveDVDIcon));
            root_->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            for (int i = 0; i < session_.row_count(); ++i) {
                const CatalogueRow& row = session_.row(i);
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
    const TitleCatalogue& catalogue = session_.catalogue();
    auto fill = [](QComboBox* box, const std::vector<StreamEntry>& entries, int32_t current) {
        const QSignalBlocker block(box);
        box->clear();
        for (const StreamEntry& entry : entries) {
            box->addItem(Q(entry.text), entry.id);
            if (entry.id == current) box->setCurrentIndex(box->count() - 1);
        }
    };
    fill(audio_, catalogue.audio_list(), catalogue.current_audio_id());
    fill(subtitles_, catalogue.subtitle_list(), catalogue.current_subtitle_id());
}

void MainWindow::AudioChosen(int index) {
    if (!session_.SelectAudio(index)) return;
    if (title_loaded_) player_.SelectStreamsById(session_.catalogue().current_audio_id(), 0);
}

void MainWindow::SubtitleChosen(int index) {
    if (!session_.SelectSubtitle(index)) return;
    if (title_loaded_) player_.SelectStreamsById(0, session_.catalogue().current_subtitle_id());
}

void MainWindow::ClearAll() {
    session_.ClearAll();
    FillRows();
}

void MainWindow::CheckAll(bool checked) {
    session_.CheckAll(checked);
    SyncChecks();
}

void MainWindow::Edit(int /*mode*/) {
    const int row = session_.BeginEdit();
    if (row < 0) return;
    StopPreview();
    // The editor window opens here with the row's item; until then the row
    // keeps its settings, as after Cancel.
    session_.EndEdit(row);
}

// --- Load commands -----------------------------------------------------------

void MainWindow::LoadDvd() {
    QStringList drives;
    for (const std::string& drive : app::OpticalDrives()) drives << Q(drive);
    if (drives.isEmpty()) {
        QMessageBox::information(
            this, windowTitle(),
            "No DVD drive was found. Use Load DVD Folder or Load ISO File for a disc on disk.");
        return;
    }
    bool ok = false;
    const QString drive = QInputDialog::getItem(this, "Please Select DVD Folder", "Drive:", drives,
                                                0, /*editable=*/true, &ok);
    if (ok && !drive.isEmpty()) OpenDisc(drive);
}

void MainWindow::LoadDvdFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, "Please Select DVD Folder");
    if (!folder.isEmpty()) OpenDisc(folder);
}

void MainWindow::LoadIsoFile() {
    const QString file = QFileDialog::getOpenFileName(this, "Load ISO File", QString(),
                                                      "Disc images (*.iso);;All Files (*)");
    if (!file.isEmpty()) OpenDisc(file);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls[0].isLocalFile() &&
        app::IsOpenableDiscPath(urls[0].toLocalFile().toStdString()))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls[0].isLocalFile()) return;
    event->acceptProposedAction();
    const QString path = urls[0].toLocalFile();
    QTimer::singleShot(0, this, [this, path] { OpenDisc(path); });
}

// --- Preview -----------------------------------------------------------------

void MainWindow::ShowPlaying(bool playing) {
    play_->setVisible(!playing);
    pause_->setVisible(playing);
}

void MainWindow::Play() {
    if (!player_open_) return;
    if (title_loaded_ && player_.IsPaused()) {
        player_.Play();
        ShowPlaying(true);
        if (!preview_timer_.isActive()) preview_timer_.start();
        return;
    }
    player_.Stop();
    if (!player_.SelectTitle(session_.PreviewTitle(), -1)) return;
    title_loaded_ = true;
    player_.SeekTo(0);
    player_.SelectStreamsById(session_.catalogue().current_audio_id(),
                              session_.catalogue().current_subtitle_id());
    player_.Play();
    if (!player_.IsRunning()) return;
    if (!preview_timer_.isActive()) preview_timer_.start();
    ShowPlaying(true);
}

void MainWindow::Pause() {
    if (!title_loaded_) return;
    player_.Pause();
    if (player_.IsPaused()) ShowPlaying(false);
}

void MainWindow::PlayPause() {
    if (pause_->isVisible())
        Pause();
    else
        Play();
}

void MainWindow::StopPreview() {
    if (title_loaded_) {
        player_.Stop();
        if (player_.IsStopped()) {
            preview_timer_.stop();
            ShowPlaying(false);
            preview_->Clear();
            slider_->setValue(0);
        }
        player_.SeekTo(0);
    }
}

void MainWindow::StepRow(bool forward) {
    const int row = forward ? session_.NextRow() : session_.PreviousRow();
    if (row == app::kNoRow || root_ == nullptr) return;
    tree_->setCurrentItem(root_->child(row));
    StopPreview();
    Play();
}

void MainWindow::PreviewTick() {
    double position = 0, duration = 0;
    if (!player_.GetPlayPosition(&position)) return;
    player_.GetPlayDuration(&duration);
    const int value = app::SliderFromPosition(position, duration);
    if (!slider_->isSliderDown() && value != slider_->value()) slider_->setValue(value);
}

void MainWindow::SliderAction() {
    if (!title_loaded_) return;
    double duration = 0;
    player_.GetPlayDuration(&duration);
    player_.SeekTo(app::SeekFromSlider(slider_->sliderPosition(), duration));
}

void MainWindow::DrainPreviewEvents() {
    IMediaEventEx* events = player_.Events();
    if (events == nullptr) return;
    LONG code = 0;
    LONG_PTR first = 0, second = 0;
    bool complete = false;
    while (SUCCEEDED(events->GetEvent(&code, &first, &second, 0))) {
        events->FreeEventParams(code, first, second);
        if (code == EC_COMPLETE) complete = true;
    }
    if (complete) StopPreview();
}

void MainWindow::ClosePlayer() {
    preview_timer_.stop();
    if (player_open_) {
        player_.Stop();
        player_.Close();
    }
    player_open_ = false;
    title_loaded_ = false;
    ShowPlaying(false);
    slider_->setValue(0);
    preview_->Clear();
}

void MainWindow::Snapshot() {
    if (!title_loaded_) return;
    const std::filesystem::path path =
        app::SnapshotPath("", session_.settings(), std::time(nullptr));
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (player_.SaveSnapshot(path)) {
        statusBar()->showMessage("Snapshot saved: " + Q(path.string()), 5000);
        emit snapshotSaved(Q(path.string()));
    }
}

void MainWindow::OpenSnapshotFolder() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(session_.settings().snap_folder)));
}

// --- Output and Start --------------------------------------------------------

void MainWindow::Browse() {
    const QString folder = QFileDialog::getExistingDirectory(this, "Browser", output_->text());
    if (folder.isEmpty()) return;
    output_->setText(folder);
    session_.settings_store().SetOutFolder(folder.toStdString());
}

void MainWindow::OpenOutputFolder() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(output_->text()));
}

void MainWindow::Start() {
    if (!session_.AcceptOutputFolder(output_->text().toStdString())) return;
    if (!session_.has_disc() || session_.row_count() == 0) return;
    StopPreview();
    int unreadable = 0;
    std::vector<engine::BatchRow> rows = session_.CheckedRows(&unreadable);
    if (rows.empty()) {
        if (unreadable == 0) messages_->ShowMessage(app::kPleaseSelectOne);
        return;
    }
    engine::BatchOptions options;
    options.output_folder = output_->text().toStdString();
    options.settings = session_.profile().Settings;
    options.merge = merge_->isChecked();
    options.action_setting = session_.settings().action;
    options.overwrite = engine::OverwritePolicy::kAsk;
    options.confirm_overwrite = [this](const std::filesystem::path& file) {
        return QMessageBox::question(
                   QApplication::activeWindow() ? QApplication::activeWindow() : this,
                   windowTitle(), Q(file.string()) + " exists. Replace it?",
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    ConversionWindow window(session_.catalogue(), session_.settings().ThreadCount(), actions_,
                            this);
    window.Begin(std::move(rows), session_.current_edit(), std::move(options));
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
    const QString url = Q(branding_.url);
    QMessageBox box(this);
    box.setObjectName("aboutWindow");
    box.setWindowTitle("About " + windowTitle());
    box.setIconPixmap(windowIcon().pixmap(64, 64));
    box.setTextFormat(Qt::RichText);
    box.setText(
        QString("<h3>%1</h3><p>Version %2</p>"
                "<p>Converts DVD titles into files for every player.</p>"
                "<p><a href='%3'>Home page</a> &nbsp;·&nbsp; <a href='%3support/'>Support</a></p>")
            .arg(windowTitle(), QApplication::applicationVersion(), url));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    StopPreview();
    ClosePlayer();
    event->accept();
}

}  // namespace rizuvira::ui
