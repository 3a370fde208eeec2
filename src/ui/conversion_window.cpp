#include "ui/conversion_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QUrl>

#include "core/time_text.h"
#include "engine/batch_loop.h"
#include "ui/preview_surface.h"
#include "ui/qt_helpers.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {
namespace {

namespace layout = skin::conversion_window;

SkinProgress* Bar(const char* fill, const char* name, int y, QWidget* parent) {
    auto* bar = new SkinProgress(fill, parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 1000);
    bar->setValue(0);
    bar->setGeometry(layout::kValueX, y, layout::kBarWidth, skin::kProgressHeight);
    return bar;
}

QLabel* Text(const QString& text, int x, int y, int width, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y - 3, width, 24);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QCheckBox* Box(const QString& text, const char* name, int x, int y, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(x, y, 400, 22);
    return box;
}

}  // namespace

ConversionWindow::ConversionWindow(app::ConversionJob job, engine::SystemActions* actions,
                                   QWidget* parent)
    : QDialog(parent),
      run_(std::make_unique<app::ConversionRun>(std::move(job), this, this, actions)) {
    setObjectName("conversionWindow");
    setWindowTitle("Converting");
    setModal(true);
    SkinWindow(this, layout::kArt);

    file_ = new QLabel(this);
    file_->setObjectName("currentFile");
    file_->setGeometry(layout::kFile.x, layout::kFile.y, layout::kFile.width, layout::kFile.height);
    file_->setAlignment(Qt::AlignCenter);
    QFont bold = file_->font();
    bold.setBold(true);
    file_->setFont(bold);

    preview_ = new PreviewSurface(this);
    preview_->setObjectName("livePreview");
    preview_->setGeometry(layout::kPreview.x, layout::kPreview.y, layout::kPreview.width,
                          layout::kPreview.height);
    preview_->SetPlaceholderText("Preview hidden");
    show_preview_ =
        Box("Show Preview", "showPreviewBox", layout::kShowPreview.x, layout::kShowPreview.y, this);
    show_preview_->setChecked(true);
    connect(show_preview_, &QCheckBox::toggled, this, [this](bool on) {
        controller().ShowPreview(on);
        if (!on) preview_->Clear();
    });

    const int value_width = layout::kBarWidth;
    Text("Current file:", layout::kLabelX, layout::kItemBarY, 110, this);
    item_bar_ = Bar(skin::kProgressFills[0], "itemBar", layout::kItemBarY, this);
    Text("All files:", layout::kLabelX, layout::kBatchBarY, 110, this);
    batch_bar_ = Bar(skin::kProgressFills[1], "batchBar", layout::kBatchBarY, this);
    Text("Elapsed time:", layout::kLabelX, layout::kTimeY, 110, this);
    elapsed_ = Text("00:00:00", layout::kValueX, layout::kTimeY, 90, this);
    elapsed_->setObjectName("elapsedLabel");
    Text("Remaining time:", layout::kValueX + 110, layout::kTimeY, 120, this);
    remaining_ = Text("", layout::kValueX + 232, layout::kTimeY, value_width - 232, this);
    remaining_->setObjectName("remainingLabel");
    Text("Converted length of the current file:", layout::kLabelX, layout::kLengthY, 280, this);
    position_ = Text("", layout::kValueX + 158, layout::kLengthY, value_width - 158, this);
    position_->setObjectName("positionLabel");

    shut_down_ = Box("Shut down computer when conversion completed", "shutDownBox", layout::kLabelX,
                     layout::kShutDownY, this);
    open_folder_ = Box("Open output folder when conversion completed", "openFolderBox",
                       layout::kLabelX, layout::kOpenFolderY, this);
    connect(shut_down_, &QCheckBox::toggled, this,
            [this](bool on) { controller().SetShutDown(on); });
    connect(open_folder_, &QCheckBox::toggled, this,
            [this](bool on) { controller().SetOpenFolder(on); });

    // A failed item's message shows over the lower part of the picture.
    log_ = new QListWidget(this);
    log_->setStyleSheet(
        "QListWidget { background: rgba(17, 23, 31, 215); color: #ffd7d7;"
        " border: none; }");
    log_->setObjectName("messageList");
    log_->setGeometry(layout::kMessages.x, layout::kMessages.y, layout::kMessages.width,
                      layout::kMessages.height);
    log_->hide();

    pause_ = new SkinButton("Pause2.png", layout::kButtons, this);
    pause_->setObjectName("pauseButton");
    continue_ = new SkinButton("continue2.png", layout::kButtons, this);
    continue_->setObjectName("continueButton");
    continue_->hide();
    cancel_ = new SkinButton("Cancel.png", layout::kButtons, this);
    cancel_->setObjectName("cancelButton");
    close_ = new SkinButton("close.png", layout::kButtons, this);
    close_->setObjectName("closeButton");
    close_->setToolTip("Close");
    for (QPushButton* button : {pause_, continue_, cancel_, close_}) button->setAutoDefault(false);
    connect(pause_, &QPushButton::clicked, this, &ConversionWindow::PauseOrContinue);
    connect(continue_, &QPushButton::clicked, this, &ConversionWindow::PauseOrContinue);
    connect(cancel_, &QPushButton::clicked, this, &ConversionWindow::reject);
    connect(close_, &QPushButton::clicked, this, &ConversionWindow::reject);

    timer_.setInterval(engine::kProgressPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &ConversionWindow::Tick);
}

