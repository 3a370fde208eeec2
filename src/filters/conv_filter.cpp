// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/conv_filter.h"

extern "C" {
#include <libavutil/buffer.h>
}

#include <vector>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/media_sample.h"
#include "platform/uuids.h"

namespace rizuvira::filters {
namespace {

// Shared by every converter sink of the process: the first picture received
// is copied to the preview, then every fifth.
std::atomic<uint32_t> g_preview_counter{0};
constexpr uint32_t kPreviewEvery = 5;

bool IsTimed(HRESULT time_result) {
    return time_result == S_OK || time_result == VFW_S_NO_STOP_TIME;
}

// The sample's bytes; false when it has none.
bool SampleBytes(IMediaSample* sample, BYTE** data, LONG* length) {
    if (FAILED(sample->GetPointer(data)) || !*data) return false;
    *length = sample->GetActualDataLength();
    return *length > 0;
}

std::string InputPinName(CConvInputPin::Kind kind, int track) {
    switch (kind) {
        case CConvInputPin::Kind::kVideo:
            return "Video In";
        case CConvInputPin::Kind::kAudio:
            return track == 0 ? "Audio In" : "Audio In " + std::to_string(track + 1);
        case CConvInputPin::Kind::kSubtitle:
            return "Subtitle In " + std::to_string(track + 1);
    }
    return {};
}

}  // namespace

// --- input pins -----------------------------------------------------------------

CConvInputPin::CConvInputPin(CConvFilter* filter, Kind kind, int track, HRESULT* hr)
    : CBaseInputPin("Converter sink input pin", filter, &filter->lock_, hr,
                    InputPinName(kind, track).c_str()),
      filter_(filter),
      kind_(kind),
      track_(track) {}

HRESULT CConvInputPin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    proposed_ = *type;
    return S_OK;
}

HRESULT CConvInputPin::CompleteConnect(IPin* receive_pin) {
    const HRESULT hr = CBaseInputPin::CompleteConnect(receive_pin);
    if (FAILED(hr)) return hr;
    if (kind_ == Kind::kVideo)
        filter_->OnVideoConnected(proposed_);
    else if (kind_ == Kind::kAudio)
        filter_->OnAudioConnected(*filter_->sound_[static_cast<size_t>(track_)], proposed_);
    return S_OK;
}

HRESULT CConvInputPin::Receive(IMediaSample* sample) {
    if (!sample) return S_OK;
    switch (kind_) {
        case Kind::kVideo:
            filter_->ReceiveVideo(sample);
            break;
        case Kind::kAudio:
            filter_->ReceiveAudio(*filter_->sound_[static_cast<size_t>(track_)], sample);
            break;
        case Kind::kSubtitle:
            filter_->ReceiveSubtitle(track_, sample);
            break;
    }
    return S_OK;
}

HRESULT CConvInputPin::EndOfStream() {
    end_of_stream_seen_ = true;
    if (kind_ == Kind::kSubtitle) return S_OK;  // the item ends with its pictures and sound
    filter_->CheckAllEnded();
    return S_OK;
}

// --- "Video Pre" ------------------------------------------------------------------

CVideoPrePin::CVideoPrePin(CConvFilter* filter, HRESULT* hr)
    : CBaseOutputPin("Video Pre pin", filter, &filter->lock_, hr, "Video Pre") {}

CVideoPrePin::~CVideoPrePin() = default;

void CVideoPrePin::SetOfferedType(const CMediaType& type) {
    offered_ = type;
    if (const BITMAPINFOHEADER* header = GetBitmapInfoHeader(type)) header_ = *header;
}

HRESULT CVideoPrePin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0 || offered_.majortype == GUID_NULL) return VFW_S_NO_MORE_ITEMS;
    *type = offered_;
    return S_OK;
}

HRESULT CVideoPrePin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    if (const BITMAPINFOHEADER* header = GetBitmapInfoHeader(*type)) stride_ = header->biWidth;
    return S_OK;
}

