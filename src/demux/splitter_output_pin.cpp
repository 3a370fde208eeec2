// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/splitter_output_pin.h"

#include <algorithm>
#include <cstring>

#include "demux/base_splitter.h"

namespace rizuvira::demux {

CBaseSplitterOutputPin::CBaseSplitterOutputPin(std::vector<CMediaType> types, const char* name,
                                               CBaseSplitterFilter* filter, CCritSec* lock,
                                               HRESULT* hr, int kind)
    : CBaseOutputPin("splitter output pin", filter, lock, hr, name),
      splitter_(filter),
      types_(std::move(types)),
      kind_(kind) {}

CBaseSplitterOutputPin::~CBaseSplitterOutputPin() {
    StopDeliveryThread();
}

HRESULT CBaseSplitterOutputPin::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), object);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, object);
}

HRESULT CBaseSplitterOutputPin::CheckMediaType(const CMediaType* type) {
    for (const auto& t : types_)
        if (t.majortype == type->majortype && t.subtype == type->subtype) return S_OK;
    return S_FALSE;
}

HRESULT CBaseSplitterOutputPin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (static_cast<size_t>(position) >= types_.size()) return VFW_S_NO_MORE_ITEMS;
    *type = types_[static_cast<size_t>(position)];
    return S_OK;
}

HRESULT CBaseSplitterOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                                 ALLOCATOR_PROPERTIES* request) {
    request->cBuffers = std::max<LONG>(request->cBuffers, kind_ == 0 ? 16 : 32);
    request->cbBuffer = std::max<LONG>(request->cbBuffer, kind_ == 0 ? 256 * 1024 : 64 * 1024);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer ? E_FAIL
                                                                                      : S_OK;
}

HRESULT CBaseSplitterOutputPin::Active() {
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    if (IsConnected() && !thread_.joinable()) {
        {
            std::lock_guard lock(queue_mutex_);
            ClearQueueLocked();
            flushing_ = false;
            exit_ = false;
            delivery_hr_ = S_OK;
        }
        running_ = true;
        thread_ = std::thread(&CBaseSplitterOutputPin::DeliveryMain, this);
    }
    return S_OK;
}

HRESULT CBaseSplitterOutputPin::Inactive() {
    {
        std::lock_guard lock(queue_mutex_);
        exit_ = true;
    }
    queue_changed_.notify_all();
    // Decommitting releases a delivery thread blocked waiting for a sample.
    const HRESULT hr = CBaseOutputPin::Inactive();
    StopDeliveryThread();
    return hr;
}

void CBaseSplitterOutputPin::StopDeliveryThread() {
    {
        std::lock_guard lock(queue_mutex_);
        exit_ = true;
    }
    queue_changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    running_ = false;
    std::lock_guard lock(queue_mutex_);
    ClearQueueLocked();
}

void CBaseSplitterOutputPin::DeliveryMain() {
    for (;;) {
        std::unique_ptr<Packet> packet;
        bool end_of_stream = false;
        bool skip = false;
        size_t packets_left = 0;
        int64_t bytes_left = 0;
        {
            std::unique_lock lock(queue_mutex_);
            delivery_waiting_ = true;
            queue_changed_.wait(lock, [this] { return exit_ || (!flushing_ && !queue_.empty()); });
            delivery_waiting_ = false;
            if (exit_) break;
            packet = std::move(queue_.front());
            queue_.pop_front();
            if (packet) {
                queued_bytes_ -= static_cast<int64_t>(packet->data.size());
                if (packet->HasTime()) reached_time_ = packet->start_100ns;
            } else {
                end_of_stream = true;
            }
            skip = FAILED(delivery_hr_);
            busy_ = true;
            packets_left = queue_.size();
            bytes_left = queued_bytes_;
        }
        splitter_->NotifyFlowAfterTake(packets_left, bytes_left);
        HRESULT hr = S_OK;
        if (end_of_stream) {
            // Also after a refused packet: the filters downstream still end their stream,
            // so nothing waits for it for ever.
            BeforeEndOfStream();
            hr = DeliverEndOfStream();
        } else if (!skip) {
            hr = DeliverPacket(std::move(packet));
        }
        bool first_failure = false;
        {
            std::lock_guard lock(queue_mutex_);
            busy_ = false;
            if (FAILED(hr) && !flushing_ && SUCCEEDED(delivery_hr_)) {
                delivery_hr_ = hr;
                first_failure = !end_of_stream;
            }
        }
        // A filter downstream that fails on a packet (not one that is stopping) ends the run:
        // the graph hears of it instead of finishing without this stream.
        if (first_failure && hr != VFW_E_WRONG_STATE && hr != VFW_E_NOT_COMMITTED)
            splitter_->NotifyEvent(EC_ERRORABORT, hr, 0);
        idle_.notify_all();
    }
    running_ = false;
    idle_.notify_all();
    splitter_->NotifyFlow();
}

