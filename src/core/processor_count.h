// SPDX-License-Identifier: GPL-2.0-or-later
// How many processors this process may keep busy: the ones its CPU affinity
// allows (taskset, a scheduler's cpuset), fewer when its cgroup's CPU quota
// (cgroup v2 cpu.max, here or in a parent group) grants less time than that.
// The machine's core count says neither.
#pragma once

#include <string>

namespace rizuvira::core {

// At least 1.
int UsableProcessorCount();

// The processors a cgroup v2 "cpu.max" text grants ("150000 100000": 2, the
// quota over the period rounded up); 0 for "max" (no limit) or text that is
// not of that form.
int CpuMaxProcessors(const std::string& cpu_max);

}  // namespace rizuvira::core
