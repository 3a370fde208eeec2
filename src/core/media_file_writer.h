// SPDX-License-Identifier: GPL-2.0-or-later
// The media file writer: turns raw pictures and raw sound into one output
// file, in the container its name chooses and with the encoders the
// OutputSettings name.
//
// Input:
//   pictures  YV12: planar 4:2:0, Width × Height of the settings, no row
//             padding, planes Y, then V (Cr), then U (Cb);
//             Width × Height × 3 / 2 bytes.
//   sound     signed 16-bit little-endian samples, interleaved, at the
//             settings' SampleRate and Channel count.
//
// Timing: picture n of a file is stamped n / frame rate and sound sample k
// is stamped k / sample rate, counted from Open, so everything written
// between one Open and its Close (several items merged into one file)
// continues without a gap. A picture the encoder accepts counts as written
// even when the encoder holds it back (look-ahead); Close drains both
// encoders and encodes the sound still queued, the last frame filled with
// silence where the encoder needs whole frames, so nothing carries over
// into the next file.
//
// Lifecycle: Closed → Open() → Open → Close() → Closed; one object may
// write many files in turn. A failed Open leaves it Closed with no file
// left behind.
//
// Tracks: one picture stream; one sound track or several, each encoded
// with the settings' audio encoder, the first the default one; DVD subtitle
// streams, copied as they come, where the container carries them.
//
// Threading: no lock of its own. The Write calls may come from several
// threads but must be serialised by the caller (the converter sink's lock);
// Open and Close run while no Write call is in flight.
#pragma once

#include "core/av_handles.h"
#include "core/copied_sound.h"
#include "core/output_profile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace rizuvira::core {

// A chapter of the output: where it starts and its name.
struct ChapterMark {
    int64_t start_ms = 0;
    std::string title;

    friend bool operator==(const ChapterMark&, const ChapterMark&) = default;
};

// A DVD subtitle track of the output: its language and what its
// subpictures are drawn with (the title's colour table and picture size).
struct SubtitleTrackFormat {
    std::string language;                    // ISO 639-2 ("eng"); empty: untagged
    std::array<uint32_t, 16> palette_rgb{};  // 0xRRGGBB
    int width = 720, height = 480;
    // Blu-ray presentation graphics (PGS), written as they come (Matroska keeps them); the
    // palette is then unused.
    bool graphics = false;

    friend bool operator==(const SubtitleTrackFormat&, const SubtitleTrackFormat&) = default;
};

// Whether a container (libavformat's name, "matroska", "flv") takes more
// than one sound track; players of the others see the first only, or the
// file does not open.
bool ContainerTakesSeveralSoundTracks(const char* format_name);

// Whether a container writes chapters given to it only when the file is
// closed: MP4 and its kin, and Matroska. The others either ignore them or,
// as ASF does, write its header again with them, bigger than the first one,
// over the packets that follow it.
bool ContainerTakesChaptersAtTheEnd(const char* format_name);

class MediaFileWriter {
public:
    MediaFileWriter();
    ~MediaFileWriter();
    MediaFileWriter(const MediaFileWriter&) = delete;
    MediaFileWriter& operator=(const MediaFileWriter&) = delete;

    // Encoder threads for the next Open (video encoder; audio uses one).
    // Defaults to every core of the machine.
    void SetThreadCount(int thread_count);
    int thread_count() const { return thread_count_; }
    // Threads for a processor-use setting: the processors this process may use
    // (UsableProcessorCount) × percent / 100, at least 1.
    static int ThreadsForCpuUsage(int cpu_usage_percent);

    // Creates `file_name` (the extension of `container_name`, or of the file
    // name when that is empty, chooses the container), opens the encoders
    // named in `settings` (copied) and writes the header. False, with
    // nothing left open and no file left behind, when an encoder or the
    // container is unknown, the container cannot carry the codec, a size is
    // zero, odd or too large, a rate or channel count is out of range, or
    // an encoder or the file cannot be opened. last_error() says why.
    bool Open(const std::filesystem::path& file_name, const OutputSettings& settings,
              const std::filesystem::path& container_name = {});
    bool IsOpen() const { return output_ != nullptr; }

