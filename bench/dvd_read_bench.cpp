// SPDX-License-Identifier: GPL-2.0-or-later
// Reads one title of a disc through the DVD access layer, the way the reader
// filter does (10240 bytes a call), a number of times, and prints the bytes
// read and the throughput.
//   dvd_read_bench DISC [TITLE_INDEX] [PASSES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dvd/dvd_access.h"

int main(int argc, char** argv) {
    using namespace rizuvira;
    if (argc < 2) {
        std::fprintf(stderr, "usage: dvd_read_bench DISC [TITLE_INDEX] [PASSES]\n");
        return 2;
    }
    const int title = argc > 2 ? std::atoi(argv[2]) : 0;
    const int passes = argc > 3 ? std::atoi(argv[3]) : 1;
    const int32_t handle = dvd::MyDVDOpen(argv[1]);
    if (!handle) {
        std::fprintf(stderr, "Open DVD error\n");
        return 3;
    }
    std::vector<uint8_t> block(dvd::kDvdReadBytes);
    long long total = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < passes; ++pass) {
        dvd::MyDVDSetArea(handle, title, 0);
        dvd::MyDvdSetStopPos(handle, title + 1, 0);
        for (int got; (got = dvd::MyDVDRead(handle, block.data(), dvd::kDvdReadBytes)) > 0;)
            total += got;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    dvd::MyDVDClose(handle);
    std::printf("%lld bytes in %.3f s: %.1f MB/s\n", total, seconds, total / 1e6 / seconds);
    return 0;
}
