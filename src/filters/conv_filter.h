// SPDX-License-Identifier: GPL-2.0-or-later
// The converter sink: the last filter of a conversion graph.
//
// "Audio In" and "Video In" receive converted, uncompressed sound and
// pictures; the sink keeps what falls inside the item's time range, holds the
// pictures to the output frame clock (repeating or skipping them) and hands
// both to the media file writer. A sink made for several sound tracks has
// "Audio In 2", ... after "Video Pre", one per further track of the writer;
// each track keeps to its own time stamps as below. "Subtitle In 1", ...
// (after those) take DVD subpicture packets straight from the splitter and
// hand them to the writer's subtitle streams, timed like the pictures. "Video Pre" sends a copy of
// every fifth picture to a small renderer through an output queue. When every connected input has
// ended, the sink posts EC_COMPLETE to the graph.
//
// Set from outside before the graph runs (graph builder, application
// thread): Writer, FrameInterval, RangeStart, RangeStop; PreviewEnabled at
// any time. Read from outside while running: NextVideoTime, LastAudioStart.
//
// Threads: samples arrive on the upstream filters' streaming threads, one
// per input pin. The filter lock is held around every writer call and around
// the end-of-stream check, so the writer is called by one thread at a time.
// The preview copy runs before the lock is taken.
//
// The first failed write (a full disk) ends the item: the sink posts
// EC_ERRORABORT with CONV_E_WRITE, keeps what was written and drops every
// later sample; it posts no EC_COMPLETE after that.
//
// A sound track the writer copies (CopiesSound) takes the splitter's coded
// packets instead: those that start inside the range go to the writer,
// timed like the pictures, as they come; the writer keeps them in whole
// frames.
//
// Samples without time stamps continue the stream where the last timed
// sample left it: they are written when the last timed sample on their pin
// lay inside the range (a picture then fills the next frame slot), dropped
// otherwise, and dropped before any timed sample has come.
//
// Holding pictures: a picture fills the frame slots up to its stop time and
// the slots of a gap before the next picture's start; the picture on screen
// when the range starts (the last one before it) fills the range up to the
// first picture inside it. A gap is filled no further than the sound has
// reached or kMaxGap, whichever is more; a longer jump of the time stamps
// is taken as a break in the stream's clock, and what follows continues
// where the file stands. The same holds for the sound's gaps. When every
// input has ended, the last picture is repeated until the pictures last as
// long as the sound (a still picture under a long sound track).
//
// Sound is written no further than the pictures have reached, so a file
// stopped half way (a cancel) ends with sound and pictures of one length;
// the rest waits in the sink. The sound's chain runs far ahead of the
// pictures' (the splitter queues much more), so once kMaxSoundLead of it
// waits, its streaming thread waits too, until the pictures move on, the
// pictures end or a stop comes. Pictures that make no progress for
// kPictureStall of real time have stopped coming (a still picture with
// nothing after it): the sound then goes on alone until the next picture.
// Sound still waiting when the graph is torn down is dropped.
//
// Stop ends any loop of the sink within one picture; samples that arrive
// once a stop has begun are dropped.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "core/media_file_writer.h"
#include "platform/base_filter.h"
#include "platform/input_pin.h"
#include "platform/output_pin.h"
#include "platform/output_queue.h"
#include "platform/pos_pass_thru.h"

namespace rizuvira::filters {

inline constexpr GUID CLSID_ConvFilter = "A4DA1077-2239-4C9E-AA16-C88DD9F35131"_guid;
// EC_ERRORABORT's code when the media file writer failed to write.
inline constexpr HRESULT CONV_E_WRITE = MakeHresult(0x8004FE21u);

class CConvFilter;

// "Audio In" (track 0), "Video In", "Audio In 2" (track 1), ...,
// "Subtitle In 1" (subtitle track 0), ...
class CConvInputPin final : public CBaseInputPin {
public:
    enum class Kind { kAudio, kVideo, kSubtitle };
    CConvInputPin(CConvFilter* filter, Kind kind, int track, HRESULT* hr);
    int track() const { return track_; }

    HRESULT CheckMediaType(const CMediaType* type) override;  // keeps it; accepts any
    HRESULT CompleteConnect(IPin* receive_pin) override;
    HRESULT Receive(IMediaSample* sample) override;  // always S_OK
    HRESULT EndOfStream() override;

    bool EndOfStreamSeen() const { return end_of_stream_seen_.load(); }

private:
    CConvFilter* const filter_;
    const Kind kind_;
    const int track_;
    CMediaType proposed_;
    std::atomic<bool> end_of_stream_seen_{false};
};

// "Video Pre": offers the "Video In" type and delivers through its own queue.
class CVideoPrePin final : public CBaseOutputPin {
public:
    CVideoPrePin(CConvFilter* filter, HRESULT* hr);
    ~CVideoPrePin() override;

