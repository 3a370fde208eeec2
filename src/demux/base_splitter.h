// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseSplitterFilter: the splitter's general machinery. One pull-model input pin; output pins
// keyed by stream key, each with its own queue and delivery thread; a demultiplexing thread
// (the CAMThread) that positions the source, starts a segment on every connected output and
// runs the format's delivery loop; seeking (media time only), queue statistics and loading
// a file by name.
//
// A format (CMpegSplitterFilter) supplies BuildOutputPins, PrepareDelivery, PositionForTime
// and DeliveryLoop; the loop hands packets to RoutePacket.
//
// Locks and threads:
//  - lock_ (the filter lock) serialises state changes, connection and seeking on the
//    application thread. The demultiplexing and delivery threads never take it, so a seek
//    may hold it while it waits for the demultiplexing thread.
//  - map_mutex_ guards the pin map, the pending media types and the output pin list as the
//    demultiplexing thread reads them.
//  - positions_mutex_ guards the positions and the rate.
//  - flow_mutex_/flow_changed_ carry the flow control: the demultiplexing thread waits there
//    while the queues are full; delivery threads, flushes and commands wake it.
//  - command_mutex_/command_changed_ let the demultiplexing thread wait for a command
//    instead of sleeping.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "demux/demux_types.h"
#include "demux/splitter_output_pin.h"
#include "platform/am_thread.h"
#include "platform/async_reader.h"
#include "platform/base_filter.h"
#include "platform/base_pin.h"
#include "platform/seeking.h"

namespace rizuvira::demux {

class CBaseSplitterFilter;

// The input pin ("Input"): accepts any type from a peer that offers IAsyncReader.
class CBaseSplitterInputPin final : public CBasePin {
public:
    CBaseSplitterInputPin(CBaseSplitterFilter* filter, CCritSec* lock, HRESULT* hr);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CheckConnect(IPin* pin) override;  // E_NOINTERFACE without IAsyncReader
    HRESULT CompleteConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    // A pull pin receives no stream control.
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

