// SPDX-License-Identifier: GPL-2.0-or-later
// The streaming interfaces: samples, allocators, pins, filters, clocks and the graph as
// filters see it. Declarations only; the base classes implementing them live in
// media_sample.h, base_pin.h, input_pin.h, output_pin.h, base_filter.h, reference_clock.h and
// filter_graph.h.
//
// Ownership rules, as in every COM-style interface here:
//  - an interface pointer passed *in* is borrowed for the call;
//  - an interface pointer passed *out* (T** out) carries one new reference for the caller
//    (take it with ComPtr<T>::Adopt or pass ComPtr::ReleaseAndGetAddressOf());
//  - text is UTF-8 std::string; media types are passed in as const AM_MEDIA_TYPE* and out as
//    CMediaType.
#pragma once

#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/media_type.h"

namespace rizuvira::platform {

struct IBaseFilter;
struct IFilterGraph;
struct IMemAllocator;
struct IPin;
struct IReferenceClock;
class CAMEvent;

// ---------------------------------------------------------------------------------------
// Samples and allocators

// A buffer of media data with its times and flags. Samples come from an IMemAllocator; the
// last Release returns the sample to its allocator (the buffer is not freed).
struct IMediaSample : virtual IUnknown {
    static constexpr GUID iid = "56A8689A-0AD4-11CE-B03A-0020AF0BA770"_guid;

    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual LONG GetSize() = 0;  // capacity of the buffer in bytes
    // Start and stop in 100 ns. VFW_E_SAMPLE_TIME_NOT_SET without times; VFW_S_NO_STOP_TIME
    // when only the start is set (the stop is then start + 1).
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
    // Null start clears both times; null stop sets the start alone.
    virtual HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) = 0;
    virtual HRESULT IsSyncPoint() = 0;  // S_OK or S_FALSE
    virtual HRESULT SetSyncPoint(BOOL sync_point) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(BOOL preroll) = 0;
    virtual LONG GetActualDataLength() = 0;
    // VFW_E_BUFFER_OVERFLOW when length exceeds GetSize().
    virtual HRESULT SetActualDataLength(LONG length) = 0;
    // S_FALSE (and an empty type) when no type change is attached.
    virtual HRESULT GetMediaType(CMediaType* type) = 0;
    // Attaches a type change; null clears it.
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL discontinuity) = 0;
    virtual HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;  // VFW_E_MEDIA_TIME_NOT_SET
    virtual HRESULT SetMediaTime(const LONGLONG* start, const LONGLONG* stop) = 0;
};

// The field structure of an uncompressed video picture, as its decoder knows it from the
// coded stream. CMediaSample answers it; a sample without it (or whose flags were never set)
// says nothing about its fields. The flags are cleared when the sample goes back to its
// allocator.
struct IMediaSampleVideoFlags : virtual IUnknown {
    static constexpr GUID iid = "3E7B4C51-2B0D-4B57-9D11-6A0C2E4F8A21"_guid;

    // S_FALSE (and 0) when no flags were set.
    virtual HRESULT GetVideoFlags(DWORD* flags) = 0;
    virtual HRESULT SetVideoFlags(DWORD flags) = 0;
};

// IMediaSampleVideoFlags bits (the values of the original's AM_VIDEO_FLAG_*).
inline constexpr DWORD AM_VIDEO_FLAG_FIELD1FIRST = 0x0004;   // top field first
inline constexpr DWORD AM_VIDEO_FLAG_WEAVE = 0x0008;         // a progressive picture
inline constexpr DWORD AM_VIDEO_FLAG_REPEAT_FIELD = 0x0040;  // shows its first field again

struct ALLOCATOR_PROPERTIES {
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
};

// GetBuffer flags.
inline constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
inline constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
inline constexpr DWORD AM_GBF_NOWAIT = 4;

struct IMemAllocator : virtual IUnknown {
    static constexpr GUID iid = "56A8689C-0AD4-11CE-B03A-0020AF0BA770"_guid;

