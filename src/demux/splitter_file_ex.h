// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseSplitterFileEx: the header readers of the MPEG system and elementary stream formats
// met on DVDs, in transport streams and in PVA files.
//
// Each Read(...) reads from the current position and returns true when the header is
// valid; on false the position is unspecified (callers save and restore it). Readers that
// describe an elementary stream fill a media type when `type` is non-null. Timestamps come
// out in 100 ns (90 kHz ticks × 10000 / 90) plus the time offset of the source. The readers
// live by family in splitter_file_system.cpp, splitter_file_video.cpp and
// splitter_file_audio.cpp.
//
// Threads: as CBaseSplitterFile.
#pragma once

#include <cstdint>
#include <vector>

#include "demux/splitter_file.h"
#include "platform/media_type.h"

namespace rizuvira::demux {

inline constexpr REFERENCE_TIME kNoTime = INT64_MIN;

struct PackHeader {
    int mpeg_version = 0;  // 1 or 2
    REFERENCE_TIME scr_100ns = 0;
    uint32_t mux_rate = 0;  // units of 50 bytes/s
    uint32_t bit_rate = 0;  // mux rate × 400
};

struct SystemHeader {
    uint16_t header_length = 0;
    uint32_t rate_bound = 0;
    uint8_t audio_bound = 0, video_bound = 0;
    bool fixed_rate = false, csps = false, audio_lock = false, video_lock = false;
};

struct PesHeader {
    uint32_t length = 0;  // bytes of payload after the header (0: unbounded)
    int mpeg_version = 0;
    uint8_t scrambling = 0;
    bool has_pts = false, has_dts = false;
    REFERENCE_TIME pts_100ns = 0, dts_100ns = 0;
    uint8_t header_data_length = 0;
};

struct MpegVideoHeader {
    uint16_t width = 0, height = 0;
    uint8_t aspect_code = 0, frame_rate_code = 0;
    uint32_t bit_rate = 0;  // bits/s
    uint16_t vbv_size = 0;
    bool constrained = false;
    bool mpeg2 = false;              // a sequence extension was found
    uint8_t profile = 0, level = 0;  // AM_MPEG2Profile_* / AM_MPEG2Level_* numbering, 0 unknown
    bool progressive = false;
    uint8_t chroma = 0;
    uint8_t frame_rate_ext_n = 0, frame_rate_ext_d = 0;
    REFERENCE_TIME frame_period_100ns = 0;
    uint32_t aspect_x = 0, aspect_y = 0;
    std::vector<uint8_t> raw;  // sequence header (and extension), start codes included
};

struct MpegAudioHeader {
    int version = 0;  // 1 MPEG-1, 2 MPEG-2 (lower sample rates)
    int layer = 0;    // 1..3
    bool protection = false;
    int bit_rate_index = 0, sample_rate_index = 0;
    bool padding = false, private_bit = false;
    int mode = 0, mode_extension = 0;
    bool copyright = false, original = false;
    int emphasis = 0;
    int bit_rate = 0;     // bits/s
    int sample_rate = 0;  // Hz
    int frame_bytes = 0;
    int samples_per_frame = 0;
    REFERENCE_TIME frame_duration_100ns = 0;
    int channels = 0;
};

struct AacHeader {
    int profile = 0, sample_rate_index = 0, channels = 0;
    bool crc = false;
    int frame_bytes = 0;
    int header_bytes = 0;
    int sample_rate = 0;
};

struct Ac3Header {
    int fscod = 0, frmsizecod = 0, bsid = 0, bsmod = 0, acmod = 0;
    bool lfeon = false;
    bool eac3 = false;  // an E-AC-3 frame (bsid 11 to 16): block_bytes is its frame size
    int channels = 0, sample_rate = 0, bytes_per_second = 0, block_bytes = 0;
};

struct DtsHeader {
    bool normal_frame = false;
    int deficit_samples = 0;
    bool crc = false;
    int pcm_blocks = 0;
    int frame_bytes = 0;
    int arrangement = 0, sample_rate_code = 0, bit_rate_code = 0, lfe = 0;
    int channels = 0, sample_rate = 0, bytes_per_second = 0;
};

struct DvdLpcmHeader {
    int frame_number = 0;
    int word_length_code = 0, sample_rate_code = 0;
    int channels = 0, sample_rate = 0, bits = 0, block_bytes = 0, bytes_per_second = 0;
};

struct HdmvLpcmHeader {
    int size = 0, layout = 0, sample_rate_code = 0, bits_code = 0;
    int channels = 0, sample_rate = 0, bits = 0;
};

struct TransportHeader {
    bool error = false, unit_start = false, priority = false;
    uint16_t pid = 0;
    uint8_t scrambling = 0;
    bool has_adaptation = false, has_payload = false;
    uint8_t counter = 0;
    uint8_t adaptation_length = 0;
    bool has_pcr = false;
    REFERENCE_TIME pcr_100ns = 0;
    int bytes_left = 0;       // payload bytes after the header
    int64_t next_packet = 0;  // file position of the next packet's sync byte
    int64_t payload_end = 0;  // file position just past this packet's 188 bytes
};

struct PsiSection {
    uint8_t table_id = 0;
    uint16_t section_length = 0;
    uint16_t table_id_extension = 0;
    uint8_t version = 0;
    bool current = false;
    uint8_t section_number = 0, last_section_number = 0;
};

struct PvaHeader {
    uint8_t stream_id = 0, counter = 0, flags = 0;
    bool has_pts = false;
    int prebytes = 0, postbytes = 0;
    int length = 0;  // payload bytes after the 8-byte header (less the PTS, when read)
    REFERENCE_TIME pts_100ns = 0;
};

struct H264Header {
    int profile = 0, level = 0;
    int width = 0, height = 0;
    REFERENCE_TIME frame_period_100ns = 0;
    std::vector<uint8_t> sps, pps;  // NAL units without start codes
};

struct Vc1Header {
    int profile = 0, level = 0;
    int width = 0, height = 0;
    REFERENCE_TIME frame_period_100ns = 0;
    std::vector<uint8_t> raw;  // sequence header (and entry point) with start codes
};

// Console-format ("SShd"/"SSbd") audio.
struct Ps2AudioHeader {
    int type = 0;  // 1 PCM, 0x10 ADPCM
    int sample_rate = 0, channels = 0, interleave = 0;
};

// The 520-byte format block of a subtitle stream: offset of the name, ISO 639-2 code,
// track name in UTF-16.
#pragma pack(push, 1)
struct SubtitleFormat {
    DWORD name_offset;
    char iso_language[4];
    uint16_t track_name[256];
};
#pragma pack(pop)
static_assert(sizeof(SubtitleFormat) == 520);

class CBaseSplitterFileEx : public CBaseSplitterFile {
public:
    CBaseSplitterFileEx(IAsyncReader* reader, HRESULT* hr, int cache_bytes);