    IAsyncReader* Reader() const { return reader_.Get(); }

private:
    CBaseSplitterFilter* const splitter_;
    ComPtr<IAsyncReader> reader_;
};

class CBaseSplitterFilter : public CBaseFilter,
                            protected CAMThread,
                            public IFileSourceFilter,
                            public IMediaSeeking,
                            public IKeyFrameInfo,
                            public IBufferInfo {
public:
    CBaseSplitterFilter(const char* object_name, IUnknown* outer, HRESULT* hr, const CLSID& clsid);
    ~CBaseSplitterFilter() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;

    HRESULT Stop() override;
    HRESULT Pause() override;

    // IFileSourceFilter: opens the file with CAsyncFileReader and builds the pins from it.
    HRESULT Load(const std::string& file_name, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(std::string* file_name, CMediaType* type) override;

    // IMediaSeeking (capabilities 0x37, media time only).
    HRESULT GetCapabilities(DWORD* capabilities) override;
    HRESULT CheckCapabilities(DWORD* capabilities) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT QueryPreferredFormat(GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT IsUsingTimeFormat(const GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                              const GUID* source_format) override;
    HRESULT SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                         DWORD stop_flags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    HRESULT GetPreroll(LONGLONG* preroll) override;

    // The same seek arriving through several output pins makes one seek: `caller` names
    // the pin (or the filter) it came through.
    HRESULT SetPositionsFrom(const void* caller, LONGLONG* current, DWORD current_flags,
                             LONGLONG* stop, DWORD stop_flags);

    // IKeyFrameInfo: not available.
    HRESULT GetKeyFrameCount(uint32_t* count) override;
    HRESULT GetKeyFrames(const GUID* format, REFERENCE_TIME* frames, uint32_t* count) override;

    // IBufferInfo
    int GetCount() override;
    HRESULT GetStatus(int index, int* packets, int* bytes) override;
    DWORD GetPriority() override { return 0; }

    // Called by the input pin.
    HRESULT CompleteInputConnect(IAsyncReader* reader);
    HRESULT BreakInputConnect();

    // Called by the output pins' delivery threads and flushes: queue space may have appeared.
    void NotifyFlow();
    // Called by a delivery thread that took a packet, leaving `packets_left` packets of
    // `bytes_left` bytes in its queue. Wakes a waiting demultiplexing thread when the queue
    // has run short, else once every kFlowBatch packets, not for each one.
    void NotifyFlowAfterTake(size_t packets_left, int64_t bytes_left);
    // Demultiplexing thread, before it stops reading (a wait, a command, the end): wakes
    // the delivery threads for what they have not been woken for yet.
    void WakeDeliveries();
    double Rate();

    // The offset by which the video pin's timestamp smoothing moves the time line, so that
    // the sparse subpicture stream follows it instead of smoothing its own gaps away.
    void PublishTimeOffset(REFERENCE_TIME offset) { published_offset_ = offset; }
    REFERENCE_TIME PublishedTimeOffset() const { return published_offset_.load(); }

protected:
    enum Command : DWORD { kCommandExit = 0, kCommandSeek = 1 };

    // The format's parts.
    virtual HRESULT BuildOutputPins(IAsyncReader* reader) = 0;
    virtual void ReleaseParser() = 0;
    virtual HRESULT PrepareDelivery() = 0;
    virtual void PositionForTime(REFERENCE_TIME t) = 0;
    virtual void DeliveryLoop() = 0;

    // Adds an output pin for the stream key (the filter owns it).
    void AddOutputPin(uint32_t key, std::unique_ptr<CBaseSplitterOutputPin> pin);
    void DeleteOutputs();
    // The pin that carries `key` (null: none), and the key a pin carries.
    CBaseSplitterOutputPin* PinForKey(uint32_t key);
    bool KeyOfPin(const CBaseSplitterOutputPin* pin, uint32_t* key);
    // True when a connected pin carries the key.
    bool HasConnectedPin(uint32_t key);
    std::vector<CBaseSplitterOutputPin*> OutputPins();

    // Demultiplexing thread.
    HRESULT RoutePacket(std::unique_ptr<Packet> packet);
    bool CommandPending();
    // Waits up to timeout_ms, or until a command is sent.
    void WaitForCommand(int timeout_ms);

    HRESULT RetargetOutputPin(uint32_t old_key, uint32_t new_key, const CMediaType& type);

    CCritSec lock_;
    std::unique_ptr<CBaseSplitterInputPin> input_;
    std::string file_name_;
    ComPtr<IUnknown> file_source_;  // what Load opened

    std::mutex positions_mutex_;
    REFERENCE_TIME duration_100ns_ = 0, stop_100ns_ = 0, new_start_100ns_ = 0, new_stop_100ns_ = 0;
    std::atomic<REFERENCE_TIME> current_100ns_{0};
    double rate_ = 1.0;

private:
    DWORD ThreadProc() override;
    HRESULT EnqueuePacket(CBaseSplitterOutputPin* pin, std::unique_ptr<Packet> packet);
    bool QueuesNeedData();
    DWORD SendCommand(DWORD command);
    void BeginFlushOutputs();
    void EndFlushOutputs();

    std::mutex map_mutex_;
    std::vector<std::unique_ptr<CBaseSplitterOutputPin>> outputs_;
    std::vector<std::unique_ptr<CBaseSplitterOutputPin>> retired_;  // removed pins stay alive
    std::map<uint32_t, CBaseSplitterOutputPin*> pin_map_;
    std::map<uint32_t, CMediaType> pending_types_;

    // Demultiplexing thread only.
    std::set<uint32_t> discontinuity_sent_;
    std::vector<CBaseSplitterOutputPin*> active_pins_;
    REFERENCE_TIME route_previous_100ns_ = kPacketNoTime;  // last video or audio time routed
    REFERENCE_TIME route_offset_100ns_ = 0;
    bool priority_lowered_ = false;

    struct LastRequest {
        REFERENCE_TIME start = INT64_MIN, stop = INT64_MIN;
        std::vector<const void*> callers;
    } last_request_;

    std::mutex flow_mutex_;
    std::condition_variable flow_changed_;
    uint64_t flow_generation_ = 0;  // counts NotifyFlow calls, under flow_mutex_
    // QueuesNeedData's view of the queues, on the demultiplexing thread.
    std::vector<CBaseSplitterOutputPin::Level> levels_;
    // Set while the demultiplexing thread waits for queue space (or is about to).
    std::atomic<bool> waiting_for_flow_{false};
    std::atomic<uint32_t> takes_unannounced_{0};
    std::mutex command_mutex_;
    std::condition_variable command_changed_;
    std::atomic<bool> command_sent_{false};
    std::atomic<REFERENCE_TIME> published_offset_{0};
    CAMEvent flush_done_{true};
};

}  // namespace rizuvira::demux
