// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/guid.h"

#include <cstdio>
#include <cstring>

namespace rizuvira::platform {

std::string GuidToString(const GUID& g) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2),
                  static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

}  // namespace rizuvira::platform

std::size_t std::hash<rizuvira::platform::GUID>::operator()(
    const rizuvira::platform::GUID& g) const noexcept {
    std::uint64_t halves[2];
    std::memcpy(halves, &g, sizeof halves);
    // Mix the halves so that ids differing only in Data1 (the common case for media
    // subtypes built from a FOURCC) still spread.
    std::uint64_t h = halves[0] * 0x9E3779B97F4A7C15ull;
    h ^= halves[1] + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
    return static_cast<std::size_t>(h);
}
