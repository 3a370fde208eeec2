#include "filters/conv_filter.h"

#include <vector>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/uuids.h"

namespace rizuvira::engine {
namespace {

// Shared by every converter sink of the process: the first picture received
// is copied to the preview, then every fifth.
std::atomic<uint32_t> g_preview_counter{0};
constexpr uint32_t kPreviewEvery = 5;


bool IsTimed(HRESULT time_result) { return time_result == S_OK || time_result == VFW_S_NO_STOP_TIME; }

}  // namespace

// --- input pins -----------------------------------------------------------------

CConvInputPin::CConvInputPin(CConvFilter* filter, Kind kind, HRESULT* hr)
    : CBaseInputPin(kind == Kind::kAudio ? "Audio In pin" : "Video In pin", filter, &filter->lock_, hr,
                    kind == Kind::kAudio ? "Audio In" : "Video In"),
      filter_(filter),
      kind_(kind) {}

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
    else
        filter_->OnAudioConnected(proposed_);
    return S_OK;
}

HRESULT CConvInputPin::Receive(IMediaSample* sample) {
    if (!sample) return S_OK;
    if (kind_ == Kind::kVideo)
        filter_->ReceiveVideo(sample);
    else
        filter_->ReceiveAudio(sample);
    return S_OK;
}

HRESULT CConvInputPin::EndOfStream() {
    end_of_stream_seen_ = true;
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
        std::memcpy(out + static_cast<size_t>(row) * stride, picture + static_cast<size_t>(row) * width,
                    static_cast<size_t>(width));
    const BYTE* in_plane = picture + static_cast<size_t>(width) * height;
    BYTE* out_plane = out + static_cast<size_t>(stride) * height;
    for (int plane = 0; plane < 2; ++plane) {
        for (int row = 0; row < height / 2; ++row)
            std::memcpy(out_plane + static_cast<size_t>(row) * (stride / 2),
                        in_plane + static_cast<size_t>(row) * (width / 2), static_cast<size_t>(width / 2));
        in_plane += static_cast<size_t>(width / 2) * (height / 2);
        out_plane += static_cast<size_t>(stride / 2) * (height / 2);
    }
    sample->SetActualDataLength(copy_bytes);
    sample->SetTime(nullptr, nullptr);
    queue_->Receive(sample);  // the queue takes our reference
}

// --- the filter -------------------------------------------------------------------

CConvFilter* CConvFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
    HRESULT result = S_OK;
    CConvFilter* filter = new (std::nothrow) CConvFilter(outer, &result);
    if (!filter) result = E_OUTOFMEMORY;
    if (FAILED(result)) {
        delete filter;
        filter = nullptr;
    }
    if (hr) *hr = result;
    return filter;
}

CConvFilter::CConvFilter(IUnknown* outer, HRESULT* hr)
    : CBaseFilter("Converter sink", outer, &lock_, CLSID_ConvFilter),
      audio_pin_(this, CConvInputPin::Kind::kAudio, hr),
      video_pin_(this, CConvInputPin::Kind::kVideo, hr),
      preview_pin_(this, hr) {}

CConvFilter::~CConvFilter() = default;

