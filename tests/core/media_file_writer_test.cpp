// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/media_file_writer.h"
#include "core/choice_list.h"
#include "core/profile_catalogue.h"
#include "media_probe.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

// libx265 itself leaks one parameter block per encoder (the ffmpeg tool
// shows the same leak); it is not ours to report.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}

namespace rizuvira::core {
namespace {

namespace fs = std::filesystem;
using test::Probe;
using test::ProbedFile;
using test::ProbedStream;

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "rizuvira-writer-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    bool Empty() const { return fs::is_empty(path_); }

private:
    fs::path path_;
};

// Generated input in the sink's formats: YV12 pictures with a moving bar,
// and a 440 Hz tone as interleaved 16-bit sound. Sound is cut per picture
// the way the converter sink delivers it, so both streams end together.
// Sound-only output is cut in the slots of a 25 fps clock.
class Source {
public:
    explicit Source(const OutputSettings& s)
        : s_(s), rate_(ExactFrameRate(s.HasVideo ? s.FrameRate : 25000)) {
        if (s.HasVideo) picture_.resize(static_cast<size_t>(s.Width) * s.Height * 3 / 2);
    }

    // Sound sample at which picture `frame` starts.
    int64_t SampleAt(int64_t frame) const { return frame * s_.SampleRate * rate_.den / rate_.num; }

    const std::vector<uint8_t>& Picture(int64_t frame) {
        const int w = s_.Width;
        const int h = s_.Height;
        uint8_t* y = picture_.data();
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                const bool bar = (col - frame * 4) % w >= 0 && (col - frame * 4) % w < 16;
                y[row * w + col] = bar ? 235 : static_cast<uint8_t>(16 + (row * 200) / h);
            }
        }
        std::memset(y + w * h, 110, static_cast<size_t>(w) * h / 4);          // V
        std::memset(y + w * h * 5 / 4, 150, static_cast<size_t>(w) * h / 4);  // U
        return picture_;
    }

    std::vector<int16_t> Tone(int64_t first_sample, int64_t count, double amplitude = 8000) const {
        std::vector<int16_t> samples(static_cast<size_t>(count * s_.Channel));
        for (int64_t i = 0; i < count; ++i) {
            double t = static_cast<double>(first_sample + i) / s_.SampleRate;
            auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * 440 * t)));
            for (int c = 0; c < s_.Channel; ++c) samples[i * s_.Channel + c] = v;
        }
        return samples;
    }

    // Writes pictures [first, first + count) and the sound that goes with them.
    void Write(MediaFileWriter& writer, int64_t first, int64_t count) {
        for (int64_t f = first; f < first + count; ++f) {
            if (s_.HasVideo) {
                const auto& picture = Picture(f);
                ASSERT_EQ(writer.WriteVideo(picture.data(), picture.size()), 0)
                    << writer.last_error();
            }
            if (s_.HasAudio) {
                int64_t from = SampleAt(f);
                auto sound = Tone(from, SampleAt(f + 1) - from);
                ASSERT_EQ(writer.WriteAudio(reinterpret_cast<const uint8_t*>(sound.data()),
                                            sound.size() * 2),
                          0)
                    << writer.last_error();
            }
        }
    }

    double FrameSeconds() const { return static_cast<double>(rate_.den) / rate_.num; }

private:
    OutputSettings s_;
    FrameRateFraction rate_;
    std::vector<uint8_t> picture_;
};

}  // namespace

// Names the profile in test output instead of dumping its bytes.
void PrintTo(const OutputProfile& profile, std::ostream* out) {
    *out << FieldText(profile.ProfileName);
}

