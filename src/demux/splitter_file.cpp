// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/splitter_file.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace rizuvira::demux {

CBaseSplitterFile::CBaseSplitterFile(IAsyncReader* reader, HRESULT* hr, int cache_bytes)
    : reader_(reader) {
    HRESULT result = S_OK;
    if (!reader_) {
        result = E_UNEXPECTED;
    } else {
        LONGLONG total = 0, available = 0;
        if (FAILED(reader_->Length(&total, &available)) || total < 0 || available < 0) {
            result = E_FAIL;
        } else {
            random_access_ = total > 0 && total == available;
            growing_ = total == 0 && available > 0;
            length_ = total > 0 ? total : available;
            cache_bytes_ = std::max(cache_bytes, 16);
            cache_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(cache_bytes_)]);
            if (!cache_) result = E_OUTOFMEMORY;
        }
    }
    if (hr) *hr = result;
}

void CBaseSplitterFile::MoveTo(int64_t position) {
    const int64_t length = StreamLength();
    position_ = std::clamp<int64_t>(position, 0, std::max<int64_t>(length, 0));
    bit_buffer_ = 0;
    bit_count_ = 0;
}

int64_t CBaseSplitterFile::StreamLength(bool refresh) {
    if (growing_ || refresh) {
        LONGLONG total = 0, available = 0;
        if (SUCCEEDED(reader_->Length(&total, &available))) {
            if (refresh && total > 0)
                length_ = total;
            else if (growing_ && available > 0)
                length_ = available;
        }
    }
    return length_;
}

int64_t CBaseSplitterFile::BytesLeft(bool refresh) {
    return std::max<int64_t>(StreamLength(refresh) - Position(), 0);
}

HRESULT CBaseSplitterFile::FillCache(int64_t at) {
    int64_t fill = std::min(cache_bytes_, StreamLength() - at);
    if (fill <= 0) return E_FAIL;
    HRESULT hr = reader_->SyncRead(at, static_cast<LONG>(fill), cache_.get());
    if (hr != S_OK && random_access_) {
        // A source may end before the length it announced (a DVD chapter ends
        // at its stop position, inside the title's length): the bytes up to
        // the new end are still good.
        const int64_t before = length_;
        const int64_t shorter = std::min(cache_bytes_, StreamLength(true) - at);
        if (length_ < before && shorter > 0 && shorter < fill) {
            fill = shorter;
            hr = reader_->SyncRead(at, static_cast<LONG>(fill), cache_.get());
        }
    }
    if (hr != S_OK) {
        cache_fill_ = 0;
        return FAILED(hr) ? hr : E_FAIL;
    }
    cache_position_ = at;
    cache_fill_ = fill;
    return S_OK;
}

HRESULT CBaseSplitterFile::ReadBytes(uint8_t* destination, int64_t n) {
    if (n < 0) return E_INVALIDARG;
    if (bit_count_ > 0) {
        // Whole bytes peeked into the bit buffer are read again; a partial byte is dropped.
        position_ -= bit_count_ >> 3;
        bit_buffer_ = 0;
        bit_count_ = 0;
    }
    return RawRead(destination, n);
}

HRESULT CBaseSplitterFile::RawRead(uint8_t* destination, int64_t n) {
    if (n == 0) return S_OK;
    if (!random_access_ && !growing_) {
        LONGLONG total = 0, available = 0;
        if (SUCCEEDED(reader_->Length(&total, &available)) && total > 0 && total == available) {
            random_access_ = true;
            length_ = total;
            OnStreamComplete();
        }
    }
    // Bytes already in the bit buffer are behind position_; a byte read after a partial
    // bit read continues from position_.
    if (position_ + n > StreamLength()) return E_FAIL;

    int64_t pos = position_;
    int64_t left = n;
    // Fast path: the window covers the whole range.
    if (pos >= cache_position_ && pos + left <= cache_position_ + cache_fill_) {
        std::memcpy(destination, cache_.get() + (pos - cache_position_), static_cast<size_t>(left));
        position_ += n;
        return S_OK;
    }
    // The window's part at the front.
    if (pos >= cache_position_ && pos < cache_position_ + cache_fill_) {
        const int64_t have = cache_position_ + cache_fill_ - pos;
        std::memcpy(destination, cache_.get() + (pos - cache_position_), static_cast<size_t>(have));
        destination += have;
        pos += have;
        left -= have;
    }
    // Whole window-sized pieces straight from the source.
    while (left > cache_bytes_) {
        const HRESULT hr = reader_->SyncRead(pos, static_cast<LONG>(cache_bytes_), destination);
        if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
        destination += cache_bytes_;
        pos += cache_bytes_;
        left -= cache_bytes_;
    }
    if (left > 0) {
        const HRESULT hr = FillCache(pos);
        if (FAILED(hr)) return hr;
        if (cache_fill_ < left) return E_FAIL;
        std::memcpy(destination, cache_.get(), static_cast<size_t>(left));
    }
    position_ += n;
    return S_OK;
}

bool CBaseSplitterFile::ShiftInByte() {
    uint8_t byte = 0;
    // Inline window hit: the common case by far.
    if (position_ >= cache_position_ && position_ < cache_position_ + cache_fill_) {
        byte = cache_[static_cast<size_t>(position_ - cache_position_)];
        ++position_;
    } else if (FAILED(RawRead(&byte, 1))) {
        return false;
    }
    bit_buffer_ = (bit_buffer_ << 8) | byte;
    bit_count_ += 8;
    return true;
}

uint64_t CBaseSplitterFile::ReadBits(int n, bool peek) {
    if (n <= 0) return 0;
    if (n > 56) {
        // Wider than the buffer can take after a partial byte: two reads.
        const int64_t saved_position = position_;
        const uint64_t saved_buffer = bit_buffer_;
        const int saved_count = bit_count_;
        const uint64_t high = ReadBits(n - 32);
        const uint64_t low = ReadBits(32);
        if (peek) {
            position_ = saved_position;
            bit_buffer_ = saved_buffer;
            bit_count_ = saved_count;
        }
        return (high << 32) | low;
    }
    while (bit_count_ < n) {
        if (!ShiftInByte()) return 0;
    }
    const uint64_t mask = (uint64_t{1} << n) - 1;
    const uint64_t value = (bit_buffer_ >> (bit_count_ - n)) & mask;
    if (!peek) {
        bit_count_ -= n;
        bit_buffer_ &= bit_count_ ? ((uint64_t{1} << bit_count_) - 1) : 0;
    }
    return value;
}

bool CBaseSplitterFile::FindStartCode(uint8_t& code, int64_t limit) {
    AlignToByte();
    // Bytes still in the bit buffer are read first, through ReadBits.
    uint32_t last = 0xFFFFFFFF;
    for (int64_t i = 0; i < limit; ++i) {
        uint8_t byte;
        if (bit_count_ >= 8) {
            byte = static_cast<uint8_t>(ReadBits(8));
        } else if (position_ >= cache_position_ && position_ < cache_position_ + cache_fill_) {
            byte = cache_[static_cast<size_t>(position_ - cache_position_)];
            ++position_;
        } else if (FAILED(RawRead(&byte, 1))) {
            return false;
        }
        last = (last << 8) | byte;
        if ((last & 0xFFFFFF00u) == 0x00000100u) {
            code = byte;
            return true;
        }
    }
    return false;
}

}  // namespace rizuvira::demux
