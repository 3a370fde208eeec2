// SPDX-License-Identifier: GPL-2.0-or-later
// The automatic crop's measurement: the detector's rules on made-up pictures, and the
// measurement of whole titles of the sample discs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "dvd/dvd_access.h"
#include "engine/border_probe.h"
#include "filters/border_detect.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::engine {
namespace {

using filters::BorderDetector;
using filters::CropBox;
namespace fx = fixtures;

// A 720x480 luma plane, black (16) outside [left, right) x [top, bottom), `inside` within.
std::vector<uint8_t> Plane(int left, int top, int right, int bottom, uint8_t inside) {
    std::vector<uint8_t> luma(720 * 480, 16);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) luma[y * 720 + x] = inside;
    return luma;
}

TEST(BorderDetector, DarkPicturesTellNothingAndEdgesWidenToEvenNumbers) {
    filters::BorderDetector detector(720, 480);
    detector.AddPicture(Plane(0, 0, 720, 480, 20).data(), 720);  // a dark scene
    EXPECT_EQ(detector.pictures_used(), 0);
    EXPECT_FALSE(detector.Result().has_value());

    detector.AddPicture(Plane(25, 57, 699, 415, 120).data(), 720);
    detector.AddPicture(Plane(40, 60, 701, 400, 120).data(), 720);  // a smaller, darker-edged scene
    EXPECT_EQ(detector.pictures_used(), 2);
    EXPECT_EQ(detector.Result(), (filters::CropBox{24, 56, 702, 416}))
        << "every picture's box, never cut into";
}

class DiscHandle {
public:
    explicit DiscHandle(const std::string& path) : handle_(dvd::MyDVDOpen(path.c_str())) {}
    ~DiscHandle() {
        if (handle_ != 0) dvd::MyDVDClose(handle_);
    }
    int32_t get() const { return handle_; }

private:
    int32_t handle_;
};

TEST(BorderProbe, FindsTheBarsDrawnAroundALetterboxedTitle) {
    DiscHandle disc(fx::SampleDiscPath(fx::kFilmDiscIso));
    ASSERT_NE(disc.get(), 0);
    const std::optional<filters::CropBox> box =
        engine::MeasureTitleBorders(disc.get(), fx::kFilmLetterboxedTitle - 1);
    ASSERT_TRUE(box.has_value());
    EXPECT_NEAR(box->left, fx::kFilmBars.left, 2);
    EXPECT_NEAR(box->top, fx::kFilmBars.top, 2);
    EXPECT_NEAR(box->right, fx::kFilmBars.right, 2);
    EXPECT_NEAR(box->bottom, fx::kFilmBars.bottom, 2);

    // A title without bars keeps its whole picture.
    DiscHandle ntsc(fx::SampleDiscPath(fx::kNtscDisc.iso));
    ASSERT_NE(ntsc.get(), 0);
    EXPECT_EQ(engine::MeasureTitleBorders(ntsc.get(), 1), (filters::CropBox{0, 0, 720, 480}));
}

}  // namespace
}  // namespace rizuvira::engine
