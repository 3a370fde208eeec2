// SPDX-License-Identifier: GPL-2.0-or-later
// A source -> filter under test -> collecting sink chain for the converter tests. Push runs the
// whole transform on the calling thread, so the sink holds the result when Push returns.
#pragma once

#include <gtest/gtest.h>

#include "platform/media_sample.h"
#include "platform/pipeline_harness.h"

namespace rizuvira::filters {

template <class Filter>
class FilterChain {
public:
    // `sink_subtype`: the only output subtype the sink takes (GUID_NULL: any).
    FilterChain(Filter* filter, CMediaType input_type, LONG source_buffer_bytes,
                LONG source_buffers = 2, const GUID& sink_subtype = GUID_NULL)
        : source_(
              new harness::CTestSource(std::move(input_type), source_buffers, source_buffer_bytes)),
          filter_(filter),
          sink_(new harness::CCollectingSink(GUID_NULL, sink_subtype)) {}

    ~FilterChain() {
        Stop();
        sink_->pin()->Disconnect();
        filter_->OutputPin()->Disconnect();
        filter_->InputPin()->Disconnect();
        source_->pin()->Disconnect();
        EXPECT_EQ(CMediaSample::OutstandingCount(), 0);  // every sample went back
    }

    HRESULT ConnectInput() { return source_->pin()->Connect(filter_->InputPin(), nullptr); }
    HRESULT ConnectOutput() { return filter_->OutputPin()->Connect(sink_->pin(), nullptr); }
    HRESULT Connect() {
        const HRESULT hr = ConnectInput();
        return FAILED(hr) ? hr : ConnectOutput();
    }
    // Pauses downstream first, as the graph does; Push then works.
    void Start() {
        ASSERT_EQ(sink_->Pause(), S_OK);
        ASSERT_EQ(filter_->Pause(), S_OK);
        ASSERT_EQ(source_->Pause(), S_OK);
    }
    void Stop() {
        sink_->Stop();
        filter_->Stop();
        source_->Stop();
    }
    void Reconnect() {
        Stop();
        sink_->pin()->Disconnect();
        filter_->OutputPin()->Disconnect();
        ASSERT_EQ(ConnectOutput(), S_OK);
        Start();
    }

    HRESULT Push(const std::vector<BYTE>& data, REFERENCE_TIME start = 0, REFERENCE_TIME stop = 1) {
        return source_->Push(data, start, stop);
    }

    // Data of the index-th sample the sink got.
    std::vector<BYTE> Output(std::size_t index) const { return sink_->samples().at(index).data; }
    std::size_t OutputCount() const { return sink_->samples().size(); }
    const CMediaType& OutputType() const { return sink_->pin()->CurrentMediaType(); }

    harness::CTestSource* source() { return source_.Get(); }
    Filter* filter() { return filter_.Get(); }
    harness::CCollectingSink* sink() { return sink_.Get(); }

private:
    ComPtr<harness::CTestSource> source_;
    ComPtr<Filter> filter_;
    ComPtr<harness::CCollectingSink> sink_;
};

}  // namespace rizuvira::filters