namespace {

std::vector<OutputProfile> ShippedProfiles() {
    ProfileCatalogue catalogue;
    std::vector<OutputProfile> profiles;
    if (!catalogue.LoadFile(fs::path(RIZUVIRA_SOURCE_DIR) / "data" / "Format.xml")) return profiles;
    for (const OutputProfile& p : catalogue.Iterate()) profiles.push_back(p);
    return profiles;
}

// Samples of silence the audio encoder puts before the sound. Containers
// that cannot mark them (AVI, FLV, raw streams without a gapless header)
// show them as part of the stream.
int EncoderPrimingSamples(const OutputSettings& s) {
    const AVCodec* codec = avcodec_find_encoder_by_name(s.AudioCodecName);
    if (codec == nullptr) return 0;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = s.SampleRate;
    context->bit_rate = s.AudioBitRate;
    context->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    context->time_base = AVRational{1, s.SampleRate};
    av_channel_layout_default(&context->ch_layout, s.Channel);
    int priming = avcodec_open2(context, codec, nullptr) == 0 ? context->initial_padding : 0;
    avcodec_free_context(&context);
    return priming;
}

OutputProfile ShippedProfile(int id) {
    ProfileCatalogue catalogue;
    OutputProfile profile{};
    EXPECT_TRUE(catalogue.LoadFile(fs::path(RIZUVIRA_SOURCE_DIR) / "data" / "Format.xml"));
    EXPECT_TRUE(catalogue.Find(id, profile));
    return profile;
}

// Small pictures keep the tests quick; sizes a codec fixes stay as they are.
OutputSettings Small(OutputSettings s) {
    // The source's values, as a 4:3 source of that size at 25 fps would give them.
    s = ResolveSourceValues(s, {320, 240, 4, 3, 25000});
    if (s.HasVideo && s.Width > 352) {
        s.Width = 320;
        s.Height = 240;
    }
    return s;
}

// Container names as ffprobe reports them, by extension.
std::string ExpectedFormat(std::string_view ext) {
    static const std::map<std::string, std::string, std::less<>> formats = {
        {".mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
        {".mov", "mov,mp4,m4a,3gp,3g2,mj2"},
        {".m4a", "mov,mp4,m4a,3gp,3g2,mj2"},
        {".3gp", "mov,mp4,m4a,3gp,3g2,mj2"},
        {".mkv", "matroska,webm"},
        {".webm", "matroska,webm"},
        {".avi", "avi"},
        {".vob", "mpeg"},
        {".mpg", "mpeg"},
        {".wmv", "asf"},
        {".flv", "flv"},
        {".ogv", "ogg"},
        {".ogg", "ogg"},
        {".mp3", "mp3"},
        {".wav", "wav"},
        {".flac", "flac"},
    };
    auto it = formats.find(ext);
    return it == formats.end() ? "?" : it->second;
}

std::string CodecNameOf(const char* encoder) {
    // Copying with no coded source to copy writes the decoded sound losslessly.
    if (std::string_view(encoder) == kCopySoundCodec) return "flac";
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    return codec == nullptr ? "?" : avcodec_get_name(codec->id);
}

// ffprobe prints times to the microsecond.
constexpr double kPrintedTimeSlack_s = 1e-5;

class ShippedProfileTest : public ::testing::TestWithParam<OutputProfile> {};

// Every shipped profile writes two seconds that an independent reader sees
// with the right container, codecs, size, rate and durations.
TEST_P(ShippedProfileTest, WritesTwoSecondsThatProbeCorrectly) {
    const OutputProfile& profile = GetParam();
    const OutputSettings s = Small(profile.Settings);
    ScratchDir dir;
    const fs::path file = dir / ("out" + std::string(FieldText(profile.FormatExt)));

    MediaFileWriter writer;
    writer.SetThreadCount(2);
    ASSERT_TRUE(writer.Open(file, s)) << writer.last_error();
    Source source(s);
    const int64_t frames = std::lround(2.0 / source.FrameSeconds());
    source.Write(writer, 0, frames);
    const int audio_frame = writer.audio_frame_samples();
    ASSERT_TRUE(writer.Close()) << writer.last_error();

    auto probed = Probe(file);
    ASSERT_TRUE(probed.has_value());
    EXPECT_EQ(probed->format_name, ExpectedFormat(FieldText(profile.FormatExt)));
    ASSERT_EQ(probed->streams.size(), static_cast<size_t>(s.HasVideo + s.HasAudio));

    const double written_s = frames * source.FrameSeconds();
    double video_end_s = written_s;
    if (s.HasVideo) {
        const ProbedStream* v = probed->Find("video");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->codec_name, CodecNameOf(s.VideoCodecName));
        EXPECT_EQ(v->width, s.Width);
        EXPECT_EQ(v->height, s.Height);
        const FrameRateFraction rate = ExactFrameRate(s.FrameRate);
        EXPECT_NEAR(static_cast<double>(v->frame_rate_num) / v->frame_rate_den,
                    static_cast<double>(rate.num) / rate.den, 0.01)
            << v->frame_rate_num << "/" << v->frame_rate_den;
        EXPECT_NEAR(v->end_s - v->start_s, written_s, source.FrameSeconds() + kPrintedTimeSlack_s)
            << "from " << v->start_s << " to " << v->end_s;
        video_end_s = v->end_s;
    }
    const ProbedStream* a = probed->Find("audio");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->codec_name, CodecNameOf(s.AudioCodecName));
    EXPECT_EQ(a->sample_rate, s.SampleRate);
    EXPECT_EQ(a->channels, s.Channel);
    // The last frame is filled up with silence, and some containers also
    // show the encoder's priming. An encoder without a fixed frame size
    // (Vorbis) is measured by its longest packet.
    const double audio_frame_s =
        std::max(audio_frame / static_cast<double>(s.SampleRate), a->longest_packet_s) +
        EncoderPrimingSamples(s) / static_cast<double>(s.SampleRate) + kPrintedTimeSlack_s;
    EXPECT_NEAR(a->end_s - a->start_s, written_s, audio_frame_s)
        << "from " << a->start_s << " to " << a->end_s;
    EXPECT_NEAR(a->end_s, video_end_s, audio_frame_s);
}

