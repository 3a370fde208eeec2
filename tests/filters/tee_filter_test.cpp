// SPDX-License-Identifier: GPL-2.0-or-later
// The tee: one input, two queued outputs handing on the same sample objects.
#include "filters/tee_filter.h"

#include <gtest/gtest.h>

#include "platform/media_sample.h"
#include "platform/pipeline_harness.h"
#include "platform/seeking.h"

namespace rizuvira::filters {

namespace {

using harness::CCollectingSink;
using harness::CTestSource;
using harness::SinkEvent;
using rizuvira::filters::CMyTeeFilter;

constexpr LONG kWidth = 16, kHeight = 16;

// source → tee → sink0 / sink1, driven by hand in graph order (downstream first).
class TeeChain {
public:
    TeeChain()
        : source_(new CTestSource(harness::MakeVideoType(kWidth, kHeight), 3,
                                  kWidth * kHeight * 3 / 2)),
          tee_(CMyTeeFilter::CreateInstance(nullptr, nullptr)),
          sinks_{new CCollectingSink, new CCollectingSink} {}
    ~TeeChain() {
        Stop();
        for (int i = 0; i < 2; ++i) {
            sinks_[i]->pin()->Disconnect();
            tee_->GetPin(1 + i)->Disconnect();
        }
        tee_->GetPin(0)->Disconnect();
        source_->pin()->Disconnect();
        EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
    }

    HRESULT ConnectInput() { return source_->pin()->Connect(tee_->GetPin(0), nullptr); }
    HRESULT ConnectOutput(int i) { return tee_->GetPin(1 + i)->Connect(sinks_[i]->pin(), nullptr); }
    void Pause() {
        ASSERT_EQ(sinks_[0]->Pause(), S_OK);
        ASSERT_EQ(sinks_[1]->Pause(), S_OK);
        ASSERT_EQ(tee_->Pause(), S_OK);
        ASSERT_EQ(source_->Pause(), S_OK);
    }
    void Stop() {
        sinks_[0]->Stop();
        sinks_[1]->Stop();
        tee_->Stop();
        source_->Stop();
    }
    HRESULT Push(BYTE seed, REFERENCE_TIME start) {
        return source_->Push(harness::Pattern(kWidth * kHeight * 3 / 2, seed), start,
                             start + 400000);
    }

