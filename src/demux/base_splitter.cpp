// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/base_splitter.h"

#include <algorithm>
#include <chrono>

#include "demux/async_file_reader.h"

namespace rizuvira::demux {

namespace {

// Flow control thresholds.
constexpr size_t kShortQueuePackets = 100;
constexpr int64_t kShortQueueBytes = 262144;
constexpr size_t kLowerPriorityPackets = 32;
constexpr int64_t kLowerPriorityBytes = 87380;
constexpr size_t kRestorePriorityPackets = 2000;
constexpr int64_t kRestorePriorityBytes = 1398101;
constexpr size_t kFullPackets = 3000;
constexpr int64_t kFullBytes = 2097152;
// How often a wait for a flush end looks for a new command.
constexpr DWORD kFlushPollMs = 10;
constexpr int64_t kPinQueueLimitBytes = 209715200;
// How far one queue may read ahead of its delivery: the stream time it spans, or its
// bytes, whichever is reached first; and how far while another stream starves.
constexpr REFERENCE_TIME kReadAheadTime = 2 * 10'000'000;
constexpr int64_t kReadAheadBytes = 8 << 20;
constexpr REFERENCE_TIME kStarvingReadAheadTime = 20 * 10'000'000;
constexpr int64_t kStarvingReadAheadBytes = 64 << 20;
// A stream starves when the file has been read this far past the last packet it was given.
constexpr REFERENCE_TIME kStarvingLag = 10'000'000;
// A waiting demultiplexing thread is woken after this many packets are taken from full queues.
constexpr uint32_t kFlowBatch = 32;
constexpr REFERENCE_TIME kRouteMaxJump = 50'000'000;

}  // namespace

// ---------------------------------------------------------------------------------------
// Input pin

CBaseSplitterInputPin::CBaseSplitterInputPin(CBaseSplitterFilter* filter, CCritSec* lock,
                                             HRESULT* hr)
    : CBasePin("splitter input pin", filter, lock, hr, "Input", PINDIR_INPUT), splitter_(filter) {}

HRESULT CBaseSplitterInputPin::CheckMediaType(const CMediaType*) {
    return S_OK;
}

HRESULT CBaseSplitterInputPin::CheckConnect(IPin* pin) {
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    ComPtr<IAsyncReader> reader;
    if (FAILED(ComPtr<IPin>(pin).As(&reader)) || !reader) return E_NOINTERFACE;
    reader_ = reader;
    return S_OK;
}

HRESULT CBaseSplitterInputPin::CompleteConnect(IPin* pin) {
    HRESULT hr = CBasePin::CompleteConnect(pin);
    if (FAILED(hr)) return hr;
    return splitter_->CompleteInputConnect(reader_.Get());
}

HRESULT CBaseSplitterInputPin::BreakConnect() {
    splitter_->BreakInputConnect();
    reader_.Reset();
    return CBasePin::BreakConnect();
}

// ---------------------------------------------------------------------------------------
// Filter

CBaseSplitterFilter::CBaseSplitterFilter(const char* object_name, IUnknown* outer, HRESULT* hr,
                                         const CLSID& clsid)
    : CBaseFilter(object_name, outer, &lock_, clsid) {
    input_ = std::make_unique<CBaseSplitterInputPin>(this, &lock_, hr);
    flush_done_.Set();
}

CBaseSplitterFilter::~CBaseSplitterFilter() {
    if (ThreadExists()) {
        SendCommand(kCommandExit);
        Close();
    }
    std::lock_guard lock(map_mutex_);
    pin_map_.clear();
    outputs_.clear();
    retired_.clear();
}

HRESULT CBaseSplitterFilter::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IFileSourceFilter::iid)
        return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), object);
    if (riid == IKeyFrameInfo::iid) return GetInterface(static_cast<IKeyFrameInfo*>(this), object);
    if (riid == IBufferInfo::iid) return GetInterface(static_cast<IBufferInfo*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

int CBaseSplitterFilter::GetPinCount() {
    std::lock_guard lock(map_mutex_);
    return 1 + static_cast<int>(outputs_.size());
}

CBasePin* CBaseSplitterFilter::GetPin(int index) {
    if (index == 0) return input_.get();
    std::lock_guard lock(map_mutex_);
    if (index < 0 || static_cast<size_t>(index) > outputs_.size()) return nullptr;
    return outputs_[static_cast<size_t>(index - 1)].get();
}

std::vector<CBaseSplitterOutputPin*> CBaseSplitterFilter::OutputPins() {
    std::lock_guard lock(map_mutex_);
    std::vector<CBaseSplitterOutputPin*> pins;
    for (auto& p : outputs_) pins.push_back(p.get());
    return pins;
}

void CBaseSplitterFilter::AddOutputPin(uint32_t key, std::unique_ptr<CBaseSplitterOutputPin> pin) {
    std::lock_guard lock(map_mutex_);
    pin_map_[key] = pin.get();
    outputs_.push_back(std::move(pin));
}

void CBaseSplitterFilter::DeleteOutputs() {
    for (CBaseSplitterOutputPin* pin : OutputPins()) {
        if (IPin* peer = pin->GetConnected()) {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    std::lock_guard lock(map_mutex_);
    pin_map_.clear();
    pending_types_.clear();
    // Somebody may still hold a reference to a pin; it lives as long as the filter.
    for (auto& p : outputs_) retired_.push_back(std::move(p));
    outputs_.clear();
}

CBaseSplitterOutputPin* CBaseSplitterFilter::PinForKey(uint32_t key) {
    std::lock_guard lock(map_mutex_);
    auto it = pin_map_.find(key);
    return it == pin_map_.end() ? nullptr : it->second;
}

bool CBaseSplitterFilter::KeyOfPin(const CBaseSplitterOutputPin* pin, uint32_t* key) {
    std::lock_guard lock(map_mutex_);
    for (const auto& [k, p] : pin_map_) {
        if (p == pin) {
            *key = k;
            return true;
        }
    }
    return false;
}

bool CBaseSplitterFilter::HasConnectedPin(uint32_t key) {
    CBaseSplitterOutputPin* pin = PinForKey(key);
    return pin && pin->IsConnected();
}

HRESULT CBaseSplitterFilter::CompleteInputConnect(IAsyncReader* reader) {
    DeleteOutputs();
    const HRESULT hr = BuildOutputPins(reader);
    if (FAILED(hr)) {
        DeleteOutputs();
        ReleaseParser();
    }
    return hr;
}

HRESULT CBaseSplitterFilter::BreakInputConnect() {
    DeleteOutputs();
    ReleaseParser();
    return S_OK;
}

HRESULT CBaseSplitterFilter::Load(const std::string& file_name, const AM_MEDIA_TYPE*) {
    CAutoLock lock(&lock_);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    DeleteOutputs();
    ReleaseParser();
    file_source_.Reset();
    file_name_ = file_name;
    CAsyncFileReader file;
    HRESULT hr = file.Open(file_name);
    if (SUCCEEDED(hr)) {
        hr = BuildOutputPins(file.Reader());
        if (SUCCEEDED(hr)) file_source_ = file.Owner();
    }
    if (FAILED(hr)) {
        DeleteOutputs();
        ReleaseParser();
        file_name_.clear();
    }
    return hr;
}

HRESULT CBaseSplitterFilter::GetCurFile(std::string* file_name, CMediaType* type) {
    if (!file_name) return E_POINTER;
    CAutoLock lock(&lock_);
    *file_name = file_name_;
    if (type) *type = CMediaType();
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// States and the demultiplexing thread

HRESULT CBaseSplitterFilter::Pause() {
    CAutoLock lock(&lock_);
    const bool was_stopped = IsStopped();
    const HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr)) return hr;
    if (was_stopped && !ThreadExists()) Create();
    return hr;
}

HRESULT CBaseSplitterFilter::Stop() {
    CAutoLock lock(&lock_);
    if (ThreadExists()) {
        BeginFlushOutputs();
        SendCommand(kCommandExit);
        Close();
        EndFlushOutputs();
    }
    return CBaseFilter::Stop();
}

DWORD CBaseSplitterFilter::SendCommand(DWORD command) {
    {
        std::lock_guard lock(command_mutex_);
        command_sent_ = true;
    }
    command_changed_.notify_all();
    NotifyFlow();
    // The worker clears command_sent_ when it takes the command.
    return CallWorker(command);
}

bool CBaseSplitterFilter::CommandPending() {
    DWORD command = 0;
    return command_sent_.load() || CheckRequest(&command);
}

void CBaseSplitterFilter::WaitForCommand(int timeout_ms) {
    std::unique_lock lock(command_mutex_);
    command_changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [this] { return command_sent_.load(); });
}

void CBaseSplitterFilter::BeginFlushOutputs() {
    flush_done_.Reset();
    for (CBaseSplitterOutputPin* pin : OutputPins()) pin->DeliverBeginFlush();
}

void CBaseSplitterFilter::EndFlushOutputs() {
    for (CBaseSplitterOutputPin* pin : OutputPins()) pin->DeliverEndFlush();
    flush_done_.Set();
}

DWORD CBaseSplitterFilter::ThreadProc() {
    if (FAILED(PrepareDelivery())) {
        for (;;) {
            const DWORD command = GetRequest();
            command_sent_ = false;
            Reply(S_OK);
            if (command == kCommandExit) return 0;
        }
    }
    DWORD command = ~DWORD{0};
    for (;;) {
        REFERENCE_TIME start = 0, stop = 0;
        double rate = 1.0;
        {
            std::lock_guard lock(positions_mutex_);
            start = new_start_100ns_;
            stop = new_stop_100ns_;
            rate = rate_;
        }
        PositionForTime(start);
        if (command == kCommandSeek) Reply(S_OK);
        // Wait for the flush of the stop or seek in progress to end. Every
        // flush is followed by its command, and the next stop or seek may
        // reset the event before this thread sees it set: a pending command
        // is then taken instead, so neither side waits for the other.
        while (!flush_done_.Wait(kFlushPollMs) && !CommandPending()) {
        }
        if (!flush_done_.Check()) {
            command = GetRequest();
            command_sent_ = false;
            if (command == kCommandExit) {
                Reply(S_OK);
                return 0;
            }
            continue;
        }

        active_pins_.clear();
        for (CBaseSplitterOutputPin* pin : OutputPins()) {
            if (!flush_done_.Check()) break;  // a flush began: a new command follows
            if (!pin->IsConnected()) continue;
            active_pins_.push_back(pin);
            pin->DeliverNewSegment(start, stop, rate);
        }
        discontinuity_sent_.clear();
        route_previous_100ns_ = kPacketNoTime;
        route_offset_100ns_ = 0;
        current_100ns_ = start;

        DeliveryLoop();
        WakeDeliveries();

        if (!CommandPending())
            for (CBaseSplitterOutputPin* pin : active_pins_) pin->Append(nullptr);

        command = GetRequest();
        command_sent_ = false;
        if (command == kCommandExit) {
            Reply(S_OK);
            return 0;
        }
    }
}

HRESULT CBaseSplitterFilter::RoutePacket(std::unique_ptr<Packet> packet) {
    CBaseSplitterOutputPin* pin = nullptr;
    {
        std::lock_guard lock(map_mutex_);
        auto it = pin_map_.find(packet->track);
        if (it != pin_map_.end()) pin = it->second;
        if (pin && pin->IsConnected()) {
            if (auto pending = pending_types_.find(packet->track);
                pending != pending_types_.end()) {
                packet->media_type = std::make_unique<CMediaType>(std::move(pending->second));
                pending_types_.erase(pending);
            }
        }
    }
    if (!pin || !pin->IsConnected() ||
        std::find(active_pins_.begin(), active_pins_.end(), pin) == active_pins_.end())
        return S_FALSE;
    if (packet->HasTime() && pin->Kind() != 2) {
        // The run's position on the time line the pins deliver: a jump of more than 5 s
        // continues from the previous time, as the pins' timestamps do, so a broken PTS
        // does not end a range early.
        REFERENCE_TIME t = packet->start_100ns + route_offset_100ns_;
        if (route_previous_100ns_ != kPacketNoTime && (t - route_previous_100ns_ > kRouteMaxJump ||
                                                       route_previous_100ns_ - t > kRouteMaxJump)) {
            route_offset_100ns_ = route_previous_100ns_ - packet->start_100ns;
            t = route_previous_100ns_;
        }
        route_previous_100ns_ = t;
        current_100ns_ = t;
    }
    const uint32_t track = packet->track;
    const bool marked = !discontinuity_sent_.count(track);
    if (marked) packet->discontinuity = true;
    const HRESULT hr = EnqueuePacket(pin, std::move(packet));
    if (FAILED(hr)) {
        // Downstream refused a packet: that stream ends here, the others go on.
        pin->Append(nullptr);
        active_pins_.erase(std::remove(active_pins_.begin(), active_pins_.end(), pin),
                           active_pins_.end());
        return active_pins_.empty() ? hr : S_OK;
    }
    if (marked) discontinuity_sent_.insert(track);
    return hr;
}

HRESULT CBaseSplitterFilter::EnqueuePacket(CBaseSplitterOutputPin* pin,
                                           std::unique_ptr<Packet> packet) {
    if (!pin->IsDeliveryRunning()) return S_FALSE;
    for (;;) {
        uint64_t generation = 0;
        {
            std::lock_guard lock(flow_mutex_);
            generation = flow_generation_;
        }
        const HRESULT result = pin->DeliveryResult();
        if (FAILED(result)) return result;
        // Announced before the queues are looked at, so that no take after the look goes
        // unannounced.
        waiting_for_flow_ = true;
        if (QueuesNeedData() && pin->QueuedBytes() <= kPinQueueLimitBytes) {
            waiting_for_flow_ = false;
            return pin->Append(std::move(packet));
        }
        if (command_sent_.load()) {
            waiting_for_flow_ = false;
            return S_FALSE;  // a seek or stop is on its way: drop it
        }
        // The queues are full: wait until a delivery thread has taken enough, a flush
        // empties them or a command comes.
        WakeDeliveries();
        std::unique_lock lock(flow_mutex_);
        flow_changed_.wait_for(lock, std::chrono::milliseconds(100),
                               [&] { return flow_generation_ != generation; });
    }
}

void CBaseSplitterFilter::WakeDeliveries() {
    for (CBaseSplitterOutputPin* pin : active_pins_) pin->WakeDelivery();
}

void CBaseSplitterFilter::NotifyFlowAfterTake(size_t packets_left, int64_t bytes_left) {
    if (!waiting_for_flow_.load()) return;
    const bool short_queue = packets_left < kShortQueuePackets || bytes_left < kShortQueueBytes;
    if (!short_queue && takes_unannounced_.fetch_add(1) + 1 < kFlowBatch) return;
    takes_unannounced_ = 0;
    NotifyFlow();
}

bool CBaseSplitterFilter::QueuesNeedData() {
    size_t total_packets = 0;
    int64_t total_bytes = 0;
    bool need = false;
    bool ahead = false;      // some queue holds what the read-ahead allows
    bool far_ahead = false;  // some queue holds what a starving stream may make it hold
    // Subpictures come seconds apart, so their queue is nearly always short; letting it call
    // for data would read the whole title ahead into the other queues.
    auto counts = [](CBaseSplitterOutputPin* pin, const CBaseSplitterOutputPin::Level& level) {
        return pin->Kind() != 2 && !level.end_of_stream;
    };
    std::vector<CBaseSplitterOutputPin::Level>& levels = levels_;  // kept: this runs per packet
    levels.clear();
    REFERENCE_TIME read_up_to = kPacketNoTime;  // the newest time queued on any stream
    for (CBaseSplitterOutputPin* pin : active_pins_) {
        levels.push_back(pin->QueueLevel());
        const CBaseSplitterOutputPin::Level& level = levels.back();
        total_packets += level.packets;
        total_bytes += level.bytes;
        if (counts(pin, level) && level.newest_100ns != kPacketNoTime)
            read_up_to = read_up_to == kPacketNoTime ? level.newest_100ns
                                                     : std::max(read_up_to, level.newest_100ns);
    }
    bool starving = false;  // a stream has nothing queued although the file was read past it
    for (size_t i = 0; i < active_pins_.size(); ++i) {
        const CBaseSplitterOutputPin::Level& level = levels[i];
        if (!counts(active_pins_[i], level)) continue;
        const bool full_enough =
            level.span_100ns >= kReadAheadTime || level.bytes >= kReadAheadBytes;
        ahead |= full_enough;
        far_ahead |=
            level.span_100ns >= kStarvingReadAheadTime || level.bytes >= kStarvingReadAheadBytes;
        starving |= level.packets == 0 && level.reached_100ns != kPacketNoTime &&
                    read_up_to != kPacketNoTime && level.reached_100ns < read_up_to - kStarvingLag;
        if (!full_enough &&
            (level.packets < kShortQueuePackets || level.bytes < kShortQueueBytes)) {
            need = true;
            // A short queue: let the demultiplexer get ahead of the delivery threads.
            if (!priority_lowered_ &&
                !(level.packets > kLowerPriorityPackets && level.bytes > kLowerPriorityBytes))
                priority_lowered_ = true;
        }
    }
    // Reading on for a short queue fills the others too: up to the read-ahead, or further
    // while a stream whose packets lie further on in the file has none queued at all.
    if (ahead && !(starving && !far_ahead)) return false;
    if (need) return true;
    if (priority_lowered_ &&
        (total_packets > kRestorePriorityPackets || total_bytes > kRestorePriorityBytes))
        priority_lowered_ = false;
    return !(total_packets >= kFullPackets || total_bytes >= kFullBytes);
}

void CBaseSplitterFilter::NotifyFlow() {
    {
        std::lock_guard lock(flow_mutex_);
        ++flow_generation_;
    }
    flow_changed_.notify_all();
}

double CBaseSplitterFilter::Rate() {
    std::lock_guard lock(positions_mutex_);
    return rate_;
}

HRESULT CBaseSplitterFilter::RetargetOutputPin(uint32_t old_key, uint32_t new_key,
                                               const CMediaType& type) {
    CAutoLock lock(&lock_);
    CBaseSplitterOutputPin* pin = PinForKey(old_key);
    if (!pin) return E_FAIL;
    if (IPin* peer = pin->GetConnected(); peer && peer->QueryAccept(&type) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard map_lock(map_mutex_);
    pin_map_.erase(old_key);
    pin_map_[new_key] = pin;
    pending_types_[new_key] = type;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Seeking

HRESULT CBaseSplitterFilter::GetCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    *capabilities = AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetStopPos |
                    AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanSeekForwards |
                    AM_SEEKING_CanSeekAbsolute;
    return S_OK;
}

HRESULT CBaseSplitterFilter::CheckCapabilities(DWORD* capabilities) {
    if (!capabilities) return E_POINTER;
    DWORD mine = 0;
    GetCapabilities(&mine);
    const DWORD asked = *capabilities;
    *capabilities &= mine;
    if (*capabilities == asked) return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

HRESULT CBaseSplitterFilter::IsFormatSupported(const GUID* format) {
    if (!format) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CBaseSplitterFilter::QueryPreferredFormat(GUID* format) {
    return GetTimeFormat(format);
}

HRESULT CBaseSplitterFilter::GetTimeFormat(GUID* format) {
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT CBaseSplitterFilter::IsUsingTimeFormat(const GUID* format) {
    return IsFormatSupported(format);
}

HRESULT CBaseSplitterFilter::SetTimeFormat(const GUID* format) {
    return IsFormatSupported(format) == S_OK ? S_OK : E_INVALIDARG;
}

HRESULT CBaseSplitterFilter::GetDuration(LONGLONG* duration) {
    if (!duration) return E_POINTER;
    std::lock_guard lock(positions_mutex_);
    *duration = duration_100ns_;
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetStopPosition(LONGLONG* stop) {
    if (!stop) return E_POINTER;
    std::lock_guard lock(positions_mutex_);
    *stop = stop_100ns_;
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetCurrentPosition(LONGLONG* current) {
    if (!current) return E_POINTER;
    std::lock_guard lock(positions_mutex_);
    *current = new_start_100ns_;
    return S_OK;
}

HRESULT CBaseSplitterFilter::ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) {
    return E_NOTIMPL;
}

HRESULT CBaseSplitterFilter::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                          DWORD stop_flags) {
    return SetPositionsFrom(this, current, current_flags, stop, stop_flags);
}

HRESULT CBaseSplitterFilter::SetPositionsFrom(const void* caller, LONGLONG* current,
                                              DWORD current_flags, LONGLONG* stop,
                                              DWORD stop_flags) {
    CAutoLock lock(&lock_);
    const DWORD current_mode = current_flags & AM_SEEKING_PositioningBitsMask;
    const DWORD stop_mode = stop_flags & AM_SEEKING_PositioningBitsMask;
    if ((current_mode && !current) || (stop_mode && !stop)) return E_POINTER;
    REFERENCE_TIME now = 0, end = 0;
    bool seek = false;
    {
        std::lock_guard positions(positions_mutex_);
        const REFERENCE_TIME old_current = current_100ns_.load();
        now = old_current;
        end = stop_100ns_;
        if (current_mode == AM_SEEKING_AbsolutePositioning)
            now = *current;
        else if (current_mode != AM_SEEKING_NoPositioning)
            now = old_current + *current;
        if (stop_mode == AM_SEEKING_AbsolutePositioning)
            end = *stop;
        else if (stop_mode == AM_SEEKING_RelativePositioning)
            end = stop_100ns_ + *stop;
        else if (stop_mode == AM_SEEKING_IncrementalPositioning)
            end = now + *stop;
        if (now == old_current && end == stop_100ns_) return S_OK;
        const bool same_request = now == last_request_.start && end == last_request_.stop;
        const bool known_caller =
            std::find(last_request_.callers.begin(), last_request_.callers.end(), caller) !=
            last_request_.callers.end();
        if (!same_request || known_caller) {
            last_request_ = {now, end, {caller}};
            current_100ns_ = now;
            new_start_100ns_ = now;
            new_stop_100ns_ = end;
            stop_100ns_ = end;
            seek = true;
        } else {
            last_request_.callers.push_back(caller);
        }
    }
    if (seek && ThreadExists()) {
        BeginFlushOutputs();
        SendCommand(kCommandSeek);
        EndFlushOutputs();
    }
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetPositions(LONGLONG* current, LONGLONG* stop) {
    std::lock_guard lock(positions_mutex_);
    if (current) *current = new_start_100ns_;
    if (stop) *stop = stop_100ns_;
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    std::lock_guard lock(positions_mutex_);
    if (earliest) *earliest = 0;
    if (latest) *latest = duration_100ns_;
    return S_OK;
}

HRESULT CBaseSplitterFilter::SetRate(double rate) {
    if (!(rate > 0)) return E_INVALIDARG;
    std::lock_guard lock(positions_mutex_);
    rate_ = rate;
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetRate(double* rate) {
    if (!rate) return E_POINTER;
    std::lock_guard lock(positions_mutex_);
    *rate = rate_;
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetPreroll(LONGLONG* preroll) {
    if (!preroll) return E_POINTER;
    *preroll = 0;
    return S_OK;
}

HRESULT CBaseSplitterFilter::GetKeyFrameCount(uint32_t*) {
    return E_NOTIMPL;
}
HRESULT CBaseSplitterFilter::GetKeyFrames(const GUID*, REFERENCE_TIME*, uint32_t*) {
    return E_NOTIMPL;
}

int CBaseSplitterFilter::GetCount() {
    std::lock_guard lock(map_mutex_);
    return static_cast<int>(outputs_.size());
}

HRESULT CBaseSplitterFilter::GetStatus(int index, int* packets, int* bytes) {
    CBaseSplitterOutputPin* pin = nullptr;
    {
        std::lock_guard lock(map_mutex_);
        if (index < 0 || static_cast<size_t>(index) >= outputs_.size()) return E_INVALIDARG;
        pin = outputs_[static_cast<size_t>(index)].get();
    }
    if (packets) *packets = static_cast<int>(pin->QueuedPackets());
    if (bytes) *bytes = static_cast<int>(std::min<int64_t>(pin->QueuedBytes(), INT32_MAX));
    return pin->IsConnected() ? S_OK : S_FALSE;
}

}  // namespace rizuvira::demux