HRESULT CBaseSplitterOutputPin::Append(std::unique_ptr<Packet> packet) {
    {
        std::lock_guard lock(queue_mutex_);
        // After a refused packet only the end of the stream still goes.
        if (FAILED(delivery_hr_) && packet) return delivery_hr_;
        if (!running_ || exit_) return S_FALSE;
        if (packet) {
            queued_bytes_ += static_cast<int64_t>(packet->data.size());
            if (packet->HasTime()) {
                newest_time_ = packet->start_100ns;
                if (reached_time_ == kPacketNoTime) reached_time_ = newest_time_;
            }
        } else {
            eos_queued_ = true;
        }
        const bool urgent = !packet || kind_ == 2;
        queue_.push_back(std::move(packet));
        if (delivery_waiting_ && !urgent && queue_.size() < kWakeBatch) {
            wake_pending_ = true;
            return S_OK;
        }
        wake_pending_ = false;
    }
    queue_changed_.notify_one();
    return S_OK;
}

void CBaseSplitterOutputPin::WakeDelivery() {
    {
        std::lock_guard lock(queue_mutex_);
        if (!wake_pending_) return;
        wake_pending_ = false;
    }
    queue_changed_.notify_one();
}

bool CBaseSplitterOutputPin::IsDeliveryRunning() {
    return running_.load();
}

HRESULT CBaseSplitterOutputPin::DeliveryResult() {
    std::lock_guard lock(queue_mutex_);
    return delivery_hr_;
}

size_t CBaseSplitterOutputPin::QueuedPackets() {
    std::lock_guard lock(queue_mutex_);
    return queue_.size();
}

int64_t CBaseSplitterOutputPin::QueuedBytes() {
    std::lock_guard lock(queue_mutex_);
    return queued_bytes_;
}

CBaseSplitterOutputPin::Level CBaseSplitterOutputPin::QueueLevel() {
    std::lock_guard lock(queue_mutex_);
    Level level{queue_.size(), queued_bytes_, 0, newest_time_, reached_time_, eos_queued_};
    if (newest_time_ != kPacketNoTime && reached_time_ != kPacketNoTime)
        level.span_100ns = std::max<REFERENCE_TIME>(newest_time_ - reached_time_, 0);
    return level;
}

void CBaseSplitterOutputPin::ClearQueueLocked() {
    wake_pending_ = false;
    queue_.clear();
    queued_bytes_ = 0;
    eos_queued_ = false;
    newest_time_ = kPacketNoTime;
    reached_time_ = kPacketNoTime;
}

HRESULT CBaseSplitterOutputPin::DeliverBeginFlush() {
    {
        std::lock_guard lock(queue_mutex_);
        flushing_ = true;
        ClearQueueLocked();
    }
    queue_changed_.notify_all();
    splitter_->NotifyFlow();
    if (IsConnected()) CBaseOutputPin::DeliverBeginFlush();
    return S_OK;
}

HRESULT CBaseSplitterOutputPin::DeliverEndFlush() {
    {
        // The packet being sent when the flush began must not reach the new segment.
        std::unique_lock lock(queue_mutex_);
        idle_.wait(lock, [this] { return !busy_; });
        ClearQueueLocked();
        delivery_hr_ = S_OK;
    }
    OnFlush();
    if (IsConnected()) CBaseOutputPin::DeliverEndFlush();
    {
        std::lock_guard lock(queue_mutex_);
        flushing_ = false;
    }
    queue_changed_.notify_all();
    return S_OK;
}

HRESULT CBaseSplitterOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                  double rate) {
    OnNewSegment();
    // The worker thread delivers this while Stop may hold the filter lock
    // waiting for the worker to exit; the segment start is atomic, so it is
    // recorded without that lock.
    m_tStart = start;
    {
        std::lock_guard lock(queue_mutex_);
        eos_queued_ = false;
    }
    return IsConnected() ? CBaseOutputPin::DeliverNewSegment(start, stop, rate) : S_OK;
}

HRESULT CBaseSplitterOutputPin::DeliverPacket(std::unique_ptr<Packet> packet) {
    return SendPacket(std::move(packet));
}