    void SetOfferedType(const CMediaType& type);
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT DeliverEndOfStream() override;

    // Copies a packed YV12 picture into a delivery buffer and queues it.
    void SendCopy(const BYTE* picture, LONG length, int width, int height);

private:
    CMediaType offered_;
    BITMAPINFOHEADER header_{};
    int stride_ = 0;  // width of the type the downstream pin last proposed
    std::unique_ptr<COutputQueue> queue_;
};

class CConvFilter final : public CBaseFilter {
public:
    // Makes the filter and its pins, with `sound_tracks` sound inputs (at
    // least one) and `subtitle_tracks` subtitle inputs; E_OUTOFMEMORY leaves
    // nothing behind.
    static CConvFilter* CreateInstance(IUnknown* outer, HRESULT* hr, int sound_tracks = 1,
                                       int subtitle_tracks = 0);
    ~CConvFilter() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    int GetPinCount() override {
        return static_cast<int>(2 + sound_.size() + subtitle_pins_.size());
    }
    CBasePin* GetPin(int index) override;

    // Set by the graph builder before the graph runs.
    core::MediaFileWriter* Writer = nullptr;  // not owned
    double FrameInterval = 0;                 // 100-ns units per output picture
    REFERENCE_TIME RangeStart = 0;
    REFERENCE_TIME RangeStop = 0;
    // Where the item starts in the file (100-ns units): the subtitles' time
    // stamps are file times.
    REFERENCE_TIME FileOffset = 0;
    std::atomic<int> PreviewEnabled{1};

    // Progress, read by the run controller.
    REFERENCE_TIME NextVideoTime() const { return next_video_time_.load(); }
    REFERENCE_TIME LastAudioStart() const { return last_audio_start_.load(); }
    // How far into the range the file is written: the later of the next
    // picture slot and the end of the sound written (a still picture's
    // title advances by its sound).
    REFERENCE_TIME WrittenTime() const {
        return std::max(next_video_time_.load(), audio_written_time_.load());
    }
    bool WriteFailed() const { return write_failed_.load(); }

    CConvInputPin* audio_pin(int track = 0) {
        return track >= 0 && static_cast<size_t>(track) < sound_.size()
                   ? &sound_[static_cast<size_t>(track)]->pin
                   : nullptr;
    }
    CConvInputPin* video_pin() { return &video_pin_; }
    CConvInputPin* subtitle_pin(int track) {
        return track >= 0 && static_cast<size_t>(track) < subtitle_pins_.size()
                   ? subtitle_pins_[static_cast<size_t>(track)].get()
                   : nullptr;
    }
    CVideoPrePin* preview_pin() { return &preview_pin_; }

private:
    friend class CConvInputPin;
    friend class CVideoPrePin;
    // One sound track: its input and where it stands. The fields are
    // guarded by lock_, except `reached` and `held_back` (atomic, for
    // WaitForPictures).
    struct Sound {
        Sound(CConvFilter* filter, int track, HRESULT* hr)
            : pin(filter, CConvInputPin::Kind::kAudio, track, hr) {}
        CConvInputPin pin;
        // Whether the last timed sample lay inside the range.
        bool inside = false;
        // The format and the sample frames taken for this item (written, or
        // waiting in `waiting` from `waiting_begin`).
        int64_t rate = 0;
        int block = 0;
        bool floats = false;  // 32-bit float samples, else 16-bit
        int64_t frames = 0;
        int64_t written_frames = 0;  // of `frames`, handed to the writer
        std::vector<BYTE> waiting;
        size_t waiting_begin = 0;
        // Breaks in the time stamps skipped so far.
        REFERENCE_TIME skipped = 0;
        // A track that takes the source's coded frames: where they end (item time).
        bool copied = false;
        REFERENCE_TIME copied_end = 0;
        std::atomic<REFERENCE_TIME> reached{0};
        std::atomic<bool> held_back{false};  // in WaitForPictures
    };

    CConvFilter(IUnknown* outer, HRESULT* hr, int sound_tracks, int subtitle_tracks);

