#include "app/conversion_request.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/data_files.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;

void ApplyChanges(const OutputChanges& changes, core::OutputSettings* settings) {
    auto source_or = [](int value) {
        return value == OutputChanges::kSource ? core::kSameAsSource : value;
    };
    if (changes.width) settings->Width = source_or(changes.width);
    if (changes.height) settings->Height = source_or(changes.height);
    if (changes.frame_rate_x1000) settings->FrameRate = source_or(changes.frame_rate_x1000);
    if (changes.video_bit_rate) settings->Quality = 0;
    if (changes.quality != OutputChanges::kProfileQuality) settings->Quality = changes.quality;
    if (!changes.encoder_preset.empty())
        core::SetField(settings->EncoderPreset, changes.encoder_preset);
    if (!changes.video_codec.empty())
        std::snprintf(settings->VideoCodecName, sizeof(settings->VideoCodecName), "%s",
                      changes.video_codec.c_str());
    if (changes.video_bit_rate) settings->VideoBitRate = changes.video_bit_rate;
    if (!changes.audio_codec.empty())
        std::snprintf(settings->AudioCodecName, sizeof(settings->AudioCodecName), "%s",
                      changes.audio_codec.c_str());
    if (changes.audio_bit_rate) settings->AudioBitRate = changes.audio_bit_rate;
    if (changes.sample_rate) settings->SampleRate = changes.sample_rate;
    if (changes.channels) settings->Channel = changes.channels;
}

// Chooses the rows the request names, trims them and counts in `skipped`
// those the trim misses; false when a title or chapter does not exist.
bool ChooseRows(const ConversionRequest& request, DiscSession* session, int* skipped) {
    if (request.chapter >= 0) {
        if (!session->UseChapter(request.chapter_title, request.chapter)) return false;
    } else if (!request.titles.empty()) {
        session->CheckAll(false);
        for (int t : request.titles)
            if (!session->CheckTitle(t)) return false;
        session->OrderTitleRows(request.titles);
    }
    if (request.trim_end_ms >= 0)
        *skipped += session->TrimCheckedRows(request.trim_start_ms, request.trim_end_ms);
    return true;
}

void ChooseTracks(const ConversionRequest& request, DiscSession* session) {
    if (request.audio) session->ChooseAudio(*request.audio);
    if (request.subtitle) session->ChooseSubtitle(*request.subtitle);
    session->ChooseFurtherAudio(request.further_audio);
    session->ChooseEveryAudio(request.every_audio);
    session->ChooseSoftSubtitles(request.soft_subtitles, request.further_subtitles);
}

}  // namespace

RequestedJob MakeRequestedJob(const ConversionRequest& request, DiscSession* session,
                              core::MessageSink* messages) {
    RequestedJob requested;
    if (!session->LoadProfiles(ProfileCatalogueFile(request.catalogue))) return requested;
    if (!session->ChooseProfileByIdOrName(request.profile)) return requested;
    ApplyChanges(request.custom, &session->output_settings());
    std::error_code error;
    std::string output_folder = request.output_folder;
    if (output_folder.empty()) {
        output_folder = fs::current_path(error).string();
        if (error) {
            messages->ShowMessage(std::string(kInvalidOutputDirectory) +
                                  ": the current directory cannot be read (" + error.message() +
                                  "); -o names the folder");
            return requested;
        }
    }
    // A missing folder is made once the disc has opened; a path that is
    // something else is refused before.
    const bool folder_missing =
        !output_folder.empty() &&
        fs::symlink_status(output_folder, error).type() == fs::file_type::not_found;
    if (!folder_missing && !session->AcceptOutputFolder(output_folder, /*remember=*/false))
        return requested;

    if (!session->OpenDisc(request.disc)) {
        requested.outcome = RequestOutcome::kCannotOpen;
        return requested;
    }
    if (!ChooseRows(request, session, &requested.skipped)) return requested;
    session->SetCurrentEdit(request.edit);
    if (!session->CropFitsCheckedRows()) return requested;
    session->SetWatermark(request.watermark);
    session->SetPictureCleanup(request.cleanup);
    ChooseTracks(request, session);

    JobChoices choices;
    choices.output_folder = output_folder;
    choices.overwrite =
        request.overwrite ? engine::OverwritePolicy::kReplace : engine::OverwritePolicy::kRefuse;
    choices.merge = request.merge;
    choices.after = request.after;
    choices.cpu_usage = request.cpu_usage;
    requested.job = session->MakeJob(choices, &requested.skipped);
    if (requested.job.items.empty() && requested.skipped == 0) {
        requested.outcome = RequestOutcome::kNothingToConvert;
        return requested;
    }
    if (folder_missing) {
        fs::create_directories(output_folder, error);
        if (error) {
            messages->ShowMessage("Invalid output directory: cannot create " + output_folder +
                                  ": " + error.message());
            return requested;
        }
        if (!session->AcceptOutputFolder(output_folder, /*remember=*/false)) return requested;
    }
    requested.outcome = RequestOutcome::kReady;
    return requested;
}

}  // namespace rizuvira::app
