// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/disc_session.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "bluray/bluray_disc.h"
#include "decoders/subpicture_overlay.h"
#include "dvd/dvd_access.h"
#include "dvd/language_names.h"
#include "dvd/title_texts.h"
#include "engine/bdmv_folder.h"
#include "engine/mpeg_file_source.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() < 9 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool LanguageMatches(int32_t track_language, const std::string& code) {
    if (code.size() == 2) return dvd::LanguageCode2(track_language) == Lower(code);
    const std::string name = dvd::LanguageName3(Lower(code));
    return !name.empty() && dvd::LanguageName(track_language) == name;
}

// Why `field` cannot take the output files: empty when it is a folder.
std::string OutputFolderProblem(const std::string& field) {
    if (field.empty()) return "no folder is given";
    std::error_code error;
    const fs::file_status status = fs::status(field, error);
    if (fs::is_directory(status)) return {};
    if (fs::is_symlink(fs::symlink_status(field, error)) && !fs::exists(status))
        return field + " is a link to " + fs::read_symlink(field, error).string() +
               ", which does not exist";
    if (fs::exists(status)) return field + " is a file, not a folder";
    return field + ": " + (error ? error.message() : std::string("No such file or directory"));
}

std::string RowName(const core::ConvertItem& item) {
    return item.chapter_index < 0 ? dvd::TitleItemName(item.title_index)
                                  : dvd::ChapterItemName(item.title_index, item.chapter_index);
}

}  // namespace

DiscSession::DiscSession(core::MessageSink* messages, core::SettingsStore* settings)
    : messages_(messages),
      settings_(settings),
      catalogue_(std::make_unique<dvd::TitleCatalogue>(messages, &current_edit_)) {}

DiscSession::~DiscSession() = default;

// --- Profiles ----------------------------------------------------------------

bool DiscSession::LoadProfiles(const fs::path& file) {
    has_profile_ = false;
    if (!library_.Load(file, SavedProfilesFile(settings_->file()))) {
        no_profile_reason_ = std::string(kLoadFormatError) + ": " + library_.load_error();
        messages_->ShowMessage(no_profile_reason_);
        return false;
    }
    if (!library_.saved_file_error().empty()) messages_->ShowMessage(library_.saved_file_error());
    no_profile_reason_ = library_.Problem(1);
    has_profile_ = no_profile_reason_.empty() && profiles().Find(1, profile_);
    if (!has_profile_ && no_profile_reason_.empty())
        no_profile_reason_ = file.string() + " has no profile of id 1";
    if (has_profile_) catalogue_->RefreshOutputNames(profile_.FormatExt);
    return true;
}

bool DiscSession::ChooseProfile(int32_t id) {
    if (has_profile_ && id == profile_.Id) return false;
    core::OutputProfile chosen{};
    if (!profiles().Find(id, chosen)) {
        messages_->ShowMessage(kCantGetFormatMessage);
        return false;
    }
    if (const std::string problem = library_.Problem(id); !problem.empty()) {
        messages_->ShowMessage(problem);
        return false;
    }
    profile_ = chosen;
    has_profile_ = true;
    catalogue_->RefreshOutputNames(profile_.FormatExt);
    return true;
}

bool DiscSession::ChooseProfileByIdOrName(const std::string& wanted) {
    int32_t id = -1;
    core::OutputProfile found{};
    if (wanted.empty() || IsNumber(wanted)) {
        // A user counts profiles from 1; the catalogue's ids (kept in the
        // settings) from 0.
        const int32_t number = wanted.empty() ? kDefaultProfileNumber : std::stoi(wanted);
        if (number >= 1 && profiles().Find(number - 1, found)) id = number - 1;
    } else {
        for (const core::OutputProfile& profile : profiles().Iterate()) {
            if (Lower(profile.ProfileName) == Lower(wanted)) {
                id = profile.Id;
                break;
            }
        }
    }
    if (id < 0) {
        messages_->ShowMessage("No output profile " +
                               (wanted.empty() ? std::to_string(kDefaultProfileNumber) : wanted));
        return false;
    }
    if (has_profile_ && id == profile_.Id) return true;
    return ChooseProfile(id);
}

void DiscSession::ReplaceProfile(const core::OutputProfile& edited) {
    profile_ = edited;
    has_profile_ = true;
    catalogue_->RefreshOutputNames(profile_.FormatExt);
    core::OutputProfile check{};
    if (!profiles().Find(profile_.Id, check)) messages_->ShowMessage(kGetFormatError);
}

