// SPDX-License-Identifier: GPL-2.0-or-later
// The conversion graph of one item: DVD reader → splitter → video and audio
// decoders → deinterlacer (unless deinterlacing is off) → video and audio
// conversion filters → converter sink, which
// writes through the media file writer this object owns. The sink's
// "Video Pre" output may feed a renderer showing the live picture. Each
// further sound track of the file has a decoder and a conversion filter of
// its own, fed by a splitter output of its own; soft subtitles go from the
// splitter straight to the sink.
//
// The system's own filters are made by their factories; the decoders and
// the renderer come from the component registry. Every link is a direct
// pin-to-pin connection with no media type.
//
// Threads: every operation runs on the application thread. Graph events
// (the sink's EC_COMPLETE) are announced through the notification callback
// given to Build, on the streaming thread that posted them; the caller reads
// them with Events() on its own thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/convert_item.h"
#include "core/media_file_writer.h"
#include "core/messages.h"
#include "core/picture_cleanup.h"
#include "core/watermark.h"
#include "decoders/video_renderer.h"
#include "dvd/dvd_access.h"
#include "filters/border_detect.h"
#include "filters/conv_filter.h"
#include "platform/filter_graph.h"
#include "platform/seeking.h"

namespace rizuvira::engine {

// The streams of the splitter, by kind. Keys are whole track ids (demux::TrackId):
// (PES stream id << 8) | substream as the DVD layer gives them, with the PID above
// it in a transport stream.
struct StreamTable {
    struct Video {
        int index;
        int width, height;
        int bit_rate;
        int64_t frame_duration_100ns;
        int aspect_x, aspect_y;  // display aspect the stream declares (DeclaredAspect)
    };
    struct Audio {
        int index;
        int key;
        int sample_rate;
        int channels;
        int bit_rate;
        int pid = -1;                          // transport streams; -1 in program streams
        int32_t coding = dvd::kDvdAudioOther;  // DvdAudioCoding, from the stream's format
    };
    struct Subtitle {
        int index;
        int key;
        bool drawn = true;  // false: a subtitle stream the video decoder cannot draw
        int pid = -1;
    };
    static constexpr size_t kMaxVideo = 8, kMaxAudio = 32, kMaxSubtitles = 64;
    std::vector<Video> video;
    std::vector<Audio> audio;
    std::vector<Subtitle> subtitles;
};

// Follows the item's name when its title's data is scrambled (a
// CSS-protected disc read without its key); other titles may still read.
// libdvdread descrambles such discs itself when libdvdcss is installed, so
// the message says how to get it.
inline constexpr const char* kEncryptedDiscMessage =
    " is encrypted: it cannot be read without the disc's key. libdvdread reads"
    " encrypted DVDs when libdvdcss is installed (Debian: enable contrib, install"
    " libdvd-pkg, run `sudo dpkg-reconfigure libdvd-pkg`, then convert again).";

// Follows the item's name when its title's first sector cannot be read; the
// reason follows ("VTS_01_1.VOB is missing").
inline constexpr const char* kNoVideoDataMessage = " cannot be read: ";

inline constexpr const char* kGraphNotBuiltMessage =
    "the steps of its conversion could not be joined";

// The watermark's text could not be drawn (no font); the item converts
// without it.
inline constexpr const char* kWatermarkFailedMessage =
    "The watermark text cannot be drawn with the chosen font; converting without it";

// The streams a splitter offers (through IAMStreamSelect), by kind.
bool ListSplitterStreams(IBaseFilter* splitter, StreamTable* table);

class ConversionGraph {
public:
    // `messages` receives the fixed texts of failed steps; it must outlive
    // this object.
    explicit ConversionGraph(core::MessageSink* messages);
    ~ConversionGraph();
    ConversionGraph(const ConversionGraph&) = delete;
    ConversionGraph& operator=(const ConversionGraph&) = delete;

    // Opens the writer on `path` with `settings` (kept by reference: the
    // caller keeps them alive while items are built); `container_name`, when
    // given, chooses the container instead of the path's extension.
    bool OpenOutput(const std::filesystem::path& path, const core::OutputSettings& settings,
                    const std::filesystem::path& container_name = {});
    bool CloseOutput();
    core::MediaFileWriter& writer() { return writer_; }

