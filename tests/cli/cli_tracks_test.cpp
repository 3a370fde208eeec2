// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli convert with several sound tracks and soft subtitles, run as a
// program on the sample discs; the files are read back with libavformat and
// decoded with libavcodec.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using e2e::DecodedOutput;

constexpr double kNtscFrame = 1001.0 / 30000.0;
constexpr double kPalFrame = 0.04;

// What a player reads of a file's streams.
struct StreamFacts {
    std::string type;  // "video", "audio", "subtitle", ...
    std::string codec;
    std::string language;
    bool is_default = false;
};

std::vector<StreamFacts> ReadStreams(const fs::path& file) {
    std::vector<StreamFacts> facts;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return facts;
    avformat_find_stream_info(format, nullptr);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const char* type = av_get_media_type_string(stream->codecpar->codec_type);
        const AVDictionaryEntry* language = av_dict_get(stream->metadata, "language", nullptr, 0);
        facts.push_back({type ? type : "", avcodec_get_name(stream->codecpar->codec_id),
                         language ? language->value : "",
                         (stream->disposition & AV_DISPOSITION_DEFAULT) != 0});
    }
    avformat_close_input(&format);
    return facts;
}

std::vector<StreamFacts> OfType(const std::vector<StreamFacts>& streams, const std::string& type) {
    std::vector<StreamFacts> kept;
    for (const StreamFacts& s : streams)
        if (s.type == type) kept.push_back(s);
    return kept;
}

// One decoded subtitle: when it shows, and the colours of its visible pixels.
struct ShownSubtitle {
    double start_s = 0, end_s = 0;
    std::set<uint32_t> colours;  // 0xRRGGBB of every pixel that is not transparent
    size_t visible_pixels = 0;
};

// Decodes the file's `nth` subtitle stream with libavcodec's own decoder,
// set up from the stream's parameters as any player does.
std::vector<ShownSubtitle> DecodeSubtitles(const fs::path& file, int nth) {
    std::vector<ShownSubtitle> shown;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return shown;
    avformat_find_stream_info(format, nullptr);
    int index = -1;
    for (unsigned i = 0, seen = 0; i < format->nb_streams && index < 0; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE &&
            static_cast<int>(seen++) == nth)
            index = static_cast<int>(i);
    const AVCodec* codec =
        index >= 0 ? avcodec_find_decoder(format->streams[index]->codecpar->codec_id) : nullptr;
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (context && avcodec_parameters_to_context(context, format->streams[index]->codecpar) >= 0 &&
        avcodec_open2(context, codec, nullptr) >= 0) {
        const AVRational base = format->streams[index]->time_base;
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
            AVSubtitle subtitle{};
            int got = 0;
            if (packet->stream_index == index &&
                avcodec_decode_subtitle2(context, &subtitle, &got, packet) >= 0 && got) {
                ShownSubtitle s;
                const double at = packet->pts * av_q2d(base);
                s.start_s = at + subtitle.start_display_time / 1000.0;
                s.end_s = at + subtitle.end_display_time / 1000.0;
                for (unsigned r = 0; r < subtitle.num_rects; ++r) {
                    const AVSubtitleRect* rect = subtitle.rects[r];
                    const auto* palette = reinterpret_cast<const uint32_t*>(rect->data[1]);
                    for (int y = 0; y < rect->h; ++y)
                        for (int x = 0; x < rect->w; ++x) {
                            const uint32_t argb = palette[rect->data[0][y * rect->linesize[0] + x]];
                            if ((argb >> 24) == 0) continue;
                            s.colours.insert(argb & 0xFFFFFF);
                            ++s.visible_pixels;
                        }
                }
                shown.push_back(s);
                avsubtitle_free(&subtitle);
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return shown;
}

class CliTracksTest : public cli::test::CliFolderTest {
protected:
    // Converts from `disc` into folder_/out; the exit code.
    int Convert(const fx::SampleDisc& disc, const std::string& options) {
        const cli::test::CliRun run =
            cli::test::RunCli("convert '" + fx::SampleDiscPath(disc.iso) + "' -q -y -o '" +
                                  (folder_ / "out").string() + "' " + options,
                              env_);
        errors_ = run.err;
        return run.exit_code;
    }
    fs::path Out(const std::string& name) const { return folder_ / "out" / name; }

    std::string errors_;
};

double Tone(const DecodedOutput& out, double at_s, double hz) {
    const size_t first = static_cast<size_t>((at_s - out.audio_start_s) * out.sample_rate);
    const size_t count = static_cast<size_t>(out.sample_rate / 5);
    if (at_s < out.audio_start_s || first + count > out.mono.size()) return 0;
    return fx::ToneAmplitude(std::span<const float>(out.mono).subspan(first, count),
                             out.sample_rate, hz);
}

// The mean luma of the lower sixth of the picture shown at `at_s`, where
// the subtitles show.
double BottomAt(const DecodedOutput& out, double at_s) {
    double bottom = -1;
    for (const e2e::DecodedPicture& picture : out.pictures)
        if (picture.time_s <= at_s) bottom = picture.bottom_luma;
    return bottom;
}

// Whether a colour is `wanted` within the rounding of a trip through
// another colour space (MP4 stores the table as YCbCr).
bool NearColour(uint32_t colour, uint32_t wanted) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((colour >> shift) & 0xFF) -
                     static_cast<int>((wanted >> shift) & 0xFF)) > 2)
            return false;
    return true;
}

