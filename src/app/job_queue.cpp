// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/job_queue.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "app/conversion_request.h"
#include "app/texts.h"
#include "core/time_text.h"
#include "dvd/dvd_access.h"
#include "dvd/title_texts.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;

bool Ended(QueueState state) {
    return state == QueueState::kDone || state == QueueState::kFailed ||
           state == QueueState::kCancelled;
}

// The output file of a queued job: its first item's, in its folder.
fs::path OutputOf(const ConversionJob& job) {
    return job.output_folder / job.items.front().output_name;
}

bool WriteWhole(const fs::path& path, const std::string& text, std::string* error) {
    std::error_code code;
    if (!path.parent_path().empty()) fs::create_directories(path.parent_path(), code);
    fs::path temporary = path;
    temporary += ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out) {
            out << text;
            out.flush();
        }
        if (!out) {
            *error = std::strerror(errno);
            out.close();
            fs::remove(temporary, code);
            return false;
        }
    }
    fs::rename(temporary, path, code);
    if (code) {
        *error = code.message();
        fs::remove(temporary, code);
        return false;
    }
    return true;
}

}  // namespace

QueuedJobText DescribeQueuedJob(const QueuedJob& queued) {
    const ConversionJob& job = queued.job;
    QueuedJobText text;
    text.disc = DiscFileName(job.source.path);
    const core::ConvertItem& item = job.items.front().item;
    text.title = item.chapter_index >= 0
                     ? dvd::ChapterItemName(item.title_index, item.chapter_index)
                     : dvd::TitleItemName(item.title_index);
    if (job.items.size() > 1)
        text.title += " " + Arg(Text("queue", "+ %1 more"), job.items.size() - 1);
    else if (item.trim_start_ms > 0 || item.trim_start_ms + item.trim_length_ms < item.length_ms)
        text.title += ", " + core::TimeText(item.trim_start_ms) + "-" +
                      core::TimeText(item.trim_start_ms + item.trim_length_ms);
    text.profile = std::string(core::FieldText(job.profile.ProfileName));
    text.output = job.items.front().output_name;
    text.output_path = OutputOf(job).string();
    text.state = QueueStateText(queued.state);
    return text;
}

std::string QueueStateText(QueueState state) {
    switch (state) {
        case QueueState::kWaiting:
            return Text("queue", "Waiting");
        case QueueState::kRunning:
            return Text("queue", "Running");
        case QueueState::kDone:
            return Text("queue", "Done");
        case QueueState::kFailed:
            return Text("queue", "Failed");
        case QueueState::kCancelled:
            return Text("queue", "Cancelled");
    }
    return {};
}

QueueState QueueEndState(const RunResult& result) {
    switch (DescribeEnding(result).ending) {
        case Ending::kAllConverted:
            return QueueState::kDone;
        case Ending::kCancelled:
            return QueueState::kCancelled;
        case Ending::kSomeFailed:
        case Ending::kAllFailed:
            break;
    }
    return QueueState::kFailed;
}

JobQueue::JobQueue(fs::path file, core::MessageSink* messages)
    : file_(std::move(file)), messages_(messages) {}

void JobQueue::Load() {
    jobs_.clear();
    next_id_ = 1;
    std::ifstream in(file_, std::ios::binary);
    if (!in) return;  // no queue yet
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    if (!ReadQueueText(text.str(), &jobs_, &error)) {
        fs::path aside = file_;
        aside += ".damaged";
        std::error_code code;
        fs::rename(file_, aside, code);
        messages_->ShowWarning(
            "The queue " + file_.string() + " cannot be read (" + error +
            "): the queue starts empty" +
            (code ? std::string() : ", and the file is kept as " + aside.string()));
        return;
    }
    for (QueuedJob& job : jobs_) {
        if (job.state == QueueState::kRunning) job.state = QueueState::kWaiting;
        next_id_ = std::max(next_id_, job.id + 1);
    }
}

const QueuedJob* JobQueue::Find(int64_t id) const {
    const auto found =
        std::find_if(jobs_.begin(), jobs_.end(), [id](const QueuedJob& j) { return j.id == id; });
    return found == jobs_.end() ? nullptr : &*found;
}

