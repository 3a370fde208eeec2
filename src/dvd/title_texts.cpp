// SPDX-License-Identifier: GPL-2.0-or-later
#include "dvd/title_texts.h"

#include <cstdio>
#include <cstring>

#include "core/time_text.h"
#include "dvd/language_names.h"

namespace rizuvira::dvd {

bool IsListedTitle(const DvdTitleInfo& title) {
    return title.duration_ms >= kShortestListedTitleMs;
}

std::string TitleItemName(int title) {
    char text[32];
    std::snprintf(text, sizeof(text), "Title_%02d", title + 1);
    return text;
}

std::string ChapterItemName(int title, int chapter) {
    char text[40];
    std::snprintf(text, sizeof(text), "Chapter_%02d_%02d", title + 1, chapter + 1);
    return text;
}

bool ParseItemName(const std::string& name, int* title, int* chapter) {
    int t = 0;
    int c = 0;
    if (name.find("Title") != std::string::npos) {
        if (std::sscanf(name.c_str(), "Title_%02d", &t) != 1) return false;
        *title = t - 1;
        *chapter = -1;
        return true;
    }
    if (name.find("Chapter") != std::string::npos) {
        if (std::sscanf(name.c_str(), "Chapter_%02d_%02d", &t, &c) != 2) return false;
        *title = t - 1;
        *chapter = c - 1;
        return true;
    }
    return false;
}

std::string DurationText(double duration_ms) {
    return core::TimeText(static_cast<int64_t>(duration_ms));
}

std::string AudioCodingName(int coding) {
    switch (coding) {
        case kDvdAudioAc3:
            return "AC3";
        case kDvdAudioMpeg1:
        case kDvdAudioMpeg2:
            return "MP3";
        case kDvdAudioLpcm:
            return "LPCM";
        case kDvdAudioDts:
            return "DTS";
        case kDvdAudioAac:
            return "AAC";
        case kDvdAudioEac3:
            return "E-AC3";
        default:
            return "";
    }
}

int AudioChannelCount(int channels_less_one) {
    return channels_less_one >= 0 && channels_less_one < 8 ? channels_less_one + 1 : 2;
}

std::string AudioEntryText(const DvdTitleInfo& title, int stream) {
    return LanguageText(title.audio_language[stream]) + "(" +
           AudioCodingName(title.audio_coding[stream]) + " " +
           std::to_string(AudioChannelCount(title.audio_channels[stream])) + "ch)";
}

std::string SubtitleEntryText(const DvdTitleInfo& title, int stream) {
    return LanguageText(title.subtitle_language[stream]);
}

}  // namespace rizuvira::dvd
