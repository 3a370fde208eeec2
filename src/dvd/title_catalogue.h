// SPDX-License-Identifier: GPL-2.0-or-later
// The title catalogue: what the program knows about the opened disc. It owns
// the disc handle and the disc record, the rows offered for conversion (one
// per title of at least 3 s or that cannot be read, each with its ConvertItem), and the audio and
// subtitle lists of the title last shown with the current choice in each.
//
// Row names are also the keys the title and chapter are read back from:
// "Title_%02d" and "Chapter_%02d_%02d", counted from 1.
//
// Threads: one owner thread (the main window's or the command line's); not
// locked. The hooks are called on that thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/convert_item.h"
#include "core/messages.h"
#include "dvd/dvd_access.h"

namespace rizuvira::dvd {

inline constexpr const char* kOpenDvdError = "Open DVD error";
inline constexpr const char* kLoadDvdError = "Load DVD error";
// The subtitle list's last entry, which leaves the subpicture unjoined.
inline constexpr const char* kNoSubtitleText = "None";
inline constexpr int32_t kNoSubtitleId = -1;

struct CatalogueRow {
    std::string name;             // "Title_01"; column "Source file"
    std::string original_length;  // "00:01:00"
    std::string trimmed_length;
    std::string output_name;  // name + the profile's extension; column "Output Format"
    bool checked = true;
    core::ConvertItem item{};
};

// What a source says of its titles beyond the record: a Blu-ray names itself and marks its
// chapters in time (no sectors) and its main feature.
struct SourceFacts {
    std::string disc_name;                        // empty: a DVD or a plain file
    std::vector<std::vector<double>> chapter_ms;  // per title; empty: from the record
    int main_feature = -1;                        // a title; -1: none marked
    std::vector<std::string> playlists;           // per title: its playlist ("00000.mpls")
    std::vector<int> clips;                       // per title: the clips its playlist joins
    std::vector<int> angles;                      // per title: its angles (the first is read)
};

struct StreamEntry {
    std::string text;  // "English(AC3 6ch)", "English", "None"
    int32_t id;        // whole track id (the title record's); kNoSubtitleId for "None"
};

class TitleCatalogue {
public:
    // Builds the preview graph of a freshly opened disc and shows title 0;
    // false when it cannot. The command line gives none.
    using PreviewHook = std::function<bool(int32_t dvd_handle)>;
    // Looks for preview streams matching a whole stream id, enables them and
    // says whether any matched. Without one every id matches.
    using StreamMatchHook = std::function<bool(int32_t stream_id)>;

    // `messages` and `current_edit` must outlive the catalogue.
    TitleCatalogue(core::MessageSink* messages, core::CurrentEditSettings* current_edit);
    ~TitleCatalogue();  // closes the disc
    TitleCatalogue(const TitleCatalogue&) = delete;
    TitleCatalogue& operator=(const TitleCatalogue&) = delete;

    void SetPreviewHook(PreviewHook hook) { preview_ = std::move(hook); }
    void SetStreamMatchHook(StreamMatchHook hook) { match_ = std::move(hook); }
    // The profile's extension (".mp4") that output names end in.
    void SetFormatExt(std::string format_ext) { format_ext_ = std::move(format_ext); }

    // Called once the new source is known to open, just before the open
    // disc closes: whatever reads the old disc (a preview) lets go of it.
    using BeforeClose = std::function<void()>;

    // Opens `path` and, once it has opened, closes the open disc and lists
    // the new one. False with "Open DVD error: PATH" and the reason (the
    // open disc, its rows and lists stay as they were; `before_close` is not
    // called) or "Load DVD error" (the preview failed; the new disc stays
    // open, rows kept).
    bool LoadDisc(const std::string& path, const BeforeClose& before_close = {});
    // A plain MPEG file as a disc of one title: closes the open disc and
    // lists `record` (see ProbeMpegFile), its one title however short.
    void LoadFileRecord(const std::string& path, const TitleTable& record,
                        const BeforeClose& before_close = {});
    // Files as the titles of a disc (the clips of a Blu-ray folder): closes
    // the open disc and lists `record`, title t read from files[t].
    void LoadFileRecords(std::vector<std::string> files, const TitleTable& record,
                         const BeforeClose& before_close = {}, SourceFacts facts = {});
    const SourceFacts& source_facts() const { return facts_; }
    // The file each title is read from: one for a plain file, one per title
    // for a Blu-ray folder; empty for a disc read through the DVD layer.
    const std::vector<std::string>& source_files() const { return source_files_; }

    // Lists `disc` as LoadDisc does after opening: rows, current edit
    // settings from title 0's row, stream lists of title 0.
    void ListDisc(const TitleTable& disc);

    int32_t handle() const { return handle_; }
    const TitleTable& disc() const { return *disc_; }
    std::vector<CatalogueRow>& rows() { return rows_; }
    const std::vector<CatalogueRow>& rows() const { return rows_; }
    int selected_row() const { return selected_row_; }  // -1: none

    // The stream lists of the title last shown, and the current ids.
    const std::vector<StreamEntry>& audio_list() const { return audio_; }
    const std::vector<StreamEntry>& subtitle_list() const { return subtitles_; }
    int32_t current_audio_id() const { return audio_id_; }
    int32_t current_subtitle_id() const { return subtitle_id_; }

    // Refills the lists from the title of row `row` (any row naming an
    // existing title, chapters included). Clicking the same row again does
    // nothing; false then, and for a row that names no title.
    bool ShowTitleStreams(int row);
    // Empties both stream lists (Clear All).
    void ClearStreamLists();
    // Rewrites every row's output name for a new extension.
    void RefreshOutputNames(const std::string& format_ext);
    // Makes an entry's id current when the stream-match hook finds it.
    bool SelectAudio(int entry);
    bool SelectSubtitle(int entry);

    // Whole milliseconds of one chapter of the open disc: its cells' playing
    // time; for a source without cells (a plain file) the title's duration
    // shared out by sectors; for a Blu-ray title its marks' times. -1 for no such chapter.
    int64_t ChapterLengthMs(int title, int chapter) const;

    static std::string LanguageName(int32_t code);

private:
    void CloseDisc(const BeforeClose& before_close = {});
    void FillStreamLists(int title);
    std::string OutputName(const core::ConvertItem& item) const;

    core::MessageSink* const messages_;
    core::CurrentEditSettings* const current_edit_;
    PreviewHook preview_;
    StreamMatchHook match_;
    std::string format_ext_;

    int32_t handle_ = 0;
    std::vector<std::string> source_files_;  // empty: the disc of handle_
    SourceFacts facts_;
    std::unique_ptr<TitleTable> disc_;
    std::vector<CatalogueRow> rows_;
    int selected_row_ = -1;
    int last_shown_row_ = -1;
    std::vector<StreamEntry> audio_;
    std::vector<StreamEntry> subtitles_;
    int32_t audio_id_ = 0;
    int32_t subtitle_id_ = 0;
};

}  // namespace rizuvira::dvd
