// SPDX-License-Identifier: GPL-2.0-or-later
// SamplePictures: lets libavcodec decode MPEG-1/MPEG-2 pictures straight into the decoder
// filter's output samples, so that a picture nothing is drawn into leaves as the sample it was
// decoded into instead of as a copy.
//
// The buffers it gives libavcodec are packed YV12, as the output samples are: Y, then Cr, then
// Cb, strides width and width / 2, each plane on a 64-byte boundary. That is only done for
// pictures whose macroblocks cover them exactly (width a multiple of 16, height of 32, for
// field-coded streams), so the decoder never writes past a plane. A buffer comes from the
// output pin's allocator when a sample is free at that moment; otherwise (the samples are all
// held downstream or by the decoder as reference pictures, or the allocator is not committed)
// it is plain memory of the same layout, whose picture is then copied into a sample as before.
// Asking never waits, so a decoder holding its reference pictures cannot starve itself.
//
// A delivered sample may still be one of the decoder's reference pictures: whoever receives it
// must only read it, as every filter downstream does.
//
// Threads: libavcodec asks for buffers on the decoding thread; buffers are given back on any
// thread (a sample held downstream keeps its buffer until the decoder, too, lets it go).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>

#include "platform/output_pin.h"

namespace rizuvira::decoders {

class SamplePictures {
public:
    // Whether pictures of the codec and size can be decoded into samples.
    static bool Suits(AVCodecID codec, int width, int height);

    // Before avcodec_open2: `context` asks this object for its width × height pictures.
    // `pin` (outliving the context) supplies the samples.
    void Attach(AVCodecContext* context, CBaseOutputPin* pin, int width, int height);

    // The sample `frame` was decoded into (not added to), or null.
    IMediaSample* SampleOf(const AVFrame* frame) const;

private:
    struct State;
    struct Loan;
    static int GetBuffer(AVCodecContext* context, AVFrame* frame, int flags);
    static void GiveBack(void* opaque, uint8_t* data);

    std::shared_ptr<State> state_;  // shared with the buffers, which may outlive this object
};

}  // namespace rizuvira::decoders
