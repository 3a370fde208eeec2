// SPDX-License-Identifier: GPL-2.0-or-later
// The shutdown at the end of a batch waits for its countdown, and Cancel
// stops it; the clock is the test's, and the machine's power stays on (the
// actions are recorded).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ui/shutdown_window.h"
#include "ui_driver.h"

namespace rizuvira::ui {
namespace {

struct RecordedMessages final : core::MessageSink {
    void ShowMessage(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

struct Countdown {
    int64_t now_ms = 0;
    testing::RecordedActions system;
    RecordedMessages messages;
    CountdownActions actions{&system, &messages, [this] { return now_ms; }};

    bool Closed() const { return actions.window() == nullptr || !actions.window()->isVisible(); }
    ShutdownWindow* Open() {
        std::string error;
        EXPECT_TRUE(actions.ShutDown(&error));
        testing::WaitFor([this] { return actions.window() != nullptr; });
        return actions.window();
    }
};

TEST(ShutdownWindowTest, TheMachineShutsDownOnlyWhenTheMinuteIsOver) {
    Countdown countdown;
    ShutdownWindow* window = countdown.Open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(countdown.system.shut_downs, 0);
    EXPECT_EQ(window->findChild<QLabel*>("countdownText")->text(),
              "The computer shuts down in 60 seconds.");

    countdown.now_ms = 59'500;
    window->Tick();
    EXPECT_EQ(countdown.system.shut_downs, 0);
    countdown.now_ms = 60'000;
    window->Tick();
    EXPECT_EQ(countdown.system.shut_downs, 1);
    testing::WaitFor([&countdown] { return countdown.Closed(); });
    EXPECT_TRUE(countdown.messages.texts.empty());
}

TEST(ShutdownWindowTest, CancelKeepsTheMachineRunning) {
    Countdown countdown;
    ShutdownWindow* window = countdown.Open();
    ASSERT_NE(window, nullptr);
    auto* cancel = window->findChild<QPushButton*>("cancelButton");
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    testing::WaitFor([&countdown] { return countdown.Closed(); });
    countdown.now_ms = 120'000;
    QTest::qWait(300);  // the window's timer would have fired by now
    EXPECT_EQ(countdown.system.shut_downs, 0);
}

}  // namespace
}  // namespace rizuvira::ui