    // Added to every timestamp read.
    void SetTimeOffset(REFERENCE_TIME offset_100ns) { time_offset_100ns_ = offset_100ns; }

    bool Read(PackHeader& h);
    bool Read(SystemHeader& h);
    bool Read(PesHeader& h, uint8_t stream_id);
    // `length`: bytes to search for the sequence header.
    bool Read(MpegVideoHeader& h, int64_t length, CMediaType* type);
    bool Read(MpegAudioHeader& h, int64_t length, CMediaType* type);
    bool Read(AacHeader& h, int64_t length, CMediaType* type);
    bool Read(Ac3Header& h, int64_t length, CMediaType* type);
    // The rest of Read(Ac3Header) for an E-AC-3 frame, read from its syncword.
    bool ReadEac3(Ac3Header& h, CMediaType* type);
    bool Read(DtsHeader& h, int64_t length, CMediaType* type);
    bool Read(DvdLpcmHeader& h, CMediaType* type);
    bool Read(HdmvLpcmHeader& h, CMediaType* type);
    // With `sync`, looks for the sync byte (see the transport packet size rules).
    bool Read(TransportHeader& h, bool sync = true);
    bool Read(PsiSection& h);
    bool Read(PvaHeader& h, bool sync = true);
    bool Read(H264Header& h, int64_t length, CMediaType* type);
    bool Read(Vc1Header& h, int64_t length, CMediaType* type);
    bool Read(Ps2AudioHeader& h, CMediaType* type);

    // 0 until the first transport packet was found, then 188 or 192.
    int TransportPacketSize() const { return packet_size_; }

    // A 33-bit timestamp with its marker bits (the 4-bit prefix already read).
    REFERENCE_TIME ReadTimestamp(bool* valid);

    // 90 kHz ticks to 100 ns with the time offset.
    REFERENCE_TIME TicksTo100ns(int64_t ticks) const {
        return ticks * 10000 / 90 + time_offset_100ns_;
    }

private:
    REFERENCE_TIME time_offset_100ns_ = 0;
    int packet_size_ = 0;
};

// Frame period of an MPEG video frame-rate code in 100 ns (0 for invalid codes).
REFERENCE_TIME MpegFramePeriod(int code);

}  // namespace rizuvira::demux