HRESULT CVideoPrePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    ALLOCATOR_PROPERTIES wanted{};
    wanted.cBuffers = 5;
    wanted.cbBuffer = static_cast<LONG>(header_.biSizeImage);
    if (wanted.cbBuffer == 0) wanted.cbBuffer = header_.biWidth * std::abs(header_.biHeight) * 4;
    wanted.cbAlign = 1;
    wanted.cbPrefix = 0;
    (void)request;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < wanted.cBuffers || actual.cbBuffer < wanted.cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CVideoPrePin::Active() {
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    if (IsConnected() && !queue_) {
        hr = S_OK;
        auto queue = std::make_unique<COutputQueue>(GetConnected(), &hr, false, true, 5, false, 5);
        if (FAILED(hr)) return hr;
        queue_ = std::move(queue);
    }
    return S_OK;
}

HRESULT CVideoPrePin::Inactive() {
    queue_.reset();
    return CBaseOutputPin::Inactive();
}

HRESULT CVideoPrePin::DeliverEndOfStream() {
    if (queue_) queue_->EOS();
    return S_OK;
}

void CVideoPrePin::SendCopy(const BYTE* picture, LONG length, int width, int height) {
    if (!queue_ || width <= 0 || height <= 0) return;
    const LONG picture_bytes = static_cast<LONG>(width) * height * 3 / 2;
    if (length < picture_bytes) return;
    IMediaSample* sample = nullptr;
    if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) return;
    const int stride = stride_ >= width ? stride_ : width;
    const LONG copy_bytes = static_cast<LONG>(stride) * height * 3 / 2;
    BYTE* out = nullptr;
    if (FAILED(sample->GetPointer(&out)) || sample->GetSize() < copy_bytes) {
        sample->Release();
        return;
    }
    // Luma, then the two chroma planes in the order they come, at half the stride.
    for (int row = 0; row < height; ++row)
        std::memcpy(out + static_cast<size_t>(row) * stride,
                    picture + static_cast<size_t>(row) * width, static_cast<size_t>(width));
    const BYTE* in_plane = picture + static_cast<size_t>(width) * height;
    BYTE* out_plane = out + static_cast<size_t>(stride) * height;
    for (int plane = 0; plane < 2; ++plane) {
        for (int row = 0; row < height / 2; ++row)
            std::memcpy(out_plane + static_cast<size_t>(row) * (stride / 2),
                        in_plane + static_cast<size_t>(row) * (width / 2),
                        static_cast<size_t>(width / 2));
        in_plane += static_cast<size_t>(width / 2) * (height / 2);
        out_plane += static_cast<size_t>(stride / 2) * (height / 2);
    }
    sample->SetActualDataLength(copy_bytes);
    sample->SetTime(nullptr, nullptr);
    queue_->Receive(sample);  // the queue takes our reference
}

// --- the filter -------------------------------------------------------------------

CConvFilter* CConvFilter::CreateInstance(IUnknown* outer, HRESULT* hr, int sound_tracks,
                                         int subtitle_tracks) {
    HRESULT result = S_OK;
    CConvFilter* filter =
        new (std::nothrow) CConvFilter(outer, &result, sound_tracks, subtitle_tracks);
    if (!filter) result = E_OUTOFMEMORY;
    if (FAILED(result)) {
        delete filter;
        filter = nullptr;
    }
    if (hr) *hr = result;
    return filter;
}

CConvFilter::CConvFilter(IUnknown* outer, HRESULT* hr, int sound_tracks, int subtitle_tracks)
    : CBaseFilter("Converter sink", outer, &lock_, CLSID_ConvFilter),
      video_pin_(this, CConvInputPin::Kind::kVideo, 0, hr),
      preview_pin_(this, hr) {
    for (int track = 0; track < std::max(1, sound_tracks); ++track) {
        auto sound = std::unique_ptr<Sound>(new (std::nothrow) Sound(this, track, hr));
        if (!sound) {
            if (hr) *hr = E_OUTOFMEMORY;
            return;
        }
        sound_.push_back(std::move(sound));
    }
    for (int track = 0; track < subtitle_tracks; ++track) {
        auto pin = std::unique_ptr<CConvInputPin>(
            new (std::nothrow) CConvInputPin(this, CConvInputPin::Kind::kSubtitle, track, hr));
        if (!pin) {
            if (hr) *hr = E_OUTOFMEMORY;
            return;
        }
        subtitle_pins_.push_back(std::move(pin));
    }
}

