// SPDX-License-Identifier: GPL-2.0-or-later
// The transform filter base, driven through the harness: source -> CInvertTransform -> sink.
#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "pipeline_harness.h"
#include "platform/media_sample.h"

namespace rizuvira::platform {

namespace {

using harness::CCollectingSink;
using harness::CInvertTransform;
using harness::CTestSource;
using harness::MakeAudioType;
using harness::MakeVideoType;
using harness::Pattern;
using harness::SinkEvent;

class TransformTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = CUnknown::LiveObjectCount();
        source_ = new CTestSource(MakeVideoType(32, 16), 4, 1024);
        transform_ = new CInvertTransform;
        sink_ = new CCollectingSink;
    }
    void TearDown() override {
        StopAll();
        for (IPin* pin : {static_cast<IPin*>(source_->pin()), static_cast<IPin*>(sink_->pin()),
                          static_cast<IPin*>(transform_->InputPin()),
                          static_cast<IPin*>(transform_->OutputPin())})
            pin->Disconnect();
        source_.Reset();
        transform_.Reset();
        sink_.Reset();
        EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
        EXPECT_EQ(CUnknown::LiveObjectCount(), live_);
    }
    void ConnectAll() {
        ASSERT_EQ(source_->pin()->Connect(transform_->InputPin(), nullptr), S_OK);
        ASSERT_EQ(transform_->OutputPin()->Connect(sink_->pin(), nullptr), S_OK);
    }
    // Downstream first, as the graph does.
    void PauseAll() {
        ASSERT_EQ(sink_->Pause(), S_OK);
        ASSERT_EQ(transform_->Pause(), S_OK);
        ASSERT_EQ(source_->Pause(), S_OK);
    }
    void StopAll() {
        sink_->Stop();
        transform_->Stop();
        source_->Stop();
    }

    long live_ = 0;
    ComPtr<CTestSource> source_;
    ComPtr<CInvertTransform> transform_;
    ComPtr<CCollectingSink> sink_;
};

