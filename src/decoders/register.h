// SPDX-License-Identifier: GPL-2.0-or-later
// Puts the decoder filters and the video renderer into the platform's component registry:
//
//   CLSID_MpegVideoDecoder     "MPEG Video Decoder"  (decoders/mpeg_video_decoder.h)
//   CLSID_MpegAudioDecoder     "MPEG Audio Decoder"  (decoders/mpeg_audio_decoder.h)
//   CLSID_VideoMixingRenderer  "Video Renderer"      (decoders/video_renderer.h)
//   CLSID_DSoundRender         "Audio Renderer"      (decoders/audio_renderer.h)
//
// Call once at start-up, before the first graph is built (the front ends and the tests do);
// calling it again changes nothing. Registration is explicit because a static library's
// self-registering objects are dropped by the linker when nothing else in them is used.
#pragma once

namespace rizuvira::decoders {

void RegisterDecoders();

}  // namespace rizuvira::decoders
