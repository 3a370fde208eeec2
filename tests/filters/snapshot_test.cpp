// SPDX-License-Identifier: GPL-2.0-or-later
// Snapshot files: type by extension, written by the libavcodec image encoders, nothing
// written on any failure.
#include "filters/snapshot.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "filters/decode_image.h"

namespace rizuvira::filters {

namespace {

namespace fs = std::filesystem;
using rizuvira::filters::MakeDibFromRgb;
using rizuvira::filters::SaveDibAsImage;
using rizuvira::filters::SnapshotFileName;
using rizuvira::filters::SnapshotType;
using rizuvira::filters::SnapshotTypeFromPath;

constexpr int kWidth = 96, kHeight = 64;

// Four flat quadrants: red, green, blue, white (top-left, top-right, bottom-left, bottom-right).
std::vector<uint8_t> QuadrantPicture() {
    std::vector<uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int quadrant = (y >= kHeight / 2) * 2 + (x >= kWidth / 2);
            static constexpr uint8_t kColours[4][3] = {
                {220, 20, 20}, {20, 220, 20}, {20, 20, 220}, {240, 240, 240}};
            std::memcpy(&rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3], kColours[quadrant],
                        3);
        }
    return rgb;
}

class SnapshotFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("rizuvira-snapshot-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

TEST_F(SnapshotFiles, EachTypeDecodesBackToThePicture) {
    const std::vector<uint8_t> picture = QuadrantPicture();
    const std::vector<uint8_t> dib = MakeDibFromRgb(picture.data(), kWidth, kHeight);
    const struct {
        const char* name;
        const char* codec;
        int tolerance;
    } cases[] = {{"shot.BMP", "bmp", 0},
                 {"shot.JPEG", "mjpeg", 12},
                 {"shot.jpg", "mjpeg", 12},
                 {"shot.GIF", "gif", 40},
                 {"shot.png", "png", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = folder_ / c.name;
        ASSERT_TRUE(SaveDibAsImage(dib, path));
        DecodedImage image;
        ASSERT_TRUE(DecodeImageFile(path.string(), &image));
        EXPECT_EQ(image.codec, c.codec);
        ASSERT_EQ(image.width, kWidth);
        ASSERT_EQ(image.height, kHeight);
        // Centres of the quadrants, away from the chroma edges.
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const int x = (quadrant % 2) * kWidth / 2 + kWidth / 4;
            const int y = (quadrant / 2) * kHeight / 2 + kHeight / 4;
            const std::size_t at = (static_cast<std::size_t>(y) * kWidth + x) * 3;
            for (int channel = 0; channel < 3; ++channel)
                EXPECT_NEAR(image.rgb[at + channel], picture[at + channel], c.tolerance)
                    << "quadrant " << quadrant << " channel " << channel;
        }
    }
}

TEST_F(SnapshotFiles, FailuresWriteNothing) {
    const std::vector<uint8_t> picture = QuadrantPicture();
    const std::vector<uint8_t> dib = MakeDibFromRgb(picture.data(), kWidth, kHeight);
    EXPECT_FALSE(SaveDibAsImage(dib, folder_ / "missing" / "shot.BMP"));
    EXPECT_FALSE(fs::exists(folder_ / "missing"));
    EXPECT_FALSE(SaveDibAsImage(dib, folder_ / "shot.PNGX"));
    EXPECT_FALSE(SaveDibAsImage(dib, folder_ / "shot"));
    // A bitmap whose rows are cut short.
    std::vector<uint8_t> cut(dib.begin(), dib.end() - 10);
    EXPECT_FALSE(SaveDibAsImage(cut, folder_ / "cut.bmp"));
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST(SnapshotNames, TypeByExtensionAndTheMainWindowsNameRule) {
    EXPECT_EQ(SnapshotTypeFromPath("a.Bmp"), SnapshotType::kBmp);
    EXPECT_EQ(SnapshotTypeFromPath("a.JPEG"), SnapshotType::kJpeg);
    EXPECT_EQ(SnapshotTypeFromPath("a.jpe"), SnapshotType::kJpeg);
    EXPECT_EQ(SnapshotTypeFromPath("a.gif"), SnapshotType::kGif);
    EXPECT_EQ(SnapshotTypeFromPath("a.PNG"), SnapshotType::kPng);
    EXPECT_EQ(SnapshotTypeFromPath("a.tif"), SnapshotType::kUnknown);
    EXPECT_EQ(SnapshotTypeFromPath("gif"), SnapshotType::kUnknown);

    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 1 May 2024, 14:30:05 UTC.
    EXPECT_EQ(SnapshotFileName("/pictures", "JPEG", 1714573805),
              "/pictures/2024-05-01 14-30-05.JPEG");
    EXPECT_EQ(SnapshotFileName("/pictures/", "BMP", 1714573805),
              "/pictures//2024-05-01 14-30-05.BMP");
}

}  // namespace

}  // namespace rizuvira::filters
