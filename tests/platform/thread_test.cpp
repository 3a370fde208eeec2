// SPDX-License-Identifier: GPL-2.0-or-later
// The worker thread with commands, and the output queue.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "pipeline_harness.h"
#include "platform/am_thread.h"
#include "platform/media_sample.h"
#include "platform/output_queue.h"

namespace rizuvira::platform {

namespace {

using harness::CCollectingSink;
using harness::SinkEvent;

enum Command : DWORD { kExit = 1, kWork = 2, kAdd = 3 };

class CWorker final : public CAMThread {
public:
    ~CWorker() override { Close(); }
    std::atomic<int> work_rounds{0};
    std::atomic<int> noticed{0};
    int total = 0;  // touched only by the worker, read after CallWorker returns

protected:
    DWORD ThreadProc() override {
        for (;;) {
            const DWORD command = GetRequest();
            if (command == kExit) {
                Reply(0);
                return 0;
            }
            if (command == kAdd) {
                total += 5;
                Reply(static_cast<DWORD>(total));
                continue;
            }
            Reply(S_OK);
            // A work loop that keeps going until a command is pending; the command stays
            // pending for GetRequest above.
            DWORD pending = 0;
            while (!CheckRequest(&pending)) ++work_rounds;
            ++noticed;
        }
    }
};

TEST(AMThread, CommandsAreAnsweredInOrder) {
    CWorker worker;
    EXPECT_FALSE(worker.ThreadExists());
    ASSERT_TRUE(worker.Create());
    EXPECT_FALSE(worker.Create());  // one thread only
    EXPECT_EQ(worker.CallWorker(kAdd), 5u);
    EXPECT_EQ(worker.CallWorker(kAdd), 10u);
    EXPECT_EQ(worker.CallWorker(kWork), static_cast<DWORD>(S_OK));
    // This command interrupts the work loop and is then read by GetRequest.
    EXPECT_EQ(worker.CallWorker(kAdd), 15u);
    EXPECT_EQ(worker.noticed.load(), 1);
    EXPECT_EQ(worker.CallWorker(kExit), 0u);
    worker.Close();
    EXPECT_FALSE(worker.ThreadExists());
}

TEST(AMThread, ANewThreadCanFollowOneThatEnded) {
    CWorker worker;
    ASSERT_TRUE(worker.Create());
    worker.CallWorker(kExit);
    worker.Close();                // as a filter does when it stops
    ASSERT_TRUE(worker.Create());  // and on the next pause from stopped
    EXPECT_TRUE(worker.ThreadExists());
    EXPECT_EQ(worker.CallWorker(kAdd), 5u);
    worker.CallWorker(kExit);
}

TEST(AMThread, CallsFromSeveralThreadsAreServedOneAtATime) {
    CWorker worker;
    ASSERT_TRUE(worker.Create());
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&] {
            for (int n = 0; n < 25; ++n) worker.CallWorker(kAdd);
        });
    for (auto& c : callers) c.join();
    EXPECT_EQ(worker.CallWorker(kAdd), 5u * 101u);
    worker.CallWorker(kExit);
}

class CQuitter final : public CAMThread {
public:
    ~CQuitter() override { Close(); }

protected:
    DWORD ThreadProc() override { return 0; }  // ends without answering anything
};

TEST(AMThread, CallingAThreadThatEndedFailsInsteadOfHanging) {
    CQuitter quitter;
    ASSERT_TRUE(quitter.Create());
    EXPECT_EQ(quitter.CallWorker(kWork), static_cast<DWORD>(E_FAIL));
    quitter.Close();
    EXPECT_EQ(quitter.CallWorker(kWork), static_cast<DWORD>(E_FAIL));
}

// A connected source -> sink pair whose sink pin is the queue's target.
class OutputQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        source_ = new harness::CTestSource(harness::MakeVideoType(16, 16), 8, 256);
        sink_ = new CCollectingSink;
        ASSERT_EQ(source_->pin()->Connect(sink_->pin(), nullptr), S_OK);
        ASSERT_EQ(sink_->Pause(), S_OK);
        ASSERT_EQ(source_->Pause(), S_OK);  // commits the allocator
        allocator_ = source_->pin()->Allocator();
    }
    void TearDown() override {
        sink_->Stop();
        source_->Stop();
        sink_->pin()->Disconnect();
        source_->pin()->Disconnect();
        allocator_.Reset();
        source_.Reset();
        sink_.Reset();
        EXPECT_EQ(CMediaSample::OutstandingCount(), 0);
    }
    IMediaSample* Sample(BYTE marker) {
        IMediaSample* sample = nullptr;
        EXPECT_EQ(allocator_->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        data[0] = marker;
        sample->SetActualDataLength(1);
        return sample;
    }

    ComPtr<harness::CTestSource> source_;
    ComPtr<CCollectingSink> sink_;
    ComPtr<IMemAllocator> allocator_;
};

