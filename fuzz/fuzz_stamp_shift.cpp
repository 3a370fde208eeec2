// SPDX-License-Identifier: GPL-2.0-or-later
// Fuzz target for the time stamp mover of Blu-ray titles: the bytes are a clip's 192-byte
// packets. Moving every stamp forward and back again gives the bytes back, and nothing is
// touched outside the packets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bluray/stamp_shift.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rizuvira::bluray;
    const size_t whole = size - size % kClipPacketBytes;
    std::vector<uint8_t> bytes(data, data + size);
    ShiftClipStamps(bytes.data(), whole, 123'456'789);
    if (std::memcmp(bytes.data() + whole, data + whole, size - whole) != 0) std::abort();
    ShiftClipStamps(bytes.data(), whole, -123'456'789);
    if (std::memcmp(bytes.data(), data, size) != 0) std::abort();
    return 0;
}
