// SPDX-License-Identifier: GPL-2.0-or-later
// Moves the clock of a transport stream packet: the programme clock reference of its
// adaptation field and the presentation and decoding time stamps of a PES header that starts
// in it, all by the same number of 90 kHz ticks (modulo 2^33, as the stamps count). What a
// packet does not hold well-formed is left as it is.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rizuvira::bluray {

inline constexpr size_t kTsPacketBytes = 188;
inline constexpr size_t kClipPacketBytes = 192;  // a 4-byte arrival stamp, then the packet

// `packet` holds kTsPacketBytes bytes starting with the sync byte 0x47.
void ShiftPacketStamps(uint8_t* packet, int64_t shift_ticks);

// The same for every 192-byte packet of a clip's bytes (`size` a multiple of 192).
void ShiftClipStamps(uint8_t* bytes, size_t size, int64_t shift_ticks);

}  // namespace rizuvira::bluray
