// SPDX-License-Identifier: GPL-2.0-or-later
// The editor's two-picture graph on the sample disc: the tee feeds an unaltered left picture
// and an adjusted right one; the crop frame is drawn into the left picture's overlay.
#include "engine/editor_preview_graph.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "dvd/dvd_access.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::engine {

namespace {

using rizuvira::decoders::HeadlessVideoSurface;
using rizuvira::engine::EditorPreviewGraph;
namespace fixtures = rizuvira::fixtures;
using Shown = HeadlessVideoSurface::Shown;

constexpr RECT kLeftRect{14, 70, 394, 354};
constexpr RECT kRightRect{406, 70, 786, 354};

int FrameNumber(const Shown& shown) {
    if (shown.serial == 0) return -1;
    return fixtures::DecodeFrameBand(shown.yv12.data(), shown.width, shown.height, shown.width);
}

// Mean luma of the grey background above the band (rows 40..80, columns 300..420).
double BackgroundLuma(const Shown& shown) {
    double sum = 0;
    for (int y = 40; y < 80; ++y)
        for (int x = 300; x < 420; ++x)
            sum += shown.yv12[static_cast<std::size_t>(y) * shown.width + x];
    return sum / (40 * 120);
}

bool IsYellow(const rizuvira::decoders::OverlayBitmap& overlay, int x, int y) {
    const uint8_t* p = &overlay.rgb[(static_cast<std::size_t>(y) * overlay.width + x) * 3];
    return p[0] == 255 && p[1] == 255 && p[2] == 0;
}
bool IsBlack(const rizuvira::decoders::OverlayBitmap& overlay, int x, int y) {
    const uint8_t* p = &overlay.rgb[(static_cast<std::size_t>(y) * overlay.width + x) * 3];
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

class EditorPreviewGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1); }
    void SetUp() override {
        disc_ =
            rizuvira::dvd::MyDVDOpen(fixtures::SampleDiscPath(fixtures::kNtscDisc.folder).c_str());
        ASSERT_NE(disc_, 0) << "build the sample-discs target first";
    }
    void TearDown() override {
        graph_.Close();
        if (disc_ != 0) rizuvira::dvd::MyDVDClose(disc_);
    }

    int32_t disc_ = 0;
    rizuvira::core::CollectedMessages messages_;
    HeadlessVideoSurface left_, right_;
    EditorPreviewGraph graph_{&messages_};
};

