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

void CConvFilter::ReceiveVideo(IMediaSample* sample) {
    if (!Writer || !Writer->HasVideo()) return;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = IsTimed(sample->GetTime(&start, &stop));
    if (timed) {
        // The range ends before its stop time: a picture starting there is
        // the first of what follows the item.
        video_inside_ = !(stop < RangeStart || start >= RangeStop);
        if (!video_inside_) return;
    } else if (!video_inside_) {
        return;
    }

    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return;
    const LONG length = sample->GetActualDataLength();
    CopyPreview(data, length);

    CAutoLock lock(&lock_);
    REFERENCE_TIME next = next_video_time_.load();
    // An untimed picture fills the next slot.
    REFERENCE_TIME relative_stop = timed ? stop - RangeStart : next + 1;
    // No slot begins at or past the end of the range, whatever the picture's
    // stop time says.
    relative_stop = std::min(relative_stop, RangeStop - RangeStart);
    if (FrameInterval < 1.0) {
        // No frame clock was set: every picture once.
        if (Writer->WriteVideo(data, static_cast<size_t>(length)) == 0) next_video_time_ = relative_stop;
        return;
    }
    while (next < relative_stop) {
        if (Writer->WriteVideo(data, static_cast<size_t>(length)) != 0) break;
        next = static_cast<REFERENCE_TIME>(static_cast<double>(next) + FrameInterval);
        next_video_time_ = next;
    }
}

void CConvFilter::ReceiveAudio(IMediaSample* sample) {
    if (!Writer || !Writer->HasAudio()) return;
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
    CAutoLock lock(&lock_);
    if (timed) last_audio_start_ = start;
    if (timed && audio_rate_ > 0 && audio_block_ > 0) {
        // The sound keeps to its time stamps: a late start or a gap (a
        // track that begins after the pictures, a piece of the title with
        // less sound than pictures) is filled with silence, and sound that
        // overlaps what is written, or lies before the range, is cut, so the
        // offset against the pictures never builds up.
        const REFERENCE_TIME written = audio_frames_ * UNITS / audio_rate_;
        const REFERENCE_TIME gap = (start - RangeStart) - written;
        if (gap > kAudioSlack) {
            int64_t missing = gap * audio_rate_ / UNITS;
            std::vector<BYTE> silence;
            while (missing > 0) {
                const int64_t frames = std::min<int64_t>(missing, 4096);
                silence.assign(static_cast<size_t>(frames * audio_block_), 0);
                if (Writer->WriteAudio(silence.data(), silence.size()) != 0) break;
                audio_frames_ += frames;
                missing -= frames;
            }
        } else if (gap < -kAudioSlack) {
            const int64_t cut = std::min<int64_t>((-gap) * audio_rate_ / UNITS * audio_block_, length);
            data += cut;
            length -= static_cast<LONG>(cut);
            if (length <= 0) return;
        }
    }
    Writer->WriteAudio(data, static_cast<size_t>(length));
    if (audio_block_ > 0) audio_frames_ += length / audio_block_;
}

void CConvFilter::CopyPreview(const BYTE* picture, LONG length) {
    if (!PreviewEnabled.load()) return;
    if (g_preview_counter.fetch_add(1) % kPreviewEvery != 0) return;
    preview_pin_.SendCopy(picture, length, video_header_.biWidth, std::abs(video_header_.biHeight));
}

void CConvFilter::CheckAllEnded() {
    CAutoLock lock(&lock_);
    if (audio_pin_.IsConnected() && !audio_pin_.EndOfStreamSeen()) return;
    if (video_pin_.IsConnected() && !video_pin_.EndOfStreamSeen()) return;
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

}  // namespace rizuvira::engine
