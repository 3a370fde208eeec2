// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/border_probe.h"

#include "decoders/video_renderer.h"
#include "engine/preview_player.h"

namespace rizuvira::engine {

std::optional<filters::CropBox> MeasureTitleBorders(int32_t dvd_handle, int title,
                                                    const std::filesystem::path& file,
                                                    int64_t file_length_ms) {
    using Shown = decoders::HeadlessVideoSurface::Shown;
    decoders::HeadlessVideoSurface surface;
    engine::PreviewPlayer player(nullptr);
    player.SetSoundWanted(false);  // pictures only: no sound device is opened
    const bool opened =
        file.empty()
            ? player.Open(dvd_handle, &surface, nullptr, {}) && player.SelectTitle(title, -1)
            : player.OpenFile(file, file_length_ms, &surface, nullptr, {}) &&
                  player.SelectTitle(0, -1);
    if (!opened) return std::nullopt;
    double duration_s = static_cast<double>(player.duration_ms()) / 1000.0;
    if (duration_s <= 0) player.GetPlayDuration(&duration_s);

    player.Pause();
    // The paused graph shows its first picture; every seek shows one more.
    if (!surface.WaitUntil([](const Shown& shown) { return shown.serial > 0; }, kBorderProbeWait)) {
        player.Close();
        return std::nullopt;
    }
    const Shown first = surface.Last();
    filters::BorderDetector detector(first.width, first.height);
    for (int i = 0; i < kBorderProbePictures && duration_s > 0; ++i) {
        const uint64_t seen = surface.Last().serial;
        if (!player.SeekTo(duration_s * (i + 0.5) / kBorderProbePictures)) continue;
        if (!surface.WaitUntil([seen](const Shown& shown) { return shown.serial > seen; },
                               kBorderProbeWait))
            continue;
        const Shown shown = surface.Last();
        if (shown.width == first.width && shown.height == first.height &&
            shown.yv12.size() >= static_cast<size_t>(shown.width) * shown.height)
            detector.AddPicture(shown.yv12.data(), shown.width);
    }
    player.Stop();
    player.Close();
    return detector.Result();
}

}  // namespace rizuvira::engine