double FlashTime(const DecodedOutput& out, int64_t band, size_t from = 0) {
    for (size_t i = from; i < out.pictures.size(); ++i)
        if (out.pictures[i].band == band) return out.pictures[i].time_s;
    return -1;
}

// The PAL title's tracks: German AC-3 at 1070 Hz, English MPEG audio at
// 1160 Hz. Asked for English first, by number and by language, each track
// keeps its own tone, its language and its place against the pictures;
// only the first is the default.
TEST_F(CliTracksTest, EachSoundTrackKeepsItsToneLanguageAndTiming) {
    struct Case {
        const char* options;
        const char* file;
    };
    for (const Case& c :
         {Case{"-p 4 --audio 2,1", "Title_01.mkv"}, Case{"-p 2 --audio en,de", "Title_01.mp4"}}) {
        SCOPED_TRACE(c.options);
        ASSERT_EQ(Convert(fx::kPalDisc, std::string("-t 1 ") + c.options), 0) << errors_;
        const std::vector<StreamFacts> audio = OfType(ReadStreams(Out(c.file)), "audio");
        ASSERT_EQ(audio.size(), 2u);
        EXPECT_EQ(audio[0].language, "eng");
        EXPECT_EQ(audio[1].language, "ger");
        EXPECT_TRUE(audio[0].is_default);
        EXPECT_FALSE(audio[1].is_default);

        const double tones[] = {1160, 1070};
        for (int track = 0; track < 2; ++track) {
            SCOPED_TRACE(track);
            const DecodedOutput out = e2e::DecodeOutput(Out(c.file).string(), 720, 576, {}, track);
            ASSERT_TRUE(out.ok) << out.error;
            EXPECT_GT(Tone(out, 5.5, tones[track]), 0.03);
            EXPECT_LT(Tone(out, 5.5, tones[1 - track]), 0.01);
            EXPECT_NEAR(out.audio_start_s + static_cast<double>(out.mono.size()) / out.sample_rate,
                        10.0, 0.05);
            const double flash_s = FlashTime(out, fx::FirstFlashFrame(4, 25, 1));
            ASSERT_GE(flash_s, 0);
            EXPECT_NEAR(e2e::BeepRise(out, flash_s, tones[track]), flash_s, kPalFrame + 0.011);
        }
    }
}