CBasePin* CConvFilter::GetPin(int index) {
    switch (index) {
        case 0: return &audio_pin_;
        case 1: return &video_pin_;
        case 2: return &preview_pin_;
        default: return nullptr;
    }
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
            auto position = std::unique_ptr<CPosPassThru>(
                new (std::nothrow) CPosPassThru("Converter sink seeking", GetOwner(), &hr, &audio_pin_));
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

void CConvFilter::OnAudioConnected(const CMediaType& type) {
    const WAVEFORMATEX* wave = type.FormatAs<WAVEFORMATEX>();
    audio_rate_ = wave ? static_cast<int64_t>(wave->nSamplesPerSec) : 0;
    audio_block_ = wave ? wave->nBlockAlign : 0;
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

void CConvFilter::HeldPicture::Hold(IMediaSample* sample, const BYTE* data, size_t length, bool keep_sample) {
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

bool CConvFilter::CanHoldVideoSamples() {
    // One sample held here leaves the upstream filter another to fill.
    IMemAllocator* allocator = video_pin_.PeekAllocator();
    ALLOCATOR_PROPERTIES properties{};
    return allocator && SUCCEEDED(allocator->GetProperties(&properties)) && properties.cBuffers >= 2;
}

void CConvFilter::WakeSoundWaiter() {
    { std::lock_guard lock(flow_mutex_); }
    flow_changed_.notify_all();
}

void CConvFilter::WaitForPictures() {
    std::unique_lock lock(flow_mutex_);
    REFERENCE_TIME seen = next_video_time_.load();
    while (!Stopping() && !write_failed_.load() && !pictures_stalled_.load() &&
           PicturesExpected() && sound_reached_.load() - next_video_time_.load() > kMaxSoundLead) {
        if (flow_changed_.wait_for(lock, kPictureStall) == std::cv_status::timeout &&
            next_video_time_.load() == seen) {
            pictures_stalled_ = true;
            break;
        }
        seen = next_video_time_.load();
    }
}

HRESULT CConvFilter::Pause() {
    if (IsStopped()) stopping_ = false;
    return CBaseFilter::Pause();
}

void CConvFilter::FillSlots(const BYTE* picture, size_t length, REFERENCE_TIME until) {
    if (FrameInterval < 1.0 || write_failed_.load()) return;
    until = std::min(until, RangeStop - RangeStart);
    REFERENCE_TIME next = next_video_time_.load();
    while (next < until && !Stopping()) {
        if (Writer->WriteVideo(picture, length) != 0) {
            WriteFailedLocked();
            break;
        }
        next = static_cast<REFERENCE_TIME>(static_cast<double>(next) + FrameInterval);
        next_video_time_ = next;
    }
    // A waiting sound thread goes on once the pictures have caught up by kSoundResume, not
    // at every picture.
    if (sound_reached_.load() - next <= kMaxSoundLead - kSoundResume) WakeSoundWaiter();
}

REFERENCE_TIME CConvFilter::SoundReached() const {
    return audio_rate_ > 0 ? audio_frames_ * UNITS / audio_rate_ : 0;
}

bool CConvFilter::PicturesExpected() const {
    return !completed_ && Writer && Writer->HasVideo() && video_pin_.IsConnected() &&
           !video_pin_.EndOfStreamSeen();
}

void CConvFilter::WriteSound(const BYTE* data, size_t length) {
    if (length == 0 || write_failed_.load()) return;
    if (Writer->WriteAudio(data, length) != 0) {
        WriteFailedLocked();
        return;
    }
    if (audio_rate_ > 0 && audio_block_ > 0) {
        audio_written_frames_ += static_cast<int64_t>(length) / audio_block_;
        audio_written_time_ = audio_written_frames_ * UNITS / audio_rate_;
    }
}

void CConvFilter::WriteFailedLocked() {
    if (write_failed_.exchange(true)) return;
    WakeSoundWaiter();
    NotifyEvent(EC_ERRORABORT, CONV_E_WRITE, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

void CConvFilter::ReleaseSound(bool all) {
    const size_t waiting = sound_waiting_.size() - sound_waiting_begin_;
    if (waiting == 0) return;
    size_t release = waiting;
    if (!all && audio_rate_ > 0 && audio_block_ > 0 && PicturesExpected()) {
        // Once the pictures have stalled, the sound goes on without them.
        const REFERENCE_TIME allowed =
            pictures_stalled_.load() ? SoundReached() : next_video_time_.load();
        const int64_t waiting_frames = static_cast<int64_t>(waiting) / audio_block_;
        const int64_t allowed_frames =
            allowed * audio_rate_ / UNITS - (audio_frames_ - waiting_frames);
        release = static_cast<size_t>(std::clamp<int64_t>(allowed_frames, 0, waiting_frames)) *
                  audio_block_;
    }
    WriteSound(sound_waiting_.data() + sound_waiting_begin_, release);
    sound_waiting_begin_ += release;
    if (sound_waiting_begin_ == sound_waiting_.size()) {
        sound_waiting_.clear();
        sound_waiting_begin_ = 0;
    } else if (sound_waiting_begin_ > sound_waiting_.size() / 2) {
        sound_waiting_.erase(
            sound_waiting_.begin(),
            sound_waiting_.begin() + static_cast<std::ptrdiff_t>(sound_waiting_begin_));
        sound_waiting_begin_ = 0;
    }
}

void CConvFilter::ReceiveVideo(IMediaSample* sample) {
    if (!Writer || !Writer->HasVideo() || Stopping() || write_failed_.load()) return;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = IsTimed(sample->GetTime(&start, &stop));
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return;
    const LONG length = sample->GetActualDataLength();
    if (length <= 0) return;
    if (timed) {
        // The range ends before its stop time: a picture starting there is
        // the first of what follows the item.
        video_inside_ = !(stop < RangeStart || start >= RangeStop);
        if (!video_inside_) {
            if (start < RangeStart) {
                // What is on screen when the range starts.
                CAutoLock lock(&lock_);
                held_picture_.Hold(sample, data, static_cast<size_t>(length), CanHoldVideoSamples());
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
        if (Writer->WriteVideo(data, static_cast<size_t>(length)) == 0)
            next_video_time_ = until;
        else
            WriteFailedLocked();
    } else {
        FillSlots(data, static_cast<size_t>(length), until);
    }
    held_picture_.Hold(sample, data, static_cast<size_t>(length), CanHoldVideoSamples());
    ReleaseSound(false);
}

void CConvFilter::ReceiveAudio(IMediaSample* sample) {
    if (!Writer || !Writer->HasAudio() || Stopping() || write_failed_.load()) return;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = IsTimed(sample->GetTime(&start, &stop));
    if (timed) {
        audio_inside_ = !(stop < RangeStart || start >= RangeStop);
        if (!audio_inside_) return;
    } else if (!audio_inside_) {
        return;
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return;
    LONG length = sample->GetActualDataLength();
    if (length <= 0) return;
    WaitForPictures();
    CAutoLock lock(&lock_);
    if (Stopping() || write_failed_.load()) return;
    if (timed) last_audio_start_ = start;
    if (audio_rate_ <= 0 || audio_block_ <= 0) {
        // Without a known format the sound cannot be timed: as it comes.
        WriteSound(data, static_cast<size_t>(length));
        return;
    }
    if (timed) {
        // The sound keeps to its time stamps: a late start or a gap (a
        // track that begins after the pictures, a piece of the title with
        // less sound than pictures) is filled with silence, and sound that
        // overlaps what is written, or lies before the range, is cut, so the
        // offset against the pictures never builds up.
        const REFERENCE_TIME taken = SoundReached();
        REFERENCE_TIME gap = (start - RangeStart - audio_skipped_) - taken;
        const REFERENCE_TIME pictures_ahead = next_video_time_.load() - taken;
        if (gap > std::max(kMaxGap, pictures_ahead)) {
            // A break in the clock: silence up to the pictures at most, then
            // the sound goes on from where the file stands.
            const REFERENCE_TIME pad = std::max<REFERENCE_TIME>(0, pictures_ahead);
            audio_skipped_ += gap - pad;
            gap = pad;
        }
        if (gap > kAudioSlack) {
            const int64_t missing = gap * audio_rate_ / UNITS;
            sound_waiting_.resize(
                sound_waiting_.size() + static_cast<size_t>(missing * audio_block_), 0);
            audio_frames_ += missing;
            sound_reached_ = SoundReached();
        } else if (gap < -kAudioSlack) {
            const int64_t cut = std::min<int64_t>((-gap) * audio_rate_ / UNITS * audio_block_, length);
            data += cut;
            length -= static_cast<LONG>(cut);
            if (length <= 0) return;
        }
    }
    sound_waiting_.insert(sound_waiting_.end(), data, data + length);
    audio_frames_ += length / audio_block_;
    sound_reached_ = SoundReached();
    ReleaseSound(false);
}

void CConvFilter::CopyPreview(const BYTE* picture, LONG length) {
    if (!PreviewEnabled.load()) return;
    if (g_preview_counter.fetch_add(1) % kPreviewEvery != 0) return;
    preview_pin_.SendCopy(picture, length, video_header_.biWidth, std::abs(video_header_.biHeight));
}

void CConvFilter::CheckAllEnded() {
    CAutoLock lock(&lock_);
    if (write_failed_.load()) return;  // the item ended with its abort
    if (audio_pin_.IsConnected() && !audio_pin_.EndOfStreamSeen()) {
        // The pictures may have ended: what waits for them goes out.
        if (!Stopping() && Writer) ReleaseSound(false);
        WakeSoundWaiter();
        return;
    }
    if (video_pin_.IsConnected() && !video_pin_.EndOfStreamSeen()) return;
    if (!completed_ && !Stopping() && Writer) {
        // A picture whose sound runs on (a still picture) stays up until the
        // sound ends, so the next item of a merged file starts after both.
        if (Writer->HasVideo() && !held_picture_.empty())
            FillSlots(held_picture_.data(), held_picture_.size(), SoundReached());
        ReleaseSound(true);
    }
    completed_ = true;
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

}  // namespace rizuvira::engine
