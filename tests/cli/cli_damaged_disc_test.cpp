// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli convert on damaged copies of the sample discs: what cannot be
// read is reported, item by item, and what can be read is kept.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using cli::test::CliRun;
using cli::test::RunCli;

constexpr int kSector = 2048;

class CliDamagedDiscTest : public cli::test::CliFolderTest {
protected:
    // A copy of a sample disc folder, to damage.
    fs::path CopyDisc(const fx::SampleDisc& disc) {
        const fs::path copy = folder_ / disc.folder;
        fs::copy(fx::SampleDiscPath(disc.folder), copy, fs::copy_options::recursive);
        return copy;
    }
    CliRun Convert(const fs::path& disc, const std::string& options) {
        return RunCli(
            "convert '" + disc.string() + "' -y -o '" + (folder_ / "out").string() + "' " + options,
            env_);
    }
    fs::path Out(const char* name) const { return folder_ / "out" / name; }
};

void Zero(const fs::path& file, int64_t first_sector, int64_t sectors) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekp(first_sector * kSector);
    const std::vector<char> zeros(static_cast<size_t>(sectors * kSector), 0);
    stream.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
}

TEST_F(CliDamagedDiscTest, VobCutShortFailsTheItemAndKeepsWhatWasRead) {
    const fs::path disc = CopyDisc(fx::kPalDisc);
    const fs::path vob = disc / "VIDEO_TS/VTS_01_1.VOB";
    fs::resize_file(vob, fs::file_size(vob) * 3 / 10 / kSector * kSector);
    const CliRun run = Convert(disc, "-q");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(
                  "The disc could not be read to the end of Title_01; the file stops at 00:00:0"),
              std::string::npos)
        << run.err;
    const e2e::DecodedOutput decoded = e2e::DecodeOutput(Out("Title_01.mp4").string(), 720, 576);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_GT(decoded.pictures.size(), 25u);
    EXPECT_LT(decoded.pictures.back().time_s, 5.0);
}

TEST_F(CliDamagedDiscTest, ZeroedSectorsLoseOnlyTheirOwnPicturesWithAWarning) {
    const fs::path disc = CopyDisc(fx::kPalDisc);
    const fs::path vob = disc / "VIDEO_TS/VTS_01_1.VOB";
    const int64_t sectors = static_cast<int64_t>(fs::file_size(vob)) / kSector;
    Zero(vob, sectors * 4 / 10, sectors / 10);
    const CliRun run = Convert(disc, "--json");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const std::string warning = "Title_01: sectors that could not be read are left out at 00:00:0";
    EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("{\"event\": \"warning\", \"text\": \"" + warning), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"ok\": true"), std::string::npos) << run.out;

    const e2e::DecodedOutput decoded = e2e::DecodeOutput(Out("Title_01.mp4").string(), 720, 576);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    // Where each picture first shows (the output repeats pictures to keep
    // its frame rate).
    std::map<int, double> shown_s;
    for (const e2e::DecodedPicture& picture : decoded.pictures)
        if (picture.band >= 0) shown_s.emplace(picture.band, picture.time_s);
    ASSERT_GT(shown_s.size(), 200u);
    // The damaged pictures are one stretch; every picture after it is there,
    // at its own time.
    int gap_before = -1, gap_after = -1, previous = -1;
    for (const auto& [band, time_s] : shown_s) {
        if (previous >= 0 && band - previous > gap_after - gap_before)
            gap_before = previous, gap_after = band;
        previous = band;
    }
    ASSERT_GT(gap_after - gap_before, 10) << "the damaged pictures are gone";
    for (int band = gap_after; band < 250; ++band) {
        ASSERT_TRUE(shown_s.count(band)) << "picture " << band;
        EXPECT_NEAR(shown_s[band], band / 25.0, 0.05) << "picture " << band;
    }
    // Before it too; the reference picture last decoded before the damage
    // may come out only when decoding resumes.
    for (const auto& [band, time_s] : shown_s)
        if (band < gap_before) {
            EXPECT_NEAR(time_s, band / 25.0, 0.05) << "picture " << band;
        }
}

TEST_F(CliDamagedDiscTest, TitleWhoseInformationIsUnreadableIsListedAndFails) {
    const fs::path disc = CopyDisc(fx::kPalDisc);
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) Zero(disc / "VIDEO_TS" / name, 1, 5);
    const CliRun info = RunCli("info '" + disc.string() + "'", env_);
    EXPECT_EQ(info.out,
              "Title_01  unreadable: its title set's information is damaged or missing\n");
    const CliRun run = Convert(disc, "-t all -q");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(
        run.err,
        "Title_01 cannot be read on this disc (its title set's information is damaged or missing); "
        "it is skipped\n");
}

