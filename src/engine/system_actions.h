// SPDX-License-Identifier: GPL-2.0-or-later
// The desktop's after-batch actions: a normal (not forced) power-off
// through systemd, and opening a folder in the user's file manager through
// xdg-open. Each waits for its program and fails when the program is
// missing or ends with an error.
#pragma once

#include "engine/run_controller.h"

namespace rizuvira::engine {

class DesktopActions final : public SystemActions {
public:
    bool ShutDown(std::string* error) override;
    bool OpenFolder(const std::filesystem::path& folder, std::string* error) override;
};

}  // namespace rizuvira::engine
