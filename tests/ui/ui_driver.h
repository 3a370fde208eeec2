// SPDX-License-Identifier: GPL-2.0-or-later
// Driving the real windows in tests and in the screenshot tool: waiting for
// a condition while the event loop runs, clicking a row's check mark,
// answering the modal windows a command opens, and reading the frame number
// that the sample discs draw into every picture from a grabbed widget.
#pragma once

#include <QApplication>
#include <QImage>
#include <QString>
#include <QTreeWidget>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <memory>
#include "engine/run_controller.h"

namespace rizuvira::ui {
class PreviewSurface;
}

namespace rizuvira::ui::testing {

// The after-batch actions, recorded instead of carried out.
class RecordedActions final : public engine::SystemActions {
public:
    bool ShutDown(std::string*) override {
        ++shut_downs;
        return true;
    }
    bool OpenFolder(const std::filesystem::path& folder, std::string*) override {
        opened.push_back(folder);
        return true;
    }
    int shut_downs = 0;
    std::vector<std::filesystem::path> opened;
};

// Runs the event loop until `done` holds.
void WaitFor(const std::function<bool()>& done);

// Clicks the check mark of `item` with the mouse.
void ClickCheckMark(QTreeWidget* tree, QTreeWidgetItem* item);

// While alive, calls `answer` with each new top-level dialog whose object
// name or class name is `name` once it is shown (a modal window a click opens).
class DialogWatch {
public:
    DialogWatch(const QString& name, std::function<void(QWidget*)> answer);
    ~DialogWatch();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The frame number in the picture the surface shows now, read from a grab of
// the widget (-1 when unreadable). Pictures are 720 x `source_height`.
int FrameNumberShown(PreviewSurface* surface, int source_height);

}  // namespace rizuvira::ui::testing
