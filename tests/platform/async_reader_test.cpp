// SPDX-License-Identifier: GPL-2.0-or-later
// The pull model: a file read through the request engine by a pin that pulls, as the
// demultiplexer does.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "pipeline_harness.h"
#include "platform/file_stream.h"
#include "platform/media_sample.h"

namespace rizuvira::platform {

namespace {

using harness::Pattern;

constexpr LONG kBlock = 4096;

// An input pin that pulls: it asks the peer for IAsyncReader when connecting.
class CPullPin final : public CBasePin {
public:
    CPullPin(CBaseFilter* filter, CCritSec* lock)
        : CBasePin("Pull pin", filter, lock, nullptr, "Input", PINDIR_INPUT) {}
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT CheckConnect(IPin* pin) override {
        const HRESULT hr = CBasePin::CheckConnect(pin);
        if (FAILED(hr)) return hr;
        return QueryInterfaceAs(pin, &reader_);
    }
    HRESULT BreakConnect() override {
        reader_.Reset();
        return S_OK;
    }
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }
    IAsyncReader* reader() { return reader_.Get(); }

private:
    ComPtr<IAsyncReader> reader_;
};

class CPullSink final : public CBaseFilter {
public:
    CPullSink() : CBaseFilter("Pull sink", nullptr, &lock_, GUID_NULL), pin_(this, &lock_) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }
    CPullPin* pin() { return &pin_; }

private:
    CCritSec lock_;
    CPullPin pin_;
};

// A stream in memory whose reads can be held at a gate, whose data may end before its
// announced length, and which may shrink its length to where the data ended (as the DVD
// stream does when the disc stops delivering).
class CMemoryStream final : public CAsyncStream {
public:
    CMemoryStream(std::vector<BYTE> data, LONGLONG announced, bool shrink)
        : data_(std::move(data)), length_(announced), shrink_(shrink) {}

    HRESULT MoveToByte(LONGLONG position) override {
        position_ = position;
        return S_OK;
    }
    HRESULT ReadBytes(BYTE* destination, DWORD count, DWORD* actual) override {
        {
            std::unique_lock lock(gate_mutex_);
            ++reads_started_;
            gate_cv_.notify_all();
            gate_cv_.wait(lock, [&] { return !gate_closed_; });
        }
        const LONGLONG left =
            std::max<LONGLONG>(0, static_cast<LONGLONG>(data_.size()) - position_);
        *actual = static_cast<DWORD>(std::min<LONGLONG>(count, left));
        std::copy_n(data_.begin() + position_, *actual, destination);
        position_ += *actual;
        if (*actual < count && shrink_) length_ = position_;
        return *actual > 0 ? S_OK : E_FAIL;
    }
    LONGLONG TotalSize(LONGLONG* available) override {
        const LONGLONG length = length_.load();
        if (available) *available = length;
        return length;
    }
    DWORD RequiredAlignment() override { return 1; }
    void LockStream() override { lock_.Lock(); }
    void UnlockStream() override { lock_.Unlock(); }

    void CloseGate() {
        std::lock_guard lock(gate_mutex_);
        gate_closed_ = true;
    }
    void OpenGate() {
        {
            std::lock_guard lock(gate_mutex_);
            gate_closed_ = false;
        }
        gate_cv_.notify_all();
    }
    void WaitForReads(int count) {
        std::unique_lock lock(gate_mutex_);
        gate_cv_.wait(lock, [&] { return reads_started_ >= count; });
    }

private:
    CCritSec lock_;
    std::vector<BYTE> data_;
    std::atomic<LONGLONG> length_;
    const bool shrink_;
    LONGLONG position_ = 0;
    std::mutex gate_mutex_;
    std::condition_variable gate_cv_;
    bool gate_closed_ = false;
    int reads_started_ = 0;
};

class CMemoryReader final : public CAsyncReader {
public:
    CMemoryReader(std::vector<BYTE> data, LONGLONG announced, bool shrink)
        : CAsyncReader("Memory reader", nullptr, &stream_, nullptr, GUID_NULL),
          stream_(std::move(data), announced, shrink) {
        m_mt.SetType(&MEDIATYPE_Stream);
        m_mt.SetSubtype(&MEDIASUBTYPE_MPEG2_PROGRAM);
    }
    CMemoryStream& stream() { return stream_; }

private:
    CMemoryStream stream_;
};

// Samples for requests: byte range [position, position + length) as times.
ComPtr<IMediaSample> RangeSample(IMemAllocator* allocator, LONGLONG position, LONGLONG length) {
    IMediaSample* raw = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&raw, nullptr, nullptr, 0), S_OK);
    auto sample = ComPtr<IMediaSample>::Adopt(raw);
    const REFERENCE_TIME start = position * UNITS;
    const REFERENCE_TIME stop = (position + length) * UNITS;
    sample->SetTime(&start, &stop);
    return sample;
}

