// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/conversion_options.h"

#include <algorithm>
#include <cmath>

#include "dvd/dvd_access.h"
#include "dvd/title_texts.h"

namespace rizuvira::app {

void ApplyConversionOptions(const ConversionOptions& options, DiscSession* session) {
    session->SetPictureCleanup(options.cleanup);
    session->ChooseSoftSubtitles(options.soft_subtitles);
    std::vector<TrackChoice> further;
    for (size_t i = 1; i < options.sound_tracks.size(); ++i) {
        TrackChoice choice;
        choice.position = options.sound_tracks[i];
        further.push_back(choice);
    }
    TrackChoice first;
    if (!options.sound_tracks.empty())
        first.position = options.sound_tracks.front();
    else if (session->has_disc())
        first.id = session->catalogue().current_audio_id();  // as a click in the list chose it
    session->ChooseAudio(first);
    session->ChooseFurtherAudio(std::move(further));
}

int ChapterCount(const DiscSession& session, int row) {
    if (!session.has_disc() || row < 0 || row >= session.row_count()) return 0;
    const dvd::TitleCatalogue& catalogue = session.catalogue();
    if (catalogue.handle() == 0 || !catalogue.source_files().empty()) return 0;
    const core::ConvertItem& item = session.row(row).item;
    if (item.chapter_index >= 0) return 0;
    return catalogue.disc().titles[item.title_index].chapters;
}

bool TrimToChapters(DiscSession* session, int row, int first, int last) {
    const int count = ChapterCount(*session, row);
    if (first < 1 || last < first || last > count) return false;
    dvd::CatalogueRow& edited = session->catalogue().rows()[row];
    const int32_t handle = session->catalogue().handle();
    double start = 0, end = 0;
    for (int c = 0; c < last; ++c) {
        const double length = dvd::MyDvdGetChapterDuration(handle, edited.item.title_index, c);
        if (length < 0) return false;
        if (c < first - 1) start += length;
        end += length;
    }
    const int64_t start_ms = std::llround(start);
    const int64_t end_ms = std::min<int64_t>(std::llround(end), edited.item.length_ms);
    if (end_ms <= start_ms) return false;
    edited.item.trim_start_ms = start_ms;
    edited.item.trim_length_ms = end_ms - start_ms;
    edited.trimmed_length = dvd::DurationText(static_cast<double>(edited.item.trim_length_ms));
    return true;
}

}  // namespace rizuvira::app
