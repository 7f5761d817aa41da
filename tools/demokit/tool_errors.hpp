// The two failures every part of demokit reports: bad arguments (exit code
// 2) and failures of the work itself (exit code 1). main turns each into one
// line on stderr.
#pragma once

#include <stdexcept>

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A failure of the work itself (a file that cannot be written): exit code 1.
struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
