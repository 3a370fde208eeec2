// SPDX-License-Identifier: GPL-2.0-or-later
// Opens a disc whose IFO files come from the input, lists it and reads every
// title through the DVD access layer. Input: a 4-byte little-endian length of
// VIDEO_TS.IFO, its bytes, then VTS_01_0.IFO; the title's VOB is 64 sectors of
// a fixed MPEG-2 pack pattern.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dvd/dvd_access.h"

namespace {

void WriteFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rizuvira;
    if (size < 4) return 0;
    uint32_t vmg_size = 0;
    std::memcpy(&vmg_size, data, 4);
    if (vmg_size > size - 4) vmg_size = static_cast<uint32_t>(size - 4);

    char pattern[] = "/tmp/rizuvira-fuzz-ifo-XXXXXX";
    if (!mkdtemp(pattern)) return 0;
    const std::filesystem::path root(pattern);
    const std::filesystem::path video_ts = root / "VIDEO_TS";
    std::filesystem::create_directory(video_ts);
    WriteFile(video_ts / "VIDEO_TS.IFO", data + 4, vmg_size);
    WriteFile(video_ts / "VTS_01_0.IFO", data + 4 + vmg_size, size - 4 - vmg_size);
    std::vector<uint8_t> vob(64 * dvd::kDvdSectorBytes, 0xFF);
    for (size_t s = 0; s < 64; ++s) {
        const uint8_t pack[] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01};
        std::memcpy(&vob[s * dvd::kDvdSectorBytes], pack, sizeof(pack));
    }
    WriteFile(video_ts / "VTS_01_1.VOB", vob.data(), vob.size());

    const int32_t handle = dvd::MyDVDOpen(root.c_str());
    if (handle) {
        auto info = std::make_unique<dvd::TitleTable>();
        dvd::MyDVDGetInfo(handle, info.get());
        std::vector<uint8_t> buffer(dvd::kDvdReadBytes);
        for (int t = 0; t < info->title_count; ++t) {
            dvd::MyDVDSetArea(handle, t, 0);
            dvd::MyDvdSetStopPos(handle, t + 1, 0);
            for (int reads = 0;
                 reads < 64 && dvd::MyDVDRead(handle, buffer.data(), dvd::kDvdReadBytes) > 0;
                 ++reads) {
            }
            dvd::MyDVDSeek(handle, 5000, 0);
            dvd::MyDVDRead(handle, buffer.data(), dvd::kDvdReadBytes);
            dvd::DvdVideoInfo video;
            dvd::MyDVDGetVideoInfo(handle, t, &video);
        }
        dvd::MyDVDClose(handle);
    }
    std::filesystem::remove_all(root);
    return 0;
}

// libdvdread sizes some allocations from IFO fields and copes with a refusal;
// let the sanitizer refuse instead of aborting.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
