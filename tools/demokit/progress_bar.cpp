// The progress bar's drawing: the line is built whole and written with a
// leading carriage return, padded to cover a longer line drawn before it.
//
// Entry point: ProgressBar.
#include "progress_bar.hpp"

#include <algorithm>
#include <utility>

#include <unistd.h>

namespace {

constexpr int BarWidth = 30;
constexpr auto RedrawInterval = std::chrono::milliseconds(100);

} // namespace

ProgressBar::ProgressBar(std::string label, std::int64_t total)
    : ProgressBar(std::move(label), total, stderr, isatty(STDERR_FILENO) == 1)
{
}

ProgressBar::ProgressBar(std::string label, std::int64_t total, std::FILE* out, bool terminal)
    : label_(std::move(label)), total_(std::max<std::int64_t>(total, 0)), out_(out), active_(terminal && out != nullptr)
{
}

ProgressBar::~ProgressBar()
{
    finish();
}

void ProgressBar::update(std::int64_t done)
{
    if (!active_) {
        return;
    }
    done_ = total_ > 0 ? std::clamp<std::int64_t>(done, 0, total_) : std::max<std::int64_t>(done, 0);
    if (done_ == drawnDone_) {
        return;
    }
    const int percent = total_ > 0 ? static_cast<int>(done_ * 100 / total_) : -1;
    const auto now = std::chrono::steady_clock::now();
    if (percent != drawnPercent_ || now - drawnAt_ >= RedrawInterval) {
        draw();
    }
}

void ProgressBar::finish()
{
    if (!active_) {
        return;
    }
    if (done_ != drawnDone_) {
        draw();
    }
    std::fputc('\n', out_);
    std::fflush(out_);
    active_ = false;
}

void ProgressBar::draw()
{
    std::string line = "\r" + label_ + " ";
    const int percent = total_ > 0 ? static_cast<int>(done_ * 100 / total_) : -1;
    if (total_ > 0) {
        const auto filled = static_cast<int>(done_ * BarWidth / total_);
        line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(BarWidth - filled), '-') + "] ";
        char figures[64];
        std::snprintf(figures, sizeof figures, "%3d%%  %lld/%lld", percent, static_cast<long long>(done_),
                      static_cast<long long>(total_));
        line += figures;
    } else {
        line += std::to_string(done_);
    }
    const std::size_t length = line.size();
    if (length < drawnLength_) {
        line.append(drawnLength_ - length, ' ');
    }
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
    drawnLength_ = length;
    drawnDone_ = done_;
    drawnPercent_ = percent;
    drawnAt_ = std::chrono::steady_clock::now();
}
