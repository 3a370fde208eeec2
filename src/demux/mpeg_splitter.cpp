// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/mpeg_splitter.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "demux/stream_texts.h"

namespace rizuvira::demux {

namespace {

std::mutex g_title_mutex;
dvd::DvdTitleInfo g_title_info{};

constexpr int64_t kGrowingTailBytes = 102400;
constexpr int64_t kReadAheadBytes = 512000;
constexpr size_t kMaxPartialFrameBytes = 16 << 20;

// t / d × l without overflow.
int64_t Scale(int64_t t, int64_t d, int64_t l) {
    if (d == 0) return 0;
    return static_cast<int64_t>(static_cast<__int128>(t) * l / d);
}

// Annex B start codes to 4-byte big-endian lengths.
std::vector<uint8_t> AnnexBToLengthPrefixed(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    out.reserve(in.size() + 16);
    auto next_start = [&](size_t from) {
        for (size_t k = from; k + 3 <= in.size(); ++k)
            if (in[k] == 0 && in[k + 1] == 0 && in[k + 2] == 1) return k;
        return in.size();
    };
    size_t i = next_start(0);
    while (i < in.size()) {
        const size_t begin = i + 3;
        const size_t next = next_start(begin);
        size_t end = next;
        while (end > begin && in[end - 1] == 0) --end;
        if (end > begin) {
            const uint32_t size = static_cast<uint32_t>(end - begin);
            out.insert(out.end(),
                       {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                        static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)});
            out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(begin),
                       in.begin() + static_cast<std::ptrdiff_t>(end));
        }
        i = next;
    }
    return out;
}

}  // namespace

HRESULT CreateMpegSplitter(IUnknown* outer, IBaseFilter** filter) {
    if (!filter) return E_POINTER;
    *filter = nullptr;
    HRESULT hr = S_OK;
    auto* splitter = new CMpegSplitterFilter(outer, &hr);
    ComPtr<IBaseFilter> holder(static_cast<IBaseFilter*>(splitter));
    if (FAILED(hr)) return hr;
    *filter = holder.Detach();
    return S_OK;
}

dvd::DvdTitleInfo CurrentTitleInfo() {
    std::lock_guard lock(g_title_mutex);
    return g_title_info;
}

// ---------------------------------------------------------------------------------------
// Output pin

CMpegSplitterOutputPin::CMpegSplitterOutputPin(std::vector<CMediaType> types, const char* name,
                                               CBaseSplitterFilter* filter, CCritSec* lock,
                                               HRESULT* hr, int kind)
    : CBaseSplitterOutputPin(std::move(types), name, filter, lock, hr, kind) {}

void CMpegSplitterOutputPin::OnNewSegment() {
    std::lock_guard lock(timing_mutex_);
    previous_start_100ns_ = kPacketNoTime;
    time_offset_100ns_ = 0;
    if (Kind() == kVideo) splitter_->PublishTimeOffset(0);
}

void CMpegSplitterOutputPin::OnFlush() {
    partial_.reset();
}

CMpegSplitterOutputPin::Reassembly CMpegSplitterOutputPin::ReassemblyFor(
    const AM_MEDIA_TYPE& type) const {
    if (type.subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO) return Reassembly::kHdmvLpcm;
    if (type.subtype == MEDIASUBTYPE_AAC) return Reassembly::kAac;
    if (type.subtype == MEDIASUBTYPE_AVC1 || type.subtype == MEDIASUBTYPE_H264)
        return Reassembly::kH264;
    if (type.subtype == MEDIASUBTYPE_WVC1) return Reassembly::kVc1;
    return Reassembly::kNone;
}

