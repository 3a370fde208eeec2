#include "ui/conversion_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include "engine/batch_loop.h"
#include "ui/preview_surface.h"
#include "ui/qt_helpers.h"

namespace rizuvira::ui {
namespace {

QProgressBar* Bar(const char* name) {
    auto* bar = new QProgressBar;
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 1000);
    bar->setValue(0);
    bar->setFormat("%p%");
    bar->setTextVisible(true);
    return bar;
}

}  // namespace

ConversionWindow::ConversionWindow(const TitleCatalogue& catalogue, int thread_count,
                                   engine::SystemActions* actions, QWidget* parent)
    : QDialog(parent), graph_(this, catalogue.handle(), thread_count) {
    if (!catalogue.source_file().empty()) graph_.SetSourceFile(catalogue.source_file());
    controller_ = std::make_unique<engine::RunController>(&graph_, this, this, actions);
    setObjectName("conversionWindow");
    setWindowTitle("Converting");
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(10);
    title_ = new QLabel("Converting");
    QFont heading = title_->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    heading.setBold(true);
    title_->setFont(heading);
    file_ = new QLabel;
    file_->setObjectName("currentFile");
    auto* top = new QHBoxLayout;
    top->addWidget(title_);
    top->addStretch(1);
    top->addWidget(file_);
    layout->addLayout(top);

    preview_ = new PreviewSurface;
    preview_->setObjectName("livePreview");
    preview_->setMinimumSize(360, 240);
    preview_->SetPlaceholderText("Preview hidden");
    layout->addWidget(preview_, 1);
    show_preview_ = new QCheckBox("Show Preview");
    show_preview_->setObjectName("showPreviewBox");
    show_preview_->setChecked(true);
    connect(show_preview_, &QCheckBox::toggled, this, [this](bool on) {
        controller_->ShowPreview(on);
        if (!on) preview_->Clear();
    });
    layout->addWidget(show_preview_);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    item_bar_ = Bar("itemBar");
    batch_bar_ = Bar("batchBar");
    grid->addWidget(new QLabel("Current file:"), 0, 0);
    grid->addWidget(item_bar_, 0, 1, 1, 3);
    grid->addWidget(new QLabel("All files:"), 1, 0);
    grid->addWidget(batch_bar_, 1, 1, 1, 3);
    elapsed_ = new QLabel("00:00:00");
    elapsed_->setObjectName("elapsedLabel");
    remaining_ = new QLabel;
    remaining_->setObjectName("remainingLabel");
    position_ = new QLabel;
    position_->setObjectName("positionLabel");
    grid->addWidget(new QLabel("Elapsed time:"), 2, 0);
    grid->addWidget(elapsed_, 2, 1);
    grid->addWidget(new QLabel("Remaining time:"), 2, 2);
    grid->addWidget(remaining_, 2, 3);
    grid->addWidget(new QLabel("Converted length of the current file:"), 3, 0, 1, 2);
    grid->addWidget(position_, 3, 2, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addLayout(grid);

    log_ = new QListWidget;
    log_->setObjectName("messageList");
    log_->setMaximumHeight(70);
    log_->hide();
    layout->addWidget(log_);

    shut_down_ = new QCheckBox("Shut down computer when conversion completed");
    shut_down_->setObjectName("shutDownBox");
    open_folder_ = new QCheckBox("Open output folder when conversion completed");
    open_folder_->setObjectName("openFolderBox");
    connect(shut_down_, &QCheckBox::toggled, this,
            [this](bool on) { controller_->SetShutDown(on); });
    connect(open_folder_, &QCheckBox::toggled, this,
            [this](bool on) { controller_->SetOpenFolder(on); });
    layout->addWidget(shut_down_);
    layout->addWidget(open_folder_);

    auto* buttons = new QHBoxLayout;
    pause_ = new QPushButton(ThemeIcon("media-playback-pause", QStyle::SP_MediaPause), "Pause");
    pause_->setObjectName("pauseButton");
    continue_ =
        new QPushButton(ThemeIcon("media-playback-start", QStyle::SP_MediaPlay), "Continue");
    continue_->setObjectName("continueButton");
    continue_->hide();
    cancel_ = new QPushButton(ThemeIcon("process-stop", QStyle::SP_BrowserStop), "Cancel");
    cancel_->setObjectName("cancelButton");
    close_ = new QPushButton(ThemeIcon("window-close", QStyle::SP_DialogCloseButton), "Close");
    close_->setObjectName("closeButton");
    for (QPushButton* button : {pause_, continue_, cancel_, close_}) button->setAutoDefault(false);
    connect(pause_, &QPushButton::clicked, this, &ConversionWindow::PauseOrContinue);
    connect(continue_, &QPushButton::clicked, this, &ConversionWindow::PauseOrContinue);
    connect(cancel_, &QPushButton::clicked, this, &ConversionWindow::reject);
    connect(close_, &QPushButton::clicked, this, &ConversionWindow::reject);
    buttons->addWidget(pause_);
    buttons->addWidget(continue_);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addWidget(close_);
    layout->addLayout(buttons);

    timer_.setInterval(engine::kProgressPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &ConversionWindow::Tick);
    resize(560, 620);
}

ConversionWindow::~ConversionWindow() {
    timer_.stop();
    if (!controller_->ended()) controller_->Cancel();
    controller_->SetPreviewSurface(nullptr);
    controller_.reset();  // before the graph it drives
}

void ConversionWindow::Begin(std::vector<engine::BatchRow> rows, const engine::EditSettings& edit,
                             engine::BatchOptions options) {
    controller_->SetPreviewSurface(preview_);
    controller_->Begin(std::move(rows), edit, std::move(options));
    timer_.start();
}

void ConversionWindow::PostStartItem() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (finishing_) return;
            controller_->StartCurrentItem();
            const int index = controller_->current_index();
            if (index >= 0) {
                file_->setText(QString("%1 (%2 of %3)")
                                   .arg(Q(controller_->rows()[index].output_name))
                                   .arg(index + 1)
                                   .arg(controller_->rows().size()));
            }
        },
        Qt::QueuedConnection);
}

