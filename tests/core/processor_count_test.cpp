// SPDX-License-Identifier: GPL-2.0-or-later
// The processors a process may use: its affinity and its cgroup's quota.
#include <gtest/gtest.h>

#include <sched.h>

#include "core/processor_count.h"

namespace rizuvira::core {
namespace {

TEST(ProcessorCountTest, AffinityLimitsTheCount) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof(all), &all), 0);
    EXPECT_LE(UsableProcessorCount(), CPU_COUNT(&all));
    // As `taskset -c N` starts a program.
    int first = 0;
    while (!CPU_ISSET(first, &all)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof(one), &one), 0);
    const int count = UsableProcessorCount();
    sched_setaffinity(0, sizeof(all), &all);
    EXPECT_EQ(count, 1);
}

TEST(ProcessorCountTest, CgroupQuotaRoundsUpAndMaxIsNoLimit) {
    EXPECT_EQ(CpuMaxProcessors("400000 100000"), 4);
    EXPECT_EQ(CpuMaxProcessors("150000 100000\n"), 2);
    EXPECT_EQ(CpuMaxProcessors("50000 100000"), 1) << "half a processor still needs a thread";
    EXPECT_EQ(CpuMaxProcessors("max 100000"), 0);
    EXPECT_EQ(CpuMaxProcessors(""), 0);
}

}  // namespace
}  // namespace rizuvira::core
