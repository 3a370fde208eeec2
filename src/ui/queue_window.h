// SPDX-License-Identifier: GPL-2.0-or-later
// The queue window: the jobs lined up with "Add to Queue" (disc, title,
// profile, output file, state), with buttons that move a waiting job up or
// down, remove a job that is not running, clear the ended ones and start
// the queue. The queue runs its waiting jobs one after the other, each
// through the conversion window, until none waits or one is cancelled. The
// rules are app::JobQueue's; this window lists and forwards.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <map>

#include "app/activity_log.h"
#include "app/job_queue.h"
#include "engine/run_controller.h"

class QLabel;
class QTreeWidget;

namespace rizuvira::ui {

class SkinButton;

class QueueWindow final : public QDialog {
    Q_OBJECT
public:
    // `queue`, `actions` and `log` (the jobs' messages are recorded there)
    // must outlive the window.
    QueueWindow(app::JobQueue* queue, engine::SystemActions* actions, app::ActivityLog* log,
                QWidget* parent = nullptr);

    // The buttons' commands.
    void MoveSelected(int step);
    void RemoveSelected();
    void ClearEnded();
    // Runs the waiting jobs; returns when the queue has stopped.
    void StartQueue();

    bool running() const { return running_; }

private:
    void Refresh();
    int64_t SelectedId() const;

    app::JobQueue* const queue_;
    engine::SystemActions* const actions_;
    app::ActivityLog* const log_;
    bool running_ = false;
    // What each job's run reported, shown as its row's tooltip.
    std::map<int64_t, QStringList> reports_;

    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    SkinButton* up_ = nullptr;
    SkinButton* down_ = nullptr;
    SkinButton* remove_ = nullptr;
    SkinButton* clear_ = nullptr;
    SkinButton* start_ = nullptr;
};

}  // namespace rizuvira::ui