    // `actual` receives what the allocator granted (it may round up).
    virtual HRESULT SetProperties(const ALLOCATOR_PROPERTIES* request,
                                  ALLOCATOR_PROPERTIES* actual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) = 0;
    virtual HRESULT Commit() = 0;
    // Blocked GetBuffer calls return VFW_E_NOT_COMMITTED; buffers out are freed as they return.
    virtual HRESULT Decommit() = 0;
    // Blocks until a buffer is free (unless AM_GBF_NOWAIT: VFW_E_TIMEOUT). `start`/`stop` are
    // hints and may be null.
    virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                              DWORD flags) = 0;
    // Called by a sample whose last reference went away.
    virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

// ---------------------------------------------------------------------------------------
// Pins

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct PIN_INFO {
    ComPtr<IBaseFilter> pFilter;
    PIN_DIRECTION dir = PINDIR_INPUT;
    std::string achName;
};

struct IPin : virtual IUnknown {
    static constexpr GUID iid = "56A86891-0AD4-11CE-B03A-0020AF0BA770"_guid;

    // Called on an output pin: connect to `receive_pin` with `type` (null or partial: the
    // two pins negotiate; see CBasePin::Connect).
    virtual HRESULT Connect(IPin* receive_pin, const AM_MEDIA_TYPE* type) = 0;
    // Called by the connecting pin on the input pin.
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
    // Breaks this side of the connection (the caller breaks the other side); S_FALSE when
    // not connected.
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;                // VFW_E_NOT_CONNECTED
    virtual HRESULT ConnectionMediaType(CMediaType* type) = 0;  // VFW_E_NOT_CONNECTED
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
    virtual HRESULT QueryId(std::string* id) = 0;
    // S_OK when the pin would accept the type, else S_FALSE.
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* type) = 0;
    // The pin's preferred types in order.
    virtual HRESULT EnumMediaTypes(std::vector<CMediaType>* types) = 0;
    // Downstream stream control, called by the upstream pin on an input pin.
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

// The push transport of an input pin.
struct IMemInputPin : virtual IUnknown {
    static constexpr GUID iid = "56A8689D-0AD4-11CE-B03A-0020AF0BA770"_guid;

    virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL read_only) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) = 0;  // E_NOTIMPL = none
    // The callee AddRefs the sample if it keeps it past the call.
    virtual HRESULT Receive(IMediaSample* sample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;  // S_OK: Receive may block
};

// ---------------------------------------------------------------------------------------
// Clocks

struct IReferenceClock : virtual IUnknown {
    static constexpr GUID iid = "56A86897-0AD4-11CE-B03A-0020AF0BA770"_guid;

    virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
    // Sets `event` once the clock reaches base + stream; `cookie` identifies the request.
    virtual HRESULT AdviseTime(REFERENCE_TIME base, REFERENCE_TIME stream, CAMEvent* event,
                               DWORD_PTR* cookie) = 0;
    // Sets `event` at start, start + period, ... until Unadvise.
    virtual HRESULT AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period, CAMEvent* event,
                                   DWORD_PTR* cookie) = 0;
    virtual HRESULT Unadvise(DWORD_PTR cookie) = 0;
};

// ---------------------------------------------------------------------------------------
// Filters

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

struct FILTER_INFO {
    std::string achName;
    ComPtr<IFilterGraph> pGraph;
};

struct IMediaFilter : virtual IUnknown {
    static constexpr GUID iid = "56A86899-0AD4-11CE-B03A-0020AF0BA770"_guid;

    virtual HRESULT GetClassID(CLSID* clsid) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    // `start` is the reference time at which stream time 0 falls.
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    // VFW_S_STATE_INTERMEDIATE when a transition has not completed within timeout_ms.
    virtual HRESULT GetState(DWORD timeout_ms, FILTER_STATE* state) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;  // null: run without a clock
    virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

struct IBaseFilter : IMediaFilter {
    static constexpr GUID iid = "56A86895-0AD4-11CE-B03A-0020AF0BA770"_guid;

    virtual HRESULT EnumPins(std::vector<ComPtr<IPin>>* pins) = 0;
    virtual HRESULT FindPin(const std::string& id, IPin** pin) = 0;  // VFW_E_NOT_FOUND
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    // The graph calls this when the filter enters it (graph non-null) and leaves it (null).
    // The filter keeps a plain pointer (no reference) to the graph.
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) = 0;
};