QueuedJob* JobQueue::FindMutable(int64_t id) {
    return const_cast<QueuedJob*>(Find(id));
}

int JobQueue::Add(const ConversionJob& job) {
    std::vector<ConversionJob> parts;
    if (job.merge && job.items.size() > 1) {
        parts.push_back(job);
    } else {
        for (const engine::BatchRow& row : job.items) {
            ConversionJob part = job;
            part.items = {row};
            part.merge = false;
            parts.push_back(std::move(part));
        }
    }
    for (ConversionJob& part : parts) {
        part.source.dvd_handle = 0;
        // The queue runs unattended: after-actions belong to one run of Start.
        part.shut_down = false;
        part.open_folder = false;
        part.stored_action.clear();
        engine::BatchRow& first = part.items.front();
        const fs::path name = first.output_name;
        for (int number = 2;; ++number) {
            const bool taken = std::any_of(jobs_.begin(), jobs_.end(), [&](const QueuedJob& q) {
                return !Ended(q.state) && OutputOf(q.job) == OutputOf(part);
            });
            if (!taken) break;
            first.output_name = name.stem().string() + " (" + std::to_string(number) + ")" +
                                name.extension().string();
        }
        jobs_.push_back({next_id_++, QueueState::kWaiting, std::move(part)});
    }
    if (!parts.empty()) Save();
    return static_cast<int>(parts.size());
}

bool JobQueue::Remove(int64_t id) {
    const QueuedJob* job = Find(id);
    if (job == nullptr || job->state == QueueState::kRunning) return false;
    jobs_.erase(jobs_.begin() + (job - jobs_.data()));
    Save();
    return true;
}

bool JobQueue::Move(int64_t id, int step) {
    const QueuedJob* job = Find(id);
    if (job == nullptr || job->state != QueueState::kWaiting || (step != -1 && step != 1))
        return false;
    const ptrdiff_t from = job - jobs_.data();
    for (ptrdiff_t to = from + step; to >= 0 && to < std::ssize(jobs_); to += step) {
        if (jobs_[to].state != QueueState::kWaiting) continue;
        std::swap(jobs_[from], jobs_[to]);
        Save();
        return true;
    }
    return false;
}

void JobQueue::ClearEnded() {
    const size_t removed =
        std::erase_if(jobs_, [](const QueuedJob& job) { return Ended(job.state); });
    if (removed > 0) Save();
}

bool JobQueue::has_waiting() const {
    return std::any_of(jobs_.begin(), jobs_.end(),
                       [](const QueuedJob& job) { return job.state == QueueState::kWaiting; });
}

const QueuedJob* JobQueue::StartNext() {
    for (QueuedJob& job : jobs_) {
        if (job.state != QueueState::kWaiting) continue;
        job.state = QueueState::kRunning;
        Save();
        return &job;
    }
    return nullptr;
}

void JobQueue::Finish(int64_t id, QueueState state) {
    QueuedJob* job = FindMutable(id);
    if (job == nullptr || job->state != QueueState::kRunning) return;
    job->state = state;
    Save();
}

void JobQueue::Save() {
    std::string error;
    if (WriteWhole(file_, WriteQueueText(jobs_), &error)) {
        save_failed_ = false;
        return;
    }
    if (!save_failed_)
        messages_->ShowWarning("Cannot write the queue " + file_.string() + ": " + error);
    save_failed_ = true;
}

QueuedSource::QueuedSource(const ConversionJob& job) {
    if (!job.source.files.empty()) {
        for (const std::string& file : job.source.files) {
            std::error_code code;
            if (!fs::is_regular_file(file, code)) {
                error_ = file + " is missing";
                return;
            }
        }
        return;
    }
    handle_ = dvd::MyDVDOpen(job.source.path.c_str());
    if (handle_ == 0) {
        const std::string problem = dvd::DiscOpenProblem(job.source.path);
        error_ = job.source.path + (problem.empty() ? " does not open" : problem);
    }
}

QueuedSource::~QueuedSource() {
    if (handle_ != 0) dvd::MyDVDClose(handle_);
}

ConversionJob QueuedSource::Ready(ConversionJob job) const {
    job.source.dvd_handle = handle_;
    return job;
}

}  // namespace rizuvira::app
