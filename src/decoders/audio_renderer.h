// SPDX-License-Identifier: GPL-2.0-or-later
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
// Clock, times, waits, end of stream and seeking are CBaseRenderer's.
//
// Pin: input 0 "Audio Input": MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx with 16
// bits per sample, 1 to 8 channels and a rate of 8000 to 192000 Hz.
//
// Times: sound ending before the segment's start is skipped; the rest goes to the device
// 50 ms ahead of its stream time.
//
// States: the device opens when the filter leaves Stopped and closes when it stops; it plays
// only while running. A flush empties it.
//
// Threads: Receive and EndOfStream on the upstream streaming thread; state changes on the
// application thread. `device_mutex_` guards the device (opened and closed on the
// application thread, fed on the streaming thread).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "decoders/base_renderer.h"
#include "platform/reference_clock.h"

namespace rizuvira::decoders {

struct IMyAudioRenderer : virtual IUnknown {
    static constexpr GUID iid = "7C1E5A20-4B8D-4F61-9E3A-2D5B8C0F1A35"_guid;
    // True while a sound device is open (between leaving Stopped and the next Stop).
    virtual bool IsAudible() = 0;
};

class SdlAudioOutput;

class CAudioRenderer final : public CBaseRenderer, public IMyAudioRenderer {
public:
    CAudioRenderer(IUnknown* outer, HRESULT* hr);
    ~CAudioRenderer() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    bool IsAudible() override;

protected:
    HRESULT CheckRenderType(const CMediaType& type) override;
    HRESULT RenderSample(IMediaSample* sample) override;
    void OnStop() override;
    void OnPause(bool from_stopped) override;
    void OnRun() override;
    void OnBeginFlush() override;

private:
    ComPtr<CSystemClock> clock_;

    std::mutex device_mutex_;
    std::unique_ptr<SdlAudioOutput> device_;
};

}  // namespace rizuvira::decoders
