// SPDX-License-Identifier: GPL-2.0-or-later
// Types shared by the stream parser and the splitter: ids of the splitter's interfaces and
// formats that the platform headers do not carry, the splitter's control interface, the
// stream key, and Packet.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dvd/dvd_access.h"
#include "platform/com.h"
#include "platform/media_type.h"

namespace rizuvira::demux {

// The demultiplexer's failure for scrambled (CSS-protected) MPEG-2 data, distinct from every
// other failure so that callers can say "the disc is encrypted".
inline constexpr HRESULT DEMUX_E_SCRAMBLED = MakeHresult(0x8004FE01u);

// Posted by the splitter for each stretch of a DVD title lost to sectors that could not be
// read: param1 is where it starts on the item's time line, param2 how long it is, both in
// milliseconds. The stream goes on after it at its own times.
inline constexpr LONG EC_DEMUX_LOST_STRETCH = 0x8101;

// Console-format sound: format tags of this project (no standard value exists).
inline constexpr WORD kWaveFormatPs2Pcm = 0xF521;
inline constexpr WORD kWaveFormatPs2Adpcm = 0xF522;

// Format type of a subtitle stream whose block is a SubtitleFormat (splitter_file_ex.h).
inline constexpr GUID FORMAT_SubtitleFormat = "5B1A1B3C-7E52-4C0E-9A5D-2F3E8C1D4A63"_guid;

inline constexpr GUID CLSID_MpegSplitter = "DC257063-045F-4BE2-BD5B-E12279C464F0"_guid;

// A source that shifts every timestamp it serves answers this with the offset.
struct IStreamTimeOffset : virtual IUnknown {
    static constexpr GUID iid = "6DDB4EE7-45A0-4459-A508-BD77B32C91B2"_guid;
    virtual HRESULT GetTimeOffset(REFERENCE_TIME* offset_100ns) = 0;
};

// The splitter's control interface for graph builders.
struct IMyMpegSplitter : virtual IUnknown {
    static constexpr GUID iid = "FB644229-D658-40AB-838D-619AD5A2DEB1"_guid;
    // Copies the record into the process-wide title information that the parser's stream
    // search reads (its audio and subtitle ids). Call before connecting the input.
    virtual HRESULT SetTitleInfo(const dvd::DvdTitleInfo* title) = 0;
    // Trim start, trimmed length and title duration in milliseconds; 0 means not set.
    virtual HRESULT SetRange(int64_t start_ms, int64_t span_ms, int64_t duration_ms) = 0;
    // One more output pin, for the stream `key` (a whole stream id), so that several streams
    // of one kind leave at once: "Audio 2", "Subtitle 2", ... Its name goes to `pin_name`.
    // Call with the input connected and the filter stopped. S_FALSE when a pin carries the
    // stream already; E_INVALIDARG when the source has no such stream.
    virtual HRESULT AddOutput(uint32_t key, std::string* pin_name) = 0;
};

// Queue fill of the splitter's output pins.
struct IBufferInfo : virtual IUnknown {
    static constexpr GUID iid = "5B1A1B3C-7E52-4C0E-9A5D-2F3E8C1D4A61"_guid;
    virtual int GetCount() = 0;
    // S_OK for a connected pin, S_FALSE for an unconnected one, E_INVALIDARG for a bad index.
    virtual HRESULT GetStatus(int index, int* packets, int* bytes) = 0;
    virtual DWORD GetPriority() = 0;
};

struct IKeyFrameInfo : virtual IUnknown {
    static constexpr GUID iid = "5B1A1B3C-7E52-4C0E-9A5D-2F3E8C1D4A62"_guid;
    virtual HRESULT GetKeyFrameCount(uint32_t* count) = 0;
    virtual HRESULT GetKeyFrames(const GUID* format, REFERENCE_TIME* frames, uint32_t* count) = 0;
};

// The id a track is chosen by outside the splitter (title records, the catalogue, the graphs'
// stream lists): (PES stream id << 8) | substream, the DVD layer's id, with the PID above it
// in a transport stream, (PID << 16) | (stream id << 8) | substream. Two AC-3 or two MPEG
// audio tracks of one transport stream share the stream id (0xBD, 0xFD, 0xC0): only the PID
// tells them apart. Always positive.
constexpr int32_t TrackId(uint16_t pid, uint8_t stream_id, uint8_t substream_id) {
    return static_cast<int32_t>((uint32_t{pid} & 0x7FFF) << 16 | uint32_t{stream_id} << 8 |
                                substream_id);
}

// Packet start/stop without a time.
inline constexpr REFERENCE_TIME kPacketNoTime = INT64_MIN;

// A timed block of one stream. The demultiplexing thread builds it and hands it to an
// output pin's queue; from then on the pin's delivery thread owns it.
struct Packet {
    uint32_t track = 0;  // the stream key
    bool discontinuity = false;
    bool sync_point = false;
    bool appendable = false;
    REFERENCE_TIME start_100ns = kPacketNoTime;
    REFERENCE_TIME stop_100ns = kPacketNoTime;
    std::unique_ptr<CMediaType> media_type;  // a type change to announce with this packet
    std::vector<uint8_t> data;

    bool HasTime() const { return start_100ns != kPacketNoTime; }
};

}  // namespace rizuvira::demux
