// progress_bar.cpp -- drawing the progress bar.
#include "progress_bar.h"

#include <algorithm>
#include <unistd.h>

namespace tessary::cli {

TProgressBar::TProgressBar(std::FILE* out, bool enabled)
    : FOut(out), FEnabled(enabled && ::isatty(::fileno(out))) {}

void TProgressBar::Show(const char* stage, int32_t percent, const char* count, const char* what) {
    if (!FEnabled)
        return;
    constexpr int Width = 30;
    int p = std::clamp(percent, 0, 100);
    int filled = p * Width / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(Width - filled), '.');
    std::fprintf(FOut, "\r%-8s [%s] %3d%%  %s %s\x1b[K", stage, bar.c_str(), p, count, what);
    std::fflush(FOut);
    FDrawn = true;
}

void TProgressBar::Clear() {
    if (FDrawn) {
        std::fprintf(FOut, "\r\x1b[K");
        std::fflush(FOut);
        FDrawn = false;
    }
}

} // namespace tessary::cli
