// SPDX-License-Identifier: GPL-2.0-or-later
// Test chains for the decoders: harness sources (the test is their streaming thread) ->
// decoder made through the component registry -> recording sink. Push runs the decoder on the
// calling thread, so what the sink saw is complete when Push returns.
#pragma once

#include <gtest/gtest.h>

#include "decoders/recording_sink.h"
#include "decoders/register.h"
#include "decoders/vob_packets.h"
#include "platform/media_sample.h"
#include "platform/pipeline_harness.h"
#include "platform/registry.h"

namespace rizuvira::decoders {

class DecoderChain {
public:
    DecoderChain(const CLSID& clsid, CMediaType input_type, CRecordingSink::Inspector inspector)
        : source_(new platform::harness::CTestSource(std::move(input_type), 4, 8192)),
          sink_(new CRecordingSink(std::move(inspector))) {
        rizuvira::decoders::RegisterDecoders();
        EXPECT_EQ(CoCreateInstance(clsid, &decoder_), S_OK);
    }

    ~DecoderChain() {
        Stop();
        if (sub_source_) sub_source_->pin()->Disconnect();
        for (int i = 0; i < 2; ++i)
            if (ComPtr<IPin> pin = GetFilterPin(decoder_.Get(), PINDIR_INPUT, i)) pin->Disconnect();
        if (ComPtr<IPin> pin = GetFilterPin(decoder_.Get(), PINDIR_OUTPUT, 0)) pin->Disconnect();
        sink_->pin()->Disconnect();
        source_->pin()->Disconnect();
        EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
    }

    HRESULT Connect() {
        HRESULT hr =
            source_->pin()->Connect(GetFilterPin(decoder_.Get(), PINDIR_INPUT, 0).Get(), nullptr);
        if (FAILED(hr)) return hr;
        return GetFilterPin(decoder_.Get(), PINDIR_OUTPUT, 0)->Connect(sink_->pin(), nullptr);
    }
    HRESULT ConnectSubpictures() {
        sub_source_ = new platform::harness::CTestSource(SubpictureType(), 4, 8192);
        return sub_source_->pin()->Connect(GetFilterPin(decoder_.Get(), PINDIR_INPUT, 1).Get(),
                                           nullptr);
    }
    void Start() {
        ASSERT_EQ(sink_->Pause(), S_OK);
        ASSERT_EQ(decoder_->Pause(), S_OK);
        ASSERT_EQ(source_->Pause(), S_OK);
        if (sub_source_) {
            ASSERT_EQ(sub_source_->Pause(), S_OK);
        }
    }
    void Stop() {
        sink_->Stop();
        decoder_->Stop();
        source_->Stop();
        if (sub_source_) sub_source_->Stop();
    }

    // Pushes one payload as the splitter does: a start time, and a stop one unit later.
    HRESULT Push(const VobPacket& packet) {
        platform::harness::CTestSource* source =
            packet.stream_id >= 0x20 && packet.stream_id <= 0x3F && sub_source_ ? sub_source_.Get()
                                                                                : source_.Get();
        std::optional<REFERENCE_TIME> stop;
        if (packet.start_100ns) stop = *packet.start_100ns + 1;
        return source->Push(packet.data, packet.start_100ns, stop);
    }

    IBaseFilter* decoder() { return decoder_.Get(); }
    platform::harness::CTestSource* source() { return source_.Get(); }
    CRecordingSink* sink() { return sink_.Get(); }
    const CMediaType& OutputType() { return sink_->pin()->CurrentMediaType(); }

private:
    ComPtr<platform::harness::CTestSource> source_;
    ComPtr<platform::harness::CTestSource> sub_source_;
    ComPtr<IBaseFilter> decoder_;
    ComPtr<CRecordingSink> sink_;
};

}  // namespace rizuvira::decoders
