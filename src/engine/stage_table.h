// SPDX-License-Identifier: GPL-2.0-or-later
// The stages: every filter the graphs put into a pipeline, listed once. Each row gives the
// stage's name, its class id, how it is made (the system's own filters by their factories, the
// decoders and renderers by class id through the component registry, as the graphs make them)
// and the kind of stream each of its pins carries, in pin order, so that one generic test can
// join every stage to test pins and take it through its states.
//
//   DVD Reader          → byte stream (the disc's title)
//   MPEG Splitter       byte stream → video, coded sound, subpictures (pins made when joined)
//   MPEG Video Decoder  video, subpictures → pictures
//   MPEG Audio Decoder  coded sound → sound
//   Deinterlacer        pictures → pictures
//   Video Converter     pictures → pictures
//   Audio Converter     sound → sound
//   Tee                 pictures → pictures, pictures
//   Converter Sink      sound, pictures → (the media file writer) → pictures (a preview copy)
//   Video Renderer      pictures →
//   Audio Renderer      sound → (also the graph's clock)
//
// Threads: any; the table is built once and never changes.
#pragma once

#include <vector>

#include "platform/interfaces.h"

namespace rizuvira::engine {

// What flows through a pin.
enum class StreamForm {
    kByteStream,  // pulled through IAsyncReader (MEDIATYPE_Stream)
    kMpegVideo,   // the splitter's video: MPEG-1, MPEG-2 or H.264
    kCodedSound,  // the splitter's sound: MPEG audio, AC-3, DTS, LPCM or AAC
    kSubpicture,  // DVD subpictures
    kPictures,    // uncompressed YV12
    kSound,       // interleaved PCM, signed 16-bit or float
};

struct Stage {
    const char* name;
    CLSID clsid;
    // Makes the stage as the graphs do, with one reference in *filter.
    HRESULT (*make)(ComPtr<IBaseFilter>* filter);
    std::vector<StreamForm> inputs;   // by input pin index
    std::vector<StreamForm> outputs;  // by output pin index; the splitter's once its input joins
};

// Every stage, sources first.
const std::vector<Stage>& Stages();

// Makes the stage of `clsid` with one reference in *filter; E_INVALIDARG for a class id
// the table does not list.
HRESULT MakeStage(const CLSID& clsid, ComPtr<IBaseFilter>* filter);

}  // namespace rizuvira::engine
