// SPDX-License-Identifier: GPL-2.0-or-later
// Fuzz target for the queue file: the bytes are read as a queue; a queue that
// reads must write back to text that reads as the same queue.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/job_queue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rizuvira::app;
    std::vector<QueuedJob> jobs;
    std::string error;
    if (!ReadQueueText(std::string_view(reinterpret_cast<const char*>(data), size), &jobs,
                       &error)) {
        if (!jobs.empty() || error.empty())
            std::abort();  // a refused file gives no jobs, and a reason
        return 0;
    }
    std::vector<QueuedJob> again;
    if (!ReadQueueText(WriteQueueText(jobs), &again, &error) || again != jobs) std::abort();
    return 0;
}
