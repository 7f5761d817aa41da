#include "input_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

namespace {

std::string sizeText(std::size_t bytes)
{
    return bytes % (1u << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

} // namespace

std::vector<std::uint8_t> readInputFile(const std::string& path, std::size_t limit, const std::string& command)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0) {
        throw ToolError(command + ": cannot read '" + path + "': " + std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        throw ToolError(command + ": '" + path + "' is a folder, not a file");
    }
    if (!S_ISREG(info.st_mode)) {
        throw ToolError(command + ": '" + path + "' is not a regular file");
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (file == nullptr) {
        throw ToolError(command + ": cannot read '" + path + "': " + std::strerror(errno));
    }
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> block(65536);
    std::size_t got = 0;
    while (bytes.size() <= limit && (got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
    }
    if (std::ferror(file.get()) != 0) {
        throw ToolError(command + ": cannot read '" + path + "': " + std::strerror(errno));
    }
    if (bytes.size() > limit) {
        throw ToolError(command + ": '" + path + "' is larger than " + sizeText(limit));
    }
    bytes.shrink_to_fit(); // an exact copy: a reader's bounds are the file's own
    return bytes;
}
