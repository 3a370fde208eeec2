// SPDX-License-Identifier: GPL-2.0-or-later
// CMpegSplitterFile, the time range: the time stamps of each stream and of the file, their
// unwrapping past the 33-bit clock, the byte rate they measure, the zeroed tail a file may end
// in, and the next time stamp of one stream for a seek.
#include "demux/mpeg_splitter_file.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace rizuvira::demux {

namespace {

constexpr int64_t kTailBytes = 512000;
constexpr int64_t kZeroProbeBytes = 65536;
// One turn of the 33-bit 90 kHz clock, and half of one, in 100 ns units.
constexpr REFERENCE_TIME kClockTurn100ns = (int64_t{1} << 33) * 1000 / 9;
constexpr REFERENCE_TIME kHalfClockTurn100ns = kClockTurn100ns / 2;

}  // namespace

void CMpegSplitterFile::UpdateTime(uint16_t pid, REFERENCE_TIME pts, int64_t position) {
    TimeSpan& span = pid_times_[pid];
    if (span.first != INT64_MAX && pts + kHalfClockTurn100ns < span.first) pts += kClockTurn100ns;
    if (span.first == INT64_MAX) {
        span.first = pts;
        span.first_position = position;
    } else if (pts > span.first && pts > span.last) {
        span.last = pts;
        span.last_position = position;
    }
}

void CMpegSplitterFile::CombineTimes() {
    // Programs of one multiplex run on clocks of their own: only the selected
    // program's stamps measure it.
    TimeSpan all;
    for (const auto& [pid, span] : pid_times_) {
        if (span.first == INT64_MAX || InOtherProgram(pid)) continue;
        if (all.first == INT64_MAX || span.first_position < all.first_position) {
            all.first = span.first;
            all.first_position = span.first_position;
        }
    }
    for (const auto& [pid, span] : pid_times_) {
        if (span.first == INT64_MAX || InOtherProgram(pid)) continue;
        if (span.first > all.first && span.first > all.last) {
            all.last = span.first;
            all.last_position = span.first_position;
        }
        if (span.last > all.first && span.last > all.last) {
            all.last = span.last;
            all.last_position = span.last_position;
        }
    }
    if (all.first != INT64_MAX && all.last <= all.first) {
        // A single stamp (one still picture) spans no time, but it is a time.
        all.last = all.first;
        all.last_position = all.first_position;
    }
    first_time_ = all.first;
    first_time_position_ = all.first_position;
    last_time_ = all.last;
    last_time_position_ = all.last_position;
}

void CMpegSplitterFile::ApplyMeasuredRate() {
    if (first_time_ == INT64_MAX || last_time_ <= first_time_ ||
        last_time_position_ <= first_time_position_)
        return;
    const __int128 bytes = last_time_position_ - first_time_position_;
    __int128 measured = bytes * 10000000 / (last_time_ - first_time_);
    measured = std::min<__int128>(measured, INT32_MAX);
    const int32_t rate = static_cast<int32_t>(measured);
    if (rate <= 0) return;
    if (pack_byte_rate_ == 0 || static_cast<double>(rate) / pack_byte_rate_ < 1.1 ||
        std::abs(int64_t{rate} - pack_byte_rate_) < 51200)
        byte_rate_ = rate;
    else
        byte_rate_ = pack_byte_rate_;
}

REFERENCE_TIME CMpegSplitterFile::FindNextTimestamp(uint32_t key, int64_t stop) {
    int64_t unit_start = Position();
    if (container_ == MpegContainer::kProgramStream || container_ == MpegContainer::kPesStream) {
        while (BytesLeft() > 0 && Position() < stop) {
            const int64_t before = Position();
            uint8_t code = 0;
            if (!FindStartCode(code, 65536)) {
                if (Position() == before) break;
                continue;
            }
            unit_start = Position() - 4;
            if (code < 0xBD || code > 0xEF) continue;
            PesHeader pes;
            if (!Read(pes, code) || pes.length == 0) continue;
            const int64_t payload = Position();
            if (pes.has_pts && ClassifyPayload(0, code, pes.length) == key) {
                MoveTo(unit_start);
                return Unwrap(pes.pts_100ns) - first_time_;
            }
            MoveTo(payload + pes.length);
        }
    } else if (container_ == MpegContainer::kTransportStream) {
        while (BytesLeft() > 0 && Position() < stop) {
            const int64_t before = Position();
            TransportHeader h;
            if (!Read(h, true)) {
                MoveTo(before + std::max(TransportPacketSize(), 1));
                continue;
            }
            unit_start = h.next_packet - TransportPacketSize();
            if (h.has_payload && h.unit_start && h.pid >= 16 && h.pid < 8191 &&
                ReadBits(24, true) == 0x000001) {
                ReadBits(24);
                const uint8_t code = static_cast<uint8_t>(ReadBits(8));
                PesHeader pes;
                if (Read(pes, code) && pes.has_pts && Position() < h.payload_end &&
                    ClassifyPayload(h.pid, code, h.payload_end - Position()) == key) {
                    MoveTo(unit_start);
                    return Unwrap(pes.pts_100ns) - first_time_;
                }
            }
            MoveTo(h.next_packet);
        }
    } else if (container_ == MpegContainer::kPvaStream) {
        while (BytesLeft() > 0 && Position() < stop) {
            PvaHeader h;
            const int64_t before = Position();
            if (!Read(h, true)) break;
            unit_start = Position() - 8 - (h.has_pts && h.stream_id == 1 ? 4 : 0);
            if (h.has_pts) {
                MoveTo(unit_start);
                return Unwrap(h.pts_100ns) - first_time_;
            }
            MoveTo(Position() + h.length);
            if (Position() <= before) break;
        }
    }
    MoveTo(unit_start);
    return -1;
}

