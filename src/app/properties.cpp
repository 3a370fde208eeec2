// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/properties.h"

#include <cstdio>

#include "app/texts.h"

namespace rizuvira::app {

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

PropertiesTexts MakePropertiesTexts(const engine::StreamInfoList& streams) {
    PropertiesTexts texts;
    if (streams.video_count > 0) {
        const engine::StreamInfoList::Video& v = streams.video[0];
        texts.resolution = Format("%dx%d", v.width, v.height);
        texts.video_bitrate = Format("%.2f kbps", v.bit_rate / 1000.0);
        if (v.frame_duration_100ns > 0)
            texts.frame_rate = Format("%.3f fps", 10000000.0 / v.frame_duration_100ns);
    }
    if (streams.audio_count > 0) {
        const engine::StreamInfoList::Audio& a = streams.audio[0];
        texts.audio_bitrate = Format("%.3f kbps", a.bit_rate / 1000.0);
        texts.audio_sample_rate = Format("%d Hz", a.sample_rate);
        switch (a.channels) {
            case 1:
                texts.channels = Text("properties", "Channel Mono");
                break;
            case 2:
                texts.channels = Text("properties", "Channels Stereo");
                break;
            case 6:
                texts.channels = "5.1";
                break;
            default:
                break;
        }
    }
    return texts;
}

}  // namespace rizuvira::app
