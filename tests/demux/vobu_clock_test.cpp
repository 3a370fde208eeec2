// SPDX-License-Identifier: GPL-2.0-or-later
// The title clock across the restarts of separately encoded pieces.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "demux/demux_test_util.h"
#include "demux/vobu_clock.h"

namespace rizuvira::demux {
namespace {

// Presentation control data of a navigation pack with the VOBU's start and
// end times (90 kHz).
std::array<uint8_t, 32> Pci(uint32_t start, uint32_t end, uint8_t substream = 0x00) {
    std::array<uint8_t, 32> p{};
    p[0] = substream;
    for (int i = 0; i < 4; ++i) {
        p[13 + i] = static_cast<uint8_t>(start >> (24 - 8 * i));
        p[17 + i] = static_cast<uint8_t>(end >> (24 - 8 * i));
    }
    return p;
}

constexpr REFERENCE_TIME Ticks(int64_t ticks) {
    return ticks * 1000 / 9;
}

TEST(VobuClock, ContinuousVobusLeaveTimesAlone) {
    VobuClock clock;
    clock.OnNavigationPack(Pci(48000, 93045));
    EXPECT_EQ(clock.Map(Ticks(48000)), Ticks(48000));
    clock.OnNavigationPack(Pci(93045, 138090));
    EXPECT_EQ(clock.Map(Ticks(93045)), Ticks(93045));
    clock.OnNavigationPack(Pci(138091, 183135));  // rounded a tick off: still the same clock
    EXPECT_EQ(clock.Map(Ticks(138091)), Ticks(138091));
}

TEST(VobuClock, RestartContinuesFromThePreviousEnd) {
    VobuClock clock;
    clock.OnNavigationPack(Pci(48000, 318270));  // piece one: 0.53 s to 3.54 s
    EXPECT_EQ(clock.Map(Ticks(300000)), Ticks(300000));
    clock.OnNavigationPack(Pci(48000, 93045));  // piece two starts from 0.53 s again
    EXPECT_NEAR(clock.Map(Ticks(48000)), Ticks(318270), 1) << "the first picture of piece two";
    EXPECT_NEAR(clock.Map(Ticks(60000)), Ticks(330270), 1);
    clock.OnNavigationPack(Pci(93045, 138090));  // and goes on within piece two
    EXPECT_NEAR(clock.Map(Ticks(93045)), Ticks(363315), 1);
    // A third piece that leaps ahead instead.
    clock.OnNavigationPack(Pci(9000000, 9045045));
    EXPECT_NEAR(clock.Map(Ticks(9000000)), Ticks(363315 + 138090 - 93045), 1);

    clock.Reset();
    EXPECT_EQ(clock.Map(Ticks(48000)), Ticks(48000));
}

TEST(VobuClock, NavigationDataTheStreamDoesNotBearOutIsIgnored) {
    VobuClock clock;
    clock.OnNavigationPack(Pci(48000, 93045));
    clock.OnNavigationPack(Pci(5000000, 5045045));  // claims a restart...
    EXPECT_EQ(clock.Map(Ticks(93045)), Ticks(93045)) << "...that the time stamps do not show";
    EXPECT_EQ(clock.offset_100ns(), 0);

    clock.Reset();
    clock.OnNavigationPack(Pci(48000, 93045));
    clock.OnNavigationPack(Pci(0, 0));                       // a still VOBU: no times
    clock.OnNavigationPack(Pci(100, 50));                    // damaged
    clock.OnNavigationPack(Pci(7, 99999, /*substream=*/1));  // search data, not presentation data
    const std::array<uint8_t, 8> short_packet{};
    clock.OnNavigationPack(short_packet);
    EXPECT_EQ(clock.Map(Ticks(93045)), Ticks(93045));
}

// Search data of a navigation pack: the VOBU's last sector, counted from it.
std::array<uint8_t, 16> Dsi(uint32_t last_sector) {
    std::array<uint8_t, 16> d{};
    d[0] = 0x01;
    for (int i = 0; i < 4; ++i) d[9 + i] = static_cast<uint8_t>(last_sector >> (24 - 8 * i));
    return d;
}

TEST(VobuClock, VobusLostToUnreadableSectorsAreNoRestart) {
    VobuClock clock;
    clock.OnNavigationPack(Pci(48000, 93045), 0);
    clock.OnNavigationPack(Dsi(9), 0);                // the next VOBU starts at sector 10...
    clock.OnNavigationPack(Pci(300000, 345045), 40);  // ...but the next one found is at 40
    EXPECT_EQ(clock.Map(Ticks(300000)), Ticks(300000)) << "later pictures keep their times";
    REFERENCE_TIME start = 0, length = 0;
    ASSERT_TRUE(clock.TakeLostStretch(&start, &length));
    EXPECT_EQ(start, Ticks(93045));
    EXPECT_EQ(length, Ticks(300000 - 93045));
    EXPECT_FALSE(clock.TakeLostStretch(&start, &length)) << "reported once";

    // A VOBU right where the previous one ends is a restart, however far its time jumps.
    clock.OnNavigationPack(Dsi(9), 40);
    clock.OnNavigationPack(Pci(48000, 93045), 50);
    EXPECT_NEAR(clock.Map(Ticks(48000)), Ticks(345045), 1);
    EXPECT_FALSE(clock.TakeLostStretch(&start, &length));
}

TEST(NavigationSector, ReadsTheVobusOfASampleTitle) {
    const std::vector<uint8_t> vob = testing::ReadFileBytes(testing::NtscVob(1));
    if (vob.size() < 4096) GTEST_SKIP() << "sample discs not built";
    // Hop from VOBU to VOBU as the packs point: times meet end to start.
    NavigationSector nav;
    size_t at = 0, vobus = 0;
    uint32_t previous_end = 0;
    while (at + 2048 <= vob.size()) {
        ASSERT_TRUE(ReadNavigationSector(std::span(vob).subspan(at, 2048), &nav))
            << "sector " << at / 2048;
        EXPECT_LT(nav.start, nav.end);
        if (vobus > 0 && nav.start != previous_end)
            break;  // the next title of the set restarts its clock
        previous_end = nav.end;
        ++vobus;
        at += (size_t{nav.last_sector} + 1) * 2048;
    }
    EXPECT_GT(vobus, 60u) << "a 60 s title of half-second VOBUs";
    EXPECT_FALSE(ReadNavigationSector(std::span(vob).subspan(2048, 2048), &nav))
        << "a sector of pictures";
    std::vector<uint8_t> cut(vob.begin(), vob.begin() + 1000);
    EXPECT_FALSE(ReadNavigationSector(cut, &nav)) << "a short sector";
}

}  // namespace
}  // namespace rizuvira::demux
