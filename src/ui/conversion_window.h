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

    std::unique_ptr<app::ConversionRun> run_;
    QTimer timer_;
    QStringList messages_;
    bool finishing_ = false;

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
