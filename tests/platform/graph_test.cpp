// SPDX-License-Identifier: GPL-2.0-or-later
// The graph manager: building, the generic run-through of a small graph, events, clocks,
// seeking and rendering through registered components.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pipeline_harness.h"
#include "platform/media_sample.h"
#include "platform/pipeline.h"
#include "platform/reference_clock.h"
#include "platform/registry.h"

namespace rizuvira::platform {

namespace {

using harness::CCollectingSink;
using harness::CInvertTransform;
using harness::CTestSource;
using harness::MakeAudioType;
using harness::MakeVideoType;
using harness::Pattern;
using harness::SinkEvent;

ComPtr<IGraphBuilder> NewGraph() {
    ComPtr<IGraphBuilder> graph;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, &graph), S_OK);
    return graph;
}

std::vector<LONG> DrainEvents(IMediaEvent* events) {
    std::vector<LONG> codes;
    LONG code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        codes.push_back(code);
        events->FreeEventParams(code, p1, p2);
    }
    return codes;
}

// The generic test: a graph of source -> transform -> sink taken through every state and
// stream operation, then torn down without a leaked object or sample.
TEST(FilterGraph, GenericRunThroughLeavesNothingBehind) {
    const long live = CUnknown::LiveObjectCount();
    {
        ComPtr<IGraphBuilder> graph = NewGraph();
        auto control = graph.As<IMediaControl>();
        auto events = graph.As<IMediaEventEx>();
        auto seeking = graph.As<IMediaSeeking>();
        ASSERT_TRUE(control && events && seeking);

        ComPtr<CTestSource> source(new CTestSource(MakeVideoType(32, 16), 4, 1024));
        ComPtr<CInvertTransform> transform(new CInvertTransform);
        ComPtr<CCollectingSink> sink(new CCollectingSink);
        ASSERT_EQ(graph->AddFilter(source.Get(), "Source"), S_OK);
        ASSERT_EQ(graph->AddFilter(transform.Get(), "Invert"), S_OK);
        ASSERT_EQ(graph->AddFilter(sink.Get(), "Sink"), S_OK);
        ASSERT_EQ(graph->ConnectDirect(source->pin(), transform->InputPin(), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(transform->OutputPin(), sink->pin(), nullptr), S_OK);

        FILTER_INFO info;
        sink->QueryFilterInfo(&info);
        EXPECT_EQ(info.achName, "Sink");
        EXPECT_EQ(info.pGraph.Get(), static_cast<IFilterGraph*>(graph.Get()));

        // Pause: the stream may start, nothing runs yet.
        ASSERT_EQ(control->Pause(), S_OK);
        EXPECT_EQ(sink->State(), State_Paused);
        EXPECT_EQ(transform->start_count(), 1);
        EXPECT_EQ(source->Push(Pattern(16, 0), 0, 100), S_OK);

        // Run.
        ASSERT_EQ(control->Run(), S_OK);
        OAFilterState state = State_Stopped;
        EXPECT_EQ(control->GetState(0, &state), S_OK);
        EXPECT_EQ(state, State_Running);
        EXPECT_EQ(source->State(), State_Running);
        REFERENCE_TIME stream_time = 0;
        EXPECT_EQ(sink->StreamTime(&stream_time), S_OK);
        EXPECT_EQ(source->Push(Pattern(16, 1), 100, 200), S_OK);

        // Seek: passes from the graph to the sink, up through the transform's output pin to
        // the source pin, which flushes and starts a new segment.
        LONGLONG duration = 0;
        EXPECT_EQ(seeking->GetDuration(&duration), S_OK);
        EXPECT_EQ(duration, 10 * UNITS);
        LONGLONG target = 5 * UNITS;
        ASSERT_EQ(seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                        AM_SEEKING_NoPositioning),
                  S_OK);
        EXPECT_EQ(source->pin()->seek_count(), 1);
        EXPECT_EQ(control->GetState(0, &state), S_OK);
        EXPECT_EQ(state, State_Running);  // running again after the seek
        LONGLONG current = 0;
        EXPECT_EQ(seeking->GetCurrentPosition(&current), S_OK);
        EXPECT_GE(current, 5 * UNITS);   // the seek target plus the little time run since
        EXPECT_LE(current, 10 * UNITS);  // never past the stop position

        // Flush from the source, then more data and the end of the stream.
        source->BeginFlush();
        source->EndFlush();
        EXPECT_EQ(source->Push(Pattern(16, 2), 0, 100), S_OK);
        EXPECT_EQ(source->EndOfStream(), S_OK);

        LONG code = 0;
        EXPECT_EQ(events->WaitForCompletion(-1, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        EXPECT_EQ(DrainEvents(events.Get()), std::vector<LONG>{EC_COMPLETE});

        std::vector<SinkEvent::Kind> kinds;
        for (const auto& e : sink->events()) kinds.push_back(e.kind);
        EXPECT_EQ(kinds, (std::vector<SinkEvent::Kind>{
                             SinkEvent::kSample, SinkEvent::kSample, SinkEvent::kBeginFlush,
                             SinkEvent::kEndFlush, SinkEvent::kNewSegment, SinkEvent::kBeginFlush,
                             SinkEvent::kEndFlush, SinkEvent::kSample, SinkEvent::kEndOfStream}));
        EXPECT_EQ(sink->events()[4].start, 5 * UNITS);

        // Stop, and once more through pause, run and stop.
        ASSERT_EQ(control->Stop(), S_OK);
        EXPECT_EQ(transform->stop_count(), 1);
        EXPECT_EQ(source->Push(Pattern(16, 3), 0, 1), VFW_E_NOT_COMMITTED);
        ASSERT_EQ(control->Run(), S_OK);
        EXPECT_EQ(source->Push(Pattern(16, 4), 0, 1), S_OK);
        ASSERT_EQ(control->Stop(), S_OK);
        EXPECT_EQ(transform->start_count(), 2);
        EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
    }
    EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
    EXPECT_EQ(CUnknown::LiveObjectCount(), live);
}

TEST(FilterGraph, NamesFiltersUniquelyAndRemovesThemCleanly) {
    const long live = CUnknown::LiveObjectCount();
    {
        ComPtr<IGraphBuilder> graph = NewGraph();
        ComPtr<CTestSource> source(new CTestSource(MakeVideoType(8, 8)));
        ComPtr<CCollectingSink> first(new CCollectingSink);
        ComPtr<CCollectingSink> second(new CCollectingSink);
        EXPECT_EQ(graph->AddFilter(source.Get(), "Reader"), S_OK);
        EXPECT_EQ(graph->AddFilter(first.Get(), "Sink"), S_OK);
        EXPECT_EQ(graph->AddFilter(second.Get(), "Sink"), VFW_S_DUPLICATE_NAME);
        EXPECT_EQ(graph->AddFilter(first.Get(), "Again"), E_INVALIDARG);

        EXPECT_EQ(GetFilterPin(source.Get(), PINDIR_OUTPUT, 0).Get(),
                  static_cast<IPin*>(source->pin()));
        EXPECT_FALSE(GetFilterPin(source.Get(), PINDIR_OUTPUT, 1));
        EXPECT_FALSE(GetFilterPin(source.Get(), PINDIR_INPUT, 0));

        ComPtr<IBaseFilter> found;
        ASSERT_EQ(graph->FindFilterByName("Reader", found.ReleaseAndGetAddressOf()), S_OK);
        EXPECT_EQ(found.Get(), static_cast<IBaseFilter*>(source.Get()));
        EXPECT_EQ(graph->FindFilterByName("Nothing", found.ReleaseAndGetAddressOf()),
                  VFW_E_NOT_FOUND);
        std::vector<ComPtr<IBaseFilter>> filters;
        graph->EnumFilters(&filters);
        EXPECT_EQ(filters.size(), 3u);

        // Pins of a filter outside the graph are not joined by it.
        ComPtr<CCollectingSink> outside(new CCollectingSink);
        EXPECT_EQ(graph->ConnectDirect(source->pin(), outside->pin(), nullptr), VFW_E_NOT_IN_GRAPH);

        ASSERT_EQ(graph->ConnectDirect(source->pin(), first->pin(), nullptr), S_OK);
        ASSERT_EQ(graph->RemoveFilter(first.Get()), S_OK);
        EXPECT_FALSE(source->pin()->IsConnected());  // both sides went
        EXPECT_FALSE(first->pin()->IsConnected());
        EXPECT_EQ(first->GetFilterGraph(), nullptr);
        EXPECT_EQ(graph->RemoveFilter(first.Get()), VFW_E_NOT_FOUND);
    }
    EXPECT_EQ(CUnknown::LiveObjectCount(), live);
}

TEST(FilterGraph, DefaultHandlingGivesOneCompletionForAllRenderers) {
    ComPtr<IGraphBuilder> graph = NewGraph();
    auto control = graph.As<IMediaControl>();
    auto events = graph.As<IMediaEventEx>();
    std::atomic<int> notified{0};
    events->SetNotifyCallback([&] { ++notified; });

    ComPtr<CTestSource> video(new CTestSource(MakeVideoType(8, 8)));
    ComPtr<CTestSource> audio(new CTestSource(MakeAudioType(2, 48000)));
    ComPtr<CCollectingSink> video_sink(new CCollectingSink);
    ComPtr<CCollectingSink> audio_sink(new CCollectingSink);
    for (IBaseFilter* f : std::initializer_list<IBaseFilter*>{video.Get(), audio.Get(),
                                                              video_sink.Get(), audio_sink.Get()})
        graph->AddFilter(f, "");
    graph->ConnectDirect(video->pin(), video_sink->pin(), nullptr);
    graph->ConnectDirect(audio->pin(), audio_sink->pin(), nullptr);
    ASSERT_EQ(control->Run(), S_OK);

    video->EndOfStream();
    EXPECT_TRUE(DrainEvents(events.Get()).empty());  // one renderer is still playing
    LONG code = 0;
    EXPECT_EQ(events->WaitForCompletion(0, &code), E_ABORT);
    audio->EndOfStream();
    EXPECT_EQ(DrainEvents(events.Get()), std::vector<LONG>{EC_COMPLETE});
    EXPECT_EQ(notified.load(), 1);

    // With default handling cancelled, every renderer's completion arrives with its filter.
    ASSERT_EQ(control->Stop(), S_OK);
    events->CancelDefaultHandling(EC_COMPLETE);
    ASSERT_EQ(control->Run(), S_OK);
    video->EndOfStream();
    audio->EndOfStream();
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(p2, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(video_sink.Get())));
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(p2, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(audio_sink.Get())));
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    EXPECT_EQ(notified.load(), 3);
    control->Stop();
    EXPECT_EQ(events->WaitForCompletion(-1, &code), S_OK);  // the first completion stays
}

