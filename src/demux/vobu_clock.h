// SPDX-License-Identifier: GPL-2.0-or-later
// The clock of a DVD title across restarts.
//
// A title is often put together from separately encoded pieces, each with
// its own clock: where one ends and the next begins, time stamps fall back to
// near zero (or leap ahead). Every VOBU starts with a navigation pack whose
// presentation data gives the VOBU's start and end time; within one piece a
// VOBU starts exactly where the previous one ended, so a start that does not
// meet the previous end marks a restart, and the distance between the two is
// what every later time stamp must be moved by to continue the title's time.
//
// Navigation data is not trusted blindly: a restart counts only when the
// next time stamp of the stream agrees with the new VOBU's start. Damaged or
// absent navigation data leaves the times as they are.
//
// Sectors that could not be read (zeroed, or garbled) take whole VOBUs with
// them: the next navigation pack then lies further on than the previous
// VOBU's extent says, and the time between the two VOBUs is lost, not a
// restart. Later time stamps keep their own times and the lost stretch is
// kept for the caller to report.
//
// Threads: one (the demultiplexing thread).
#pragma once

#include <cstdint>
#include <span>

#include "platform/win_types.h"

namespace rizuvira::demux {

// What a DVD navigation pack, one whole 2048-byte sector, says of its VOBU.
struct NavigationSector {
    uint32_t start = 0, end = 0;  // presentation times, 90 kHz
    uint32_t last_sector = 0;     // the VOBU's last sector, counted from this one
};
// False when the sector is not a navigation pack (a pack header, the system
// header, then presentation and search data).
bool ReadNavigationSector(std::span<const uint8_t> sector, NavigationSector* nav);

class VobuClock {
public:
    // Forgets everything (a new run or a seek).
    void Reset();
    // The payload of a private stream 2 packet, from its substream byte, and
    // the 2048-byte sector of the stream it lies in: presentation control
    // data (substream 0x00) gives the VOBU's times, search data (0x01) its
    // extent.
    void OnNavigationPack(std::span<const uint8_t> payload, int64_t sector = -1);
    // A stretch of the title lost to unreadable sectors, in the clock of the
    // mapped time stamps (100 ns): false when none was found since the last
    // call.
    bool TakeLostStretch(REFERENCE_TIME* start_100ns, REFERENCE_TIME* length_100ns);
    // The title time of a time stamp read from the stream (100 ns units).
    REFERENCE_TIME Map(REFERENCE_TIME pts_100ns);
    // After a seek that found from the disc's records what the stream's clock
    // is behind the title's: later time stamps move by `offset_100ns`.
    void Anchor(REFERENCE_TIME offset_100ns);

    REFERENCE_TIME offset_100ns() const { return TicksTo100ns(offset_ticks_); }

private:
    static REFERENCE_TIME TicksTo100ns(int64_t ticks) { return ticks * 1000 / 9; }

    bool have_previous_ = false;
    uint32_t previous_end_ = 0;  // 90 kHz
    int64_t offset_ticks_ = 0;
    // A restart seen in navigation data, waiting for a time stamp to agree.
    bool pending_ = false;
    uint32_t pending_start_ = 0, pending_end_ = 0;
    int64_t pending_offset_ticks_ = 0;
    // Where the VOBU after the current one should start, in stream sectors;
    // -1 while unknown.
    int64_t vobu_sector_ = -1;
    int64_t next_vobu_sector_ = -1;
    bool lost_ = false;
    int64_t lost_start_ticks_ = 0, lost_ticks_ = 0;  // in the mapped clock
};

}  // namespace rizuvira::demux
