// SPDX-License-Identifier: GPL-2.0-or-later
// The sample Blu-ray (fixtures/sample_bluray.h) as libbluray and the program read it: its
// playlists as titles, as a folder and as an image; an encrypted copy refused by name; a
// title's clips joined into one stream whose clock runs on across the joins.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bluray/bluray_disc.h"
#include "bluray/playlist_stream.h"
#include "bluray/stamp_shift.h"
#include "fixtures/sample_bluray.h"

namespace rizuvira::bluray {
namespace {

namespace fs = std::filesystem;

class BlurayDiscTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/rizuvira-bluray-XXXXXX";
        folder_ = mkdtemp(pattern);
        made_ = fixtures::MakeSampleBluray(folder_ / "film") &&
                fixtures::MakeBlurayImage(folder_ / "film", folder_ / "film.iso", "SAMPLE_BD");
    }
    static void TearDownTestSuite() { fs::remove_all(folder_); }
    void SetUp() override { ASSERT_TRUE(made_) << "ffmpeg or genisoimage failed"; }

    static DiscListing Listing(const fs::path& path) {
        BlurayDisc disc;
        std::string error;
        EXPECT_EQ(BlurayRootOf(path), path) << path;
        EXPECT_TRUE(disc.Open(BlurayRootOf(path), &error)) << error;
        return disc.List();
    }

    static inline fs::path folder_;
    static inline bool made_ = false;
};

TEST_F(BlurayDiscTest, FilmIsOneTitleOfThreeClipsWithItsChaptersAndMenuAndCopyLeftOut) {
    for (const fs::path& source : {folder_ / "film", folder_ / "film.iso"}) {
        const DiscListing listing = Listing(source);
        EXPECT_EQ(listing.name, source.extension() == ".iso" ? "SAMPLE_BD" : "film");
        ASSERT_EQ(listing.titles.size(), 1u) << source;
        const PlaylistTitle& film = listing.titles[0];
        EXPECT_EQ(film.playlist, 0u);
        EXPECT_EQ(film.duration_ticks, 12 * kTicksPerSecond);
        ASSERT_EQ(film.clips.size(), 3u);
        EXPECT_EQ(film.clips[2].clip_id, "00003");
        EXPECT_EQ(film.clips[2].playlist_ticks, 8 * kTicksPerSecond);
        EXPECT_EQ(film.chapter_start_ticks,
                  (std::vector<int64_t>{0, 2 * kTicksPerSecond, 5 * kTicksPerSecond,
                                        8 * kTicksPerSecond}));
        EXPECT_TRUE(film.main_feature);
        ASSERT_EQ(film.audio.size(), 1u);
        EXPECT_EQ(film.audio[0].language, "eng");
        EXPECT_EQ(listing.left_out_short, 1) << "the 5 s menu";
        EXPECT_EQ(listing.left_out_duplicates, 1) << "00001.mpls repeats the film";
    }
    // The BDMV folder itself names the same disc; a folder of clips alone is none.
    EXPECT_EQ(BlurayRootOf(folder_ / "film" / "BDMV"), folder_ / "film");
    fs::create_directories(folder_ / "clips" / "BDMV" / "STREAM");
    EXPECT_TRUE(BlurayRootOf(folder_ / "clips").empty());
    EXPECT_TRUE(BlurayRootOf(RIZUVIRA_FIXTURE_DIR "/ntsc.iso").empty()) << "a DVD image";
}

TEST_F(BlurayDiscTest, EncryptedCopyIsNamedAsSuch) {
    const fs::path copy = folder_ / "locked";
    fs::copy(folder_ / "film", copy, fs::copy_options::recursive);
    fs::create_directories(copy / "AACS");
    std::ofstream(copy / "AACS" / "Unit_Key_RO.inf") << std::string(64, '\0');
    BlurayDisc disc;
    std::string error;
    EXPECT_FALSE(disc.Open(copy, &error));
    EXPECT_EQ(error, copy.string() +
                         " is an encrypted Blu-ray disc (AACS); only unencrypted discs and "
                         "copies can be read");
}

TEST_F(BlurayDiscTest, TitleStreamRunsItsClockOnAcrossTheJoins) {
    for (const fs::path& root : {folder_ / "film", folder_ / "film.iso"}) {
        PlaylistStream stream;
        std::string error;
        ASSERT_TRUE(stream.Open(PlaylistPath(root, 0), &error)) << error;
        std::vector<uint8_t> bytes(static_cast<size_t>(stream.Size()));
        ASSERT_EQ(stream.ReadAt(0, bytes.data(), stream.Size()), stream.Size());
        EXPECT_EQ(stream.first_clip_info().size(),
                  fs::file_size(folder_ / "film" / "BDMV" / "CLIPINF" / "00001.clpi"));
        // The presentation stamps of the pictures, in stream order.
        std::vector<int64_t> stamps;
        for (size_t at = 0; at + kClipPacketBytes <= bytes.size(); at += kClipPacketBytes) {
            const uint8_t* p = bytes.data() + at + 4;
            const bool video = ((p[1] & 0x1F) << 8 | p[2]) == 0x1011;
            if (p[0] != 0x47 || !video || !(p[1] & 0x40)) continue;
            const size_t payload = (p[3] & 0x20) ? 5u + p[4] : 4u;
            const uint8_t* s = p + payload + 9;
            stamps.push_back((int64_t{s[0]} >> 1 & 7) << 30 | int64_t{s[1]} << 22 |
                             (int64_t{s[2]} >> 1) << 15 | int64_t{s[3]} << 7 | s[4] >> 1);
        }
        ASSERT_EQ(stamps.size(), static_cast<size_t>(fixtures::kBlurayFilmFrames));
        for (size_t i = 1; i < stamps.size(); ++i)
            ASSERT_EQ(stamps[i] - stamps[i - 1], 3600) << "picture " << i << " of " << root;
    }
}

}  // namespace
}  // namespace rizuvira::bluray