    ComPtr<CTestSource> source_;
    ComPtr<CMyTeeFilter> tee_;
    ComPtr<CCollectingSink> sinks_[2];
};

TEST(TeeFilter, EverySampleAndStreamEventReachesBothBranchesAcrossStopPauseCycles) {
    TeeChain chain;
    ASSERT_EQ(chain.ConnectInput(), S_OK);
    ASSERT_EQ(chain.ConnectOutput(0), S_OK);
    ASSERT_EQ(chain.ConnectOutput(1), S_OK);
    for (int cycle = 0; cycle < 3; ++cycle) {
        chain.sinks_[0]->Clear();
        chain.sinks_[1]->Clear();
        chain.Pause();
        // More samples than the source has buffers: each comes back only after both branches.
        ASSERT_EQ(chain.source_->NewSegment(0, 50000000, 1.0), S_OK);
        for (int i = 0; i < 8; ++i) ASSERT_EQ(chain.Push(static_cast<BYTE>(i), i * 400000), S_OK);
        ASSERT_EQ(chain.source_->BeginFlush(), S_OK);
        ASSERT_EQ(chain.source_->EndFlush(), S_OK);
        ASSERT_EQ(chain.Push(42, 0), S_OK);
        ASSERT_EQ(chain.source_->EndOfStream(), S_OK);
        for (auto& sink : chain.sinks_) sink->WaitForEndOfStream();

        const auto reference = chain.sinks_[0]->events();
        for (auto& sink : chain.sinks_) {
            const auto events = sink->events();
            ASSERT_FALSE(events.empty());
            EXPECT_EQ(events.front().kind, SinkEvent::kNewSegment);
            EXPECT_EQ(events.front().stop, 50000000);
            EXPECT_EQ(sink->end_of_stream_count(), 1);
            int flushes = 0;
            for (const SinkEvent& e : events) flushes += e.kind == SinkEvent::kBeginFlush;
            EXPECT_EQ(flushes, 1);
            // The sample after the flush arrives, carrying its own data.
            const auto samples = sink->samples();
            ASSERT_FALSE(samples.empty());
            EXPECT_EQ(samples.back().data, harness::Pattern(kWidth * kHeight * 3 / 2, 42));
        }
        // Without a flush in the way both branches would see all 8 samples; here the samples
        // before the flush may be dropped by either queue, but never reordered.
        for (auto& sink : chain.sinks_) {
            const auto samples = sink->samples();
            for (std::size_t i = 1; i + 1 < samples.size(); ++i)
                EXPECT_LT(samples[i - 1].start, samples[i].start);
        }
        chain.Stop();
        EXPECT_FALSE(
            static_cast<rizuvira::filters::CMyTeeOutputPin*>(chain.tee_->GetPin(1))->HasQueue());
    }
}

TEST(TeeFilter, DeliversAllSamplesUnchangedToBothSinks) {
    TeeChain chain;
    ASSERT_EQ(chain.ConnectInput(), S_OK);
    ASSERT_EQ(chain.ConnectOutput(0), S_OK);
    ASSERT_EQ(chain.ConnectOutput(1), S_OK);
    chain.Pause();
    for (int i = 0; i < 20; ++i) ASSERT_EQ(chain.Push(static_cast<BYTE>(i), i * 400000), S_OK);
    ASSERT_EQ(chain.source_->EndOfStream(), S_OK);
    for (auto& sink : chain.sinks_) {
        sink->WaitForEndOfStream();
        const auto samples = sink->samples();
        ASSERT_EQ(samples.size(), 20u);
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(samples[static_cast<std::size_t>(i)].data,
                      harness::Pattern(kWidth * kHeight * 3 / 2, static_cast<BYTE>(i)));
            EXPECT_EQ(samples[static_cast<std::size_t>(i)].start, i * 400000);
        }
    }
}

TEST(TeeFilter, OnlyOutputOneConnectedStillFlows) {
    TeeChain chain;
    ASSERT_EQ(chain.ConnectInput(), S_OK);
    ASSERT_EQ(chain.ConnectOutput(1), S_OK);
    chain.Pause();
    for (int i = 0; i < 6; ++i) ASSERT_EQ(chain.Push(static_cast<BYTE>(i), i * 400000), S_OK);
    ASSERT_EQ(chain.source_->EndOfStream(), S_OK);
    chain.sinks_[1]->WaitForEndOfStream();
    EXPECT_EQ(chain.sinks_[1]->samples().size(), 6u);
    EXPECT_TRUE(chain.sinks_[0]->samples().empty());
    EXPECT_FALSE(
        static_cast<rizuvira::filters::CMyTeeOutputPin*>(chain.tee_->GetPin(1 + 0))->HasQueue());
}

TEST(TeeFilter, TypeRulesAndRefusedSeeking) {
    ComPtr<CMyTeeFilter> tee(CMyTeeFilter::CreateInstance(nullptr, nullptr));
    EXPECT_EQ(tee->GetPinCount(), 3);
    EXPECT_EQ(tee->GetPin(3), nullptr);
    CBasePin* input = tee->GetPin(0);
    CBasePin* output = tee->GetPin(1);

    // Before the input connects the outputs offer nothing.
    CMediaType offered;
    EXPECT_EQ(output->GetMediaType(0, &offered), VFW_S_NO_MORE_ITEMS);

    CMediaType good = harness::MakeVideoType(kWidth, kHeight);
    EXPECT_EQ(input->CheckMediaType(&good), S_OK);
    CMediaType upside_down = harness::MakeVideoType(kWidth, -kHeight);
    EXPECT_EQ(input->CheckMediaType(&upside_down), S_FALSE);
    CMediaType version2 = good;
    version2.SetFormatType(&FORMAT_VideoInfo2);
    EXPECT_EQ(input->CheckMediaType(&version2), S_FALSE);
    CMediaType i420 = good;
    i420.SetSubtype(&MEDIASUBTYPE_I420);
    EXPECT_EQ(input->CheckMediaType(&i420), S_FALSE);

    ASSERT_EQ(input->SetMediaType(&good), S_OK);
    EXPECT_TRUE(tee->StreamType() == good);
    EXPECT_EQ(output->GetMediaType(0, &offered), S_OK);
    EXPECT_TRUE(offered == good);
    EXPECT_EQ(output->GetMediaType(1, &offered), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(output->CheckMediaType(&good), S_OK);
    // Another stride is another format block: refused.
    CMediaType wider = good;
    wider.FormatAs<VIDEOINFOHEADER>()->bmiHeader.biWidth = 32;
    EXPECT_EQ(output->CheckMediaType(&wider), VFW_E_TYPE_NOT_ACCEPTED);

    void* seeking = nullptr;
    EXPECT_EQ(output->QueryInterface(IID_IMediaSeeking, &seeking), E_NOINTERFACE);
    EXPECT_EQ(output->QueryInterface(IID_IMediaPosition, &seeking), E_NOINTERFACE);
    EXPECT_EQ(seeking, nullptr);
}

}  // namespace

}  // namespace rizuvira::filters