    // Encoder and decoder threads for what is built next.
    void SetThreadCount(int threads);
    // Whether the next Build joins the subpicture stream to the decoder (the
    // "None" subtitle choice leaves it unjoined).
    void SetSubtitlesWanted(bool wanted);
    // The audio and subtitle streams (as for SelectStreams) that the next
    // Build enables before it pauses the graph: the splitter delivers from
    // the moment the graph pauses, so a later choice would let the first
    // packets of its default track into the file.
    void SetStreamChoice(int audio_key, int subtitle_key);
    // The streams of the file's further sound tracks (its tracks 1, 2, ...)
    // and of its subtitle streams, for the next Build. Subtitle streams
    // replace the drawn subtitle when the open file has them; a track or
    // stream the file has no room for is left out, and one the item lacks
    // stays silent (or empty).
    void SetFurtherStreams(std::vector<int> audio_keys, std::vector<int> subtitle_keys);
    // The text watermark the video converter of every later Build draws (an
    // empty text: none), at output pixels.
    void SetWatermark(const core::Watermark& watermark) { watermark_ = watermark; }
    // Deinterlacing and the automatic crop for every later Build. The automatic
    // crop measures each item's title before its graph is built and replaces
    // the edit settings' crop rectangle with what it found.
    void SetPictureCleanup(const core::PictureCleanup& cleanup) { cleanup_ = cleanup; }

    // Builds and joins the graph of one item and leaves it paused. `notify`
    // (may be empty) is called whenever a graph event is queued.
    bool Build(int32_t dvd_handle, int title, int chapter, const core::ConvertItem& item,
               std::function<void()> notify);

    // The same for a plain MPEG program or transport stream file (.vob,
    // .mpg, .ts, .m2ts), read through the splitter's own file source
    // instead of the DVD reader. The item's title and chapter are not read.
    bool BuildFromFile(const std::filesystem::path& file, const core::ConvertItem& item,
                       std::function<void()> notify);

    // Joins "Video Pre" to a renderer that presents into `surface`.
    bool AttachPreview(decoders::IVideoSurface* surface);
    void ShowPreview(bool on);

    bool ListStreams(StreamTable* table);
    bool EnableStream(int index, bool on);
    // Enables the audio and subtitle streams whose keys match (a key of 0 or
    // below, or one that matches nothing, leaves the splitter's own choice).
    // True when something matched.
    bool SelectStreams(int audio_key, int subtitle_key);
    // Whether a subtitle stream of this key is the one a pin carries.
    bool StreamSelected(int key);

    void Run();
    void Pause();
    void Stop();
    bool IsRunning();
    bool IsPaused();
    bool IsStopped();

    // Time written so far (relative to the trim start; the later of the
    // pictures and the sound) and the splitter's duration, in seconds.
    bool GetPositionSeconds(double* seconds);
    bool GetDurationSeconds(double* seconds);

    IMediaEventEx* Events() { return events_.Get(); }
    // "Title_01", "Chapter_01_02" or the file's name: the item built last.
    const std::string& item_name() const { return item_name_; }

    void Teardown();

private:
    // Shows `message` after the item's name; false.
    bool Fail(const char* message);
    // `built`, after showing a message for a failed build that showed none.
    bool Reported(bool built);
    bool BuildGraph(int32_t dvd_handle, int title, int chapter, const core::ConvertItem& item,
                    std::function<void()> notify);
    bool AddFilters(int32_t dvd_handle, int title, int chapter, const core::ConvertItem& item);
    bool JoinPins();
    // Joins the further sound tracks' chains and the subtitle streams.
    bool JoinFurtherStreams();
    // Soft subtitles for the item being built.
    bool SoftSubtitles() const;

    core::MessageSink* const messages_;
    std::string item_name_;  // of the item being built: "Title_01", or the file's name
    bool reported_ = false;  // the build being made has shown its failure
    ComPtr<IGraphBuilder> graph_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaEventEx> events_;
    ComPtr<IMediaSeeking> seeking_;
    ComPtr<filters::CConvFilter> sink_;
    ComPtr<IBaseFilter> splitter_;
    ComPtr<IBaseFilter> source_;
    ComPtr<IBaseFilter> video_decoder_;
    ComPtr<IBaseFilter> audio_decoder_;
    ComPtr<IBaseFilter> deinterlacer_;
    ComPtr<IBaseFilter> video_converter_;
    ComPtr<IBaseFilter> audio_converter_;
    ComPtr<IBaseFilter> renderer_;
    // The further sound tracks' decoders and conversion filters, by track - 1.
    std::vector<ComPtr<IBaseFilter>> more_audio_decoders_;
    std::vector<ComPtr<IBaseFilter>> more_audio_converters_;

    const core::OutputSettings* settings_ = nullptr;
    core::MediaFileWriter writer_;
    int thread_count_ = 0;  // 0: every core
    bool subtitles_wanted_ = true;
    int chosen_audio_key_ = 0, chosen_subtitle_key_ = 0;
    std::vector<int> further_audio_keys_, soft_subtitle_keys_;
    core::Watermark watermark_;
    core::PictureCleanup cleanup_;
    std::optional<filters::CropBox> measured_crop_;  // of the item being built
    int64_t source_length_ms_ = 0;
    std::filesystem::path source_file_;  // empty: the DVD reader is the source
};

}  // namespace rizuvira::engine
