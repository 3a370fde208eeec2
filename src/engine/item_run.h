// Runs one built-and-opened conversion item to its end: selects the streams,
// runs the graph, waits for the sink's completion (or an abort or a cancel),
// and stops and tears the graph down. The output file stays open, so merged
// items can follow; the caller closes it.
//
// Threads: the caller's (application) thread; graph events are waited for
// on a condition variable that the graph's notification wakes.
#pragma once

#include <atomic>
#include <functional>

#include "engine/conversion_graph.h"

namespace rizuvira::engine {

// kEncrypted: the title's data turned out scrambled (the message has been
// shown), during the build or while running.
enum class ItemRunResult { kDone, kFailed, kCancelled, kEncrypted };

struct ItemRunRequest {
    MessageSink* messages = nullptr;  // where an encrypted title is reported while running
    int32_t dvd_handle = 0;
    int title = 0;
    int chapter = -1;
    ConvertItem item{};
    int audio_key = 0;      // 0: the splitter's own choice
    int subtitle_key = -1;  // -1: no subtitle
    const std::atomic<bool>* cancel = nullptr;  // set by another thread or a signal handler
    // Called about five times a second with the seconds converted so far.
    std::function<void(double converted_seconds)> progress;
};

// Builds the graph of the item on `graph` (whose output must be open) and
// runs it. kFailed when the build fails (its message has been shown) or the
// graph aborts.
ItemRunResult RunItem(ConversionGraph& graph, const ItemRunRequest& request);

}  // namespace rizuvira::engine
