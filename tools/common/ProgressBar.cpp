#include "ProgressBar.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {
constexpr int kBarWidth = 30;
}

ProgressBar::ProgressBar(std::string label, long total)
    : label(std::move(label)), total(std::max(0L, total)), start(std::chrono::steady_clock::now())
{
    draw(0);
}

ProgressBar::~ProgressBar()
{
    if (!finished)
        std::printf("\n");
}

void ProgressBar::update(long done)
{
    const long clamped = std::clamp(done, 0L, total);
    const int percent = total == 0 ? 100 : static_cast<int>(clamped * 100 / total);
    if (percent != shownPercent)
        draw(clamped);
}

void ProgressBar::finish()
{
    if (finished)
        return;
    finishing = true;
    draw(total);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("  %.1f s\n", seconds);
    std::fflush(stdout);
    finished = true;
}

void ProgressBar::draw(long done)
{
    shownPercent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    // Redrawing in place only makes sense on a terminal; a log gets the finished line alone.
    if (isatty(fileno(stdout)) == 0 && !finishing)
        return;
    const int filled = shownPercent * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::printf("\r%s [%s] %ld/%ld", label.c_str(), bar.c_str(), done, total);
    std::fflush(stdout);
}
