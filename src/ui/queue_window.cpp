// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/queue_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>

#include "ui/conversion_window.h"
#include "ui/qt_helpers.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {
namespace {

namespace layout = skin::queue_window;

enum Column { kDisc, kTitle, kProfile, kOutput, kState, kColumns };

QColor StateColour(app::QueueState state) {
    switch (state) {
        case app::QueueState::kRunning:
            return QColor::fromRgb(skin::kAccent);
        case app::QueueState::kDone:
            return QColor(0x2d, 0x85, 0x52);
        case app::QueueState::kFailed:
            return QColor(0xc6, 0x28, 0x28);
        case app::QueueState::kCancelled:
            return QColor(0x6b, 0x76, 0x85);
        case app::QueueState::kWaiting:
            break;
    }
    return QColor::fromRgb(skin::kFaceText);
}

}  // namespace

QueueWindow::QueueWindow(app::JobQueue* queue, engine::SystemActions* actions,
                         app::ActivityLog* log, QWidget* parent)
    : QDialog(parent), queue_(queue), actions_(actions), log_(log) {
    setObjectName("queueWindow");
    setWindowTitle(tr("Queue"));
    setModal(true);
    SkinWindow(this, layout::kArt);

    list_ = new QTreeWidget(this);
    list_->setObjectName("queueList");
    list_->setAccessibleName(tr("Queued jobs"));
    list_->setGeometry(layout::kList.x, layout::kList.y, layout::kList.width, layout::kList.height);
    list_->setColumnCount(kColumns);
    list_->setHeaderLabels({tr("Disc"), tr("Title"), tr("Profile"), tr("Output"), tr("State")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setFrameShape(QFrame::NoFrame);
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(kDisc, 90);
    list_->setColumnWidth(kTitle, 170);
    list_->setColumnWidth(kProfile, 180);
    list_->setColumnWidth(kOutput, 150);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { Refresh(); });

    status_ = new QLabel(this);
    status_->setObjectName("queueStatus");
    status_->setGeometry(layout::kStatus.x, layout::kStatus.y, layout::kStatus.width,
                         layout::kStatus.height);
    QPalette muted = status_->palette();
    muted.setColor(QPalette::WindowText, QColor(0x5b, 0x65, 0x73));
    status_->setPalette(muted);

    auto button = [this](const char* file, const char* name) {
        auto* made = new SkinButton(file, layout::kButtons, this);
        made->setObjectName(QString::fromLatin1(name));
        return made;
    };
    up_ = button("queueup.png", "queueUp");
    down_ = button("queuedown.png", "queueDown");
    remove_ = button("queueremove.png", "queueRemove");
    clear_ = button("queueclear.png", "queueClear");
    start_ = button("queuestart.png", "queueStart");
    auto* close = button("close.png", "queueClose");
    close->setToolTip(tr("Close"));
    close->setAccessibleName(tr("Close"));
    connect(up_, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(remove_, &QPushButton::clicked, this, &QueueWindow::RemoveSelected);
    connect(clear_, &QPushButton::clicked, this, &QueueWindow::ClearEnded);
    connect(start_, &QPushButton::clicked, this, &QueueWindow::StartQueue);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    start_->setDefault(true);
    Refresh();
}

int64_t QueueWindow::SelectedId() const {
    const QTreeWidgetItem* item = list_->currentItem();
    return item == nullptr ? 0 : item->data(kDisc, Qt::UserRole).toLongLong();
}

void QueueWindow::Refresh() {
    const int64_t selected = SelectedId();
    const QSignalBlocker quiet(list_);
    list_->clear();
    int waiting = 0;
    for (const app::QueuedJob& job : queue_->jobs()) {
        const app::QueuedJobText text = app::DescribeQueuedJob(job);
        auto* item = new QTreeWidgetItem(
            list_, {Q(text.disc), Q(text.title), Q(text.profile), Q(text.output), Q(text.state)});
        item->setData(kDisc, Qt::UserRole, QVariant::fromValue<qlonglong>(job.id));
        item->setToolTip(kDisc, Q(job.job.source.path));
        item->setToolTip(kOutput, Q(text.output_path));
        const auto report = reports_.find(job.id);
        if (report != reports_.end() && !report->second.isEmpty())
            item->setToolTip(kState, report->second.join('\n'));
        item->setForeground(kState, StateColour(job.state));
        if (job.id == selected) list_->setCurrentItem(item);
        waiting += job.state == app::QueueState::kWaiting;
    }
    const app::QueuedJob* current = queue_->Find(SelectedId());
    const bool movable =
        !running_ && current != nullptr && current->state == app::QueueState::kWaiting;
    up_->setEnabled(movable);
    down_->setEnabled(movable);
    remove_->setEnabled(!running_ && current != nullptr &&
                        current->state != app::QueueState::kRunning);
    clear_->setEnabled(!running_);
    start_->setEnabled(!running_ && waiting > 0);
    status_->setText(queue_->jobs().empty()
                         ? tr("The queue is empty: tick titles in the main window and press "
                              "Add to Queue.")
                         : Count(waiting, tr("1 job waits."), tr("%1 jobs wait.")));
}

void QueueWindow::MoveSelected(int step) {
    if (queue_->Move(SelectedId(), step)) Refresh();
}

void QueueWindow::RemoveSelected() {
    if (queue_->Remove(SelectedId())) Refresh();
}

void QueueWindow::ClearEnded() {
    queue_->ClearEnded();
    Refresh();
}

void QueueWindow::StartQueue() {
    if (running_) return;
    running_ = true;
    while (const app::QueuedJob* next = queue_->StartNext()) {
        const int64_t id = next->id;
        const app::ConversionJob job = next->job;
        Refresh();
        const app::QueuedSource source(job);
        if (!source.ok()) {
            reports_[id] = QStringList{Q(source.error())};
            log_->Record(source.error(), false, job.source.path,
                         app::DescribeQueuedJob(*next).title);
            queue_->Finish(id, app::QueueState::kFailed);
            continue;
        }
        ConversionWindow window(source.Ready(job), actions_, this);
        window.SetQueued(true);
        window.SetActivityLog(log_);
        window.Begin();
        window.exec();
        reports_[id] = window.messages();
        const app::QueueState ended = app::QueueEndState(window.result());
        queue_->Finish(id, ended);
        if (ended == app::QueueState::kCancelled) break;
    }
    running_ = false;
    Refresh();
}

}  // namespace rizuvira::ui
