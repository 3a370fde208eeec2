// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/register.h"

#include <mutex>

#include "decoders/audio_renderer.h"
#include "decoders/mpeg_audio_decoder.h"
#include "decoders/mpeg_video_decoder.h"
#include "decoders/video_renderer.h"
#include "platform/registry.h"

namespace rizuvira::decoders {

namespace {

// The factories do not aggregate.
template <class T>
HRESULT Create(IUnknown* outer, IUnknown** object) {
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateComponentInstance<T>(nullptr, object);
}

}  // namespace

void RegisterDecoders() {
    static std::once_flag once;
    std::call_once(once, [] {
        ComponentRegistry& registry = ComponentRegistry::Instance();
        registry.Register({CLSID_MpegVideoDecoder, "MPEG Video Decoder", MERIT_NORMAL,
                           &Create<CMpegVideoDecoder>});
        registry.Register({CLSID_MpegAudioDecoder, "MPEG Audio Decoder", MERIT_NORMAL,
                           &Create<CMpegAudioDecoder>});
        registry.Register(
            {CLSID_VideoMixingRenderer, "Video Renderer", MERIT_NORMAL, &Create<CVideoRenderer>});
        registry.Register(
            {CLSID_DSoundRender, "Audio Renderer", MERIT_NORMAL, &Create<CAudioRenderer>});
    });
}

}  // namespace rizuvira::decoders
