// SPDX-License-Identifier: GPL-2.0-or-later
// Real compressed packets for the decoder tests: a sample disc's VOB file demultiplexed with
// libavformat (parsing off, so every packet is one PES payload as the splitter delivers it),
// and the media types the splitter gives each kind of stream.
//
// Stream ids follow the splitter's keys without the PES byte: 0xE0 video, 0xC0+n MPEG audio,
// 0x80+n AC-3, 0xA0+n LPCM (its 3-byte LPCM header removed, as the splitter does), 0x20+n
// subpictures. Times are 100 ns from the title's first picture, or empty for a payload
// without a PTS.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/media_type.h"

namespace rizuvira::decoders {

struct VobPacket {
    int stream_id = 0;
    std::vector<uint8_t> data;
    std::optional<REFERENCE_TIME> start_100ns;
};

struct VobFile {
    std::vector<VobPacket> packets;  // in file order
    // First LPCM header seen per stream (bits, rate, channels), for the LPCM type.
    int lpcm_bits = 0;
    int lpcm_rate = 0;
    int lpcm_channels = 0;
};

// Reads every packet of `path`. Fails the calling test (and returns an empty file) when the
// file does not open.
VobFile ReadVob(const std::string& path);

// Reads a program stream file other than a sample disc's (same rules as ReadVob).
inline VobFile ReadProgramStream(const std::string& path) {
    return ReadVob(path);
}

// Path of a VOB of a sample disc: e.g. VobPath("ntsc", 2) for ntsc/VIDEO_TS/VTS_02_1.VOB.
std::string VobPath(const std::string& disc, int title_set);

// The splitter's media type of the video stream, with the first sequence header (and
// extension) found in `file` in its format block.
CMediaType VideoType(const VobFile& file);
// The splitter's MPEG-1 type (MPEG1Payload, FORMAT_MPEGVideo), no display aspect of its own.
CMediaType Mpeg1VideoType(const VobFile& file);
CMediaType Ac3Type(int channels);
CMediaType DtsType(int channels);
CMediaType Mpeg1Layer2Type(int channels);
CMediaType LpcmType(const VobFile& file);
CMediaType SubpictureType();

// Payloads of one stream, in order.
std::vector<const VobPacket*> StreamPackets(const VobFile& file, int stream_id);

}  // namespace rizuvira::decoders
