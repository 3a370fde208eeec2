// SPDX-License-Identifier: GPL-2.0-or-later
// Discs that are not whole: the layer answers with an error or a shorter
// stream, never a crash or a hang.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "dvd/dvd_access.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::dvd {
namespace {

namespace fs = std::filesystem;

// A scratch copy of a sample disc folder that a test may damage.
class ScratchDisc {
public:
    explicit ScratchDisc(const fixtures::SampleDisc& disc) {
        char pattern[] = "/tmp/rizuvira-damaged-XXXXXX";
        root_ = mkdtemp(pattern);
        fs::copy(fixtures::SampleDiscPath(disc.folder), root_, fs::copy_options::recursive);
    }
    ~ScratchDisc() { fs::remove_all(root_); }
    const fs::path& root() const { return root_; }
    fs::path File(const char* name) const { return root_ / "VIDEO_TS" / name; }

private:
    fs::path root_;
};

void Overwrite(const fs::path& path, size_t offset, size_t count, uint8_t value) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    const std::vector<char> bytes(count, static_cast<char>(value));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int64_t BytesReadFromTitle(int32_t handle, int title) {
    MyDVDSetArea(handle, title, 0);
    MyDvdSetStopPos(handle, title + 1, 0);
    std::vector<uint8_t> block(kDvdReadBytes);
    int64_t total = 0;
    for (int got; (got = MyDVDRead(handle, block.data(), kDvdReadBytes)) > 0;) total += got;
    return total;
}

TEST(DamagedDisc, PathsThatAreNoDiscGiveNoHandle) {
    EXPECT_EQ(MyDVDOpen(nullptr), 0);
    EXPECT_EQ(MyDVDOpen(""), 0);
    EXPECT_EQ(MyDVDOpen("/nonexistent/disc.iso"), 0);
    char pattern[] = "/tmp/rizuvira-empty-XXXXXX";
    const fs::path empty = mkdtemp(pattern);
    EXPECT_EQ(MyDVDOpen(empty.c_str()), 0) << "a folder without VIDEO_TS";
    { std::ofstream(empty / "noise.iso") << std::string(100000, 'x'); }
    EXPECT_EQ(MyDVDOpen((empty / "noise.iso").c_str()), 0) << "a file that is no image";
    ASSERT_EQ(mkfifo((empty / "pipe.iso").c_str(), 0600), 0);
    EXPECT_EQ(MyDVDOpen((empty / "pipe.iso").c_str()), 0)
        << "a named pipe is refused before it is read";
    EXPECT_EQ(DiscOpenProblem((empty / "pipe.iso").string()),
              " is a named pipe, not a disc, a disc folder or an ISO image");
    fs::remove_all(empty);
}

TEST(DamagedDisc, TruncatedImage) {
    const fs::path iso = fixtures::SampleDiscPath(fixtures::kNtscDisc.iso);
    char pattern[] = "/tmp/rizuvira-truncated-XXXXXX";
    const fs::path folder = mkdtemp(pattern);
    const uint64_t full = fs::file_size(iso);
    // Cut inside the file system, inside the IFO area and inside the VOBs.
    for (uint64_t keep : {uint64_t{40000}, uint64_t{600000}, full / 2}) {
        SCOPED_TRACE("kept " + std::to_string(keep) + " bytes");
        const fs::path cut = folder / "cut.iso";
        fs::copy_file(iso, cut, fs::copy_options::overwrite_existing);
        fs::resize_file(cut, keep);
        const int32_t handle = MyDVDOpen(cut.c_str());
        if (handle == 0) continue;
        auto info = std::make_unique<TitleTable>();
        MyDVDGetInfo(handle, info.get());
        for (int t = 0; t < info->title_count; ++t) {
            uint64_t sectors = 0;
            for (int k = 0; k < info->titles[t].chapters; ++k)
                sectors += info->titles[t].chapter_sectors[k];
            EXPECT_LE(BytesReadFromTitle(handle, t),
                      static_cast<int64_t>(sectors * kDvdSectorBytes));
        }
        MyDVDClose(handle);
    }
    fs::remove_all(folder);
}

TEST(DamagedDisc, ZeroedTitleSetIfoAndBackupLeaveTheTitlesEmpty) {
    ScratchDisc disc(fixtures::kPalDisc);
    const uint64_t size = fs::file_size(disc.File("VTS_01_0.IFO"));
    Overwrite(disc.File("VTS_01_0.IFO"), 0, size, 0);
    Overwrite(disc.File("VTS_01_0.BUP"), 0, size, 0);
    const int32_t handle = MyDVDOpen(disc.root().c_str());
    ASSERT_NE(handle, 0) << "the disc's own table still names the title";
    auto info = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle, info.get());
    ASSERT_EQ(info->title_count, 1);
    EXPECT_EQ(info->titles[0].chapters, 0);
    EXPECT_EQ(info->titles[0].duration_ms, 0.0);
    EXPECT_EQ(MyDVDSetArea(handle, 0, 0), -1);
    EXPECT_EQ(BytesReadFromTitle(handle, 0), 0);
    MyDVDClose(handle);
}

