// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/mpeg_file_source.h"

#include "demux/clip_info.h"
#include "demux/stream_texts.h"
#include "dvd/language_names.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "demux/async_file_reader.h"
#include "demux/mpeg_splitter.h"
#include "demux/mpeg_splitter_file.h"
#include "demux/vobu_clock.h"
#include "engine/conversion_graph.h"
#include "platform/async_reader.h"
#include "platform/seeking.h"

namespace rizuvira::engine {
namespace {

// The channels a clip information's audio layout code names (1 mono, 3 stereo, 6 multi-channel,
// 12 stereo and multi-channel); 0 for the codes that name none.
int ChannelsOfClipLayout(int32_t layout) {
    switch (layout) {
        case 1:
            return 1;
        case 3:
            return 2;
        case 6:
        case 12:
            return 6;
        default:
            return 0;
    }
}

// Stamps of different streams are up to this far out of order in a multiplex.
constexpr REFERENCE_TIME kRestartTolerance100ns = 20'000'000;

// The DVD layer's coding for a clip information file's stream type.
int32_t CodingOfClipType(int32_t type, int32_t otherwise) {
    switch (type) {
        case 0x03:
        case 0x04:
            return dvd::kDvdAudioMpeg1;
        case 0x80:
            return dvd::kDvdAudioLpcm;
        case 0x81:
            return dvd::kDvdAudioAc3;
        case 0x84:
        case 0xA1:
            return dvd::kDvdAudioEac3;
        case 0x82:
        case 0x85:
        case 0x86:
        case 0xA2:
            return dvd::kDvdAudioDts;
        default:
            return otherwise;
    }
}

// What the time stamps say of a file's length: from its first time stamp to
// its last (found by scanning its tail) plus one picture; 0 when they say
// nothing. `continuous`: stamps sampled through the whole file rise from
// start to end, so the clock never restarts and the span is the length.
struct StampedLength {
    double ms = 0;
    bool continuous = false;
    bool video_stream = false;  // a bare video stream: no stamps at all
};

StampedLength SpannedMs(const std::filesystem::path& path, int64_t frame_100ns) {
    demux::CAsyncFileReader file;
    if (FAILED(file.Open(path.string()))) return {};
    HRESULT hr = S_OK;
    demux::CMpegSplitterFile parser(file.Reader(), &hr, dvd::DvdTitleInfo{});
    if (FAILED(hr)) return {};
    if (parser.Container() == demux::MpegContainer::kVideoStream) return {.video_stream = true};
    parser.RescanTail();
    if (parser.FirstTime() == INT64_MAX || parser.LastTime() < parser.FirstTime()) return {};
    const REFERENCE_TIME span = parser.LastTime() - parser.FirstTime();
    StampedLength length;
    length.ms = static_cast<double>(span + std::max<int64_t>(frame_100ns, 0)) / 10000.0;

    std::vector<demux::SplitterStream> streams = parser.Streams(demux::kVideo);
    // Pictures after the last stamped one (an encoder that stamps only some of them, a cut
    // file) follow it at the frame duration.
    if (!streams.empty() && frame_100ns > 0) {
        constexpr int64_t kTailReach = int64_t{16} << 20;
        const uint32_t key = streams[0].Key();
        const int64_t last = parser.FindLastTimestampBefore(key, parser.DataLength(), kTailReach);
        parser.MoveTo(std::max<int64_t>(last, 0));
        const REFERENCE_TIME stamp = last >= 0 ? parser.FindNextTimestamp(key) : -1;
        if (stamp >= 0) {
            const int64_t pictures = parser.CountPicturesFrom(key, last);
            length.ms =
                std::max(length.ms, static_cast<double>(stamp + pictures * frame_100ns) / 10000.0);
        }
    }
    if (streams.empty()) streams = parser.Streams(demux::kAudio);
    if (streams.empty()) return length;
    constexpr int kSamples = 16;
    const int64_t bytes = parser.DataLength();
    REFERENCE_TIME previous = 0;
    length.continuous = true;
    for (int i = 1; i < kSamples && length.continuous; ++i) {
        parser.MoveTo(bytes / kSamples * i);
        const REFERENCE_TIME at = parser.FindNextTimestamp(streams[0].Key());
        if (at == -1) continue;
        // A stamp before an earlier one, or past the tail's last, is a restart.
        length.continuous = at >= previous - kRestartTolerance100ns && at <= span;
        previous = std::max(previous, at);
    }
    return length;
}

// The coding of a video stream the splitter met but does not list, for one
// no decoder here takes; empty when there is none.
std::string OtherVideoCodingOf(const std::filesystem::path& path) {
    demux::CAsyncFileReader file;
    if (FAILED(file.Open(path.string()))) return {};
    HRESULT hr = S_OK;
    demux::CMpegSplitterFile parser(file.Reader(), &hr, dvd::DvdTitleInfo{});
    return SUCCEEDED(hr) ? parser.OtherVideoCoding() : std::string();
}

// Whether the parser finds subtitle streams in the file and no picture or sound stream.
bool HoldsOnlySubtitles(const std::filesystem::path& path) {
    demux::CAsyncFileReader file;
    if (FAILED(file.Open(path.string()))) return false;
    HRESULT hr = S_OK;
    demux::CMpegSplitterFile parser(file.Reader(), &hr, dvd::DvdTitleInfo{});
    if (!parser.Streams(demux::kVideo).empty() || !parser.Streams(demux::kAudio).empty())
        return false;
    return (SUCCEEDED(hr) && !parser.Streams(demux::kSubpicture).empty()) ||
           parser.ListsDvbSubtitles();
}

// The pictures of a bare MPEG video stream: its picture start codes.
int64_t CountPictures(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    uint32_t last = 0xFFFFFFFF;
    int64_t pictures = 0;
    while (file) {
        file.read(block.data(), static_cast<std::streamsize>(block.size()));
        for (std::streamsize i = 0; i < file.gcount(); ++i) {
            last = last << 8 | static_cast<uint8_t>(block[static_cast<size_t>(i)]);
            if (last == 0x00000100) ++pictures;
        }
    }
    return pictures;
}

// The playing time of a VOB file: the sum of its VOBUs' times, read from
// their navigation packs, hopping from one to the next. This holds across
// clock restarts. 0 when the file has no navigation packs.
double VobuPlayingMs(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::error_code error;
    const uint64_t sectors = std::filesystem::file_size(path, error) / dvd::kDvdSectorBytes;
    if (!file || error) return 0;
    std::vector<uint8_t> sector(dvd::kDvdSectorBytes);
    auto read = [&](uint64_t at) {
        file.clear();
        file.seekg(static_cast<std::streamoff>(at * dvd::kDvdSectorBytes));
        return static_cast<bool>(
            file.read(reinterpret_cast<char*>(sector.data()), dvd::kDvdSectorBytes));
    };
    uint64_t ticks = 0;
    bool any = false;
    constexpr uint64_t kLookAhead =
        1024;  // sectors searched for a pack the last one did not point to
    for (uint64_t at = 0; at < sectors;) {
        demux::NavigationSector nav;
        if (!read(at) || !demux::ReadNavigationSector(sector, &nav)) {
            // Not where the previous pack said (or damaged): look further on.
            uint64_t next = at + 1;
            while (next < sectors && next < at + kLookAhead &&
                   !(read(next) && demux::ReadNavigationSector(sector, &nav)))
                ++next;
            if (next >= sectors || next >= at + kLookAhead) break;
            at = next;
        }
        any = true;
        if (nav.end > nav.start) ticks += nav.end - nav.start;
        at += uint64_t{nav.last_sector} + 1;
    }
    return any ? static_cast<double>(ticks) / 90.0 : 0;
}

// A file's length. Where its clock runs on from start to end, the time
// stamps give it exactly; the byte rate only guesses, too short where the
// rate drops (a still stretch after a busy start), too long where it rises.
// Where the clock restarts (pieces encoded apart), the stamps fall short,
// and an item that is too short loses its end, one that is too long only
// shows a longer length: the longer of the two stands.
double FileDurationMs(double estimate_ms, const StampedLength& stamped) {
    if (stamped.continuous && stamped.ms > 0) return stamped.ms;
    return std::max(estimate_ms, stamped.ms);
}

}  // namespace

bool IsMpegFilePath(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    // A disc image names its volume descriptors at sector 16: "CD001" (ISO 9660) or "BEA01"
    // (the start of UDF's).
    std::ifstream file(path, std::ios::binary);
    char tag[5] = {};
    file.seekg(16 * 2048 + 1);
    if (file.read(tag, sizeof(tag))) {
        const std::string_view text(tag, sizeof(tag));
        if (text == "CD001" || text == "BEA01") return false;
    }
    return true;
}

std::string MissingSourceText(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status)) return {};
    if (!error) error = std::make_error_code(std::errc::no_such_file_or_directory);
    return path.string() + ": " + error.message();
}

