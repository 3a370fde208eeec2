// SPDX-License-Identifier: GPL-2.0-or-later
// The words and names under which titles, chapters and streams of a disc are
// listed: item names (which are also the keys the title and chapter are read
// back from), length texts and the audio and subtitle entries.
#pragma once

#include <string>

#include "dvd/dvd_access.h"

namespace rizuvira::dvd {

// Titles shorter than this are not offered for conversion.
inline constexpr double kShortestListedTitleMs = 3000.0;

bool IsListedTitle(const DvdTitleInfo& title);

// "Title_01" for title index 0; "Chapter_01_03" for title 0, chapter 2.
std::string TitleItemName(int title);
std::string ChapterItemName(int title, int chapter);

// Reads an item name back into indexes from 0; chapter is -1 for a whole
// title. False when the name is neither form.
bool ParseItemName(const std::string& name, int* title, int* chapter);

// A title's duration as the list shows it: core::TimeText, "hh:mm:ss" of the whole seconds.
std::string DurationText(double duration_ms);

// "AC3", "MP3", "LPCM", "DTS", and for plain files "AAC" and "E-AC3"; empty
// for any other coding.
std::string AudioCodingName(int coding);

// The channels the field (channels less one, 0..7) says: 1 for mono, 6 for
// 5.1; 2 for a value outside the field's range.
int AudioChannelCount(int channels_less_one);

// "English(AC3 6ch)"; "Unknown(AC3 6ch)" when the language has no name.
std::string AudioEntryText(const DvdTitleInfo& title, int stream);

// The language name of the subtitle stream, or "Unknown".
std::string SubtitleEntryText(const DvdTitleInfo& title, int stream);

}  // namespace rizuvira::dvd
