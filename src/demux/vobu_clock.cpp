// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/vobu_clock.h"

namespace rizuvira::demux {
namespace {

constexpr size_t kStartAt =
    1 + 12;  // substream byte, then nv_pck_lbn, vobu_cat, reserved, vobu_uop_ctl
constexpr size_t kEndAt = kStartAt + 4;
constexpr size_t kDsiEndSectorAt = 1 + 8;   // substream byte, then nv_pck_scr, nv_pck_lbn, vobu_ea
constexpr int64_t kAgreementTicks = 90000;  // a time stamp this close to the VOBU's span agrees
// VOBUs that meet within a millisecond meet: some discs round their times,
// and counting each rounding as a restart would let the clock wander.
constexpr int64_t kSameTimeTicks = 90;

uint32_t Be32(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 |
           uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// The private stream 2 packet at `at` with the given substream: where its
// payload starts, or 0.
size_t PrivateStream2(std::span<const uint8_t> bytes, size_t at, uint8_t substream, size_t* next) {
    if (at + 7 > bytes.size() || bytes[at] != 0 || bytes[at + 1] != 0 || bytes[at + 2] != 1 ||
        bytes[at + 3] != 0xBF)
        return 0;
    const size_t length = size_t{bytes[at + 4]} << 8 | bytes[at + 5];
    if (at + 6 + length > bytes.size() || bytes[at + 6] != substream) return 0;
    *next = at + 6 + length;
    return at + 6;
}

// The start time (90 kHz) in a navigation pack's presentation data; false
// when the data is not there or names no span of time.
bool StartOf(std::span<const uint8_t> payload, uint32_t* start) {
    if (payload.size() < kEndAt + 4 || payload[0] != 0x00) return false;
    *start = Be32(payload, kStartAt);
    return Be32(payload, kEndAt) > *start;
}

}  // namespace

bool ReadNavigationSector(std::span<const uint8_t> sector, NavigationSector* nav) {
    if (sector.size() < 64 || sector[0] != 0 || sector[1] != 0 || sector[2] != 1 ||
        sector[3] != 0xBA || (sector[4] & 0xC0) != 0x40)
        return false;
    const size_t system = 14 + (sector[13] & 0x07);
    if (system + 6 > sector.size() || sector[system] != 0 || sector[system + 1] != 0 ||
        sector[system + 2] != 1 || sector[system + 3] != 0xBB)
        return false;
    const size_t pci_at = system + 6 + (size_t{sector[system + 4]} << 8 | sector[system + 5]);
    size_t dsi_at = 0, end = 0;
    const size_t pci = PrivateStream2(sector, pci_at, 0x00, &dsi_at);
    const size_t dsi = pci ? PrivateStream2(sector, dsi_at, 0x01, &end) : 0;
    if (!dsi || pci + kEndAt + 4 > dsi_at || dsi + 1 + 12 > end) return false;
    nav->start = Be32(sector, pci + kStartAt);
    nav->end = Be32(sector, pci + kEndAt);
    nav->last_sector = Be32(sector, dsi + 1 + 8);  // after nv_pck_scr and nv_pck_lbn
    return true;
}

void VobuClock::Reset() {
    *this = VobuClock{};
}

void VobuClock::Anchor(REFERENCE_TIME offset_100ns) {
    Reset();
    offset_ticks_ = offset_100ns * 9 / 1000;
}

void VobuClock::OnNavigationPack(std::span<const uint8_t> payload, int64_t sector) {
    if (payload.size() >= kDsiEndSectorAt + 4 && payload[0] == 0x01) {
        // Search data follows the presentation data in the same sector.
        if (sector >= 0 && sector == vobu_sector_)
            next_vobu_sector_ = sector + 1 + Be32(payload, kDsiEndSectorAt);
        return;
    }
    uint32_t start = 0;
    const int64_t expected_sector = next_vobu_sector_;
    vobu_sector_ = sector;
    next_vobu_sector_ = -1;
    if (!StartOf(payload, &start)) return;  // a still VOBU or damaged data tells nothing
    const uint32_t end = Be32(payload, kEndAt);
    const int64_t step = static_cast<int64_t>(start) - previous_end_;
    const bool vobus_lost = expected_sector >= 0 && sector > expected_sector;
    if (have_previous_ && vobus_lost && step > kSameTimeTicks) {
        // The same clock goes on past VOBUs that could not be read.
        pending_ = false;
        lost_ = true;
        lost_start_ticks_ = static_cast<int64_t>(previous_end_) + offset_ticks_;
        lost_ticks_ = step;
    } else if (have_previous_ && (step > kSameTimeTicks || step < -kSameTimeTicks)) {
        pending_ = true;
        pending_start_ = start;
        pending_end_ = end;
        pending_offset_ticks_ = offset_ticks_ + static_cast<int64_t>(previous_end_) - start;
    } else {
        pending_ = false;
    }
    have_previous_ = true;
    previous_end_ = end;
}

bool VobuClock::TakeLostStretch(REFERENCE_TIME* start_100ns, REFERENCE_TIME* length_100ns) {
    if (!lost_) return false;
    lost_ = false;
    *start_100ns = TicksTo100ns(lost_start_ticks_);
    *length_100ns = TicksTo100ns(lost_ticks_);
    return true;
}

REFERENCE_TIME VobuClock::Map(REFERENCE_TIME pts_100ns) {
    if (pending_) {
        pending_ = false;
        const int64_t ticks = pts_100ns * 9 / 1000;
        if (ticks >= static_cast<int64_t>(pending_start_) - kAgreementTicks &&
            ticks <= static_cast<int64_t>(pending_end_) + kAgreementTicks)
            offset_ticks_ = pending_offset_ticks_;
    }
    return pts_100ns + TicksTo100ns(offset_ticks_);
}

}  // namespace rizuvira::demux
