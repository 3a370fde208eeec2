// SPDX-License-Identifier: GPL-2.0-or-later
// The deinterlacer in a source -> deinterlacer -> sink chain: how its pictures keep their times
// through the filters' delay, jumps of the input times and the end of stream, what auto mode
// lets through at once, and flushing and restarting.
#include <gtest/gtest.h>

#include "filter_chain.h"
#include "filters/deinterlace_filter.h"

namespace rizuvira::filters {

namespace {

constexpr LONG kWidth = 64;
constexpr LONG kHeight = 32;
constexpr REFERENCE_TIME kPeriod = 333667;
constexpr DWORD kInterlacedTff = AM_VIDEO_FLAG_FIELD1FIRST;

std::vector<BYTE> Picture(int n) {
    std::vector<BYTE> data(kWidth * kHeight * 3 / 2, 128);
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x)
            data[y * kWidth + x] = static_cast<BYTE>(16 + (x + 4 * n) % 64 * 3);
    return data;
}

struct Chain : FilterChain<CDeinterlaceFilter> {
    explicit Chain(int32_t mode)
        : FilterChain(CDeinterlaceFilter::CreateInstance(nullptr, nullptr),
                      harness::MakeVideoType(kWidth, kHeight), kWidth * kHeight * 3 / 2) {
        EXPECT_EQ(filter()->SetMode(mode, FALSE, 1), S_OK);
        EXPECT_EQ(Connect(), S_OK);
        Start();
    }
    HRESULT PushAt(int n, REFERENCE_TIME start, DWORD video_flags = kInterlacedTff) {
        harness::SampleFlags flags;
        flags.video = video_flags;
        return source()->Push(Picture(n), start, start + kPeriod, flags);
    }
};

TEST(DeinterlaceFilter, EveryPictureComesOutWithItsTimesOnceTheStreamEnds) {
    Chain chain(/*on*/ 1);
    for (int n = 0; n < 5; ++n) ASSERT_EQ(chain.PushAt(n, n * kPeriod), S_OK);
    EXPECT_LT(chain.OutputCount(), 5u) << "the filters hold pictures back";
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    chain.sink()->WaitForEndOfStream();
    const auto& samples = chain.sink()->samples();
    ASSERT_EQ(samples.size(), 5u);
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(samples[n].time_result, S_OK);
        EXPECT_EQ(samples[n].start, n * kPeriod);
        EXPECT_EQ(samples[n].stop, (n + 1) * kPeriod);
        EXPECT_EQ(samples[n].flags.video, std::optional<DWORD>(AM_VIDEO_FLAG_WEAVE));
        EXPECT_EQ(samples[n].data.size(), Picture(n).size());
    }
    EXPECT_EQ(chain.sink()->events().back().kind, harness::SinkEvent::kEndOfStream);
}

TEST(DeinterlaceFilter, AJumpOfTheTimesEndsThePictureBeforeItWhereItStopped) {
    // Auto mode with interlaced pictures: the jump also decides on what was held.
    Chain chain(/*auto*/ 0);
    for (int n = 0; n < 3; ++n) ASSERT_EQ(chain.PushAt(n, n * kPeriod), S_OK);
    const REFERENCE_TIME later = 100 * UNITS;
    for (int n = 3; n < 5; ++n) ASSERT_EQ(chain.PushAt(n, later + (n - 3) * kPeriod), S_OK);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    chain.sink()->WaitForEndOfStream();
    const auto& samples = chain.sink()->samples();
    ASSERT_EQ(samples.size(), 5u);
    EXPECT_EQ(samples[2].start, 2 * kPeriod);
    EXPECT_EQ(samples[2].stop, 3 * kPeriod) << "not stretched over the jump";
    EXPECT_EQ(samples[3].start, later);
    EXPECT_EQ(samples[4].stop, later + 2 * kPeriod);
    int32_t decision = 0;
    chain.filter()->GetDecision(&decision);
    EXPECT_EQ(decision, IMyDeinterlaceFilter::kDeinterlace);
}

TEST(DeinterlaceFilter, ProgressivePicturesAndModeOffPassAtOnceUntouched) {
    {
        Chain chain(/*auto*/ 0);
        ASSERT_EQ(chain.PushAt(7, 5 * kPeriod, AM_VIDEO_FLAG_WEAVE), S_OK);
        ASSERT_EQ(chain.OutputCount(), 1u);
        EXPECT_EQ(chain.Output(0), Picture(7));
        EXPECT_EQ(chain.sink()->samples()[0].start, 5 * kPeriod);
        int32_t decision = 0;
        chain.filter()->GetDecision(&decision);
        EXPECT_EQ(decision, IMyDeinterlaceFilter::kPassThrough);
    }
    Chain chain(/*off*/ 2);
    ASSERT_EQ(chain.PushAt(3, 0), S_OK);
    ASSERT_EQ(chain.OutputCount(), 1u);
    EXPECT_EQ(chain.Output(0), Picture(3));
}

TEST(DeinterlaceFilter, FlushDropsHeldPicturesAndARestartedStreamConverts) {
    Chain chain(/*on*/ 1);
    ASSERT_EQ(chain.PushAt(0, 0), S_OK);
    ASSERT_EQ(chain.PushAt(1, kPeriod), S_OK);
    const size_t before_flush = chain.OutputCount();
    ASSERT_EQ(chain.source()->BeginFlush(), S_OK);
    ASSERT_EQ(chain.source()->EndFlush(), S_OK);
    chain.Stop();
    chain.Start();
    ASSERT_EQ(chain.PushAt(2, 10 * kPeriod), S_OK);
    ASSERT_EQ(chain.PushAt(3, 11 * kPeriod), S_OK);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    chain.sink()->WaitForEndOfStream();
    const auto& samples = chain.sink()->samples();
    ASSERT_EQ(samples.size(), before_flush + 2) << "what the flush caught is gone";
    EXPECT_EQ(samples[before_flush].start, 10 * kPeriod);
    EXPECT_EQ(samples[before_flush + 1].stop, 12 * kPeriod);
}

}  // namespace

}  // namespace rizuvira::filters