void DiscSession::ProfilesChanged() {
    core::OutputProfile check{};
    if (!has_profile_ || profiles().Find(profile_.Id, check)) return;
    has_profile_ = false;
    if (library_.Problem(1).empty() && profiles().Find(1, profile_)) {
        has_profile_ = true;
        catalogue_->RefreshOutputNames(profile_.FormatExt);
    }
}

// --- Disc --------------------------------------------------------------------

bool DiscSession::OpenDisc(const std::string& path,
                           const dvd::TitleCatalogue::BeforeClose& before_close) {
    if (has_profile_) catalogue_->SetFormatExt(profile_.FormatExt);
    if (const std::string missing = engine::MissingSourceText(path); !missing.empty()) {
        messages_->ShowMessage(missing);
        return false;
    }
    if (engine::IsMpegFilePath(path)) {
        auto record = std::make_unique<dvd::TitleTable>();
        if (!engine::ProbeMpegFile(path, record.get())) {
            messages_->ShowMessage(engine::UnreadableFileText(path));
            return false;
        }
        catalogue_->LoadFileRecord(path, *record, before_close);
    } else if (const fs::path root = bluray::BlurayRootOf(path); !root.empty()) {
        auto record = std::make_unique<dvd::TitleTable>();
        engine::BlurayTitles titles;
        std::string error;
        if (!engine::ProbeBlurayDisc(root, record.get(), &titles, &error)) {
            messages_->ShowMessage(error);
            return false;
        }
        for (const std::string& line : titles.notes) messages_->ShowMessage(line);
        std::vector<std::string> playlists;
        for (const std::string& file : titles.files)
            playlists.push_back(fs::path(file).filename().string());
        catalogue_->LoadFileRecords(titles.files, *record, before_close,
                                    {titles.disc_name, titles.chapter_ms, titles.main_feature,
                                     playlists, titles.clips, titles.angles});
    } else if (const fs::path bdmv = engine::BdmvFolderOf(path); !bdmv.empty()) {
        auto record = std::make_unique<dvd::TitleTable>();
        engine::BdmvClips clips;
        std::string error;
        if (!engine::ProbeBdmvFolder(bdmv, record.get(), &clips, &error)) {
            messages_->ShowMessage(error);
            return false;
        }
        for (const std::string& line : clips.left_out) messages_->ShowMessage(line);
        catalogue_->LoadFileRecords(
            std::vector<std::string>(clips.files.begin(), clips.files.end()), *record,
            before_close);
    } else if (!catalogue_->LoadDisc(path, before_close)) {
        return false;
    }
    disc_open_ = true;
    disc_path_ = path;
    for (dvd::CatalogueRow& row : catalogue_->rows()) row.checked = true;
    selected_row_ = catalogue_->selected_row() >= 0 ? catalogue_->selected_row() : kNoRow;
    return true;
}

std::string DiscSession::RootText() const {
    const std::string& name = catalogue_->source_facts().disc_name;
    return name.empty() ? std::string("VIDEO_TS") : name + " (Blu-ray)";
}

std::string DiscSession::BlurayTitleText(int title) const {
    const dvd::SourceFacts& facts = catalogue_->source_facts();
    const auto t = static_cast<size_t>(title);
    if (title < 0 || t >= facts.playlists.size() || t >= facts.clips.size() ||
        t >= facts.angles.size())
        return {};
    auto count = [](int n, const char* word) {
        return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
    };
    std::string text = facts.playlists[t] + ": " + count(facts.clips[t], "clip") + ", " +
                       count(catalogue_->disc().titles[title].chapters, "chapter");
    if (facts.angles[t] > 1) text += ", " + count(facts.angles[t], "angle") + " (the first read)";
    if (title == facts.main_feature) text += ", main feature";
    return text;
}

void DiscSession::ClearAll() {
    catalogue_->rows().clear();
    catalogue_->ClearStreamLists();
    selected_row_ = kNoRow;
}

// --- Check marks -------------------------------------------------------------

CheckState DiscSession::check_state(int row) const {
    const auto& rows = catalogue_->rows();
    if (row != kRootRow) return rows[row].checked ? CheckState::kChecked : CheckState::kUnchecked;
    const auto checked = std::count_if(rows.begin(), rows.end(),
                                       [](const dvd::CatalogueRow& r) { return r.checked; });
    // No rows (Clear All, a disc of short titles only): nothing would be
    // converted, so the root is not shown checked.
    if (checked == 0) return CheckState::kUnchecked;
    return checked == static_cast<long>(rows.size()) ? CheckState::kChecked : CheckState::kPartly;
}

