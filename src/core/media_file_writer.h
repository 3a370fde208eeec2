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
// Threading: no lock of its own. WriteVideo and WriteAudio may come from two
// threads but must be serialised by the caller (the converter sink's lock);
// Open and Close run while no Write call is in flight.
#pragma once

#include "core/av_handles.h"
#include "core/output_profile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rizuvira::engine {

// A chapter of the output: where it starts and its name.
struct ChapterMark {
    int64_t start_ms = 0;
    std::string title;
};

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
    // Threads for a processor-use setting: cores × percent / 100, at least 1.
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

    // The language of the sound track of the files opened from now on, an
    // ISO 639-2 code ("eng"); empty leaves it unset.
    void SetAudioLanguage(std::string code) { audio_language_ = std::move(code); }
    // A chapter of the open file starting `start_ms` after the file's start.
    // Chapters are written when the file is closed, each ending where the
    // next starts or where the file ends; one starting at or after the end
    // is dropped. Containers without chapters (AVI, FLV, ...) ignore them.
    void AddChapter(ChapterMark mark);
    // The time written so far: the picture time where there are pictures,
    // else the sound time.
    int64_t written_ms() const;

    // Whether the open file has a picture / a sound stream.
    bool HasVideo() const { return video_encoder_ != nullptr; }
    bool HasAudio() const { return audio_encoder_ != nullptr; }

    // Encodes one YV12 picture of at least Width × Height × 3 / 2 bytes.
    // 0 when the encoder accepted it (it may hold it back for a while);
    // -1 when no video stream is open, the buffer is too short, or the
    // encoder or the multiplexer failed. After the first failure to write
    // to the file (a full disk) every later write fails too: write_failed().
    int WriteVideo(const uint8_t* data, size_t length_bytes);

    // Queues interleaved 16-bit sound and encodes every whole encoder frame.
    // 0 normally (also when the bytes were only queued); -1 when no audio
    // stream is open or the encoder or the multiplexer failed. A trailing
    // part of a sample frame is kept for the next call.
    int WriteAudio(const uint8_t* data, size_t length_bytes);

    // Discards the next `samples` sample frames given to WriteAudio. A merged
    // file takes back, at the start of the next item, sound that ran past the
    // pictures at the end of the last one.
    void SkipAudio(int64_t samples);
    // Sound accepted but not yet encoded (it waits for a whole encoder frame).
    int64_t audio_samples_queued() const;

    // Drains the encoders, encodes the queued sound, writes the trailer and
    // closes the file. True when everything was written (also when nothing
    // is open).
    bool Close();

    // Pictures and sound samples written since Open (the next timestamps).
    int64_t video_frames_written() const { return video_frames_; }
    int64_t audio_samples_written() const { return audio_samples_; }
    // Samples of the audio encoder's frame; 0 when it takes any count.
    int audio_frame_samples() const;

    const std::string& last_error() const { return last_error_; }
    // Whether writing to the open file (or the last one) failed.
    bool write_failed() const { return write_failed_; }

private:
    bool Fail(std::string message);
    void Release();
    bool OpenVideo(const AVCodec* codec);
    bool OpenAudio(const AVCodec* codec);
    // Sends one frame (or the end, with nullptr) and writes every packet
    // the encoder returns. False on an encoder or multiplexer error.
    bool Encode(AVCodecContext* encoder, AVStream* stream, const AVFrame* frame);
    // Encodes queued sound: whole frames, or everything when `flush`.
    bool EncodeQueuedAudio(bool flush);
    bool QueueSamples(const uint8_t* interleaved, int sample_count);

    int thread_count_;
    OutputSettings settings_{};
    std::filesystem::path file_name_;
    std::string last_error_;

    av::OutputFormatContextPtr output_;
    av::CodecContextPtr video_encoder_;
    av::CodecContextPtr audio_encoder_;
    AVStream* video_stream_ = nullptr;  // owned by output_
    AVStream* audio_stream_ = nullptr;  // owned by output_
    av::PacketPtr packet_;

    av::FramePtr picture_;   // picture handed to the video encoder
    av::SwsContextPtr scaler_;  // only when the encoder is not 4:2:0 planar

    av::SwrContextPtr sample_converter_;  // only when the encoder is not s16
    av::FramePtr converted_sound_;       // sample_converter_'s output buffer
    av::AudioFifoPtr audio_fifo_;        // sound in the encoder's format
    int audio_frame_size_ = 0;           // 0: the encoder takes any count
    bool small_last_frame_ = false;      // encoder accepts a short last frame
    uint8_t partial_sample_[16] = {};    // tail of a sample frame cut by a call
    int partial_sample_bytes_ = 0;
    int64_t audio_skip_ = 0;  // sample frames WriteAudio still discards

    void WriteChapters();

    int64_t video_frames_ = 0;
    int64_t audio_samples_ = 0;
    bool write_failed_ = false;
    std::string audio_language_;
    std::vector<ChapterMark> chapters_;
};

}  // namespace rizuvira::engine
