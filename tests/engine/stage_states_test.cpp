// SPDX-License-Identifier: GPL-2.0-or-later
// Every stage of the table, as the graphs make it, in a graph between pins of the stream forms
// its row names: taken through stopped, paused, running and back, unjoined and joined, with a
// flush from each test source while paused and while running and then the end of the stream;
// then parted and taken out again, leaving no object and no sample behind. Coded streams come from
// the real reader and splitter on the NTSC sample disc, and a byte-stream pin is joined to the real
// reader or splitter.
#include "engine/stage_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <string>

#include "demux/demux_types.h"
#include "demux/mpeg_splitter.h"
#include "dvd/dvd_access.h"
#include "dvd/dvd_reader.h"
#include "fixtures/sample_discs.h"
#include "platform/filter_graph.h"
#include "platform/media_sample.h"
#include "platform/pipeline_harness.h"

namespace rizuvira::engine {

namespace {

namespace fixtures = rizuvira::fixtures;
using platform::harness::CCollectingSink;
using platform::harness::CTestSource;

constexpr LONG kTestBufferBytes = 1 << 16;

class StageStates : public ::testing::TestWithParam<std::size_t> {
protected:
    static void SetUpTestSuite() {
        ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        disc_ = dvd::MyDVDOpen(fixtures::SampleDiscPath(fixtures::kNtscDisc.folder).c_str());
        if (disc_ == 0) return;
        // The coded streams as the splitter offers them for the first title.
        ComPtr<IBaseFilter> reader = DiscReader(nullptr);
        ComPtr<IBaseFilter> splitter;
        ASSERT_EQ(MakeStage(demux::CLSID_MpegSplitter, &splitter), S_OK);
        ASSERT_EQ(GetFilterPin(reader.Get(), PINDIR_OUTPUT, 0)
                      ->Connect(GetFilterPin(splitter.Get(), PINDIR_INPUT, 0).Get(), nullptr),
                  S_OK);
        const std::pair<StreamForm, demux::StreamKind> kinds[] = {
            {StreamForm::kMpegVideo, demux::kVideo},
            {StreamForm::kCodedSound, demux::kAudio},
            {StreamForm::kSubpicture, demux::kSubpicture}};
        for (const auto& [form, kind] : kinds) {
            std::vector<CMediaType> offered;
            ComPtr<IPin> pin = demux::SplitterOutput(splitter.Get(), kind);
            ASSERT_TRUE(pin && SUCCEEDED(pin->EnumMediaTypes(&offered)) && !offered.empty());
            types_[form] = offered.front();
        }
        types_[StreamForm::kPictures] = platform::harness::MakeVideoType(64, 48);
        types_[StreamForm::kSound] = platform::harness::MakeAudioType(2, 48000);
        GetFilterPin(reader.Get(), PINDIR_OUTPUT, 0)->Disconnect();
        GetFilterPin(splitter.Get(), PINDIR_INPUT, 0)->Disconnect();
    }
    static void TearDownTestSuite() {
        types_.clear();
        if (disc_ != 0) dvd::MyDVDClose(disc_);
        disc_ = 0;
    }

    // `reader` (a new one when null) set to the first title of the sample disc.
    static ComPtr<IBaseFilter> DiscReader(ComPtr<IBaseFilter> reader) {
        if (!reader) {
            EXPECT_EQ(MakeStage(dvd::CLSID_DVDReader, &reader), S_OK);
        }
        ComPtr<dvd::IMyDVDReader> dvd = reader.As<dvd::IMyDVDReader>();
        EXPECT_TRUE(dvd && SUCCEEDED(dvd->SetDvdHandle(disc_)) && SUCCEEDED(dvd->SetArea(0, -1)));
        return reader;
    }

    void SetUp() override {
        ASSERT_NE(disc_, 0) << "build the sample-discs target first";
        objects_before_ = CUnknown::LiveObjectCount();
        ComPtr<IUnknown> graph;
        ASSERT_EQ(CreateFilterGraph(graph.ReleaseAndGetAddressOf()), S_OK);
        graph_ = graph.As<IGraphBuilder>();
        control_ = graph.As<IMediaControl>();
        ASSERT_TRUE(graph_ && control_);
    }

    void Add(const ComPtr<IBaseFilter>& filter) {
        ASSERT_EQ(graph_->AddFilter(filter.Get(), "Filter " + std::to_string(added_++)), S_OK);
    }

