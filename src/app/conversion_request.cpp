// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/conversion_request.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "app/data_files.h"
#include "dvd/dvd_access.h"

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
    if (request.chapter >= 0 && request.last_chapter > request.chapter) {
        if (!session->UseChapterRange(request.chapter_title, request.chapter, request.last_chapter))
            return false;
    } else if (request.chapter >= 0) {
        if (!session->UseChapter(request.chapter_title, request.chapter)) return false;
    } else if (!request.titles.empty()) {
        session->CheckAll(false);
        for (int t : request.titles)
            if (!session->CheckTitle(t)) return false;
        session->OrderTitleRows(request.titles);
    } else {
        // Chosen by default: the titles the user named are converted whatever
        // their length, these only when long enough.
        if (request.main_feature) session->CheckLongestTitle();
        if (request.min_length_ms > 0) session->UncheckShorterThan(request.min_length_ms);
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

// Names the job's files by the request's template; false (a message says
// why) when it fails or gives two files one name.
bool NameFiles(const ConversionRequest& request, const core::OutputProfile& profile,
               std::vector<engine::BatchRow>* items, core::MessageSink* messages) {
    NameFields fields;
    fields.volume = dvd::DiscVolumeName(request.disc);
    fields.disc = DiscFileName(request.disc);
    fields.profile_id = profile.Id + 1;  // as users number profiles
    std::set<std::string> names;
    for (engine::BatchRow& row : *items) {
        fields.title = row.item.title_index + 1;
        fields.chapter = row.item.chapter_index + 1;
        fields.item = fs::path(row.output_name).stem().string();
        std::string name, error;
        if (!ExpandNameTemplate(request.name_template, fields, &name, &error)) {
            messages->ShowMessage("--name " + request.name_template + ": " + error);
            return false;
        }
        row.output_name = name + fs::path(row.output_name).extension().string();
        if (!names.insert(row.output_name).second && !request.merge) {
            messages->ShowMessage("--name " + request.name_template + " names more than one file " +
                                  row.output_name + ": add {item} or {title}");
            return false;
        }
    }
    return true;
}

}  // namespace

bool ExpandNameTemplate(const std::string& name_template, const NameFields& fields,
                        std::string* name, std::string* error) {
    auto two_digits = [](int n) {
        char text[16];
        std::snprintf(text, sizeof(text), "%02d", n);
        return std::string(text);
    };
    auto safe = [](std::string text) {
        for (char& c : text)
            if (c == '/' || static_cast<unsigned char>(c) < 0x20) c = '_';
        return text;
    };
    name->clear();
    if (name_template.find('/') != std::string::npos) {
        *error = "a name holds no '/'";
        return false;
    }
    for (size_t at = 0; at < name_template.size();) {
        if (name_template[at] != '{') {
            *name += name_template[at++];
            continue;
        }
        const size_t end = name_template.find('}', at);
        if (end == std::string::npos) {
            *error = "a '{' without its '}'";
            return false;
        }
        const std::string field = name_template.substr(at + 1, end - at - 1);
        if (field == "volume")
            *name += safe(fields.volume.empty() ? fields.disc : fields.volume);
        else if (field == "disc")
            *name += safe(fields.disc);
        else if (field == "title")
            *name += two_digits(fields.title);
        else if (field == "chapter")
            *name += fields.chapter > 0 ? two_digits(fields.chapter) : "";
        else if (field == "item")
            *name += safe(fields.item);
        else if (field == "profile")
            *name += std::to_string(fields.profile_id);
        else {
            *error = "no field {" + field +
                     "}; the fields are {volume}, {disc}, {title}, {chapter}, {item} and {profile}";
            return false;
        }
        at = end + 1;
    }
    if (!name->empty() && name->front() == '.') name->front() = '_';
    if (name->empty()) {
        *error = "the name comes out empty";
        return false;
    }
    return true;
}

std::string DiscFileName(const std::string& disc_path) {
    fs::path path = fs::path(disc_path).lexically_normal();
    if (path.filename().empty()) path = path.parent_path();
    std::string name = path.filename().string();
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "VIDEO_TS" && path.has_parent_path()) return DiscFileName(path.parent_path());
    std::error_code error;
    return fs::is_directory(path, error) ? name : path.stem().string();
}

RequestedJob MakeRequestedJob(const ConversionRequest& request, DiscSession* session,
                              core::MessageSink* messages) {
    RequestedJob requested;
    if (!session->LoadProfiles(ProfileCatalogueFile(request.catalogue))) return requested;
    if (!session->ChooseProfileByIdOrName(request.profile)) return requested;
    ApplyChanges(request.custom, &session->output_settings());
    std::error_code error;
    std::string output_folder = request.output_folder;
    if (!request.output_file.empty()) output_folder = fs::path(request.output_file).parent_path();
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
    if (!request.name_template.empty() &&
        !NameFiles(request, requested.job.profile, &requested.job.items, messages))
        return requested;
    if (!request.output_file.empty()) {
        std::vector<engine::BatchRow>& items = requested.job.items;
        if (items.size() > 1 && !request.merge) {
            messages->ShowMessage(request.output_file + " names one output file, but " +
                                  std::to_string(items.size()) +
                                  " items are chosen: -o names a folder for them (without a "
                                  "media file extension), or --merge makes one file");
            return requested;
        }
        if (!items.empty()) items.front().output_name = fs::path(request.output_file).filename();
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