CConvFilter::~CConvFilter() = default;

CBasePin* CConvFilter::GetPin(int index) {
    if (index < 0) return nullptr;
    switch (index) {
        case 0:
            return sound_.empty() ? nullptr : &sound_[0]->pin;
        case 1:
            return &video_pin_;
        case 2:
            return &preview_pin_;
        default:
            break;
    }
    size_t rest = static_cast<size_t>(index) - 3;
    if (rest + 1 < sound_.size()) return &sound_[rest + 1]->pin;
    rest -= sound_.size() - 1;
    return rest < subtitle_pins_.size() ? subtitle_pins_[rest].get() : nullptr;
}

HRESULT CConvFilter::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMediaSeeking::iid) return GetSeekingPassThrough(riid, object);
    return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

HRESULT CConvFilter::GetSeekingPassThrough(const GUID& riid, void** object) {
    {
        CAutoLock lock(&lock_);
        if (!position_) {
            HRESULT hr = S_OK;
            auto position = std::unique_ptr<CPosPassThru>(new (std::nothrow) CPosPassThru(
                "Converter sink seeking", GetOwner(), &hr, &sound_[0]->pin));
            if (!position) return E_OUTOFMEMORY;
            if (FAILED(hr)) return E_NOINTERFACE;
            position_ = std::move(position);
        }
    }
    return position_->NonDelegatingQueryInterface(riid, object);
}

void CConvFilter::OnVideoConnected(const CMediaType& type) {
    if (const BITMAPINFOHEADER* header = GetBitmapInfoHeader(type)) video_header_ = *header;
    preview_pin_.SetOfferedType(type);
}

void CConvFilter::OnAudioConnected(Sound& sound, const CMediaType& type) {
    const WAVEFORMATEX* wave = type.FormatAs<WAVEFORMATEX>();
    sound.rate = wave ? static_cast<int64_t>(wave->nSamplesPerSec) : 0;
    sound.block = wave ? wave->nBlockAlign : 0;
    sound.floats = type.subtype == MEDIASUBTYPE_IEEE_FLOAT;
}

HRESULT CConvFilter::Stop() {
    // Set before the lock is taken: a streaming thread that holds it in a
    // loop sees this and lets go.
    stopping_ = true;
    WakeSoundWaiter();
    const HRESULT hr = CBaseFilter::Stop();
    // The upstream allocator gets its sample back before it is decommitted for good.
    CAutoLock lock(&lock_);
    held_picture_.KeepCopy();
    return hr;
}

void CConvFilter::HeldPicture::Hold(IMediaSample* sample, const BYTE* data, size_t length,
                                    bool keep_sample) {
    if (keep_sample) {
        sample_ = sample;
        data_ = data;
    } else {
        sample_.Reset();
        copy_.assign(data, data + length);
        data_ = copy_.data();
    }
    length_ = length;
}

void CConvFilter::HeldPicture::KeepCopy() {
    if (!sample_) return;
    copy_.assign(data_, data_ + length_);
    data_ = copy_.data();
    sample_.Reset();
}

void CConvFilter::WakeSoundWaiter() {
    { std::lock_guard lock(flow_mutex_); }
    flow_changed_.notify_all();
}