TEST(FilterGraph, EventsPostedFromOtherThreadsWakeAWaiter) {
    ComPtr<IGraphBuilder> graph = NewGraph();
    auto control = graph.As<IMediaControl>();
    auto events = graph.As<IMediaEventEx>();
    ComPtr<CTestSource> source(new CTestSource(MakeVideoType(8, 8)));
    ComPtr<CCollectingSink> sink(new CCollectingSink);
    graph->AddFilter(source.Get(), "Source");
    graph->AddFilter(sink.Get(), "Sink");
    graph->ConnectDirect(source->pin(), sink->pin(), nullptr);
    ASSERT_EQ(control->Run(), S_OK);
    std::thread streaming([&] {
        for (int i = 0; i < 20; ++i) source->Push(Pattern(4, 0), i, i + 1);
        source->EndOfStream();
    });
    LONG code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, -1), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    streaming.join();
    EXPECT_EQ(sink->samples().size(), 20u);
    control->Stop();
}

TEST(FilterGraph, ClockChoice) {
    ComPtr<IGraphBuilder> graph = NewGraph();
    auto control = graph.As<IMediaControl>();
    auto media_filter = graph.As<IMediaFilter>();
    ASSERT_TRUE(media_filter);
    ComPtr<CTestSource> source(new CTestSource(MakeVideoType(8, 8)));
    ComPtr<CCollectingSink> sink(new CCollectingSink);
    graph->AddFilter(source.Get(), "Source");
    graph->AddFilter(sink.Get(), "Sink");
    graph->ConnectDirect(source->pin(), sink->pin(), nullptr);

    // The default: a system clock shared by every filter, with stream time from Run.
    ASSERT_EQ(control->Run(), S_OK);
    ComPtr<IReferenceClock> graph_clock;
    media_filter->GetSyncSource(graph_clock.ReleaseAndGetAddressOf());
    // Playing on a clock, the position moves on from where the run started.
    ASSERT_EQ(control->Pause(), S_OK);
    auto position_seeking = graph.As<IMediaSeeking>();
    LONGLONG paused_at = -1;
    EXPECT_EQ(position_seeking->GetCurrentPosition(&paused_at), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    CAMEvent later;
    DWORD_PTR cookie = 0;
    REFERENCE_TIME start = sink->StartTime();
    graph_clock->AdviseTime(start, 30 * MILLISECONDS, &later, &cookie);
    later.Wait();
    LONGLONG playing_at = 0;
    position_seeking->GetCurrentPosition(&playing_at);
    EXPECT_GE(playing_at, paused_at + 30 * MILLISECONDS);
    ASSERT_TRUE(graph_clock);
    EXPECT_EQ(sink->Clock(), graph_clock);
    EXPECT_EQ(source->Clock(), graph_clock);
    REFERENCE_TIME now = 0;
    graph_clock->GetTime(&now);
    EXPECT_LE(sink->StartTime(), now + 10 * MILLISECONDS);
    control->Stop();

    // No clock: filters run without one, as the conversion graph does.
    ASSERT_EQ(media_filter->SetSyncSource(nullptr), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_FALSE(sink->Clock());
    REFERENCE_TIME stream_time = 0;
    EXPECT_EQ(sink->StreamTime(&stream_time), VFW_E_NO_CLOCK);
    EXPECT_EQ(source->Push(Pattern(4, 0), 0, 1), S_OK);
    // Without a clock the position is the seeking filter's own.
    auto seeking = graph.As<IMediaSeeking>();
    LONGLONG target = 3 * UNITS;
    seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                          AM_SEEKING_NoPositioning);
    LONGLONG current = 0;
    EXPECT_EQ(seeking->GetCurrentPosition(&current), S_OK);
    EXPECT_EQ(current, 3 * UNITS);
    control->Stop();

    // A clock given by the caller.
    ComPtr<IReferenceClock> mine(static_cast<IReferenceClock*>(new CSystemClock));
    media_filter->SetSyncSource(mine.Get());
    EXPECT_EQ(sink->Clock(), mine);
    graph->SetDefaultSyncSource();
    EXPECT_NE(sink->Clock(), mine);
    EXPECT_TRUE(sink->Clock());
}

TEST(ReferenceClock, AdvisesFireInTimeOrder) {
    ComPtr<IReferenceClock> clock(static_cast<IReferenceClock*>(new CSystemClock));
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    CAMEvent soon;
    CAMEvent later;
    CAMEvent never;
    DWORD_PTR a = 0;
    DWORD_PTR b = 0;
    DWORD_PTR c = 0;
    ASSERT_EQ(clock->AdviseTime(now, 20 * MILLISECONDS, &later, &b), S_OK);
    ASSERT_EQ(clock->AdviseTime(now, 1 * MILLISECONDS, &soon, &a), S_OK);
    ASSERT_EQ(clock->AdviseTime(now, 1000 * UNITS, &never, &c), S_OK);
    soon.Wait();
    later.Wait();
    REFERENCE_TIME after = 0;
    clock->GetTime(&after);
    EXPECT_GE(after, now + 20 * MILLISECONDS);
    EXPECT_FALSE(never.Check());
    EXPECT_EQ(clock->Unadvise(c), S_OK);
    EXPECT_EQ(clock->Unadvise(a), S_FALSE);  // a one-shot advise is gone once it fired

    CAMEvent tick;
    DWORD_PTR periodic = 0;
    ASSERT_EQ(clock->AdvisePeriodic(after, 1 * MILLISECONDS, &tick, &periodic), S_OK);
    tick.Wait();
    tick.Wait();
    EXPECT_EQ(clock->Unadvise(periodic), S_OK);
}

// A "decoder" for the rendering tests: MPEG-2 video in, YV12 out.
constexpr GUID kDecoderClass = "D0D0D0D0-1111-2222-3333-444444444401"_guid;
constexpr GUID kRendererClass = "D0D0D0D0-1111-2222-3333-444444444402"_guid;

class CFakeDecoder final : public CTransformFilter {
public:
    CFakeDecoder() : CTransformFilter("Fake decoder", nullptr, kDecoderClass) {}
    HRESULT Transform(IMediaSample*, IMediaSample* out) override {
        return out->SetActualDataLength(0);
    }
    HRESULT CheckInputType(const CMediaType* type) override {
        return type->subtype == MEDIASUBTYPE_MPEG2_VIDEO ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const CMediaType*, const CMediaType* out) override {
        return out->subtype == MEDIASUBTYPE_YV12 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        request->cBuffers = 1;
        request->cbBuffer = 64;
        ALLOCATOR_PROPERTIES actual{};
        return allocator->SetProperties(request, &actual);
    }
    HRESULT GetMediaType(int position, CMediaType* type) override {
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        *type = MakeVideoType(8, 8);
        return S_OK;
    }
};

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = CUnknown::LiveObjectCount();
        auto& registry = ComponentRegistry::Instance();
        registry.Register(
            {kDecoderClass, "Decoder", MERIT_NORMAL, [](IUnknown*, IUnknown** object) -> HRESULT {
                 ComPtr<IBaseFilter> f(new CFakeDecoder);
                 *object = static_cast<IUnknown*>(f.Detach());
                 return S_OK;
             }});
        registry.Register({kRendererClass, "Video Renderer", MERIT_NORMAL - 1,
                           [](IUnknown*, IUnknown** object) -> HRESULT {
                               ComPtr<IBaseFilter> f(
                                   new CCollectingSink(MEDIATYPE_Video, MEDIASUBTYPE_YV12));
                               *object = static_cast<IUnknown*>(f.Detach());
                               return S_OK;
                           }});
        graph_ = NewGraph();
    }
    void TearDown() override {
        graph_.Reset();
        ComponentRegistry::Instance().Unregister(kDecoderClass);
        ComponentRegistry::Instance().Unregister(kRendererClass);
        EXPECT_EQ(CUnknown::LiveObjectCount(), live_);
    }
    std::vector<std::string> FilterNames() {
        std::vector<ComPtr<IBaseFilter>> filters;
        graph_->EnumFilters(&filters);
        std::vector<std::string> names;
        for (const auto& f : filters) {
            FILTER_INFO info;
            f->QueryFilterInfo(&info);
            names.push_back(info.achName);
        }
        return names;
    }

    long live_ = 0;
    ComPtr<IGraphBuilder> graph_;
};