void CMpegSplitterFile::RescanTail() {
    const int64_t position = Position();
    if (IsGrowing() || data_end_ <= 0) data_end_ = StreamLength();
    if (SUCCEEDED(ScanRange(std::max<int64_t>(data_end_ - kTailBytes, 0), data_end_)))
        ApplyMeasuredRate();
    MoveTo(position);
}

REFERENCE_TIME CMpegSplitterFile::Unwrap(REFERENCE_TIME pts) const {
    if (first_time_ != INT64_MAX && pts + kHalfClockTurn100ns < first_time_)
        return pts + kClockTurn100ns;
    return pts;
}

int64_t CMpegSplitterFile::FindLastTimestampBefore(uint32_t key, int64_t position, int64_t reach) {
    constexpr int64_t kBlockBytes = int64_t{1} << 20;
    // Past a found unit: its first packet in a transport stream, its start code otherwise.
    const int64_t step =
        container_ == MpegContainer::kTransportStream ? std::max(TransportPacketSize(), 1) : 4;
    const int64_t floor = std::max<int64_t>(0, position - reach);
    for (int64_t block_end = position; block_end > floor; block_end -= kBlockBytes) {
        MoveTo(std::max(floor, block_end - kBlockBytes));
        int64_t last = -1;
        while (FindNextTimestamp(key, block_end) != -1 && Position() < block_end) {
            last = Position();
            MoveTo(last + step);
        }
        if (last >= 0) return last;
    }
    return -1;
}

int64_t CMpegSplitterFile::CountPicturesFrom(uint32_t key, int64_t position) {
    int64_t pictures = 0;
    uint32_t last = 0xFFFFFFFF;  // carries a start code split between packets
    std::vector<uint8_t> bytes;
    const auto count = [&](int64_t length) {
        bytes.resize(static_cast<size_t>(std::max<int64_t>(length, 0)));
        if (bytes.empty() || FAILED(ReadBytes(bytes.data(), length))) return;
        for (const uint8_t b : bytes) {
            last = last << 8 | b;
            if (last == 0x00000100) ++pictures;
        }
    };
    MoveTo(position);
    if (container_ == MpegContainer::kProgramStream || container_ == MpegContainer::kPesStream) {
        while (BytesLeft() > 0) {
            const int64_t before = Position();
            uint8_t code = 0;
            if (!FindStartCode(code, 65536)) {
                if (Position() == before) break;
                continue;
            }
            if (code < 0xBD || code > 0xEF) continue;
            PesHeader pes;
            if (!Read(pes, code) || pes.length == 0) continue;
            const int64_t payload = Position();
            const bool ours = ClassifyPayload(0, code, pes.length) == key;
            MoveTo(payload);
            if (ours) count(std::min<int64_t>(pes.length, BytesLeft()));
            MoveTo(payload + pes.length);
        }
    } else if (container_ == MpegContainer::kTransportStream) {
        while (BytesLeft() > 0) {
            const int64_t before = Position();
            TransportHeader h;
            if (!Read(h, true)) {
                MoveTo(before + std::max(TransportPacketSize(), 1));
                continue;
            }
            if (h.has_payload && h.pid == key) {
                bool readable = true;
                if (h.unit_start && ReadBits(24, true) == 0x000001) {
                    ReadBits(24);
                    const uint8_t code = static_cast<uint8_t>(ReadBits(8));
                    PesHeader pes;
                    readable = Read(pes, code);
                }
                if (readable && Position() < h.payload_end) count(h.payload_end - Position());
            }
            MoveTo(h.next_packet);
        }
    }
    return pictures;
}

bool CMpegSplitterFile::IsZeroBlock(int64_t start, int64_t stop) {
    std::vector<uint8_t> bytes(static_cast<size_t>(stop - start));
    MoveTo(start);
    if (FAILED(ReadBytes(bytes.data(), stop - start))) return false;
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// The zeros end a file in one stretch: a binary search over blocks finds
// where they start in a few reads, however long they are. The blocks after
// the one it finds are sampled, and where one holds data after all, every
// block is read from the end instead.
int64_t CMpegSplitterFile::FindDataEnd() {
    const int64_t length = StreamLength();
    if (!IsRandomAccess() || IsGrowing() || length <= kZeroProbeBytes) return length;
    const int64_t blocks = (length + kZeroProbeBytes - 1) / kZeroProbeBytes;
    const auto zero = [&](int64_t block) {
        return IsZeroBlock(block * kZeroProbeBytes,
                           std::min(length, (block + 1) * kZeroProbeBytes));
    };
    if (!zero(blocks - 1)) return length;
    int64_t low = 0, high = blocks - 1;  // the first zero block is in [low, high]
    while (low < high) {
        const int64_t middle = low + (high - low) / 2;
        if (zero(middle))
            high = middle;
        else
            low = middle + 1;
    }
    bool one_stretch = true;
    for (int64_t step = 1; one_stretch && low + step < blocks; step *= 2)
        one_stretch = zero(low + step);
    if (!one_stretch) {
        low = blocks - 1;
        while (low > 0 && zero(low - 1)) --low;
    }
    if (low == 0) return length;  // nothing but zeros: leave it to the parser to refuse
    // The last bytes of data in the block before the zeros.
    const int64_t start = (low - 1) * kZeroProbeBytes;
    std::vector<uint8_t> bytes(static_cast<size_t>(kZeroProbeBytes));
    MoveTo(start);
    if (FAILED(ReadBytes(bytes.data(), kZeroProbeBytes))) return length;
    int64_t end = kZeroProbeBytes;
    while (end > 0 && bytes[static_cast<size_t>(end - 1)] == 0) --end;
    return start + end;
}

}  // namespace rizuvira::demux
