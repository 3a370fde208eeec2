// SPDX-License-Identifier: GPL-2.0-or-later
// Time stamps moved in transport packets: the clock reference, both stamps of a PES header,
// the 33-bit wrap, and packets that hold nothing to move.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "bluray/stamp_shift.h"

namespace rizuvira::bluray {
namespace {

using Packet = std::array<uint8_t, kTsPacketBytes>;

void PutPesStamp(uint8_t* at, uint8_t prefix, int64_t stamp) {
    at[0] = static_cast<uint8_t>(prefix << 4 | (stamp >> 29 & 0x0E) | 1);
    at[1] = static_cast<uint8_t>(stamp >> 22);
    at[2] = static_cast<uint8_t>((stamp >> 14 & 0xFE) | 1);
    at[3] = static_cast<uint8_t>(stamp >> 7);
    at[4] = static_cast<uint8_t>((stamp << 1 & 0xFE) | 1);
}

int64_t PesStamp(const uint8_t* at) {
    return (int64_t{at[0]} >> 1 & 7) << 30 | int64_t{at[1]} << 22 | (int64_t{at[2]} >> 1) << 15 |
           int64_t{at[3]} << 7 | at[4] >> 1;
}

// A video packet starting a PES with PTS and DTS, behind an adaptation field with a PCR.
Packet VideoPacket(int64_t pcr, int64_t pts, int64_t dts) {
    Packet p{};
    p[0] = 0x47;
    p[1] = 0x50;  // unit start, PID 0x1011
    p[2] = 0x11;
    p[3] = 0x30;  // adaptation field and payload
    p[4] = 7;
    p[5] = 0x10;  // PCR
    p[6] = static_cast<uint8_t>(pcr >> 25);
    p[7] = static_cast<uint8_t>(pcr >> 17);
    p[8] = static_cast<uint8_t>(pcr >> 9);
    p[9] = static_cast<uint8_t>(pcr >> 1);
    p[10] = static_cast<uint8_t>((pcr & 1) << 7 | 0x7E);  // reserved bits and extension set
    p[11] = 0x01;
    uint8_t* pes = p.data() + 12;
    pes[2] = 1;
    pes[3] = 0xE0;
    pes[6] = 0x80;
    pes[7] = 0xC0;
    pes[8] = 10;
    PutPesStamp(pes + 9, 3, pts);
    PutPesStamp(pes + 14, 1, dts);
    return p;
}

int64_t PcrOf(const Packet& p) {
    return int64_t{p[6]} << 25 | int64_t{p[7]} << 17 | int64_t{p[8]} << 9 | int64_t{p[9]} << 1 |
           p[10] >> 7;
}

TEST(StampShift, MovesTheClockReferenceAndBothStampsKeepingTheOtherBits) {
    Packet p = VideoPacket(123457, 129600, 126000);
    ShiftPacketStamps(p.data(), 360000 - 129600);
    EXPECT_EQ(PcrOf(p), 123457 + 360000 - 129600);
    EXPECT_EQ(p[10] & 0x7F, 0x7E) << "the reserved bits and the extension stay";
    EXPECT_EQ(PesStamp(p.data() + 21), 360000);
    EXPECT_EQ(PesStamp(p.data() + 26), 360000 - 3600);
    EXPECT_EQ(p[21] >> 4, 3) << "the stamps keep their prefixes and marker bits";
    EXPECT_EQ(p[26] >> 4, 1);
    EXPECT_EQ(p[25] & 1, 1);
}

TEST(StampShift, WrapsAtThirtyThreeBitsBothWays) {
    const int64_t wrap = int64_t{1} << 33;
    Packet p = VideoPacket(wrap - 10, wrap - 100, 50);
    ShiftPacketStamps(p.data(), 200);
    EXPECT_EQ(PcrOf(p), 190);
    EXPECT_EQ(PesStamp(p.data() + 21), 100);
    ShiftPacketStamps(p.data(), -300);
    EXPECT_EQ(PesStamp(p.data() + 21), wrap - 200);
    EXPECT_EQ(PesStamp(p.data() + 26), wrap - 50);
}

TEST(StampShift, LeavesPacketsWithoutStampsAlone) {
    Packet continued = VideoPacket(1000, 2000, 1000);
    continued[1] = 0x10;  // no unit start: the payload is not a PES header
    continued[5] = 0x00;  // no PCR
    const Packet before = continued;
    ShiftPacketStamps(continued.data(), 5000);
    EXPECT_EQ(continued, before);

    Packet padding = VideoPacket(1000, 2000, 1000);
    padding[5] = 0;
    padding[15] = 0xBE;  // a padding stream has no header to read stamps from
    const Packet unpadded = padding;
    ShiftPacketStamps(padding.data(), 5000);
    EXPECT_EQ(padding, unpadded);

    Packet lying = VideoPacket(1000, 2000, 1000);
    lying[4] = 200;  // an adaptation field longer than the packet
    const Packet as_read = lying;
    ShiftPacketStamps(lying.data(), 5000);
    EXPECT_EQ(lying, as_read);
}

}  // namespace
}  // namespace rizuvira::bluray
