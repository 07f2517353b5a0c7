// The acceptance test itself: takes the model's captures from a source, measures them and judges
// every measurement against its limit. Knows nothing of USB or files.
#pragma once

#include "tools/ampcheck/plan.h"
#include "tools/ampcheck/report.h"
#include "tools/ampcheck/source.h"

#include <functional>
#include <string>
#include <vector>

namespace ampcheck {

struct RunOptions {
    int mainsHz = 50;
    double maxImpedanceKohm = 10.0;
};

// Told before each capture: its place in the plan (from 0) and the step.
using Progress = std::function<void(size_t index, size_t count, const Step& step)>;

struct RunResult {
    bool completed = false;  // false: a capture failed and `error` says why; no verdict
    std::string error;
    Report report;
};

RunResult run_checks(const Identity& amplifier, const RunOptions& options, CaptureSource& source,
                     const Progress& progress = {});

// The measuring and judging half, on captures already taken (one per step of `plan`).
Report judge(const Plan& plan, const std::vector<Capture>& captures, const RunOptions& options);

}  // namespace ampcheck
