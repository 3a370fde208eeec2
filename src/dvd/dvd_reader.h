// SPDX-License-Identifier: GPL-2.0-or-later
// The DVD reader: the source filter at the head of every playback and
// conversion graph. It presents one title, or one chapter of a title, of an
// open disc as a seekable MPEG-2 program stream on its single pull-model
// output pin "Output", read through the DVD access layer in 10240-byte blocks.
//
// Graph builders make it directly, add it under the name "Reader", hand it the
// disc handle the catalogue opened (SetDvdHandle) or a path (Load), choose
// the area (SetArea) and read the title's duration (GetDuration).
//
// Threads: SetDvdHandle, SetArea, Load and GetDuration run on the application
// thread while the graph is stopped; the request engine's worker thread and
// the demultiplexer's thread read through CDVDStream between LockStream and
// UnlockStream. The stream lock guards every field of CDVDStream.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "dvd/dvd_access.h"
#include "dvd/dvd_time_map.h"
#include "platform/async_reader.h"
#include "platform/sync.h"

namespace rizuvira::dvd {

struct IMyDVDReader : virtual IUnknown {
    static constexpr GUID iid = "1ADB4EE7-45A0-4459-A508-AD77B32C01B2"_guid;

    // Takes a disc handle that the caller keeps open (and closes) itself;
    // selects title 0, whole title.
    virtual HRESULT SetDvdHandle(int32_t handle) = 0;
    // Chapter -1 means the whole title.
    virtual HRESULT SetArea(int32_t title, int32_t chapter) = 0;
    // Duration of the current title in milliseconds, truncated.
    virtual HRESULT GetDuration(int64_t* duration_ms) = 0;
};

// For converting a chapter: the disc keeps the sound of a chapter's last
// moments up to a second into the next chapter, so reading may go on to the
// title's end while the start, length and duration stay the chapter's; the
// consumer ends the range itself. Holds for later SetArea calls too.
struct IMyDVDReadOn : virtual IUnknown {
    static constexpr GUID iid = "5F0C3B1E-8A4D-4E62-9B07-3C2D61A9E4F5"_guid;
    virtual HRESULT SetReadToTitleEnd(bool on) = 0;
};

// The first parameter of the EC_STREAM_ERROR_STILLPLAYING event the reader
// posts when the disc cannot be read before the end of the area (a damaged
// disc or a cut-off image): the stream ends there and the graph plays on.
inline constexpr HRESULT DVDREADER_E_READ = MakeHresult(0x8004FE11u);

inline constexpr GUID CLSID_DVDReader = "783EAEDE-D5EE-4FCE-1C8F-A4F53D0A2F73"_guid;

// The byte stream of the current area, buffered one library block at a time.
class CDVDStream final : public CAsyncStream {
public:
    static constexpr int kScratchBytes = 20480;

    CDVDStream() = default;
    ~CDVDStream() override;
    CDVDStream(const CDVDStream&) = delete;
    CDVDStream& operator=(const CDVDStream&) = delete;

    // Takes `handle`; closes it on destruction (or when replaced) only when
    // `owns` is set. Fills the disc record and selects title 0, whole title.
    HRESULT SetDvdHandle(int32_t handle, bool owns);
    HRESULT SetArea(int32_t title, int32_t chapter);
    // Milliseconds of the area: the title's duration, or the chapter's when
    // one chapter is chosen.
    int64_t AreaDurationMs();
    void SetReadToTitleEnd(bool on);
    // Called (under the stream lock) when the disc cannot be read before the
    // area's end; the stream then ends where the reading stopped.
    void SetReadErrorHandler(std::function<void()> handler);
    bool FindTime(double ms, DvdCellSpan* span);

    HRESULT MoveToByte(LONGLONG position) override;
    HRESULT ReadBytes(BYTE* destination, DWORD count, DWORD* actual) override;
    LONGLONG TotalSize(LONGLONG* available = nullptr) override;
    DWORD RequiredAlignment() override { return 1; }
    void LockStream() override { lock_.Lock(); }
    void UnlockStream() override { lock_.Unlock(); }

private:
    void ReleaseHandle();

    CCritSec lock_;
    bool owns_handle_ = false;
    int32_t handle_ = 0;
    LONGLONG position_ = 0;              // byte offset of the next byte to deliver
    std::atomic<LONGLONG> length_{0};    // bytes in the stream, as now known; read without the lock
    std::unique_ptr<uint8_t[]> buffer_;  // the last block MyDVDRead returned
    int read_offset_ = 0;                // next unread byte in buffer_
    int bytes_left_ = 0;                 // unread bytes in buffer_; negative after a failed read
    int32_t title_ = 0;
    int32_t chapter_ = -1;
    bool read_to_title_end_ = false;
    std::function<void()> on_read_error_;
    std::unique_ptr<TitleTable> disc_;  // the record of the disc of handle_
    uint8_t scratch_[kScratchBytes];    // bytes a seek reads past to land exactly
};

class CDVDReader final : public CAsyncReader,
                         public IFileSourceFilter,
                         public IMyDVDReader,
                         public IMyDVDReadOn,
                         public IMyDVDTimeMap {
public:
    // Made directly by the graph builders; *hr reports a failed construction.
    CDVDReader(IUnknown* outer, HRESULT* hr);
    ~CDVDReader() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IMyDVDReader
    HRESULT SetDvdHandle(int32_t handle) override;
    HRESULT SetArea(int32_t title, int32_t chapter) override;
    HRESULT GetDuration(int64_t* duration_ms) override;
    // IMyDVDReadOn
    HRESULT SetReadToTitleEnd(bool on) override;
    // IMyDVDTimeMap
    HRESULT FindTime(double ms, DvdCellSpan* span) override;

    // IFileSourceFilter: `file_name` is the disc itself (an image, a folder,
    // a drive); the media type is not used.
    HRESULT Load(const std::string& file_name, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(std::string* file_name, CMediaType* type) override;

private:
    void OfferProgramStream();

    CDVDStream stream_;
    std::string file_name_;
};

}  // namespace rizuvira::dvd