OutputSettings GoodSettingsForRate(int32_t frame_rate_x1000) {
    OutputSettings s = Small(ShippedProfile(1).Settings);
    s.FrameRate = frame_rate_x1000;
    s.HasAudio = 0;
    return s;
}

// Two items merged into one file: the second item's pictures and sound
// follow the first without a gap or an overlap.
TEST(MediaFileWriter, ItemsMergedIntoOneFileContinueEachOther) {
    const OutputSettings s = Small(ShippedProfile(1).Settings);  // MP4, H.264, AAC
    ScratchDir dir;
    MediaFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "merged.mp4", s)) << writer.last_error();
    Source first(s);
    first.Write(writer, 0, 31);  // sound not a whole number of AAC frames
    Source second(s);            // the next item starts at its own zero
    second.Write(writer, 0, 29);
    ASSERT_TRUE(writer.Close()) << writer.last_error();

    auto probed = Probe(dir / "merged.mp4");
    ASSERT_TRUE(probed.has_value());
    const ProbedStream* v = probed->Find("video");
    const ProbedStream* a = probed->Find("audio");
    ASSERT_TRUE(v != nullptr && a != nullptr);
    const double frame_s = first.FrameSeconds();
    ASSERT_EQ(v->packet_pts_s.size(), 60u);
    std::vector<double> pts = v->packet_pts_s;
    std::sort(pts.begin(), pts.end());
    for (size_t i = 0; i < pts.size(); ++i) {
        EXPECT_NEAR(pts[i], i * frame_s, kPrintedTimeSlack_s) << "picture " << i;
    }
    const double aac_frame_s = 1024.0 / s.SampleRate;
    for (size_t i = 1; i < a->packet_pts_s.size(); ++i) {
        EXPECT_NEAR(a->packet_pts_s[i] - a->packet_pts_s[i - 1], aac_frame_s, kPrintedTimeSlack_s)
            << "sound packet " << i;
    }
    EXPECT_NEAR(a->end_s, 60 * frame_s, aac_frame_s);
}

// With look-ahead (libx264 holds pictures back) every accepted picture is
// a frame slot: the file has exactly as many frames as were written.
TEST(MediaFileWriter, EveryPictureTheEncoderAcceptsReachesTheFile) {
    OutputSettings s = Small(ShippedProfile(1).Settings);
    s.HasAudio = 0;
    ScratchDir dir;
    MediaFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "x264.mkv", s)) << writer.last_error();
    Source source(s);
    source.Write(writer, 0, 47);
    EXPECT_EQ(writer.video_frames_written(), 47);
    ASSERT_TRUE(writer.Close());
    auto probed = Probe(dir / "x264.mkv");
    ASSERT_TRUE(probed.has_value());
    ASSERT_EQ(probed->streams.size(), 1u);
    EXPECT_EQ(probed->streams[0].packets, 47);
}

