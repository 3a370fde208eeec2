// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseSplitterOutputPin: an output pin of the splitter with its own packet queue and
// delivery thread.
//
// The demultiplexing thread appends packets (through CBaseSplitterFilter::EnqueuePacket,
// which applies the flow control); the delivery thread takes them in order and sends each
// downstream as one sample (SendPacket), or the end of stream for an empty entry.
//
// Ownership: the queue owns its packets; the delivery thread owns the one it is sending.
// Threads and locks:
//  - queue_mutex_ guards the queue, its counters, the flags and the delivery result;
//    queue_changed_ wakes the delivery thread (a packet, a flush, the exit), idle_ wakes a
//    flush that waits for the packet being sent.
//  - Active/Inactive run on the application thread (state changes) and start/stop the
//    delivery thread. DeliverBeginFlush/EndFlush run on the thread that seeks or stops,
//    DeliverNewSegment on the demultiplexing thread while the queue is empty.
//  - IMediaSeeking calls are passed to the filter with this pin as the caller.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "demux/demux_types.h"
#include "platform/output_pin.h"
#include "platform/seeking.h"

namespace rizuvira::demux {

class CBaseSplitterFilter;

class CBaseSplitterOutputPin : public CBaseOutputPin, public IMediaSeeking {
public:
    // `types`: the types offered, in order; `kind`: 0 video, 1 audio, 2 subpicture.
    CBaseSplitterOutputPin(std::vector<CMediaType> types, const char* name,
                           CBaseSplitterFilter* filter, CCritSec* lock, HRESULT* hr, int kind);
    ~CBaseSplitterOutputPin() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    HRESULT DeliverBeginFlush() override;
    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // Demultiplexing thread: appends without flow control (a null packet is the end of
    // stream). S_FALSE when the delivery thread is not running; the recorded delivery
    // failure when there is one. A delivery thread waiting on an empty queue is woken once
    // kWakeBatch packets are there, not for each one, except for the end of the stream and
    // the subpicture pin; the demultiplexing thread calls WakeDelivery before it stops
    // reading.
    HRESULT Append(std::unique_ptr<Packet> packet);
    static constexpr size_t kWakeBatch = 8;
    bool IsDeliveryRunning();
    HRESULT DeliveryResult();
    size_t QueuedPackets();
    int64_t QueuedBytes();
    // The queue at one moment: its packets, their bytes, how much stream time lies between
    // the last packet taken and the newest queued (0 when unknown), and whether the end of
    // the stream is queued.
    struct Level {
        size_t packets = 0;
        int64_t bytes = 0;
        REFERENCE_TIME span_100ns = 0;
        // The newest queued and the last taken packet times (kPacketNoTime: none yet).
        REFERENCE_TIME newest_100ns = kPacketNoTime;
        REFERENCE_TIME reached_100ns = kPacketNoTime;
        bool end_of_stream = false;
    };
    Level QueueLevel();
    // Wakes the delivery thread for packets Append queued without waking it (see Append).
    void WakeDelivery();
    int Kind() const { return kind_; }

    // IMediaSeeking: the filter's, with this pin as the caller.
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

protected:
    // Delivery thread: one packet. The base sends it as it is.
    virtual HRESULT DeliverPacket(std::unique_ptr<Packet> packet);
    // Delivery thread: before the end of stream goes downstream (flush partial frames).
    virtual HRESULT BeforeEndOfStream() { return S_OK; }
    // Demultiplexing thread, before a new segment goes downstream.
    virtual void OnNewSegment() {}
    // Flushing thread, while the delivery thread is idle.
    virtual void OnFlush() {}

    // Copies the packet into a sample and delivers it.
    HRESULT SendPacket(std::unique_ptr<Packet> packet);

    CBaseSplitterFilter* const splitter_;

private:
    void DeliveryMain();
    void StopDeliveryThread();

    const std::vector<CMediaType> types_;
    const int kind_;

    // Empties the queue and forgets its times; under queue_mutex_.
    void ClearQueueLocked();

    std::mutex queue_mutex_;
    std::condition_variable queue_changed_;
    std::condition_variable idle_;
    std::deque<std::unique_ptr<Packet>> queue_;  // null entry: end of stream
    int64_t queued_bytes_ = 0;
    // Times of the newest timed packet queued and of the last timed one taken.
    REFERENCE_TIME newest_time_ = kPacketNoTime;
    REFERENCE_TIME reached_time_ = kPacketNoTime;
    bool eos_queued_ = false;
    bool delivery_waiting_ = false;  // the delivery thread waits for a packet
    bool wake_pending_ = false;      // packets were queued without waking it
    bool flushing_ = false;
    bool exit_ = false;
    bool busy_ = false;
    HRESULT delivery_hr_ = S_OK;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace rizuvira::demux
