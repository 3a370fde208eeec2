// SPDX-License-Identifier: GPL-2.0-or-later
// Where the engine's user-facing messages go: the fixed texts that the GUI
// shows in a message box and the command line prints to standard error.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace rizuvira::core {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const std::string& text) = 0;
    // Something went wrong that the run got past (a damaged stretch left
    // out); shown as a message unless the sink tells warnings apart.
    virtual void ShowWarning(const std::string& text) { ShowMessage(text); }
};

// Prints each message on its own line (the command line's sink).
class StderrMessages final : public MessageSink {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

// Keeps the messages (tests, and callers that report them later).
class CollectedMessages final : public MessageSink {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

}  // namespace rizuvira::core
