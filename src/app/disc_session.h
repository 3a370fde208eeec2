// SPDX-License-Identifier: GPL-2.0-or-later
// The main window's rules without the window: the profile catalogue and the
// current profile, the open disc with its rows and their check marks, the
// audio and subtitle choice, the process's current edit settings, the
// editor's open/close rule, the checks of Start and the conversion job it
// hands to the run (the preview's rules are PreviewController's). The
// desktop program and the command line drive the same object: a click and a
// command-line option end in the same call.
//
// Threads: one owner thread (the main window's or the command line's); not
// locked. Messages go to the MessageSink given at construction.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/conversion_job.h"
#include "app/custom_output_settings.h"
#include "app/saved_profiles.h"
#include "app/texts.h"
#include "core/convert_item.h"
#include "core/messages.h"
#include "core/output_profile.h"
#include "core/picture_cleanup.h"
#include "core/profile_catalogue.h"
#include "core/settings_store.h"
#include "core/watermark.h"
#include "dvd/title_catalogue.h"
#include "engine/run_controller.h"

namespace rizuvira::app {

inline constexpr const char* kApplicationTitle = "Rizuvira DVD Converter";
inline constexpr const char* kLoadFormatError = "Load Format.xml error";
inline constexpr const char* kGetFormatError = "get format error";
inline constexpr const char* kPleaseSelectOne =
    QT_TRANSLATE_NOOP("disc", "Please select one first");
inline constexpr const char* kGetItemDataError = "GetItemData error";
inline constexpr const char* kInvalidOutputDirectory =
    QT_TRANSLATE_NOOP("disc", "Invalid output directory");
// The profile the command line converts to without -p, as users number
// profiles (from 1; the catalogue's id 1).
inline constexpr int kDefaultProfileNumber = 2;

// A row's check mark; the root shows kPartly when its rows differ.
enum class CheckState { kUnchecked = 1, kPartly = 2, kChecked = 3 };

// A track chosen by the user: by its position in a title's list (from 1),
// by language code (two or three letters), by whole stream id (a click in
// the stream list), or no subtitle at all.
struct TrackChoice {
    int position = 0;
    std::string language;
    int32_t id = 0;  // 0: not by id
    bool none = false;
};

// The main window's root row, and no row at all.
inline constexpr int kRootRow = -1;
inline constexpr int kNoRow = -2;

class DiscSession {
public:
    // `messages` and `settings` must outlive the session.
    DiscSession(core::MessageSink* messages, core::SettingsStore* settings);
    ~DiscSession();
    DiscSession(const DiscSession&) = delete;
    DiscSession& operator=(const DiscSession&) = delete;

    // --- Profiles -----------------------------------------------------------
    // Reads the catalogue, then the user's saved profiles (Format.user.xml
    // beside the settings file), and makes the profile of id 1 current
    // when it can be used. False with "Load Format.xml error: FILE: REASON"
    // when the catalogue cannot be read; a saved file that cannot be read
    // is reported and left out.
    bool LoadProfiles(const std::filesystem::path& file);
    const core::ProfileCatalogue& profiles() const { return library_.catalogue(); }
    ProfileLibrary& profile_library() { return library_; }
    // After profiles were saved or deleted: a current profile whose id has
    // left the catalogue gives way to the profile of id 1.
    void ProfilesChanged();
    // False until a profile is current (a catalogue without id 1).
    bool has_profile() const { return has_profile_; }
    const core::OutputProfile& profile() const { return profile_; }
    // The profile list's choice. The current id again changes nothing;
    // an id the catalogue lacks says "Cann`t get format", a profile with a
    // value out of range says which (ProfileLibrary::Problem) and stays
    // unchosen. A new profile rewrites every row's output name. True when
    // the profile changed.
    bool ChooseProfile(int32_t id);
    // By number when `wanted` is one (the profile's id + 1: users count
    // from 1), else by name ignoring case; empty means number
    // kDefaultProfileNumber. The command line's -p. False with a message
    // when there is no such profile or it cannot be used.
    bool ChooseProfileByIdOrName(const std::string& wanted);
    // The custom output settings window's OK: the edited copy becomes
    // current; "get format error" when its id has left the catalogue.
    void ReplaceProfile(const core::OutputProfile& edited);
    // Changes to the current profile's output settings only (command-line
    // overrides); output names keep their extension.
    core::OutputSettings& output_settings() { return profile_.Settings; }