    // The sound tracks of the files opened from now on: one per language
    // code (ISO 639-2, "eng"; an empty code leaves that track untagged), in
    // this order, the first the default. An empty list: one untagged track.
    // A container that takes one sound track only gets the first.
    void SetSoundTracks(std::vector<std::string> languages) {
        sound_languages_ = std::move(languages);
    }
    // The source's coding of each sound track of the files opened from now
    // on, in the order of SetSoundTracks, for settings whose audio encoder is
    // kCopySoundCodec: a track whose coding copies takes the source's frames
    // (WriteCodedSound); any other is coded losslessly from the decoded sound
    // given to WriteAudio (PCM for a PCM source, else FLAC). A track with no
    // entry is coded losslessly.
    void SetCopiedSound(std::vector<CopiedSoundFormat> formats) {
        copied_formats_ = std::move(formats);
    }
    // Whether sound track `track` of the open file takes the source's frames.
    bool CopiesSound(int track) const {
        return track >= 0 && track < sound_tracks() && sound_[static_cast<size_t>(track)].copied;
    }
    // One piece of the source's coded sound for a copied track (see
    // CopiedSound::Write): `start_100ns` is the file time of the first frame
    // that begins in it, kUntimed for none; frames that begin before
    // `from_100ns` are left out. 0 normally; -1 when the track is not copied
    // or the multiplexer failed.
    int WriteCodedSound(int track, const uint8_t* data, size_t length_bytes, int64_t start_100ns,
                        int64_t from_100ns);
    // Where a copied track's sound ends in the file (100-ns units); 0 for others.
    int64_t coded_sound_end_100ns(int track) const;
    // The DVD subtitle streams of the files opened from now on. Only
    // Matroska and MP4 carry them; other containers get none, and the open
    // file's subtitle_tracks() is 0.
    void SetSubtitleTracks(std::vector<SubtitleTrackFormat> tracks) {
        subtitle_formats_ = std::move(tracks);
    }
    // A chapter of the open file starting `start_ms` after the file's start.
    // Chapters are written when the file is closed, each ending where the
    // next starts or where the file ends; one starting at or after the end
    // is dropped. Only containers that take chapters at the end get them.
    void AddChapter(ChapterMark mark);
    // The time written so far: the picture time where there are pictures,
    // else the first sound track's time.
    int64_t written_ms() const { return written_100ns() / 10000; }
    int64_t written_100ns() const;

    // Whether the open file has a picture / a sound stream.
    bool HasVideo() const { return video_encoder_ != nullptr; }
    bool HasAudio() const { return !sound_.empty(); }
    // Sound tracks and subtitle streams of the open file.
    int sound_tracks() const { return static_cast<int>(sound_.size()); }
    int subtitle_tracks() const { return static_cast<int>(subtitles_.size()); }

    // Encodes one YV12 picture of at least Width × Height × 3 / 2 bytes.
    // 0 when the encoder accepted it (it may hold it back for a while);
    // -1 when no video stream is open, the buffer is too short, or the
    // encoder or the multiplexer failed. After the first failure to write
    // to the file (a full disk) every later write fails too: write_failed().
    // `owner` (taken over; may be null) keeps `data` alive: with it, an
    // encoder that copies each picture at once (libx264) reads it in place
    // instead of from a copy, and so does one that passes it on as it is
    // (wrapped_avframe).
    int WriteVideo(const uint8_t* data, size_t length_bytes, AVBufferRef* owner = nullptr);
    // Whether an `owner` given to WriteVideo may be kept after it returns
    // (until the multiplexer has written the picture, at the latest when the
    // file is closed).
    bool KeepsLentPictures() const { return keeps_lent_pictures_; }

    // Queues interleaved sound (16-bit, or 32-bit float) of sound track
    // `track` (from 0) and encodes every whole encoder frame. 0 normally (also
    // when the bytes were only queued); -1 when the file has no such track or
    // the encoder or the multiplexer failed. A trailing part of a sample frame
    // is kept for the next call of the same format.
    enum class SoundSamples { kInt16, kFloat };
    int WriteAudio(int track, const uint8_t* data, size_t length_bytes,
                   SoundSamples format = SoundSamples::kInt16);
    int WriteAudio(const uint8_t* data, size_t length_bytes) {
        return WriteAudio(0, data, length_bytes);
    }

    // Discards the next `samples` sample frames given to WriteAudio for
    // `track`. A merged file takes back, at the start of the next item, sound
    // that ran past the pictures at the end of the last one.
    void SkipAudio(int track, int64_t samples);
    void SkipAudio(int64_t samples) { SkipAudio(0, samples); }
    // Sound accepted but not yet encoded (it waits for a whole encoder frame).
    int64_t audio_samples_queued(int track = 0) const;

    // One piece of a subpicture unit of subtitle stream `track` (a PES
    // payload, the substream byte removed). A piece with a time stamp starts
    // a unit: `start_100ns` is its time in the file (100-ns units from
    // Open); a piece without (kUntimed) continues it. Whole units are
    // written; a unit that overflows its declared size, or pieces with no
    // unit begun, are dropped. 0 normally; -1 when there is no such stream
    // or the multiplexer failed.
    static constexpr int64_t kUntimed = INT64_MIN;
    int WriteSubtitle(int track, const uint8_t* data, size_t length_bytes, int64_t start_100ns);

