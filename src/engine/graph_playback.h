// SPDX-License-Identifier: GPL-2.0-or-later
// What the two preview graphs (the main window's player and the editor's
// graph) do alike: make the graph and its source chain (PreviewSource), run,
// pause and stop it, ask its state, seek and read the position, list or
// switch the splitter's streams, and take the graph apart. The owner adds
// the rest of its filters and joins them.
//
// Threads: the owner's (the user-interface thread).
#pragma once

#include <functional>
#include <string>

#include "core/messages.h"
#include "engine/preview_source.h"
#include "platform/filter_graph.h"
#include "platform/seeking.h"

namespace rizuvira::engine {

struct StreamInfoList;

class GraphPlayback {
public:
    int Play();   // runs unless running; 1
    int Pause();  // pauses unless paused; 1
    int Stop();   // stops unless stopped; 1
    bool IsRunning();
    bool IsPaused();
    bool IsStopped();

    // Seconds; false (and the output untouched) without a graph or when the query fails.
    bool GetPlayDuration(double* seconds);
    bool GetPlayPosition(double* seconds);
    // Moves the current position to trunc(seconds × 10^7) in 100 ns, absolute; the stop
    // position stays.
    bool SeekTo(double seconds);

    bool ListStreams(StreamInfoList* list);
    bool EnableStream(int index, bool enable);

protected:
    // `messages` (may be null) receives the failure texts; it must outlive this object.
    explicit GraphPlayback(core::MessageSink* messages);
    ~GraphPlayback() = default;

    // Shows `message`; false.
    bool Fail(const std::string& message);

    // Makes the graph and its controls, in media time. `notify` (may be empty) is called on
    // a graph thread whenever an event is queued; end of stream keeps the graph's default
    // handling: one EC_COMPLETE once every renderer (pictures and sound) has finished.
    bool CreateGraph(std::function<void()> notify);
    // Stops the graph and its notifications: the first step of closing.
    void StopGraph();
    // Takes every filter out of the graph, including what automatic rendering added, and
    // lets go of the graph, its controls and the source chain.
    void ReleaseGraph();

    core::MessageSink* const messages_;
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaEventEx> events_;
    ComPtr<IMediaSeeking> seeking_;
    PreviewSource source_;
};

// Takes every event queued on `events` (none when null); true when the end of
// the streams was among them.
bool TakeEventsUntilComplete(IMediaEventEx* events);

}  // namespace rizuvira::engine
