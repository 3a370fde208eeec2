#include "demux/vobu_clock.h"

namespace rizuvira::demux {
namespace {

constexpr size_t kStartAt = 1 + 12;  // substream byte, then nv_pck_lbn, vobu_cat, reserved, vobu_uop_ctl
constexpr size_t kEndAt = kStartAt + 4;
constexpr int64_t kAgreementTicks = 90000;  // a time stamp this close to the VOBU's span agrees

uint32_t Be32(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

}  // namespace

void VobuClock::Reset() { *this = VobuClock{}; }

void VobuClock::Anchor(REFERENCE_TIME offset_100ns) {
    Reset();
    offset_ticks_ = offset_100ns * 9 / 1000;
}

bool VobuClock::StartOf(std::span<const uint8_t> payload, uint32_t* start) {
    if (payload.size() < kEndAt + 4 || payload[0] != 0x00) return false;
    *start = Be32(payload, kStartAt);
    return Be32(payload, kEndAt) > *start;
}

void VobuClock::OnNavigationPack(std::span<const uint8_t> payload) {
    uint32_t start = 0;
    if (!StartOf(payload, &start)) return;  // a still VOBU or damaged data tells nothing
    const uint32_t end = Be32(payload, kEndAt);
    if (have_previous_ && start != previous_end_) {
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
