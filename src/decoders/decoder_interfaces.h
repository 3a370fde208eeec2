// SPDX-License-Identifier: GPL-2.0-or-later
// Class ids of the decoder filters and the video renderer, and the small control interfaces
// they answer through QueryInterface.
//
// The conversion and preview graphs create the filters through the component registry
// (RegisterDecoders in decoders/register.h puts them there) and find their pins by direction
// and index:
//
//   video decoder   input 0 "Video"        MPEG-1 / MPEG-2 video from the splitter
//                   input 1 "Subpicture"   DVD subpictures (optional; unconnected = none)
//                   output 0 "Out"         YV12, VIDEOINFOHEADER2, positive height
//   audio decoder   input 0 "In"           MPEG audio, AC-3, DTS or DVD LPCM
//                   output 0 "Out"         PCM, interleaved signed 16-bit, WAVEFORMATEX
//   video renderer  input 0 "Input"        YV12 (VIDEOINFOHEADER or VIDEOINFOHEADER2)
//
// The subtitle colours: a DVD subpicture names four of the title's sixteen colours, and the
// colour table lives in the IFO, not in the stream. The graph builder reads it with
// MyDVDGetPalette (dvd/dvd_access.h) and hands it to the video decoder through
// IMySubpictureControl::SetPalette before or while the graph runs; without a table the
// subtitles are drawn in grey levels.
#pragma once

#include <cstdint>

#include "platform/com.h"

namespace rizuvira::decoders {

inline constexpr CLSID CLSID_MpegVideoDecoder = "39F498AF-1A09-4275-B193-673B0BA3D478"_guid;
inline constexpr CLSID CLSID_MpegAudioDecoder = "3D446B6F-71DE-4437-BE15-8CE47174340F"_guid;
// The headless renderer registers under the platform's CLSID_VideoMixingRenderer
// (platform/uuids.h).

// Number of decoding threads libavcodec may use. Both decoders answer it. Takes effect the
// next time the filter leaves the stopped state; 0 (the default) means one per processor core.
struct IMyDecoderThreads : virtual IUnknown {
    static constexpr GUID iid = "7C1E5A20-4B8D-4F61-9E3A-2D5B8C0F1A31"_guid;
    virtual HRESULT SetThreadCount(int threads) = 0;
    virtual int GetThreadCount() = 0;  // the setting (0 = every core)
};

// The video decoder's subtitle colours. Any thread, any state.
struct IMySubpictureControl : virtual IUnknown {
    static constexpr GUID iid = "7C1E5A20-4B8D-4F61-9E3A-2D5B8C0F1A32"_guid;
    // Sixteen entries 0x00YYCrCb, as the IFO stores them (BT.601, limited range). Subtitles
    // decoded after the call use it; E_POINTER for null.
    virtual HRESULT SetPalette(const uint32_t palette_ycrcb[16]) = 0;
};

// The processors this process may use (at least 1; core::UsableProcessorCount):
// the default thread count.
int ProcessorCount();

}  // namespace rizuvira::decoders