void DiscSession::ClickCheck(int row) {
    if (row == kRootRow) {
        CheckAll(check_state(kRootRow) != CheckState::kChecked);
        return;
    }
    if (row < 0 || row >= row_count()) return;
    catalogue_->rows()[row].checked = !catalogue_->rows()[row].checked;
}

void DiscSession::CheckAll(bool checked) {
    for (dvd::CatalogueRow& row : catalogue_->rows()) row.checked = checked;
}

// --- Selection and streams ---------------------------------------------------

void DiscSession::SelectRow(int row) {
    if (row >= row_count() || row < kNoRow) row = kNoRow;
    selected_row_ = row;
    if (row >= 0) catalogue_->ShowTitleStreams(row);
}

int DiscSession::PreviousRow() const {
    return selected_row_ > 0 ? selected_row_ - 1 : kNoRow;
}

int DiscSession::NextRow() const {
    return selected_row_ >= 0 && selected_row_ + 1 < row_count() ? selected_row_ + 1 : kNoRow;
}

std::string DiscSession::PreviewItemName() const {
    return selected_row_ >= 0 ? row(selected_row_).name : dvd::TitleItemName(0);
}

int DiscSession::PreviewTitle() const {
    return selected_row_ >= 0 ? row(selected_row_).item.title_index : 0;
}

bool DiscSession::SelectAudio(int entry) {
    if (!catalogue_->SelectAudio(entry)) return false;
    audio_choice_ = TrackChoice{};
    audio_choice_.id = catalogue_->current_audio_id();
    return true;
}

bool DiscSession::SelectSubtitle(int entry) {
    if (!catalogue_->SelectSubtitle(entry)) return false;
    subtitle_choice_ = TrackChoice{};
    subtitle_choice_.id = catalogue_->current_subtitle_id();
    subtitle_choice_.none = subtitle_choice_.id == dvd::kNoSubtitleId;
    return true;
}

// --- Rows for the command line -----------------------------------------------

bool DiscSession::CheckTitle(int title) {
    const dvd::TitleTable& disc = catalogue_->disc();
    if (title < 0 || title >= std::min(disc.title_count, dvd::kDvdMaxTitles)) {
        messages_->ShowMessage(dvd::TitleItemName(title) + " does not exist on this disc");
        return false;
    }
    auto& rows = catalogue_->rows();
    for (dvd::CatalogueRow& row : rows) {
        if (row.item.title_index == title && row.item.chapter_index < 0) {
            row.checked = true;
            return true;
        }
    }
    // A title the list leaves out (shorter than 3 s, or unreadable).
    const dvd::DvdTitleInfo& info = disc.titles[title];
    dvd::CatalogueRow row;
    row.name = dvd::TitleItemName(title);
    row.original_length = row.trimmed_length = dvd::DurationText(info.duration_ms);
    row.item = core::MakeTitleItem(title, static_cast<int64_t>(std::floor(info.duration_ms)));
    row.output_name = row.name + profile_.FormatExt;
    rows.push_back(std::move(row));
    return true;
}

void DiscSession::OrderTitleRows(const std::vector<int>& titles) {
    auto rank = [&](const dvd::CatalogueRow& row) {
        const auto at = std::find(titles.begin(), titles.end(), row.item.title_index);
        return row.item.chapter_index < 0 && at != titles.end()
                   ? at - titles.begin()
                   : static_cast<std::ptrdiff_t>(titles.size());
    };
    std::vector<dvd::CatalogueRow>& rows = catalogue_->rows();
    std::stable_sort(
        rows.begin(), rows.end(),
        [&](const dvd::CatalogueRow& a, const dvd::CatalogueRow& b) { return rank(a) < rank(b); });
    selected_row_ = rows.empty() ? kNoRow : 0;
}

