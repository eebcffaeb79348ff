// progress_bar.h -- the progress of a scan or a rebuild on standard error:
// bytes done of the total, rate and time left.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace tessary::cli {

enum class TProgressStyle {
    None,  // not a terminal, or --quiet
    Bar,   // one line redrawn in place
    Lines, // a plain line every few seconds: TERM is dumb or unset
};

// The style for `out`: None unless it is a terminal and `enabled`; Lines
// where the terminal takes no escape sequences.
TProgressStyle ProgressStyleFor(std::FILE* out, bool enabled);

class TProgressBar {
public:
    using TClock = std::function<double()>; // seconds, steadily rising

    TProgressBar(std::FILE* out, TProgressStyle style, TClock clock = {});
    // A new stage over `total` bytes; its rate is measured from here.
    void Start(const char* stage, int64_t total);
    // `percent` of the stage's bytes are done; `count` `what` so far.
    void Show(int32_t percent, const char* count, const char* what);
    void Clear();

    // Seconds between two plain lines.
    static constexpr double LinePeriod = 5.0;

private:
    std::string Figures(int64_t done, double elapsed) const;

    std::FILE* FOut;
    TProgressStyle FStyle;
    TClock FClock;
    const char* FStage = "";
    int64_t FTotal = 0;
    double FStarted = 0;
    double FLastLine = 0;
    bool FDrawn = false;
};

} // namespace tessary::cli
