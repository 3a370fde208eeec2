// SPDX-License-Identifier: GPL-2.0-or-later
// CMpegSplitterFile: decides what kind of MPEG container a byte stream is (program, transport,
// PES or PVA stream), finds its elementary streams with a media type for each, measures its
// time range and byte rate, and reads it unit by unit for the splitter. The time range, the
// zeroed tail and the search for a stream's next time stamp are in mpeg_splitter_file_time.cpp.
//
// Stream key: the transport PID when there is one, else (PES stream id << 8) | substream id
// (AC-3 substream 0x80 of private stream 1: 0xBD80; MPEG video 0xE000; MPEG audio 0xC000).
// Outside the splitter a track goes by its TrackId (demux_types.h), which is the same 16 bits
// for a program stream and carries the PID as well for a transport stream.
//
// Threads: construction (and Init) runs on the thread that connects the splitter; afterwards
// the demultiplexing thread reads through the parser. The stream lists and program tables are
// guarded by an internal lock, so other threads may read them (Streams(), copies) while the
// demultiplexing thread adds streams it meets late.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "demux/clip_info.h"
#include "demux/demux_types.h"
#include "demux/splitter_file_ex.h"
#include "dvd/dvd_access.h"

namespace rizuvira::demux {

// kVideoStream: a bare MPEG-1/2 video elementary stream (.m2v), without time stamps; its one
// stream has the key 0xE000.
enum class MpegContainer {
    kNone,
    kProgramStream,
    kTransportStream,
    kPesStream,
    kPvaStream,
    kVideoStream
};

enum StreamKind { kVideo = 0, kAudio = 1, kSubpicture = 2, kStreamKinds = 3 };

struct SplitterStream {
    CMediaType type;
    uint16_t pid = 0;
    uint8_t stream_id = 0;
    uint8_t substream_id = 0;
    // The stream's coding type: a Blu-ray clip's information names it, else the program
    // table; 0 when neither does.
    uint8_t transport_type = 0;
    std::string language;  // ISO 639-2, when the source names one

    uint32_t Key() const { return pid ? pid : (uint32_t{stream_id} << 8) | substream_id; }
    int32_t TrackId() const { return demux::TrackId(pid, stream_id, substream_id); }
    bool SameIdentity(const SplitterStream& o) const {
        return pid == o.pid && stream_id == o.stream_id && substream_id == o.substream_id;
    }
};

// The order of the audio list: best first (see the .cpp for the score).
bool AudioStreamBefore(const SplitterStream& a, const SplitterStream& b);

struct TransportProgram {
    uint16_t number = 0;
    struct Entry {
        uint16_t pid = 0;
        uint8_t type = 0;
    };
    std::array<Entry, 64> streams{};
};

class CMpegSplitterFile : public CBaseSplitterFileEx {
public:
    static constexpr int kCacheBytes = 131072;

    // Runs Init; *hr is its result (E_FAIL when no container is recognised,
    // DEMUX_E_SCRAMBLED when the search met only scrambled data). `clip_info`: a Blu-ray
    // clip's information (empty for anything else); the streams of its PIDs take its
    // coding types and languages.
    CMpegSplitterFile(IAsyncReader* reader, HRESULT* hr, const dvd::DvdTitleInfo& title,
                      ClipInfoList clip_info = {});

    HRESULT Init();
    HRESULT ScanRange(int64_t start, int64_t stop);
    // With the position at the payload start; returns the stream key (streams that are not
    // recognised keep the key their identity gives). May consume private-stream headers.
    uint32_t ClassifyPayload(uint16_t pid, uint8_t stream_id, int64_t length);
    // The next PTS of the stream, less the first time; -1 when none is found before `stop`.
    // Leaves the position at the start of the last unit examined.
    REFERENCE_TIME FindNextTimestamp(uint32_t key, int64_t stop = INT64_MAX);
    // The start of the last unit of the stream that carries a PTS and starts before
    // `position`, looking back no further than `reach` bytes; -1 when there is none.
    int64_t FindLastTimestampBefore(uint32_t key, int64_t position, int64_t reach);
    // The MPEG-1/2 picture start codes in the stream's packets from `position` to the end.
    int64_t CountPicturesFrom(uint32_t key, int64_t position);
    void ReadProgramTables(const TransportHeader& h);
    // Scans the last stretch before the data's end for the last time stamps.
    void RescanTail();
    // Where the data ends: the stream's length less a tail of zero bytes (a
    // file padded out, or an image whose end was never written). Times and
    // byte positions are mapped over this length.
    int64_t DataLength() const { return data_end_; }
    // Stamps count a 90 kHz clock in 33 bits: one far below the first stamp
    // has wrapped past 2^33 and is moved on by one turn of the clock.
    REFERENCE_TIME Unwrap(REFERENCE_TIME pts) const;

