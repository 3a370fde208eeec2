// SPDX-License-Identifier: GPL-2.0-or-later
// PreviewPlayer: the main window's playback engine. One filter graph plays a DVD title:
//
//   DVD reader "Reader" → demultiplexer "Splitter" → video decoder "Decoder" (PreviewSource)
//   → video renderer "Video Mixing Renderer" (windowless, presenting into the caller's
//   IVideoSurface)
//   splitter audio pin → the graph's automatic rendering (audio decoder → audio renderer)
//   splitter subpicture pin → decoder input 1
//
// The window is replaced by two things the caller gives to Open: a surface (the Qt widget, or a
// HeadlessVideoSurface) and a notification callback, called on a graph thread whenever an event
// is queued; the caller hops to its own thread and drains Events(). End of stream arrives once
// per play (EC_COMPLETE, after every renderer has finished); what to do about it is the
// caller's choice (the main window stops and rewinds).
//
// Build failures are reported through the MessageSink with the fixed texts of each step, and
// make the operation return false; queries fail silently with false.
//
// Threads: every operation on the application thread. The object owns one reference on each
// interface it holds; Close (also run by Open and the destructor) lets go of all of them.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "core/messages.h"
#include "decoders/video_renderer.h"
#include "engine/graph_playback.h"
#include "platform/filter_graph.h"
#include "platform/seeking.h"

namespace rizuvira::engine {

// The streams of the demultiplexer, filled by ListStreams (zeroed first). `stream_id` is the
// track's whole id (demux::TrackId), as the DVD layer and the title catalogue give track ids:
// 0xBD80 for the first AC-3 track, 0xC000 for the first MPEG audio track, 0xBD20 for the
// first subtitle; 0x1101FD00 for an AC-3 track on PID 0x1101 of a transport stream.
struct StreamInfoList {
    struct Video {
        int32_t index;
        int16_t width;
        int16_t height;
        int32_t bit_rate;
        int32_t frame_duration_100ns;  // low 32 bits
    };
    struct Audio {
        int32_t index;
        int32_t stream_id;
        uint16_t sample_rate;  // low 16 bits of the rate in Hz (96000 reads 30464)
        uint16_t channels;
        int32_t bit_rate;
    };
    struct Subtitle {
        int32_t index;
        int32_t stream_id;
    };
    static constexpr int kMaxVideo = 8, kMaxAudio = 32, kMaxSubtitles = 64;
    int32_t video_count;
    Video video[kMaxVideo];
    int32_t audio_count;
    Audio audio[kMaxAudio];
    int32_t subtitle_count;
    Subtitle subtitles[kMaxSubtitles];
};

// Fills `list` from a demultiplexer's IAMStreamSelect (zeroed first; entries past a list's
// capacity are left out). False without the interface or its count.
bool FillStreamInfoList(IBaseFilter* splitter, StreamInfoList* list);

class PreviewPlayer : public GraphPlayback {
public:
    // `messages` receives the build steps' failure texts; it must outlive this object.
    explicit PreviewPlayer(core::MessageSink* messages);
    ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    // Builds the graph for the open disc `dvd_handle` (kept open by the caller). `surface`
    // (may be null: sound only) must outlive the player or the next Open/Close; `video_rect`
    // (may be null: the whole surface) is the destination rectangle; `notify` may be empty.
    bool Open(int32_t dvd_handle, decoders::IVideoSurface* surface, const RECT* video_rect,
              std::function<void()> notify);
    // Builds the graph for a plain MPEG file instead of a disc: the splitter reads `file`
    // itself; `length_ms` is its length as ProbeMpegFile measured it. SelectTitle(0, -1) then
    // connects its streams.
    bool OpenFile(const std::filesystem::path& file, int64_t length_ms,
                  decoders::IVideoSurface* surface, const RECT* video_rect,
                  std::function<void()> notify);
    // Selects title and chapter (−1: the whole title) and connects the streams. Stopped only.
    bool SelectTitle(int title, int chapter);
    // Whether SelectTitle connects the sound to a renderer (the default). A player that only
    // looks at pictures (measuring borders, a snapshot) leaves it out, and so never opens a
    // sound device.
    void SetSoundWanted(bool wanted) { sound_wanted_ = wanted; }

    // Play, Pause, Stop, the state queries, seeking and the stream list come
    // from GraphPlayback.
    void Repaint();

    // Enables the audio and subtitle streams whose whole track ids match (0 or no match:
    // the demultiplexer's own choice stays). True when something matched.
    bool SelectStreamsById(int audio_id, int subtitle_id);

    void Close();

    // Saves the renderer's current picture to `path` (type by extension); silent on every
    // failure. The result says whether a file was written.
    bool SaveSnapshot(const std::filesystem::path& path);

    IFilterGraph* Graph() { return graph_.Get(); }
    IMediaEventEx* Events() { return events_.Get(); }
    IBaseFilter* Renderer() { return renderer_.Get(); }
    int64_t duration_ms() const { return source_.duration_ms(); }

private:
    // The graph, the renderer at `video_rect`, the splitter and the decoder: what a disc and a
    // file share.
    bool BuildCommon(decoders::IVideoSurface* surface, const RECT* video_rect,
                     std::function<void()> notify);

    ComPtr<IBaseFilter> renderer_;
    ComPtr<decoders::IMyWindowlessControl> windowless_;
    bool sound_wanted_ = true;
};

// For the command line: opens the disc (or plain MPEG file, title 0 only) at `disc_path`, plays
// title `title` (0-based) paused from `at_seconds`, and writes the picture shown there to `output`
// (type by extension). Waits at most `wait` for the picture. Failures go to `messages`; false when
// no file was written.
bool SaveTitleSnapshot(const std::string& disc_path, int title, double at_seconds,
                       const std::filesystem::path& output, core::MessageSink* messages,
                       std::chrono::milliseconds wait = std::chrono::seconds(20));

// For the command line: plays title `title` (0-based) of the disc (or plain MPEG file) at
// `disc_path` in real time
// with sound (silent without a sound device) until its end. `progress`, if given, is called
// about every 100 ms with the position and duration in seconds. False when the graph could
// not be built or the graph reported an error.
bool PlayTitle(const std::string& disc_path, int title, core::MessageSink* messages,
               const std::function<void(double position_s, double duration_s)>& progress = {});

}  // namespace rizuvira::engine
