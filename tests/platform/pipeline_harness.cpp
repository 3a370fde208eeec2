// SPDX-License-Identifier: GPL-2.0-or-later
#include "pipeline_harness.h"

#include <cstring>

namespace rizuvira::platform {

namespace harness {

CMediaType MakeVideoType(LONG width, LONG height) {
    CMediaType mt(MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_YV12);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    vih->AvgTimePerFrame = 400000;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 3;
    vih->bmiHeader.biBitCount = 12;
    vih->bmiHeader.biCompression = MakeFourCC('Y', 'V', '1', '2');
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 3 / 2);
    mt.SetSampleSize(vih->bmiHeader.biSizeImage);
    return mt;
}

CMediaType MakeAudioType(WORD channels, DWORD rate) {
    CMediaType mt(MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    wfx->wFormatTag = WAVE_FORMAT_PCM;
    wfx->nChannels = channels;
    wfx->nSamplesPerSec = rate;
    wfx->wBitsPerSample = 16;
    wfx->nBlockAlign = static_cast<WORD>(channels * 2);
    wfx->nAvgBytesPerSec = rate * wfx->nBlockAlign;
    return mt;
}

std::vector<BYTE> Pattern(std::size_t size, BYTE seed) {
    std::vector<BYTE> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>(seed + i);
    return data;
}

// ---------------------------------------------------------------------------------------
// Source

CTestSourcePin::CTestSourcePin(CTestSource* filter, CCritSec* lock, HRESULT* hr)
    : CBaseOutputPin("Test source pin", filter, lock, hr, "Out"), source_(filter) {}

HRESULT CTestSourcePin::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), object);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, object);
}

HRESULT CTestSourcePin::CheckMediaType(const CMediaType* type) {
    const CMediaType& offered = source_->offered_type();
    return type->majortype == offered.majortype && type->subtype == offered.subtype ? S_OK
                                                                                    : S_FALSE;
}

HRESULT CTestSourcePin::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return type->Set(source_->offered_type());
}

HRESULT CTestSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    request->cBuffers = std::max(request->cBuffers, source_->buffers());
    request->cbBuffer = std::max(request->cbBuffer, source_->buffer_size());
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CTestSourcePin::GetCapabilities(DWORD* capabilities) {
    *capabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                    AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos |
                    AM_SEEKING_CanGetDuration;
    return S_OK;
}

HRESULT CTestSourcePin::CheckCapabilities(DWORD* capabilities) {
    DWORD ours = 0;
    GetCapabilities(&ours);
    const DWORD asked = *capabilities;
    *capabilities &= ours;
    return *capabilities == asked ? S_OK : S_FALSE;
}

