// SPDX-License-Identifier: GPL-2.0-or-later
// The run controller's item graph over the conversion graph, for every kind
// of source: each item is read from one open disc, or from the MPEG file of
// its title (one plain file, or the clips of a Blu-ray folder).
//
// Threads: as ItemGraph.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/conversion_graph.h"
#include "engine/item_graph.h"

namespace rizuvira::engine {

class SourceItemGraph final : public ItemGraph {
public:
    // `messages` must outlive this object; the disc handle stays owned by
    // the caller (the catalogue) and open while items are built.
    SourceItemGraph(core::MessageSink* messages, int32_t dvd_handle, int thread_count);

    // Items are read from these MPEG files instead of the disc: title t from
    // files[t] (TitleCatalogue::source_files()).
    void SetSourceFiles(const std::vector<std::string>& files) {
        source_files_.assign(files.begin(), files.end());
    }
    bool ReadsFile(const std::filesystem::path& path) override;
    // The text watermark of every item built from now on (empty text: none).
    void SetWatermark(const core::Watermark& watermark) { graph_.SetWatermark(watermark); }
    // Deinterlacing and the automatic crop of every item built from now on.
    void SetPictureCleanup(const core::PictureCleanup& cleanup) {
        cleanup_ = cleanup;
        graph_.SetPictureCleanup(cleanup);
    }

    core::OutputSettings SettingsForFile(const core::ConvertItem& item,
                                         const core::OutputSettings& settings) override;

    bool OpenOutput(const std::filesystem::path& path, const std::filesystem::path& final_path,
                    const core::OutputSettings& settings) override;
    bool CloseOutput() override;
    std::string OutputError() override { return graph_.writer().last_error(); }
    void SetOutputTracks(const std::vector<std::string>& audio_languages,
                         const std::vector<core::SubtitleTrackFormat>& subtitles) override {
        graph_.writer().SetSoundTracks(audio_languages);
        graph_.writer().SetSubtitleTracks(subtitles);
    }
    void SetCopiedSound(const core::ConvertItem& item, const StreamChoice& streams) override;
    void MarkChapters(const std::vector<core::ChapterMark>& marks) override;
    void AlignSoundToPicture() override;
    bool Build(const core::ConvertItem& item, const StreamChoice& streams,
               std::function<void()> notify) override;
    bool AttachPreview(decoders::IVideoSurface* surface) override {
        return graph_.AttachPreview(surface);
    }
    void ShowPreview(bool on) override { graph_.ShowPreview(on); }
    void Run() override { graph_.Run(); }
    void Pause() override { graph_.Pause(); }
    void Stop() override;
    bool IsRunning() override { return graph_.IsRunning(); }
    bool GetPositionSeconds(double* seconds) override { return graph_.GetPositionSeconds(seconds); }
    bool GetDurationSeconds(double* seconds) override { return graph_.GetDurationSeconds(seconds); }
    std::vector<ItemGraphEvent> TakeEvents() override;
    std::vector<LostStretch> TakeLostStretches() override { return std::move(lost_); }
    bool WroteSinceBuild() override { return WrittenUnits() != units_at_build_; }

    ConversionGraph& graph() { return graph_; }

private:
    core::MessageSink* const messages_;
    const int32_t dvd_handle_;
    const int thread_count_;
    core::PictureCleanup cleanup_;
    ConversionGraph graph_;
    void PadSoundToPicture(bool take_back_excess);

    std::vector<std::filesystem::path> source_files_;
    std::vector<LostStretch> lost_;  // found by TakeEvents, not yet taken
    int64_t units_at_build_ = 0;     // WrittenUnits() when the item was built
    int64_t WrittenUnits();
    const core::OutputSettings* settings_ = nullptr;  // the caller's, while a file is open
};

// Sound samples that belong with `frames` pictures at `frame_rate_x1000`
// (29970 and 23976 are the NTSC rates) and `sample_rate`.
int64_t SamplesForFrames(int64_t frames, int32_t frame_rate_x1000, int32_t sample_rate);

}  // namespace rizuvira::engine
