// What the two preview graphs (the main window's player and the editor's
// graph) do alike once built: run, pause and stop the graph, ask its state,
// seek and read the position through the splitter, and list or switch the
// splitter's streams. The owner builds the graph and sets the three handles.
//
// Threads: the owner's (the user-interface thread).
#pragma once

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
    GraphPlayback() = default;
    ~GraphPlayback() = default;

    ComPtr<IMediaControl> control_;
    ComPtr<IMediaSeeking> seeking_;
    ComPtr<IBaseFilter> splitter_;
};

// Takes every event queued on `events` (none when null); true when the end of
// the streams was among them.
bool TakeEventsUntilComplete(IMediaEventEx* events);

}  // namespace rizuvira::engine
