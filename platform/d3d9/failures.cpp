#include "d3d9/failures.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace d3d9 {
namespace {

std::mutex reportsLock;
std::vector<std::string> reports;
std::function<void(std::string_view, std::string_view)> unsupportedSink;

void reportToStderr(std::string_view id, std::string_view what)
{
    std::fprintf(stderr, "d3d9: not offered: %.*s: %.*s\n", static_cast<int>(id.size()), id.data(),
                 static_cast<int>(what.size()), what.data());
}

} // namespace

HRESULT notOffered(std::string_view id, std::string_view what)
{
    std::function<void(std::string_view, std::string_view)> sink;
    {
        std::lock_guard<std::mutex> hold(reportsLock);
        if (std::find(reports.begin(), reports.end(), id) != reports.end()) {
            return D3DERR_NOTAVAILABLE;
        }
        reports.emplace_back(id);
        sink = unsupportedSink;
    }
    if (sink) {
        sink(id, what);
    } else {
        reportToStderr(id, what);
    }
    return D3DERR_NOTAVAILABLE;
}

void setUnsupportedSink(std::function<void(std::string_view, std::string_view)> sink)
{
    std::lock_guard<std::mutex> hold(reportsLock);
    unsupportedSink = std::move(sink);
}

std::vector<std::string> unsupportedReported()
{
    std::lock_guard<std::mutex> hold(reportsLock);
    return reports;
}

void forgetUnsupportedReports()
{
    std::lock_guard<std::mutex> hold(reportsLock);
    reports.clear();
}

} // namespace d3d9
