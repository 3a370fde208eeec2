// SPDX-License-Identifier: GPL-2.0-or-later
// The words that describe the demultiplexer's streams: the kind names (which are also the
// output pin names), the names of transport and Blu-ray stream types, the bit-rate text,
// the description of a stream's media type that the stream-selection interface lists, and
// the tag that ends each listed name and carries the stream's key.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "demux/mpeg_splitter_file.h"
#include "platform/media_type.h"

namespace rizuvira::demux {

// "Video", "Audio", "Subtitle"; empty for anything else.
const char* StreamKindName(int kind);

// The name of a transport or playlist stream type, or nothing.
std::optional<std::string> StreamTypeName(int stream_type);

// "%.2f mbit/s" above 20,000,000 bits/s, else "%.1f kbit/s".
std::string BitRateText(double bits_per_second);

// "<kind> - part, part, ..." or empty when the type gives no part. `clip` is the clip
// information's entry for the stream (it overrides `stream_type` and adds language and rate
// codes).
std::string DescribeStream(const AM_MEDIA_TYPE& type, const ClipStreamEntry* clip, int stream_type);

// "(pid,stream id,substream)" in hexadecimal, "(%04x,%02x,%02x)": the tag the splitter puts
// last in every stream name it lists.
std::string StreamTag(int pid, int stream_id, int substream_id);

// The TrackId of a listed stream, from the last tag in its name: (stream id << 8) | substream
// as the DVD layer gives a track, with the PID above it when the tag has one. -1 when the
// name holds no tag.
int32_t TrackIdFromName(const std::string& name);
// The transport PID of a listed stream, from the same tag; -1 when there is none.
int StreamPidFromName(const std::string& name);

}  // namespace rizuvira::demux
