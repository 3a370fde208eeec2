// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/processor_count.h"

#include <sched.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace rizuvira::core {
namespace {

int AffinityCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return CPU_COUNT(&set);
    return static_cast<int>(std::thread::hardware_concurrency());
}

// The smallest quota of this process's cgroup and its parents; 0 when none
// is set or cgroup v2 is not mounted.
int CgroupQuota() {
    std::ifstream cgroups("/proc/self/cgroup");
    std::string line, group;
    while (std::getline(cgroups, line))
        if (line.rfind("0::", 0) == 0) group = line.substr(3);
    if (group.empty() || group[0] != '/') return 0;
    int smallest = 0;
    for (std::filesystem::path path = group;; path = path.parent_path()) {
        std::ifstream file("/sys/fs/cgroup" / path.relative_path() / "cpu.max");
        std::string text;
        if (std::getline(file, text)) {
            const int granted = CpuMaxProcessors(text);
            if (granted > 0 && (smallest == 0 || granted < smallest)) smallest = granted;
        }
        if (!path.has_relative_path()) break;
    }
    return smallest;
}

}  // namespace

int CpuMaxProcessors(const std::string& cpu_max) {
    std::istringstream in(cpu_max);
    long long quota = 0, period = 0;
    if (!(in >> quota >> period) || quota <= 0 || period <= 0) return 0;
    return static_cast<int>(std::max(1LL, (quota + period - 1) / period));
}

int UsableProcessorCount() {
    int count = AffinityCount();
    const int quota = CgroupQuota();
    if (quota > 0) count = std::min(count, quota);
    return std::max(1, count);
}

}  // namespace rizuvira::core
