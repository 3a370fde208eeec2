// SPDX-License-Identifier: GPL-2.0-or-later
// Fuzz target for the clip information reader: the bytes are a .clpi file;
// every stream found is looked up again by its PID, and its language is
// three letters or nothing.
#include "demux/clip_info.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace rizuvira;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rizuvira::demux::ClipInfoList list;
    const auto result = rizuvira::demux::ParseClipInfo({data, size}, &list);
    if (result != rizuvira::demux::ClipInfoResult::kOk && (list.loaded || !list.streams.empty()))
        std::abort();
    for (const auto& stream : list.streams) {
        if (rizuvira::demux::FindClipStream(list, stream.pid) == nullptr) std::abort();
        const size_t letters = rizuvira::demux::ClipLanguage(stream).size();
        if (letters != 0 && letters != 3) std::abort();
    }
    return 0;
}
