// SPDX-License-Identifier: GPL-2.0-or-later
// The conversion window: runs a conversion job (app::ConversionRun) as its
// Qt host. Starting an item and handling the graph's events are queued calls
// to this window's thread; a 200 ms timer ticks the progress. It shows the
// live picture, the item and batch bars, the elapsed and remaining time and
// the converted length, and offers Pause/Continue, Cancel, close and the two
// after-action boxes. A failed item's message is listed in the window and the
// batch goes on. At the end (also after a cancel that left files) the
// finished window says how the batch ended, and the window closes.
//
// Threads: the user-interface thread; PostGraphEvents from graph threads.
#pragma once

#include <QDialog>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/activity_log.h"
#include "app/conversion_ending.h"
#include "app/conversion_job.h"
#include "app/conversion_run.h"
#include "engine/run_controller.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace rizuvira::ui {

class MessageList;
class PreviewSurface;
class SkinButton;
class SkinProgress;

class ConversionWindow final : public QDialog, public engine::RunHost, public core::MessageSink {
    Q_OBJECT
public:
    // `actions` must outlive the window, and the job's disc must stay open
    // while it runs.
    ConversionWindow(app::ConversionJob job, engine::SystemActions* actions,
                     QWidget* parent = nullptr);
    ~ConversionWindow() override;

    // Starts the batch; call once, then exec() (or show()). Under the
    // overwrite policy kAsk, `confirm_overwrite` answers for every file that
    // exists.
    void Begin(std::function<bool(const std::filesystem::path&)> confirm_overwrite = {});

    engine::RunController& controller() { return run_->controller(); }
    PreviewSurface* preview() { return preview_; }
    // The messages the batch showed, in order.
    const QStringList& messages() const { return messages_; }
    // A job of the queue: the window closes at the end without the finished
    // window (the queue shows how the job ended). Call before Begin.
    void SetQueued(bool queued) { queued_ = queued; }
    // The run's messages are recorded in `log` too (may be null), with the
    // disc and the title of the item they came from. Call before Begin.
    void SetActivityLog(app::ActivityLog* log) { activity_ = log; }
    // How the batch ended, once the window has closed.
    const app::RunResult& result() const { return result_; }

    // RunHost
    void PostStartItem() override;
    void PostGraphEvents() override;
    void BatchEnded() override;
    // MessageSink: the engine's messages during the run: why an item
    // failed, and what an item that converted lost on the way.
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;

signals:
    // The finished window is about to be shown (it is a child of this one).
    void finishedShown(QDialog* finished);

protected:
    void reject() override;

private:
    void Tick();
    void ShowProgress(const engine::RunProgress& progress);
    void PauseOrContinue();
    void Finish();
    void AddMessage(const QString& text, bool warning);

    std::string disc_path_;  // the job's source, for the log; set before run_ takes the job
    std::unique_ptr<app::ConversionRun> run_;
    QTimer timer_;
    QStringList messages_;
    bool finishing_ = false;
    bool queued_ = false;
    app::RunResult result_;
    app::ActivityLog* activity_ = nullptr;

    QLabel* file_ = nullptr;
    PreviewSurface* preview_ = nullptr;
    SkinProgress* item_bar_ = nullptr;
    SkinProgress* batch_bar_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QLabel* remaining_ = nullptr;
    QLabel* position_ = nullptr;
    QCheckBox* show_preview_ = nullptr;
    QCheckBox* shut_down_ = nullptr;
    QCheckBox* open_folder_ = nullptr;
    MessageList* log_ = nullptr;
    SkinButton* pause_ = nullptr;
    SkinButton* continue_ = nullptr;
    SkinButton* cancel_ = nullptr;
    SkinButton* close_ = nullptr;
};

}  // namespace rizuvira::ui