bool DiscSession::UseChapter(int title, int chapter) {
    const dvd::TitleTable& disc = catalogue_->disc();
    const bool title_exists = title >= 0 && title < std::min(disc.title_count, dvd::kDvdMaxTitles);
    if (!title_exists || chapter < 0 || chapter >= disc.titles[title].chapters) {
        messages_->ShowMessage(dvd::ChapterItemName(title, chapter) +
                               " does not exist on this disc");
        return false;
    }
    dvd::CatalogueRow row;
    row.name = dvd::ChapterItemName(title, chapter);
    row.item = core::MakeTitleItem(title, catalogue_->ChapterLengthMs(title, chapter));
    row.item.chapter_index = chapter;
    row.original_length = row.trimmed_length =
        dvd::DurationText(static_cast<double>(row.item.length_ms));
    row.output_name = row.name + profile_.FormatExt;
    if (static_cast<size_t>(title) < catalogue_->source_facts().chapter_ms.size()) {
        // A Blu-ray title is read whole: the chapter is its stretch of the title.
        const auto whole = static_cast<int64_t>(std::floor(disc.titles[title].duration_ms));
        int64_t start_ms = 0;
        for (int c = 0; c < chapter; ++c) start_ms += catalogue_->ChapterLengthMs(title, c);
        const int64_t length_ms = row.item.length_ms;
        row.item = core::MakeTitleItem(title, whole);
        row.item.trim_start_ms = start_ms;
        row.item.trim_length_ms = std::min(length_ms, whole - start_ms);
    }
    catalogue_->rows().assign(1, std::move(row));
    selected_row_ = 0;
    return true;
}

bool DiscSession::UseChapterRange(int title, int first, int last) {
    if (!UseChapter(title, last) || !UseChapter(title, first)) return false;
    int64_t start_ms = 0, length_ms = 0;
    for (int c = 0; c <= last; ++c) {
        const int64_t chapter_ms = std::max<int64_t>(catalogue_->ChapterLengthMs(title, c), 0);
        (c < first ? start_ms : length_ms) += chapter_ms;
    }
    const dvd::DvdTitleInfo& info = catalogue_->disc().titles[title];
    dvd::CatalogueRow& row = catalogue_->rows().front();
    char last_text[16];
    std::snprintf(last_text, sizeof(last_text), "-%02d", last + 1);
    row.name = dvd::ChapterItemName(title, first) + last_text;
    row.item = core::MakeTitleItem(title, static_cast<int64_t>(std::floor(info.duration_ms)));
    row.item.trim_start_ms = std::min(start_ms, row.item.length_ms);
    row.item.trim_length_ms = std::min(length_ms, row.item.length_ms - row.item.trim_start_ms);
    row.original_length = dvd::DurationText(static_cast<double>(row.item.length_ms));
    row.trimmed_length = dvd::DurationText(static_cast<double>(row.item.trim_length_ms));
    row.output_name = row.name + profile_.FormatExt;
    return true;
}

bool DiscSession::CheckLongestTitle() {
    std::vector<dvd::CatalogueRow>& rows = catalogue_->rows();
    dvd::CatalogueRow* longest = nullptr;
    for (dvd::CatalogueRow& row : rows)
        if (row.checked && row.item.chapter_index < 0 &&
            (!longest || row.item.length_ms > longest->item.length_ms))
            longest = &row;
    // A disc that marks its main feature (a Blu-ray's playlists) is taken at its word.
    for (dvd::CatalogueRow& row : rows)
        if (row.checked && row.item.chapter_index < 0 && row.item.title_index == MainFeatureTitle())
            longest = &row;
    for (dvd::CatalogueRow& row : rows) row.checked = &row == longest;
    return longest != nullptr;
}

int DiscSession::UncheckShorterThan(int64_t shortest_ms) {
    int unchecked = 0;
    for (dvd::CatalogueRow& row : catalogue_->rows()) {
        if (!row.checked || row.item.length_ms <= 0 || row.item.length_ms >= shortest_ms) continue;
        row.checked = false;
        ++unchecked;
    }
    return unchecked;
}

int DiscSession::TrimCheckedRows(int64_t start_ms, int64_t end_ms) {
    int unchecked = 0;
    for (dvd::CatalogueRow& row : catalogue_->rows()) {
        if (!row.checked || row.item.length_ms <= 0) continue;  // unreadable: CheckedRows says so
        if (start_ms >= row.item.length_ms) {
            messages_->ShowMessage(
                Arg(Text("disc", "%1 ends before the trim start; it is skipped"), row.name));
            row.checked = false;
            ++unchecked;
            continue;
        }
        row.item.trim_start_ms = start_ms;
        row.item.trim_length_ms = std::min(end_ms, row.item.length_ms) - start_ms;
        row.trimmed_length = dvd::DurationText(static_cast<double>(row.item.trim_length_ms));
    }
    return unchecked;
}

