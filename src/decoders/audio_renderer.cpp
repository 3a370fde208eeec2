// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/audio_renderer.h"

#include <SDL.h>
#include <dlfcn.h>

#include <new>
#include <type_traits>

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

// SDL2's audio calls, from the library loaded at run time: a machine without it (a
// conversion node) installs and runs the command line without sound libraries, and
// playback there is silent. Loaded once, never unloaded.
struct SdlLibrary {
    decltype(&SDL_InitSubSystem) init = nullptr;
    decltype(&SDL_QuitSubSystem) quit = nullptr;
    decltype(&SDL_OpenAudioDevice) open = nullptr;
    decltype(&SDL_CloseAudioDevice) close = nullptr;
    decltype(&SDL_PauseAudioDevice) pause = nullptr;
    decltype(&SDL_QueueAudio) queue = nullptr;
    decltype(&SDL_ClearQueuedAudio) clear = nullptr;

    static const SdlLibrary* Get() {
        static const SdlLibrary library = Load();
        return library.clear ? &library : nullptr;
    }

private:
    static SdlLibrary Load() {
        SdlLibrary l;
        void* handle = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return l;
        const auto find = [handle](auto& function, const char* name) {
            function =
                reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
            return function != nullptr;
        };
        if (!(find(l.init, "SDL_InitSubSystem") && find(l.quit, "SDL_QuitSubSystem") &&
              find(l.open, "SDL_OpenAudioDevice") && find(l.close, "SDL_CloseAudioDevice") &&
              find(l.pause, "SDL_PauseAudioDevice") && find(l.queue, "SDL_QueueAudio") &&
              find(l.clear, "SDL_ClearQueuedAudio")))
            l.clear = nullptr;
        return l;
    }
};

// An open SDL2 playback device fed by queueing (no callback). Construction initialises
// SDL's audio subsystem and opens the default device; ok() is false when either fails (or
// SDL2 is not installed), and the object then only undoes what it did. Application thread
// only for make and destroy.
class SdlAudioOutput {
public:
    SdlAudioOutput(int rate_hz, int channels) : sdl_(SdlLibrary::Get()) {
        if (!sdl_ || sdl_->init(SDL_INIT_AUDIO) != 0) return;
        initialised_ = true;
        SDL_AudioSpec wanted{};
        wanted.freq = rate_hz;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = static_cast<Uint8>(channels);
        wanted.samples = 1024;
        device_ = sdl_->open(nullptr, 0, &wanted, nullptr, 0);
    }
    ~SdlAudioOutput() {
        if (device_ != 0) sdl_->close(device_);
        if (initialised_) sdl_->quit(SDL_INIT_AUDIO);
    }
    SdlAudioOutput(const SdlAudioOutput&) = delete;
    SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;

    bool ok() const { return device_ != 0; }
    void Play(bool on) { sdl_->pause(device_, on ? 0 : 1); }
    void Queue(const uint8_t* data, uint32_t bytes) { sdl_->queue(device_, data, bytes); }
    void Clear() { sdl_->clear(device_); }

private:
    const SdlLibrary* sdl_;
    bool initialised_ = false;
    SDL_AudioDeviceID device_ = 0;
};

// ---------------------------------------------------------------------------------------
// Filter

CAudioRenderer::CAudioRenderer(IUnknown* outer, HRESULT* hr)
    : CBaseRenderer("Audio renderer", outer, CLSID_DSoundRender, hr, "Audio renderer input",
                    "Audio Input") {
    clock_ = new (std::nothrow) CSystemClock;
    if (!clock_ && hr) *hr = E_OUTOFMEMORY;
}

CAudioRenderer::~CAudioRenderer() = default;

HRESULT CAudioRenderer::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyAudioRenderer::iid)
        return GetInterface(static_cast<IMyAudioRenderer*>(this), object);
    if (riid == IReferenceClock::iid && clock_)
        return GetInterface(static_cast<IReferenceClock*>(clock_.Get()), object);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, object);
}

HRESULT CAudioRenderer::CheckRenderType(const CMediaType& type) {
    return ReadWaveFormat(type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

bool CAudioRenderer::IsAudible() {
    std::lock_guard lock(device_mutex_);
    return device_ != nullptr;
}

void CAudioRenderer::OnStop() {
    std::lock_guard lock(device_mutex_);
    device_.reset();
}

void CAudioRenderer::OnPause(bool from_stopped) {
    if (from_stopped && InputPin()->IsConnected()) {
        if (const WAVEFORMATEX* wave = ReadWaveFormat(InputPin()->CurrentMediaType())) {
            auto output = std::make_unique<SdlAudioOutput>(static_cast<int>(wave->nSamplesPerSec),
                                                           static_cast<int>(wave->nChannels));
            std::lock_guard lock(device_mutex_);
            if (output->ok()) device_ = std::move(output);
        }
    }
    std::lock_guard lock(device_mutex_);
    if (device_) device_->Play(false);
}

void CAudioRenderer::OnRun() {
    std::lock_guard lock(device_mutex_);
    if (device_) device_->Play(true);
}

void CAudioRenderer::OnBeginFlush() {
    std::lock_guard lock(device_mutex_);
    if (device_) device_->Clear();
}

HRESULT CAudioRenderer::RenderSample(IMediaSample* sample) {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    const LONG bytes = sample->GetActualDataLength();
    if (bytes <= 0) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = StreamTimes(sample, &start, &stop);
    // Sound before the segment's start (the run-up to a seek target) is not played.
    if (timed && stop <= 0) return S_OK;
    if (!WaitForRenderTime(timed, start - kDeviceLead100ns)) return S_OK;
    std::lock_guard lock(device_mutex_);
    if (device_) device_->Queue(data, static_cast<uint32_t>(bytes));
    return S_OK;
}

}  // namespace rizuvira::decoders