// Sound left in the queue at Close (less than one encoder frame) is
// encoded into that file and does not lead the next one.
TEST(MediaFileWriter, QueuedSoundEndsInItsOwnFile) {
    for (int id : {17, 14}) {  // FLAC (short last frame), MP3 (last frame padded)
        const OutputSettings s = ShippedProfile(id).Settings;
        SCOPED_TRACE(s.AudioCodecName);
        ScratchDir dir;
        const std::string ext(FieldText(ShippedProfile(id).FormatExt));
        MediaFileWriter writer;
        Source source(s);

        ASSERT_TRUE(writer.Open(dir / ("a" + ext), s)) << writer.last_error();
        const int frame = writer.audio_frame_samples();
        ASSERT_GT(frame, 0);
        const auto tone = source.Tone(0, frame + frame / 3);
        ASSERT_EQ(writer.WriteAudio(reinterpret_cast<const uint8_t*>(tone.data()), tone.size() * 2),
                  0);
        ASSERT_TRUE(writer.Close());

        ASSERT_TRUE(writer.Open(dir / ("b" + ext), s)) << writer.last_error();
        const std::vector<int16_t> silence(static_cast<size_t>(frame) * 3 * s.Channel, 0);
        ASSERT_EQ(
            writer.WriteAudio(reinterpret_cast<const uint8_t*>(silence.data()), silence.size() * 2),
            0);
        ASSERT_TRUE(writer.Close());

        auto a = test::DecodeAudio(dir / ("a" + ext));
        auto b = test::DecodeAudio(dir / ("b" + ext));
        ASSERT_TRUE(a.has_value() && b.has_value());
        ASSERT_GE(a->size(), tone.size()) << "the queued tail is in the first file";
        if (id == 17) {  // lossless: the first file is the tone exactly
            EXPECT_EQ(*a, tone);
            EXPECT_EQ(b->size(), silence.size());
        }
        int peak = 0;
        for (int16_t v : *b) peak = std::max(peak, std::abs(static_cast<int>(v)));
        EXPECT_LT(peak, 100) << "tone from the first file leaked into the second";
    }
}

// PCM takes any number of samples; calls that cut sample frames in half
// lose nothing.
TEST(MediaFileWriter, PcmKeepsEverySampleAcrossRaggedCalls) {
    const OutputSettings s = ShippedProfile(16).Settings;  // WAV
    ASSERT_STREQ(s.AudioCodecName, "pcm_s16le");
    ScratchDir dir;
    Source source(s);
    const auto tone = source.Tone(0, s.SampleRate / 2);
    const auto* bytes = reinterpret_cast<const uint8_t*>(tone.data());
    const size_t total = tone.size() * 2;
    MediaFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "ragged.wav", s));
    for (size_t at = 0; at < total; at += 1001) {
        ASSERT_EQ(writer.WriteAudio(bytes + at, std::min<size_t>(1001, total - at)), 0);
    }
    ASSERT_TRUE(writer.Close());
    auto decoded = test::DecodeAudio(dir / "ragged.wav");
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, tone);
}

// Sound a merged file took back is skipped at the next call, also across a
// sample frame cut in two, and the queue count says what waits unencoded.
TEST(MediaFileWriter, SkippedSoundIsLeftOut) {
    const OutputSettings s = ShippedProfile(16).Settings;  // WAV
    ScratchDir dir;
    Source source(s);
    const auto tone = source.Tone(0, 4800);
    const auto* bytes = reinterpret_cast<const uint8_t*>(tone.data());
    const size_t block = 2 * static_cast<size_t>(s.Channel);
    MediaFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "skip.wav", s));
    writer.SkipAudio(1000);
    ASSERT_EQ(writer.WriteAudio(bytes, 600 * block + 1), 0);  // 600 skipped and half a frame
    ASSERT_EQ(writer.WriteAudio(bytes + 600 * block + 1, tone.size() * 2 - 600 * block - 1), 0);
    EXPECT_EQ(writer.audio_samples_written() + writer.audio_samples_queued(), 4800 - 1000);
    ASSERT_TRUE(writer.Close());
    auto decoded = test::DecodeAudio(dir / "skip.wav");
    ASSERT_TRUE(decoded.has_value());
    const std::vector<int16_t> expected(tone.begin() + 1000 * s.Channel, tone.end());
    EXPECT_EQ(*decoded, expected);
}

// A subpicture unit of `size` bytes: shown at once, hidden after `stop`
// (units of 1024 / 90000 s), its pixel data left as zeros.
std::vector<uint8_t> SubpictureUnit(size_t size, uint16_t stop) {
    std::vector<uint8_t> unit(size, 0);
    const size_t first = size - 12, last = size - 6;  // the two control sequences
    unit[0] = static_cast<uint8_t>(size >> 8), unit[1] = static_cast<uint8_t>(size);
    unit[2] = static_cast<uint8_t>(first >> 8), unit[3] = static_cast<uint8_t>(first);
    const uint8_t sequences[] = {0,
                                 0,
                                 static_cast<uint8_t>(last >> 8),
                                 static_cast<uint8_t>(last),
                                 0x01,
                                 0xFF,
                                 static_cast<uint8_t>(stop >> 8),
                                 static_cast<uint8_t>(stop),
                                 static_cast<uint8_t>(last >> 8),
                                 static_cast<uint8_t>(last),
                                 0x02,
                                 0xFF};
    std::memcpy(unit.data() + first, sequences, sizeof sequences);
    return unit;
}