void CConvFilter::WaitForPictures(Sound& sound) {
    std::unique_lock lock(flow_mutex_);
    sound.held_back = true;
    REFERENCE_TIME seen = next_video_time_.load();
    while (!Stopping() && !write_failed_.load() && !pictures_stalled_.load() &&
           PicturesExpected() && sound.reached.load() - next_video_time_.load() > kMaxSoundLead) {
        if (flow_changed_.wait_for(lock, kPictureStall) == std::cv_status::timeout &&
            next_video_time_.load() == seen) {
            pictures_stalled_ = true;
            break;
        }
        seen = next_video_time_.load();
    }
    sound.held_back = false;
}

HRESULT CConvFilter::Pause() {
    if (IsStopped()) stopping_ = false;
    return CBaseFilter::Pause();
}

namespace {

struct PictureLoan {
    IMediaSample* sample;
    std::shared_ptr<std::atomic<long>> kept;  // null when the writer gives it back at once
};

}  // namespace

AVBufferRef* CConvFilter::LendPicture(IMediaSample* sample, const BYTE* picture, size_t length) {
    if (!sample) return nullptr;
    std::shared_ptr<std::atomic<long>> kept;
    if (Writer->KeepsLentPictures()) {
        if (kept_loans_->load() + kLendReserve >= CMediaSample::AllocatorBuffers(sample))
            return nullptr;
        kept = kept_loans_;
    }
    auto* loan = new (std::nothrow) PictureLoan{sample, kept};
    if (!loan) return nullptr;
    AVBufferRef* lent = av_buffer_create(
        const_cast<uint8_t*>(picture), length,
        [](void* opaque, uint8_t*) {
            std::unique_ptr<PictureLoan> loan(static_cast<PictureLoan*>(opaque));
            if (loan->kept) --*loan->kept;
            loan->sample->Release();
        },
        loan, AV_BUFFER_FLAG_READONLY);
    if (!lent) {
        delete loan;
        return nullptr;
    }
    sample->AddRef();
    if (kept) ++*kept;
    return lent;
}

void CConvFilter::FillSlots(const BYTE* picture, size_t length, REFERENCE_TIME until,
                            IMediaSample* sample) {
    if (FrameInterval < 1.0 || write_failed_.load()) return;
    until = std::min(until, RangeStop - RangeStart);
    REFERENCE_TIME next = next_video_time_.load();
    // Slots are whole 100-ns units apart, rounded up: a clock that ran ahead of the pictures'
    // own (417083 for 1001/24000 s) would give a picture that stops a unit past a slot's start
    // that slot as well, one picture shown twice.
    const auto step = static_cast<REFERENCE_TIME>(std::ceil(FrameInterval - 1e-3));
    while (next < until && !Stopping()) {
        if (Writer->WriteVideo(picture, length, LendPicture(sample, picture, length)) != 0) {
            WriteFailedLocked();
            break;
        }
        next += step;
        next_video_time_ = next;
    }
    // A waiting sound thread goes on once the pictures have caught up by kSoundResume, not
    // at every picture.
    for (const auto& sound : sound_) {
        if (sound->held_back.load() &&
            sound->reached.load() - next <= kMaxSoundLead - kSoundResume) {
            WakeSoundWaiter();
            break;
        }
    }
}

REFERENCE_TIME CConvFilter::SoundReached(const Sound& sound) {
    if (sound.copied) return sound.copied_end;
    return sound.rate > 0 ? sound.frames * UNITS / sound.rate : 0;
}

REFERENCE_TIME CConvFilter::FurthestSound() const {
    REFERENCE_TIME furthest = 0;
    for (const auto& sound : sound_) furthest = std::max(furthest, SoundReached(*sound));
    return furthest;
}

bool CConvFilter::PicturesExpected() const {
    return !completed_ && Writer && Writer->HasVideo() && video_pin_.IsConnected() &&
           !video_pin_.EndOfStreamSeen();
}

