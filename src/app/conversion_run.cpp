// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/conversion_run.h"

#include <algorithm>
#include <utility>

namespace rizuvira::app {
namespace {

engine::BatchOptions BatchOptionsOf(const ConversionJob& job) {
    engine::BatchOptions options;
    options.output_folder = job.output_folder;
    options.overwrite = job.overwrite;
    options.settings = job.profile.Settings;
    options.merge = job.merge;
    options.shut_down = job.shut_down;
    options.open_folder = job.open_folder;
    options.action_setting = job.stored_action;
    options.cancelled_file_partial = job.cancelled_file_partial;
    return options;
}

}  // namespace

ConversionRun::ConversionRun(ConversionJob job, core::MessageSink* messages, engine::RunHost* host,
                             engine::SystemActions* actions)
    : job_(std::move(job)),
      graph_(messages, job_.source.dvd_handle, job_.thread_count),
      controller_(&graph_, host, messages, actions) {
    graph_.SetSourceFiles(job_.source.files);
    graph_.SetWatermark(job_.watermark);
    graph_.SetPictureCleanup(job_.picture_cleanup);
}

void ConversionRun::Begin(std::function<bool(const std::filesystem::path&)> confirm_overwrite) {
    engine::BatchOptions options = BatchOptionsOf(job_);
    options.confirm_overwrite = std::move(confirm_overwrite);
    controller_.Begin(std::move(job_.items), std::move(options));
}

std::vector<std::filesystem::path> ExistingOutputs(const ConversionJob& job) {
    return engine::ExistingOutputs(job.items, BatchOptionsOf(job));
}

std::vector<std::filesystem::path> DropExistingOutputs(ConversionJob* job) {
    std::vector<std::filesystem::path> existing = ExistingOutputs(*job);
    if (existing.empty()) return existing;
    if (job->merge) {
        job->items.clear();
        return existing;
    }
    std::erase_if(job->items, [&](const engine::BatchRow& row) {
        return std::find(existing.begin(), existing.end(), job->output_folder / row.output_name) !=
               existing.end();
    });
    return existing;
}

}  // namespace rizuvira::app
