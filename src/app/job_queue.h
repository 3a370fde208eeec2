// SPDX-License-Identifier: GPL-2.0-or-later
// The queue of the desktop program: conversions lined up from one disc or
// several, each with its own profile, tracks, edits and output name, that
// run one after the other. The queue lives in a file in the settings folder
// and comes back after a restart as it was; a job that was running when the
// program ended comes back waiting.
//
// Threads: one owner (the main window's thread); not locked. Messages go to
// the MessageSink given at construction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/conversion_ending.h"
#include "app/conversion_job.h"
#include "core/messages.h"

namespace rizuvira::app {

inline constexpr const char* kQueueFileName = "queue.xml";

enum class QueueState { kWaiting, kRunning, kDone, kFailed, kCancelled };

// "waiting", "running", "done", "failed", "cancelled".
std::string_view QueueStateName(QueueState state);
// The state as the queue window shows it: "Waiting", "Done", in the user's
// language.
std::string QueueStateText(QueueState state);

struct QueuedJob {
    int64_t id = 0;  // unique in the queue
    QueueState state = QueueState::kWaiting;
    // One output file: one item, or the merged items of one disc. The source
    // holds no disc handle; QueuedSource opens the disc when the job runs.
    ConversionJob job;

    friend bool operator==(const QueuedJob&, const QueuedJob&) = default;
};

// The queue file beside the settings file.
std::filesystem::path QueueFile(const std::filesystem::path& settings_file);

// The queue as the file holds it, and back. ReadQueueText is false, with
// `error` saying why, for text that is no queue or holds a value out of
// range; `jobs` is then left empty.
std::string WriteQueueText(const std::vector<QueuedJob>& jobs);
bool ReadQueueText(std::string_view text, std::vector<QueuedJob>* jobs, std::string* error);

// A queued job as the queue window lists it.
struct QueuedJobText {
    std::string disc;  // DiscFileName of its source
    std::string
        title;  // "Title 3", "Title 1, chapter 2", with its trim: "Title 3, 00:00:02-00:00:06"
    std::string profile;  // the profile's name
    std::string output;   // the file's name; its folder is in `output_path`
    std::string output_path;
    std::string state;  // "Waiting", "Running", "Done", "Failed", "Cancelled"
};
QueuedJobText DescribeQueuedJob(const QueuedJob& job);

// How a queued job ended, from its run: done when every item converted,
// cancelled after a cancel (the queue stops there), else failed.
QueueState QueueEndState(const RunResult& result);

class JobQueue {
public:
    // `messages` must outlive the queue. Nothing is read before Load.
    JobQueue(std::filesystem::path file, core::MessageSink* messages);

    // Reads the file: a missing one is an empty queue, a job that was
    // running is waiting again. A file that cannot be read is reported and
    // moved aside to FILE.damaged (the next save would write over it); the
    // queue starts empty.
    void Load();
    const std::vector<QueuedJob>& jobs() const { return jobs_; }
    const QueuedJob* Find(int64_t id) const;

    // Lines up `job` (a job made by DiscSession::MakeJob): one queued job per
    // item, or one for all of them when they merge into one file. An output
    // file that a job in the queue (not yet ended) will write already gets
    // " (2)", " (3)", ... before its extension. Returns how many were added.
    int Add(const ConversionJob& job);
    // Removes a job that is not running; false for a running or unknown one.
    bool Remove(int64_t id);
    // Moves a waiting job before the waiting job above it (`step` -1) or
    // after the one below it (+1); false when there is none or it is not
    // waiting.
    bool Move(int64_t id, int step);
    // Removes every job that has ended (done, failed, cancelled).
    void ClearEnded();

    bool has_waiting() const;
    // The first waiting job, now running; nullptr when none waits.
    const QueuedJob* StartNext();
    // The running job `id` has ended in `state`.
    void Finish(int64_t id, QueueState state);

private:
    // Writes the file under a temporary name and renames it; a failure is
    // reported once, until a save succeeds again.
    void Save();
    QueuedJob* FindMutable(int64_t id);

    std::filesystem::path file_;
    core::MessageSink* const messages_;
    std::vector<QueuedJob> jobs_;
    int64_t next_id_ = 1;
    bool save_failed_ = false;
};

// The disc of a queued job, open while the job runs and closed when this
// object goes. A DVD is opened by its path; the files of a plain MPEG
// source or a Blu-ray folder need no handle.
class QueuedSource {
public:
    explicit QueuedSource(const ConversionJob& job);
    ~QueuedSource();
    QueuedSource(const QueuedSource&) = delete;
    QueuedSource& operator=(const QueuedSource&) = delete;

    // False, with error() saying why, when the disc cannot be opened.
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // The job with the open disc's handle, ready for a ConversionRun.
    ConversionJob Ready(ConversionJob job) const;

private:
    int32_t handle_ = 0;
    std::string error_;
};

}  // namespace rizuvira::app
