// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseSplitterFileEx, the system layer: program stream pack, system and PES headers,
// transport stream packets and their PSI sections, and PVA packets.
#include "demux/splitter_file_ex.h"

namespace rizuvira::demux {

CBaseSplitterFileEx::CBaseSplitterFileEx(IAsyncReader* reader, HRESULT* hr, int cache_bytes)
    : CBaseSplitterFile(reader, hr, cache_bytes) {}

REFERENCE_TIME CBaseSplitterFileEx::ReadTimestamp(bool* valid) {
    int64_t ticks = static_cast<int64_t>(ReadBits(3)) << 30;
    bool ok = ReadBits(1) == 1;
    ticks |= static_cast<int64_t>(ReadBits(15)) << 15;
    ok = ReadBits(1) == 1 && ok;
    ticks |= static_cast<int64_t>(ReadBits(15));
    ok = ReadBits(1) == 1 && ok;
    if (valid) *valid = ok;
    return TicksTo100ns(ticks);
}

bool CBaseSplitterFileEx::Read(PackHeader& h) {
    const uint8_t first = static_cast<uint8_t>(ReadBits(8, true));
    h = {};
    if ((first & 0xF1) == 0x21) {
        h.mpeg_version = 1;
        ReadBits(4);
        bool ok = false;
        h.scr_100ns = ReadTimestamp(&ok);
        if (!ok || ReadBits(1) != 1) return false;
        h.mux_rate = static_cast<uint32_t>(ReadBits(22));
        if (ReadBits(1) != 1) return false;
    } else if ((first & 0xC4) == 0x44) {
        h.mpeg_version = 2;
        ReadBits(2);
        bool ok = false;
        h.scr_100ns = ReadTimestamp(&ok);
        if (!ok) return false;
        ReadBits(9);  // SCR extension
        if (ReadBits(1) != 1) return false;
        h.mux_rate = static_cast<uint32_t>(ReadBits(22));
        if (ReadBits(1) != 1 || ReadBits(1) != 1) return false;
        ReadBits(5);
        const int stuffing = static_cast<int>(ReadBits(3));
        for (int i = 0; i < stuffing; ++i) ReadBits(8);
    } else {
        return false;
    }
    h.bit_rate = h.mux_rate * 400;
    return true;
}

bool CBaseSplitterFileEx::Read(SystemHeader& h) {
    h = {};
    h.header_length = static_cast<uint16_t>(ReadBits(16));
    const int64_t end = Position() + h.header_length;
    if (ReadBits(1) != 1) return false;
    h.rate_bound = static_cast<uint32_t>(ReadBits(22));
    if (ReadBits(1) != 1) return false;
    h.audio_bound = static_cast<uint8_t>(ReadBits(6));
    h.fixed_rate = ReadBits(1);
    h.csps = ReadBits(1);
    h.audio_lock = ReadBits(1);
    h.video_lock = ReadBits(1);
    if (ReadBits(1) != 1) return false;
    h.video_bound = static_cast<uint8_t>(ReadBits(5));
    MoveTo(end);  // stream entries
    return true;
}

bool CBaseSplitterFileEx::Read(PesHeader& h, uint8_t stream_id) {
    h = {};
    if ((stream_id < 0xBD || stream_id > 0xEF) && stream_id != 0xFD) return false;
    int64_t length = static_cast<int64_t>(ReadBits(16));
    const bool bounded = length != 0;
    for (int i = 0; i < 16 && ReadBits(8, true) == 0xFF; ++i) {
        ReadBits(8);
        if (bounded && --length < 0) return false;
    }
    if (ReadBits(2, true) == 2) {
        h.mpeg_version = 2;
        ReadBits(2);
        h.scrambling = static_cast<uint8_t>(ReadBits(2));
        ReadBits(4);  // priority, alignment, copyright, original
        h.has_pts = ReadBits(1);
        h.has_dts = ReadBits(1);
        ReadBits(6);  // ESCR, ES rate, trick mode, copy info, CRC, extension
        h.header_data_length = static_cast<uint8_t>(ReadBits(8));
        const int64_t data_start = Position();
        if (h.has_pts) {
            const uint64_t prefix = ReadBits(4);
            if (prefix != (h.has_dts ? 3u : 2u)) return false;
            bool ok = false;
            h.pts_100ns = ReadTimestamp(&ok);
            if (!ok) return false;
            if (h.has_dts) {
                if (ReadBits(4) != 1) return false;
                h.dts_100ns = ReadTimestamp(&ok);
                if (!ok) return false;
            }
        } else if (h.has_dts) {
            return false;
        }
        if (Position() > data_start + h.header_data_length) return false;
        MoveTo(data_start + h.header_data_length);
        if (bounded) {
            length -= 3 + h.header_data_length;
            if (length < 0) return false;
        }
    } else {
        h.mpeg_version = 1;
        if (ReadBits(2, true) == 1) {
            ReadBits(16);  // STD buffer scale and size
            if (bounded && (length -= 2) < 0) return false;
        }
        const uint64_t prefix = ReadBits(4, true);
        if (prefix == 2 || prefix == 3) {
            ReadBits(4);
            bool ok = false;
            h.pts_100ns = ReadTimestamp(&ok);
            if (!ok) return false;
            h.has_pts = true;
            if (bounded && (length -= 5) < 0) return false;
            if (prefix == 3) {
                if (ReadBits(4) != 1) return false;
                h.dts_100ns = ReadTimestamp(&ok);
                if (!ok) return false;
                h.has_dts = true;
                if (bounded && (length -= 5) < 0) return false;
            }
        } else {
            if (ReadBits(8) != 0x0F) return false;
            if (bounded && (length -= 1) < 0) return false;
        }
    }
    h.length = static_cast<uint32_t>(length);
    return true;
}

bool CBaseSplitterFileEx::Read(TransportHeader& h, bool sync) {
    h = {};
    AlignToByte();
    if (packet_size_ == 0) {
        // First packet: find a sync byte confirmed one packet later.
        const int64_t start = Position();
        for (int i = 0; i < 192 && packet_size_ == 0; ++i) {
            const int64_t at = start + i;
            if (at + 189 > StreamLength()) break;
            MoveTo(at);
            if (ReadBits(8) != 0x47) continue;
            MoveTo(at + 188);
            if (ReadBits(8) == 0x47) {
                packet_size_ = 188;
            } else if (at + 193 <= StreamLength()) {
                MoveTo(at + 192);
                if (ReadBits(8) == 0x47) packet_size_ = 192;
            }
            if (packet_size_) MoveTo(at);
        }
        if (packet_size_ == 0) {
            MoveTo(start);
            return false;
        }
    }
    if (sync) {
        const int64_t start = Position();
        bool found = false;
        for (int i = 0; i < packet_size_; ++i) {
            const int64_t at = start + i;
            if (at >= StreamLength()) break;
            MoveTo(at);
            if (ReadBits(8, true) != 0x47) continue;
            if (i == 0) {
                found = true;
                break;
            }
            if (at + packet_size_ < StreamLength()) {
                MoveTo(at + packet_size_);
                const bool confirmed = ReadBits(8, true) == 0x47;
                MoveTo(at);
                if (confirmed) {
                    found = true;
                    break;
                }
            }
        }
        if (!found) return false;
    }
    const int64_t sync_position = Position();
    if (BytesLeft() < 188) return false;
    if (ReadBits(8) != 0x47) return false;
    h.next_packet = sync_position + packet_size_;
    h.payload_end = sync_position + 188;
    h.error = ReadBits(1);
    h.unit_start = ReadBits(1);
    h.priority = ReadBits(1);
    h.pid = static_cast<uint16_t>(ReadBits(13));
    h.scrambling = static_cast<uint8_t>(ReadBits(2));
    h.has_adaptation = ReadBits(1);
    h.has_payload = ReadBits(1);
    h.counter = static_cast<uint8_t>(ReadBits(4));
    h.bytes_left = 184;
    if (h.has_adaptation) {
        h.adaptation_length = static_cast<uint8_t>(ReadBits(8));
        h.bytes_left -= h.adaptation_length + 1;
        if (h.bytes_left < 0) return false;
        const int64_t adaptation_end = Position() + h.adaptation_length;
        if (h.adaptation_length > 0) {
            ReadBits(3);  // discontinuity, random access, priority
            h.has_pcr = ReadBits(1);
            ReadBits(4);  // OPCR, splicing, private data, extension
            if (h.has_pcr && h.adaptation_length >= 7) {
                const int64_t base = static_cast<int64_t>(ReadBits(33));
                ReadBits(6);
                const int64_t extension = static_cast<int64_t>(ReadBits(9));
                h.pcr_100ns = (base * 300 + extension) * 10 / 27;
            }
        }
        MoveTo(adaptation_end);
    }
    return true;
}

bool CBaseSplitterFileEx::Read(PsiSection& h) {
    h = {};
    const int pointer = static_cast<int>(ReadBits(8));
    for (int i = 0; i < pointer; ++i) ReadBits(8);
    h.table_id = static_cast<uint8_t>(ReadBits(8));
    const bool syntax = ReadBits(1);
    const bool zero = ReadBits(1);
    ReadBits(2);
    h.section_length = static_cast<uint16_t>(ReadBits(12));
    h.table_id_extension = static_cast<uint16_t>(ReadBits(16));
    ReadBits(2);
    h.version = static_cast<uint8_t>(ReadBits(5));
    h.current = ReadBits(1);
    h.section_number = static_cast<uint8_t>(ReadBits(8));
    h.last_section_number = static_cast<uint8_t>(ReadBits(8));
    return syntax && !zero;
}

bool CBaseSplitterFileEx::Read(PvaHeader& h, bool sync) {
    h = {};
    AlignToByte();
    auto looks_like_header = [this] {
        const uint64_t v = ReadBits(48, true);
        return (v >> 32) == 0x4156 && ((v >> 24) & 0xFF) < 4 && ((v >> 8) & 0xFF) == 0x55 &&
               (v & 0xE0) == 0;
    };
    if (sync) {
        const int64_t start = Position();
        bool found = false;
        for (int i = 0; i < 65536; ++i) {
            if (BytesLeft() < 8) break;
            if (looks_like_header()) {
                found = true;
                break;
            }
            ReadBits(8);
        }
        if (!found) {
            MoveTo(start);
            return false;
        }
    } else if (BytesLeft() < 8 || !looks_like_header()) {
        return false;
    }
    ReadBits(16);
    h.stream_id = static_cast<uint8_t>(ReadBits(8));
    h.counter = static_cast<uint8_t>(ReadBits(8));
    ReadBits(8);
    h.flags = static_cast<uint8_t>(ReadBits(8));
    h.has_pts = (h.flags & 0x10) != 0;
    h.prebytes = (h.flags >> 2) & 3;
    h.postbytes = h.flags & 3;
    h.length = static_cast<int>(ReadBits(16));
    if (h.length > 6136) return false;
    if (h.stream_id == 1 && h.has_pts) {
        if (h.length < 4) return false;
        h.pts_100ns = TicksTo100ns(static_cast<int64_t>(ReadBits(32)));
        h.length -= 4;
    }
    return true;
}

}  // namespace rizuvira::demux
