// SPDX-License-Identifier: GPL-2.0-or-later
// The main window's jobs and their record: the job Start and Add to Queue
// make of the checked rows, Add to Queue beside Start, the Queue button among
// the tools, the queue window they lead to, the conversion options, and the
// activity log window.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "app/conversion_ending.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/options_window.h"
#include "ui/qt_helpers.h"
#include "ui/queue_window.h"
#include "ui/skin_layout.h"
#include "ui/skin_widgets.h"

namespace rizuvira::ui {

void MainWindow::BuildQueueControls() {
    namespace layout = skin::main_window;
    auto* open = new SkinButton("queue.png", layout::kButtons, this);
    open->setObjectName("queueButton");
    connect(open, &QPushButton::clicked, this, &MainWindow::OpenQueue);
    auto* add = new SkinButton("addqueue.png", layout::kButtons, this);
    add->setObjectName("addQueueButton");
    connect(add, &QPushButton::clicked, this, &MainWindow::AddToQueue);
}

bool MainWindow::MakeJob(engine::OverwritePolicy overwrite, app::ConversionJob* job) {
    if (!session_.RequireProfile()) return false;
    if (!session_.AcceptOutputFolder(output_->text().toStdString())) return false;
    if (!session_.has_disc() || session_.row_count() == 0) return false;
    app::JobChoices choices;
    choices.output_folder = output_->text().toStdString();
    choices.overwrite = overwrite;
    choices.merge = merge_->isChecked();
    int unreadable = 0;
    *job = session_.MakeJob(choices, &unreadable);
    if (job->items.empty()) {
        if (unreadable == 0) messages_->ShowMessage(app::kPleaseSelectOne);
        return false;
    }
    return true;
}

void MainWindow::AddToQueue() {
    // The queue runs unattended: a file that exists is kept, and its job
    // fails saying so, rather than waiting for an answer.
    app::ConversionJob job;
    if (!MakeJob(engine::OverwritePolicy::kRefuse, &job)) return;
    const int added = queue_.Add(job);
    ShowStatus(Count(added, tr("1 job added to the queue"), tr("%1 jobs added to the queue")),
               true);
}

void MainWindow::OpenQueue() {
    StopPreview();
    QueueWindow window(&queue_, actions_, &activity_, this);
    window.exec();
}

void MainWindow::OpenOptions() {
    std::vector<std::string> sound;
    if (session_.has_disc())
        for (const dvd::StreamEntry& entry : session_.catalogue().audio_list())
            sound.push_back(entry.text);
    const int row = session_.selected_row();
    OptionsWindow window(&options_, sound, app::ChapterCount(session_, row), this);
    if (window.exec() != QDialog::Accepted) return;
    app::ApplyConversionOptions(options_, &session_);
    if (window.chapters_chosen() &&
        app::TrimToChapters(&session_, row, window.first_chapter(), window.last_chapter()) &&
        root_ != nullptr && row < root_->childCount())
        root_->child(row)->setText(2, Q(session_.row(row).trimmed_length));
}

void MainWindow::ShowActivityLog() {
    LogWindow window(activity_, this);
    window.exec();
}

}  // namespace rizuvira::ui
