// The desktop's after-batch actions: a normal (not forced) power-off
// through systemd, and opening a folder in the user's file manager.
#pragma once

#include "engine/run_controller.h"

namespace rizuvira::engine {

class DesktopActions final : public SystemActions {
public:
    void ShutDown() override;
    void OpenFolder(const std::filesystem::path& folder) override;
};

}  // namespace rizuvira::engine
