// SPDX-License-Identifier: GPL-2.0-or-later
// One job, whichever front end makes it: the choices a user makes in the
// main window and the same choices asked for as a conversion request
// (`rizuvira-cli convert`) give equal jobs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/conversion_job.h"
#include "app/conversion_request.h"
#include "app/data_files.h"
#include "app/disc_session.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;

TEST(ConversionJobTest, MainWindowAndRequestMakeEqualJobs) {
    const fs::path folder =
        fs::temp_directory_path() / ("conversion_job_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    core::SettingsStore store(folder / "settings.ini");
    store.Load();
    const std::string disc = fixtures::SampleDiscPath(fixtures::kNtscDisc.iso);
    core::Watermark watermark;
    watermark.text = "Sample";
    core::PictureCleanup cleanup;
    cleanup.deinterlace = core::DeinterlaceMode::kOff;

    // The main window: a profile from the list and its settings window, one
    // row ticked, its second sound track clicked, the editor's trim and
    // brightness, the watermark page; Start.
    core::CollectedMessages window_messages;
    DiscSession window(&window_messages, &store);
    ASSERT_TRUE(window.LoadProfiles(DataFile("Format.xml")));
    ASSERT_TRUE(window.OpenDisc(disc));
    core::OutputProfile chosen{};
    ASSERT_TRUE(window.profiles().Find(2, chosen));
    window.ChooseProfile(chosen.Id);
    core::OutputProfile edited = window.profile();
    edited.Settings.VideoBitRate = 900'000;
    edited.Settings.Quality = 0;  // "Bit rate" in the quality list: --vbitrate's meaning
    window.ReplaceProfile(edited);
    window.CheckAll(false);
    window.ClickCheck(0);
    window.SelectRow(0);
    ASSERT_TRUE(window.SelectAudio(1));
    const int row = window.BeginEdit();
    window.item(row).trim_start_ms = 2000;
    window.item(row).trim_length_ms = 8000;
    window.item(row).edit.brightness = 200;
    window.EndEdit(row);
    window.SetWatermark(watermark);
    window.SetPictureCleanup(cleanup);
    ASSERT_TRUE(window.AcceptOutputFolder(folder.string()));
    JobChoices choices;
    choices.output_folder = folder;
    choices.overwrite = engine::OverwritePolicy::kReplace;
    const ConversionJob from_window = window.MakeJob(choices);

    // The command line: -p NAME --vbitrate 900000 -t 1 --audio 2 --trim 2-10
    // --brightness 200 --watermark Sample --deinterlace off -o FOLDER -y.
    ConversionRequest request;
    request.disc = disc;
    request.profile = chosen.ProfileName;
    request.custom.video_bit_rate = 900'000;
    request.titles = {0};
    request.audio.emplace().position = 2;
    request.trim_start_ms = 2000;
    request.trim_end_ms = 10000;
    request.edit.brightness = 200;
    request.watermark = watermark;
    request.cleanup = cleanup;
    request.output_folder = folder.string();
    request.overwrite = true;
    core::CollectedMessages request_messages;
    DiscSession session(&request_messages, &store);
    const RequestedJob requested = MakeRequestedJob(request, &session, &request_messages);

    ASSERT_EQ(requested.outcome, RequestOutcome::kReady);
    ASSERT_EQ(from_window.items.size(), 1u);
    EXPECT_EQ(from_window.items[0].item.edit.brightness, 200);
    // The one difference: the window follows the stored after-action, the
    // command line only its --after.
    EXPECT_EQ(from_window.stored_action, core::kActionNone);
    EXPECT_TRUE(requested.job.stored_action.empty());
    ConversionJob alike = from_window;
    alike.stored_action.clear();
    EXPECT_TRUE(alike == requested.job);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace rizuvira::app
