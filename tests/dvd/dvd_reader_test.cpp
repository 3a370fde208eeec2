// SPDX-License-Identifier: GPL-2.0-or-later
// The DVD reader filter on the sample discs: its stream's buffering and
// seeking, its control interface, and the pull-model pin.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dvd/dvd_reader.h"
#include "fixtures/sample_discs.h"
#include "platform/media_sample.h"
#include "platform/uuids.h"

namespace rizuvira::dvd {
namespace {

using fixtures::SampleDiscPath;

// What the access layer itself delivers for an area: the reference bytes.
std::vector<uint8_t> AreaBytes(int32_t handle, int title, int chapter) {
    MyDVDSetArea(handle, title, chapter < 0 ? 0 : chapter);
    if (chapter < 0)
        MyDvdSetStopPos(handle, title + 1, 0);
    else
        MyDvdSetStopPos(handle, title, chapter + 1);
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> block(kDvdReadBytes);
    for (int got; (got = MyDVDRead(handle, block.data(), kDvdReadBytes)) > 0;)
        bytes.insert(bytes.end(), block.begin(), block.begin() + got);
    return bytes;
}

class DvdReaderTest : public testing::Test {
protected:
    void SetUp() override {
        handle_ = MyDVDOpen(SampleDiscPath(fixtures::kNtscDisc.iso).c_str());
        ASSERT_NE(handle_, 0);
        info_ = std::make_unique<TitleTable>();
        MyDVDGetInfo(handle_, info_.get());
        // A second handle gives the reference bytes without moving the stream's.
        reference_handle_ = MyDVDOpen(SampleDiscPath(fixtures::kNtscDisc.iso).c_str());
    }
    void TearDown() override {
        if (handle_) MyDVDClose(handle_);
        MyDVDClose(reference_handle_);
    }

    LONGLONG TitleBytes(int title) const {
        LONGLONG sectors = 0;
        for (int k = 0; k < info_->titles[title].chapters; ++k)
            sectors += info_->titles[title].chapter_sectors[k];
        return sectors * kDvdSectorBytes;
    }

    int32_t handle_ = 0;
    int32_t reference_handle_ = 0;
    std::unique_ptr<TitleTable> info_;
};

TEST_F(DvdReaderTest, StreamReadsTheAreaAndEndsAtTheStop) {
    CDVDStream stream;
    ASSERT_EQ(stream.SetDvdHandle(handle_, false), S_OK);
    const int title = 0;
    ASSERT_EQ(stream.SetArea(title, -1), S_OK);
    EXPECT_EQ(stream.TotalSize(), TitleBytes(title)) << "the length is known before any read";
    EXPECT_EQ(stream.AreaDurationMs(), static_cast<int64_t>(info_->titles[title].duration_ms));

    // A chapter: the length still counts the whole title until the reading
    // stops at the next chapter.
    ASSERT_EQ(stream.SetArea(title, 1), S_OK);
    EXPECT_EQ(stream.TotalSize(), TitleBytes(title));
    EXPECT_EQ(stream.AreaDurationMs(),
              static_cast<int64_t>(MyDvdGetChapterDuration(handle_, title, 1)))
        << "the duration is the chapter's";
    const std::vector<uint8_t> expected = AreaBytes(reference_handle_, title, 1);
    std::vector<uint8_t> got(expected.size() + 5000);
    DWORD actual = 0;
    ASSERT_EQ(stream.MoveToByte(0), S_OK);
    EXPECT_EQ(stream.ReadBytes(got.data(), static_cast<DWORD>(got.size()), &actual), S_OK);
    ASSERT_EQ(actual, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()));
    EXPECT_EQ(stream.TotalSize(), static_cast<LONGLONG>(expected.size()))
        << "the length shrinks to the stop";
    EXPECT_EQ(stream.ReadBytes(got.data(), 100, &actual), E_FAIL);
    EXPECT_EQ(actual, 0u);
}

TEST_F(DvdReaderTest, SeekInsideTheBufferDoesNotNeedTheDisc) {
    CDVDStream stream;
    ASSERT_EQ(stream.SetDvdHandle(handle_, false), S_OK);
    const std::vector<uint8_t> expected = AreaBytes(reference_handle_, 0, -1);
    std::vector<uint8_t> got(6000);
    DWORD actual = 0;
    ASSERT_EQ(stream.ReadBytes(got.data(), 100, &actual), S_OK);

    // With the disc closed under it, only moves inside the buffered block work.
    MyDVDClose(handle_);
    handle_ = 0;
    ASSERT_EQ(stream.MoveToByte(4000), S_OK);
    ASSERT_EQ(stream.ReadBytes(got.data(), 6000, &actual), S_OK);
    ASSERT_EQ(actual, 6000u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + 4000));
    EXPECT_EQ(stream.MoveToByte(kDvdReadBytes + 1), E_FAIL)
        << "past the block the library is needed";
    EXPECT_EQ(stream.MoveToByte(2000), E_FAIL) << "and behind it too";
}