// --- Editor ------------------------------------------------------------------

int DiscSession::BeginEdit() {
    int row = selected_row_;
    if (row == kNoRow) row = row_count() > 0 ? 0 : kNoRow;
    if (row == kNoRow) {
        messages_->ShowMessage(Text("disc", kPleaseSelectOne));
        return kNoRow;
    }
    if (row == kRootRow) {
        messages_->ShowMessage(kGetItemDataError);
        return kNoRow;
    }
    current_edit_.OnEditorOpen(catalogue_->rows()[row].item);
    return row;
}

void DiscSession::EndEdit(int row) {
    if (row < 0 || row >= row_count()) return;
    dvd::CatalogueRow& edited = catalogue_->rows()[row];
    current_edit_.OnEditorClosed(edited.item);
    edited.trimmed_length = dvd::DurationText(static_cast<double>(edited.item.trim_length_ms));
}

void DiscSession::SetCurrentEdit(const core::EditSettings& edit) {
    core::ConvertItem carrier{};
    carrier.edit = edit;
    current_edit_.OnEditorClosed(carrier);
}

bool DiscSession::CropFitsCheckedRows() const {
    const core::EditSettings& edit = current_edit();
    const core::EditSettings& whole = core::kDefaultEditSettings;
    if (edit.crop_left == 0 && edit.crop_top == 0 && edit.crop_right == whole.crop_right &&
        edit.crop_bottom == whole.crop_bottom)
        return true;
    for (const dvd::CatalogueRow& row : catalogue_->rows()) {
        if (!row.checked) continue;
        const int title = row.item.title_index;
        int32_t width = 0, height = 0;
        const std::vector<std::string>& files = catalogue_->source_files();
        bool sized = false;
        if (!files.empty()) {
            sized = title >= 0 && title < static_cast<int>(files.size()) &&
                    engine::FilePictureSize(files[static_cast<size_t>(title)], &width, &height);
        } else if (dvd::MyDvdStreamPictureSize(catalogue_->handle(), title, &width, &height)) {
            sized = true;
        } else if (dvd::DvdVideoInfo video{};
                   dvd::MyDVDGetVideoInfo(catalogue_->handle(), title, &video)) {
            width = video.width;
            height = video.height;
            sized = width > 0 && height > 0;
        }
        if (!sized || (edit.crop_right <= width && edit.crop_bottom <= height)) continue;
        messages_->ShowMessage(
            "The crop rectangle " + std::to_string(edit.crop_left) + "," +
            std::to_string(edit.crop_top) + "," + std::to_string(edit.crop_right) + "," +
            std::to_string(edit.crop_bottom) + " reaches outside the " + std::to_string(width) +
            "x" + std::to_string(height) + " pictures of " + RowName(row.item));
        return false;
    }
    return true;
}

// --- Start -------------------------------------------------------------------

bool DiscSession::RequireProfile() const {
    if (has_profile_) return true;
    messages_->ShowMessage(
        no_profile_reason_.empty()
            ? Text("disc", "There is no output profile to convert to: choose one")
            : Arg(Text("disc", "There is no output profile to convert to (%1)"),
                  no_profile_reason_));
    return false;
}

bool DiscSession::AcceptOutputFolder(const std::string& field, bool remember) {
    if (const std::string problem = OutputFolderProblem(field); !problem.empty()) {
        messages_->ShowMessage(Text("disc", kInvalidOutputDirectory) + ": " + problem);
        return false;
    }
    if (remember && field != settings_->values().out_folder) settings_->SetOutFolder(field);
    return true;
}