TEST_F(OutputQueueTest, DeliversSamplesAndControlInOrder) {
    HRESULT hr = S_OK;
    {
        COutputQueue queue(sink_->pin(), &hr, false, true, 3, false, 5);
        ASSERT_EQ(hr, S_OK);
        EXPECT_TRUE(queue.IsQueued());
        queue.NewSegment(0, 100, 1.0);
        for (BYTE i = 0; i < 4; ++i) EXPECT_EQ(queue.Receive(Sample(i)), S_OK);
        queue.NewSegment(100, 200, 1.0);
        queue.Receive(Sample(4));
        queue.EOS();
        sink_->WaitForEndOfStream();
    }
    const auto events = sink_->events();
    const auto samples = sink_->samples();
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[0].kind, SinkEvent::kNewSegment);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(events[1 + i].kind, SinkEvent::kSample);
        EXPECT_EQ(samples[events[1 + i].sample_index].data[0], i);
    }
    EXPECT_EQ(events[5].kind, SinkEvent::kNewSegment);
    EXPECT_EQ(events[5].start, 100);
    EXPECT_EQ(samples[events[6].sample_index].data[0], 4);
    EXPECT_EQ(events[7].kind, SinkEvent::kEndOfStream);
}

TEST_F(OutputQueueTest, ExactBatchesWaitUntilFullOrPushed) {
    HRESULT hr = S_OK;
    COutputQueue queue(sink_->pin(), &hr, false, true, 3, true, 0);
    queue.Receive(Sample(1));
    queue.Receive(Sample(2));
    EXPECT_FALSE(queue.IsIdle());  // a batch of 3 is not full yet
    EXPECT_TRUE(sink_->samples().empty());
    queue.Receive(Sample(3));
    sink_->WaitForSamples(3);
    queue.Receive(Sample(4));
    queue.SendAnyway();
    sink_->WaitForSamples(4);
    EXPECT_EQ(sink_->samples()[3].data[0], 4);
}

TEST_F(OutputQueueTest, FlushDropsWhatIsQueuedAndPassesTheFlushOn) {
    sink_->CloseGate();  // the first sample sticks downstream, the rest wait in the queue
    HRESULT hr = S_OK;
    COutputQueue queue(sink_->pin(), &hr, false, true, 1, false, 0);
    for (BYTE i = 0; i < 5; ++i) queue.Receive(Sample(i));
    queue.BeginFlush();                            // also lets the stuck sample go, unrecorded
    EXPECT_EQ(queue.Receive(Sample(9)), S_FALSE);  // dropped while flushing
    queue.EndFlush();
    EXPECT_TRUE(queue.IsIdle());
    sink_->OpenGate();
    queue.Receive(Sample(7));
    sink_->WaitForSamples(1);
    const auto events = sink_->events();
    ASSERT_EQ(events.size(), 3u);
    // Only what came after the flush arrives; samples given before it never do.
    EXPECT_EQ(events[0].kind, SinkEvent::kBeginFlush);
    EXPECT_EQ(events[1].kind, SinkEvent::kEndFlush);
    EXPECT_EQ(events[2].kind, SinkEvent::kSample);
    EXPECT_EQ(sink_->samples()[0].data[0], 7);
}

TEST_F(OutputQueueTest, AFullListHoldsTheProducerBackUntilAFlush) {
    sink_->CloseGate();
    HRESULT hr = S_OK;
    COutputQueue queue(sink_->pin(), &hr, false, true, 1, false, 2);
    queue.Receive(Sample(1));
    sink_->WaitUntilBlockedInReceive();  // the queue's thread is stuck downstream
    std::latch list_full(1);
    HRESULT last = S_OK;
    std::thread producer([&] {
        queue.Receive(Sample(2));
        queue.Receive(Sample(3));  // the list (2) is full now
        list_full.count_down();
        last = queue.Receive(Sample(4));  // waits for room
    });
    list_full.wait();
    // The fourth sample can only be refused by the flush, never accepted: the list is full and
    // the downstream pin does not move.
    queue.BeginFlush();
    producer.join();
    EXPECT_EQ(last, S_FALSE);
    queue.EndFlush();
    sink_->OpenGate();
    queue.Receive(Sample(5));
    sink_->WaitForSamples(1);
    EXPECT_EQ(sink_->samples()[0].data[0], 5);
}

TEST_F(OutputQueueTest, ADeliveryFailureIsRecordedUntilEndFlush) {
    HRESULT hr = S_OK;
    COutputQueue queue(sink_->pin(), &hr, false, false);  // direct, on this thread
    EXPECT_FALSE(queue.IsQueued());
    IMediaSample* first = Sample(1);
    IMediaSample* second = Sample(2);
    sink_->Stop();  // the sink now refuses samples
    EXPECT_EQ(queue.Receive(first), VFW_E_WRONG_STATE);
    sink_->Pause();
    allocator_->Commit();  // the sink's stop decommitted the allocator it handed out
    EXPECT_EQ(queue.Receive(second), VFW_E_WRONG_STATE);  // still the recorded failure
    queue.BeginFlush();
    queue.EndFlush();
    EXPECT_EQ(queue.Receive(Sample(3)), S_OK);
    EXPECT_EQ(sink_->samples().size(), 1u);
}

TEST(OutputQueue, APinWithoutMemInputIsRefused) {
    ComPtr<harness::CTestSource> source(new harness::CTestSource(harness::MakeVideoType(8, 8)));
    HRESULT hr = S_OK;
    COutputQueue queue(source->pin(), &hr);  // an output pin has no IMemInputPin
    EXPECT_EQ(hr, E_NOINTERFACE);
}

}  // namespace

}  // namespace rizuvira::platform