TEST_F(CliDamagedDiscTest, UnreadableVideoFilesAreNamedWithTheReason) {
    struct Case {
        const char* damage;
        void (*apply)(const fs::path& vob);
        const char* reason;
    };
    const Case cases[] = {
        {"missing", [](const fs::path& vob) { fs::remove(vob); }, "VTS_01_1.VOB is missing"},
        {"empty", [](const fs::path& vob) { fs::resize_file(vob, 0); }, "VTS_01_1.VOB is empty"},
        {"zeroed",
         [](const fs::path& vob) {
             Zero(vob, 0, static_cast<int64_t>(fs::file_size(vob)) / kSector);
         },
         "its first sector holds no MPEG data (zeroed or damaged sectors)"},
        {"unreadable", [](const fs::path& vob) { fs::permissions(vob, fs::perms::none); },
         "VTS_01_1.VOB cannot be opened: Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.damage);
        if (std::string(c.damage) == "unreadable" && geteuid() == 0)
            continue;  // root reads it all the same
        const fs::path disc = CopyDisc(fx::kPalDisc);
        c.apply(disc / "VIDEO_TS/VTS_01_1.VOB");
        const CliRun run = Convert(disc, "-q");
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.err, std::string("Title_01 cannot be read: ") + c.reason + "\n");
        fs::remove_all(disc);
    }
}

TEST_F(CliDamagedDiscTest, NamedPipesAreNamedInsteadOfWaitedFor) {
    // A named pipe where a video file or the settings file should be: reading one would wait
    // for a writer for ever.
    const fs::path disc = CopyDisc(fx::kPalDisc);
    fs::remove(disc / "VIDEO_TS/VTS_01_1.VOB");
    ASSERT_EQ(mkfifo((disc / "VIDEO_TS/VTS_01_1.VOB").c_str(), 0600), 0);
    const CliRun run = Convert(disc, "-q");
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_NE(run.err.find("VTS_01_1.VOB is a named pipe, not a file"), std::string::npos)
        << run.err;

    const fs::path settings = folder_ / "home/.config/Rizuvira DVD Converter/settings.ini";
    fs::create_directories(settings.parent_path());
    ASSERT_EQ(mkfifo(settings.c_str(), 0600), 0);
    const CliRun converted = Convert(fx::SampleDiscPath(fx::kPalDisc.iso), "-q");
    EXPECT_EQ(converted.exit_code, 0) << converted.err;
    EXPECT_TRUE(fs::exists(Out("Title_01.mp4")));
}

TEST_F(CliDamagedDiscTest, DiscWithoutATitleToConvertFails) {
    // The disc's table names only its 2 s title.
    const fs::path disc = CopyDisc(fx::kNtscDisc);
    for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP"}) {
        std::fstream ifo(disc / "VIDEO_TS" / name, std::ios::in | std::ios::out | std::ios::binary);
        unsigned char pointer[4];
        ifo.seekg(0xC4);
        ifo.read(reinterpret_cast<char*>(pointer), 4);
        const std::streamoff table =
            static_cast<std::streamoff>(pointer[0] << 24 | pointer[1] << 16 | pointer[2] << 8 |
                                        pointer[3]) *
            kSector;
        char second[12];
        ifo.seekg(table + 8 + 12);
        ifo.read(second, sizeof(second));
        ifo.seekp(table + 8);
        ifo.write(second, sizeof(second));
        ifo.seekp(table);
        ifo.write("\0\1", 2);
    }
    const CliRun run = Convert(disc, "-q");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err,
              disc.string() +
                  " has no title to convert: none lasts 3 s or more (-t names a shorter one)\n");
    EXPECT_FALSE(fs::exists(Out("Title_01.mp4")));
}

TEST_F(CliDamagedDiscTest, DiscThatDoesNotOpenSaysWhy) {
    const fs::path pipe = folder_ / "pipe.iso";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    fs::create_symlink(folder_ / "loop_b", folder_ / "loop_a");
    fs::create_symlink(folder_ / "loop_a", folder_ / "loop_b");
    fs::create_directories(folder_ / "empty");
    const std::pair<fs::path, std::string> cases[] = {
        {pipe, "Open DVD error: " + pipe.string() +
                   " is a named pipe, not a disc, a disc folder or an ISO image"},
        {folder_ / "loop_a", (folder_ / "loop_a").string() + ": Too many levels of symbolic links"},
        {folder_ / "missing", (folder_ / "missing").string() + ": No such file or directory"},
        {folder_ / "empty",
         "Open DVD error: " + (folder_ / "empty").string() +
             " holds no VIDEO_TS folder with a VIDEO_TS.IFO, and no BDMV folder"},
    };
    for (const auto& [path, message] : cases) {
        const CliRun run = Convert(path, "-q");
        EXPECT_EQ(run.exit_code, 3) << path;
        EXPECT_EQ(run.err, message + "\n");
    }
}

}  // namespace
}  // namespace rizuvira::cli