    // --- Disc ---------------------------------------------------------------
    // Opens a DVD (drive, VIDEO_TS folder, ISO image), a Blu-ray folder
    // (BDMV, or the folder holding it) or a plain MPEG file and lists it;
    // messages say what failed (a missing path, a file that is not MPEG, a
    // disc that does not open, a BDMV folder without clips) and which clips
    // of a Blu-ray folder are left out. What fails to open leaves the disc
    // open before, its rows and lists as they were; `before_close` runs once
    // `path` has opened, before that disc closes (the preview lets go of it).
    bool OpenDisc(const std::string& path,
                  const dvd::TitleCatalogue::BeforeClose& before_close = {});
    const dvd::TitleCatalogue& catalogue() const { return *catalogue_; }
    dvd::TitleCatalogue& catalogue() { return *catalogue_; }
    bool has_disc() const { return disc_open_; }
    const std::string& disc_path() const { return disc_path_; }  // as opened
    int row_count() const { return static_cast<int>(catalogue_->rows().size()); }
    const dvd::CatalogueRow& row(int index) const { return catalogue_->rows()[index]; }
    // The tree's root: "VIDEO_TS" for a DVD or a file, the disc's name and kind for a
    // Blu-ray ("FILM (Blu-ray)").
    std::string RootText() const;
    // The title of the disc's main feature (a Blu-ray marks one); -1 when none is marked.
    int MainFeatureTitle() const { return catalogue_->source_facts().main_feature; }
    // What Properties says of a Blu-ray title: "00000.mpls: 3 clips, 4 chapters, main
    // feature"; empty for a DVD's or a file's.
    std::string BlurayTitleText(int title) const;
    // Edit > Clear All: no rows, empty stream lists.
    void ClearAll();

    // --- Check marks --------------------------------------------------------
    CheckState check_state(int row) const;  // kRootRow for the root
    // A click on a row's check mark: toggles it between unchecked and
    // checked; the root gives its new value to every row.
    void ClickCheck(int row);
    void CheckAll(bool checked);

    // --- Selection and streams ---------------------------------------------
    int selected_row() const { return selected_row_; }  // kNoRow, kRootRow or a row
    // A click on a row: selects it and refills the stream lists for its
    // title. kRootRow selects the root, kNoRow nothing.
    void SelectRow(int row);
    // Back and next: the row before / after the selected one at the same
    // level; kNoRow at either end, on the root and with nothing selected.
    int PreviousRow() const;
    int NextRow() const;
    // The name the preview plays: the selected row's, else "Title_01".
    std::string PreviewItemName() const;
    // The title Play loads whole (from 0): the selected row's title, a
    // chapter row's too; title 0 when no row is selected.
    int PreviewTitle() const;
    // A click in the audio or subtitle list (entries of the lists shown).
    bool SelectAudio(int entry);
    bool SelectSubtitle(int entry);
    // The command line's choice, resolved per title when the batch is made.
    void ChooseAudio(const TrackChoice& choice) { audio_choice_ = choice; }
    void ChooseSubtitle(const TrackChoice& choice) { subtitle_choice_ = choice; }
    // Sound tracks written after the chosen one, each a track of its own
    // (the first stays the default track). A title that lacks one leaves
    // it out, with a note; one chosen twice is written once.
    void ChooseFurtherAudio(std::vector<TrackChoice> choices) {
        further_audio_choices_ = std::move(choices);
    }
    // Every sound track of each title instead, in the title's order, each with its language
    // (the first the default track).
    void ChooseEveryAudio(bool every) { every_audio_ = every; }
    // Soft subtitles: the chosen subtitle and these further ones are kept
    // as subtitle streams (where the profile's container carries them)
    // instead of drawing the chosen one into the picture.
    void ChooseSoftSubtitles(bool soft, std::vector<TrackChoice> further = {}) {
        soft_subtitles_ = soft;
        further_subtitle_choices_ = std::move(further);
    }

    // --- Rows for the command line -----------------------------------------
    // Adds a row for one title (listed or not; it is checked) unless one
    // exists; false with a message when the disc has no such title.
    bool CheckTitle(int title);
    // Puts the title rows of `titles` first, in that order (the command
    // line's -t 2,1 converts title 2 first); other rows follow as they were.
    void OrderTitleRows(const std::vector<int>& titles);
    // Replaces the rows with one row for one chapter; false with a message
    // when there is no such chapter.
    bool UseChapter(int title, int chapter);
    // Replaces the rows with one row for chapters first..last of one title
    // (first < last): the title trimmed to their start and length, named
    // "Chapter_01_02-04". False with a message when a chapter is missing.
    bool UseChapterRange(int title, int first, int last);
    // Leaves only the main feature's row checked: the title the disc marks
    // as such where it is checked, else the longest checked title (the first
    // of equals); false when no row is checked.
    bool CheckLongestTitle();
    // Unchecks the checked rows shorter than `shortest_ms`; returns how many.
    int UncheckShorterThan(int64_t shortest_ms);
    // Trims every checked row to [start_ms, end_ms) of its item; a row the
    // range misses is unchecked with a message. Returns how many rows were
    // unchecked.
    int TrimCheckedRows(int64_t start_ms, int64_t end_ms);