TEST_F(EditorPreviewGraphTest, BrightnessChangesOnlyTheRightPicture) {
    graph_.SetArea(0, -1);
    ASSERT_TRUE(graph_.Open(disc_, &left_, &kLeftRect, &right_, &kRightRect, 720, 480, {}))
        << (messages_.messages.empty() ? "" : messages_.messages.front());
    graph_.Play();
    left_.WaitUntil([](const Shown& s) { return FrameNumber(s) >= 10; });
    right_.WaitUntil([](const Shown& s) { return FrameNumber(s) >= 10; });
    EXPECT_NEAR(BackgroundLuma(right_.Last()), fixtures::kBackgroundLuma, 3);

    graph_.SetBrightness(256);
    graph_.SetVolume(128);
    // The next non-flash pictures on the right come out brighter; the left stays as it was.
    const Shown bright = [&] {
        right_.WaitUntil([](const Shown& s) {
            return s.serial > 0 && BackgroundLuma(s) > fixtures::kBackgroundLuma + 20 &&
                   BackgroundLuma(s) < 200;
        });
        return right_.Last();
    }();
    const int bright_frame = FrameNumber(bright);
    EXPECT_GE(bright_frame, 10);  // the band still reads after brightening
    left_.WaitUntil([&](const Shown& s) { return FrameNumber(s) >= bright_frame; });
    const Shown left = left_.Last();
    if (!fixtures::IsFlashFrameNumber(FrameNumber(left), 30000, 1001)) {
        EXPECT_NEAR(BackgroundLuma(left), fixtures::kBackgroundLuma, 3);
    }
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(EditorPreviewGraphTest, CropFrameIsDrawnIntoTheLeftOverlayAndCropsTheRight) {
    graph_.SetArea(1, -1);
    ASSERT_TRUE(graph_.Open(disc_, &left_, &kLeftRect, &right_, &kRightRect, 720, 480, {}));
    graph_.Pause();
    left_.WaitUntil([](const Shown& s) { return s.serial > 0; });
    right_.WaitUntil([](const Shown& s) { return s.serial > 0; });

    // The whole frame: the outline runs along the left picture's border (380 x 284).
    graph_.SetCropRect({0, 0, 720, 480});
    const auto& overlay = graph_.Overlay();
    ASSERT_EQ(overlay.width, 380);
    ASSERT_EQ(overlay.height, 284);
    EXPECT_TRUE(IsYellow(overlay, 100, 0));    // top edge
    EXPECT_TRUE(IsYellow(overlay, 100, 283));  // bottom edge (the line at y 284 covers 283)
    EXPECT_TRUE(IsYellow(overlay, 0, 100));
    EXPECT_TRUE(IsYellow(overlay, 379, 100));
    EXPECT_TRUE(IsBlack(overlay, 100, 10));  // inside: transparent
    // Handles at the corners and midpoints: black inside, outlined.
    EXPECT_TRUE(IsBlack(overlay, 190, 0));   // midpoint (190, 0), inside the handle
    EXPECT_TRUE(IsYellow(overlay, 190, 3));  // its lower border
    EXPECT_TRUE(IsBlack(overlay, 0, 142));   // midpoint (0, 142)
    EXPECT_TRUE(IsYellow(overlay, 3, 142));
    EXPECT_TRUE(IsYellow(overlay, 378, 281));  // corner (380, 284): handle border

    // A crop inside the frame: mapped with the left picture's scale, right cropped to it.
    graph_.SetCropRect({180, 120, 540, 360});
    EXPECT_EQ(graph_.GetCropRect(), (RECT{180, 120, 540, 360}));
    EXPECT_TRUE(IsYellow(overlay, 120, 71));  // y1 = trunc(284 * 0.25 + 0.5) = 71
    EXPECT_TRUE(IsYellow(overlay, 95, 100));  // x1 = 95
    EXPECT_TRUE(IsBlack(overlay, 100, 0));    // the old frame is gone
    const Shown right = right_.Last();
    EXPECT_EQ(right.placement.source, (RECT{180, 120, 540, 360}));
    EXPECT_EQ(right.placement.destination, kRightRect);

    // The left surface composes the outline over the picture (black keyed out).
    std::vector<uint8_t> canvas;
    ASSERT_TRUE(left_.Compose(800, 400, &canvas));
    const uint8_t* on_frame = &canvas[(static_cast<std::size_t>(70 + 71) * 800 + 14 + 120) * 3];
    EXPECT_EQ(on_frame[0], 255);
    EXPECT_EQ(on_frame[1], 255);
    EXPECT_EQ(on_frame[2], 0);
    const uint8_t* picture = &canvas[(static_cast<std::size_t>(70 + 20) * 800 + 14 + 190) * 3];
    // The picture shows through the keyed-out black: frame 0 flashes white.
    EXPECT_GT(picture[0], 200);
    EXPECT_GT(picture[2], 200);

    // Larger than the frame: the crop stops at the frame, the outline follows the request.
    graph_.SetCropRect({-100, -100, 820, 580});
    EXPECT_EQ(graph_.GetCropRect(), (RECT{0, 0, 720, 480}));
    EXPECT_FALSE(IsYellow(overlay, 100, 0));
    // Entirely outside: ignored.
    graph_.SetCropRect({800, 500, 900, 600});
    EXPECT_EQ(graph_.GetCropRect(), (RECT{0, 0, 720, 480}));

    graph_.SetLetterbox(0);
    EXPECT_EQ(right_.Last().placement.aspect_ratio_mode, rizuvira::decoders::VMR_ARMODE_NONE);
    graph_.SetPictureRect({400, 60, 800, 360});
    EXPECT_EQ(right_.Last().placement.destination, (RECT{400, 60, 800, 360}));
}

TEST_F(EditorPreviewGraphTest, WithoutARightPictureOnlyTheLeftIsBuilt) {
    graph_.SetArea(1, -1);
    ASSERT_TRUE(graph_.Open(disc_, &left_, &kLeftRect, nullptr, nullptr, 720, 480, {}));
    graph_.SetCropRect({100, 100, 200, 200});
    EXPECT_EQ(graph_.GetCropRect(), (RECT{0, 0, 0, 0}));
    graph_.SetBrightness(200);
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0], "IID_IMyVideoConvFilter error");
    graph_.Play();
    left_.WaitUntil([](const Shown& s) { return FrameNumber(s) >= 5; });
}

}  // namespace

}  // namespace rizuvira::engine