// --audio all: every track of the title in its order, each with its language and tone.
TEST_F(CliTracksTest, AllKeepsEveryTrackWithItsLanguage) {
    ASSERT_EQ(Convert(fx::kPalDisc, "-t 1 -p 4 --audio all"), 0) << errors_;
    const std::vector<StreamFacts> audio = OfType(ReadStreams(Out("Title_01.mkv")), "audio");
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[0].language, "ger");
    EXPECT_EQ(audio[1].language, "eng");
    EXPECT_TRUE(audio[0].is_default);
    const double tones[] = {1070, 1160};
    for (int track = 0; track < 2; ++track) {
        const DecodedOutput out =
            e2e::DecodeOutput(Out("Title_01.mkv").string(), 720, 576, {}, track);
        ASSERT_TRUE(out.ok) << out.error;
        EXPECT_GT(Tone(out, 5.5, tones[track]), 0.03) << track;
    }
}

// The frames of a file's `nth` sound stream, as its packets hold them.
std::vector<std::string> SoundFrames(const fs::path& file, int nth) {
    std::vector<std::string> frames;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return frames;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    int wanted = -1;
    for (unsigned i = 0, seen = 0; i < format->nb_streams && wanted < 0; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
            static_cast<int>(seen++) == nth)
            wanted = static_cast<int>(i);
    AVPacket* packet = av_packet_alloc();
    while (index >= 0 && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == wanted)
            frames.emplace_back(reinterpret_cast<const char*>(packet->data),
                                static_cast<size_t>(packet->size));
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return frames;
}

// The profile number `profiles` lists for a name.
std::string ProfileNumber(const std::string& env, const std::string& name) {
    const cli::test::CliRun run = cli::test::RunCli("profiles", env);
    const size_t at = run.out.find(name);
    if (at == std::string::npos) return "";
    const size_t line = run.out.rfind('\n', at) + 1;
    return std::to_string(std::stoi(run.out.substr(line)));
}

// Sound as on the disc: the PAL title's AC-3 and MPEG audio tracks keep the disc's own
// frames, in order and none left out, with their languages, and the beep still meets
// its flash.
TEST_F(CliTracksTest, SoundAsOnTheDiscKeepsTheDiscsFrames) {
    const std::string profile = ProfileNumber(env_, "sound as on the disc");
    ASSERT_FALSE(profile.empty());
    ASSERT_EQ(Convert(fx::kPalDisc, "-t 1 --audio all -p " + profile), 0) << errors_;
    const std::vector<StreamFacts> audio = OfType(ReadStreams(Out("Title_01.mkv")), "audio");
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[0].codec, "ac3");
    EXPECT_EQ(audio[0].language, "ger");
    EXPECT_EQ(audio[1].codec, "mp2");
    EXPECT_EQ(audio[1].language, "eng");

    // ffmpeg's copy of the disc's own VOB, frame by frame.
    const fs::path vob =
        fs::path(fx::SampleDiscPath(fx::kPalDisc.folder)) / "VIDEO_TS" / "VTS_01_1.VOB";
    const std::string copy = "ffmpeg -v error -y -i '" + vob.string() + "' -map 0:a:0 -c copy '" +
                             (folder_ / "disc.mka").string() + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    const std::vector<std::string> disc = SoundFrames(folder_ / "disc.mka", 0);
    const std::vector<std::string> ours = SoundFrames(Out("Title_01.mkv"), 0);
    ASSERT_FALSE(ours.empty());
    const auto first = std::find(disc.begin(), disc.end(), ours.front());
    ASSERT_NE(first, disc.end());
    ASSERT_LE(ours.size(), static_cast<size_t>(disc.end() - first));
    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), first)) << "a run of the disc's frames";
    EXPECT_GE(ours.size() * 1536.0 / 48000, 9.9) << "the title's 10 s";

    const double tones[] = {1070, 1160};
    for (int track = 0; track < 2; ++track) {
        SCOPED_TRACE(track);
        const DecodedOutput out =
            e2e::DecodeOutput(Out("Title_01.mkv").string(), 720, 576, {}, track);
        ASSERT_TRUE(out.ok) << out.error;
        EXPECT_GT(Tone(out, 5.5, tones[track]), 0.03);
        const double flash_s = FlashTime(out, fx::FirstFlashFrame(4, 25, 1));
        ASSERT_GE(flash_s, 0);
        EXPECT_NEAR(e2e::BeepRise(out, flash_s, tones[track]), flash_s, kPalFrame + 0.011);
    }
}

