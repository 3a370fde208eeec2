// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/conversion_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>

#include "dvd/title_texts.h"
#include "engine/batch_loop.h"
#include "ui/desktop_notification.h"
#include "ui/finished_window.h"
#include "ui/message_list.h"
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

QLabel* Caption(const QString& text, int x, int y, int width, QWidget* parent) {
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
      disc_path_(job.source.path),
      run_(std::make_unique<app::ConversionRun>(std::move(job), this, this, actions)) {
    setObjectName("conversionWindow");
    setWindowTitle(tr("Converting"));
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
    show_preview_ = Box(tr("Show Preview"), "showPreviewBox", layout::kShowPreview.x,
                        layout::kShowPreview.y, this);
    show_preview_->setChecked(true);
    connect(show_preview_, &QCheckBox::toggled, this, [this](bool on) {
        controller().ShowPreview(on);
        // The words only when the user hid the picture, not while it has yet to come.
        preview_->SetPlaceholderText(on ? QString() : tr("Preview hidden"));
        if (!on) preview_->Clear();
    });

    const int value_width = layout::kBarWidth;
    Caption(tr("Current file:"), layout::kLabelX, layout::kItemBarY, 110, this);
    item_bar_ = Bar(skin::kProgressFills[0], "itemBar", layout::kItemBarY, this);
    Caption(tr("All files:"), layout::kLabelX, layout::kBatchBarY, 110, this);
    batch_bar_ = Bar(skin::kProgressFills[1], "batchBar", layout::kBatchBarY, this);
    Caption(tr("Elapsed time:"), layout::kLabelX, layout::kTimeY, 110, this);
    elapsed_ = Caption("00:00:00", layout::kValueX, layout::kTimeY, 90, this);
    elapsed_->setObjectName("elapsedLabel");
    Caption(tr("Remaining time:"), layout::kValueX + 110, layout::kTimeY, 120, this);
    remaining_ = Caption("", layout::kValueX + 232, layout::kTimeY, value_width - 232, this);
    remaining_->setObjectName("remainingLabel");
    Caption(tr("Converted length of the current file:"), layout::kLabelX, layout::kLengthY, 280,
            this);
    position_ = Caption("", layout::kValueX + 158, layout::kLengthY, value_width - 158, this);
    position_->setObjectName("positionLabel");

    shut_down_ = Box(tr("Shut down computer when conversion completed"), "shutDownBox",
                     layout::kLabelX, layout::kShutDownY, this);
    open_folder_ = Box(tr("Open output folder when conversion completed"), "openFolderBox",
                       layout::kLabelX, layout::kOpenFolderY, this);
    connect(shut_down_, &QCheckBox::toggled, this,
            [this](bool on) { controller().SetShutDown(on); });
    connect(open_folder_, &QCheckBox::toggled, this,
            [this](bool on) { controller().SetOpenFolder(on); });

    // A failed item's message shows over the lower part of the picture,
    // wrapped to be read whole; the list scrolls when there are more.
    log_ = new MessageList(this);
    log_->setStyleSheet(
        "QListWidget { background: rgba(17, 23, 31, 225); color: #ffe3e3;"
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
    close_->setToolTip(tr("Close"));
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
                file_->setText(tr("%1 (%2 of %3)")
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
    AddMessage(Q(text), false);
}

void ConversionWindow::ShowWarning(const std::string& text) {
    AddMessage(Q(text), true);
}

void ConversionWindow::AddMessage(const QString& text, bool warning) {
    QMetaObject::invokeMethod(
        this,
        [this, text, warning] {
            messages_ << text;
            if (activity_ != nullptr) {
                const int index = controller().current_index();
                const std::string title =
                    index < 0 ? std::string()
                              : dvd::TitleItemName(controller().rows()[index].item.title_index);
                activity_->Record(text.toStdString(), warning, disc_path_, title);
            }
            log_->Add(text, warning ? MessageList::Kind::kWarning : MessageList::Kind::kError);
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
    FitTexts(this);  // the times may need more room than a larger font leaves
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
    const std::vector<engine::FinishedFile>& files = controller().finished_files();
    app::RunResult result;
    result.items = static_cast<int>(controller().rows().size());
    result.failed_items = controller().failed_items();
    result.cancelled = controller().cancelled();
    result.files = files;
    for (const QString& message : messages_) result.reasons.push_back(message.toStdString());
    result_ = result;
    // Someone working in another window learns that the batch is over.
    if (!queued_ && !isActiveWindow() && (!result.cancelled || !files.empty())) {
        const app::ConversionEnding ending = app::DescribeEnding(result);
        NotifyDesktop(QApplication::applicationName(),
                      Q(ending.headline + " " + ending.detail).trimmed());
    }
    // A cancel that left nothing behind needs no words; a queued job's
    // ending shows in the queue.
    if (!queued_ && (!result.cancelled || !files.empty())) {
        if (!result.cancelled) batch_bar_->setValue(1000);
        FinishedWindow finished(
            app::DescribeEnding(result), files,
            files.empty() ? std::filesystem::path() : files.front().path.parent_path(), this);
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

}  // namespace rizuvira::ui