// Units come in pieces: they are written whole at the time of their first
// piece and last until their stop command; a piece with no unit begun and
// a unit longer than it says are left out. The stream says its language,
// the colour table and the picture size as the codec's setup text.
TEST(MediaFileWriter, SubtitleUnitsAreWrittenWholeWithTheirShowingTime) {
    const OutputSettings s = Small(ShippedProfile(3).Settings);  // MKV
    ScratchDir dir;
    Source source(s);
    MediaFileWriter writer;
    SubtitleTrackFormat format{"fre", {}, 720, 576};
    format.palette_rgb[0] = 0xFF8000;
    writer.SetSubtitleTracks({format});
    ASSERT_TRUE(writer.Open(dir / "subtitles.mkv", s)) << writer.last_error();
    ASSERT_EQ(writer.subtitle_tracks(), 1);
    const std::vector<uint8_t> first = SubpictureUnit(300, 176), second = SubpictureUnit(40, 88);
    ASSERT_EQ(writer.WriteSubtitle(0, first.data() + 100, 50, MediaFileWriter::kUntimed),
              0);  // no unit begun
    ASSERT_EQ(writer.WriteSubtitle(0, first.data(), 100, 10'000'000), 0);
    ASSERT_EQ(writer.WriteSubtitle(0, first.data() + 100, 200, MediaFileWriter::kUntimed), 0);
    std::vector<uint8_t> too_long = second;
    too_long.resize(60);
    ASSERT_EQ(writer.WriteSubtitle(0, too_long.data(), too_long.size(), 15'000'000), 0);
    ASSERT_EQ(writer.WriteSubtitle(0, second.data(), second.size(), 20'000'000), 0);
    EXPECT_EQ(writer.WriteSubtitle(1, second.data(), second.size(), 20'000'000), -1);
    source.Write(writer, 0, 75);
    ASSERT_TRUE(writer.Close()) << writer.last_error();

    AVFormatContext* file = nullptr;
    ASSERT_GE(avformat_open_input(&file, (dir / "subtitles.mkv").c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(file, nullptr), 0);
    const int index = av_find_best_stream(file, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
    ASSERT_GE(index, 0);
    const AVStream* stream = file->streams[index];
    EXPECT_EQ(stream->codecpar->codec_id, AV_CODEC_ID_DVD_SUBTITLE);
    const std::string setup(reinterpret_cast<const char*>(stream->codecpar->extradata),
                            static_cast<size_t>(stream->codecpar->extradata_size));
    EXPECT_EQ(setup.rfind("size: 720x576\npalette: ff8000, 000000, ", 0), 0u) << setup;
    const AVDictionaryEntry* language = av_dict_get(stream->metadata, "language", nullptr, 0);
    EXPECT_STREQ(language ? language->value : "", "fre");
    std::vector<std::tuple<double, double, int>> packets;  // start s, length s, bytes
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(file, packet) >= 0) {
        if (packet->stream_index == index)
            packets.emplace_back(packet->pts * av_q2d(stream->time_base),
                                 packet->duration * av_q2d(stream->time_base), packet->size);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&file);
    // The container may shift every stream by the sound encoder's priming (a few ms).
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_NEAR(std::get<0>(packets[0]), 1.0, 0.01);
    EXPECT_DOUBLE_EQ(std::get<1>(packets[0]), 2.002);
    EXPECT_EQ(std::get<2>(packets[0]), 300);
    EXPECT_NEAR(std::get<0>(packets[1]), 2.0, 0.01);
    EXPECT_DOUBLE_EQ(std::get<1>(packets[1]), 1.001);
    EXPECT_EQ(std::get<2>(packets[1]), 40);
}

// An owner of `picture` for WriteVideo that counts in `returned` when it is let go.
AVBufferRef* CountedOwner(std::vector<uint8_t>& picture, int* returned) {
    return av_buffer_create(
        picture.data(), picture.size(), [](void* count, uint8_t*) { ++*static_cast<int*>(count); },
        returned, 0);
}

// YV12 carries V before U: a red picture must come out red, also through
// the pixel format conversion for an encoder that takes no 4:2:0.
// The planes are read in YV12 order, from a copy or (libx264) in place.
TEST(MediaFileWriter, ReadsThePlanesInYv12Order) {
    struct Case {
        const char* encoder;
        const char* file;
    };
    for (Case c : {Case{"libx264", "red.mp4"}, Case{"libx264rgb", "red.mkv"}}) {
        SCOPED_TRACE(c.encoder);
        OutputSettings s{};
        s.HasVideo = 1;
        s.Width = 64;
        s.Height = 48;
        s.FrameRate = 25000;
        s.VideoBitRate = 500000;
        std::strcpy(s.VideoCodecName, c.encoder);
        ScratchDir dir;
        MediaFileWriter writer;
        ASSERT_TRUE(writer.Open(dir / c.file, s)) << writer.last_error();
        std::vector<uint8_t> red(64 * 48 * 3 / 2);
        std::memset(red.data(), 81, 64 * 48);                        // Y
        std::memset(red.data() + 64 * 48, 240, 64 * 48 / 4);         // V (Cr)
        std::memset(red.data() + 64 * 48 * 5 / 4, 90, 64 * 48 / 4);  // U (Cb)
        for (int i = 0; i < 5; ++i) ASSERT_EQ(writer.WriteVideo(red.data(), red.size()), 0);
        // A lent picture (read in place by libx264) is let go, and no longer read, once
        // WriteVideo returns: wiping it afterwards leaves the file red.
        int returned = 0;
        std::vector<uint8_t> lent = red;
        for (int i = 0; i < 5; ++i) {
            AVBufferRef* owner = CountedOwner(lent, &returned);
            ASSERT_NE(owner, nullptr);
            ASSERT_EQ(writer.WriteVideo(lent.data(), lent.size(), owner), 0);
            EXPECT_EQ(returned, i + 1);
            std::fill(lent.begin(), lent.end(), uint8_t{0});
            lent = red;
        }
        ASSERT_TRUE(writer.Close());
        auto rgb = test::RunCapture(
            "ffmpeg -nostdin -v error -i " + test::ShellQuote((dir / c.file).string()) +
            " -vf 'select=eq(n\\,9)' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
        ASSERT_TRUE(rgb.has_value());
        ASSERT_EQ(rgb->size(), 64u * 48 * 3);
        const size_t center = (24 * 64 + 32) * 3;
        EXPECT_GT(static_cast<uint8_t>((*rgb)[center]), 230);
        EXPECT_LT(static_cast<uint8_t>((*rgb)[center + 1]), 25);
        EXPECT_LT(static_cast<uint8_t>((*rgb)[center + 2]), 25);
    }
}

// wrapped_avframe passes a lent picture on as it is, in a packet the multiplexer may queue: the
// writer says it may keep what it is lent, and gives every picture back by the close.
TEST(MediaFileWriter, PicturesLentToThePassThroughEncoderComeBackByTheClose) {
    OutputSettings s = GoodSettingsForRate(25000);
    std::strcpy(s.VideoCodecName, "wrapped_avframe");
    std::strcpy(s.AudioCodecName, "pcm_s16le");
    ScratchDir dir;
    MediaFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "decoded.null", s)) << writer.last_error();
    EXPECT_TRUE(writer.KeepsLentPictures());
    std::vector<uint8_t> picture(static_cast<size_t>(s.Width) * s.Height * 3 / 2, 128);
    int returned = 0;
    for (int i = 0; i < 10; ++i) {
        AVBufferRef* owner = CountedOwner(picture, &returned);
        ASSERT_NE(owner, nullptr);
        ASSERT_EQ(writer.WriteVideo(picture.data(), picture.size(), owner), 0);
    }
    ASSERT_TRUE(writer.Close());
    EXPECT_EQ(returned, 10);
    EXPECT_EQ(writer.video_frames_written(), 10);
}

