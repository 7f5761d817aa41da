#include "command_line.hpp"

#include <cerrno>
#include <cstdlib>
#include <limits>

Arguments::Arguments(int argc, char** argv, int first)
{
    for (int k = first; k < argc; ++k) {
        items_.emplace_back(argv[k]);
    }
}

bool Arguments::empty() const
{
    return next_ >= items_.size();
}

bool Arguments::asksForHelp() const
{
    for (std::size_t k = next_; k < items_.size(); ++k) {
        if (isHelpOption(items_[k])) {
            return true;
        }
    }
    return false;
}

std::string Arguments::take()
{
    return items_.at(next_++);
}

std::string Arguments::takeValue(const std::string& name)
{
    if (empty()) {
        throw UsageError(name + " needs a value");
    }
    return take();
}

std::int32_t parseInt32(const std::string& text, const std::string& what)
{
    if (text.empty()) {
        throw UsageError(what + " is empty");
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw UsageError(what + " '" + text + "' is not a whole number in the 32-bit range");
    }
    return static_cast<std::int32_t>(value);
}

std::vector<std::int32_t> parseInt32List(const std::string& text, const std::string& what)
{
    std::vector<std::int32_t> values;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        values.push_back(parseInt32(text.substr(start, comma - start), what));
        if (comma == std::string::npos) {
            return values;
        }
        start = comma + 1;
    }
}

bool isHelpOption(const std::string& argument)
{
    return argument == "--help" || argument == "-h";
}