HRESULT CTestSourcePin::IsFormatSupported(const GUID* format) {
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CTestSourcePin::QueryPreferredFormat(GUID* format) {
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT CTestSourcePin::GetTimeFormat(GUID* format) {
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT CTestSourcePin::IsUsingTimeFormat(const GUID* format) {
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CTestSourcePin::SetTimeFormat(const GUID* format) {
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT CTestSourcePin::GetDuration(LONGLONG* duration) {
    *duration = 10 * UNITS;
    return S_OK;
}

HRESULT CTestSourcePin::GetStopPosition(LONGLONG* stop) {
    std::lock_guard lock(seek_mutex_);
    *stop = stop_;
    return S_OK;
}

HRESULT CTestSourcePin::GetCurrentPosition(LONGLONG* current) {
    std::lock_guard lock(seek_mutex_);
    *current = current_;
    return S_OK;
}

HRESULT CTestSourcePin::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                     DWORD stop_flags) {
    LONGLONG start = 0;
    LONGLONG end = 0;
    double rate = 1.0;
    {
        std::lock_guard lock(seek_mutex_);
        if ((current_flags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning)
            current_ = *current;
        if ((stop_flags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning)
            stop_ = *stop;
        ++seeks_;
        start = current_;
        end = stop_;
        rate = rate_;
    }
    if (IsConnected()) {
        DeliverBeginFlush();
        DeliverEndFlush();
        DeliverNewSegment(start, end, rate);
    }
    return S_OK;
}

HRESULT CTestSourcePin::GetPositions(LONGLONG* current, LONGLONG* stop) {
    std::lock_guard lock(seek_mutex_);
    if (current) *current = current_;
    if (stop) *stop = stop_;
    return S_OK;
}

HRESULT CTestSourcePin::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    if (earliest) *earliest = 0;
    if (latest) *latest = 10 * UNITS;
    return S_OK;
}

HRESULT CTestSourcePin::SetRate(double rate) {
    if (rate <= 0) return E_INVALIDARG;
    std::lock_guard lock(seek_mutex_);
    rate_ = rate;
    return S_OK;
}

HRESULT CTestSourcePin::GetRate(double* rate) {
    std::lock_guard lock(seek_mutex_);
    *rate = rate_;
    return S_OK;
}

HRESULT CTestSourcePin::GetPreroll(LONGLONG* preroll) {
    *preroll = 0;
    return S_OK;
}

int CTestSourcePin::seek_count() const {
    std::lock_guard lock(seek_mutex_);
    return seeks_;
}

LONGLONG CTestSourcePin::current_position() const {
    std::lock_guard lock(seek_mutex_);
    return current_;
}

CTestSource::CTestSource(CMediaType type, LONG buffers, LONG buffer_size)
    : CBaseFilter("Test source", nullptr, &lock_, CLSID_TestSource),
      type_(std::move(type)),
      buffers_(buffers),
      buffer_size_(buffer_size),
      pin_(this, &lock_, nullptr) {}

CTestSource::~CTestSource() = default;

CBasePin* CTestSource::GetPin(int index) {
    return index == 0 ? &pin_ : nullptr;
}

HRESULT CTestSource::Push(const std::vector<BYTE>& data, std::optional<REFERENCE_TIME> start,
                          std::optional<REFERENCE_TIME> stop, SampleFlags flags,
                          const AM_MEDIA_TYPE* type_change) {
    ComPtr<IMediaSample> sample;
    HRESULT hr = pin_.GetDeliveryBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (static_cast<LONG>(data.size()) > sample->GetSize()) return E_INVALIDARG;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    sample->SetActualDataLength(static_cast<LONG>(data.size()));
    if (start)
        sample->SetTime(&*start, stop ? &*stop : nullptr);
    else
        sample->SetTime(nullptr, nullptr);
    sample->SetSyncPoint(flags.sync_point);
    sample->SetDiscontinuity(flags.discontinuity);
    sample->SetPreroll(flags.preroll);
    if (flags.video)
        if (ComPtr<IMediaSampleVideoFlags> video = sample.As<IMediaSampleVideoFlags>())
            video->SetVideoFlags(*flags.video);
    if (type_change) sample->SetMediaType(type_change);
    last_buffer_ = buffer;
    return pin_.Deliver(sample.Get());
}

HRESULT CTestSource::EndOfStream() {
    return pin_.DeliverEndOfStream();
}
HRESULT CTestSource::BeginFlush() {
    return pin_.DeliverBeginFlush();
}
HRESULT CTestSource::EndFlush() {
    return pin_.DeliverEndFlush();
}
HRESULT CTestSource::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return pin_.DeliverNewSegment(start, stop, rate);
}

// ---------------------------------------------------------------------------------------
// Sink

CCollectingSinkPin::CCollectingSinkPin(CCollectingSink* filter, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("Collecting sink pin", filter, lock, hr, "In"), sink_(filter) {}

HRESULT CCollectingSinkPin::CheckMediaType(const CMediaType* type) {
    const GUID& major = sink_->accepted_major_;
    const GUID& subtype = sink_->accepted_subtype_;
    if ((major == GUID_NULL || type->majortype == major) &&
        (subtype == GUID_NULL || type->subtype == subtype))
        return S_OK;
    return S_FALSE;
}

HRESULT CCollectingSinkPin::Receive(IMediaSample* sample) {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    if (sink_->fail_receives_) return E_FAIL;
    {
        std::unique_lock lock(sink_->mutex_);
        if (sink_->gate_closed_) {
            sink_->blocked_in_receive_ = true;
            sink_->changed_.notify_all();
            sink_->changed_.wait(lock, [&] { return !sink_->gate_closed_ || sink_->released_; });
            sink_->blocked_in_receive_ = false;
            if (sink_->released_) return S_FALSE;
        }
    }
    sink_->Record(sample);
    return S_OK;
}

HRESULT CCollectingSinkPin::EndOfStream() {
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    sink_->RecordEvent({SinkEvent::kEndOfStream});
    sink_->NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
}

HRESULT CCollectingSinkPin::BeginFlush() {
    CBaseInputPin::BeginFlush();
    {
        std::lock_guard lock(sink_->mutex_);
        sink_->released_ = true;
    }
    sink_->changed_.notify_all();
    sink_->ReleaseHeld();
    sink_->RecordEvent({SinkEvent::kBeginFlush});
    return S_OK;
}

HRESULT CCollectingSinkPin::EndFlush() {
    {
        std::lock_guard lock(sink_->mutex_);
        sink_->released_ = false;
    }
    sink_->RecordEvent({SinkEvent::kEndFlush});
    return CBaseInputPin::EndFlush();
}

HRESULT CCollectingSinkPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    CBaseInputPin::NewSegment(start, stop, rate);
    sink_->RecordEvent({SinkEvent::kNewSegment, 0, start, stop, rate});
    return S_OK;
}

CCollectingSink::CCollectingSink(const GUID& major, const GUID& subtype)
    : CBaseFilter("Collecting sink", nullptr, &lock_, CLSID_CollectingSink),
      accepted_major_(major),
      accepted_subtype_(subtype),
      pin_(this, &lock_, nullptr) {}

CCollectingSink::~CCollectingSink() {
    ReleaseHeld();
}

HRESULT CCollectingSink::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMediaSeeking::iid) {
        CAutoLock lock(&lock_);
        if (!position_) {
            HRESULT hr = S_OK;
            position_ = std::make_unique<CPosPassThru>("Sink seeking", GetOwner(), &hr, &pin_);
        }
        return position_->NonDelegatingQueryInterface(riid, object);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

CBasePin* CCollectingSink::GetPin(int index) {
    return index == 0 ? &pin_ : nullptr;
}

HRESULT CCollectingSink::Stop() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
    ReleaseHeld();
    const HRESULT hr = CBaseFilter::Stop();
    std::lock_guard lock(mutex_);
    released_ = false;
    return hr;
}

void CCollectingSink::CloseGate() {
    std::lock_guard lock(mutex_);
    gate_closed_ = true;
}

void CCollectingSink::OpenGate() {
    {
        std::lock_guard lock(mutex_);
        gate_closed_ = false;
    }
    changed_.notify_all();
}

void CCollectingSink::WaitUntilBlockedInReceive() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return blocked_in_receive_; });
}

