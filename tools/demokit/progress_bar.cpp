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

void ProgressBar::showRate(std::string unit)
{
    rateUnit_ = std::move(unit);
}

void ProgressBar::showSize(std::function<std::int64_t()> bytes)
{
    bytes_ = std::move(bytes);
}

// "  0:42  164 fps  0:16 left  12.3 MB" once there is a rate to show.
std::string ProgressBar::rateText() const
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt_).count();
    if (rateUnit_.empty() || done_ <= 0 || seconds <= 0.0) {
        return "";
    }
    const double rate = static_cast<double>(done_) / seconds;
    const auto elapsed = static_cast<long long>(seconds);
    char text[64];
    std::snprintf(text, sizeof text, "  %lld:%02lld  %.0f %s", elapsed / 60, elapsed % 60, rate, rateUnit_.c_str());
    std::string line = text;
    if (total_ > done_) {
        const auto left = static_cast<long long>(static_cast<double>(total_ - done_) / rate + 0.5);
        std::snprintf(text, sizeof text, "  %lld:%02lld left", left / 60, left % 60);
        line += text;
    }
    if (bytes_) {
        std::snprintf(text, sizeof text, "  %.1f MB", static_cast<double>(bytes_()) / 1e6);
        line += text;
    }
    return line;
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
    line += rateText();
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