ConversionWindow::~ConversionWindow() {
    timer_.stop();
    if (!controller().ended()) controller().Cancel();
    controller().SetPreviewSurface(nullptr);
    run_.reset();  // while the window's messages can still be shown
}

void ConversionWindow::Begin(std::function<bool(const std::filesystem::path&)> confirm_overwrite) {
    controller().SetPreviewSurface(preview_);
    run_->Begin(std::move(confirm_overwrite));
    timer_.start();
}

void ConversionWindow::PostStartItem() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (finishing_) return;
            controller().StartCurrentItem();
            const int index = controller().current_index();
            if (index >= 0) {
                // The header names the file being written; while merging,
                // every item goes into the first one's.
                const std::filesystem::path writing = controller().output_file();
                file_->setText(QString("%1 (%2 of %3)")
                                   .arg(writing.empty() ? Q(controller().rows()[index].output_name)
                                                        : Q(writing.filename().string()))
                                   .arg(index + 1)
                                   .arg(controller().rows().size()));
            }
        },
        Qt::QueuedConnection);
}

void ConversionWindow::PostGraphEvents() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!finishing_) controller().HandleGraphEvents();
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
    ShowProgress(controller().Tick());
}

void ConversionWindow::ShowProgress(const engine::RunProgress& progress) {
    if (item_bar_->value() != progress.item_bar) item_bar_->setValue(progress.item_bar);
    if (batch_bar_->value() != progress.batch_bar) batch_bar_->setValue(progress.batch_bar);
    elapsed_->setText(Q(progress.elapsed_text));
    remaining_->setText(Q(progress.remaining_text));
    position_->setText(Q(progress.position_text));
}

void ConversionWindow::PauseOrContinue() {
    if (controller().paused()) {
        controller().Continue();
    } else {
        controller().Pause();
    }
    pause_->setVisible(!controller().paused());
    continue_->setVisible(controller().paused());
}

void ConversionWindow::Finish() {
    if (finishing_) return;
    finishing_ = true;
    timer_.stop();
    ShowProgress(controller().Tick());
    if (!controller().cancelled()) {
        batch_bar_->setValue(1000);
        FinishedWindow finished(controller().finished_files(), controller().failed_items(),
                                controller().finished_files().empty()
                                    ? std::filesystem::path()
                                    : controller().finished_files().front().path.parent_path(),
                                this);
        emit finishedShown(&finished);
        finished.exec();
    }
    done(controller().cancelled() ? QDialog::Rejected : QDialog::Accepted);
}

void ConversionWindow::reject() {
    // Cancel and close: the file being written is finished as it stands.
    if (!controller().ended()) {
        controller().Cancel();
        return;  // BatchEnded closes the window
    }
    if (!finishing_) QDialog::reject();
}

FinishedWindow::FinishedWindow(const std::vector<engine::FinishedFile>& files, int failed_items,
                               const std::filesystem::path& folder, QWidget* parent)
    : QDialog(parent) {
    setObjectName("finishedWindow");
    setWindowTitle("Conversion finished");
    namespace finished = skin::finished_window;
    const bool skinned = SkinWindow(this, finished::kArt);
    if (!skinned) {
        // Without the picture the message and the mark are ours to show.
        auto* icon = new QLabel(this);
        icon->setPixmap(
            ThemeIcon(finished::kEmblemIcon, QStyle::SP_DialogApplyButton).pixmap(48, 48));
        icon->setGeometry(finished::kEmblem.x, finished::kEmblem.y, finished::kEmblem.width,
                          finished::kEmblem.height);
        const skin::Words& words = finished::kWords[1];
        auto* text = new QLabel(QString::fromUtf8(words.text), this);
        text->setGeometry(words.rect.x, words.rect.y, words.rect.width, words.rect.height);
    }
    auto* failures = new QLabel(this);
    failures->setObjectName("finishedText");
    failures->setGeometry(finished::kFailures.x, finished::kFailures.y, finished::kFailures.width,
                          finished::kFailures.height);
    failures->setStyleSheet("color: #b3261e;");
    if (failed_items > 0)
        failures->setText(QString("%1 item(s) could not be converted.").arg(failed_items));

    auto* list = new QListWidget(this);
    list->setObjectName("finishedFiles");
    list->setGeometry(finished::kFiles.x, finished::kFiles.y, finished::kFiles.width,
                      finished::kFiles.height);
    for (const engine::FinishedFile& file : files) {
        list->addItem(new QListWidgetItem(
            ThemeIcon(file.ok ? "video-x-generic" : "dialog-error",
                      file.ok ? QStyle::SP_FileIcon : QStyle::SP_MessageBoxCritical),
            QString("%1  (%2)")
                .arg(Q(file.path.filename().string()),
                     Q(core::TimeText(static_cast<int64_t>(file.seconds * 1000))))));
    }
    auto* open = new SkinButton("openfolder.png", finished::kButtons, this);
    open->setObjectName("finishedOpenFolder");
    open->setEnabled(!folder.empty());
    connect(open, &QPushButton::clicked, this,
            [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder.string()))); });
    auto* ok = new SkinButton("ok2.png", finished::kButtons, this);
    ok->setObjectName("finishedOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* close = new SkinButton("close.png", finished::kButtons, this);
    close->setToolTip("Close");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace rizuvira::ui