    MpegContainer Container() const { return container_; }
    int32_t ByteRate() const { return byte_rate_; }
    REFERENCE_TIME FirstTime() const { return first_time_; }
    REFERENCE_TIME LastTime() const { return last_time_; }

    std::vector<SplitterStream> Streams(StreamKind kind) const;
    size_t StreamCount() const;
    // True when the PID is listed in a transport program table; *program its PMT PID.
    bool ProgramOfPid(uint16_t pid, uint16_t* program) const;
    // The transport program this parser reads (its PMT PID): the first program of the
    // program association table that carries video, else its first program; 0 when the
    // stream has no program tables. Streams of other programs are not listed, and the
    // time range is that program's.
    uint16_t SelectedProgram() const;
    std::vector<uint16_t> ProgramPids(uint16_t program) const;
    const ClipInfoList& ClipInfo() const { return clip_info_; }
    // The coding of a video stream met that is not MPEG-1/2, H.264 or VC-1
    // ("MPEG-4 Part 2", "H.265 (HEVC)"): it is not listed. Empty when none.
    // A program table named DVB subtitles, which are not read here.
    bool ListsDvbSubtitles() const {
        std::lock_guard lock(mutex_);
        return dvb_subtitles_listed_;
    }
    std::string OtherVideoCoding() const {
        std::lock_guard lock(mutex_);
        return other_video_coding_;
    }

    // Adds a stream unless one with the same identity is in the list (used for the
    // graphics streams a clip's information names).
    void AddStream(StreamKind kind, SplitterStream stream);

protected:
    void OnStreamComplete() override { RescanTail(); }

private:
    // A file that starts with an MPEG video sequence header: its one stream.
    bool InitVideoStream();
    void UpdateTime(uint16_t pid, REFERENCE_TIME pts, int64_t position);
    // first_time_ and last_time_ from the spans of the selected program's PIDs.
    void CombineTimes();
    // Whether a PID belongs to a program other than the selected one.
    bool InOtherProgram(uint16_t pid) const;
    void ApplyMeasuredRate();
    int64_t FindDataEnd();
    bool IsZeroBlock(int64_t start, int64_t stop);
    bool HasIdentity(StreamKind kind, const SplitterStream& s) const;
    uint8_t TransportTypeOf(uint16_t pid) const;
    // With the position at a video payload: the name of its coding when it
    // is one of those no decoder here takes, else null. Moves the position.
    const char* OtherVideoCoding(uint16_t pid, int64_t length);

    dvd::DvdTitleInfo title_{};
    ClipInfoList clip_info_;

    MpegContainer container_ = MpegContainer::kNone;
    int64_t start_offset_ = 0;  // 1660 for streams with a leading "TFrc" header
    int32_t byte_rate_ = 0;
    int32_t pack_byte_rate_ = 0;
    REFERENCE_TIME first_time_ = INT64_MAX, last_time_ = 0;
    int64_t data_end_ = 0;
    int64_t first_time_position_ = 0, last_time_position_ = 0;
    struct TimeSpan {
        REFERENCE_TIME first = INT64_MAX, last = 0;
        int64_t first_position = 0, last_position = 0;
    };
    std::map<uint16_t, TimeSpan> pid_times_;  // by PID (0 outside transport streams)
    bool hdmv_subtitles_seen_ = false;
    bool dvb_subtitles_listed_ = false;  // a program table names a DVB subtitle stream

    mutable std::recursive_mutex mutex_;  // guards the fields below
    std::string other_video_coding_;
    std::array<std::vector<SplitterStream>, kStreamKinds> streams_;
    std::map<uint16_t, uint8_t> pid_stream_ids_;
    std::map<uint16_t, TransportProgram> programs_;  // by PMT PID
    std::vector<uint16_t> program_order_;            // PMT PIDs in the association table's order
};

}  // namespace rizuvira::demux