HRESULT CMpegSplitterOutputPin::DeliverPacket(std::unique_ptr<Packet> packet) {
    if (packet->HasTime() && Kind() == kSubpicture) {
        // Subpictures come seconds apart: their gaps are not jumps. They follow the time
        // line as the video pin has smoothed it.
        const REFERENCE_TIME offset = splitter_->PublishedTimeOffset();
        packet->start_100ns += offset;
        packet->stop_100ns += offset;
    } else if (packet->HasTime()) {
        std::lock_guard lock(timing_mutex_);
        const REFERENCE_TIME t = packet->start_100ns + time_offset_100ns_;
        if (previous_start_100ns_ != kPacketNoTime &&
            (t - previous_start_100ns_ > kMaxTimeJump || previous_start_100ns_ - t > kMaxTimeJump))
            time_offset_100ns_ =
                previous_start_100ns_ - packet->start_100ns;  // continue from the previous time
        packet->start_100ns += time_offset_100ns_;
        packet->stop_100ns += time_offset_100ns_;
        previous_start_100ns_ = packet->start_100ns;
        if (Kind() == kVideo) splitter_->PublishTimeOffset(time_offset_100ns_);
    }
    if (packet->media_type &&
        *packet->media_type == static_cast<const AM_MEDIA_TYPE&>(CurrentMediaType()))
        packet->media_type.reset();
    const AM_MEDIA_TYPE& type = packet->media_type ? *packet->media_type : CurrentMediaType();

    switch (ReassemblyFor(type)) {
        case Reassembly::kHdmvLpcm:
            if (packet->data.size() <= 4) return S_OK;
            packet->data.erase(packet->data.begin(), packet->data.begin() + 4);
            return SendPacket(std::move(packet));
        case Reassembly::kAac:
        case Reassembly::kH264:
        case Reassembly::kVc1: {
            if (type.formattype == FORMAT_WaveFormatEx && type.pbFormat &&
                type.cbFormat >= sizeof(WAVEFORMATEX))
                aac_sample_rate_ = static_cast<int>(
                    reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat)->nSamplesPerSec);
            if (packet->HasTime() || !partial_ || packet->media_type) {
                HRESULT hr = SendAssembled();
                partial_ = std::move(packet);
                return hr;
            }
            partial_->data.insert(partial_->data.end(), packet->data.begin(), packet->data.end());
            return partial_->data.size() > kMaxPartialFrameBytes ? SendAssembled() : S_OK;
        }
        case Reassembly::kNone:
            partial_.reset();
            return SendPacket(std::move(packet));
    }
    return S_OK;
}

HRESULT CMpegSplitterOutputPin::SendAssembled() {
    if (!partial_) return S_OK;
    std::unique_ptr<Packet> packet = std::move(partial_);
    const AM_MEDIA_TYPE& type = packet->media_type ? *packet->media_type : CurrentMediaType();
    switch (ReassemblyFor(type)) {
        case Reassembly::kH264:
            packet->data = AnnexBToLengthPrefixed(packet->data);
            return SendPacket(std::move(packet));
        case Reassembly::kAac:
            return SendAacFrames(std::move(packet));
        default:
            return SendPacket(std::move(packet));
    }
}

HRESULT CMpegSplitterOutputPin::SendAacFrames(std::unique_ptr<Packet> packet) {
    // ADTS frames to raw frames (the type carries the decoder configuration).
    const std::vector<uint8_t>& d = packet->data;
    size_t i = 0;
    int frame = 0;
    HRESULT hr = S_OK;
    while (i + 7 <= d.size() && SUCCEEDED(hr)) {
        if (d[i] != 0xFF || (d[i + 1] & 0xF6) != 0xF0) {
            ++i;
            continue;
        }
        const size_t header = (d[i + 1] & 1) ? 7 : 9;
        const size_t length = (size_t{d[i + 3]} & 3) << 11 | size_t{d[i + 4]} << 3 | d[i + 5] >> 5;
        if (length <= header || i + length > d.size()) break;
        auto out = std::make_unique<Packet>();
        out->track = packet->track;
        out->data.assign(d.begin() + static_cast<std::ptrdiff_t>(i + header),
                         d.begin() + static_cast<std::ptrdiff_t>(i + length));
        if (frame == 0) {
            out->media_type = std::move(packet->media_type);
            out->discontinuity = packet->discontinuity;
        }
        out->sync_point = true;
        if (packet->HasTime() && aac_sample_rate_ > 0) {
            out->start_100ns =
                packet->start_100ns + int64_t{frame} * 1024 * UNITS / aac_sample_rate_;
            out->stop_100ns = out->start_100ns + 1024 * UNITS / aac_sample_rate_;
        }
        hr = SendPacket(std::move(out));
        i += length;
        ++frame;
    }
    return hr;
}

HRESULT CMpegSplitterOutputPin::BeforeEndOfStream() {
    return SendAssembled();
}

// ---------------------------------------------------------------------------------------
// Filter