// Two NTSC titles trimmed to 0.5 s - 2.5 s and merged: title 1 gives 2 s
// (tracks at 440 and 530 Hz), title 2, 2 s long, gives 1.5 s (620 and 710
// Hz). Both tracks change tone where the pictures change item, and the
// second item's beep meets its flash on each.
TEST_F(CliTracksTest, MergedTrimmedItemsKeepEveryTrackInStep) {
    ASSERT_EQ(
        Convert(fx::kNtscDisc, "-t 1,2 --merge --trim 00:00:00.5-00:00:02.5 --audio 1,2 -p 4"), 0)
        << errors_;
    const double first_item[] = {440, 530}, second_item[] = {620, 710};
    for (int track = 0; track < 2; ++track) {
        SCOPED_TRACE(track);
        const DecodedOutput out =
            e2e::DecodeOutput(Out("Title_01.mkv").string(), 720, 480, {}, track);
        ASSERT_TRUE(out.ok) << out.error;
        ASSERT_FALSE(out.pictures.empty());
        const double video_end = out.pictures.back().time_s + kNtscFrame;
        EXPECT_NEAR(video_end, 3.5, 2 * kNtscFrame);
        EXPECT_NEAR(out.audio_start_s + static_cast<double>(out.mono.size()) / out.sample_rate,
                    video_end, 0.05);
        EXPECT_GT(Tone(out, 1.0, first_item[track]), 0.03);
        EXPECT_GT(Tone(out, 2.9, second_item[track]), 0.03);
        EXPECT_LT(Tone(out, 2.9, first_item[track]), 0.01);

        size_t boundary = 1;
        while (boundary < out.pictures.size() &&
               out.pictures[boundary].band >= out.pictures[boundary - 1].band)
            ++boundary;
        ASSERT_LT(boundary, out.pictures.size()) << "no second item";
        EXPECT_NEAR(out.pictures[boundary].time_s, 2.0, kNtscFrame);
        const double flash_s = FlashTime(out, fx::FirstFlashFrame(1, 30000, 1001), boundary);
        ASSERT_GE(flash_s, 0);
        EXPECT_NEAR(e2e::BeepRise(out, flash_s, second_item[track]), flash_s, kNtscFrame + 0.011);
    }
}

// The NTSC title's English subtitle shows at 5 s - 8 s, its French one at
// 6 s - 9 s. Trimmed from 4 s, each is a dvd_subtitle stream with its
// language that decodes to its cue at 1 s (2 s) for 3 s, in the disc's
// colours (its table holds white and black); the pictures stay as clean as
// with no subtitle.
TEST_F(CliTracksTest, SoftSubtitlesAreStreamsInTheDiscsColours) {
    for (const char* profile : {"4", "2"}) {  // MKV, MP4
        SCOPED_TRACE(profile);
        const std::string file = profile[0] == '4' ? "Title_01.mkv" : "Title_01.mp4";
        const std::string options = std::string("-t 1 --trim 00:00:04-00:00:10 -p ") + profile;
        ASSERT_EQ(Convert(fx::kNtscDisc, options + " --subtitle none"), 0) << errors_;
        const DecodedOutput plain = e2e::DecodeOutput(Out(file).string(), 720, 480);
        ASSERT_EQ(Convert(fx::kNtscDisc, options + " --subtitle-mode soft --subtitle en,2"), 0)
            << errors_;
        const std::vector<StreamFacts> subtitles = OfType(ReadStreams(Out(file)), "subtitle");
        ASSERT_EQ(subtitles.size(), 2u);
        EXPECT_EQ(subtitles[0].codec, "dvd_subtitle");
        EXPECT_EQ(subtitles[0].language, "eng");
        EXPECT_EQ(subtitles[1].codec, "dvd_subtitle");
        EXPECT_EQ(subtitles[1].language, "fre");

        for (int stream = 0; stream < 2; ++stream) {
            SCOPED_TRACE(stream);
            const std::vector<ShownSubtitle> shown = DecodeSubtitles(Out(file), stream);
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_NEAR(shown[0].start_s, 1.0 + stream, kNtscFrame);
            EXPECT_NEAR(shown[0].end_s, 4.0 + stream, kNtscFrame);
            EXPECT_GT(shown[0].visible_pixels, 1000u);
            ASSERT_EQ(shown[0].colours.size(), 2u);
            EXPECT_TRUE(NearColour(*shown[0].colours.begin(), 0x000000))
                << std::hex << *shown[0].colours.begin();
            EXPECT_TRUE(NearColour(*shown[0].colours.rbegin(), 0xFFFFFF))
                << std::hex << *shown[0].colours.rbegin();
        }

        const DecodedOutput out = e2e::DecodeOutput(Out(file).string(), 720, 480);
        ASSERT_TRUE(out.ok && plain.ok);
        EXPECT_NEAR(BottomAt(out, 2.5), BottomAt(plain, 2.5), 1.0)
            << "no subtitle drawn into the pictures";
    }
}