// A rate such as 12.5 fps is kept exactly, not cut to whole frames per
// second; 23.976 and 29.97 stand for the NTSC fractions.
TEST(MediaFileWriter, KeepsFrameRatesExact) {
    EXPECT_EQ(ExactFrameRate(23976).num, 24000);
    EXPECT_EQ(ExactFrameRate(23976).den, 1001);
    EXPECT_EQ(ExactFrameRate(29970).num, 30000);
    EXPECT_EQ(ExactFrameRate(29970).den, 1001);
    EXPECT_EQ(ExactFrameRate(25000).num, 25);
    EXPECT_EQ(ExactFrameRate(25000).den, 1);

    OutputSettings s = GoodSettingsForRate(12500);
    ScratchDir dir;
    MediaFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "slow.mkv", s)) << writer.last_error();
    Source(s).Write(writer, 0, 16);
    ASSERT_TRUE(writer.Close());
    auto probed = Probe(dir / "slow.mkv");
    ASSERT_TRUE(probed.has_value());
    const ProbedStream* v = probed->Find("video");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->frame_rate_num, 25);
    EXPECT_EQ(v->frame_rate_den, 2);
    EXPECT_NEAR(v->end_s - v->start_s, 16 * 0.08, 0.001);
}

OutputSettings GoodSettings() {
    return Small(ShippedProfile(1).Settings);
}