    void ReceiveVideo(IMediaSample* sample);
    void ReceiveAudio(Sound& sound, IMediaSample* sample);
    // Coded sound from the splitter, for a track the writer copies: the packets that
    // start inside the range, timed like the pictures.
    void ReceiveCopiedSound(Sound& sound, IMediaSample* sample);
    void ReceiveSubtitle(int track, IMediaSample* sample);
    void CopyPreview(const BYTE* picture, LONG length);
    void CheckAllEnded();
    // After a failed writer call, with the lock held: aborts the item once.
    void WriteFailedLocked();
    void OnVideoConnected(const CMediaType& type);
    void OnAudioConnected(Sound& sound, const CMediaType& type);
    // How far the sound may stray from its time stamps before it is padded
    // or cut: under a picture's length, above the jitter of packet times.
    static constexpr REFERENCE_TIME kAudioSlack = 200000;  // 20 ms
    // The longest gap filled regardless of the other stream (see above).
    static constexpr REFERENCE_TIME kMaxGap = 10 * UNITS;
    static constexpr REFERENCE_TIME kMaxSoundLead = 10 * UNITS;
    static constexpr REFERENCE_TIME kSoundResume = UNITS / 2;
    static constexpr std::chrono::seconds kPictureStall{3};
    // On the sound's streaming thread, without lock_: see above.
    void WaitForPictures(Sound& sound);
    void WakeSoundWaiter();
    HRESULT GetSeekingPassThrough(const GUID& riid, void** object);

    // The helpers below run under lock_.
    bool Stopping() const { return stopping_.load() || IsStopped(); }
    // Writes `picture` into the frame slots before `until` (item time).
    // `sample`, when given, holds `picture`: the writer may then encode from it in place.
    void FillSlots(const BYTE* picture, size_t length, REFERENCE_TIME until,
                   IMediaSample* sample = nullptr);
    // A reference to `sample` (holding `picture`) for the writer, or null when it is to copy
    // the picture instead. A writer that keeps what it is lent (wrapped_avframe, until the
    // multiplexer writes the picture) gets samples only while their allocator can spare them:
    // kLendReserve stay for the picture on screen (the one being written), the next to be
    // decoded, and two the decoder may still hold as reference pictures.
    AVBufferRef* LendPicture(IMediaSample* sample, const BYTE* picture, size_t length);
    static constexpr long kLendReserve = 4;
    // Item time a track has reached, with what waits in the sink; the
    // first track's, and the furthest of all.
    static REFERENCE_TIME SoundReached(const Sound& sound);
    REFERENCE_TIME SoundReached() const { return SoundReached(*sound_[0]); }
    REFERENCE_TIME FurthestSound() const;
    // Whether pictures may still come, so the sound waits for them.
    bool PicturesExpected() const;
    // Writes the waiting sound the pictures allow (all of it with `all`),
    // of one track or of all.
    void ReleaseSound(Sound& sound, bool all);
    void ReleaseAllSound(bool all);
    void WriteSound(Sound& sound, const BYTE* data, size_t length);

    CCritSec lock_;
    CConvInputPin video_pin_;
    CVideoPrePin preview_pin_;
    std::vector<std::unique_ptr<Sound>> sound_;  // fixed once made; [0] is "Audio In"
    std::vector<std::unique_ptr<CConvInputPin>> subtitle_pins_;
    std::unique_ptr<CPosPassThru> position_;

    std::atomic<REFERENCE_TIME> last_audio_start_{0};
    std::atomic<REFERENCE_TIME> next_video_time_{0};
    std::atomic<REFERENCE_TIME> audio_written_time_{0};
    std::atomic<bool> write_failed_{false};
    BITMAPINFOHEADER video_header_{};
    // Whether the last timed picture lay inside the range.
    bool video_inside_ = false;
    // The picture on screen: the last one written or, before the range, seen.
    // It holds the sample itself when the sample's allocator has another to fill,
    // else a copy; a stop turns a held sample into a copy.
    class HeldPicture {
    public:
        void Hold(IMediaSample* sample, const BYTE* data, size_t length, bool keep_sample);
        void KeepCopy();
        bool empty() const { return length_ == 0; }
        const BYTE* data() const { return data_; }
        size_t size() const { return length_; }

    private:
        ComPtr<IMediaSample> sample_;
        std::vector<BYTE> copy_;
        const BYTE* data_ = nullptr;
        size_t length_ = 0;
    };
    HeldPicture held_picture_;
    // Samples lent to a writer that keeps them and not yet given back; shared with the loans,
    // which may outlive the filter in a file that is not closed yet.
    std::shared_ptr<std::atomic<long>> kept_loans_ = std::make_shared<std::atomic<long>>(0);
    // Breaks in the pictures' time stamps skipped so far.
    REFERENCE_TIME video_skipped_ = 0;
    std::atomic<bool> completed_{false};
    std::atomic<bool> stopping_{false};
    // For WaitForPictures: whether the pictures have stalled (cleared by the
    // next picture).
    std::atomic<bool> pictures_stalled_{false};
    std::mutex flow_mutex_;
    std::condition_variable flow_changed_;
};

}  // namespace rizuvira::filters
