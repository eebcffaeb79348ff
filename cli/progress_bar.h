// progress_bar.h -- the progress of a scan, a rebuild or a content check on
// standard error: the amount done of the total, rate and time left, in one
// line that fits the terminal.
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

// What a stage counts: the bytes of the file, or the entries handled.
enum class TProgressUnit { Bytes, Files };

// The style for `out`: None unless it is a terminal and `enabled`; Lines
// where the terminal takes no escape sequences.
TProgressStyle ProgressStyleFor(std::FILE* out, bool enabled);

// The width of the terminal behind `fd` in columns, or 0 when it has none.
int TerminalColumns(int fd);

// The parts of one progress line, already as text; empty parts are left out.
struct TProgressLine {
    const char* Stage = "";
    int Percent = 0;
    std::string Amount; // "1.20 Gb / 6.80 Gb"
    std::string Rate;   // "245.00 Mb/s"
    std::string Left;   // "0:00:23 left"
    std::string Count;  // "1500000"
    std::string What;   // "files have been repaired"
};

// The line as drawn in place (`bar`) or printed on its own, with as many of
// its parts as fit in `columns` - 1 columns: the words behind the count go
// first, then the rate, half the bar, the count, the amount and the time
// left; what still does not fit is cut off.
std::string FormatProgressLine(const TProgressLine& line, bool bar, int columns);

class TProgressBar {
public:
    using TClock = std::function<double()>; // seconds, steadily rising
    using TColumns = std::function<int()>;  // the terminal's width; 0 unknown

    // Without `columns`, the width of `out` as a terminal, asked for again
    // after every change of the window's size (SIGWINCH).
    TProgressBar(std::FILE* out, TProgressStyle style, TClock clock = {}, TColumns columns = {});
    ~TProgressBar(); // clears a bar still drawn, so that no message lands on it
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    // A new stage over `total` bytes or entries, of which `done` are done
    // already; its rate is measured from here.
    void Start(const char* stage, int64_t total, TProgressUnit unit = TProgressUnit::Bytes,
               int64_t done = 0);
    // `percent` of the stage is done; `count` `what` so far.
    void Show(int32_t percent, const char* count, const char* what);
    // `done` of the stage's total is done.
    void ShowDone(int64_t done, const char* count, const char* what);
    void Clear();

    // Seconds between two plain lines, whatever the stage.
    static constexpr double LinePeriod = 5.0;
    // The width assumed where the terminal tells none.
    static constexpr int DefaultColumns = 80;

private:
    int Columns();
    void Draw(int percent, int64_t done, const char* count, const char* what);

    std::FILE* FOut;
    TProgressStyle FStyle;
    TClock FClock;
    TColumns FColumns;
    const char* FStage = "";
    int64_t FTotal = 0;
    int64_t FStartDone = 0;
    TProgressUnit FUnit = TProgressUnit::Bytes;
    double FStarted = 0;
    double FLastLine = 0;
    bool FDrawn = false;
    int FTerminalColumns = 0;
    int FResizesSeen = -1;
};

} // namespace tessary::cli