    // --- Editor -------------------------------------------------------------
    // Trim, Crop, Effect: the row the editor opens on (the selected row,
    // else the first), after giving it the current edit settings. -1 with
    // "Please select one first" (no rows) or "GetItemData error" (the
    // root is selected).
    int BeginEdit();
    // The editor closed, OK or Cancel: the row's settings become current and
    // its "Trimmed Length" shows its trim.
    void EndEdit(int row);
    core::ConvertItem& item(int row) { return catalogue_->rows()[row].item; }
    const core::EditSettings& current_edit() const { return current_edit_.Get(); }
    // Sets the current block directly (the command line's picture options).
    void SetCurrentEdit(const core::EditSettings& edit);
    // Whether the current crop rectangle lies inside the pictures of every
    // checked row's title (the default crop, the whole picture, always
    // does); false with a message naming the first title it leaves and
    // that title's picture size.
    bool CropFitsCheckedRows() const;
    // The process's text watermark, drawn into every converted file (empty
    // text: none). The editor's watermark page and --watermark set it.
    const core::Watermark& watermark() const { return watermark_; }
    void SetWatermark(const core::Watermark& watermark) { watermark_ = watermark; }
    // Deinterlacing and the automatic crop of every converted title
    // (--deinterlace, --crop auto); deinterlacing is automatic by default.
    const core::PictureCleanup& picture_cleanup() const { return cleanup_; }
    void SetPictureCleanup(const core::PictureCleanup& cleanup) { cleanup_ = cleanup; }

    // --- Start ---------------------------------------------------------------
    // Start needs a current profile: false with a message saying why there
    // is none (the catalogue could not be read, or its profile of id 1
    // cannot be used) until one is chosen.
    bool RequireProfile() const;
    // The output field at Start: false with "Invalid output directory: "
    // and the path and reason when it is not an existing folder; a changed
    // folder is stored when `remember` (the main window), not for a
    // one-off run.
    bool AcceptOutputFolder(const std::string& field, bool remember = true);
    // The checked rows as the batch converts them, with their tracks; a
    // note says when a title lacks a chosen track and keeps its first. A row
    // whose title cannot be read (a damaged disc) is left out with a
    // message and counted in `unreadable`.
    std::vector<engine::BatchRow> CheckedRows(int* unreadable = nullptr) const;
    // The job Start hands to the run: the open disc, the checked rows as
    // CheckedRows gives them (counting in `unreadable` those left out), each
    // item with the current edit settings, the current profile, the
    // watermark and the picture cleanup, with the front end's `choices`.
    // Without a current profile the job has no items (RequireProfile says
    // why).
    ConversionJob MakeJob(const JobChoices& choices, int* unreadable = nullptr) const;

    // --- Preview ------------------------------------------------------------
    const core::Settings& settings() const { return settings_->values(); }
    core::SettingsStore& settings_store() { return *settings_; }

private:
    // The id of the chosen track of `title`; a title without it keeps its
    // first (or, for a further track, gets 0 or kNoSubtitleId), with a note.
    int32_t ResolveTrack(const TrackChoice& choice, int title, bool audio, const std::string& name,
                         bool further = false) const;
    // The row's sound tracks and subtitle streams after the first choices.
    void AddFurtherTracks(const dvd::CatalogueRow& row, const std::string& name,
                          engine::BatchRow* batch_row) const;
    // The disc's chapters that start inside the item's range, counted from
    // the range's start; a range starting inside a chapter begins with it.
    std::vector<core::ChapterMark> ChapterMarks(const core::ConvertItem& item) const;
    // The container code of the sound track `audio_id` of `title`; empty
    // when the disc names no language for it.
    std::string AudioLanguage(int title, int32_t audio_id) const;

    core::MessageSink* const messages_;
    core::SettingsStore* const settings_;
    ProfileLibrary library_;
    core::OutputProfile profile_{};
    bool has_profile_ = false;
    std::string no_profile_reason_;  // why no profile became current at LoadProfiles
    core::CurrentEditSettings current_edit_;
    core::Watermark watermark_;
    core::PictureCleanup cleanup_;
    std::unique_ptr<dvd::TitleCatalogue> catalogue_;
    bool disc_open_ = false;
    std::string disc_path_;  // as opened
    int selected_row_ = kNoRow;
    TrackChoice audio_choice_;  // empty: the list's current entry
    TrackChoice subtitle_choice_;
    std::vector<TrackChoice> further_audio_choices_;
    bool every_audio_ = false;
    bool soft_subtitles_ = false;
    std::vector<TrackChoice> further_subtitle_choices_;
};

}  // namespace rizuvira::app
