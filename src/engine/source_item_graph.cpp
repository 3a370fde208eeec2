// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/source_item_graph.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "demux/demux_types.h"
#include "demux/mpeg_splitter.h"
#include "dvd/dvd_reader.h"
#include "engine/border_probe.h"
#include "engine/source_probe.h"

namespace rizuvira::engine {

bool SourceItemGraph::ReadsFile(const std::filesystem::path& path) {
    std::error_code error;
    for (const std::filesystem::path& file : source_files_)
        if (std::filesystem::equivalent(file, path, error)) return true;
    return false;
}

int64_t SamplesForFrames(int64_t frames, int32_t frame_rate_x1000, int32_t sample_rate) {
    const core::FrameRateFraction rate = core::ExactFrameRate(frame_rate_x1000);
    if (rate.num <= 0 || rate.den <= 0 || sample_rate <= 0) return 0;
    return frames * rate.den * sample_rate / rate.num;
}

SourceItemGraph::SourceItemGraph(core::MessageSink* messages, int32_t dvd_handle, int thread_count)
    : messages_(messages), dvd_handle_(dvd_handle), thread_count_(thread_count), graph_(messages) {
    graph_.SetThreadCount(thread_count);
}

namespace {

core::CopiedSoundFormat CopiedFormatOf(int32_t coding, int channels, int sample_rate) {
    core::CopiedSoundFormat format;
    switch (coding) {
        case dvd::kDvdAudioAc3:
            format.codec = AV_CODEC_ID_AC3;
            break;
        case dvd::kDvdAudioEac3:
            format.codec = AV_CODEC_ID_EAC3;
            break;
        case dvd::kDvdAudioDts:
            format.codec = AV_CODEC_ID_DTS;
            break;
        case dvd::kDvdAudioMpeg1:
        case dvd::kDvdAudioMpeg2:
            format.codec = AV_CODEC_ID_MP2;
            break;
        case dvd::kDvdAudioLpcm:
            format.pcm = true;
            break;
        default:
            break;
    }
    format.channels = std::max(1, channels);
    if (sample_rate > 0) format.sample_rate = sample_rate;
    return format;
}

}  // namespace

void SourceItemGraph::SetCopiedSound(const core::ConvertItem& item, const StreamChoice& streams) {
    std::vector<int32_t> keys{streams.audio_id};
    keys.insert(keys.end(), streams.further_audio_ids.begin(), streams.further_audio_ids.end());
    std::vector<core::CopiedSoundFormat> formats;
    if (source_files_.empty()) {
        // A DVD's sound is 48 kHz whatever its coding.
        auto table = std::make_unique<dvd::TitleTable>();
        const int title = item.title_index;
        dvd::MyDVDGetInfo(dvd_handle_, table.get());
        if (title >= 0 && title < dvd::kDvdMaxTitles) {
            const dvd::DvdTitleInfo& info = table->titles[title];
            const int count = std::clamp(info.audio_count, 0, dvd::kDvdMaxStreams);
            for (const int32_t key : keys) {
                int found = key == 0 && count > 0 ? 0 : -1;  // 0: the title's first track
                for (int a = 0; found < 0 && a < count; ++a)
                    if (info.audio_id[a] == key) found = a;
                formats.push_back(found < 0 ? core::CopiedSoundFormat{}
                                            : CopiedFormatOf(info.audio_coding[found],
                                                             info.audio_channels[found] + 1, 0));
            }
        }
    } else if (item.title_index >= 0 &&
               static_cast<size_t>(item.title_index) < source_files_.size()) {
        StreamTable table;
        ComPtr<IBaseFilter> splitter;
        if (SUCCEEDED(demux::CreateMpegSplitter(nullptr, splitter.ReleaseAndGetAddressOf()))) {
            ComPtr<IFileSourceFilter> file = splitter.As<IFileSourceFilter>();
            if (file &&
                SUCCEEDED(file->Load(source_files_[static_cast<size_t>(item.title_index)].string(),
                                     nullptr)))
                ListSplitterStreams(splitter.Get(), &table);
        }
        for (const int32_t key : keys) {
            const auto audio = std::find_if(
                table.audio.begin(), table.audio.end(),
                [key](const StreamTable::Audio& a) { return key == 0 || a.key == key; });
            formats.push_back(
                audio == table.audio.end()
                    ? core::CopiedSoundFormat{}
                    : CopiedFormatOf(audio->coding, audio->channels, audio->sample_rate));
        }
    }
    graph_.writer().SetCopiedSound(std::move(formats));
}

void SourceItemGraph::MarkChapters(const std::vector<core::ChapterMark>& marks) {
    core::MediaFileWriter& writer = graph_.writer();
    const int64_t item_start_ms = writer.written_ms();
    for (const core::ChapterMark& mark : marks)
        writer.AddChapter({item_start_ms + mark.start_ms, mark.title});
}

core::OutputSettings SourceItemGraph::SettingsForFile(const core::ConvertItem& item,
                                                      const core::OutputSettings& settings) {
    if (!core::TakesSourceSize(settings) && !core::TakesSourceFrameRate(settings)) return settings;
    std::filesystem::path file;
    int title = item.title_index;
    if (!source_files_.empty()) {
        if (title < 0 || static_cast<size_t>(title) >= source_files_.size()) return settings;
        file = source_files_[static_cast<size_t>(title)];
        title = 0;
    }
    core::SourcePicture picture = ProbeSourcePicture(dvd_handle_, title, file, item.length_ms,
                                                     cleanup_.deinterlace, thread_count_);
    if (core::TakesSourceSize(settings) && picture.width > 0 && picture.height > 0) {
        // The picture the file shows is what the crop keeps of the source.
        const core::EditSettings& edit = item.edit;
        std::optional<filters::CropBox> crop;
        if (cleanup_.auto_crop)
            crop = MeasureTitleBorders(dvd_handle_, title, file, item.length_ms);
        else if (edit.crop_left != 0 || edit.crop_top != 0 ||
                 edit.crop_right != core::kDefaultEditSettings.crop_right ||
                 edit.crop_bottom != core::kDefaultEditSettings.crop_bottom)
            crop =
                filters::CropBox{edit.crop_left, edit.crop_top, edit.crop_right, edit.crop_bottom};
        if (crop && crop->left >= 0 && crop->top >= 0 && crop->right <= picture.width &&
            crop->bottom <= picture.height && crop->right - crop->left >= 16 &&
            crop->bottom - crop->top >= 16) {
            const int32_t kept_width = crop->right - crop->left;
            const int32_t kept_height = crop->bottom - crop->top;
            if (picture.aspect_x > 0 && picture.aspect_y > 0) {
                // The kept part keeps the source's pixel shape.
                int64_t x = int64_t{picture.aspect_x} * kept_width * picture.height;
                int64_t y = int64_t{picture.aspect_y} * kept_height * picture.width;
                const int64_t divisor = std::gcd(x, y);
                x /= divisor;
                y /= divisor;
                while (x > INT32_MAX || y > INT32_MAX) {
                    x /= 2;
                    y /= 2;
                }
                picture.aspect_x = static_cast<int32_t>(x);
                picture.aspect_y = static_cast<int32_t>(y);
            }
            picture.width = kept_width;
            picture.height = kept_height;
        }
    }
    return core::ResolveSourceValues(settings, picture);
}

bool SourceItemGraph::OpenOutput(const std::filesystem::path& path,
                                 const std::filesystem::path& final_path,
                                 const core::OutputSettings& settings) {
    settings_ = &settings;
    return graph_.OpenOutput(path, settings, final_path);
}

bool SourceItemGraph::CloseOutput() {
    // A file's sound runs as long as its pictures, also for a title that has
    // none or whose sound ends early.
    PadSoundToPicture(false);
    return graph_.CloseOutput();
}

void SourceItemGraph::AlignSoundToPicture() {
    PadSoundToPicture(true);
}

void SourceItemGraph::PadSoundToPicture(bool take_back_excess) {
    core::MediaFileWriter& writer = graph_.writer();
    if (!writer.IsOpen() || !writer.HasAudio() || !writer.HasVideo() || !settings_) return;
    // Sound short of the pictures is padded with silence; between merged
    // items, sound past them is taken back from the start of the next item.
    // Every boundary measures afresh, so no offset builds up.
    // Each sound track on its own, so the tracks stay together too.
    const int64_t wanted = SamplesForFrames(writer.video_frames_written(), settings_->FrameRate,
                                            settings_->SampleRate);
    const int channels = std::max(1, settings_->Channel & 0xFFFF);
    std::vector<uint8_t> silence;
    for (int track = 0; track < writer.sound_tracks(); ++track) {
        if (writer.CopiesSound(track)) continue;  // the source's frames, as they are
        int64_t missing =
            wanted - writer.audio_samples_written(track) - writer.audio_samples_queued(track);
        if (missing < 0) {
            if (take_back_excess) writer.SkipAudio(track, -missing);
            continue;
        }
        while (missing > 0) {
            const int64_t chunk = std::min<int64_t>(missing, 4096);
            silence.assign(static_cast<size_t>(chunk) * channels * 2, 0);
            if (writer.WriteAudio(track, silence.data(), silence.size()) != 0) return;
            missing -= chunk;
        }
    }
}

int64_t SourceItemGraph::WrittenUnits() {
    core::MediaFileWriter& writer = graph_.writer();
    int64_t units = writer.video_frames_written();
    for (int track = 0; track < writer.sound_tracks(); ++track)
        units += writer.audio_samples_written(track) + writer.audio_samples_queued(track);
    return units;
}

bool SourceItemGraph::Build(const core::ConvertItem& item, const StreamChoice& streams,
                            std::function<void()> notify) {
    units_at_build_ = WrittenUnits();
    graph_.SetSubtitlesWanted(streams.subtitle_id != -1);
    graph_.SetStreamChoice(streams.audio_id, streams.subtitle_id);
    graph_.SetFurtherStreams({streams.further_audio_ids.begin(), streams.further_audio_ids.end()},
                             {streams.soft_subtitle_ids.begin(), streams.soft_subtitle_ids.end()});
    bool built = false;
    if (source_files_.empty())
        built = graph_.Build(dvd_handle_, item.title_index, item.chapter_index, item,
                             std::move(notify));
    else if (item.title_index >= 0 && static_cast<size_t>(item.title_index) < source_files_.size())
        built = graph_.BuildFromFile(source_files_[static_cast<size_t>(item.title_index)], item,
                                     std::move(notify));
    if (!built) {
        graph_.Teardown();
        return false;
    }
    return true;
}

void SourceItemGraph::Stop() {
    graph_.Stop();
    graph_.Teardown();
}

std::vector<ItemGraphEvent> SourceItemGraph::TakeEvents() {
    std::vector<ItemGraphEvent> events;
    IMediaEventEx* queue = graph_.Events();
    if (!queue) return events;
    LONG code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (queue->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        queue->FreeEventParams(code, param1, param2);
        if (code == EC_COMPLETE) {
            events.push_back(ItemGraphEvent::kComplete);
        } else if (code == EC_ERRORABORT &&
                   static_cast<HRESULT>(param1) == demux::DEMUX_E_SCRAMBLED) {
            if (messages_) messages_->ShowMessage(graph_.item_name() + kEncryptedDiscMessage);
            events.push_back(ItemGraphEvent::kEncrypted);
        } else if (code == EC_ERRORABORT && static_cast<HRESULT>(param1) == filters::CONV_E_WRITE) {
            events.push_back(ItemGraphEvent::kWriteError);
        } else if (code == EC_ERRORABORT || code == EC_USERABORT) {
            events.push_back(ItemGraphEvent::kAbort);
        } else if (code == demux::EC_DEMUX_LOST_STRETCH) {
            lost_.push_back({static_cast<int64_t>(param1), static_cast<int64_t>(param2)});
        } else if (code == EC_STREAM_ERROR_STILLPLAYING &&
                   static_cast<HRESULT>(param1) == dvd::DVDREADER_E_READ) {
            events.push_back(ItemGraphEvent::kReadError);
        }
    }
    return events;
}

}  // namespace rizuvira::engine