ComPtr<IMemAllocator> ReaderAllocator(IAsyncReader* reader, LONG buffers) {
    ALLOCATOR_PROPERTIES props{buffers, kBlock, 0, 0};
    ComPtr<IMemAllocator> allocator;
    EXPECT_EQ(reader->RequestAllocator(nullptr, &props, allocator.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(allocator->Commit(), S_OK);
    return allocator;
}

class FileReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = CUnknown::LiveObjectCount();
        path_ = ::testing::TempDir() + "platform_reader_" + std::to_string(::getpid()) + ".bin";
        data_ = Pattern(100000, 7);
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(data_.data()), data_.size());
        HRESULT hr = S_OK;
        source_ = new CAsyncFileSource(nullptr, &hr);
        auto file = source_.As<IFileSourceFilter>();
        ASSERT_TRUE(file);
        CMediaType program(MEDIATYPE_Stream);
        program.SetSubtype(&MEDIASUBTYPE_MPEG2_PROGRAM);
        ASSERT_EQ(file->Load(path_, &program), S_OK);
        sink_ = new CPullSink;
    }
    void TearDown() override {
        sink_->pin()->Disconnect();
        if (output_) output_->Disconnect();
        output_.Reset();
        source_.Reset();
        sink_.Reset();
        std::remove(path_.c_str());
        EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
        EXPECT_EQ(CUnknown::LiveObjectCount(), live_);
    }
    IAsyncReader* Connect() {
        EXPECT_EQ(source_->FindPin("Output", output_.ReleaseAndGetAddressOf()), S_OK);
        EXPECT_EQ(output_->Connect(sink_->pin(), nullptr), S_OK);
        return sink_->pin()->reader();
    }

    long live_ = 0;
    std::string path_;
    std::vector<BYTE> data_;
    ComPtr<CAsyncFileSource> source_;
    ComPtr<CPullSink> sink_;
    ComPtr<IPin> output_;
};

