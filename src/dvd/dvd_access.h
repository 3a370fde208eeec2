// SPDX-License-Identifier: GPL-2.0-or-later
// The DVD access layer: opens a disc (drive, folder or ISO image), describes its
// titles and serves a title or a chapter range of it as one continuous MPEG-2
// program stream. Written over libdvdread.
//
// Threading: every operation may be called from any thread. The reader filter's
// worker thread reads and seeks while the main thread holds the handle; each
// open disc serialises its own operations, and a handle closed while another
// thread is inside a call stays valid until that call returns.
#pragma once

#include <cstdint>
#include <string>

namespace rizuvira::dvd {

inline constexpr int kDvdMaxTitles = 99;
inline constexpr int kDvdMaxChapters = 99;
inline constexpr int kDvdMaxStreams = 32;
inline constexpr int kDvdSectorBytes = 2048;
inline constexpr int kDvdReadBytes = 131072;  // what the reader asks for per call: 64 sectors

// Audio coding numbers as the records carry them.
enum DvdAudioCoding : int32_t {
    kDvdAudioAc3 = 0,
    kDvdAudioMpeg1 = 2,
    kDvdAudioMpeg2 = 3,
    kDvdAudioLpcm = 4,
    kDvdAudioDts = 5,
    kDvdAudioOther = 7,  // SDDS and anything unknown
    // Only plain files carry these (a disc's field has three bits).
    kDvdAudioAac = 8,
    kDvdAudioEac3 = 9,
};

// One title. Stream ids are (PES stream id << 8) | substream: AC-3 0xBD80 + n,
// DTS 0xBD88 + n, LPCM 0xBDA0 + n, MPEG audio (0xC0 + n) << 8, subpictures
// 0xBD20 + n. Language codes hold two letters in the low 16 bits, the first
// one in the high byte; 0 when the disc records none.
struct DvdTitleInfo {
    int32_t chapters;
    int32_t reserved0;
    double duration_ms;
    uint8_t reserved1[256];
    uint32_t chapter_sectors[kDvdMaxChapters];  // size of each chapter, 2048-byte sectors
    int32_t audio_count;
    int32_t audio_id[kDvdMaxStreams];
    int32_t audio_language[kDvdMaxStreams];
    int32_t audio_coding[kDvdMaxStreams];    // DvdAudioCoding
    int32_t audio_channels[kDvdMaxStreams];  // channels less one
    int32_t subtitle_count;
    int32_t subtitle_id[kDvdMaxStreams];
    int32_t subtitle_language[kDvdMaxStreams];
};

// The titles of an open source: those of a disc, or the ones a plain file or
// a Blu-ray folder is listed as.
struct TitleTable {
    int32_t title_count;
    int32_t reserved0;
    DvdTitleInfo titles[kDvdMaxTitles];
};

// Picture facts of a title that the records above leave out.
struct DvdVideoInfo {
    int32_t width;           // 720, 704, 352
    int32_t height;          // 480 or 576 (half for 352x240/288)
    int32_t frame_rate_num;  // 30000 or 25
    int32_t frame_rate_den;  // 1001 or 1
    int32_t aspect_x;        // display aspect, 4:3 or 16:9
    int32_t aspect_y;
};

// Sound facts of a title that the records above leave out, one entry per
// audio stream in the order of DvdTitleInfo's lists.
struct DvdAudioInfo {
    int32_t count;
    int32_t sample_rate_hz[kDvdMaxStreams];  // 48000 or 96000; 0 when the IFO names neither
};

// Returns a nonzero handle, or 0 when the path is missing, is not a DVD, or
// holds no readable VIDEO_TS.IFO. Accepts an ISO image, a folder holding
// VIDEO_TS, the VIDEO_TS folder itself, a drive device or a mount point.
// Anything but a folder, a regular file or a block device (a named pipe, a
// socket, a character device) is refused before libdvdread sees it.
int32_t MyDVDOpen(const char* path);

// Why MyDVDOpen gives no handle for `path`, as the end of a sentence that
// starts with the path ("is a named pipe, not a disc ..."); empty when it
// opens.
std::string DiscOpenProblem(const std::string& path);

// Fills the record (zeroed first). An unknown handle leaves it zeroed.
void MyDVDGetInfo(int32_t handle, TitleTable* info);

// Later reads start at that chapter of that title (indexes from 0). Returns 0,
// or -1 for an unknown handle, title or chapter (reads then return 0).
int MyDVDSetArea(int32_t handle, int title, int chapter);

// Reads end before the given chapter starts. A chapter of another title, or
// past the last chapter, ends reading at the end of the area's title.
int MyDvdSetStopPos(int32_t handle, int title, int chapter);

// Moves to a byte offset from the start of the area (origin 0 only). Returns the
// offset reached, at or before the one asked (the start of its sector, or the
// end of the area), or a negative number on failure.
int64_t MyDVDSeek(int32_t handle, int64_t offset, int origin);

// Reads whole sectors, up to size bytes. Returns the byte count, 0 at the stop
// position, negative when the disc cannot be read.
int MyDVDRead(int32_t handle, uint8_t* buffer, int size);

void MyDVDClose(int32_t handle);

// Extras the records leave out: the picture and the sound of a title, and its
// subpicture colour table (16 entries, 0x00YYCrCb as stored in the IFO). All
// return false for an unknown handle or title.
bool MyDVDGetVideoInfo(int32_t handle, int title, DvdVideoInfo* video);
bool MyDVDGetAudioInfo(int32_t handle, int title, DvdAudioInfo* audio);
bool MyDVDGetPalette(int32_t handle, int title, uint32_t palette[16]);

// Why the title (or, from `chapter` >= 0, that chapter) cannot be read, found
// by reading its first sector: empty when it reads and starts with an MPEG
// pack. Names the video file and the reason where the disc is a folder
// ("VTS_01_1.VOB is missing"). Leaves the read position undefined: set the
// area again afterwards.
std::string MyDvdReadProblem(int32_t handle, int title, int chapter);
// The picture size the title's first MPEG sequence header gives, found in
// its first sectors: a title's information may claim another (dvdauthor
// writes half-width titles as full-width ones). False when none is found.
// Leaves the read position undefined, as MyDvdReadProblem does.
bool MyDvdStreamPictureSize(int32_t handle, int title, int32_t* width, int32_t* height);

// Playing time of one chapter in milliseconds, summed from its cells (the
// first angle of a multi-angle block only); -1 for an unknown handle, title
// or chapter.
double MyDvdGetChapterDuration(int32_t handle, int title, int chapter);

// The cell of the current area that plays at `ms` from the area's start:
// where its bytes start and end in the area's stream and when it starts.
// Titles are often put together from pieces whose time stamps restart, so
// the cells' playing times, not the time stamps, tell where a moment is.
struct DvdCellSpan {
    int64_t first_byte = 0;
    int64_t end_byte = 0;
    double start_ms = 0;
};
// False for an unknown handle or an area without cells.
bool MyDvdFindTime(int32_t handle, double ms, DvdCellSpan* span);

// The volume name of the disc at `path` (a drive, a mount point, a disc
// folder or an ISO image): the UDF volume identifier, else the ISO 9660 one;
// empty when no disc can be read there (an empty drive).
std::string DiscVolumeName(const std::string& path);

}  // namespace rizuvira::dvd
