// CAudioRenderer: the sound renderer that the graph's automatic rendering finds for an audio
// pin (registered under CLSID_DSoundRender, behind the audio decoder). It takes interleaved
// signed 16-bit PCM, hands each sample to the sound device when the graph's clock reaches
// its start time, and is the graph's reference clock (IReferenceClock, answered by a clock
// object it owns that runs on the system's monotonic clock).
//
// Sound goes out through SDL2 when an audio device opens. Without one (no sound server, as on
// CI, or SDL_AUDIODRIVER naming a driver that does not exist) the renderer is silent but
// otherwise behaves the same: it still waits for every sample's time, so the graph plays in
// real time, and still reports the end of its stream. IMyAudioRenderer::IsAudible says which.
//
// Seeking (IMediaSeeking) passes upstream, so a graph seeks through its renderers.
//
// Pin: input 0 "Audio Input": MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx with 16
// bits per sample, 1 to 8 channels and a rate of 8000 to 192000 Hz.
//
// Times: as for the video renderer, a sample's stream time is its time minus the segment's
// start; sound ending before the segment's start is skipped.
//
// States: the device opens when the filter leaves Stopped and closes when it stops; it plays
// only while running. While paused, Receive waits until the graph runs, stops or flushes.
// EC_COMPLETE is posted once per stream when it ended and the graph runs.
//
// Threads: Receive and EndOfStream on the upstream streaming thread; state changes on the
// application thread. `device_mutex_` guards the device (opened and closed on the
// application thread, fed on the streaming thread).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/base_filter.h"
#include "platform/input_pin.h"
#include "platform/pos_pass_thru.h"
#include "platform/reference_clock.h"
#include "platform/sync.h"

namespace rizuvira::decoders {

struct IMyAudioRenderer : virtual IUnknown {
    static constexpr GUID iid = "7C1E5A20-4B8D-4F61-9E3A-2D5B8C0F1A35"_guid;
    // True while a sound device is open (between leaving Stopped and the next Stop).
    virtual bool IsAudible() = 0;
};

class CAudioRenderer;
class SdlAudioOutput;

class CAudioRendererInputPin final : public CBaseInputPin {
public:
    CAudioRendererInputPin(CAudioRenderer* renderer, CCritSec* lock, HRESULT* hr);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    CAudioRenderer* const renderer_;
};

class CAudioRenderer final : public CBaseFilter,
                             public IMyAudioRenderer,
                             public IAMFilterMiscFlags {
public:
    CAudioRenderer(IUnknown* outer, HRESULT* hr);
    ~CAudioRenderer() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;

    ULONG GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }
    bool IsAudible() override;

private:
    friend class CAudioRendererInputPin;

    HRESULT ReceiveSound(IMediaSample* sample);
    bool WaitForRenderTime(bool timed, REFERENCE_TIME start_100ns);
    void SignalEndOfStream();

    CCritSec lock_;
    std::unique_ptr<CAudioRendererInputPin> pin_;
    std::unique_ptr<CPosPassThru> position_;  // IMediaSeeking, passed upstream; made on request
    ComPtr<CSystemClock> clock_;
    CAMEvent wake_;  // auto-reset: clock advise, state change or flush

    std::mutex device_mutex_;
    std::unique_ptr<SdlAudioOutput> device_;

    std::mutex eos_mutex_;
    bool end_of_stream_ = false;
    bool complete_sent_ = false;
};

}  // namespace rizuvira::decoders
