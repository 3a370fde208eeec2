// SPDX-License-Identifier: GPL-2.0-or-later
// CMpegVideoDecoder: the MPEG-1/MPEG-2 and H.264 video decoder filter, with the chosen DVD
// subtitle drawn into its pictures.
//
// Pins (by direction and index): input 0 "Video" takes the splitter's MPEG-1 (MPEG1Payload,
// FORMAT_MPEGVideo) or MPEG-2 (MPEG2_VIDEO, FORMAT_MPEG2_VIDEO) type, whose format block carries
// the sequence header, or H.264 (AVC1, FORMAT_MPEG2_VIDEO: the parameter sets behind 2-byte
// lengths in the block; one access unit per sample, NAL units behind 4-byte lengths); input 1
// "Subpicture" takes DVD subpictures or Blu-ray graphics (PGS) and may stay unconnected; output 0
// "Out" offers YV12 (Y, then Cr, then Cb, planes packed without padding: strides width and width /
// 2) with a VIDEOINFOHEADER2 first and a VIDEOINFOHEADER second, both with a positive height; the
// VIDEOINFOHEADER2 carries the stream's display aspect ratio.
//
// Times: pictures leave in display order. A picture whose data came with a time stamp starts at
// it; one without starts where the picture before it stopped. Pictures decoded before the
// first time stamp after a start or a flush are held (up to 60) and dated backwards from it.
// A picture lasts one frame period, plus half a period per repeated field (soft telecine), so
// its stop time is where the next picture starts. The splitter's stop times (start + 1) are
// not used. Key frames are sync points; the first picture after a start or a flush
// is a discontinuity.
//
// Subtitles: a DVD multiplexes a subpicture up to about half a second after the pictures it
// belongs to, so while input 1 is connected a decoded picture is held back until input 0 has
// brought data stamped one second past the picture's time (at most 60 pictures are held;
// end of stream releases them all). The subtitle showing at the picture's start time is drawn
// into the delivered copy, never into the decoder's reference picture.
//
// Samples: without subtitles, MPEG pictures of macroblock-aligned size are decoded straight
// into output samples where one is free (SamplePictures) and delivered as they are, still
// read by the decoder as reference pictures; the rest are copied into a sample. The
// allocator has kOutputBuffers, enough for the decoder's references, a picture held
// downstream and some lent on.
//
// Stream control: flush and new segment pass downstream at once; end of stream first drains the
// pictures the decoder still holds (B-frame reordering), then passes downstream. The
// subpicture input's own end of stream and flushes stay inside the filter.
//
// Threads: input 0's streaming thread decodes and delivers (Receive, EndOfStream, under the
// receive lock); input 1's streaming thread decodes subpictures into the overlay (its lock);
// state changes on the application thread under the filter lock. libavcodec's own worker
// threads (IMyDecoderThreads) run inside the decoding calls.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <vector>

#include "decoders/codec_session.h"
#include "decoders/decoder_interfaces.h"
#include "decoders/sample_pictures.h"
#include "decoders/subpicture_overlay.h"
#include "platform/transform_filter.h"

namespace rizuvira::decoders {

// What the decoder reads from its input type.
struct VideoInputFormat {
    AVCodecID codec_id = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    int aspect_x = 0;  // display aspect, reduced
    int aspect_y = 0;
    REFERENCE_TIME frame_period_100ns = 0;  // 0 when the type does not say
    std::vector<uint8_t> sequence_header;   // MPEG: raw bytes from 00 00 01 B3 (may be empty)
};

// Reads an MPEG-1, MPEG-2 or H.264 video type; false for any other type or a malformed format
// block. For H.264 `sequence_header` holds the decoder configuration record (avcC).
bool ParseVideoInputType(const AM_MEDIA_TYPE& type, VideoInputFormat* format);

class CMpegVideoDecoder;

class CSubpictureInputPin final : public CBaseInputPin {
public:
    CSubpictureInputPin(CMpegVideoDecoder* filter, CCritSec* lock, HRESULT* hr);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;
    HRESULT Inactive() override;

private:
    CMpegVideoDecoder* const decoder_;
};

class CMpegVideoDecoder final : public CTransformFilter,
                                public IMyDecoderThreads,
                                public IMySubpictureControl {
public:
    CMpegVideoDecoder(IUnknown* outer, HRESULT* hr);
    ~CMpegVideoDecoder() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int index) override;
    HRESULT Stop() override;

    // CTransformFilter
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;  // not used: E_UNEXPECTED
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;

    // IMyDecoderThreads
    HRESULT SetThreadCount(int threads) override;
    int GetThreadCount() override { return threads_.load(); }
    // IMySubpictureControl
    HRESULT SetPalette(const uint32_t palette_ycrcb[16]) override;

private:
    friend class CSubpictureInputPin;

    struct PendingPicture {
        core::av::FramePtr frame;  // a reference to the decoder's picture
        REFERENCE_TIME start_100ns;
        REFERENCE_TIME stop_100ns;
    };

    struct UntimedPicture {
        core::av::FramePtr frame;
        int fields;  // fields it shows (2, or more with repeated fields)
    };

    // Times a decoded picture, then delivers it or (subtitles connected) queues it.
    HRESULT OnDecodedFrame(AVFrame* frame);
    // Dates the held untimed pictures forward from the anchor and passes them on.
    HRESULT ReleaseUntimed();
    HRESULT QueueOrDeliver(AVFrame* frame, REFERENCE_TIME start, REFERENCE_TIME stop);
    REFERENCE_TIME FieldsToTime(int64_t fields) const;
    // Copies the picture into an output sample, draws the subtitle, delivers it.
    HRESULT DeliverPicture(AVFrame* frame, REFERENCE_TIME start, REFERENCE_TIME stop);
    // Delivers queued pictures whose time the input has passed by the look-ahead (all: every one).
    HRESULT DeliverPending(bool all);
    void ResetTiming();

    static constexpr LONG kOutputBuffers = 8;

    std::unique_ptr<CSubpictureInputPin> subpicture_pin_;
    std::atomic<int> threads_{0};
    SubpictureOverlay overlay_;

    HRESULT OpenSession(const std::vector<uint8_t>& sequence_header);

    // Set when the input connects (filter lock): the output geometry and timing.
    VideoInputFormat input_;
    // The codec of the stream now arriving: the connection's, or the one a type change
    // announced (kept across a restart). Receive lock, or filter lock while stopped.
    AVCodecID stream_codec_ = AV_CODEC_ID_NONE;

    // Streaming state, under the receive lock. pictures_ outlives the session's decoder,
    // which asks it for buffers.
    SamplePictures pictures_;
    CodecSession session_;
    core::av::SwsContextPtr scaler_;  // only for pictures not in 4:2:0 or of another size
    core::av::FramePtr scaled_;
    std::deque<PendingPicture> pending_;            // at most kMaxPendingPictures
    REFERENCE_TIME input_clock_100ns_ = INT64_MIN;  // latest time stamp on input 0
    std::deque<UntimedPicture> untimed_;            // before the first time stamp
    bool have_anchor_ = false;
    REFERENCE_TIME anchor_100ns_ = 0;  // time of the last timed picture (0 before any)
    int64_t fields_since_anchor_ = 0;  // fields shown since it
    bool discontinuity_ = true;
};

}  // namespace rizuvira::decoders