void CCollectingSink::Record(IMediaSample* sample) {
    ReceivedSample r;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    r.data.assign(buffer, buffer + sample->GetActualDataLength());
    r.buffer = buffer;
    r.time_result = sample->GetTime(&r.start, &r.stop);
    r.media_times = sample->GetMediaTime(&r.media_start, &r.media_stop) == S_OK;
    r.flags.sync_point = sample->IsSyncPoint() == S_OK;
    r.flags.discontinuity = sample->IsDiscontinuity() == S_OK;
    r.flags.preroll = sample->IsPreroll() == S_OK;
    {
        ComPtr<IMediaSample> held(sample);
        DWORD video = 0;
        if (ComPtr<IMediaSampleVideoFlags> flags = held.As<IMediaSampleVideoFlags>())
            if (flags->GetVideoFlags(&video) == S_OK) r.flags.video = video;
    }
    CMediaType change;
    r.type_change = sample->GetMediaType(&change) == S_OK;
    {
        std::lock_guard lock(mutex_);
        samples_.push_back(std::move(r));
        events_.push_back({SinkEvent::kSample, samples_.size() - 1});
        if (held_.size() < hold_limit_) held_.emplace_back(sample);
    }
    changed_.notify_all();
}

void CCollectingSink::RecordEvent(SinkEvent event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        if (event.kind == SinkEvent::kEndOfStream) ++end_of_stream_;
    }
    changed_.notify_all();
}

void CCollectingSink::HoldSamples(std::size_t count) {
    std::lock_guard lock(mutex_);
    hold_limit_ = count;
}

void CCollectingSink::ReleaseHeld() {
    std::vector<ComPtr<IMediaSample>> released;
    {
        std::lock_guard lock(mutex_);
        released.swap(held_);
        hold_limit_ = 0;
    }
}

void CCollectingSink::WaitForSamples(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return samples_.size() >= count; });
}

void CCollectingSink::WaitForEndOfStream() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return end_of_stream_ > 0; });
}

std::vector<ReceivedSample> CCollectingSink::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

std::vector<SinkEvent> CCollectingSink::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

int CCollectingSink::end_of_stream_count() const {
    std::lock_guard lock(mutex_);
    return end_of_stream_;
}

void CCollectingSink::Clear() {
    std::lock_guard lock(mutex_);
    samples_.clear();
    events_.clear();
    end_of_stream_ = 0;
}

// ---------------------------------------------------------------------------------------
// Transform

CInvertTransform::CInvertTransform() : CTransformFilter("Invert", nullptr, CLSID_TestInvert) {}

HRESULT CInvertTransform::Transform(IMediaSample* in, IMediaSample* out) {
    BYTE* source = nullptr;
    BYTE* target = nullptr;
    in->GetPointer(&source);
    out->GetPointer(&target);
    const LONG length = in->GetActualDataLength();
    if (length > 0 && source[0] == 0xDD) return S_FALSE;
    if (length > out->GetSize()) return E_FAIL;
    for (LONG i = 0; i < length; ++i) target[i] = static_cast<BYTE>(~source[i]);
    return out->SetActualDataLength(length);
}

HRESULT CInvertTransform::CheckInputType(const CMediaType* type) {
    return type->majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CInvertTransform::CheckTransform(const CMediaType* in, const CMediaType* out) {
    return *in == *out ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CInvertTransform::DecideBufferSize(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
    request->cBuffers = std::max<LONG>(request->cBuffers, 2);
    request->cbBuffer = std::max<LONG>(request->cbBuffer, 4096);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CInvertTransform::GetMediaType(int position, CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return type->Set(InputPin()->CurrentMediaType());
}

HRESULT CInvertTransform::InitializeOutputSample(IMediaSample* in, ComPtr<IMediaSample>* out) {
    if (before_output_buffer) before_output_buffer();
    return CTransformFilter::InitializeOutputSample(in, out);
}

HRESULT CInvertTransform::StartStreaming() {
    ++starts_;
    return S_OK;
}

HRESULT CInvertTransform::StopStreaming() {
    ++stops_;
    return S_OK;
}

}  // namespace harness

}  // namespace rizuvira::platform
