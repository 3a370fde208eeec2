// SPDX-License-Identifier: GPL-2.0-or-later
// The conversion window's live picture on a real item graph: attaching the
// preview to a freshly built, paused graph stops and pauses it again while
// the splitter's worker is just starting to deliver.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>

#include "core/convert_item.h"
#include "core/messages.h"
#include "core/profile_catalogue.h"
#include "decoders/video_renderer.h"
#include "dvd/dvd_access.h"
#include "engine/source_item_graph.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::e2e {
namespace {

namespace fx = fixtures;

TEST(LivePreview, AttachingToAJustPausedGraphNeverHangsAndShowsItsPictures) {
    const int32_t handle = dvd::MyDVDOpen(fx::SampleDiscPath(fx::kNtscDisc.iso).c_str());
    ASSERT_NE(handle, 0);
    core::ProfileCatalogue catalogue;
    ASSERT_TRUE(catalogue.LoadFile(std::filesystem::path(RIZUVIRA_SOURCE_DIR) / "data/Format.xml"));
    core::OutputProfile profile{};
    ASSERT_TRUE(catalogue.Find(1, profile));
    // A fixed size and rate: the race lies in the graph, not in finding the source's values.
    profile.Settings.Width = 720;
    profile.Settings.Height = 480;
    profile.Settings.FrameRate = 29970;
    char pattern[] = "/tmp/rizuvira-live-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    core::CollectedMessages messages;
    // The worker's first segment races the stop: repeat so the race is met.
    for (int round = 0; round < 25; ++round) {
        decoders::HeadlessVideoSurface surface;
        engine::SourceItemGraph graph(&messages, handle, 1);
        const std::filesystem::path file = folder / (std::to_string(round) + profile.FormatExt);
        ASSERT_TRUE(graph.OpenOutput(file, file, profile.Settings));
        const core::ConvertItem item = core::MakeTitleItem(fx::kNtscMp2Title - 1, 4000);
        ASSERT_TRUE(graph.Build(item, engine::StreamChoice{}, {})) << round;
        ASSERT_TRUE(graph.AttachPreview(&surface)) << round;
        graph.ShowPreview(true);
        graph.Run();
        ASSERT_TRUE(surface.WaitUntil(
            [](const decoders::HeadlessVideoSurface::Shown& shown) { return shown.serial > 0; }));
        graph.Stop();
        graph.CloseOutput();
    }
    dvd::MyDVDClose(handle);
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace rizuvira::e2e
