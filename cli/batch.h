// Running many renders on worker threads, with progress and a summary.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "render.h"

namespace vellora::cli {

struct Task {
    std::string input, output;
    std::string failure;  // set when the task is known to fail before it runs
    std::string subdir;   // folder below the directory argument, mirrored in --out-dir
};

struct Summary {
    size_t rendered = 0, failed = 0, skipped = 0, notStarted = 0;
};

// Renders every task on up to `jobs` threads. Reports each file on standard
// error: a progress bar on a terminal, a plain line per file otherwise, and
// for a single task only what went wrong.
Summary runBatch(const std::vector<Task> &tasks, const RenderOptions &options,
                 const std::set<FileId> &inputs, unsigned jobs, bool quiet);

// Set from a signal handler: workers take no new file.
void requestStop();

}  // namespace vellora::cli
