#include "decoders/audio_renderer.h"

#include <SDL.h>

#include <new>

namespace rizuvira::decoders {

namespace {

// Samples are handed to the device this far ahead of their time, so it never runs dry
// between two samples.
constexpr REFERENCE_TIME kDeviceLead100ns = 50 * 10000;

const WAVEFORMATEX* ReadWaveFormat(const AM_MEDIA_TYPE& type) {
    if (type.majortype != MEDIATYPE_Audio || type.subtype != MEDIASUBTYPE_PCM ||
        type.formattype != FORMAT_WaveFormatEx || !type.pbFormat ||
        type.cbFormat < sizeof(WAVEFORMATEX))
        return nullptr;
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    if (wave->wBitsPerSample != 16 || wave->nChannels < 1 || wave->nChannels > 8 ||
        wave->nSamplesPerSec < 8000 || wave->nSamplesPerSec > 192000)
        return nullptr;
    return wave;
}

}  // namespace

// An open SDL2 playback device fed by queueing (no callback). Construction initialises
// SDL's audio subsystem and opens the default device; ok() is false when either fails, and
// the object then only undoes what it did. Application thread only for make and destroy.
class SdlAudioOutput {
public:
    SdlAudioOutput(int rate_hz, int channels) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
        initialised_ = true;
        SDL_AudioSpec wanted{};
        wanted.freq = rate_hz;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = static_cast<Uint8>(channels);
        wanted.samples = 1024;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    }
    ~SdlAudioOutput() {
        if (device_ != 0) SDL_CloseAudioDevice(device_);
        if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    SdlAudioOutput(const SdlAudioOutput&) = delete;
    SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;

    bool ok() const { return device_ != 0; }
    void Play(bool on) { SDL_PauseAudioDevice(device_, on ? 0 : 1); }
    void Queue(const uint8_t* data, uint32_t bytes) { SDL_QueueAudio(device_, data, bytes); }
    void Clear() { SDL_ClearQueuedAudio(device_); }

private:
    bool initialised_ = false;
    SDL_AudioDeviceID device_ = 0;
};

// ---------------------------------------------------------------------------------------
// Pin

CAudioRendererInputPin::CAudioRendererInputPin(CAudioRenderer* renderer, CCritSec* lock,
                                               HRESULT* hr)
    : CBaseInputPin("Audio renderer input", renderer, lock, hr, "Audio Input"),
      renderer_(renderer) {}

HRESULT CAudioRendererInputPin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    return ReadWaveFormat(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CAudioRendererInputPin::Receive(IMediaSample* sample) {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return renderer_->ReceiveSound(sample);
}

HRESULT CAudioRendererInputPin::EndOfStream() {
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    renderer_->SignalEndOfStream();
    return S_OK;
}

HRESULT CAudioRendererInputPin::BeginFlush() {
    const HRESULT hr = CBaseInputPin::BeginFlush();
    {
        std::lock_guard lock(renderer_->device_mutex_);
        if (renderer_->device_) renderer_->device_->Clear();
    }
    renderer_->wake_.Set();
    return hr;
}

HRESULT CAudioRendererInputPin::EndFlush() {
    {
        std::lock_guard lock(renderer_->eos_mutex_);
        renderer_->end_of_stream_ = false;
        renderer_->complete_sent_ = false;
    }
    return CBaseInputPin::EndFlush();
}

// ---------------------------------------------------------------------------------------
// Filter

CAudioRenderer::CAudioRenderer(IUnknown* outer, HRESULT* hr)
    : CBaseFilter("Audio renderer", outer, &lock_, CLSID_DSoundRender) {
    HRESULT pin_hr = S_OK;
    pin_ = std::make_unique<CAudioRendererInputPin>(this, &lock_, &pin_hr);
    clock_ = new (std::nothrow) CSystemClock;
    if (!clock_) pin_hr = E_OUTOFMEMORY;
    if (hr && FAILED(pin_hr)) *hr = pin_hr;
}

CAudioRenderer::~CAudioRenderer() = default;

HRESULT CAudioRenderer::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyAudioRenderer::iid)
        return GetInterface(static_cast<IMyAudioRenderer*>(this), object);
    if (riid == IAMFilterMiscFlags::iid)
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
    if (riid == IMediaSeeking::iid) {
        // Seeking goes upstream to the splitter, which performs it.
        CAutoLock lock(&lock_);
        if (!position_) {
            HRESULT hr = S_OK;
            position_ =
                std::make_unique<CPosPassThru>("Renderer seeking", GetOwner(), &hr, pin_.get());
        }
        return position_->NonDelegatingQueryInterface(riid, object);
    }
    if (riid == IReferenceClock::iid && clock_)
        return GetInterface(static_cast<IReferenceClock*>(clock_.Get()), object);
    return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

CBasePin* CAudioRenderer::GetPin(int index) {
    return index == 0 ? pin_.get() : nullptr;
}

bool CAudioRenderer::IsAudible() {
    std::lock_guard lock(device_mutex_);
    return device_ != nullptr;
}

HRESULT CAudioRenderer::Stop() {
    const HRESULT hr = CBaseFilter::Stop();
    {
        std::lock_guard lock(eos_mutex_);
        end_of_stream_ = false;
        complete_sent_ = false;
    }
    wake_.Set();
    std::lock_guard lock(device_mutex_);
    device_.reset();
    return hr;
}

HRESULT CAudioRenderer::Pause() {
    const bool was_stopped = IsStopped();
    const HRESULT hr = CBaseFilter::Pause();
    if (SUCCEEDED(hr) && was_stopped && pin_->IsConnected()) {
        if (const WAVEFORMATEX* wave = ReadWaveFormat(pin_->CurrentMediaType())) {
            auto output = std::make_unique<SdlAudioOutput>(static_cast<int>(wave->nSamplesPerSec),
                                                           static_cast<int>(wave->nChannels));
            std::lock_guard lock(device_mutex_);
            if (output->ok()) device_ = std::move(output);
        }
    }
    {
        std::lock_guard lock(device_mutex_);
        if (device_) device_->Play(false);
    }
    wake_.Set();
    return hr;
}

HRESULT CAudioRenderer::Run(REFERENCE_TIME start) {
    const HRESULT hr = CBaseFilter::Run(start);
    if (FAILED(hr)) return hr;
    {
        std::lock_guard lock(device_mutex_);
        if (device_) device_->Play(true);
    }
    wake_.Set();
    bool post = false;
    {
        std::lock_guard lock(eos_mutex_);
        if ((end_of_stream_ || !pin_->IsConnected()) && !complete_sent_)
            post = complete_sent_ = true;
    }
    if (post) NotifyEvent(EC_COMPLETE, S_OK, 0);
    return hr;
}

void CAudioRenderer::SignalEndOfStream() {
    bool post = false;
    {
        std::lock_guard lock(eos_mutex_);
        end_of_stream_ = true;
        if (State() == State_Running && !complete_sent_) post = complete_sent_ = true;
    }
    if (post) NotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT CAudioRenderer::ReceiveSound(IMediaSample* sample) {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    const LONG bytes = sample->GetActualDataLength();
    if (bytes <= 0) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    // Stream time, as the video renderer reckons it: title time minus the segment's start.
    start -= pin_->CurrentStartTime();
    stop -= pin_->CurrentStartTime();
    // Sound before the segment's start (the run-up to a seek target) is not played.
    if (timed && stop <= 0) return S_OK;
    if (!WaitForRenderTime(timed, start - kDeviceLead100ns)) return S_OK;
    std::lock_guard lock(device_mutex_);
    if (device_) device_->Queue(data, static_cast<uint32_t>(bytes));
    return S_OK;
}

bool CAudioRenderer::WaitForRenderTime(bool timed, REFERENCE_TIME start_100ns) {
    for (;;) {
        if (IsStopped() || pin_->IsFlushing()) return false;
        if (State() == State_Paused) {
            wake_.Wait();
            continue;
        }
        ComPtr<IReferenceClock> clock = Clock();
        if (!clock || !timed) return true;
        REFERENCE_TIME now = 0;
        const REFERENCE_TIME base = StartTime();
        if (FAILED(clock->GetTime(&now)) || now >= base + start_100ns) return true;
        DWORD_PTR cookie = 0;
        if (FAILED(clock->AdviseTime(base, start_100ns, &wake_, &cookie))) return true;
        wake_.Wait();
        clock->Unadvise(cookie);
    }
}

}  // namespace rizuvira::decoders