int32_t DiscSession::ResolveTrack(const TrackChoice& choice, int title, bool audio,
                                  const std::string& name, bool further) const {
    const dvd::DvdTitleInfo& info = catalogue_->disc().titles[title];
    const int count =
        std::clamp(audio ? info.audio_count : info.subtitle_count, 0, dvd::kDvdMaxStreams);
    const int32_t* ids = audio ? info.audio_id : info.subtitle_id;
    const int32_t* languages = audio ? info.audio_language : info.subtitle_language;
    const int32_t first = count > 0 ? ids[0] : (audio ? 0 : dvd::kNoSubtitleId);
    if (!audio && choice.none) return dvd::kNoSubtitleId;
    const bool chosen = choice.position > 0 || !choice.language.empty() || choice.id != 0;
    if (!chosen) return first;
    if (choice.id != 0) {
        for (int i = 0; i < count; ++i)
            if (ids[i] == choice.id) return ids[i];
    }
    if (choice.position > 0 && choice.position <= count) return ids[choice.position - 1];
    if (!choice.language.empty()) {
        for (int i = 0; i < count; ++i)
            if (LanguageMatches(languages[i], choice.language)) return ids[i];
    }
    if (choice.id == 0) {
        messages_->ShowMessage(
            name + " has no " + (audio ? "audio" : "subtitle") + " track " +
            (choice.position > 0 ? std::to_string(choice.position) : choice.language) +
            (further ? "; it is left out" : "; it keeps its first one"));
    }
    if (further) return audio ? 0 : dvd::kNoSubtitleId;
    return first;
}

std::vector<engine::BatchRow> DiscSession::CheckedRows(int* unreadable) const {
    std::vector<engine::BatchRow> batch;
    for (const dvd::CatalogueRow& row : catalogue_->rows()) {
        if (!row.checked) continue;
        const std::string name = RowName(row.item);
        if (catalogue_->disc().titles[row.item.title_index].chapters <= 0 ||
            row.item.length_ms <= 0) {
            // The title set's information could not be read (a damaged disc
            // or a cut-off image): there is nothing to find the title by.
            messages_->ShowMessage(
                name +
                " cannot be read on this disc (its title set's information is damaged "
                "or missing); it is skipped");
            if (unreadable) ++*unreadable;
            continue;
        }
        engine::StreamChoice streams;
        streams.audio_id = ResolveTrack(every_audio_ ? TrackChoice{} : audio_choice_,
                                        row.item.title_index, true, name);
        streams.subtitle_id = ResolveTrack(subtitle_choice_, row.item.title_index, false, name);
        engine::BatchRow& added = batch.emplace_back();
        added.output_name = row.output_name;
        added.item = row.item;
        added.streams = streams;
        added.audio_languages = {AudioLanguage(row.item.title_index, streams.audio_id)};
        added.chapters = ChapterMarks(row.item);
        AddFurtherTracks(row, name, &added);
    }
    return batch;
}

ConversionJob DiscSession::MakeJob(const JobChoices& choices, int* unreadable) const {
    ConversionJob job;
    job.source = {disc_path_, catalogue_->handle(), catalogue_->source_files()};
    if (!has_profile_) return job;
    job.items = CheckedRows(unreadable);
    for (engine::BatchRow& row : job.items) row.item.edit = current_edit();
    job.profile = profile_;
    job.watermark = watermark_;
    job.picture_cleanup = cleanup_;
    job.output_folder = choices.output_folder;
    job.overwrite = choices.overwrite;
    job.merge = choices.merge;
    switch (choices.after) {
        case AfterAction::kStored:
            job.stored_action = settings().action;
            break;
        case AfterAction::kNone:
            break;
        case AfterAction::kShutDown:
            job.shut_down = true;
            break;
        case AfterAction::kOpenFolder:
            job.open_folder = true;
            break;
    }
    core::Settings run_settings = settings();
    if (choices.cpu_usage) run_settings.cpu_usage = choices.cpu_usage;
    job.thread_count = run_settings.ThreadCount();
    return job;
}