void ConversionWindow::PostGraphEvents() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!finishing_) controller_->HandleGraphEvents();
        },
        Qt::QueuedConnection);
}

void ConversionWindow::BatchEnded() {
    QMetaObject::invokeMethod(this, &ConversionWindow::Finish, Qt::QueuedConnection);
}

void ConversionWindow::ShowMessage(const std::string& text) {
    const QString message = Q(text);
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            messages_ << message;
            log_->addItem(new QListWidgetItem(
                ThemeIcon("dialog-warning", QStyle::SP_MessageBoxWarning), message));
            log_->show();
            log_->scrollToBottom();
        },
        QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

void ConversionWindow::Tick() {
    ShowProgress(controller_->Tick());
}

void ConversionWindow::ShowProgress(const engine::RunProgress& progress) {
    if (item_bar_->value() != progress.item_bar) item_bar_->setValue(progress.item_bar);
    if (batch_bar_->value() != progress.batch_bar) batch_bar_->setValue(progress.batch_bar);
    elapsed_->setText(Q(progress.elapsed_text));
    remaining_->setText(Q(progress.remaining_text));
    position_->setText(Q(progress.position_text));
}

void ConversionWindow::PauseOrContinue() {
    if (controller_->paused()) {
        controller_->Continue();
    } else {
        controller_->Pause();
    }
    pause_->setVisible(!controller_->paused());
    continue_->setVisible(controller_->paused());
}

void ConversionWindow::Finish() {
    if (finishing_) return;
    finishing_ = true;
    timer_.stop();
    ShowProgress(controller_->Tick());
    if (!controller_->cancelled()) {
        batch_bar_->setValue(1000);
        FinishedWindow finished(controller_->finished_files(), controller_->failed_items(),
                                controller_->finished_files().empty()
                                    ? std::filesystem::path()
                                    : controller_->finished_files().front().path.parent_path(),
                                this);
        emit finishedShown(&finished);
        finished.exec();
    }
    done(controller_->cancelled() ? QDialog::Rejected : QDialog::Accepted);
}

void ConversionWindow::reject() {
    // Cancel and close: the file being written is finished as it stands.
    if (!controller_->ended()) {
        controller_->Cancel();
        return;  // BatchEnded closes the window
    }
    if (!finishing_) QDialog::reject();
}

FinishedWindow::FinishedWindow(const std::vector<engine::FinishedFile>& files, int failed_items,
                               const std::filesystem::path& folder, QWidget* parent)
    : QDialog(parent) {
    setObjectName("finishedWindow");
    setWindowTitle("Conversion finished");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(10);
    auto* head = new QHBoxLayout;
    auto* icon = new QLabel;
    const bool all_ok = failed_items == 0;
    icon->setPixmap(ThemeIcon(all_ok ? "emblem-ok-symbolic" : "dialog-warning",
                              all_ok ? QStyle::SP_DialogApplyButton : QStyle::SP_MessageBoxWarning)
                        .pixmap(48, 48));
    head->addWidget(icon, 0, Qt::AlignTop);
    auto* text = new QLabel(
        all_ok ? "<b>Conversion completed.</b>"
               : QString("<b>Conversion completed.</b><br>%1 item(s) could not be converted.")
                     .arg(failed_items));
    text->setObjectName("finishedText");
    head->addWidget(text, 1);
    layout->addLayout(head);
    auto* list = new QListWidget;
    list->setObjectName("finishedFiles");
    for (const engine::FinishedFile& file : files) {
        list->addItem(new QListWidgetItem(
            ThemeIcon(file.ok ? "video-x-generic" : "dialog-error",
                      file.ok ? QStyle::SP_FileIcon : QStyle::SP_MessageBoxCritical),
            QString("%1  (%2)")
                .arg(Q(file.path.filename().string()),
                     Q(engine::ClockText(static_cast<int64_t>(file.seconds * 1000))))));
    }
    list->setMinimumHeight(90);
    layout->addWidget(list);
    auto* buttons = new QHBoxLayout;
    auto* open = new QPushButton(ThemeIcon("folder-open", QStyle::SP_DirOpenIcon), "Open Folder");
    open->setObjectName("finishedOpenFolder");
    open->setEnabled(!folder.empty());
    connect(open, &QPushButton::clicked, this,
            [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder.string()))); });
    auto* ok = new QPushButton("OK");
    ok->setObjectName("finishedOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(open);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    resize(420, 260);
}

}  // namespace rizuvira::ui
