// Files a user hands demokit (a song, a texture script, a program text) are
// untrusted: read whole, only when they are regular files, never past a
// size limit, in blocks so that a large file stops one block past it.
// A file that cannot be read is a ToolError (exit 1); one that is read but
// refused for what it holds (empty, not of its kind, beyond the tool's
// bounds) is an InputError (exit 3).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tool_errors.hpp"

struct InputError : ToolError {
    using ToolError::ToolError;
};

// The file's bytes, at most `limit` of them; `command` names the tool in
// errors ("song"). What the bytes must be is the caller's to check.
std::vector<std::uint8_t> readInputFile(const std::string& path, std::size_t limit, const std::string& command);
