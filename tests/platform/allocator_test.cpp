// SPDX-License-Identifier: GPL-2.0-or-later
// Samples and the memory allocator: properties, blocking GetBuffer, return on last release.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/media_sample.h"

namespace rizuvira::platform {

namespace {

ComPtr<IMemAllocator> MakeAllocator(LONG buffers, LONG size, LONG align = 1, LONG prefix = 0) {
    ComPtr<IMemAllocator> allocator(static_cast<IMemAllocator*>(new CMemAllocator));
    ALLOCATOR_PROPERTIES request{buffers, size, align, prefix};
    ALLOCATOR_PROPERTIES actual{};
    EXPECT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    return allocator;
}

ComPtr<IMediaSample> Get(IMemAllocator* allocator, DWORD flags = 0) {
    IMediaSample* raw = nullptr;
    allocator->GetBuffer(&raw, nullptr, nullptr, flags);
    return ComPtr<IMediaSample>::Adopt(raw);
}

TEST(MemAllocator, PropertiesAreRoundedToTheAlignment) {
    ComPtr<IMemAllocator> allocator(static_cast<IMemAllocator*>(new CMemAllocator));
    ALLOCATOR_PROPERTIES request{3, 1000, 64, 8};
    ALLOCATOR_PROPERTIES actual{};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 3);
    EXPECT_EQ((actual.cbBuffer + actual.cbPrefix) % 64, 0);
    EXPECT_GE(actual.cbBuffer, 1000);

    request.cbAlign = 0;
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_BADALIGN);
    request.cbAlign = 48;  // not a power of two
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_BADALIGN);

    ASSERT_EQ(allocator->Commit(), S_OK);
    auto sample = Get(allocator.Get());
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 64, 0u);
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);
    allocator->Decommit();
    request.cbAlign = 1;
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_BUFFERS_OUTSTANDING);
}

TEST(MemAllocator, CommitNeedsPropertiesAndGetBufferNeedsCommit) {
    ComPtr<IMemAllocator> allocator(static_cast<IMemAllocator*>(new CMemAllocator));
    EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
    IMediaSample* raw = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&raw, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(raw, nullptr);
}

TEST(MemAllocator, GetBufferBlocksUntilASampleIsReleased) {
    auto allocator = MakeAllocator(2, 64);
    ASSERT_EQ(allocator->Commit(), S_OK);
    auto first = Get(allocator.Get());
    auto second = Get(allocator.Get());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Get(allocator.Get(), AM_GBF_NOWAIT), nullptr);

    std::atomic<bool> got{false};
    IMediaSample* third = nullptr;
    std::thread waiter([&] {
        EXPECT_EQ(allocator->GetBuffer(&third, nullptr, nullptr, 0), S_OK);
        got = true;
    });
    // The waiter cannot get anything before a sample comes back.
    EXPECT_FALSE(got.load());
    IMediaSample* expected = first.Get();
    first.Reset();
    waiter.join();
    EXPECT_TRUE(got.load());
    EXPECT_EQ(third, expected);  // the very buffer that came back
    third->Release();
}

TEST(MemAllocator, DecommitReleasesABlockedGetBuffer) {
    auto allocator = MakeAllocator(1, 64);
    ASSERT_EQ(allocator->Commit(), S_OK);
    auto held = Get(allocator.Get());
    HRESULT result = S_OK;
    std::thread waiter([&] {
        IMediaSample* sample = nullptr;
        result = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
    });
    allocator->Decommit();
    waiter.join();
    EXPECT_EQ(result, VFW_E_NOT_COMMITTED);
    // The buffer that is out stays usable until it is released.
    BYTE* data = nullptr;
    held->GetPointer(&data);
    data[63] = 1;
}

TEST(MemAllocator, SampleOutlivesTheLastOutsideReferenceToItsAllocator) {
    const long live = CUnknown::LiveObjectCount();
    ComPtr<IMediaSample> sample;
    {
        auto allocator = MakeAllocator(1, 16);
        allocator->Commit();
        sample = Get(allocator.Get());
        allocator->Decommit();
    }
    EXPECT_EQ(CUnknown::LiveObjectCount(), live + 1);  // kept by the sample
    EXPECT_EQ(CMediaSample::OutstandingCount(), 1);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    data[15] = 0xAA;
    sample.Reset();
    EXPECT_EQ(CUnknown::LiveObjectCount(), live);
    EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
}

TEST(MediaSample, PropertiesAndTheirResetOnReturn) {
    auto allocator = MakeAllocator(1, 32);
    allocator->Commit();
    auto sample = Get(allocator.Get());
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    const REFERENCE_TIME t0 = 1000;
    EXPECT_EQ(sample->SetTime(&t0, nullptr), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(stop, 1001);
    const REFERENCE_TIME t1 = 5000;
    sample->SetTime(&t0, &t1);
    EXPECT_EQ(sample->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, 5000);

    EXPECT_EQ(sample->GetActualDataLength(), 32);  // a fresh buffer counts whole
    EXPECT_EQ(sample->SetActualDataLength(33), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
    sample->SetActualDataLength(10);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(TRUE);
    sample->SetPreroll(TRUE);
    const LONGLONG m0 = 7;
    const LONGLONG m1 = 8;
    sample->SetMediaTime(&m0, &m1);
    CMediaType type(MEDIATYPE_Video);
    sample->SetMediaType(&type);
    CMediaType back;
    EXPECT_EQ(sample->GetMediaType(&back), S_OK);
    EXPECT_TRUE(back == type);

    IMediaSample* raw = sample.Detach();
    raw->Release();  // back to the allocator
    auto again = Get(allocator.Get());
    ASSERT_EQ(again.Get(), raw);
    EXPECT_EQ(again->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(again->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(again->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(again->IsPreroll(), S_FALSE);
    LONGLONG m = 0;
    EXPECT_EQ(again->GetMediaTime(&m, &m), VFW_E_MEDIA_TIME_NOT_SET);
    EXPECT_EQ(again->GetMediaType(&back), S_FALSE);
    EXPECT_EQ(again->GetActualDataLength(), 32);
}

TEST(MemAllocator, ManyThreadsShareFewBuffers) {
    auto allocator = MakeAllocator(3, 8);
    allocator->Commit();
    std::atomic<int> taken{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                auto sample = Get(allocator.Get());
                ASSERT_TRUE(sample);
                BYTE* data = nullptr;
                sample->GetPointer(&data);
                data[0] = static_cast<BYTE>(i);
                ++taken;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(taken.load(), 1200);
    EXPECT_EQ(static_cast<CMemAllocator*>(allocator.Get())->FreeCount(), 3);
    EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
}

}  // namespace

}  // namespace rizuvira::platform
