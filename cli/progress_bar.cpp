// progress_bar.cpp -- drawing the progress.
#include "progress_bar.h"

#include "entry_text.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace tessary::cli {

namespace {

double SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string Duration(double seconds) {
    long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

} // namespace

TProgressStyle ProgressStyleFor(std::FILE* out, bool enabled) {
    if (!enabled || !::isatty(::fileno(out)))
        return TProgressStyle::None;
    const char* term = std::getenv("TERM");
    if (!term || !*term || std::strcmp(term, "dumb") == 0)
        return TProgressStyle::Lines;
    return TProgressStyle::Bar;
}

TProgressBar::TProgressBar(std::FILE* out, TProgressStyle style, TClock clock)
    : FOut(out), FStyle(style), FClock(clock ? std::move(clock) : TClock(SteadySeconds)) {}

void TProgressBar::Start(const char* stage, int64_t total) {
    FStage = stage;
    FTotal = std::max<int64_t>(total, 0);
    FStarted = FLastLine = FClock();
}

// "1.2 GB / 6.8 GB  245.0 MB/s  0:00:23 left": the rate once a moment has
// passed, the time left once there is a rate.
std::string TProgressBar::Figures(int64_t done, double elapsed) const {
    std::string text = FormatFileSize(done) + " / " + FormatFileSize(FTotal);
    if (elapsed >= 0.5 && done > 0) {
        double rate = done / elapsed;
        text += "  " + FormatFileSize(static_cast<int64_t>(rate)) + "/s";
        text += "  " + Duration(static_cast<double>(FTotal - done) / rate) + " left";
    }
    return text;
}

void TProgressBar::Show(int32_t percent, const char* count, const char* what) {
    if (FStyle == TProgressStyle::None)
        return;
    int p = std::clamp(percent, 0, 100);
    int64_t done = FTotal / 100 * p + FTotal % 100 * p / 100;
    double now = FClock();
    std::string figures = Figures(done, now - FStarted);
    if (FStyle == TProgressStyle::Lines) {
        if (now - FLastLine < LinePeriod)
            return;
        FLastLine = now;
        std::fprintf(FOut, "%s: %d%%  %s  %s %s\n", FStage, p, figures.c_str(), count, what);
        std::fflush(FOut);
        return;
    }
    constexpr int Width = 20;
    int filled = p * Width / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(Width - filled), '.');
    std::fprintf(FOut, "\r%-8s [%s] %3d%%  %s  %s %s\x1b[K", FStage, bar.c_str(), p,
                 figures.c_str(), count, what);
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
