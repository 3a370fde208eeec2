// SPDX-License-Identifier: GPL-2.0-or-later
#include "dvd/title_catalogue.h"

#include <algorithm>
#include <cmath>

#include "dvd/language_names.h"
#include "dvd/title_texts.h"

namespace rizuvira::dvd {

TitleCatalogue::TitleCatalogue(core::MessageSink* messages, core::CurrentEditSettings* current_edit)
    : messages_(messages), current_edit_(current_edit), disc_(std::make_unique<TitleTable>()) {}

TitleCatalogue::~TitleCatalogue() {
    CloseDisc();
}

void TitleCatalogue::CloseDisc(const BeforeClose& before_close) {
    if (before_close) before_close();
    if (handle_ != 0) MyDVDClose(handle_);
    handle_ = 0;
}

void TitleCatalogue::LoadFileRecord(const std::string& path, const TitleTable& record,
                                    const BeforeClose& before_close) {
    LoadFileRecords({path}, record, before_close);
    // A file is always its one title, however short.
    if (rows_.empty() && record.title_count == 1) {
        CatalogueRow row;
        row.name = TitleItemName(0);
        row.original_length = row.trimmed_length = DurationText(record.titles[0].duration_ms);
        row.item =
            core::MakeTitleItem(0, static_cast<int64_t>(std::floor(record.titles[0].duration_ms)));
        row.output_name = OutputName(row.item);
        rows_.push_back(std::move(row));
        current_edit_->OnDiscLoaded(&rows_.back().item);
        selected_row_ = 0;
    }
}

void TitleCatalogue::LoadFileRecords(std::vector<std::string> files, const TitleTable& record,
                                     const BeforeClose& before_close, SourceFacts facts) {
    CloseDisc(before_close);
    source_files_ = std::move(files);
    facts_ = std::move(facts);
    ListDisc(record);
}

bool TitleCatalogue::LoadDisc(const std::string& path, const BeforeClose& before_close) {
    // The disc open now stays until the new one has opened: a path that is
    // no disc leaves the catalogue (and the preview reading it) as it was.
    const int32_t opened = MyDVDOpen(path.c_str());
    if (opened == 0) {
        messages_->ShowMessage(std::string(kOpenDvdError) + ": " + path + DiscOpenProblem(path));
        return false;
    }
    CloseDisc(before_close);
    source_files_.clear();
    facts_ = {};
    handle_ = opened;
    auto disc = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle_, disc.get());
    if (preview_ && !preview_(handle_)) {
        messages_->ShowMessage(kLoadDvdError);
        return false;
    }
    ListDisc(*disc);
    return true;
}

void TitleCatalogue::ListDisc(const TitleTable& disc) {
    *disc_ = disc;
    rows_.clear();
    selected_row_ = -1;
    last_shown_row_ = -1;
    const int count = std::clamp(disc.title_count, 0, kDvdMaxTitles);
    for (int t = 0; t < count; ++t) {
        const DvdTitleInfo& title = disc.titles[t];
        // A title the disc names but whose information cannot be read is
        // listed all the same, so that converting it fails with a word
        // instead of leaving it out unseen.
        const bool unreadable = title.chapters <= 0 || title.duration_ms <= 0;
        if (!IsListedTitle(title) && !(unreadable && source_files_.empty())) continue;
        CatalogueRow row;
        row.name = TitleItemName(t);
        row.original_length = DurationText(title.duration_ms);
        row.trimmed_length = row.original_length;
        row.item = core::MakeTitleItem(t, static_cast<int64_t>(std::floor(title.duration_ms)));
        row.output_name = OutputName(row.item);
        rows_.push_back(std::move(row));
        if (t == 0) {
            current_edit_->OnDiscLoaded(&rows_.back().item);
            selected_row_ = static_cast<int>(rows_.size()) - 1;
        }
    }
    if (count > 0) FillStreamLists(0);
}

void TitleCatalogue::FillStreamLists(int t) {
    const DvdTitleInfo& title = disc_->titles[t];
    audio_.clear();
    subtitles_.clear();
    for (int i = 0; i < std::clamp(title.audio_count, 0, kDvdMaxStreams); ++i) {
        audio_.push_back({AudioEntryText(title, i), title.audio_id[i]});
    }
    for (int i = 0; i < std::clamp(title.subtitle_count, 0, kDvdMaxStreams); ++i) {
        subtitles_.push_back({SubtitleEntryText(title, i), title.subtitle_id[i]});
    }
    subtitles_.push_back({kNoSubtitleText, kNoSubtitleId});
    if (!audio_.empty()) audio_id_ = audio_.front().id;
    subtitle_id_ = subtitles_.front().id;
}

void TitleCatalogue::ClearStreamLists() {
    audio_.clear();
    subtitles_.clear();
    last_shown_row_ = -1;
}

bool TitleCatalogue::ShowTitleStreams(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || row == last_shown_row_) return false;
    last_shown_row_ = row;
    int title = -1, chapter = -1;
    if (!ParseItemName(rows_[row].name, &title, &chapter)) return false;
    if (title < 0 || title >= std::min(disc_->title_count, kDvdMaxTitles)) return false;
    FillStreamLists(title);
    return true;
}

std::string TitleCatalogue::OutputName(const core::ConvertItem& item) const {
    const std::string name = item.chapter_index == -1
                                 ? TitleItemName(item.title_index)
                                 : ChapterItemName(item.title_index, item.chapter_index);
    return name + format_ext_;
}

void TitleCatalogue::RefreshOutputNames(const std::string& format_ext) {
    format_ext_ = format_ext;
    for (CatalogueRow& row : rows_) row.output_name = OutputName(row.item);
}

bool TitleCatalogue::SelectAudio(int entry) {
    if (entry < 0 || entry >= static_cast<int>(audio_.size())) return false;
    const int32_t id = audio_[entry].id;
    if (match_ && !match_(id)) return false;
    audio_id_ = id;
    return true;
}

bool TitleCatalogue::SelectSubtitle(int entry) {
    if (entry < 0 || entry >= static_cast<int>(subtitles_.size())) return false;
    const int32_t id = subtitles_[entry].id;
    if (id != kNoSubtitleId && match_ && !match_(id)) return false;
    subtitle_id_ = id;
    return true;
}

int64_t TitleCatalogue::ChapterLengthMs(int title, int chapter) const {
    if (title < 0 || title >= std::min(disc_->title_count, kDvdMaxTitles)) return -1;
    const DvdTitleInfo& info = disc_->titles[title];
    const int chapters = std::clamp(info.chapters, 0, kDvdMaxChapters);
    if (chapter < 0 || chapter >= chapters) return -1;
    if (source_files_.empty()) {
        const double played_ms = MyDvdGetChapterDuration(handle_, title, chapter);
        if (played_ms >= 0) return static_cast<int64_t>(played_ms);
    }
    if (static_cast<size_t>(title) < facts_.chapter_ms.size()) {
        const std::vector<double>& lengths = facts_.chapter_ms[static_cast<size_t>(title)];
        if (static_cast<size_t>(chapter) < lengths.size())
            return static_cast<int64_t>(lengths[static_cast<size_t>(chapter)]);
    }
    double all_sectors = 0;
    for (int c = 0; c < chapters; ++c) all_sectors += info.chapter_sectors[c];
    const double share =
        all_sectors > 0 ? info.chapter_sectors[chapter] / all_sectors : 1.0 / chapters;
    return static_cast<int64_t>(info.duration_ms * share);
}

std::string TitleCatalogue::LanguageName(int32_t code) {
    return rizuvira::dvd::LanguageName(code);
}

}  // namespace rizuvira::dvd