    // Drains the encoders, encodes the queued sound, writes the trailer and
    // closes the file. True when everything was written (also when nothing
    // is open).
    bool Close();

    // Pictures and sound samples written since Open (the next timestamps).
    int64_t video_frames_written() const { return video_frames_; }
    int64_t audio_samples_written(int track = 0) const;
    // Samples of the audio encoder's frame; 0 when it takes any count.
    int audio_frame_samples() const;

    const std::string& last_error() const { return last_error_; }
    // Whether writing to the open file (or the last one) failed.
    bool write_failed() const { return write_failed_; }

private:
    // One sound track: its encoder, stream and queue.
    struct SoundTrack {
        av::CodecContextPtr encoder;
        AVStream* stream = nullptr;                        // owned by output_
        AVSampleFormat input_format = AV_SAMPLE_FMT_NONE;  // of the sound given to WriteAudio
        av::SwrContextPtr sample_converter;  // only when the encoder takes another format
        av::FramePtr converted_sound;        // sample_converter's output buffer
        av::AudioFifoPtr fifo;               // sound in the encoder's format
        int frame_size = 0;                  // 0: the encoder takes any count
        bool small_last_frame = false;       // encoder accepts a short last frame
        uint8_t partial_sample[32] = {};     // tail of a sample frame cut by a call
        int partial_sample_bytes = 0;
        int64_t skip = 0;                     // sample frames WriteAudio still discards
        int64_t samples = 0;                  // written since Open
        std::unique_ptr<CopiedSound> copied;  // the source's frames, or none: encoded
    };
    // One subtitle stream and the unit being put together.
    struct SubtitleTrack {
        AVStream* stream = nullptr;  // owned by output_
        std::vector<uint8_t> unit;
        size_t unit_size = 0;  // declared by the unit's first two bytes; 0: none begun
        int64_t unit_start_100ns = 0;
        bool graphics = false;  // units are graphics segments: type, 16-bit size, data
    };

    bool Fail(std::string message);
    void Release();
    bool OpenVideo(const AVCodec* codec);
    bool OpenAudio(const AVCodec* codec, const std::string& language, bool is_default);
    // Sound track `index` of copying settings: the source's frames where they copy, else
    // lossless coding of the decoded sound.
    bool OpenCopiedAudio(size_t index, const std::string& language, bool is_default);
    // Converts the sound given to `track` from `input` from now on.
    bool UseSoundInput(SoundTrack& track, AVSampleFormat input);
    bool OpenSubtitle(const SubtitleTrackFormat& format);
    int WriteGraphics(SubtitleTrack& track, const uint8_t* data, size_t length_bytes,
                      int64_t start_100ns);
    // Sends one frame (or the end, with nullptr) and writes every packet
    // the encoder returns. False on an encoder or multiplexer error.
    bool Encode(AVCodecContext* encoder, AVStream* stream, const AVFrame* frame);
    // Encodes queued sound: whole frames, or everything when `flush`.
    bool EncodeQueuedAudio(SoundTrack& track, bool flush);
    bool QueueSamples(SoundTrack& track, const uint8_t* interleaved, int sample_count);
    bool WritePacket(AVPacket* packet);

    int thread_count_;
    OutputSettings settings_{};
    std::filesystem::path file_name_;
    std::string last_error_;

    av::OutputFormatContextPtr output_;
    av::CodecContextPtr video_encoder_;
    AVStream* video_stream_ = nullptr;  // owned by output_
    std::vector<SoundTrack> sound_;
    std::vector<SubtitleTrack> subtitles_;
    av::PacketPtr packet_;

    av::FramePtr picture_;   // picture handed to the video encoder
    av::FramePtr borrowed_;  // a caller's picture handed to it in place
    bool borrows_pictures_ = false;
    bool keeps_lent_pictures_ = false;
    int frame_quality_ = 0;     // lambda of a fixed-quantiser encoder's pictures; 0: none
    av::SwsContextPtr scaler_;  // only when the encoder is not 4:2:0 planar

    void WriteChapters();

    int64_t video_frames_ = 0;
    bool write_failed_ = false;
    std::vector<std::string> sound_languages_;
    std::vector<SubtitleTrackFormat> subtitle_formats_;
    std::vector<CopiedSoundFormat> copied_formats_;
    std::vector<ChapterMark> chapters_;
};

}  // namespace rizuvira::core