std::string UnreadableFileText(const std::filesystem::path& path) {
    if (const std::string coding = OtherVideoCodingOf(path); !coding.empty())
        return path.string() + " holds " + coding +
               " video, which cannot be converted (pictures are read in MPEG-1, MPEG-2 and "
               "H.264)";
    if (HoldsOnlySubtitles(path))
        return path.string() +
               " holds subtitles only: no video or sound stream the converter reads";
    return path.string() +
           " is not an MPEG program or transport stream, a VOB or an MPEG video stream";
}

bool ProbeMpegFile(const std::filesystem::path& path, dvd::TitleTable* disc) {
    *disc = {};
    ComPtr<IBaseFilter> splitter;
    if (FAILED(demux::CreateMpegSplitter(nullptr, splitter.ReleaseAndGetAddressOf()))) return false;
    ComPtr<IFileSourceFilter> file = splitter.As<IFileSourceFilter>();
    if (!file || FAILED(file->Load(path.string(), nullptr))) return false;
    StreamTable streams;
    if (!ListSplitterStreams(splitter.Get(), &streams)) return false;
    if (streams.video.empty() && streams.audio.empty()) return false;
    // Pictures nothing here decodes: the file is refused rather than
    // converted to its sound alone.
    if (streams.video.empty() && !OtherVideoCodingOf(path).empty()) return false;

    dvd::DvdTitleInfo& title = disc->titles[0];
    disc->title_count = 1;
    title.chapters = 1;
    LONGLONG duration_100ns = 0;
    if (ComPtr<IMediaSeeking> seeking = splitter.As<IMediaSeeking>();
        seeking && SUCCEEDED(seeking->GetDuration(&duration_100ns)))
        title.duration_ms = static_cast<double>(duration_100ns) / 10000.0;
    // A VOB's navigation packs know its playing time; other files have the
    // guess and the time stamps to go by.
    const int64_t frame_100ns = streams.video.empty() ? 0 : streams.video[0].frame_duration_100ns;
    const double vobus_ms = VobuPlayingMs(path);
    const StampedLength stamped = vobus_ms > 0 ? StampedLength{} : SpannedMs(path, frame_100ns);
    if (vobus_ms > 0)
        title.duration_ms = vobus_ms;
    else if (stamped.video_stream)
        title.duration_ms = static_cast<double>(CountPictures(path) * frame_100ns) / 10000.0;
    else
        title.duration_ms = FileDurationMs(title.duration_ms, stamped);
    // A Blu-ray clip's information file names its streams' languages, codings and layouts.
    demux::ClipInfoList clip;
    demux::LoadSourceClipInfo(path, &clip);
    for (const StreamTable::Audio& audio : streams.audio) {
        if (title.audio_count >= dvd::kDvdMaxStreams || audio.key <= 0) continue;
        const int i = title.audio_count++;
        title.audio_id[i] = audio.key;
        title.audio_coding[i] = audio.coding;
        title.audio_channels[i] = std::max(1, audio.channels) - 1;
        const demux::ClipStreamEntry* entry =
            audio.pid >= 0 ? demux::FindClipStream(clip, static_cast<uint16_t>(audio.pid))
                           : nullptr;
        if (entry != nullptr) {
            title.audio_language[i] = dvd::LanguageCodeOf3(demux::ClipLanguage(*entry));
            title.audio_coding[i] = CodingOfClipType(entry->coding_type, title.audio_coding[i]);
            if (const int channels = ChannelsOfClipLayout(entry->channel_layout); channels > 0)
                title.audio_channels[i] = channels - 1;
        }
    }
    for (const StreamTable::Subtitle& subtitle : streams.subtitles) {
        if (title.subtitle_count >= dvd::kDvdMaxStreams || subtitle.key <= 0) continue;
        const int i = title.subtitle_count++;
        title.subtitle_id[i] = subtitle.key;
        const demux::ClipStreamEntry* entry =
            subtitle.pid > 0 ? demux::FindClipStream(clip, static_cast<uint16_t>(subtitle.pid))
                             : nullptr;
        if (entry != nullptr)
            title.subtitle_language[i] = dvd::LanguageCodeOf3(demux::ClipLanguage(*entry));
    }
    return true;
}

bool FilePictureSize(const std::filesystem::path& path, int32_t* width, int32_t* height) {
    ComPtr<IBaseFilter> splitter;
    if (FAILED(demux::CreateMpegSplitter(nullptr, splitter.ReleaseAndGetAddressOf()))) return false;
    ComPtr<IFileSourceFilter> file = splitter.As<IFileSourceFilter>();
    StreamTable streams;
    if (!file || FAILED(file->Load(path.string(), nullptr)) ||
        !ListSplitterStreams(splitter.Get(), &streams) || streams.video.empty())
        return false;
    *width = streams.video[0].width;
    *height = std::abs(streams.video[0].height);
    return *width > 0 && *height > 0;
}

}  // namespace rizuvira::engine