TEST_F(DvdReaderTest, SeekLandsExactlyAfterTheLibraryLandsEarly) {
    CDVDStream stream;
    ASSERT_EQ(stream.SetDvdHandle(handle_, false), S_OK);
    const std::vector<uint8_t> expected = AreaBytes(reference_handle_, 0, -1);
    // The library lands on the sector start, up to 2047 bytes early; the
    // stream reads the rest away.
    for (LONGLONG target :
         {LONGLONG{3 * 2048 + 1000}, LONGLONG{123457}, LONGLONG{2048 * 500 + 2047}}) {
        ASSERT_EQ(stream.MoveToByte(target), S_OK) << target;
        std::vector<uint8_t> got(3000);
        DWORD actual = 0;
        ASSERT_EQ(stream.ReadBytes(got.data(), 3000, &actual), S_OK);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + target)) << target;
    }
    // Back to a place before the buffer.
    ASSERT_EQ(stream.MoveToByte(10), S_OK);
    uint8_t byte = 0;
    DWORD actual = 0;
    ASSERT_EQ(stream.ReadBytes(&byte, 1, &actual), S_OK);
    EXPECT_EQ(byte, expected[10]);
}

TEST_F(DvdReaderTest, ControlInterfaceAndFileName) {
    HRESULT hr = S_OK;
    ComPtr<CDVDReader> reader(new CDVDReader(nullptr, &hr));
    ASSERT_EQ(hr, S_OK);
    ComPtr<IMyDVDReader> control = reader.As<IMyDVDReader>();
    ComPtr<IFileSourceFilter> file = reader.As<IFileSourceFilter>();
    ASSERT_TRUE(control && file);

    ASSERT_EQ(control->SetDvdHandle(handle_), S_OK);
    std::string name;
    ASSERT_EQ(file->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(name, "DVD");
    EXPECT_EQ(file->GetCurFile(nullptr, nullptr), E_POINTER);

    int64_t duration_ms = 0;
    ASSERT_EQ(control->GetDuration(&duration_ms), S_OK);
    EXPECT_EQ(duration_ms, 60060) << "1800 NTSC frames, truncated";
    ASSERT_EQ(control->SetArea(2, -1), S_OK);
    ASSERT_EQ(control->GetDuration(&duration_ms), S_OK);
    EXPECT_EQ(duration_ms, 4004);
    EXPECT_EQ(control->SetArea(-1, -1), E_INVALIDARG);
    EXPECT_EQ(control->SetArea(0, 99), E_INVALIDARG);

    CMediaType offered;
    ASSERT_EQ(reader->GetPin(0)->GetMediaType(0, &offered), S_OK);
    EXPECT_EQ(offered.majortype, MEDIATYPE_Stream);
    EXPECT_EQ(offered.subtype, MEDIASUBTYPE_NULL);
    EXPECT_EQ(reader->GetPin(0)->GetMediaType(1, &offered), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(reader->GetPin(0)->GetMediaType(-1, &offered), E_INVALIDARG);
}

TEST_F(DvdReaderTest, LoadOpensThePathItselfAndOwnsTheHandle) {
    HRESULT hr = S_OK;
    ComPtr<CDVDReader> reader(new CDVDReader(nullptr, &hr));
    ComPtr<IFileSourceFilter> file = reader.As<IFileSourceFilter>();
    EXPECT_EQ(file->Load("/nonexistent/disc.iso", nullptr), E_FAIL);
    const std::string path = SampleDiscPath(fixtures::kPalDisc.folder);
    ASSERT_EQ(file->Load(path, nullptr), S_OK);
    std::string name;
    file->GetCurFile(&name, nullptr);
    EXPECT_EQ(name, path);
    int64_t duration_ms = 0;
    reader.As<IMyDVDReader>()->GetDuration(&duration_ms);
    EXPECT_EQ(duration_ms, 10000);
    // Loading again replaces (and closes) the handle the reader opened.
    ASSERT_EQ(file->Load(SampleDiscPath(fixtures::kNtscDisc.folder), nullptr), S_OK);
    reader.As<IMyDVDReader>()->GetDuration(&duration_ms);
    EXPECT_EQ(duration_ms, 60060);
}

// The pin's pull interface, as the demultiplexer uses it.
TEST_F(DvdReaderTest, PinServesRequestsInSamples) {
    HRESULT hr = S_OK;
    ComPtr<CDVDReader> reader(new CDVDReader(nullptr, &hr));
    ASSERT_EQ(reader->SetDvdHandle(handle_), S_OK);
    ASSERT_EQ(reader->SetArea(4, -1), S_OK);
    const std::vector<uint8_t> expected = AreaBytes(reference_handle_, 4, -1);
    const LONGLONG total = static_cast<LONGLONG>(expected.size());

    ComPtr<IAsyncReader> pull;
    ASSERT_EQ(QueryInterfaceAs(static_cast<IPin*>(reader->GetPin(0)), &pull), S_OK);
    LONGLONG length = 0, available = 0;
    ASSERT_EQ(pull->Length(&length, &available), S_OK);
    EXPECT_EQ(length, total);

    ALLOCATOR_PROPERTIES props{4, 65536, 0, 0};
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(pull->RequestAllocator(nullptr, &props, allocator.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);

    // Requests in order, the last one running past the end.
    std::vector<uint8_t> got;
    const LONGLONG step = 65536;
    for (LONGLONG at = 0; at < total; at += step) {
        IMediaSample* sample = nullptr;
        ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        REFERENCE_TIME start = at * UNITS, stop = (at + step) * UNITS;
        sample->SetTime(&start, &stop);
        ASSERT_EQ(pull->Request(sample, static_cast<DWORD_PTR>(at)), S_OK);
        IMediaSample* done = nullptr;
        DWORD_PTR cookie = 0;
        ASSERT_EQ(pull->WaitForNext(INFINITE, &done, &cookie), S_OK);
        ASSERT_EQ(done, sample);
        EXPECT_EQ(cookie, static_cast<DWORD_PTR>(at));
        BYTE* data = nullptr;
        done->GetPointer(&data);
        got.insert(got.end(), data, data + done->GetActualDataLength());
        done->Release();
    }
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);

    // A synchronous read in the middle.
    std::vector<uint8_t> middle(5000);
    ASSERT_EQ(pull->SyncRead(777777 % total, 5000, middle.data()), S_OK);
    EXPECT_TRUE(std::equal(middle.begin(), middle.end(), expected.begin() + 777777 % total));
    allocator->Decommit();
}

}  // namespace
}  // namespace rizuvira::dvd
