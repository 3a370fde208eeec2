// SPDX-License-Identifier: GPL-2.0-or-later
#include "bluray/stamp_shift.h"

namespace rizuvira::bluray {
namespace {

constexpr int64_t kStampWrap = int64_t{1} << 33;

int64_t Shifted(int64_t stamp, int64_t shift) {
    const int64_t moved = (stamp + shift) % kStampWrap;
    return moved < 0 ? moved + kStampWrap : moved;
}

// A PES time stamp: 4 bits of prefix, then 3 + 15 + 15 bits each followed by a marker bit.
void ShiftPesStamp(uint8_t* at, int64_t shift) {
    const int64_t stamp = (int64_t{at[0]} >> 1 & 0x07) << 30 | int64_t{at[1]} << 22 |
                          (int64_t{at[2]} >> 1) << 15 | int64_t{at[3]} << 7 | int64_t{at[4]} >> 1;
    const int64_t moved = Shifted(stamp, shift);
    at[0] = static_cast<uint8_t>((at[0] & 0xF1) | ((moved >> 29) & 0x0E));
    at[1] = static_cast<uint8_t>(moved >> 22);
    at[2] = static_cast<uint8_t>(((moved >> 14) & 0xFE) | (at[2] & 0x01));
    at[3] = static_cast<uint8_t>(moved >> 7);
    at[4] = static_cast<uint8_t>(((moved << 1) & 0xFE) | (at[4] & 0x01));
}

// Streams whose PES packets carry no optional header (ISO/IEC 13818-1, 2.4.3.7).
bool HasPesHeader(uint8_t stream_id) {
    switch (stream_id) {
        case 0xBC:  // programme stream map
        case 0xBE:  // padding
        case 0xBF:  // private stream 2
        case 0xF0:  // ECM
        case 0xF1:  // EMM
        case 0xF2:  // DSM-CC
        case 0xF8:  // H.222.1 type E
        case 0xFF:  // programme stream directory
            return false;
        default:
            return true;
    }
}

}  // namespace

void ShiftPacketStamps(uint8_t* packet, int64_t shift_ticks) {
    if (packet[0] != 0x47 || shift_ticks % kStampWrap == 0) return;
    const bool unit_start = (packet[1] & 0x40) != 0;
    const int control = packet[3] >> 4 & 0x03;
    size_t payload = 4;
    if (control & 0x02) {
        const size_t length = packet[4];
        if (5 + length > kTsPacketBytes) return;
        if (length >= 7 && (packet[5] & 0x10)) {
            uint8_t* pcr = packet + 6;
            const int64_t base = int64_t{pcr[0]} << 25 | int64_t{pcr[1]} << 17 |
                                 int64_t{pcr[2]} << 9 | int64_t{pcr[3]} << 1 | pcr[4] >> 7;
            const int64_t moved = Shifted(base, shift_ticks);
            pcr[0] = static_cast<uint8_t>(moved >> 25);
            pcr[1] = static_cast<uint8_t>(moved >> 17);
            pcr[2] = static_cast<uint8_t>(moved >> 9);
            pcr[3] = static_cast<uint8_t>(moved >> 1);
            pcr[4] = static_cast<uint8_t>(((moved & 1) << 7) | (pcr[4] & 0x7F));
        }
        payload = 5 + length;
    }
    if (!(control & 0x01) || !unit_start || payload + 9 > kTsPacketBytes) return;
    uint8_t* pes = packet + payload;
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || !HasPesHeader(pes[3])) return;
    if ((pes[6] & 0xC0) != 0x80) return;  // not an MPEG-2 PES header
    const int flags = pes[7] >> 6;
    const size_t header = pes[8];
    const size_t stamps = flags == 3 ? 10 : flags == 2 ? 5 : 0;
    if (stamps == 0 || header < stamps || payload + 9 + stamps > kTsPacketBytes) return;
    ShiftPesStamp(pes + 9, shift_ticks);
    if (flags == 3) ShiftPesStamp(pes + 14, shift_ticks);
}

void ShiftClipStamps(uint8_t* bytes, size_t size, int64_t shift_ticks) {
    for (size_t at = 0; at + kClipPacketBytes <= size; at += kClipPacketBytes)
        ShiftPacketStamps(bytes + at + 4, shift_ticks);
}

}  // namespace rizuvira::bluray
