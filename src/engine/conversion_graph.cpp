// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/conversion_graph.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "decoders/decoder_interfaces.h"
#include "decoders/register.h"
#include "decoders/video_renderer.h"
#include "demux/demux_types.h"
#include "demux/mpeg_splitter.h"
#include "demux/stream_texts.h"
#include "dvd/dvd_reader.h"
#include "dvd/title_texts.h"
#include "engine/border_probe.h"
#include "filters/audio_conv_filter.h"
#include "filters/deinterlace_filter.h"
#include "filters/video_conv_filter.h"
#include "platform/picture_shape.h"
#include "platform/registry.h"
#include "platform/uuids.h"

namespace rizuvira::engine {
namespace {

// How far past the trimmed range the splitter reads (see AddFilters).
constexpr int64_t kSplitterSpanMarginMs = 1000;

// The DVD layer's coding of a sound stream's media type.
int32_t AudioCodingOf(const CMediaType& type) {
    if (type.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO || type.subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO)
        return dvd::kDvdAudioLpcm;
    if (type.subtype == MEDIASUBTYPE_DOLBY_DDPLUS) return dvd::kDvdAudioEac3;
    const WAVEFORMATEX* wave = type.FormatAs<WAVEFORMATEX>();
    switch (wave ? wave->wFormatTag : 0) {
        case WAVE_FORMAT_DOLBY_AC3:
            return dvd::kDvdAudioAc3;
        case WAVE_FORMAT_DTS:
            return dvd::kDvdAudioDts;
        case WAVE_FORMAT_MPEG:
        case WAVE_FORMAT_MPEGLAYER3:
            return dvd::kDvdAudioMpeg1;
        case WAVE_FORMAT_AAC:
            return dvd::kDvdAudioAac;
        default:
            return dvd::kDvdAudioOther;
    }
}

}  // namespace

ConversionGraph::ConversionGraph(core::MessageSink* messages) : messages_(messages) {
    decoders::RegisterDecoders();
}

ConversionGraph::~ConversionGraph() {
    Teardown();
    writer_.Close();
}

bool ConversionGraph::Fail(const char* message) {
    if (!message) return false;
    // Every failure names the item it stopped, once.
    const std::string text = item_name_.empty() || std::string_view(message).starts_with(item_name_)
                                 ? std::string(message)
                                 : item_name_ + ": " + message;
    if (messages_) messages_->ShowMessage(text);
    reported_ = true;
    return false;
}

bool ConversionGraph::Reported(bool built) {
    if (!built && !reported_) Fail(kGraphNotBuiltMessage);
    return built;
}

bool ConversionGraph::OpenOutput(const std::filesystem::path& path,
                                 const core::OutputSettings& settings,
                                 const std::filesystem::path& container_name) {
    settings_ = &settings;
    if (thread_count_ > 0) writer_.SetThreadCount(thread_count_);
    return writer_.Open(path, settings, container_name);
}

bool ConversionGraph::CloseOutput() {
    return writer_.Close();
}

void ConversionGraph::SetThreadCount(int threads) {
    thread_count_ = threads;
}

void ConversionGraph::SetSubtitlesWanted(bool wanted) {
    subtitles_wanted_ = wanted;
}

void ConversionGraph::SetStreamChoice(int audio_key, int subtitle_key) {
    chosen_audio_key_ = audio_key;
    chosen_subtitle_key_ = subtitle_key;
}

void ConversionGraph::SetFurtherStreams(std::vector<int> audio_keys,
                                        std::vector<int> subtitle_keys) {
    further_audio_keys_ = std::move(audio_keys);
    soft_subtitle_keys_ = std::move(subtitle_keys);
}

bool ConversionGraph::SoftSubtitles() const {
    return settings_ && settings_->HasVideo && !soft_subtitle_keys_.empty() &&
           writer_.subtitle_tracks() > 0;
}

bool ConversionGraph::Build(int32_t dvd_handle, int title, int chapter,
                            const core::ConvertItem& item, std::function<void()> notify) {
    source_file_.clear();
    item_name_ = chapter >= 0 ? dvd::ChapterItemName(title, chapter) : dvd::TitleItemName(title);
    reported_ = false;
    return Reported(BuildGraph(dvd_handle, title, chapter, item, std::move(notify)));
}

bool ConversionGraph::BuildFromFile(const std::filesystem::path& file,
                                    const core::ConvertItem& item, std::function<void()> notify) {
    source_file_ = file;
    item_name_ = file.filename().string();
    reported_ = false;
    return Reported(BuildGraph(0, 0, -1, item, std::move(notify)));
}

bool ConversionGraph::BuildGraph(int32_t dvd_handle, int title, int chapter,
                                 const core::ConvertItem& item, std::function<void()> notify) {
    Teardown();
    if (!settings_) return false;

    ComPtr<IUnknown> graph;
    if (FAILED(CreateFilterGraph(graph.ReleaseAndGetAddressOf()))) return false;
    graph_ = graph.As<IGraphBuilder>();
    control_ = graph.As<IMediaControl>();
    events_ = graph.As<IMediaEventEx>();
    if (!graph_ || !control_ || !events_) return false;
    events_->SetNotifyCallback(std::move(notify));
    events_->CancelDefaultHandling(EC_COMPLETE);

    measured_crop_.reset();
    if (cleanup_.auto_crop && settings_->HasVideo)
        measured_crop_ = MeasureTitleBorders(dvd_handle, source_file_.empty() ? title : 0,
                                             source_file_, item.length_ms);
    if (!AddFilters(dvd_handle, title, chapter, item)) return false;
    if (!JoinPins()) return false;
    control_->Pause();
    return true;
}

bool ConversionGraph::AddFilters(int32_t dvd_handle, int title, int chapter,
                                 const core::ConvertItem& item) {
    const core::OutputSettings& settings = *settings_;
    HRESULT hr = S_OK;

    // 1. The converter sink, set up for the item's range and the frame rate,
    // with an input for each sound track and subtitle stream of the file.
    const int sound_tracks = std::max(
        1, std::min(writer_.sound_tracks(), 1 + static_cast<int>(further_audio_keys_.size())));
    const int subtitle_tracks =
        SoftSubtitles()
            ? std::min(writer_.subtitle_tracks(), static_cast<int>(soft_subtitle_keys_.size()))
            : 0;
    sink_ = filters::CConvFilter::CreateInstance(nullptr, &hr, sound_tracks, subtitle_tracks);
    if (!sink_ || FAILED(graph_->AddFilter(sink_.Get(), "Conver"))) return false;
    sink_->Writer = &writer_;
    // 23976 and 29970 are 24000/1001 and 30000/1001 exactly.
    const core::FrameRateFraction rate = core::ExactFrameRate(settings.FrameRate);
    sink_->FrameInterval = rate.num > 0 ? static_cast<double>(UNITS) * rate.den / rate.num : 0;
    sink_->RangeStart = item.trim_start_ms * 10000;
    sink_->RangeStop = (item.trim_start_ms + item.trim_length_ms) * 10000;
    sink_->FileOffset = writer_.written_100ns();

    // 2. The DVD reader (a plain file is read by the splitter itself).
    if (source_file_.empty()) {
        ComPtr<rizuvira::dvd::CDVDReader> reader(new (std::nothrow)
                                                     rizuvira::dvd::CDVDReader(nullptr, &hr));
        if (!reader || FAILED(hr) || FAILED(graph_->AddFilter(reader.Get(), "Reader")))
            return Fail("CLSID_DVDSource error");
        source_ = reader;
    }

    // 3. The splitter, with the title's record for its stream search.
    if (FAILED(demux::CreateMpegSplitter(nullptr, splitter_.ReleaseAndGetAddressOf())) ||
        FAILED(graph_->AddFilter(splitter_.Get(), "Splitter")))
        return Fail("CLSID_MpegSplitter error");
    seeking_ = splitter_.As<IMediaSeeking>();
    if (seeking_) seeking_->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
    if (!source_file_.empty()) {
        ComPtr<IFileSourceFilter> file = splitter_.As<IFileSourceFilter>();
        if (!file || FAILED(file->Load(source_file_.string(), nullptr)))
            return Fail("load source file error");
    }

    // 4, 5. The decoders, from the registry.
    if (settings.HasVideo) {
        if (FAILED(CoCreateInstance(decoders::CLSID_MpegVideoDecoder, &video_decoder_)) ||
            FAILED(graph_->AddFilter(video_decoder_.Get(), "VideoDecoder")))
            return Fail("CLSID_MpegDecoder error");
    }
    if (settings.HasAudio) {
        if (FAILED(CoCreateInstance(decoders::CLSID_MpegAudioDecoder, &audio_decoder_)) ||
            FAILED(graph_->AddFilter(audio_decoder_.Get(), "AudioDecoder")))
            return Fail("CLSID_MpaDecoder error");
    }
    // 6, 7. The conversion filters.
    if (settings.HasAudio) {
        ComPtr<filters::CMyAudioConveFilter> audio(
            filters::CMyAudioConveFilter::CreateInstance(nullptr, &hr));
        if (!audio || FAILED(graph_->AddFilter(audio.Get(), "AudioConver")))
            return Fail("CLSID_MyAudioConver error");
        audio_converter_ = audio;
        for (int track = 1; track < sound_tracks; ++track) {
            const std::string number = std::to_string(track + 1);
            ComPtr<IBaseFilter> decoder;
            if (FAILED(CoCreateInstance(decoders::CLSID_MpegAudioDecoder, &decoder)) ||
                FAILED(graph_->AddFilter(decoder.Get(), ("AudioDecoder " + number).c_str())))
                return Fail("CLSID_MpaDecoder error");
            ComPtr<filters::CMyAudioConveFilter> converter(
                filters::CMyAudioConveFilter::CreateInstance(nullptr, &hr));
            if (!converter ||
                FAILED(graph_->AddFilter(converter.Get(), ("AudioConver " + number).c_str())))
                return Fail("CLSID_MyAudioConver error");
            more_audio_decoders_.push_back(decoder);
            more_audio_converters_.push_back(converter);
        }
    }
    if (settings.HasVideo && cleanup_.deinterlace != core::DeinterlaceMode::kOff) {
        ComPtr<filters::CDeinterlaceFilter> deinterlacer(
            filters::CDeinterlaceFilter::CreateInstance(nullptr, &hr));
        if (!deinterlacer || FAILED(graph_->AddFilter(deinterlacer.Get(), "Deinterlacer")))
            return Fail("CLSID_Deinterlacer error");
        // Telecined film goes back to its own 23.976 pictures only when the file
        // runs at that rate; at any other rate the sink would repeat pictures.
        deinterlacer->SetMode(static_cast<int32_t>(cleanup_.deinterlace),
                              settings.FrameRate == 23976 ? TRUE : FALSE, thread_count_);
        deinterlacer_ = deinterlacer;
    }
    if (settings.HasVideo) {
        ComPtr<filters::CMyVideoConveFilter> video(
            filters::CMyVideoConveFilter::CreateInstance(nullptr, &hr));
        if (!video || FAILED(graph_->AddFilter(video.Get(), "VideoConver")))
            return Fail("CLSID_MyVideoConver error");
        video->ForwardUnchanged(true);
        video->SetOutputAspect(PictureAspect{settings.AspectX, settings.AspectY});
        video_converter_ = video;
    }

    // The settings, in order: reader, picture, sound, range.
    dvd::DvdVideoInfo source{};
    bool source_known = false;
    if (source_file_.empty()) {
        ComPtr<dvd::IMyDVDReader> dvd = source_.As<dvd::IMyDVDReader>();
        if (!dvd) return Fail("IID_IMyDVDReader error");
        // A chapter's closing sound lies in the next chapter's sectors: read
        // on, the range below ends the item at the chapter's end.
        if (ComPtr<dvd::IMyDVDReadOn> read_on = source_.As<dvd::IMyDVDReadOn>())
            read_on->SetReadToTitleEnd(chapter >= 0);
        // Before the reader sets its area: the check reads on the same handle.
        if (const std::string problem = dvd::MyDvdReadProblem(dvd_handle, title, chapter);
            !problem.empty()) {
            const std::string name =
                chapter >= 0 ? dvd::ChapterItemName(title, chapter) : dvd::TitleItemName(title);
            return Fail((name + kNoVideoDataMessage + problem).c_str());
        }
        int32_t stream_width = 0, stream_height = 0;
        const bool stream_sized =
            dvd::MyDvdStreamPictureSize(dvd_handle, title, &stream_width, &stream_height);
        if (FAILED(dvd->SetDvdHandle(dvd_handle)) || FAILED(dvd->SetArea(title, chapter)))
            return Fail("SetDvdReader error");
        dvd->GetDuration(&source_length_ms_);

        auto title_info = std::make_unique<dvd::TitleTable>();
        dvd::MyDVDGetInfo(dvd_handle, title_info.get());
        if (ComPtr<demux::IMyMpegSplitter> control = splitter_.As<demux::IMyMpegSplitter>();
            control && title >= 0 && title < dvd::kDvdMaxTitles)
            control->SetTitleInfo(&title_info->titles[title]);
        source_known = dvd::MyDVDGetVideoInfo(dvd_handle, title, &source);
        // The pictures' own size stands where the title's information claims another.
        if (stream_sized) {
            source.width = stream_width;
            source.height = stream_height;
        }
    } else {
        // The item's length was measured from the file's time stamps; the
        // splitter's own guess comes from its byte rate.
        LONGLONG duration_100ns = 0;
        if (item.length_ms > 0)
            source_length_ms_ = item.length_ms;
        else if (seeking_ && SUCCEEDED(seeking_->GetDuration(&duration_100ns)))
            source_length_ms_ = duration_100ns / 10000;
        StreamTable streams;
        if (ListSplitterStreams(splitter_.Get(), &streams) && !streams.video.empty()) {
            source.width = streams.video[0].width;
            source.height = std::abs(streams.video[0].height);
            source_known = source.width > 0 && source.height > 0;
        }
    }

    if (settings.HasVideo) {
        ComPtr<filters::IMyVideoConvFilter> video =
            video_converter_.As<filters::IMyVideoConvFilter>();
        if (!video) return Fail("IID_IMyVideoConvFilter error");
        core::EditSettings edit = item.edit;
        if (measured_crop_) {
            edit.crop_left = measured_crop_->left;
            edit.crop_top = measured_crop_->top;
            edit.crop_right = measured_crop_->right;
            edit.crop_bottom = measured_crop_->bottom;
        }
        // The full-picture default crop names the whole source, whatever its height.
        if (source_known && edit.crop_left == 0 && edit.crop_top == 0 &&
            edit.crop_right == core::kDefaultEditSettings.crop_right &&
            edit.crop_bottom == core::kDefaultEditSettings.crop_bottom) {
            edit.crop_right = source.width;
            edit.crop_bottom = source.height;
        }
        video->SetConvertRect(edit.zoom_mode, edit.crop_left, edit.crop_top, edit.crop_right,
                              edit.crop_bottom, 0, 0, settings.Width, settings.Height);
        video->SetHue(edit.hue_degrees);
        video->SetBrightness(edit.brightness);
        video->SetSaturation(edit.saturation);
        if (watermark_.enabled()) {
            const filters::WatermarkSettings mark = filters::MakeWatermarkSettings(watermark_);
            if (FAILED(video->SetWatermark(&mark)) && messages_)
                messages_->ShowMessage(kWatermarkFailedMessage);
        }

        uint32_t palette[16];
        if (source_file_.empty() && !SoftSubtitles() &&
            dvd::MyDVDGetPalette(dvd_handle, title, palette))
            if (ComPtr<decoders::IMySubpictureControl> sub =
                    video_decoder_.As<decoders::IMySubpictureControl>())
                sub->SetPalette(palette);
        if (ComPtr<decoders::IMyDecoderThreads> threads =
                video_decoder_.As<decoders::IMyDecoderThreads>())
            threads->SetThreadCount(thread_count_);
    }
    if (settings.HasAudio) {
        std::vector<ComPtr<IBaseFilter>> converters{audio_converter_};
        converters.insert(converters.end(), more_audio_converters_.begin(),
                          more_audio_converters_.end());
        for (const ComPtr<IBaseFilter>& converter : converters) {
            ComPtr<filters::IMyAudioConvFilter> audio = converter.As<filters::IMyAudioConvFilter>();
            if (!audio) return Fail("IID_IMyAudioConvFilter error");
            audio->SetAudioFormat(settings.Channel & 0xFFFF, settings.SampleRate);
            audio->SetVolume(item.edit.volume);
        }
    }
    if (source_length_ms_ > 0) {
        // The splitter stops at the first packet of any stream past its span,
        // but a program stream carries the sound of a moment up to a second
        // away from its picture, so the span reaches one second further; the
        // sink cuts at the exact end. At the end of the source the stream
        // itself ends first.
        const int64_t span_ms = item.trim_length_ms + kSplitterSpanMarginMs;
        if (ComPtr<demux::IMyMpegSplitter> range = splitter_.As<demux::IMyMpegSplitter>())
            range->SetRange(item.trim_start_ms, span_ms, source_length_ms_);
    }
    return true;
}

bool ConversionGraph::JoinPins() {
    HRESULT last = S_OK;
    auto join_pin = [&](const ComPtr<IPin>& out, IBaseFilter* to, int in_index,
                        bool disconnect_first, const char* no_from, const char* no_to,
                        const char* refused) -> int {
        if (!out) return no_from ? (Fail(no_from), -1) : 0;
        ComPtr<IPin> in = GetFilterPin(to, PINDIR_INPUT, in_index);
        if (!in) return no_to ? (Fail(no_to), -1) : -1;
        if (disconnect_first) {
            graph_->Disconnect(out.Get());
            graph_->Disconnect(in.Get());
        }
        if (FAILED(last = graph_->ConnectDirect(out.Get(), in.Get(), nullptr))) {
            if (refused) Fail(refused);
            return -1;
        }
        return 1;
    };
    auto join = [&](IBaseFilter* from, int out_index, IBaseFilter* to, int in_index,
                    bool disconnect_first, const char* no_from, const char* no_to,
                    const char* refused) -> int {
        return join_pin(GetFilterPin(from, PINDIR_OUTPUT, out_index), to, in_index,
                        disconnect_first, no_from, no_to, refused);
    };
    const core::OutputSettings& settings = *settings_;

    if (source_ && join(source_.Get(), 0, splitter_.Get(), 0, true, "get source output pin error",
                        "get splitter input pin error", nullptr) < 0)
        return Fail(last == demux::DEMUX_E_SCRAMBLED
                        ? (item_name_ + kEncryptedDiscMessage).c_str()
                        : "its data holds no MPEG program stream that could be read");
    // The splitter's outputs exist once its input is joined.
    const ComPtr<IPin> video_out = demux::SplitterOutput(splitter_.Get(), demux::kVideo);
    const ComPtr<IPin> audio_out = demux::SplitterOutput(splitter_.Get(), demux::kAudio);
    const ComPtr<IPin> subpicture_out = demux::SplitterOutput(splitter_.Get(), demux::kSubpicture);
    // A missing splitter output skips its side; a refusal fails the build.
    if (settings.HasVideo && video_out &&
        join_pin(video_out, video_decoder_.Get(), 0, false, nullptr, nullptr,
                 "connect splitter and decoder error(video)") < 0)
        return false;
    // A track the file copies takes the splitter's packets as they are.
    const bool copy_sound = writer_.CopiesSound(0);
    if (settings.HasAudio && audio_out && copy_sound &&
        FAILED(graph_->ConnectDirect(audio_out.Get(), sink_->audio_pin(0), nullptr)))
        return Fail("connect splitter and mConver error(audio)");
    if (settings.HasAudio && audio_out && !copy_sound &&
        join_pin(audio_out, audio_decoder_.Get(), 0, false, nullptr, nullptr,
                 "connect splitter and decoder error(audio)") < 0)
        return false;
    // Subpictures are optional; with no subtitle chosen the decoder's input
    // stays free, and soft subtitles go to the sink instead.
    if (settings.HasVideo && subtitles_wanted_ && !SoftSubtitles() && subpicture_out)
        join_pin(subpicture_out, video_decoder_.Get(), 1, false, nullptr, nullptr, nullptr);
    // A title without sound (or without pictures) converts what it has: the
    // chain of the missing side stays unjoined and the sink ends on the
    // other input alone.
    const bool video = settings.HasVideo && video_out;
    const bool audio = settings.HasAudio && audio_out;
    if (!video && !audio) return Fail("connect splitter and decoder error(video)");
    if (video && deinterlacer_ &&
        join(video_decoder_.Get(), 0, deinterlacer_.Get(), 0, true, nullptr, nullptr, nullptr) <=
            0) {
        // Pictures the deinterlacer does not take (an odd size) go to the converter as they are.
        graph_->RemoveFilter(deinterlacer_.Get());
        deinterlacer_ = nullptr;
    }
    if (video && deinterlacer_ &&
        join(deinterlacer_.Get(), 0, video_converter_.Get(), 0, true,
             "get deinterlacer output pin error", "get video conver input pin error",
             "connect deinterlacer and video conver error") < 0)
        return false;
    if (video && !deinterlacer_ &&
        join(video_decoder_.Get(), 0, video_converter_.Get(), 0, true,
             "get video decoder output pin error", "get video conver input pin error",
             "connect video decoder and video conver error") < 0)
        return false;
    if (audio && !copy_sound &&
        join(audio_decoder_.Get(), 0, audio_converter_.Get(), 0, true, nullptr, nullptr,
             "connect audio decoder and audio conver error") <= 0)
        return false;
    if (audio && !copy_sound &&
        join(audio_converter_.Get(), 0, sink_.Get(), 0, true, "get audio conver output pin error",
             "get mConver input pin 0 error", "connect audio conver out pin to mConver error") <= 0)
        return false;
    if (video &&
        join(video_converter_.Get(), 0, sink_.Get(), 1, true, "get video conver output pin error",
             "get mConver input pin error", "connect video conver out pin to mConver error") <= 0)
        return false;
    return JoinFurtherStreams();
}

bool ConversionGraph::JoinFurtherStreams() {
    // The first pin of each kind carries the first choice before the
    // further ones get pins of their own, so no choice lands on a pin
    // another one takes.
    const bool soft = SoftSubtitles();
    SelectStreams(chosen_audio_key_, soft ? soft_subtitle_keys_[0] : chosen_subtitle_key_);
    ComPtr<demux::IMyMpegSplitter> outputs = splitter_.As<demux::IMyMpegSplitter>();
    if (!outputs) return true;
    auto connect = [&](IPin* out, IPin* in) {
        return out && in && SUCCEEDED(graph_->ConnectDirect(out, in, nullptr));
    };
    // A further track whose stream the item lacks (or already carries)
    // stays unjoined: the file's track gets silence there.
    auto further_output = [&](int key) -> ComPtr<IPin> {
        std::string name;
        ComPtr<IPin> pin;
        if (key <= 0 || outputs->AddOutput(static_cast<uint32_t>(key), &name) != S_OK ||
            FAILED(splitter_->FindPin(name, pin.ReleaseAndGetAddressOf())))
            return nullptr;
        return pin;
    };
    if (demux::SplitterOutput(splitter_.Get(), demux::kAudio)) {
        for (size_t i = 0; i < more_audio_decoders_.size(); ++i) {
            ComPtr<IPin> out = further_output(further_audio_keys_[i]);
            if (!out) continue;
            const int track = static_cast<int>(i) + 1;
            if (writer_.CopiesSound(track)) {
                if (!connect(out.Get(), sink_->audio_pin(track)))
                    return Fail("connect splitter and mConver error(audio)");
                continue;
            }
            IBaseFilter* decoder = more_audio_decoders_[i].Get();
            IBaseFilter* converter = more_audio_converters_[i].Get();
            if (!connect(out.Get(), GetFilterPin(decoder, PINDIR_INPUT, 0).Get()) ||
                !connect(GetFilterPin(decoder, PINDIR_OUTPUT, 0).Get(),
                         GetFilterPin(converter, PINDIR_INPUT, 0).Get()) ||
                !connect(GetFilterPin(converter, PINDIR_OUTPUT, 0).Get(),
                         sink_->audio_pin(static_cast<int>(i) + 1)))
                return Fail("connect audio decoder and audio conver error");
        }
    }
    if (soft) {
        for (int track = 0; sink_->subtitle_pin(track); ++track) {
            const int key = soft_subtitle_keys_[static_cast<size_t>(track)];
            ComPtr<IPin> out = track == 0
                                   ? demux::SplitterOutput(splitter_.Get(), demux::kSubpicture)
                                   : further_output(key);
            // The first pin keeps the title's first subtitle when the item
            // lacks the chosen one; that one is not the file's stream.
            if (track == 0 && !StreamSelected(key)) out = nullptr;
            if (out) connect(out.Get(), sink_->subtitle_pin(track));
        }
    }
    return true;
}

bool ConversionGraph::AttachPreview(decoders::IVideoSurface* surface) {
    if (!sink_) return false;
    if (!writer_.HasVideo()) return true;
    control_->Stop();
    if (!renderer_) {
        if (FAILED(CoCreateInstance(CLSID_VideoMixingRenderer, &renderer_)) ||
            FAILED(graph_->AddFilter(renderer_.Get(), "Video Mixing Renderer"))) {
            renderer_ = nullptr;
            return false;
        }
    }
    if (ComPtr<decoders::IMyVideoRenderer> control = renderer_.As<decoders::IMyVideoRenderer>())
        control->SetSurface(surface);
    ComPtr<IPin> in = GetFilterPin(renderer_.Get(), PINDIR_INPUT, 0);
    if (!in) return false;
    graph_->Disconnect(sink_->preview_pin());
    graph_->Disconnect(in.Get());
    if (FAILED(graph_->ConnectDirect(sink_->preview_pin(), in.Get(), nullptr))) return false;
    control_->Pause();
    return true;
}

void ConversionGraph::ShowPreview(bool on) {
    if (sink_) sink_->PreviewEnabled = on ? 1 : 0;
}

bool ConversionGraph::ListStreams(StreamTable* table) {
    return ListSplitterStreams(splitter_.Get(), table);
}

bool ListSplitterStreams(IBaseFilter* splitter, StreamTable* table) {
    ComPtr<IAMStreamSelect> select =
        splitter ? ComPtr<IBaseFilter>(splitter).As<IAMStreamSelect>() : nullptr;
    if (!select || !table) return false;
    DWORD count = 0;
    if (FAILED(select->Count(&count))) return false;
    *table = {};
    for (DWORD i = 0; i < count; ++i) {
        CMediaType type;
        std::string name;
        if (FAILED(select->Info(static_cast<LONG>(i), &type, nullptr, nullptr, nullptr, &name,
                                nullptr, nullptr)))
            continue;
        const int index = static_cast<int>(i);
        if (type.majortype == MEDIATYPE_Video &&
            (type.formattype == FORMAT_MPEG2Video || type.formattype == FORMAT_MPEGVideo ||
             type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_VideoInfo2)) {
            const BITMAPINFOHEADER* header = GetBitmapInfoHeader(type);
            const VIDEOINFOHEADER* info = type.FormatAs<VIDEOINFOHEADER>();
            const PictureAspect aspect = DeclaredAspect(type);
            if (header && table->video.size() < StreamTable::kMaxVideo)
                table->video.push_back({index, header->biWidth, header->biHeight,
                                        info ? static_cast<int>(info->dwBitRate) : 0,
                                        info ? info->AvgTimePerFrame : 0, aspect.x, aspect.y});
        } else if (type.subtype == MEDIASUBTYPE_DVD_SUBPICTURE ||
                   type.subtype == MEDIASUBTYPE_HDMVSUB) {
            // The splitter's stand-in for "no subtitles" on a Blu-ray clip is no track.
            if (type.subtype == MEDIASUBTYPE_HDMVSUB && name == "No subtitles") continue;
            if (table->subtitles.size() < StreamTable::kMaxSubtitles)
                table->subtitles.push_back(
                    {index, demux::TrackIdFromName(name), true, demux::StreamPidFromName(name)});
        } else if (type.majortype == MEDIATYPE_Audio) {
            const WAVEFORMATEX* wave = type.FormatAs<WAVEFORMATEX>();
            if (table->audio.size() < StreamTable::kMaxAudio)
                table->audio.push_back({index, demux::TrackIdFromName(name),
                                        wave ? static_cast<int>(wave->nSamplesPerSec) : 0,
                                        wave ? wave->nChannels : 0,
                                        wave ? static_cast<int>(wave->nAvgBytesPerSec * 8) : 0,
                                        demux::StreamPidFromName(name), AudioCodingOf(type)});
        }
    }
    return true;
}

bool ConversionGraph::StreamSelected(int key) {
    ComPtr<IAMStreamSelect> select = splitter_ ? splitter_.As<IAMStreamSelect>() : nullptr;
    StreamTable table;
    if (!select || !ListStreams(&table)) return false;
    for (const StreamTable::Subtitle& subtitle : table.subtitles) {
        DWORD flags = 0;
        if (subtitle.key == key && SUCCEEDED(select->Info(subtitle.index, nullptr, &flags, nullptr,
                                                          nullptr, nullptr, nullptr, nullptr)))
            return (flags & AMSTREAMSELECTINFO_ENABLED) != 0;
    }
    return false;
}

bool ConversionGraph::EnableStream(int index, bool on) {
    ComPtr<IAMStreamSelect> select = splitter_ ? splitter_.As<IAMStreamSelect>() : nullptr;
    return select && SUCCEEDED(select->Enable(index, on ? AMSTREAMSELECTENABLE_ENABLE : 0));
}

bool ConversionGraph::SelectStreams(int audio_key, int subtitle_key) {
    StreamTable table;
    if (!ListStreams(&table)) return false;
    bool matched = false;
    for (const StreamTable::Audio& audio : table.audio)
        if (audio_key > 0 && audio.key == audio_key) matched |= EnableStream(audio.index, true);
    for (const StreamTable::Subtitle& subtitle : table.subtitles)
        if (subtitle_key > 0 && subtitle.key == subtitle_key)
            matched |= EnableStream(subtitle.index, true);
    return matched;
}

void ConversionGraph::Run() {
    if (control_ && !IsRunning()) control_->Run();
}
void ConversionGraph::Pause() {
    if (control_ && !IsPaused()) control_->Pause();
}
void ConversionGraph::Stop() {
    if (control_ && !IsStopped()) control_->Stop();
}

bool ConversionGraph::IsRunning() {
    return GraphStateIs(control_.Get(), State_Running);
}
bool ConversionGraph::IsPaused() {
    return GraphStateIs(control_.Get(), State_Paused);
}
bool ConversionGraph::IsStopped() {
    return GraphStateIs(control_.Get(), State_Stopped);
}

bool ConversionGraph::GetPositionSeconds(double* seconds) {
    if (!seconds || !settings_ || !sink_) return false;
    if (settings_->HasVideo || settings_->HasAudio) {
        *seconds = static_cast<double>(sink_->WrittenTime()) / UNITS;
        return true;
    }
    LONGLONG position = 0;
    if (!seeking_ || FAILED(seeking_->GetCurrentPosition(&position))) return false;
    *seconds = static_cast<double>(position) / UNITS;
    return true;
}

bool ConversionGraph::GetDurationSeconds(double* seconds) {
    LONGLONG duration = 0;
    if (!seconds || !seeking_ || FAILED(seeking_->GetDuration(&duration))) return false;
    *seconds = static_cast<double>(duration) / UNITS;
    return true;
}

void ConversionGraph::Teardown() {
    if (control_) control_->Stop();
    control_ = nullptr;
    if (events_) events_->SetNotifyCallback({});
    events_ = nullptr;
    seeking_ = nullptr;
    splitter_ = nullptr;
    source_ = nullptr;
    video_decoder_ = nullptr;
    audio_decoder_ = nullptr;
    deinterlacer_ = nullptr;
    video_converter_ = nullptr;
    audio_converter_ = nullptr;
    more_audio_decoders_.clear();
    more_audio_converters_.clear();
    renderer_ = nullptr;
    if (graph_ && sink_) graph_->RemoveFilter(sink_.Get());
    sink_ = nullptr;
    // The graph lets go of its filters when it is released.
    if (graph_) {
        std::vector<ComPtr<IBaseFilter>> filters;
        if (SUCCEEDED(graph_->EnumFilters(&filters)))
            for (const ComPtr<IBaseFilter>& filter : filters) graph_->RemoveFilter(filter.Get());
    }
    graph_ = nullptr;
}

}  // namespace rizuvira::engine