ComPtr<IPin> SplitterOutput(IBaseFilter* splitter, StreamKind kind) {
    ComPtr<IPin> pin;
    if (!splitter || FAILED(splitter->FindPin(StreamKindName(kind), pin.ReleaseAndGetAddressOf())))
        return nullptr;
    return pin;
}

CMpegSplitterFilter::CMpegSplitterFilter(IUnknown* outer, HRESULT* hr)
    : CBaseSplitterFilter("mpeg splitter", outer, hr, CLSID_MpegSplitter) {
    std::lock_guard lock(g_title_mutex);
    g_title_info = {};
}

CMpegSplitterFilter::~CMpegSplitterFilter() {
    if (ThreadExists()) {
        // Stop the thread before the parser goes.
        Stop();
    }
}

HRESULT CMpegSplitterFilter::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IAMStreamSelect::iid)
        return GetInterface(static_cast<IAMStreamSelect*>(this), object);
    if (riid == IMyMpegSplitter::iid)
        return GetInterface(static_cast<IMyMpegSplitter*>(this), object);
    return CBaseSplitterFilter::NonDelegatingQueryInterface(riid, object);
}

MpegContainer CMpegSplitterFilter::Container() {
    CAutoLock lock(&lock_);
    return file_ ? file_->Container() : MpegContainer::kNone;
}

HRESULT CMpegSplitterFilter::SetTitleInfo(const dvd::DvdTitleInfo* title) {
    if (!title) return E_POINTER;
    std::lock_guard lock(g_title_mutex);
    g_title_info = *title;
    return S_OK;
}

HRESULT CMpegSplitterFilter::SetRange(int64_t start_ms, int64_t span_ms, int64_t duration_ms) {
    std::lock_guard lock(range_mutex_);
    range_start_100ns_ = start_ms * MILLISECONDS;
    range_span_100ns_ = span_ms * MILLISECONDS;
    duration_override_100ns_ = duration_ms * MILLISECONDS;
    if (duration_override_100ns_ > 0 && file_) {
        // The caller's duration (the title's, from the disc) replaces the
        // byte-rate guess at once, not only when delivery starts, so that a
        // player shows the real length before it first runs.
        std::lock_guard positions(positions_mutex_);
        duration_100ns_ = stop_100ns_ = new_stop_100ns_ = duration_override_100ns_;
    }
    return S_OK;
}

