#pragma once

#include <chrono>
#include <string>

// A one-line text progress bar on standard output for long steps of the tools:
// "label [#########.........]  45/100". Redraws only when the shown percentage changes.
class ProgressBar
{
public:
    // Requires: total >= 0.
    ProgressBar(std::string label, long total);
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    // Ends the line when finish() was not called.
    ~ProgressBar();

    // Ensures: the bar shows `done` of the total (clamped).
    void update(long done);
    // Ensures: the bar shows the total, the elapsed seconds and ends its line.
    void finish();

private:
    void draw(long done);

    std::string label;
    long total;
    int shownPercent = -1;
    bool finishing = false;
    bool finished = false;
    std::chrono::steady_clock::time_point start;
};
