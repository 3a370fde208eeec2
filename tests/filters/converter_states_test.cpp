// SPDX-License-Identifier: GPL-2.0-or-later
// Both converters through the states and stream control a graph gives them: nothing is
// offered or allocated before the input connects; flush, new segment and end of stream pass
// downstream; a stopped and restarted chain still converts.
#include <gtest/gtest.h>

#include "filter_chain.h"
#include "filters/audio_conv_filter.h"
#include "filters/video_conv_filter.h"

namespace rizuvira::filters {

namespace {

template <class Filter>
void CheckUnconnected(Filter* raw) {
    ComPtr<Filter> filter(raw);
    CMediaType type;
    EXPECT_EQ(filter->GetMediaType(0, &type), VFW_S_NO_MORE_ITEMS);
    ComPtr<CMemAllocator> allocator(new CMemAllocator);
    ALLOCATOR_PROPERTIES request{1, 1, 1, 0};
    EXPECT_EQ(filter->DecideBufferSize(allocator.Get(), &request), E_UNEXPECTED);
}

template <class Filter>
void RunThroughStates(Filter* filter, CMediaType type, const std::vector<BYTE>& data,
                      int offered_types) {
    FilterChain<Filter> chain(filter, std::move(type), static_cast<LONG>(data.size()));
    ASSERT_EQ(chain.Connect(), S_OK);
    CMediaType second;
    EXPECT_EQ(filter->GetMediaType(offered_types, &second), VFW_S_NO_MORE_ITEMS);
    chain.Start();
    ASSERT_EQ(chain.Push(data), S_OK);
    ASSERT_EQ(chain.source()->BeginFlush(), S_OK);
    ASSERT_EQ(chain.source()->EndFlush(), S_OK);
    ASSERT_EQ(chain.source()->NewSegment(10, 20, 1.0), S_OK);
    chain.Stop();
    chain.Start();
    ASSERT_EQ(chain.Push(data), S_OK);
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    chain.sink()->WaitForEndOfStream();

    using harness::SinkEvent;
    std::vector<SinkEvent::Kind> kinds;
    for (const SinkEvent& e : chain.sink()->events()) kinds.push_back(e.kind);
    const std::vector<SinkEvent::Kind> expected = {SinkEvent::kSample,   SinkEvent::kBeginFlush,
                                                   SinkEvent::kEndFlush, SinkEvent::kNewSegment,
                                                   SinkEvent::kSample,   SinkEvent::kEndOfStream};
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(chain.Output(0), chain.Output(1));
}

}  // namespace

TEST(ConverterStates, NothingIsOfferedOrAllocatedBeforeTheInputConnects) {
    CheckUnconnected(CMyVideoConveFilter::CreateInstance(nullptr, nullptr));
    CheckUnconnected(CMyAudioConveFilter::CreateInstance(nullptr, nullptr));
}

TEST(ConverterStates, VideoConverterPassesStreamControlAndSurvivesARestart) {
    RunThroughStates(CMyVideoConveFilter::CreateInstance(nullptr, nullptr),
                     harness::MakeVideoType(32, 16), std::vector<BYTE>(32 * 16 * 3 / 2, 77), 1);
}

TEST(ConverterStates, AudioConverterPassesStreamControlAndSurvivesARestart) {
    RunThroughStates(CMyAudioConveFilter::CreateInstance(nullptr, nullptr),
                     harness::MakeAudioType(2, 48000), std::vector<BYTE>(4096, 5),
                     2);  // float, 16-bit
}

}  // namespace rizuvira::filters
