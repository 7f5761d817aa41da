// A one-line progress bar on stderr for long demokit runs: a label, a bar,
// the percentage and the count (and, when asked, the time taken, the rate,
// the time left and the size written), redrawn in place with a carriage
// return.
//
// Entry point: ProgressBar (update as work is done, finish to end the line).
// It draws only when stderr is a terminal; otherwise it writes nothing at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

class ProgressBar {
public:
    ProgressBar(std::string label, std::int64_t total);
    // Draws to out, or draws nothing when terminal is false.
    ProgressBar(std::string label, std::int64_t total, std::FILE* out, bool terminal);
    ~ProgressBar();

    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // done of total items are complete. Redraws when the percentage changes,
    // and otherwise at most about ten times a second.
    void update(std::int64_t done);
    // Draws the last state and ends the line; later calls do nothing.
    void finish();
    // Also shows the time since the bar was made, the rate in this unit
    // ("fps") and the time left at that rate.
    void showRate(std::string unit);
    // Also shows the bytes written so far, as bytes() says (asked at each
    // redraw).
    void showSize(std::function<std::int64_t()> bytes);

private:
    void draw();
    std::string rateText() const;

    std::string label_;
    std::int64_t total_;
    std::FILE* out_;
    bool active_;
    std::int64_t done_ = 0;
    std::int64_t drawnDone_ = -1;
    int drawnPercent_ = -1;
    std::size_t drawnLength_ = 0;
    std::chrono::steady_clock::time_point drawnAt_{};
    std::chrono::steady_clock::time_point startedAt_ = std::chrono::steady_clock::now();
    std::string rateUnit_; // empty: no rate shown
    std::function<std::int64_t()> bytes_; // empty: no size shown
};