uint32_t Be32At(const fs::path& path, size_t offset) {
    std::ifstream file(path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    unsigned char b[4] = {};
    file.read(reinterpret_cast<char*>(b), 4);
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}

TEST(DamagedDisc, ChainWithoutAPlayingTimeTakesItsCellsTimes) {
    ScratchDisc disc(fixtures::kPalDisc);
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) {
        // The first program chain of the title set's table: its time is zeroed.
        const size_t table = size_t{Be32At(disc.File(name), 0xCC)} * 2048;
        const size_t chain = table + Be32At(disc.File(name), table + 8 + 4);
        Overwrite(disc.File(name), chain + 4, 4, 0);
    }
    const int32_t handle = MyDVDOpen(disc.root().c_str());
    ASSERT_NE(handle, 0);
    auto info = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle, info.get());
    EXPECT_NEAR(info->titles[0].duration_ms, 10000.0, 0.001) << "4.8 s and 5.2 s of cells";
    MyDVDClose(handle);
}

TEST(DamagedDisc, DamagedIfoIsReadFromItsBackup) {
    ScratchDisc disc(fixtures::kPalDisc);
    Overwrite(disc.File("VTS_01_0.IFO"), 0, 16, 0);
    Overwrite(disc.File("VIDEO_TS.IFO"), 0, 16, 0);
    const int32_t handle = MyDVDOpen(disc.root().c_str());
    ASSERT_NE(handle, 0);
    auto info = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle, info.get());
    EXPECT_EQ(info->titles[0].chapters, 2);
    EXPECT_EQ(info->titles[0].audio_count, 2);
    MyDVDClose(handle);
}

TEST(DamagedDisc, NoReadableVobGivesAnErrorAtTheFirstRead) {
    ScratchDisc disc(fixtures::kPalDisc);
    fs::remove(disc.File("VTS_01_1.VOB"));
    const int32_t handle = MyDVDOpen(disc.root().c_str());
    ASSERT_NE(handle, 0);
    auto info = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle, info.get());
    EXPECT_EQ(info->title_count, 1);
    EXPECT_EQ(BytesReadFromTitle(handle, 0), 0);
    std::vector<uint8_t> block(kDvdReadBytes);
    MyDVDSetArea(handle, 0, 0);
    EXPECT_LE(MyDVDRead(handle, block.data(), kDvdReadBytes), 0);
    MyDVDClose(handle);
}

TEST(DamagedDisc, ZeroedSectorsInTheVobStillRead) {
    ScratchDisc disc(fixtures::kPalDisc);
    Overwrite(disc.File("VTS_01_1.VOB"), 20 * kDvdSectorBytes, 30 * kDvdSectorBytes, 0);
    const int32_t handle = MyDVDOpen(disc.root().c_str());
    ASSERT_NE(handle, 0);
    auto info = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle, info.get());
    const int64_t expected =
        (int64_t{info->titles[0].chapter_sectors[0]} + info->titles[0].chapter_sectors[1]) *
        kDvdSectorBytes;
    EXPECT_EQ(BytesReadFromTitle(handle, 0), expected);
    MyDVDClose(handle);
}

TEST(DamagedDisc, IfoThatParsesToAnEmptyTitleIsReadFromItsBackup) {
    ScratchDisc disc(fixtures::kPalDisc);
    // The header stays, the tables behind it are zeroed.
    Overwrite(disc.File("VTS_01_0.IFO"), kDvdSectorBytes, 5 * kDvdSectorBytes, 0);
    const int32_t handle = MyDVDOpen(disc.root().c_str());
    ASSERT_NE(handle, 0);
    auto info = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle, info.get());
    EXPECT_EQ(info->titles[0].chapters, 2);
    EXPECT_NEAR(info->titles[0].duration_ms, 10000.0, 0.001);
    MyDVDClose(handle);
}

TEST(DamagedDisc, VobCutShortEndsTheTitleWithAReadError) {
    ScratchDisc disc(fixtures::kPalDisc);
    const uint64_t size = fs::file_size(disc.File("VTS_01_1.VOB"));
    fs::resize_file(disc.File("VTS_01_1.VOB"), size / 2 / kDvdSectorBytes * kDvdSectorBytes);
    const int32_t handle = MyDVDOpen(disc.root().c_str());
    ASSERT_NE(handle, 0);
    auto info = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle, info.get());
    const uint64_t sectors =
        uint64_t{info->titles[0].chapter_sectors[0]} + info->titles[0].chapter_sectors[1];
    EXPECT_EQ(sectors * kDvdSectorBytes, size) << "the title keeps its size";
    MyDVDSetArea(handle, 0, 0);
    MyDvdSetStopPos(handle, 1, 0);
    std::vector<uint8_t> block(kDvdReadBytes);
    int64_t total = 0;
    int got = 0;
    while ((got = MyDVDRead(handle, block.data(), kDvdReadBytes)) > 0) total += got;
    EXPECT_EQ(total, static_cast<int64_t>(size / 2 / kDvdSectorBytes * kDvdSectorBytes));
    EXPECT_LT(got, 0) << "an error where the file ends, not the end of the title";
    MyDVDClose(handle);
}

}  // namespace
}  // namespace rizuvira::dvd