HRESULT CMpegSplitterFilter::AddOutput(uint32_t key, std::string* pin_name) {
    CAutoLock lock(&lock_);
    if (!file_) return E_UNEXPECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (PinForKey(key)) return S_FALSE;
    for (int kind = 0; kind < kStreamKinds; ++kind) {
        for (const SplitterStream& s : file_->Streams(static_cast<StreamKind>(kind))) {
            if (s.Key() != key) continue;
            int of_kind = 0;
            for (CBaseSplitterOutputPin* pin : OutputPins()) of_kind += pin->Kind() == kind ? 1 : 0;
            const std::string name =
                std::string(StreamKindName(kind)) + " " + std::to_string(of_kind + 1);
            HRESULT hr = S_OK;
            auto pin = std::make_unique<CMpegSplitterOutputPin>(
                std::vector<CMediaType>{s.type}, name.c_str(), this, &lock_, &hr, kind);
            if (FAILED(hr)) return hr;
            AddOutputPin(key, std::move(pin));
            if (pin_name) *pin_name = name;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

void CMpegSplitterFilter::ReleaseParser() {
    file_.reset();
    time_map_.Reset();
}

HRESULT CMpegSplitterFilter::BuildOutputPins(IAsyncReader* reader) {
    file_.reset();
    time_map_.Reset();
    // A DVD source knows its cells' times; a file source names its file.
    std::string source_name = file_name_;
    if (ComPtr<IPin> pin = ComPtr<IAsyncReader>(reader).As<IPin>()) {
        PIN_INFO info;
        if (SUCCEEDED(pin->QueryPinInfo(&info)) && info.pFilter) {
            time_map_ = info.pFilter.As<dvd::IMyDVDTimeMap>();
            if (ComPtr<IFileSourceFilter> source = info.pFilter.As<IFileSourceFilter>();
                source && source_name.empty())
                source->GetCurFile(&source_name, nullptr);
        }
    }
    // A Blu-ray clip (.../BDMV/STREAM/00001.m2ts) has its streams' codings and languages in
    // .../BDMV/CLIPINF/00001.clpi, a title those of its first clip. A DVD ("DVD") or a plain file
    // has none, and a clip whose information is missing or damaged is read from its transport
    // stream alone.
    LoadSourceClipInfo(source_name, &clip_info_);
    HRESULT hr = S_OK;
    file_ = std::make_unique<CMpegSplitterFile>(reader, &hr, CurrentTitleInfo(), clip_info_);
    if (FAILED(hr)) {
        file_.reset();
        return hr;
    }
    for (const ClipStreamEntry& clip : clip_info_.streams) {
        if (clip.coding_type != 0x90) continue;
        SplitterStream s;
        s.pid = clip.pid;
        s.stream_id = 0xBD;
        s.transport_type = 0x90;
        s.language = ClipLanguage(clip);
        s.type.majortype = MEDIATYPE_Subtitle;
        s.type.subtype = MEDIASUBTYPE_HDMVSUB;
        s.type.formattype = FORMAT_SubtitleFormat;
        SubtitleFormat info{};
        std::memcpy(info.iso_language, s.language.c_str(), std::min<size_t>(s.language.size(), 3));
        s.type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof(info));
        file_->AddStream(kSubpicture, std::move(s));
    }
    {
        std::lock_guard lock(positions_mutex_);
        duration_100ns_ = stop_100ns_ = new_start_100ns_ = new_stop_100ns_ = 0;
        current_100ns_ = 0;
    }
    for (int kind = 0; kind < kStreamKinds; ++kind) {
        const auto streams = file_->Streams(static_cast<StreamKind>(kind));
        if (streams.empty()) continue;
        HRESULT pin_hr = S_OK;
        auto pin = std::make_unique<CMpegSplitterOutputPin>(
            std::vector<CMediaType>{streams[0].type}, StreamKindName(kind), this, &lock_, &pin_hr,
            kind);
        if (SUCCEEDED(pin_hr)) AddOutputPin(streams[0].Key(), std::move(pin));
    }
    if (file_->IsRandomAccess() && file_->ByteRate() != 0) {
        std::lock_guard lock(positions_mutex_);
        duration_100ns_ = Scale(file_->DataLength(), file_->ByteRate(), UNITS);
        stop_100ns_ = new_stop_100ns_ = duration_100ns_;
    }
    return OutputPins().empty() ? E_FAIL : S_OK;
}

HRESULT CMpegSplitterFilter::PrepareDelivery() {
    if (!file_) return E_FAIL;
    time_base_100ns_ = 0;
    std::lock_guard range(range_mutex_);
    std::lock_guard positions(positions_mutex_);
    if (duration_override_100ns_)
        duration_100ns_ = duration_override_100ns_;
    else
        duration_override_100ns_ = duration_100ns_;
    if (range_span_100ns_ == 0) range_span_100ns_ = duration_100ns_;
    return S_OK;
}

bool CMpegSplitterFilter::PositionByCells(REFERENCE_TIME target) {
    if (!time_map_ || file_->Container() != MpegContainer::kProgramStream) return false;
    uint32_t key = 0;
    for (StreamKind kind : {kVideo, kAudio}) {
        for (const SplitterStream& s : file_->Streams(kind))
            if (!key && HasConnectedPin(s.Key())) key = s.Key();
    }
    dvd::DvdCellSpan cell;
    if (!key || FAILED(time_map_->FindTime(static_cast<double>(target) / 10000.0, &cell)) ||
        cell.end_byte <= cell.first_byte)
        return false;

    // A cell starts with a navigation pack: the stream's clock there.
    const int64_t first_sector = cell.first_byte / dvd::kDvdSectorBytes;
    NavigationSector nav;
    if (!ReadNavigation(first_sector, &nav)) return false;
    const REFERENCE_TIME cell_clock =
        static_cast<REFERENCE_TIME>(nav.start) * 1000 / 9 - file_->FirstTime();
    const REFERENCE_TIME cell_start = static_cast<REFERENCE_TIME>(cell.start_ms * 10000.0);
    // Inside the cell the clock runs on: the last sector whose next time
    // stamp is not past the target, by halving.
    const REFERENCE_TIME wanted = cell_clock + (target - cell_start);
    int64_t low = first_sector, high = cell.end_byte / dvd::kDvdSectorBytes;
    while (high - low > 1) {
        const int64_t middle = low + (high - low) / 2;
        file_->MoveTo(middle * dvd::kDvdSectorBytes);
        const REFERENCE_TIME p = file_->FindNextTimestamp(key);
        if (p == -1 || p > wanted || file_->Position() >= cell.end_byte)
            high = middle;
        else
            low = middle;
    }
    // Back to the start of that VOBU, so that the clock meets the
    // navigation pack of every VOBU from here on and sees the next restart.
    // Backwards a window at a time, each window read once.
    int64_t vobu = -1;
    for (int64_t block_end = low; vobu < 0 && block_end >= first_sector;
         block_end -= kScanSectors) {
        const int64_t block_start = std::max(first_sector, block_end - kScanSectors + 1);
        uint8_t byte = 0;
        file_->MoveTo(block_start * dvd::kDvdSectorBytes);
        file_->ReadBytes(&byte, 1);  // brings the block into the parser's window
        for (int64_t s = block_end; vobu < 0 && s >= block_start; --s)
            if (ReadNavigation(s, &nav)) vobu = s;
    }
    file_->MoveTo(std::max(vobu, first_sector) * dvd::kDvdSectorBytes);
    time_base_100ns_ = 0;
    vobu_clock_.Anchor(cell_start - cell_clock);
    return true;
}

bool CMpegSplitterFilter::ReadNavigation(int64_t sector, NavigationSector* nav) {
    uint8_t bytes[dvd::kDvdSectorBytes];
    file_->MoveTo(sector * dvd::kDvdSectorBytes);
    return SUCCEEDED(file_->ReadBytes(bytes, sizeof(bytes))) && ReadNavigationSector(bytes, nav);
}

void CMpegSplitterFilter::PositionForTime(REFERENCE_TIME t) {
    vobu_clock_.Reset();
    StreamKind first_kind = kVideo;
    std::vector<SplitterStream> first;
    for (int kind = 0; kind < kStreamKinds && first.empty(); ++kind) {
        first = file_->Streams(static_cast<StreamKind>(kind));
        first_kind = static_cast<StreamKind>(kind);
    }
    if (first.empty()) return;
    (void)first_kind;
    const int64_t length = file_->IsGrowing() ? file_->StreamLength() : file_->DataLength();
    REFERENCE_TIME duration = 0;
    {
        std::lock_guard lock(positions_mutex_);
        duration = duration_100ns_;
    }
    if (file_->IsGrowing()) {
        file_->MoveTo(std::max<int64_t>(0, length - kGrowingTailBytes));
        const REFERENCE_TIME next = file_->FindNextTimestamp(first[0].Key());
        if (next != -1) time_base_100ns_ = next + file_->FirstTime();
        return;
    }
    if (t <= UNITS || duration == 0) {
        file_->MoveTo(0);
        return;
    }
    const REFERENCE_TIME target = t - UNITS;
    if (PositionByCells(target)) {
        BackUpToPictureOnScreen();
        return;
    }
    const REFERENCE_TIME low = target - UNITS / 2;
    int64_t best = INT64_MAX;
    if (time_base_100ns_ == 0) {
        for (StreamKind kind : {kVideo, kAudio}) {
            for (const SplitterStream& s : file_->Streams(kind)) {
                if (!HasConnectedPin(s.Key())) continue;
                file_->MoveTo(Scale(t, duration, length));
                REFERENCE_TIME previous_dt = INT64_MIN;
                for (int attempt = 0; attempt < 10; ++attempt) {
                    const REFERENCE_TIME p = file_->FindNextTimestamp(s.Key());
                    if (p == -1) break;
                    REFERENCE_TIME dt = p - target;
                    if (dt > 0 && dt == previous_dt) dt = UNITS;
                    if ((low <= p && p <= target) || (previous_dt > 0 && dt < 0)) {
                        best = std::min(best, file_->Position());
                        break;
                    }
                    file_->MoveTo(file_->Position() - Scale(dt, duration, length));
                    previous_dt = dt;
                }
            }
        }
    }
    if (best == INT64_MAX) {
        file_->MoveTo(Scale(target, duration, length));
        const REFERENCE_TIME next = file_->FindNextTimestamp(first[0].Key());
        if (next != -1) time_base_100ns_ = next + file_->FirstTime() - target;
        best = file_->Position();
    }
    file_->MoveTo(best);
    BackUpToPictureOnScreen();
}

void CMpegSplitterFilter::BackUpToPictureOnScreen() {
    // A picture this far after the sound is not the one the reading should start with.
    constexpr REFERENCE_TIME kPictureGap = 2 * UNITS;
    constexpr int64_t kAheadBytes = int64_t{4} << 20, kBackBytes = int64_t{64} << 20;
    // The key of the first connected stream of a kind; 0 when none is.
    const auto connected = [this](StreamKind kind) -> uint32_t {
        for (const SplitterStream& s : file_->Streams(kind))
            if (HasConnectedPin(s.Key())) return s.Key();
        return 0;
    };
    const uint32_t video = connected(kVideo), audio = connected(kAudio);
    if (!video || !audio) return;
    const int64_t from = file_->Position();
    const REFERENCE_TIME sound = file_->FindNextTimestamp(audio, from + kAheadBytes);
    file_->MoveTo(from);
    const REFERENCE_TIME picture = file_->FindNextTimestamp(video, from + kAheadBytes);
    int64_t back = -1;
    if (sound != -1 && (picture == -1 || picture - sound > kPictureGap))
        back = file_->FindLastTimestampBefore(video, from, kBackBytes);
    file_->MoveTo(back >= 0 ? back : from);
}

void CMpegSplitterFilter::DeliveryLoop() {
    REFERENCE_TIME range_start = 0, range_span = 0;
    {
        std::lock_guard lock(range_mutex_);
        range_start = range_start_100ns_;
        range_span = range_span_100ns_;
    }
    if (range_start) PositionForTime(range_start);
    const REFERENCE_TIME base = time_base_100ns_ ? time_base_100ns_ : file_->FirstTime();
    HRESULT hr = S_OK;
    while (SUCCEEDED(hr) && !CommandPending()) {
        if (current_100ns_.load() >= range_start + range_span) break;
        if (file_->IsGrowing()) {
            if (file_->BytesLeft() < kReadAheadBytes) {
                WakeDeliveries();
                WaitForCommand(1);
                continue;
            }
        } else if (file_->BytesLeft() <= 0) {
            break;
        }
        const int64_t before = file_->Position();
        hr = ReadNextUnit(base);
        if (hr == S_FALSE) {
            // Data that is not there yet: wait for it (or a command). In a complete stream a
            // unit that does not read is skipped at once.
            if (file_->IsGrowing()) {
                WakeDeliveries();
                WaitForCommand(200);
            } else if (file_->Position() <= before)
                file_->MoveTo(before + 1);
        }
    }
    if (hr == DEMUX_E_SCRAMBLED) NotifyEvent(EC_ERRORABORT, static_cast<LONG_PTR>(hr), 0);
}

HRESULT CMpegSplitterFilter::ReadNextUnit(REFERENCE_TIME base) {
    CMpegSplitterFile& f = *file_;
    auto make_packet = [&](uint32_t key, bool timed, REFERENCE_TIME pts, int64_t end) {
        auto packet = std::make_unique<Packet>();
        packet->track = key;
        packet->sync_point = timed;
        packet->appendable = !timed;
        if (timed) {
            packet->start_100ns = vobu_clock_.Map(f.Unwrap(pts)) - base;
            packet->stop_100ns = packet->start_100ns + 1;
        }
        const int64_t size = std::min(end - f.Position(), f.BytesLeft());
        if (size > 0) {
            packet->data.resize(static_cast<size_t>(size));
            if (FAILED(f.ReadBytes(packet->data.data(), size))) packet->data.clear();
        }
        return packet;
    };

    switch (f.Container()) {
        case MpegContainer::kProgramStream:
        case MpegContainer::kPesStream: {
            uint8_t code = 0;
            if (!f.FindStartCode(code, 65536)) return S_FALSE;
            if (code == 0xBA) {
                PackHeader pack;
                return f.Read(pack) ? S_OK : S_FALSE;
            }
            if (code == 0xBB) {
                SystemHeader sys;
                return f.Read(sys) ? S_OK : S_FALSE;
            }
            if (code == 0xBE || code == 0xBF) {
                const int64_t length = static_cast<int64_t>(f.ReadBits(16));
                const int64_t end = f.Position() + length;
                if (code == 0xBF) {
                    // A navigation pack: its presentation data carries the VOBU's times.
                    uint8_t head[32];
                    const int64_t n = std::min<int64_t>(length, sizeof(head));
                    const int64_t sector = f.Position() / dvd::kDvdSectorBytes;
                    if (SUCCEEDED(f.ReadBytes(head, n)))
                        vobu_clock_.OnNavigationPack(
                            std::span<const uint8_t>(head, static_cast<size_t>(n)), sector);
                    REFERENCE_TIME lost_start = 0, lost_length = 0;
                    if (vobu_clock_.TakeLostStretch(&lost_start, &lost_length))
                        NotifyEvent(EC_DEMUX_LOST_STRETCH,
                                    static_cast<LONG_PTR>((lost_start - base) / 10000),
                                    static_cast<LONG_PTR>(lost_length / 10000));
                }
                f.MoveTo(end);
                return S_OK;
            }
            if (code < 0xBD || code > 0xEF) return S_OK;
            PesHeader pes;
            if (!f.Read(pes, code) || pes.length == 0) return S_FALSE;
            if (pes.mpeg_version == 2 && pes.scrambling) return DEMUX_E_SCRAMBLED;
            const int64_t end = f.Position() + pes.length;
            const uint32_t key = f.ClassifyPayload(0, code, pes.length);
            HRESULT hr = S_OK;
            if (HasConnectedPin(key))
                hr = RoutePacket(make_packet(key, pes.has_pts, pes.pts_100ns, end));
            f.MoveTo(end);
            return hr;
        }
        case MpegContainer::kTransportStream: {
            const int64_t before = f.Position();
            TransportHeader h;
            if (!f.Read(h, true)) {
                f.MoveTo(before + std::max(f.TransportPacketSize(), 1));
                return S_FALSE;
            }
            const int64_t payload = f.Position();
            if (h.has_payload && h.unit_start) {
                f.ReadProgramTables(h);
                f.MoveTo(payload);
            }
            HRESULT hr = S_OK;
            if (h.has_payload && h.pid >= 16 && h.pid < 8191 && h.scrambling == 0 &&
                payload < h.payload_end) {
                uint32_t key = h.pid;
                PesHeader pes;
                bool has_pes = false;
                if (h.unit_start && f.ReadBits(24, true) == 0x000001) {
                    f.ReadBits(24);
                    const uint8_t code = static_cast<uint8_t>(f.ReadBits(8));
                    if (f.Read(pes, code) && f.Position() <= h.payload_end) {
                        if (pes.mpeg_version == 2 && pes.scrambling) return DEMUX_E_SCRAMBLED;
                        has_pes = true;
                        key = f.ClassifyPayload(h.pid, code, h.payload_end - f.Position());
                    } else {
                        f.MoveTo(payload);
                    }
                }
                if (HasConnectedPin(key))
                    hr = RoutePacket(
                        make_packet(key, has_pes && pes.has_pts, pes.pts_100ns, h.payload_end));
            }
            f.MoveTo(h.next_packet);
            return hr;
        }
        case MpegContainer::kPvaStream: {
            const int64_t before = f.Position();
            PvaHeader h;
            if (!f.Read(h, true)) {
                // The search found no header in its whole window: go past it.
                f.MoveTo(std::max(f.Position(), before + 65536));
                return S_FALSE;
            }
            const int64_t end = f.Position() + h.length;
            HRESULT hr = S_OK;
            if (HasConnectedPin(h.stream_id))
                hr = RoutePacket(make_packet(h.stream_id, h.has_pts, h.pts_100ns, end));
            f.MoveTo(end);
            return hr;
        }
        case MpegContainer::kVideoStream: {
            // The decoder's parser finds the pictures; the pieces need no boundaries.
            constexpr int64_t kPieceBytes = 65536;
            const uint32_t key = 0xE000;
            if (!HasConnectedPin(key)) {
                f.MoveTo(f.StreamLength());
                return S_OK;
            }
            return RoutePacket(make_packet(key, false, 0, f.Position() + kPieceBytes));
        }
        case MpegContainer::kNone:
            break;
    }
    return E_FAIL;
}

// ---------------------------------------------------------------------------------------
// Stream selection

bool CMpegSplitterFilter::StreamAt(LONG index, SplitterStream* stream, StreamKind* kind) {
    if (!file_ || index < 0) return false;
    for (int k = 0; k < kStreamKinds; ++k) {
        const auto streams = file_->Streams(static_cast<StreamKind>(k));
        if (static_cast<size_t>(index) < streams.size()) {
            *stream = streams[static_cast<size_t>(index)];
            *kind = static_cast<StreamKind>(k);
            return true;
        }
        index -= static_cast<LONG>(streams.size());
    }
    return false;
}

HRESULT CMpegSplitterFilter::Count(DWORD* streams) {
    if (!streams) return E_POINTER;
    CAutoLock lock(&lock_);
    *streams = file_ ? static_cast<DWORD>(file_->StreamCount()) : 0;
    return S_OK;
}

HRESULT CMpegSplitterFilter::Info(LONG index, CMediaType* type, DWORD* flags, LCID* lcid,
                                  DWORD* group, std::string* name, IUnknown** object,
                                  IUnknown** unknown) {
    CAutoLock lock(&lock_);
    SplitterStream s;
    StreamKind kind = kVideo;
    if (!StreamAt(index, &s, &kind)) return S_OK;
    if (type) *type = s.type;
    if (flags) {
        *flags = 0;
        CBaseSplitterOutputPin* pin = PinForKey(s.Key());
        if (pin && pin->Kind() == kind)
            *flags = AMSTREAMSELECTINFO_ENABLED | AMSTREAMSELECTINFO_EXCLUSIVE;
    }
    const ClipStreamEntry* clip = s.pid ? FindClipStream(clip_info_, s.pid) : nullptr;
    if (lcid) *lcid = 0;
    if (group) *group = static_cast<DWORD>(kind);
    if (object) *object = nullptr;
    if (unknown) *unknown = nullptr;
    if (name) {
        const std::string triple = StreamTag(s.pid, s.stream_id, s.substream_id);
        if (kind == kSubpicture && s.pid == 1 && s.type.subtype == MEDIASUBTYPE_HDMVSUB &&
            s.language == "---") {
            *name = "No subtitles";
            if (lcid) *lcid = static_cast<LCID>(-1);
        } else {
            const std::string description = DescribeStream(s.type, clip, s.transport_type);
            if (!description.empty()) {
                *name = description + " " + triple;
            } else if (auto type_name =
                           StreamTypeName(clip ? clip->coding_type : s.transport_type)) {
                *name = std::string(StreamKindName(kind)) + " - " + *type_name + " " + triple;
            } else {
                *name = std::string(StreamKindName(kind)) + " " + triple;
            }
        }
    }
    return S_OK;
}

HRESULT CMpegSplitterFilter::Enable(LONG index, DWORD flags) {
    if (flags != AMSTREAMSELECTENABLE_ENABLE) return E_NOTIMPL;
    SplitterStream chosen;
    StreamKind kind = kVideo;
    {
        CAutoLock lock(&lock_);
        if (!StreamAt(index, &chosen, &kind)) return S_FALSE;
    }
    auto retarget_kind = [this](StreamKind k, const SplitterStream& to) -> HRESULT {
        for (CBaseSplitterOutputPin* pin : OutputPins()) {
            uint32_t old_key = 0;
            if (pin->Kind() != k || !KeyOfPin(pin, &old_key)) continue;
            if (old_key == to.Key()) return S_OK;
            return RetargetOutputPin(old_key, to.Key(), to.type);
        }
        return E_FAIL;
    };
    HRESULT hr = retarget_kind(kind, chosen);
    if (FAILED(hr)) return hr;
    uint16_t program = 0;
    if (chosen.pid && !clip_info_.loaded && file_->ProgramOfPid(chosen.pid, &program)) {
        const auto pids = file_->ProgramPids(program);
        for (int k = 0; k < kStreamKinds; ++k) {
            if (k == kind) continue;
            for (const SplitterStream& s : file_->Streams(static_cast<StreamKind>(k))) {
                if (std::find(pids.begin(), pids.end(), s.pid) == pids.end()) continue;
                retarget_kind(static_cast<StreamKind>(k), s);
                break;
            }
        }
    }
    return S_OK;
}

}  // namespace rizuvira::demux
