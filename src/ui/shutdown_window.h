// SPDX-License-Identifier: GPL-2.0-or-later
// Shutting down at the end of a batch, with a chance to stop it: the
// countdown window (a minute, with Cancel), and the after-batch actions of
// the desktop program, which open that window instead of powering off at
// once.
//
// Threads: the user-interface thread.
#pragma once

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>

#include "app/shutdown_countdown.h"
#include "core/messages.h"
#include "engine/run_controller.h"

class QLabel;

namespace rizuvira::ui {

// Says how many seconds are left and offers Cancel; when the time is up it
// calls `shut_down` once and closes. Cancel or closing the window stops the
// countdown.
class ShutdownWindow final : public QDialog {
    Q_OBJECT
public:
    ShutdownWindow(std::unique_ptr<app::ShutdownCountdown> countdown,
                   std::function<void()> shut_down, QWidget* parent = nullptr);

    // Reads the clock: updates the words, or shuts down when due. The
    // window's timer calls it several times a second.
    void Tick();
    const app::ShutdownCountdown& countdown() const { return *countdown_; }
    // Cancel: stops the countdown and closes.
    void reject() override;

private:
    std::unique_ptr<app::ShutdownCountdown> countdown_;
    std::function<void()> shut_down_;
    QLabel* text_ = nullptr;
};

// The after-batch actions of the desktop program: a shutdown opens the
// countdown window and reports success (the shutdown is only scheduled);
// `system` powers off when the countdown runs out, and a failure then goes
// to `messages`. Opening a folder goes straight to `system`.
class CountdownActions final : public engine::SystemActions {
public:
    // `system` and `messages` must outlive this object. `now_ms` is the
    // countdown's clock (a steady clock when empty).
    CountdownActions(engine::SystemActions* system, core::MessageSink* messages,
                     std::function<int64_t()> now_ms = {});
    ~CountdownActions() override;

    bool ShutDown(std::string* error) override;
    bool OpenFolder(const std::filesystem::path& folder, std::string* error) override;

    // The countdown window while it is open, else null.
    ShutdownWindow* window() const { return window_; }

private:
    void OpenWindow();

    engine::SystemActions* const system_;
    core::MessageSink* const messages_;
    std::function<int64_t()> now_ms_;
    QPointer<ShutdownWindow> window_;
};

}  // namespace rizuvira::ui