TEST_F(TransformTest, PinsAndTypeNegotiation) {
    ComPtr<IPin> in;
    ComPtr<IPin> out;
    ASSERT_EQ(transform_->FindPin("XForm In", in.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(transform_->FindPin("XForm Out", out.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(transform_->FindPin("Input", out.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);

    // Without an input connection the output offers nothing and accepts nothing.
    std::vector<CMediaType> types;
    transform_->OutputPin()->EnumMediaTypes(&types);
    EXPECT_TRUE(types.empty());
    EXPECT_EQ(transform_->OutputPin()->Connect(sink_->pin(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_FALSE(sink_->pin()->IsConnected());

    ConnectAll();
    CMediaType connected;
    ASSERT_EQ(sink_->pin()->ConnectionMediaType(&connected), S_OK);
    EXPECT_TRUE(connected == source_->offered_type());
    EXPECT_EQ(source_->pin()->Connect(transform_->InputPin(), nullptr), VFW_E_ALREADY_CONNECTED);

    ComPtr<IPin> peer;
    ASSERT_EQ(transform_->InputPin()->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(peer.Get(), static_cast<IPin*>(source_->pin()));
    PIN_DIRECTION direction = PINDIR_INPUT;
    peer->QueryDirection(&direction);
    EXPECT_EQ(direction, PINDIR_OUTPUT);
}

TEST_F(TransformTest, RefusedTypesLeaveBothPinsUnconnected) {
    ComPtr<CTestSource> audio(new CTestSource(MakeAudioType(2, 48000)));
    EXPECT_EQ(audio->pin()->Connect(transform_->InputPin(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_FALSE(audio->pin()->IsConnected());
    EXPECT_FALSE(transform_->InputPin()->IsConnected());
    EXPECT_EQ(transform_->InputPin()->QueryAccept(&audio->offered_type()), S_FALSE);

    // A fully specified type the source does not offer is refused without trying others.
    const CMediaType other = MakeVideoType(64, 64);
    CMediaType other_subtype = other;
    other_subtype.SetSubtype(&MEDIASUBTYPE_I420);
    EXPECT_EQ(source_->pin()->Connect(transform_->InputPin(), &other_subtype),
              VFW_E_TYPE_NOT_ACCEPTED);
    // A partial type is a filter over the offered ones.
    const CMediaType video_only(MEDIATYPE_Video);
    EXPECT_EQ(source_->pin()->Connect(transform_->InputPin(), &video_only), S_OK);
    // Two outputs cannot be joined.
    EXPECT_EQ(transform_->OutputPin()->Connect(audio->pin(), nullptr), VFW_E_INVALID_DIRECTION);
    source_->pin()->Disconnect();
    transform_->InputPin()->Disconnect();
}

TEST_F(TransformTest, ReceiveCopiesTimesAndFlagsAndDropsOnSFalse) {
    ConnectAll();
    PauseAll();
    const auto data = Pattern(100, 3);
    EXPECT_EQ(source_->Push(data, 1000, 2000, {true, true, true}), S_OK);
    EXPECT_EQ(source_->Push(Pattern(10, 0xDD), 2000, 3000), S_OK);  // dropped by the transform
    EXPECT_EQ(source_->Push(Pattern(10, 1), 3000, std::nullopt), S_OK);
    EXPECT_EQ(source_->Push(Pattern(10, 2), std::nullopt, std::nullopt), S_OK);

    // Media times travel too.
    ComPtr<IMediaSample> sample;
    ASSERT_EQ(
        source_->pin()->GetDeliveryBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0),
        S_OK);
    sample->SetActualDataLength(1);
    const LONGLONG m0 = 40;
    const LONGLONG m1 = 41;
    sample->SetMediaTime(&m0, &m1);
    EXPECT_EQ(source_->pin()->Deliver(sample.Get()), S_OK);
    sample.Reset();

    const auto got = sink_->samples();
    ASSERT_EQ(got.size(), 4u);
    ASSERT_EQ(got[0].data.size(), 100u);
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(got[0].data[i], BYTE(~data[i]));
    EXPECT_EQ(got[0].time_result, S_OK);
    EXPECT_EQ(got[0].start, 1000);
    EXPECT_EQ(got[0].stop, 2000);
    EXPECT_TRUE(got[0].flags.sync_point && got[0].flags.discontinuity && got[0].flags.preroll);
    // After a dropped sample the next one says there is a gap.
    EXPECT_TRUE(got[1].flags.discontinuity);
    EXPECT_FALSE(got[1].flags.sync_point);
    EXPECT_EQ(got[1].time_result, VFW_S_NO_STOP_TIME);
    EXPECT_EQ(got[1].start, 3000);
    EXPECT_FALSE(got[2].flags.discontinuity);
    EXPECT_EQ(got[2].time_result, VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_TRUE(got[3].media_times);
    EXPECT_EQ(got[3].media_start, 40);
}

TEST_F(TransformTest, StreamControlPassesThroughInOrder) {
    ConnectAll();
    PauseAll();
    source_->NewSegment(0, 5000, 1.0);
    source_->Push(Pattern(4, 0), 0, 10);
    source_->BeginFlush();
    EXPECT_EQ(source_->Push(Pattern(4, 0), 10, 20), S_FALSE);  // flushing: refused quietly
    source_->EndFlush();
    source_->NewSegment(100, 5000, 1.0);
    source_->Push(Pattern(4, 0), 100, 110);
    source_->EndOfStream();
    const auto events = sink_->events();
    std::vector<SinkEvent::Kind> kinds;
    for (const auto& e : events) kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<SinkEvent::Kind>{SinkEvent::kNewSegment, SinkEvent::kSample,
                                                   SinkEvent::kBeginFlush, SinkEvent::kEndFlush,
                                                   SinkEvent::kNewSegment, SinkEvent::kSample,
                                                   SinkEvent::kEndOfStream}));
    EXPECT_EQ(events[4].start, 100);
    EXPECT_EQ(transform_->InputPin()->CurrentStartTime(), 100);
}

TEST_F(TransformTest, StartAndStopStreamingFollowTheState) {
    ConnectAll();
    PauseAll();
    EXPECT_EQ(transform_->start_count(), 1);
    ASSERT_EQ(transform_->Run(0), S_OK);
    ASSERT_EQ(transform_->Pause(), S_OK);
    EXPECT_EQ(transform_->start_count(), 1);  // only leaving Stopped starts streaming
    StopAll();
    EXPECT_EQ(transform_->stop_count(), 1);
    EXPECT_EQ(source_->Push(Pattern(4, 0), 0, 1), VFW_E_NOT_COMMITTED);
    PauseAll();  // and again after a stop
    EXPECT_EQ(transform_->start_count(), 2);
    EXPECT_EQ(source_->Push(Pattern(4, 0), 0, 1), S_OK);
}

TEST_F(TransformTest, StopReleasesAReceiveBlockedOnTheOutputAllocator) {
    ConnectAll();
    PauseAll();
    ALLOCATOR_PROPERTIES props{};
    transform_->OutputPin()->Allocator()->GetProperties(&props);
    sink_->HoldSamples(static_cast<std::size_t>(props.cBuffers));  // the sink keeps every buffer
    for (LONG i = 0; i < props.cBuffers; ++i)
        ASSERT_EQ(source_->Push(Pattern(8, 0), i, i + 1), S_OK);
    std::latch asking(1);
    transform_->before_output_buffer = [&] { asking.count_down(); };
    HRESULT blocked = S_OK;
    std::thread streaming([&] { blocked = source_->Push(Pattern(8, 0), 100, 101); });
    // The streaming thread is past its state checks and waits (or is about to wait) in
    // GetDeliveryBuffer; stopping the transform alone must end that wait, not wait for it.
    asking.wait();
    ASSERT_EQ(transform_->Stop(), S_OK);
    streaming.join();
    EXPECT_EQ(blocked, VFW_E_NOT_COMMITTED);
    sink_->ReleaseHeld();
}

TEST_F(TransformTest, AnUnacceptableTypeChangeStopsTheStream) {
    ConnectAll();
    PauseAll();
    const CMediaType audio = MakeAudioType(1, 8000);
    EXPECT_EQ(source_->Push(Pattern(4, 0), 0, 1, {}, &audio), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(sink_->end_of_stream_count(), 1);  // the input pin ended the stream
    EXPECT_EQ(source_->Push(Pattern(4, 0), 1, 2), VFW_E_RUNTIME_ERROR);
    source_->BeginFlush();
    source_->EndFlush();
    EXPECT_EQ(source_->Push(Pattern(4, 0), 2, 3), S_OK);
}

// An input pin without the push transport.
class CBarePin final : public CBasePin {
public:
    CBarePin(CBaseFilter* filter, CCritSec* lock)
        : CBasePin("Bare pin", filter, lock, nullptr, "Bare", PINDIR_INPUT) {}
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }
};

class CBareFilter final : public CBaseFilter {
public:
    CBareFilter() : CBaseFilter("Bare", nullptr, &lock_, GUID_NULL), pin_(this, &lock_) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
    CBarePin* pin() { return &pin_; }

private:
    CCritSec lock_;
    CBarePin pin_;
};

TEST_F(TransformTest, AnOutputNeedsAPushTransport) {
    ComPtr<CBareFilter> bare(new CBareFilter);
    EXPECT_EQ(source_->pin()->Connect(bare->pin(), nullptr), VFW_E_NO_TRANSPORT);
    EXPECT_FALSE(bare->pin()->IsConnected());
}

}  // namespace

}  // namespace rizuvira::platform
