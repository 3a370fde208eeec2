// SPDX-License-Identifier: GPL-2.0-or-later
// The filter graph manager: holds the filters of one pipeline, connects them, runs them and
// reports their events. Made by CoCreateInstance(CLSID_FilterGraph) or CreateFilterGraph.
//
// One object answers IFilterGraph/IGraphBuilder (building), IMediaControl (running),
// IMediaEvent/IMediaEventEx (events), IMediaSeeking (positions, forwarded to the renderers
// that can seek, else to the sources), IMediaFilter (clock choice) and IMediaEventSink (the
// filters' events).
//
// Positions: GetCurrentPosition, while the graph plays on a clock, is the position where the
// run or the last seek started plus the stream time since (so it advances during playback);
// without a clock (a conversion) it is what the seeking filters report.
//
// State changes go to the filters downstream first (renderers, then their upstream filters,
// sources last). Pause from Stopped gives every filter the graph's clock: the one set with
// SetSyncSource (null: none, the conversion graph runs as fast as it can), else a clock a filter
// offers (IReferenceClock, normally the audio renderer), else the system's monotonic clock.
// Run starts stream time 0 a moment after the clock's now and resumes where a pause left it;
// a seek restarts it at 0.
//
// Renderers are the filters that say so (IAMFilterMiscFlags) or that have a connected input and
// no connected output. By default the graph turns their EC_COMPLETE into one EC_COMPLETE once
// every renderer has ended; after CancelDefaultHandling(EC_COMPLETE) each renderer's
// EC_COMPLETE is queued as it comes (the filter as param2).
//
// Threads: building and control run on the application thread under the graph lock. Filters
// post events from any thread; posting takes only the event lock, then calls the notification
// callback (SetNotifyCallback) on the posting thread, outside every lock: the callback should
// just hand over to the application's own thread.
#pragma once

#include <functional>
#include <string>

#include "platform/interfaces.h"
#include "platform/seeking.h"

namespace rizuvira::platform {

struct IGraphBuilder : IFilterGraph {
    static constexpr GUID iid = "56A868A9-0AD4-11CE-B03A-0020AF0BA770"_guid;

    // Direct first; else through registered filters that accept the type, which are added to
    // the graph under their registered names.
    virtual HRESULT Connect(IPin* out, IPin* in) = 0;
    // Connects the output pin, through filters already in the graph or registered ones, until
    // every new branch ends in a renderer. VFW_E_CANNOT_RENDER when no way is found.
    virtual HRESULT Render(IPin* out) = 0;
};

using OAFilterState = LONG;  // a FILTER_STATE value

struct IMediaControl : virtual IUnknown {
    static constexpr GUID iid = "56A868B1-0AD4-11CE-B03A-0020AF0BA770"_guid;

    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    // VFW_S_STATE_INTERMEDIATE when a filter has not finished its transition within timeout_ms
    // (negative: wait for ever).
    virtual HRESULT GetState(LONG timeout_ms, OAFilterState* state) = 0;
    // Pauses, waits until every filter has finished pausing, then stops.
    virtual HRESULT StopWhenReady() = 0;
};

struct IMediaEvent : virtual IUnknown {
    static constexpr GUID iid = "56A868B6-0AD4-11CE-B03A-0020AF0BA770"_guid;

    // The next event; E_ABORT when none came within timeout_ms (0: do not wait; negative: wait
    // for ever).
    virtual HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeout_ms) = 0;
    // Waits for EC_COMPLETE, EC_ERRORABORT or EC_USERABORT (without taking it from the queue).
    // E_ABORT on timeout, VFW_E_WRONG_STATE while stopped.
    virtual HRESULT WaitForCompletion(LONG timeout_ms, LONG* code) = 0;
    virtual HRESULT CancelDefaultHandling(LONG code) = 0;
    virtual HRESULT RestoreDefaultHandling(LONG code) = 0;
    virtual HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

inline constexpr LONG AM_MEDIAEVENT_NONOTIFY = 0x01;

struct IMediaEventEx : IMediaEvent {
    static constexpr GUID iid = "56A868C0-0AD4-11CE-B03A-0020AF0BA770"_guid;

    // Called (on the posting thread) each time an event is queued; an empty function clears it.
    virtual HRESULT SetNotifyCallback(std::function<void()> callback) = 0;
    virtual HRESULT SetNotifyFlags(LONG flags) = 0;
    virtual HRESULT GetNotifyFlags(LONG* flags) = 0;
};

inline constexpr const GUID& IID_IGraphBuilder = IGraphBuilder::iid;
inline constexpr const GUID& IID_IMediaControl = IMediaControl::iid;
inline constexpr const GUID& IID_IMediaEvent = IMediaEvent::iid;
inline constexpr const GUID& IID_IMediaEventEx = IMediaEventEx::iid;

// Whether the graph is in (or on its way to) `wanted`, asked with a wait of at
// most timeout_ms; false without a control or when the query fails.
inline bool GraphStateIs(IMediaControl* control, OAFilterState wanted, LONG timeout_ms = 10) {
    OAFilterState state = 0;
    return control && SUCCEEDED(control->GetState(timeout_ms, &state)) && state == wanted;
}

// A new graph manager with one reference, as IUnknown.
HRESULT CreateFilterGraph(IUnknown** graph);

}  // namespace rizuvira::platform