// A filter that is a renderer says so here (the graph counts renderers' EC_COMPLETE).
inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_RENDERER = 0x1;
inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_SOURCE = 0x2;

struct IAMFilterMiscFlags : virtual IUnknown {
    static constexpr GUID iid = "2DD74950-A890-11D1-ABE8-00A0C905F375"_guid;
    virtual ULONG GetMiscFlags() = 0;
};

// ---------------------------------------------------------------------------------------
// The graph as seen by filters

struct IFilterGraph : virtual IUnknown {
    static constexpr GUID iid = "56A8689F-0AD4-11CE-B03A-0020AF0BA770"_guid;

    // The graph keeps a reference on the filter. An empty or taken name is made unique.
    virtual HRESULT AddFilter(IBaseFilter* filter, const std::string& name) = 0;
    // Disconnects the filter's pins and drops the graph's reference.
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(std::vector<ComPtr<IBaseFilter>>* filters) = 0;
    virtual HRESULT FindFilterByName(const std::string& name, IBaseFilter** filter) = 0;
    // Connects exactly these two pins (no intermediate filters).
    virtual HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) = 0;
    // Disconnects one side; call it for both pins.
    virtual HRESULT Disconnect(IPin* pin) = 0;
    // Back to automatic clock choice (a filter's clock, else the system clock).
    virtual HRESULT SetDefaultSyncSource() = 0;
};

// Event codes.
inline constexpr LONG EC_COMPLETE = 0x01;
inline constexpr LONG EC_USERABORT = 0x02;
inline constexpr LONG EC_ERRORABORT = 0x03;
inline constexpr LONG EC_TIME = 0x04;
inline constexpr LONG EC_REPAINT = 0x05;
inline constexpr LONG EC_STREAM_ERROR_STOPPED = 0x06;
inline constexpr LONG EC_STREAM_ERROR_STILLPLAYING = 0x07;
inline constexpr LONG EC_ERROR_STILLPLAYING = 0x08;
inline constexpr LONG EC_VIDEO_SIZE_CHANGED = 0x0A;
inline constexpr LONG EC_QUALITY_CHANGE = 0x0B;
inline constexpr LONG EC_SHUTTING_DOWN = 0x0C;
inline constexpr LONG EC_CLOCK_CHANGED = 0x0D;
inline constexpr LONG EC_PAUSED = 0x0E;

// Filters post events to the graph through this (any thread).
struct IMediaEventSink : virtual IUnknown {
    static constexpr GUID iid = "56A868A2-0AD4-11CE-B03A-0020AF0BA770"_guid;
    virtual HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

// ---------------------------------------------------------------------------------------
// Quality messages (a renderer telling its upstream it is late). The pins accept them; no
// filter of this pipeline acts on them.

enum QualityMessageType { Famine = 0, Flood = 1 };

struct Quality {
    QualityMessageType Type;
    LONG Proportion;  // 1000 = on time
    REFERENCE_TIME Late;
    REFERENCE_TIME TimeStamp;
};

struct IQualityControl : virtual IUnknown {
    static constexpr GUID iid = "56A868A5-0AD4-11CE-B03A-0020AF0BA770"_guid;
    virtual HRESULT Notify(IBaseFilter* sender, Quality quality) = 0;
    virtual HRESULT SetSink(IQualityControl* sink) = 0;
};

inline constexpr const GUID& IID_IMediaSample = IMediaSample::iid;
inline constexpr const GUID& IID_IQualityControl = IQualityControl::iid;
inline constexpr const GUID& IID_IMemAllocator = IMemAllocator::iid;
inline constexpr const GUID& IID_IPin = IPin::iid;
inline constexpr const GUID& IID_IMemInputPin = IMemInputPin::iid;
inline constexpr const GUID& IID_IReferenceClock = IReferenceClock::iid;
inline constexpr const GUID& IID_IMediaFilter = IMediaFilter::iid;
inline constexpr const GUID& IID_IBaseFilter = IBaseFilter::iid;
inline constexpr const GUID& IID_IFilterGraph = IFilterGraph::iid;
inline constexpr const GUID& IID_IMediaEventSink = IMediaEventSink::iid;

}  // namespace rizuvira::platform