void CConvFilter::WriteSound(Sound& sound, const BYTE* data, size_t length) {
    if (length == 0 || write_failed_.load()) return;
    // A track the file has no room for (a container of one sound track) is
    // taken and dropped.
    const auto format = sound.floats ? core::MediaFileWriter::SoundSamples::kFloat
                                     : core::MediaFileWriter::SoundSamples::kInt16;
    if (sound.pin.track() < Writer->sound_tracks() &&
        Writer->WriteAudio(sound.pin.track(), data, length, format) != 0) {
        WriteFailedLocked();
        return;
    }
    if (sound.rate > 0 && sound.block > 0) {
        sound.written_frames += static_cast<int64_t>(length) / sound.block;
        if (sound.pin.track() == 0) audio_written_time_ = sound.written_frames * UNITS / sound.rate;
    }
}

void CConvFilter::WriteFailedLocked() {
    if (write_failed_.exchange(true)) return;
    WakeSoundWaiter();
    NotifyEvent(EC_ERRORABORT, CONV_E_WRITE,
                reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

void CConvFilter::ReleaseSound(Sound& sound, bool all) {
    const size_t waiting = sound.waiting.size() - sound.waiting_begin;
    if (waiting == 0) return;
    size_t release = waiting;
    if (!all && sound.rate > 0 && sound.block > 0 && PicturesExpected()) {
        // Once the pictures have stalled, the sound goes on without them.
        const REFERENCE_TIME allowed =
            pictures_stalled_.load() ? SoundReached(sound) : next_video_time_.load();
        const int64_t waiting_frames = static_cast<int64_t>(waiting) / sound.block;
        const int64_t allowed_frames =
            allowed * sound.rate / UNITS - (sound.frames - waiting_frames);
        release = static_cast<size_t>(std::clamp<int64_t>(allowed_frames, 0, waiting_frames)) *
                  sound.block;
    }
    WriteSound(sound, sound.waiting.data() + sound.waiting_begin, release);
    sound.waiting_begin += release;
    if (sound.waiting_begin == sound.waiting.size()) {
        sound.waiting.clear();
        sound.waiting_begin = 0;
    } else if (sound.waiting_begin > sound.waiting.size() / 2) {
        sound.waiting.erase(
            sound.waiting.begin(),
            sound.waiting.begin() + static_cast<std::ptrdiff_t>(sound.waiting_begin));
        sound.waiting_begin = 0;
    }
}

void CConvFilter::ReleaseAllSound(bool all) {
    for (const auto& sound : sound_) ReleaseSound(*sound, all);
}

void CConvFilter::ReceiveVideo(IMediaSample* sample) {
    if (!Writer || !Writer->HasVideo() || Stopping() || write_failed_.load()) return;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = IsTimed(sample->GetTime(&start, &stop));
    BYTE* data = nullptr;
    LONG length = 0;
    if (!SampleBytes(sample, &data, &length)) return;
    if (timed) {
        // The range ends before its stop time: a picture starting there is
        // the first of what follows the item.
        video_inside_ = !(stop < RangeStart || start >= RangeStop);
        if (!video_inside_) {
            if (start < RangeStart) {
                // What is on screen when the range starts.
                CAutoLock lock(&lock_);
                held_picture_.Hold(sample, data, static_cast<size_t>(length),
                                   CMediaSample::AllocatorBuffers(sample) >= 2);
            }
            return;
        }
    } else if (!video_inside_) {
        return;
    }

    CopyPreview(data, length);
    pictures_stalled_ = false;

    CAutoLock lock(&lock_);
    if (Stopping() || write_failed_.load()) return;
    const REFERENCE_TIME range = RangeStop - RangeStart;
    REFERENCE_TIME until = next_video_time_.load() + 1;  // an untimed picture fills the next slot
    if (timed) {
        REFERENCE_TIME relative_start = start - RangeStart - video_skipped_;
        REFERENCE_TIME relative_stop = stop - RangeStart - video_skipped_;
        const REFERENCE_TIME next = next_video_time_.load();
        const REFERENCE_TIME sound = SoundReached();
        if (relative_start - next > std::max(kMaxGap, sound - next)) {
            // A break in the clock: the pictures catch up with the sound
            // and go on from where the file stands.
            if (!held_picture_.empty())
                FillSlots(held_picture_.data(), held_picture_.size(), sound);
            const REFERENCE_TIME skip = relative_start - next_video_time_.load();
            video_skipped_ += skip;
            relative_start -= skip;
            relative_stop -= skip;
        } else if (!held_picture_.empty() && relative_start > next) {
            // A gap before this picture: the one on screen stays in the
            // slots that end before it starts; a slot it starts in is its own.
            FillSlots(held_picture_.data(), held_picture_.size(),
                      relative_start - static_cast<REFERENCE_TIME>(FrameInterval) + 1);
        }
        until = std::min(relative_stop, relative_start + kMaxGap);
    }
    // No slot begins at or past the end of the range, whatever the picture's
    // stop time says.
    until = std::min(until, range);
    if (FrameInterval < 1.0) {
        // No frame clock was set: every picture once.
        if (Writer->WriteVideo(data, static_cast<size_t>(length),
                               LendPicture(sample, data, static_cast<size_t>(length))) == 0)
            next_video_time_ = until;
        else
            WriteFailedLocked();
    } else {
        FillSlots(data, static_cast<size_t>(length), until, sample);
    }
    held_picture_.Hold(sample, data, static_cast<size_t>(length),
                       CMediaSample::AllocatorBuffers(sample) >= 2);
    ReleaseAllSound(false);
}

void CConvFilter::ReceiveCopiedSound(Sound& sound, IMediaSample* sample) {
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = IsTimed(sample->GetTime(&start, &stop));
    // A packet that starts a little before the range may hold its first frames.
    constexpr REFERENCE_TIME kLeadIn = UNITS / 2;
    if (timed) {
        sound.inside = start >= RangeStart - kLeadIn && start < RangeStop;
        if (!sound.inside) return;
    } else if (!sound.inside) {
        return;
    }
    BYTE* data = nullptr;
    LONG length = 0;
    if (!SampleBytes(sample, &data, &length)) return;
    WaitForPictures(sound);
    CAutoLock lock(&lock_);
    if (Stopping() || write_failed_.load()) return;
    const int track = sound.pin.track();
    if (timed && track == 0) last_audio_start_ = start;
    const int64_t file_time =
        timed ? FileOffset + (start - RangeStart) : core::MediaFileWriter::kUntimed;
    if (Writer->WriteCodedSound(track, data, static_cast<size_t>(length), file_time, FileOffset) !=
        0) {
        WriteFailedLocked();
        return;
    }
    sound.copied_end =
        std::max<REFERENCE_TIME>(0, Writer->coded_sound_end_100ns(track) - FileOffset);
    sound.reached = sound.copied_end;
    if (track == 0) audio_written_time_ = sound.copied_end;
}

void CConvFilter::ReceiveAudio(Sound& sound, IMediaSample* sample) {
    if (!Writer || !Writer->HasAudio() || Stopping() || write_failed_.load()) return;
    if (Writer->CopiesSound(sound.pin.track())) {
        sound.copied = true;
        ReceiveCopiedSound(sound, sample);
        return;
    }
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = IsTimed(sample->GetTime(&start, &stop));
    if (timed) {
        sound.inside = !(stop < RangeStart || start >= RangeStop);
        if (!sound.inside) return;
    } else if (!sound.inside) {
        return;
    }
    BYTE* data = nullptr;
    LONG length = 0;
    if (!SampleBytes(sample, &data, &length)) return;
    WaitForPictures(sound);
    CAutoLock lock(&lock_);
    if (Stopping() || write_failed_.load()) return;
    if (timed && sound.pin.track() == 0) last_audio_start_ = start;
    if (sound.rate <= 0 || sound.block <= 0) {
        // Without a known format the sound cannot be timed: as it comes.
        WriteSound(sound, data, static_cast<size_t>(length));
        return;
    }
    if (timed) {
        // The sound keeps to its time stamps: a late start or a gap (a
        // track that begins after the pictures, a piece of the title with
        // less sound than pictures) is filled with silence, and sound that
        // overlaps what is written, or lies before the range, is cut, so the
        // offset against the pictures never builds up.
        const REFERENCE_TIME taken = SoundReached(sound);
        REFERENCE_TIME gap = (start - RangeStart - sound.skipped) - taken;
        const REFERENCE_TIME pictures_ahead = next_video_time_.load() - taken;
        if (gap > std::max(kMaxGap, pictures_ahead)) {
            // A break in the clock: silence up to the pictures at most, then
            // the sound goes on from where the file stands.
            const REFERENCE_TIME pad = std::max<REFERENCE_TIME>(0, pictures_ahead);
            sound.skipped += gap - pad;
            gap = pad;
        }
        if (gap > kAudioSlack) {
            const int64_t missing = gap * sound.rate / UNITS;
            sound.waiting.resize(sound.waiting.size() + static_cast<size_t>(missing * sound.block),
                                 0);
            sound.frames += missing;
            sound.reached = SoundReached(sound);
        } else if (gap < -kAudioSlack) {
            const int64_t cut =
                std::min<int64_t>((-gap) * sound.rate / UNITS * sound.block, length);
            data += cut;
            length -= static_cast<LONG>(cut);
            if (length <= 0) return;
        }
    }
    sound.waiting.insert(sound.waiting.end(), data, data + length);
    sound.frames += length / sound.block;
    sound.reached = SoundReached(sound);
    ReleaseSound(sound, false);
}

void CConvFilter::ReceiveSubtitle(int track, IMediaSample* sample) {
    if (!Writer || Stopping() || write_failed_.load()) return;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = IsTimed(sample->GetTime(&start, &stop));
    BYTE* data = nullptr;
    LONG length = 0;
    if (!SampleBytes(sample, &data, &length)) return;
    CAutoLock lock(&lock_);
    if (Stopping() || write_failed_.load() || track >= Writer->subtitle_tracks()) return;
    int64_t file_time = core::MediaFileWriter::kUntimed;
    if (timed) {
        // A subpicture shown before the range or after it is left out (its
        // pieces too: they begin no unit).
        const REFERENCE_TIME relative = start - RangeStart - video_skipped_;
        if (start < RangeStart || start >= RangeStop) {
            file_time = -1;
        } else {
            file_time = FileOffset + std::max<REFERENCE_TIME>(0, relative);
        }
    }
    if (Writer->WriteSubtitle(track, data, static_cast<size_t>(length), file_time) != 0)
        WriteFailedLocked();
}

void CConvFilter::CopyPreview(const BYTE* picture, LONG length) {
    if (!PreviewEnabled.load()) return;
    if (g_preview_counter.fetch_add(1) % kPreviewEvery != 0) return;
    preview_pin_.SendCopy(picture, length, video_header_.biWidth, std::abs(video_header_.biHeight));
}

void CConvFilter::CheckAllEnded() {
    CAutoLock lock(&lock_);
    if (write_failed_.load()) return;  // the item ended with its abort
    for (const auto& sound : sound_) {
        if (sound->pin.IsConnected() && !sound->pin.EndOfStreamSeen()) {
            // The pictures may have ended: what waits for them goes out.
            if (!Stopping() && Writer) ReleaseAllSound(false);
            WakeSoundWaiter();
            return;
        }
    }
    if (video_pin_.IsConnected() && !video_pin_.EndOfStreamSeen()) return;
    if (!completed_ && !Stopping() && Writer) {
        // A picture whose sound runs on (a still picture) stays up until the
        // sound ends, so the next item of a merged file starts after both.
        if (Writer->HasVideo() && !held_picture_.empty())
            FillSlots(held_picture_.data(), held_picture_.size(), FurthestSound());
        ReleaseAllSound(true);
    }
    completed_ = true;
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

}  // namespace rizuvira::filters
