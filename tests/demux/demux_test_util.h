// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers of the demultiplexer tests: byte sources over files, generated media made with
// ffmpeg into a temporary folder (once per test program), and small stream writers for the
// containers ffmpeg does not write (raw PES, PVA) and for hand-made program streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "demux/demux_types.h"
#include "dvd/dvd_access.h"
#include "platform/async_reader.h"
#include "platform/file_stream.h"

namespace rizuvira::demux::testing {

// A file served through the platform's file source; keeps the filter alive.
struct FileReader {
    ComPtr<IBaseFilter> filter;
    ComPtr<IAsyncReader> reader;
};
FileReader OpenFileReader(const std::string& path);

// The sample discs' files.
std::string NtscVob(int vts);
std::string PalVob(int vts);
// The title record of a sample disc title (index from 0); false when the disc is missing.
bool LoadTitleInfo(const std::string& disc, int title_index, dvd::DvdTitleInfo* info);

// A folder for this test program's files (removed at exit).
const std::string& TempDir();
// Runs ffmpeg with the arguments (quiet); true on success.
bool RunFfmpeg(const std::string& arguments);
// Generated once per program: 2 s MPEG-2 video + AC-3 in a transport stream, H.264 + AAC in a
// transport stream, MPEG-2 + MP2 in a program stream, and the elementary streams.
std::string TsMpeg2Ac3();
std::string TsH264Aac();
std::string PsMpeg2Mp2();
// The PES packets of a program stream, without pack and system headers.
std::string RawPesFile();
// A PVA file: MPEG-2 video and MP2 audio of the program stream, with PTS.
std::string PvaFile();

std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

// A hand-made MPEG-2 program stream: `packs` packs of 2048 bytes, each holding one video PES
// packet with a PTS; the first carries a sequence header (720x576, 25 fps, 4:3) with a
// sequence extension whose frame-rate extension is (ext_n, ext_d). Pack headers state
// `pack_byte_rate`; PTS advance so that the stream really carries `actual_byte_rate` bytes/s.
// From pack `scrambled_from` on, PES headers carry scrambling control 01; from pack
// `jump_at` on, PTS are `jump_ticks` later; see also `audio_from`.
struct ProgramStreamSpec {
    int packs = 80;
    int pack_byte_rate = 1000000;
    int actual_byte_rate = 1000000;
    int ext_n = 0, ext_d = 0;
    int scrambled_from = -1;
    int jump_at = -1;
    int64_t jump_ticks = 0;
    int64_t first_pts_ticks = 90000;
    // From this pack on, every fourth pack carries MPEG-1 layer II audio (stream 0xC0).
    int audio_from = -1;
};
std::vector<uint8_t> MakeProgramStream(const ProgramStreamSpec& spec);

}  // namespace rizuvira::demux::testing