// Settings that cannot be written are refused by Open, leaving nothing open
// and no file behind; the writer then opens good settings as usual.
TEST(MediaFileWriter, OpenRefusesWhatItCannotWrite) {
    struct Case {
        const char* what;
        const char* file;
        void (*change)(OutputSettings&);
    };
    const Case cases[] = {
        {"unknown video encoder", "x.mp4",
         [](OutputSettings& s) { std::strcpy(s.VideoCodecName, "nosuchcodec"); }},
        {"unknown audio encoder", "x.mp4",
         [](OutputSettings& s) { std::strcpy(s.AudioCodecName, "nosuchcodec"); }},
        {"audio encoder as video", "x.mp4",
         [](OutputSettings& s) { std::strcpy(s.VideoCodecName, "aac"); }},
        {"unknown container", "x.nosuchext", [](OutputSettings&) {}},
        {"no extension", "x", [](OutputSettings&) {}},
        {"codec the container cannot carry", "x.webm", [](OutputSettings&) {}},
        {"no stream", "x.mp4", [](OutputSettings& s) { s.HasVideo = s.HasAudio = 0; }},
        {"odd width", "x.mp4", [](OutputSettings& s) { s.Width = 321; }},
        {"odd height", "x.mp4", [](OutputSettings& s) { s.Height = 241; }},
        {"zero width", "x.mp4", [](OutputSettings& s) { s.Width = 0; }},
        {"negative height", "x.mp4", [](OutputSettings& s) { s.Height = -240; }},
        {"huge picture", "x.mp4", [](OutputSettings& s) { s.Width = 1 << 20; }},
        {"zero frame rate", "x.mp4", [](OutputSettings& s) { s.FrameRate = 0; }},
        {"zero sample rate", "x.mp4", [](OutputSettings& s) { s.SampleRate = 0; }},
        {"zero channels", "x.mp4", [](OutputSettings& s) { s.Channel = 0; }},
        {"too many channels", "x.mp4", [](OutputSettings& s) { s.Channel = 64; }},
        {"rate the encoder lacks", "x.mp4", [](OutputSettings& s) { s.SampleRate = 12345; }},
        {"size the encoder lacks", "x.3gp",
         [](OutputSettings& s) {
             std::strcpy(s.VideoCodecName, "h263");
             s.Width = 320;
         }},
        {"unterminated name", "x.mp4",
         [](OutputSettings& s) { std::memset(s.VideoCodecName, 'x', 16); }},
    };
    MediaFileWriter writer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        OutputSettings s = GoodSettings();
        c.change(s);
        EXPECT_FALSE(writer.Open(dir / c.file, s));
        EXPECT_FALSE(writer.last_error().empty());
        EXPECT_FALSE(writer.IsOpen());
        EXPECT_TRUE(dir.Empty()) << "a failed Open left a file";
        EXPECT_EQ(writer.WriteVideo(nullptr, 0), -1);
    }
    ScratchDir dir;
    EXPECT_FALSE(writer.Open(dir / "no" / "such" / "folder.mp4", GoodSettings()));
    EXPECT_FALSE(writer.IsOpen());

    const OutputSettings good = GoodSettings();
    ASSERT_TRUE(writer.Open(dir / "good.mp4", good)) << writer.last_error();
    EXPECT_FALSE(writer.Open(dir / "second.mp4", good)) << "one file at a time";
    std::vector<uint8_t> short_picture(static_cast<size_t>(good.Width) * good.Height);
    EXPECT_EQ(writer.WriteVideo(short_picture.data(), short_picture.size()), -1);
    EXPECT_TRUE(writer.Close());
    EXPECT_TRUE(writer.Close()) << "closing a closed writer does nothing";
    EXPECT_FALSE(fs::exists(dir / "second.mp4"));
}

TEST(MediaFileWriter, SoundOnlyFileRefusesPictures) {
    const OutputSettings s = ShippedProfile(14).Settings;  // MP3
    ScratchDir dir;
    MediaFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "a.mp3", s));
    std::vector<uint8_t> picture(720 * 480 * 3 / 2);
    EXPECT_EQ(writer.WriteVideo(picture.data(), picture.size()), -1);
    EXPECT_TRUE(writer.Close());
}