CMediaType Mpeg2Type() {
    CMediaType mt(MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_MPEG2_VIDEO);
    mt.SetFormatType(&FORMAT_MPEG2Video);
    mt.AllocFormatBuffer(static_cast<ULONG>(SizeMpeg2VideoInfo(0)));
    return mt;
}

TEST_F(RenderTest, RenderInsertsADecoderAndARenderer) {
    ComPtr<CTestSource> source(new CTestSource(Mpeg2Type()));
    graph_->AddFilter(source.Get(), "Splitter");
    ASSERT_EQ(graph_->Render(source->pin()), S_OK);
    EXPECT_EQ(FilterNames(), (std::vector<std::string>{"Splitter", "Decoder", "Video Renderer"}));
    EXPECT_EQ(graph_->Render(source->pin()), VFW_E_ALREADY_CONNECTED);
}

TEST_F(RenderTest, RenderUsesAFreeInputAlreadyInTheGraph) {
    ComPtr<CTestSource> source(new CTestSource(MakeVideoType(8, 8)));
    ComPtr<CCollectingSink> present(new CCollectingSink(MEDIATYPE_Video));
    graph_->AddFilter(source.Get(), "Source");
    graph_->AddFilter(present.Get(), "Present");
    ASSERT_EQ(graph_->Render(source->pin()), S_OK);
    EXPECT_TRUE(present->pin()->IsConnected());
    EXPECT_EQ(FilterNames().size(), 2u);
}

