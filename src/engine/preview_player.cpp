// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/preview_player.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

#include "bluray/bluray_disc.h"
#include "decoders/audio_renderer.h"
#include "decoders/decoder_interfaces.h"
#include "decoders/register.h"
#include "demux/demux_types.h"
#include "demux/mpeg_splitter.h"
#include "demux/stream_texts.h"
#include "dvd/dvd_reader.h"
#include "dvd/title_texts.h"
#include "engine/bdmv_folder.h"
#include "engine/mpeg_file_source.h"
#include "engine/stage_table.h"
#include "filters/snapshot.h"
#include "platform/registry.h"
#include "platform/uuids.h"

namespace rizuvira::engine {

namespace {

constexpr RECT kEmptyRect{0, 0, 0, 0};  // a destination of "the whole surface"

}  // namespace

bool FillStreamInfoList(IBaseFilter* splitter, StreamInfoList* list) {
    if (!splitter || !list) return false;
    ComPtr<IAMStreamSelect> select;
    if (FAILED(QueryInterfaceAs(splitter, &select))) return false;
    DWORD count = 0;
    if (FAILED(select->Count(&count))) return false;
    *list = {};
    for (DWORD i = 0; i < count; ++i) {
        CMediaType type;
        std::string name;
        if (FAILED(select->Info(static_cast<LONG>(i), &type, nullptr, nullptr, nullptr, &name,
                                nullptr, nullptr)))
            continue;
        const int32_t index = static_cast<int32_t>(i);
        const int32_t key = demux::TrackIdFromName(name);
        if (type.majortype == MEDIATYPE_Video &&
            (type.formattype == FORMAT_MPEGVideo || type.formattype == FORMAT_MPEG2Video ||
             type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_VideoInfo2)) {
            const BITMAPINFOHEADER* header = GetBitmapInfoHeader(type);
            const VIDEOINFOHEADER* info = type.FormatAs<VIDEOINFOHEADER>();
            if (!header || list->video_count >= StreamInfoList::kMaxVideo) continue;
            list->video[list->video_count++] = {
                index, static_cast<int16_t>(header->biWidth),
                static_cast<int16_t>(header->biHeight),
                info ? static_cast<int32_t>(info->dwBitRate) : 0,
                info ? static_cast<int32_t>(info->AvgTimePerFrame) : 0};
        } else if (type.majortype == MEDIATYPE_Video &&
                   type.subtype == MEDIASUBTYPE_DVD_SUBPICTURE) {
            if (key < 0 || list->subtitle_count >= StreamInfoList::kMaxSubtitles) continue;
            list->subtitles[list->subtitle_count++] = {index, key};
        } else if (type.majortype == MEDIATYPE_Audio) {
            const WAVEFORMATEX* wave = type.FormatAs<WAVEFORMATEX>();
            if (key < 0 || list->audio_count >= StreamInfoList::kMaxAudio) continue;
            list->audio[list->audio_count++] = {
                index, key, static_cast<uint16_t>(wave ? wave->nSamplesPerSec & 0xFFFF : 0),
                static_cast<uint16_t>(wave ? wave->nChannels : 0),
                wave ? static_cast<int32_t>(wave->nAvgBytesPerSec * 8) : 0};
        }
    }
    return true;
}

PreviewPlayer::PreviewPlayer(core::MessageSink* messages) : GraphPlayback(messages) {
    decoders::RegisterDecoders();
}

PreviewPlayer::~PreviewPlayer() {
    Close();
}

bool PreviewPlayer::BuildCommon(decoders::IVideoSurface* surface, const RECT* video_rect,
                                std::function<void()> notify) {
    if (!CreateGraph(std::move(notify))) return false;

    // The renderer: a failure here leaves the graph without a picture, but it still plays sound.
    const auto renderer_failure = [this](const char* text) { Fail(text + std::to_string(errno)); };
    ComPtr<IBaseFilter> renderer;
    if (FAILED(MakeStage(CLSID_VideoMixingRenderer, &renderer))) {
        renderer_failure("CLSID_VideoMixingRenderer9 error");
    } else if (FAILED(graph_->AddFilter(renderer.Get(), "Video Mixing Renderer"))) {
        renderer_failure("Add Video Render Filter error");
    } else {
        renderer_ = renderer;
        if (!(windowless_ = renderer.As<decoders::IMyWindowlessControl>()))
            renderer_failure("IID_IVMRWindowlessControl9 error");
        else if (ComPtr<decoders::IMyVideoRenderer> video =
                     renderer.As<decoders::IMyVideoRenderer>())
            video->SetSurface(surface);
        if (windowless_) windowless_->SetAspectRatioMode(decoders::VMR_ARMODE_LETTER_BOX);
    }
    if (!source_.AddFilters(graph_.Get())) return false;
    if (windowless_) {
        windowless_->SetVideoPosition(nullptr, video_rect ? video_rect : &kEmptyRect);
        windowless_->RepaintVideo();
        windowless_->SetBorderColor(0);
    }
    return true;
}

bool PreviewPlayer::Open(int32_t dvd_handle, decoders::IVideoSurface* surface,
                         const RECT* video_rect, std::function<void()> notify) {
    Close();
    return BuildCommon(surface, video_rect, std::move(notify)) && source_.OpenDisc(dvd_handle);
}

bool PreviewPlayer::OpenFile(const std::filesystem::path& file, int64_t length_ms,
                             decoders::IVideoSurface* surface, const RECT* video_rect,
                             std::function<void()> notify) {
    Close();
    return BuildCommon(surface, video_rect, std::move(notify)) && source_.OpenFile(file, length_ms);
}

bool PreviewPlayer::SelectTitle(int title, int chapter) {
    if (!source_.splitter()) return false;
    source_.GiveTitleRecord(title);
    if (!source_.SelectArea(title, chapter) || !source_.ConnectDecoder()) return false;
    if (ComPtr<IPin> audio = sound_wanted_ ? source_.SoundPin() : ComPtr<IPin>()) {
        if (FAILED(graph_->Render(audio.Get()))) return Fail("render splitter error(audio)");
    }
    ComPtr<IPin> decoder_out = GetFilterPin(source_.decoder(), PINDIR_OUTPUT, 0);
    if (!decoder_out) return Fail("get decoder output pin error");
    ComPtr<IPin> peer;
    if (renderer_ && FAILED(decoder_out->ConnectedTo(peer.ReleaseAndGetAddressOf()))) {
        ComPtr<IPin> render_in = GetFilterPin(renderer_.Get(), PINDIR_INPUT, 0);
        if (!render_in) return Fail("get render0 input pin0 error");
        if (FAILED(graph_->ConnectDirect(decoder_out.Get(), render_in.Get(), nullptr)))
            return false;
    }
    return true;
}

void PreviewPlayer::Repaint() {
    if (windowless_) windowless_->RepaintVideo();
}

bool PreviewPlayer::SelectStreamsById(int audio_id, int subtitle_id) {
    StreamInfoList list;
    if (!ListStreams(&list)) return false;
    bool matched = false;
    for (int i = 0; i < list.audio_count; ++i)
        if (audio_id > 0 && list.audio[i].stream_id == audio_id)
            matched |= EnableStream(list.audio[i].index, true);
    for (int i = 0; i < list.subtitle_count; ++i)
        if (subtitle_id > 0 && list.subtitles[i].stream_id == subtitle_id)
            matched |= EnableStream(list.subtitles[i].index, true);
    return matched;
}

void PreviewPlayer::Close() {
    StopGraph();
    if (renderer_)
        if (ComPtr<decoders::IMyVideoRenderer> video = renderer_.As<decoders::IMyVideoRenderer>())
            video->SetSurface(nullptr);
    ReleaseGraph();
    renderer_ = nullptr;
    windowless_ = nullptr;
}

bool PreviewPlayer::SaveSnapshot(const std::filesystem::path& path) {
    if (!windowless_) return false;
    std::vector<uint8_t> dib;
    if (FAILED(windowless_->GetCurrentImageDib(&dib))) return false;
    return filters::SaveDibAsImage(dib, path);
}

// ---------------------------------------------------------------------------------------
// Command-line helpers

namespace {

// Holds a disc handle from MyDVDOpen and closes it.
class DiscHandle {
public:
    DiscHandle() = default;
    ~DiscHandle() {
        if (handle_ != 0) dvd::MyDVDClose(handle_);
    }
    DiscHandle(const DiscHandle&) = delete;
    DiscHandle& operator=(const DiscHandle&) = delete;
    void Open(const std::string& path) { handle_ = dvd::MyDVDOpen(path.c_str()); }
    int32_t get() const { return handle_; }

private:
    int32_t handle_ = 0;
};

// Opens the disc, Blu-ray folder or plain MPEG file at `path` in `player` and selects `title`;
// `disc` holds a disc's handle for as long as the player plays it. Failures go to `messages`.
bool OpenSource(PreviewPlayer& player, const std::string& path, int title, DiscHandle& disc,
                decoders::IVideoSurface* surface, std::function<void()> notify,
                core::MessageSink* messages) {
    auto say = [messages](const std::string& text) {
        if (messages) messages->ShowMessage(text);
        return false;
    };
    if (const std::string missing = engine::MissingSourceText(path); !missing.empty())
        return say(missing);
    if (engine::IsMpegFilePath(path)) {
        auto record = std::make_unique<dvd::TitleTable>();
        if (!engine::ProbeMpegFile(path, record.get()))
            return say(engine::UnreadableFileText(path));
        return player.OpenFile(path, static_cast<int64_t>(record->titles[0].duration_ms), surface,
                               nullptr, std::move(notify)) &&
               player.SelectTitle(title, -1);
    }
    if (const std::filesystem::path root = bluray::BlurayRootOf(path); !root.empty()) {
        auto record = std::make_unique<dvd::TitleTable>();
        engine::BlurayTitles titles;
        std::string error;
        if (!engine::ProbeBlurayDisc(root, record.get(), &titles, &error)) return say(error);
        if (title < 0 || title >= record->title_count)
            return say(dvd::TitleItemName(title) + " does not exist on this disc");
        // Each title is read through its playlist.
        return player.OpenFile(titles.files[static_cast<size_t>(title)],
                               static_cast<int64_t>(record->titles[title].duration_ms), surface,
                               nullptr, std::move(notify)) &&
               player.SelectTitle(0, -1);
    }
    if (const std::filesystem::path bdmv = engine::BdmvFolderOf(path); !bdmv.empty()) {
        auto record = std::make_unique<dvd::TitleTable>();
        engine::BdmvClips clips;
        std::string error;
        if (!engine::ProbeBdmvFolder(bdmv, record.get(), &clips, &error)) return say(error);
        if (title < 0 || title >= record->title_count)
            return say(dvd::TitleItemName(title) + " does not exist on this disc");
        // Each clip is a file of one title.
        return player.OpenFile(clips.files[static_cast<size_t>(title)],
                               static_cast<int64_t>(record->titles[title].duration_ms), surface,
                               nullptr, std::move(notify)) &&
               player.SelectTitle(0, -1);
    }
    disc.Open(path);
    if (disc.get() == 0) return say("Load DVD error");
    return player.Open(disc.get(), surface, nullptr, std::move(notify)) &&
           player.SelectTitle(title, -1);
}

// Wakes a waiting thread whenever the graph queues an event.
struct EventSignal {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t count = 0;
    void Notify() {
        {
            std::lock_guard lock(mutex);
            ++count;
        }
        changed.notify_all();
    }
};

}  // namespace

bool SaveTitleSnapshot(const std::string& disc_path, int title, double at_seconds,
                       const std::filesystem::path& output, core::MessageSink* messages,
                       std::chrono::milliseconds wait) {
    DiscHandle disc;
    decoders::HeadlessVideoSurface surface;
    PreviewPlayer player(messages);
    player.SetSoundWanted(false);
    if (!OpenSource(player, disc_path, title, disc, &surface, {}, messages)) return false;
    const auto say = [&](const std::string& text) {
        if (messages) messages->ShowMessage(text);
        return false;
    };
    const std::string name = dvd::TitleItemName(title);
    const std::string at_text = dvd::DurationText(at_seconds * 1000);
    if (player.duration_ms() > 0 && at_seconds * 1000 >= static_cast<double>(player.duration_ms()))
        return say("No snapshot at " + at_text + ": " + name + " ends at " +
                   dvd::DurationText(static_cast<double>(player.duration_ms())));
    const uint64_t before = surface.Last().serial;
    player.Pause();
    if (at_seconds > 0) {
        // The first picture of the paused graph shows first; the seek's picture follows.
        surface.WaitUntil(
            [&](const decoders::HeadlessVideoSurface::Shown& s) { return s.serial > before; },
            wait);
        const uint64_t seen = surface.Last().serial;
        player.SeekTo(at_seconds);
        if (!surface.WaitUntil(
                [&](const decoders::HeadlessVideoSurface::Shown& s) { return s.serial > seen; },
                wait))
            return say("No snapshot: " + name + " showed no picture at " + at_text);
    } else if (!surface.WaitUntil(
                   [&](const decoders::HeadlessVideoSurface::Shown& s) {
                       return s.serial > before;
                   },
                   wait)) {
        return say("No snapshot: " + name + " showed no picture");
    }
    errno = 0;
    const bool saved = player.SaveSnapshot(output);
    if (!saved)
        say("Cannot write the snapshot " + output.string() +
            (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
    player.Stop();
    player.Close();
    return saved;
}

bool PlayTitle(const std::string& disc_path, int title, core::MessageSink* messages,
               const std::function<void(double position_s, double duration_s)>& progress) {
    DiscHandle disc;
    decoders::HeadlessVideoSurface surface;
    EventSignal signal;
    PreviewPlayer player(messages);
    if (!OpenSource(
            player, disc_path, title, disc, &surface, [&signal] { signal.Notify(); }, messages))
        return false;
    player.Play();
    bool ok = true;
    for (bool done = false; !done;) {
        {
            std::unique_lock lock(signal.mutex);
            const uint64_t seen = signal.count;
            signal.changed.wait_for(lock, std::chrono::milliseconds(100),
                                    [&] { return signal.count != seen; });
        }
        LONG code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        while (player.Events() &&
               SUCCEEDED(player.Events()->GetEvent(&code, &param1, &param2, 0))) {
            player.Events()->FreeEventParams(code, param1, param2);
            if (code == EC_COMPLETE) done = true;
            if (code == EC_ERRORABORT || code == EC_USERABORT) done = true, ok = false;
        }
        double position = 0, duration = 0;
        if (progress && player.GetPlayPosition(&position) && player.GetPlayDuration(&duration))
            progress(position, duration);
    }
    player.Stop();
    player.Close();
    return ok;
}

}  // namespace rizuvira::engine
