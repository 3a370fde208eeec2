// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseSplitterFile: positioned, cached reading and a bit reader over a pull-model byte
// source (IAsyncReader, normally the DVD reader's output pin).
//
// The reader keeps a window (the cache) of source bytes and serves reads from it; reads
// larger than the window go straight to the source. Every read is bounded by the stream's
// length: a read that would pass it fails without touching the destination beyond what the
// source delivered, so a truncated stream never yields stale or uninitialised bytes.
//
// Bits: ReadBits shifts whole bytes into a 64-bit buffer and hands out its top bits;
// Position() accounts for the whole bytes still buffered, and MoveTo empties the buffer.
//
// Threads: one object is used by one thread at a time (the caller's thread while the
// splitter connects, the demultiplexing thread while it runs); nothing here locks.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/async_reader.h"

namespace rizuvira::demux {

class CBaseSplitterFile {
public:
    // Asks the source for its length. *hr: E_UNEXPECTED without a source, E_FAIL for a
    // failing or negative length, E_OUTOFMEMORY when the cache cannot be had, else S_OK.
    CBaseSplitterFile(IAsyncReader* reader, HRESULT* hr, int cache_bytes);
    virtual ~CBaseSplitterFile() = default;
    CBaseSplitterFile(const CBaseSplitterFile&) = delete;
    CBaseSplitterFile& operator=(const CBaseSplitterFile&) = delete;

    // Clamped to [0, length]; empties the bit buffer.
    void MoveTo(int64_t position);
    // The next byte to read, less the whole bytes still held in the bit buffer.
    int64_t Position() const { return position_ - (bit_count_ >> 3); }
    // For a growing stream the source is asked again for the available bytes; with
    // `refresh` for the total.
    int64_t StreamLength(bool refresh = false);
    int64_t BytesLeft(bool refresh = false);

    bool IsRandomAccess() const { return random_access_; }
    bool IsGrowing() const { return growing_; }

    // Reads n bytes at the position and advances it. A source error, or a range passing the
    // stream's end, fails (the position then stays where it was).
    HRESULT ReadBytes(uint8_t* destination, int64_t n);
    // Reads n bits (n up to 64), most significant first. A failing byte read gives 0.
    uint64_t ReadBits(int n, bool peek = false);
    void AlignToByte() {
        bit_count_ &= ~7;
        bit_buffer_ &= bit_count_ ? ((uint64_t{1} << bit_count_) - 1) : 0;
    }
    // Byte-aligns, then reads up to `limit` bytes looking for 00 00 01 xx; true with xx as
    // `code`, the position just behind it.
    bool FindStartCode(uint8_t& code, int64_t limit = 65536);

    IAsyncReader* Reader() const { return reader_.Get(); }

protected:
    // Called once when a stream that was growing has become complete.
    virtual void OnStreamComplete() {}

private:
    HRESULT FillCache(int64_t at);
    // ReadBytes without touching the bit buffer.
    HRESULT RawRead(uint8_t* destination, int64_t n);
    bool ShiftInByte();

    ComPtr<IAsyncReader> reader_;
    int64_t position_ = 0;
    int64_t length_ = 0;
    bool random_access_ = false;
    bool growing_ = false;

    std::unique_ptr<uint8_t[]> cache_;
    int64_t cache_bytes_ = 0;
    int64_t cache_position_ = 0;
    int64_t cache_fill_ = 0;

    uint64_t bit_buffer_ = 0;
    int bit_count_ = 0;
};

}  // namespace rizuvira::demux