TEST_F(FileReaderTest, OffersOneTypeAndAcceptsByMajorType) {
    ASSERT_EQ(source_->FindPin("Output", output_.ReleaseAndGetAddressOf()), S_OK);
    auto* pin = static_cast<CAsyncOutputPin*>(source_->GetPin(0));
    CMediaType type;
    EXPECT_EQ(pin->GetMediaType(-1, &type), E_INVALIDARG);
    EXPECT_EQ(pin->GetMediaType(1, &type), VFW_S_NO_MORE_ITEMS);
    ASSERT_EQ(pin->GetMediaType(0, &type), S_OK);
    EXPECT_EQ(type.majortype, MEDIATYPE_Stream);
    EXPECT_EQ(type.subtype, MEDIASUBTYPE_MPEG2_PROGRAM);
    CMediaType other = type;
    other.SetSubtype(&MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_EQ(output_->QueryAccept(&other), S_FALSE);
    other.SetType(&MEDIATYPE_Video);
    other.SetSubtype(&MEDIASUBTYPE_MPEG2_PROGRAM);
    EXPECT_EQ(output_->QueryAccept(&other), S_FALSE);

    std::string name;
    source_.As<IFileSourceFilter>()->GetCurFile(&name, nullptr);
    EXPECT_EQ(name, path_);
    EXPECT_EQ(source_.As<IFileSourceFilter>()->Load("/nonexistent/file", nullptr), E_FAIL);
}

TEST_F(FileReaderTest, ConnectsOnlyWithAPeerThatPulls) {
    ComPtr<harness::CCollectingSink> push_sink(new harness::CCollectingSink);
    ASSERT_EQ(source_->FindPin("Output", output_.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(output_->Connect(push_sink->pin(), nullptr), VFW_E_NO_TRANSPORT);
    EXPECT_FALSE(push_sink->pin()->IsConnected());
    EXPECT_NE(Connect(), nullptr);
    // Breaking the connection forgets the request; a later peer must ask again.
    sink_->pin()->Disconnect();
    output_->Disconnect();
    EXPECT_EQ(output_->Connect(push_sink->pin(), nullptr), VFW_E_NO_TRANSPORT);
}

TEST_F(FileReaderTest, RequestsComeBackWithTheFileBytes) {
    IAsyncReader* reader = Connect();
    ASSERT_NE(reader, nullptr);
    LONGLONG total = 0;
    LONGLONG available = 0;
    reader->Length(&total, &available);
    EXPECT_EQ(total, 100000);
    EXPECT_EQ(available, 100000);

    auto allocator = ReaderAllocator(reader, 4);
    for (int i = 0; i < 4; ++i) {
        auto sample = RangeSample(allocator.Get(), i * kBlock + 3, kBlock);
        ASSERT_EQ(reader->Request(sample.Detach(), 100 + i), S_OK);
    }
    std::map<DWORD_PTR, ComPtr<IMediaSample>> back;
    for (int i = 0; i < 4; ++i) {
        IMediaSample* raw = nullptr;
        DWORD_PTR user = 0;
        ASSERT_EQ(reader->WaitForNext(INFINITE, &raw, &user), S_OK);
        back[user] = ComPtr<IMediaSample>::Adopt(raw);
    }
    ASSERT_EQ(back.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        IMediaSample* sample = back[100 + i].Get();
        ASSERT_NE(sample, nullptr);
        ASSERT_EQ(sample->GetActualDataLength(), kBlock);
        BYTE* bytes = nullptr;
        sample->GetPointer(&bytes);
        EXPECT_TRUE(std::equal(bytes, bytes + kBlock, data_.begin() + i * kBlock + 3));
    }
    IMediaSample* none = nullptr;
    DWORD_PTR user = 0;
    EXPECT_EQ(reader->WaitForNext(0, &none, &user), VFW_E_TIMEOUT);
    EXPECT_EQ(none, nullptr);
}

TEST_F(FileReaderTest, ARequestPastTheEndIsShortened) {
    IAsyncReader* reader = Connect();
    auto allocator = ReaderAllocator(reader, 2);
    auto sample = RangeSample(allocator.Get(), 98304, kBlock);
    ASSERT_EQ(reader->Request(sample.Get(), 1), S_OK);
    sample.Detach();
    IMediaSample* raw = nullptr;
    DWORD_PTR user = 0;
    ASSERT_EQ(reader->WaitForNext(INFINITE, &raw, &user), S_OK);
    sample = ComPtr<IMediaSample>::Adopt(raw);
    EXPECT_EQ(sample->GetActualDataLength(), 100000 - 98304);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    sample->GetTime(&start, &stop);
    EXPECT_EQ(stop, 100000 * UNITS);

    // Wholly past the end, or larger than the buffer: refused before any read.
    auto beyond = RangeSample(allocator.Get(), 100001, 10);
    EXPECT_EQ(reader->Request(beyond.Get(), 2), E_INVALIDARG);
    sample.Reset();
    auto huge = RangeSample(allocator.Get(), 0, kBlock * 2);
    EXPECT_EQ(reader->Request(huge.Get(), 3), E_INVALIDARG);
    EXPECT_EQ(reader->SyncReadAligned(huge.Get()), E_INVALIDARG);
}

TEST_F(FileReaderTest, SynchronousReads) {
    IAsyncReader* reader = Connect();
    std::vector<BYTE> buffer(100);
    ASSERT_EQ(reader->SyncRead(50, 100, buffer.data()), S_OK);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), data_.begin() + 50));
    EXPECT_EQ(reader->SyncRead(99950, 100, buffer.data()), S_FALSE);  // only 50 bytes left

    auto allocator = ReaderAllocator(reader, 1);
    // Cut to the end like a request: the shortened range is read whole.
    auto sample = RangeSample(allocator.Get(), 99000, kBlock);
    EXPECT_EQ(reader->SyncReadAligned(sample.Get()), S_OK);
    EXPECT_EQ(sample->GetActualDataLength(), 1000);
}

