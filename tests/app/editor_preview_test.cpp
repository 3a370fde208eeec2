// SPDX-License-Identifier: GPL-2.0-or-later
// The editor driving the real editor preview graph on the sample disc: what it hands the graph
// when attached and on every edit, and that the graph's crop read-back is what it keeps.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/editor.h"
#include "app/properties.h"
#include "dvd/dvd_access.h"
#include "engine/editor_preview_graph.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::app {

namespace {

using rizuvira::app::Editor;
using rizuvira::app::EditorPage;
using rizuvira::app::SourcePicture;
using rizuvira::decoders::HeadlessVideoSurface;
using rizuvira::engine::EditorPreviewGraph;
namespace fixtures = rizuvira::fixtures;
using Shown = HeadlessVideoSurface::Shown;

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

class EditorPreviewTest : public testing::Test {
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
    bool Open(const Editor& editor) {
        const RECT left = editor.LeftPictureRect();
        const RECT right = rizuvira::app::EditorLayout{}.right_area;
        graph_.SetArea(0, -1);
        return graph_.Open(disc_, &left_, &left, &right_, &right, 720, 480, {});
    }

    int32_t disc_ = 0;
    rizuvira::core::CollectedMessages messages_;
    HeadlessVideoSurface left_, right_;
    EditorPreviewGraph graph_{&messages_};
};

TEST_F(EditorPreviewTest, AttachingShowsTheRowsStoredCropShapeAndAdjustments) {
    rizuvira::core::ConvertItem row = rizuvira::core::MakeTitleItem(0, 60000);
    row.edit.brightness = 256;
    row.edit.crop_left = 180;
    row.edit.crop_right = 540;
    rizuvira::core::OutputSettings output{};
    output.HasVideo = 1;
    output.Width = 720;
    output.Height = 480;
    Editor editor(row, output, EditorPage::kCrop, SourcePicture{720, 480, 4, 3});
    ASSERT_TRUE(Open(editor)) << (messages_.messages.empty() ? "" : messages_.messages.front());
    editor.AttachPreview(&graph_, 0xBD80, -1);
    graph_.Play();

    // The stored brightness shows from the first picture on, before any slider moves.
    right_.WaitUntil([](const Shown& s) {
        return FrameNumber(s) >= 10 && !fixtures::IsFlashFrameNumber(FrameNumber(s), 30000, 1001);
    });
    const Shown shown = right_.Last();
    EXPECT_GT(BackgroundLuma(shown), fixtures::kBackgroundLuma + 20);
    EXPECT_EQ(shown.placement.source, (RECT{180, 0, 540, 480}));
    // Half of a 4:3 picture is 2:3 on screen, stretched into that shape.
    EXPECT_EQ(shown.placement.destination, editor.RightPictureRect());
    EXPECT_EQ(RectWidth(editor.RightPictureRect()), 170);
    EXPECT_EQ(shown.placement.aspect_ratio_mode, rizuvira::decoders::VMR_ARMODE_NONE);
    EXPECT_EQ(graph_.Overlay().width, RectWidth(editor.LeftPictureRect()));

    // A tracker drag reaches the graph, and what the graph uses is what the editor keeps.
    const RECT tracker = editor.TrackerRect();
    ASSERT_TRUE(editor.PressTracker({tracker.left, tracker.top + 50}));
    editor.ReleaseTracker({tracker.left - 400, tracker.top + 50});
    EXPECT_EQ(editor.values().edit.crop_left, 0);
    EXPECT_EQ(graph_.GetCropRect(), editor.CropRect());
    right_.WaitUntil([](const Shown& s) { return s.placement.source.left == 0; });
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(EditorPreviewTest, TheGraphsReadBackWinsOverTheRequestedCrop) {
    // A source taller than the frame the graph plays: the graph keeps the crop inside its frame.
    Editor editor(rizuvira::core::MakeTitleItem(0, 60000), rizuvira::core::OutputSettings{},
                  EditorPage::kCrop, SourcePicture{720, 576, 4, 3});
    ASSERT_TRUE(Open(editor));
    editor.AttachPreview(&graph_, -1, -1);
    EXPECT_EQ(editor.CropRect(), (RECT{0, 0, 720, 480}));
    editor.TypeCropNumber(Editor::CropSide::kTop, 100);
    EXPECT_EQ(editor.CropRect(), (RECT{0, 100, 720, 480}));
}

TEST_F(EditorPreviewTest, PropertiesOfTheSampleTitle) {
    Editor editor(rizuvira::core::MakeTitleItem(0, 60000), rizuvira::core::OutputSettings{},
                  EditorPage::kCrop);
    ASSERT_TRUE(Open(editor));
    rizuvira::engine::StreamInfoList streams{};
    ASSERT_TRUE(graph_.ListStreams(&streams));
    const rizuvira::app::PropertiesTexts texts = rizuvira::app::MakePropertiesTexts(streams);
    EXPECT_EQ(texts.resolution, "720x480");
    EXPECT_EQ(texts.frame_rate, "29.970 fps");
    EXPECT_EQ(texts.audio_sample_rate, "48000 Hz");
    EXPECT_EQ(texts.aspect_ratio, "");
}

}  // namespace

}  // namespace rizuvira::app
