// SPDX-License-Identifier: GPL-2.0-or-later
// CMpegSplitterFilter: the demultiplexer that every playback and conversion graph puts behind
// the DVD reader. On connection it runs the stream parser (CMpegSplitterFile) and makes at
// most one output pin per stream kind ("Video", "Audio", "Subtitle") for the first stream of
// each list (the audio list is sorted best first), and AddOutput adds pins for further streams
// ("Audio 2", ...); while the graph runs, its demultiplexing
// thread reads units through the parser and routes packets to the pins.
//
// Graph builders create it directly (CreateMpegSplitter) and reach its controls through
// IMyMpegSplitter (title record, trim range) and IAMStreamSelect (which audio and subtitle
// stream each pin carries; names end in "(pid,stream id,substream id)" in hexadecimal).
//
// The title record is one per process: creating a splitter zeroes it, SetTitleInfo replaces
// it, and the parser's stream search reads it when the input connects.
//
// Threads: as CBaseSplitterFilter. SetRange, SetTitleInfo and stream selection run on the
// application thread; the range is read by the demultiplexing thread when a run starts.
#pragma once

#include <memory>
#include <mutex>

#include "demux/base_splitter.h"
#include "demux/mpeg_splitter_file.h"
#include "demux/vobu_clock.h"
#include "dvd/dvd_time_map.h"

namespace rizuvira::demux {

// Makes a splitter with one reference.
HRESULT CreateMpegSplitter(IUnknown* outer, IBaseFilter** filter);

// The splitter's output pin for one kind of stream (kVideo, kAudio,
// kSubpicture), or null when the source has none of it. Pins exist only for
// the kinds found, so a pin's index says nothing of its kind.
ComPtr<IPin> SplitterOutput(IBaseFilter* splitter, StreamKind kind);

// The process-wide title record that splitters read (a copy).
dvd::DvdTitleInfo CurrentTitleInfo();

// Per-format packet handling on the delivery thread: timestamp smoothing (a jump of more than
// 5 s between two packets of a video or audio pin continues from the previous time; the
// subpicture pin follows the video pin's offset instead, its packets being seconds apart),
// HDMV LPCM headers dropped, AAC (ADTS) frames, H.264 and VC-1 access units put together
// from their transport packets (H.264 leaves as 4-byte length-prefixed NAL units).
class CMpegSplitterOutputPin final : public CBaseSplitterOutputPin {
public:
    static constexpr REFERENCE_TIME kMaxTimeJump = 50'000'000;  // 5 s

    CMpegSplitterOutputPin(std::vector<CMediaType> types, const char* name,
                           CBaseSplitterFilter* filter, CCritSec* lock, HRESULT* hr, int kind);

protected:
    HRESULT DeliverPacket(std::unique_ptr<Packet> packet) override;
    HRESULT BeforeEndOfStream() override;
    void OnNewSegment() override;
    void OnFlush() override;

private:
    enum class Reassembly { kNone, kAac, kH264, kVc1, kHdmvLpcm };
    Reassembly ReassemblyFor(const AM_MEDIA_TYPE& type) const;
    HRESULT SendAssembled();
    HRESULT SendAacFrames(std::unique_ptr<Packet> packet);

    std::mutex timing_mutex_;  // the pin lock of the timing state
    REFERENCE_TIME previous_start_100ns_ = kPacketNoTime;
    REFERENCE_TIME time_offset_100ns_ = 0;

    // Delivery thread only: the frame being put together.
    std::unique_ptr<Packet> partial_;
    int aac_sample_rate_ = 0;
};

class CMpegSplitterFilter final : public CBaseSplitterFilter,
                                  public IAMStreamSelect,
                                  public IMyMpegSplitter {
public:
    CMpegSplitterFilter(IUnknown* outer, HRESULT* hr);
    ~CMpegSplitterFilter() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IAMStreamSelect
    HRESULT Count(DWORD* streams) override;
    HRESULT Info(LONG index, CMediaType* type, DWORD* flags, LCID* lcid, DWORD* group,
                 std::string* name, IUnknown** object, IUnknown** unknown) override;
    HRESULT Enable(LONG index, DWORD flags) override;

    // IMyMpegSplitter
    HRESULT SetTitleInfo(const dvd::DvdTitleInfo* title) override;
    HRESULT SetRange(int64_t start_ms, int64_t span_ms, int64_t duration_ms) override;
    HRESULT AddOutput(uint32_t key, std::string* pin_name) override;

    // The parser's container kind, or kNone when nothing is connected.
    MpegContainer Container();

protected:
    HRESULT BuildOutputPins(IAsyncReader* reader) override;
    void ReleaseParser() override;
    HRESULT PrepareDelivery() override;
    void PositionForTime(REFERENCE_TIME t) override;
    void DeliveryLoop() override;

private:
    HRESULT ReadNextUnit(REFERENCE_TIME base);
    // Seeking in a DVD title through its cells' times, which hold across
    // the restarts of the stream's clock. False when the source has no cells
    // or the stream does not match them; the time stamps then decide.
    bool PositionByCells(REFERENCE_TIME target);
    // Moves back to the last picture before the position when the next one is far off (a
    // still picture under its sound), so that it is on screen where the reading starts.
    void BackUpToPictureOnScreen();
    // Whether `sector` of the stream is a navigation pack, and what it says.
    bool ReadNavigation(int64_t sector, NavigationSector* nav);
    static constexpr int64_t kScanSectors = 32;  // the parser's window
    // The stream at a selection index: video, then audio, then subpicture.
    bool StreamAt(LONG index, SplitterStream* stream, StreamKind* kind);

    std::unique_ptr<CMpegSplitterFile> file_;  // replaced only while stopped
    std::mutex range_mutex_;
    REFERENCE_TIME range_start_100ns_ = 0, range_span_100ns_ = 0, duration_override_100ns_ = 0;
    REFERENCE_TIME time_base_100ns_ = 0;   // demultiplexing thread
    VobuClock vobu_clock_;                 // demultiplexing thread
    ComPtr<dvd::IMyDVDTimeMap> time_map_;  // the DVD source's, when it is one
    ClipInfoList clip_info_;               // a Blu-ray clip's; replaced only while stopped
};

}  // namespace rizuvira::demux