TEST_F(FileReaderTest, RequestAllocatorPrefersTheCallersAllocator) {
    IAsyncReader* reader = Connect();
    ComPtr<IMemAllocator> mine(static_cast<IMemAllocator*>(new CMemAllocator));
    ALLOCATOR_PROPERTIES props{2, 1000, 0, 0};
    ComPtr<IMemAllocator> chosen;
    ASSERT_EQ(reader->RequestAllocator(mine.Get(), &props, chosen.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(chosen, mine);
    ALLOCATOR_PROPERTIES granted{};
    mine->GetProperties(&granted);
    EXPECT_EQ(granted.cbAlign, 1);  // 0 became the stream's alignment
}

TEST(AsyncReader, BeginFlushReturnsQueuedRequestsUnread) {
    const long live = CUnknown::LiveObjectCount();
    {
        ComPtr<CMemoryReader> reader_filter(
            new CMemoryReader(Pattern(64 * 1024, 0), 64 * 1024, false));
        ComPtr<CPullSink> sink(new CPullSink);
        ASSERT_EQ(static_cast<IPin*>(reader_filter->GetPin(0))->Connect(sink->pin(), nullptr),
                  S_OK);
        IAsyncReader* reader = sink->pin()->reader();
        auto allocator = ReaderAllocator(reader, 4);

        reader_filter->stream().CloseGate();
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(reader->Request(RangeSample(allocator.Get(), i * kBlock, kBlock).Detach(), i),
                      S_OK);
        reader_filter->stream().WaitForReads(1);  // the first is being read, three wait

        std::thread flusher([&] { reader->BeginFlush(); });  // waits for the read under way
        IMediaSample* raw = nullptr;
        DWORD_PTR user = 0;
        std::map<DWORD_PTR, HRESULT> results;
        // The three unperformed requests come back at once, with their samples.
        for (int i = 0; i < 3; ++i) {
            const HRESULT hr = reader->WaitForNext(INFINITE, &raw, &user);
            ASSERT_NE(raw, nullptr);
            results[user] = hr;
            raw->Release();
        }
        reader_filter->stream().OpenGate();
        flusher.join();
        ASSERT_EQ(reader->WaitForNext(INFINITE, &raw, &user), S_OK);  // the performed one
        results[user] = S_OK;
        raw->Release();
        EXPECT_EQ(results, (std::map<DWORD_PTR, HRESULT>{{0, S_OK},
                                                         {1, VFW_E_WRONG_STATE},
                                                         {2, VFW_E_WRONG_STATE},
                                                         {3, VFW_E_WRONG_STATE}}));
        // Flushing with nothing left: no waiting.
        EXPECT_EQ(reader->WaitForNext(INFINITE, &raw, &user), VFW_E_WRONG_STATE);
        auto refused = RangeSample(allocator.Get(), 0, kBlock);
        EXPECT_EQ(reader->Request(refused.Get(), 9), VFW_E_WRONG_STATE);
        reader->EndFlush();
        EXPECT_EQ(reader->Request(refused.Detach(), 9), S_OK);
        ASSERT_EQ(reader->WaitForNext(INFINITE, &raw, &user), S_OK);
        EXPECT_EQ(user, 9u);
        raw->Release();

        sink->pin()->Disconnect();
        static_cast<IPin*>(reader_filter->GetPin(0))->Disconnect();
    }
    EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
    EXPECT_EQ(CUnknown::LiveObjectCount(), live);
}

TEST(AsyncReader, AShortReadIsAnErrorUnlessItEndsTheStream) {
    for (const bool shrinks : {false, true}) {
        SCOPED_TRACE(shrinks ? "stream shrinks to the data" : "stream keeps its length");
        // The data ends at 6000 but the stream first claims 10000 bytes.
        ComPtr<CMemoryReader> reader_filter(new CMemoryReader(Pattern(6000, 0), 10000, shrinks));
        ComPtr<CPullSink> sink(new CPullSink);
        ASSERT_EQ(static_cast<IPin*>(reader_filter->GetPin(0))->Connect(sink->pin(), nullptr),
                  S_OK);
        IAsyncReader* reader = sink->pin()->reader();
        auto allocator = ReaderAllocator(reader, 1);
        ASSERT_EQ(reader->Request(RangeSample(allocator.Get(), kBlock, kBlock).Detach(), 1), S_OK);
        IMediaSample* raw = nullptr;
        DWORD_PTR user = 0;
        const HRESULT hr = reader->WaitForNext(INFINITE, &raw, &user);
        ASSERT_NE(raw, nullptr);
        EXPECT_EQ(raw->GetActualDataLength(), 6000 - kBlock);
        raw->Release();
        EXPECT_EQ(hr, shrinks ? S_OK : E_FAIL);
        sink->pin()->Disconnect();
        static_cast<IPin*>(reader_filter->GetPin(0))->Disconnect();
    }
}

TEST(AsyncReader, RequestsNeverCollectedAreReleasedWithTheReader) {
    const long live = CUnknown::LiveObjectCount();
    {
        ComPtr<CMemoryReader> reader_filter(
            new CMemoryReader(Pattern(8 * kBlock, 0), 8 * kBlock, false));
        ComPtr<CPullSink> sink(new CPullSink);
        static_cast<IPin*>(reader_filter->GetPin(0))->Connect(sink->pin(), nullptr);
        IAsyncReader* reader = sink->pin()->reader();
        auto allocator = ReaderAllocator(reader, 4);
        for (int i = 0; i < 4; ++i)
            reader->Request(RangeSample(allocator.Get(), i * kBlock, kBlock).Detach(), i);
        sink->pin()->Disconnect();
        static_cast<IPin*>(reader_filter->GetPin(0))->Disconnect();
    }
    EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
    EXPECT_EQ(CUnknown::LiveObjectCount(), live);
}

}  // namespace

}  // namespace rizuvira::platform