void DiscSession::AddFurtherTracks(const dvd::CatalogueRow& row, const std::string& name,
                                   engine::BatchRow* added) const {
    // A track the title lacks, or has chosen already, keeps its place (an
    // id of 0 or kNoSubtitleId), so that the tracks of a merged file line up.
    const int title = row.item.title_index;
    engine::StreamChoice& streams = added->streams;
    if (every_audio_) {
        const dvd::DvdTitleInfo& info = catalogue_->disc().titles[title];
        const int count = std::clamp(info.audio_count, 0, dvd::kDvdMaxStreams);
        for (int i = 1; i < count; ++i) {
            streams.further_audio_ids.push_back(info.audio_id[i]);
            added->audio_languages.push_back(AudioLanguage(title, info.audio_id[i]));
        }
    }
    for (const TrackChoice& choice :
         every_audio_ ? std::vector<TrackChoice>{} : further_audio_choices_) {
        int32_t id = ResolveTrack(choice, title, true, name, true);
        if (id == streams.audio_id ||
            std::find(streams.further_audio_ids.begin(), streams.further_audio_ids.end(), id) !=
                streams.further_audio_ids.end())
            id = 0;
        streams.further_audio_ids.push_back(id);
        added->audio_languages.push_back(id == 0 ? std::string() : AudioLanguage(title, id));
    }

    // Soft subtitles need the disc's colour table; a Blu-ray's graphics carry their own
    // colours, and only Matroska keeps them.
    const int32_t handle = catalogue_->handle();
    uint32_t palette[16];
    dvd::DvdVideoInfo video{};
    const bool graphics = !catalogue_->source_facts().disc_name.empty();
    if (graphics && soft_subtitles_ && !subtitle_choice_.none &&
        std::string(profile_.FormatExt) != ".mkv") {
        messages_->ShowMessage(name +
                               ": Blu-ray subtitles are kept as subtitle streams only in MKV "
                               "files; the chosen one is drawn into the pictures");
        return;
    }
    if (graphics) {
        const std::vector<std::string>& files = catalogue_->source_files();
        if (static_cast<size_t>(title) < files.size())
            engine::FilePictureSize(files[static_cast<size_t>(title)], &video.width, &video.height);
    }
    if (!soft_subtitles_ || subtitle_choice_.none ||
        (!graphics && (handle == 0 || !catalogue_->source_files().empty() ||
                       !dvd::MyDVDGetPalette(handle, title, palette) ||
                       !dvd::MyDVDGetVideoInfo(handle, title, &video))))
        return;
    std::vector<int32_t>& ids = streams.soft_subtitle_ids;
    ids.push_back(streams.subtitle_id);
    for (const TrackChoice& choice : further_subtitle_choices_) {
        const int32_t id = ResolveTrack(choice, title, false, name, true);
        ids.push_back(std::find(ids.begin(), ids.end(), id) == ids.end() ? id : dvd::kNoSubtitleId);
    }
    const dvd::DvdTitleInfo& info = catalogue_->disc().titles[title];
    const int count = std::clamp(info.subtitle_count, 0, dvd::kDvdMaxStreams);
    for (int32_t id : ids) {
        core::SubtitleTrackFormat& format = added->subtitle_tracks.emplace_back();
        for (int i = 0; i < count; ++i)
            if (info.subtitle_id[i] == id)
                format.language = dvd::LanguageCode3(info.subtitle_language[i]);
        format.graphics = graphics;
        for (int i = 0; i < 16 && !graphics; ++i)
            format.palette_rgb[static_cast<size_t>(i)] =
                decoders::SubpictureOverlay::YCrCbToRgb(palette[i]);
        format.width = video.width;
        format.height = video.height;
    }
}

std::vector<core::ChapterMark> DiscSession::ChapterMarks(const core::ConvertItem& item) const {
    const int32_t handle = catalogue_->handle();
    const int title = item.title_index;
    // A Blu-ray title's chapters are its playlist's marks.
    const bool marked = static_cast<size_t>(title) < catalogue_->source_facts().chapter_ms.size();
    if (!marked && (handle == 0 || !catalogue_->source_files().empty())) return {};
    const int chapters = catalogue_->disc().titles[title].chapters;
    if (item.chapter_index >= 0) return {{0, "Chapter " + std::to_string(item.chapter_index + 1)}};
    const int64_t from = item.trim_start_ms;
    const int64_t to = item.trim_start_ms + item.trim_length_ms;
    std::vector<core::ChapterMark> marks;
    double start = 0;
    for (int c = 0; c < chapters; ++c) {
        const double length = marked ? static_cast<double>(catalogue_->ChapterLengthMs(title, c))
                                     : dvd::MyDvdGetChapterDuration(handle, title, c);
        if (length < 0) break;
        const double end = start + length;
        const auto begin = static_cast<int64_t>(std::llround(start));
        if (begin >= to) break;
        if (end > from && length > 0)
            marks.push_back(
                {std::max<int64_t>(begin - from, 0), "Chapter " + std::to_string(c + 1)});
        start = end;
    }
    return marks;
}

std::string DiscSession::AudioLanguage(int title, int32_t audio_id) const {
    const dvd::DvdTitleInfo& info = catalogue_->disc().titles[title];
    const int count = std::clamp(info.audio_count, 0, dvd::kDvdMaxStreams);
    for (int i = 0; i < count; ++i)
        if (info.audio_id[i] == audio_id || (audio_id == 0 && i == 0))
            return dvd::LanguageCode3(info.audio_language[i]);
    return {};
}

}  // namespace rizuvira::app
