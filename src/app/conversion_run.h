// SPDX-License-Identifier: GPL-2.0-or-later
// A conversion job at work: the item graph that reads the job's source and
// the run controller that converts the job's items through it, one after the
// other. The front end hosts the run (engine::RunHost) and drives the
// controller: the conversion window with queued calls and a timer, the
// command line with an engine::BatchLoop.
//
// Threads: as engine::RunController; every method on the owner's thread.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "app/conversion_job.h"
#include "core/messages.h"
#include "engine/run_controller.h"
#include "engine/source_item_graph.h"

namespace rizuvira::app {

class ConversionRun {
public:
    // `messages`, `host` and `actions` must outlive the run, and the job's
    // disc must stay open while it runs.
    ConversionRun(ConversionJob job, core::MessageSink* messages, engine::RunHost* host,
                  engine::SystemActions* actions);
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    // Starts converting the job's items (the host is asked to start the
    // first); once. Under the overwrite policy kAsk, `confirm_overwrite`
    // answers for every file that exists.
    void Begin(std::function<bool(const std::filesystem::path&)> confirm_overwrite = {});

    engine::RunController& controller() { return controller_; }

private:
    ConversionJob job_;  // its items go to the controller at Begin
    engine::SourceItemGraph graph_;
    engine::RunController controller_;  // after the graph it drives: destroyed first
};

// The files the job would write that exist already (of a merged job, the
// first item's only), in item order.
std::vector<std::filesystem::path> ExistingOutputs(const ConversionJob& job);

// Takes the items whose files exist out of the job (of a merged job, every
// item when its file exists) and returns those files.
std::vector<std::filesystem::path> DropExistingOutputs(ConversionJob* job);

}  // namespace rizuvira::app