    // The graph's state changes, each checked on the stage; a flush from every test source
    // while paused and while running, then the end of the stream.
    void Walk(IBaseFilter* stage) {
        const auto expect_state = [&](FILTER_STATE wanted) {
            FILTER_STATE state = State_Stopped;
            EXPECT_EQ(stage->GetState(0, &state), S_OK);
            EXPECT_EQ(state, wanted);
        };
        const auto flush = [&] {
            for (const ComPtr<CTestSource>& source : sources_) {
                EXPECT_EQ(source->BeginFlush(), S_OK);
                EXPECT_EQ(source->EndFlush(), S_OK);
                EXPECT_EQ(source->NewSegment(0, 10 * UNITS, 1.0), S_OK);
            }
        };
        EXPECT_TRUE(SUCCEEDED(control_->Pause()));
        expect_state(State_Paused);
        flush();
        EXPECT_TRUE(SUCCEEDED(control_->Run()));
        expect_state(State_Running);
        flush();
        for (const ComPtr<CTestSource>& source : sources_) EXPECT_EQ(source->EndOfStream(), S_OK);
        EXPECT_TRUE(SUCCEEDED(control_->Pause()));
        expect_state(State_Paused);
        EXPECT_TRUE(SUCCEEDED(control_->Stop()));
        expect_state(State_Stopped);
        EXPECT_TRUE(SUCCEEDED(control_->Run()));
        expect_state(State_Running);
        EXPECT_TRUE(SUCCEEDED(control_->Stop()));
        expect_state(State_Stopped);
    }

    static inline int32_t disc_ = 0;
    static inline std::map<StreamForm, CMediaType> types_;
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaControl> control_;
    std::vector<ComPtr<CTestSource>> sources_;
    int added_ = 0;
    long objects_before_ = 0;
};

TEST_P(StageStates, WalksThroughTheStatesUnjoinedAndJoined) {
    const Stage& row = Stages()[GetParam()];
    {
        ComPtr<IBaseFilter> stage;
        ASSERT_EQ(row.make(&stage), S_OK);
        CLSID clsid{};
        EXPECT_EQ(stage->GetClassID(&clsid), S_OK);
        EXPECT_EQ(clsid, row.clsid);
        Add(stage);
        Walk(stage.Get());
        // A byte-stream source offers its stream once it has one to read.
        if (!row.outputs.empty() && row.outputs[0] == StreamForm::kByteStream) DiscReader(stage);

        std::vector<ComPtr<IPin>> joined;  // the stage's joined pins
        for (std::size_t i = 0; i < row.inputs.size(); ++i) {
            ComPtr<IPin> in = GetFilterPin(stage.Get(), PINDIR_INPUT, static_cast<int>(i));
            ASSERT_TRUE(in) << "input " << i;
            ComPtr<IBaseFilter> upstream;
            if (row.inputs[i] == StreamForm::kByteStream) {
                upstream = DiscReader(nullptr);
            } else {
                ComPtr<CTestSource> source(
                    new CTestSource(types_.at(row.inputs[i]), 2, kTestBufferBytes));
                sources_.push_back(source);
                upstream = source;
            }
            Add(upstream);
            ASSERT_EQ(graph_->ConnectDirect(GetFilterPin(upstream.Get(), PINDIR_OUTPUT, 0).Get(),
                                            in.Get(), nullptr),
                      S_OK)
                << "input " << i;
            joined.push_back(in);
        }
        ASSERT_FALSE(GetFilterPin(stage.Get(), PINDIR_OUTPUT, static_cast<int>(row.outputs.size())))
            << "more outputs than the table lists";
        for (std::size_t i = 0; i < row.outputs.size(); ++i) {
            ComPtr<IPin> out = GetFilterPin(stage.Get(), PINDIR_OUTPUT, static_cast<int>(i));
            ASSERT_TRUE(out) << "output " << i;
            ComPtr<IBaseFilter> downstream;
            if (row.outputs[i] == StreamForm::kByteStream)
                ASSERT_EQ(MakeStage(demux::CLSID_MpegSplitter, &downstream), S_OK);
            else
                downstream = new CCollectingSink;
            Add(downstream);
            ASSERT_EQ(
                graph_->ConnectDirect(
                    out.Get(), GetFilterPin(downstream.Get(), PINDIR_INPUT, 0).Get(), nullptr),
                S_OK)
                << "output " << i;
            joined.push_back(out);
        }
        Walk(stage.Get());

        // Downstream first: a splitter whose input parts drops its outputs.
        for (auto pin = joined.rbegin(); pin != joined.rend(); ++pin) {
            ComPtr<IPin> peer;
            ASSERT_EQ((*pin)->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
            EXPECT_EQ(graph_->Disconnect(pin->Get()), S_OK);
            EXPECT_EQ(graph_->Disconnect(peer.Get()), S_OK);
        }
        sources_.clear();  // nothing left to flush
        Walk(stage.Get());

        std::vector<ComPtr<IBaseFilter>> filters;
        ASSERT_EQ(graph_->EnumFilters(&filters), S_OK);
        for (const ComPtr<IBaseFilter>& filter : filters)
            EXPECT_EQ(graph_->RemoveFilter(filter.Get()), S_OK);
    }
    control_ = nullptr;
    graph_ = nullptr;
    EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
    EXPECT_EQ(CUnknown::LiveObjectCount(), objects_before_);
}

std::string StageName(const ::testing::TestParamInfo<std::size_t>& info) {
    std::string name;
    for (const char c : std::string(Stages()[info.param].name))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, StageStates, ::testing::Range<std::size_t>(0, Stages().size()),
                         StageName);

}  // namespace

}  // namespace rizuvira::engine
