// progress_bar.h -- a one-line progress bar on a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tessary::cli {

class TProgressBar {
public:
    // Draws only when `out` is a terminal and `enabled`.
    TProgressBar(std::FILE* out, bool enabled);
    void Show(const char* stage, int32_t percent, const char* count, const char* what);
    void Clear();

private:
    std::FILE* FOut;
    bool FEnabled;
    bool FDrawn = false;
};

} // namespace tessary::cli