HRESULT CBaseSplitterOutputPin::SendPacket(std::unique_ptr<Packet> packet) {
    if (!packet || packet->data.empty()) return S_OK;
    const size_t size = packet->data.size();
    if (size > 0x7FFFFFFF) return E_OUTOFMEMORY;

    REFERENCE_TIME start = packet->start_100ns, stop = packet->stop_100ns;
    const double rate = splitter_->Rate();
    if (packet->HasTime() && rate > 0 && rate != 1.0) {
        start = static_cast<REFERENCE_TIME>(static_cast<double>(start) / rate);
        stop = static_cast<REFERENCE_TIME>(static_cast<double>(stop) / rate);
    }

    ComPtr<IMediaSample> sample;
    HRESULT hr = GetDeliveryBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (static_cast<size_t>(sample->GetSize()) < size) {
        // Too big for the buffers: ask the allocator for larger ones.
        sample.Reset();
        ALLOCATOR_PROPERTIES props{};
        if (!m_pAllocator || FAILED(m_pAllocator->GetProperties(&props))) return E_FAIL;
        m_pAllocator->Decommit();
        props.cbBuffer = static_cast<LONG>(std::min<size_t>(size * 3 / 2, 0x7FFFFFFF));
        ALLOCATOR_PROPERTIES actual{};
        hr = m_pAllocator->SetProperties(&props, &actual);
        const HRESULT commit = m_pAllocator->Commit();
        if (FAILED(hr)) return hr;
        if (FAILED(commit)) return commit;
        hr = GetDeliveryBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        if (static_cast<size_t>(sample->GetSize()) < size) return E_OUTOFMEMORY;
    }

    if (packet->media_type) {
        sample->SetMediaType(packet->media_type.get());
        packet->discontinuity = true;
        m_mt = *packet->media_type;
    }
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    std::memcpy(buffer, packet->data.data(), size);
    sample->SetActualDataLength(static_cast<LONG>(size));
    if (packet->HasTime()) sample->SetTime(&start, &stop);
    sample->SetMediaTime(nullptr, nullptr);
    sample->SetDiscontinuity(packet->discontinuity);
    sample->SetSyncPoint(packet->sync_point);
    sample->SetPreroll(packet->HasTime() && start < 0);
    return Deliver(sample.Get());
}

// Seeking: the filter's answers; SetPositions names this pin as the caller.
HRESULT CBaseSplitterOutputPin::GetCapabilities(DWORD* c) {
    return splitter_->GetCapabilities(c);
}
HRESULT CBaseSplitterOutputPin::CheckCapabilities(DWORD* c) {
    return splitter_->CheckCapabilities(c);
}
HRESULT CBaseSplitterOutputPin::IsFormatSupported(const GUID* f) {
    return splitter_->IsFormatSupported(f);
}
HRESULT CBaseSplitterOutputPin::QueryPreferredFormat(GUID* f) {
    return splitter_->QueryPreferredFormat(f);
}
HRESULT CBaseSplitterOutputPin::GetTimeFormat(GUID* f) {
    return splitter_->GetTimeFormat(f);
}
HRESULT CBaseSplitterOutputPin::IsUsingTimeFormat(const GUID* f) {
    return splitter_->IsUsingTimeFormat(f);
}
HRESULT CBaseSplitterOutputPin::SetTimeFormat(const GUID* f) {
    return splitter_->SetTimeFormat(f);
}
HRESULT CBaseSplitterOutputPin::GetDuration(LONGLONG* d) {
    return splitter_->GetDuration(d);
}
HRESULT CBaseSplitterOutputPin::GetStopPosition(LONGLONG* s) {
    return splitter_->GetStopPosition(s);
}
HRESULT CBaseSplitterOutputPin::GetCurrentPosition(LONGLONG* c) {
    return splitter_->GetCurrentPosition(c);
}
HRESULT CBaseSplitterOutputPin::ConvertTimeFormat(LONGLONG* target, const GUID* target_format,
                                                  LONGLONG source, const GUID* source_format) {
    return splitter_->ConvertTimeFormat(target, target_format, source, source_format);
}
HRESULT CBaseSplitterOutputPin::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                             DWORD stop_flags) {
    return splitter_->SetPositionsFrom(this, current, current_flags, stop, stop_flags);
}
HRESULT CBaseSplitterOutputPin::GetPositions(LONGLONG* c, LONGLONG* s) {
    return splitter_->GetPositions(c, s);
}
HRESULT CBaseSplitterOutputPin::GetAvailable(LONGLONG* e, LONGLONG* l) {
    return splitter_->GetAvailable(e, l);
}
HRESULT CBaseSplitterOutputPin::SetRate(double r) {
    return splitter_->SetRate(r);
}
HRESULT CBaseSplitterOutputPin::GetRate(double* r) {
    return splitter_->GetRate(r);
}
HRESULT CBaseSplitterOutputPin::GetPreroll(LONGLONG* p) {
    return splitter_->GetPreroll(p);
}

}  // namespace rizuvira::demux