// A merged file: title 2 (2 s, no subtitles) and then title 1 up to 6 s.
// Title 1's English cue (5 s) shows at 7 s of the file, after the first item.
TEST_F(CliTracksTest, SoftSubtitlesOfAMergedItemFollowItsPictures) {
    ASSERT_EQ(
        Convert(fx::kNtscDisc, "-t 2,1 --merge --trim 0:00:00-0:00:06 --subtitle-mode soft -p 4"),
        0)
        << errors_;
    const std::vector<ShownSubtitle> shown = DecodeSubtitles(Out("Title_02.mkv"), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NEAR(shown[0].start_s, 2.0 + 5.0, 2 * kNtscFrame);
}

// AVI carries no DVD subtitles: with soft subtitles asked for, the subtitle
// is drawn into the pictures as before (the NTSC title's first cue runs
// 5 s - 8 s).
TEST_F(CliTracksTest, SoftSubtitlesAreDrawnWhereTheContainerCannotCarryThem) {
    const std::string options = "-t 1 --trim 0:00:05-0:00:06 -p 8 ";
    ASSERT_EQ(Convert(fx::kNtscDisc, options + "--subtitle none"), 0) << errors_;
    const DecodedOutput plain = e2e::DecodeOutput(Out("Title_01.avi").string(), 720, 480);
    ASSERT_EQ(Convert(fx::kNtscDisc, options + "--subtitle-mode soft"), 0) << errors_;
    EXPECT_TRUE(OfType(ReadStreams(Out("Title_01.avi")), "subtitle").empty());
    const DecodedOutput out = e2e::DecodeOutput(Out("Title_01.avi").string(), 720, 480);
    ASSERT_TRUE(out.ok && plain.ok);
    EXPECT_GT(std::abs(BottomAt(out, 0.5) - BottomAt(plain, 0.5)), 1.0) << "the subtitle is drawn";
}

// FLV holds one sound track: of --audio 2,1 the file keeps the first.
TEST_F(CliTracksTest, OneTrackContainerKeepsTheFirstSoundTrack) {
    ASSERT_EQ(Convert(fx::kPalDisc, "-t 1 --audio 2,1 -p 12"), 0) << errors_;
    ASSERT_EQ(OfType(ReadStreams(Out("Title_01.flv")), "audio").size(), 1u);
    const DecodedOutput out = e2e::DecodeOutput(Out("Title_01.flv").string(), 720, 576);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_GT(Tone(out, 5.5, 1160), 0.03);
    EXPECT_LT(Tone(out, 5.5, 1070), 0.01);
}

}  // namespace
}  // namespace rizuvira::cli