TEST(MediaFileWriter, ThreadsFollowTheProcessorUseSetting) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_EQ(MediaFileWriter::ThreadsForCpuUsage(100), cores);
    EXPECT_EQ(MediaFileWriter::ThreadsForCpuUsage(50), std::max(1, cores / 2));
    EXPECT_EQ(MediaFileWriter::ThreadsForCpuUsage(1), 1);
    MediaFileWriter writer;
    EXPECT_EQ(writer.thread_count(), cores);
    writer.SetThreadCount(0);
    EXPECT_EQ(writer.thread_count(), 1);

    // A machine with many cores: every encoder still opens.
    writer.SetThreadCount(64);
    ScratchDir dir;
    for (int id : {4, 12}) {  // H.265 (at most 16 frame threads), H.263 at 176x144
        const OutputProfile profile = ShippedProfile(id);
        SCOPED_TRACE(FieldText(profile.ProfileName));
        const OutputSettings s = Small(profile.Settings);
        ASSERT_TRUE(writer.Open(dir / ("many" + std::string(FieldText(profile.FormatExt))), s))
            << writer.last_error();
        Source(s).Write(writer, 0, 3);
        EXPECT_TRUE(writer.Close());
    }
}

// Every entry a profile offers in its lists works with the rest of the
// profile: each one, chosen alone, opens and writes a few frames.
TEST_P(ShippedProfileTest, EveryListedChoiceWrites) {
    const OutputProfile& profile = GetParam();
    const std::string ext(FieldText(profile.FormatExt));
    std::vector<std::pair<std::string, OutputSettings>> choices;
    auto each = [&](std::string_view list, auto apply) {
        for (const std::string& label : ChoiceLabels(list)) {
            OutputSettings s = Small(profile.Settings);
            apply(s, ChoiceKeyForLabel(list, label));
            choices.emplace_back(label, s);
        }
    };
    const OutputSettings& d = profile.Settings;
    if (d.HasVideo) {
        // "source" stays as Small resolved it.
        each(FieldText(profile.Resolutions), [](OutputSettings& s, const std::string& key) {
            if (key == kSameAsSourceKey) return;
            ASSERT_EQ(std::sscanf(key.c_str(), "%d*%d", &s.Width, &s.Height), 2) << key;
        });
        each(FieldText(profile.FrameRates), [](OutputSettings& s, const std::string& key) {
            if (key != kSameAsSourceKey) s.FrameRate = ParseLeadingInt(key);
        });
        each(FieldText(profile.Qualities),
             [](OutputSettings& s, const std::string& key) { s.Quality = ParseLeadingInt(key); });
        each(FieldText(profile.EncoderPresets),
             [](OutputSettings& s, const std::string& key) { SetField(s.EncoderPreset, key); });
        each(FieldText(profile.VideoCodecs),
             [](OutputSettings& s, const std::string& key) { SetField(s.VideoCodecName, key); });
        each(FieldText(profile.VideoBitRates), [](OutputSettings& s, const std::string& key) {
            s.VideoBitRate = ParseLeadingInt(key);
        });
    }
    each(FieldText(profile.SampleRates),
         [](OutputSettings& s, const std::string& key) { s.SampleRate = ParseLeadingInt(key); });
    each(FieldText(profile.Channels),
         [](OutputSettings& s, const std::string& key) { s.Channel = ParseLeadingInt(key); });
    each(FieldText(profile.AudioCodecs),
         [](OutputSettings& s, const std::string& key) { SetField(s.AudioCodecName, key); });
    each(FieldText(profile.AudioBitRates),
         [](OutputSettings& s, const std::string& key) { s.AudioBitRate = ParseLeadingInt(key); });

    ScratchDir dir;
    MediaFileWriter writer;
    writer.SetThreadCount(2);
    for (const auto& [label, s] : choices) {
        SCOPED_TRACE(label);
        ASSERT_TRUE(writer.Open(dir / ("choice" + ext), s)) << writer.last_error();
        Source(s).Write(writer, 0, 3);
        EXPECT_TRUE(writer.Close()) << writer.last_error();
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedProfileTest, ::testing::ValuesIn(ShippedProfiles()),
                         [](const ::testing::TestParamInfo<OutputProfile>& info) {
                             std::string name = "id" + std::to_string(info.param.Id) + "_";
                             for (char c : FieldText(info.param.ProfileName)) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             }
                             return name;
                         });

}  // namespace
}  // namespace rizuvira::core