TEST_F(RenderTest, AFailedRenderLeavesTheGraphAsItWas) {
    ComPtr<CTestSource> audio(new CTestSource(MakeAudioType(2, 44100)));
    graph_->AddFilter(audio.Get(), "Audio");
    EXPECT_EQ(graph_->Render(audio->pin()), VFW_E_CANNOT_RENDER);
    EXPECT_EQ(FilterNames(), std::vector<std::string>{"Audio"});
    EXPECT_FALSE(audio->pin()->IsConnected());
}

TEST_F(RenderTest, IntelligentConnectGoesThroughARegisteredFilter) {
    ComPtr<CTestSource> source(new CTestSource(Mpeg2Type()));
    ComPtr<CCollectingSink> yv12_only(new CCollectingSink(MEDIATYPE_Video, MEDIASUBTYPE_YV12));
    graph_->AddFilter(source.Get(), "Splitter");
    graph_->AddFilter(yv12_only.Get(), "Renderer");
    EXPECT_EQ(graph_->ConnectDirect(source->pin(), yv12_only->pin(), nullptr),
              VFW_E_NO_ACCEPTABLE_TYPES);
    ASSERT_EQ(graph_->Connect(source->pin(), yv12_only->pin()), S_OK);
    EXPECT_EQ(FilterNames(), (std::vector<std::string>{"Splitter", "Renderer", "Decoder"}));
    CMediaType type;
    yv12_only->pin()->ConnectionMediaType(&type);
    EXPECT_EQ(type.subtype, MEDIASUBTYPE_YV12);
}

}  // namespace

}  // namespace rizuvira::platform
