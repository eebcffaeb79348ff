// progress_bar.cpp -- drawing the progress.
#include "progress_bar.h"

#include "entry_text.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tessary::cli {

namespace {

volatile std::sig_atomic_t Resizes = 0;

void OnResize(int) {
    Resizes = Resizes + 1;
}

// Counts the changes of the window's size, so that the next line is drawn
// for the new width. SA_RESTART keeps the signal from failing reads and
// writes in progress.
void WatchResizes() {
    static bool watching = false;
    if (watching)
        return;
    watching = true;
    struct sigaction sa {};
    sa.sa_handler = OnResize;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &sa, nullptr);
}

double SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// "0:00:23"; a time beyond 99 hours shows as 99:59:59.
std::string Duration(double seconds) {
    long s = static_cast<long>(std::clamp(seconds + 0.5, 0.0, 359999.0));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

// Columns a text takes: one per character. The texts are ASCII but for the
// locale's decimal point, which may take more than one byte.
size_t Width(const std::string& s) {
    return static_cast<size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string CutToWidth(const std::string& s, size_t columns) {
    size_t seen = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((s[i] & 0xC0) != 0x80 && seen++ == columns)
            return s.substr(0, i);
    }
    return s;
}

// One way to lay the line out: the bar's width (0: none), the parts shown,
// and the count with its words (2), with the first word alone (1) or not (0).
struct TLayout {
    int Bar;
    bool Amount;
    bool Rate;
    bool Left;
    int Count;
};

// From the fullest to the barest; the first that fits is drawn.
constexpr TLayout Layouts[] = {
    {20, true, true, true, 2},    {20, true, true, true, 1},   {20, true, false, true, 1},
    {10, true, false, true, 1},   {10, true, false, true, 0},  {10, false, false, true, 0},
    {10, false, false, false, 0}, {0, false, false, false, 0},
};

std::string Compose(const TProgressLine& line, bool bar, const TLayout& layout) {
    int p = std::clamp(line.Percent, 0, 100);
    std::string text = line.Stage;
    char percent[16];
    if (bar) {
        // The stage names are of up to nine letters: the bars line up.
        text.resize(std::max<size_t>(text.size(), 9), ' ');
        if (layout.Bar > 0) {
            int filled = p * layout.Bar / 100;
            text += " [";
            text.append(static_cast<size_t>(filled), '#');
            text.append(static_cast<size_t>(layout.Bar - filled), '.');
            text += ']';
        }
        std::snprintf(percent, sizeof percent, " %3d%%", p);
    } else {
        std::snprintf(percent, sizeof percent, ": %d%%", p);
    }
    text += percent;
    auto add = [&](bool shown, const std::string& part) {
        if (shown && !part.empty())
            text += "  " + part;
    };
    add(layout.Amount, line.Amount);
    add(layout.Rate, line.Rate);
    add(layout.Left, line.Left);
    if (layout.Count > 0 && !line.Count.empty()) {
        std::string words =
            layout.Count == 2 ? line.What : line.What.substr(0, line.What.find(' '));
        add(true, words.empty() ? line.Count : line.Count + " " + words);
    }
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

int TerminalColumns(int fd) {
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

std::string FormatProgressLine(const TProgressLine& line, bool bar, int columns) {
    // The last column stays free: a character there would leave the cursor
    // waiting to wrap, and some terminals wrap at once.
    size_t room = static_cast<size_t>(std::max(columns > 0 ? columns : 80, 2) - 1);
    // The layout is chosen as if the rate and the time left were known from
    // the start, so that the bar keeps its width when they appear.
    TProgressLine sizing = line;
    if (sizing.Rate.empty())
        sizing.Rate = "000.00 Mb/s";
    if (sizing.Left.empty())
        sizing.Left = "0:00:00 left";
    for (const TLayout& layout : Layouts) {
        if (Width(Compose(sizing, bar, layout)) <= room)
            return Compose(line, bar, layout);
    }
    return CutToWidth(Compose(line, bar, Layouts[std::size(Layouts) - 1]), room);
}

TProgressBar::TProgressBar(std::FILE* out, TProgressStyle style, TClock clock, TColumns columns)
    : FOut(out), FStyle(style), FClock(clock ? std::move(clock) : TClock(SteadySeconds)),
      FColumns(std::move(columns)) {
    if (FStyle != TProgressStyle::None && !FColumns)
        WatchResizes();
    // Plain lines keep their pace across stages: a run of short stages
    // still gets one every few seconds.
    FLastLine = FClock();
}

TProgressBar::~TProgressBar() {
    Clear();
}

void TProgressBar::Start(const char* stage, int64_t total, TProgressUnit unit, int64_t done) {
    FStage = stage;
    FTotal = std::max<int64_t>(total, 0);
    FStartDone = std::clamp<int64_t>(done, 0, FTotal);
    FUnit = unit;
    FStarted = FClock();
}

int TProgressBar::Columns() {
    if (FColumns)
        return FColumns();
    if (int resizes = Resizes; resizes != FResizesSeen) {
        FResizesSeen = resizes;
        FTerminalColumns = TerminalColumns(::fileno(FOut));
    }
    return FTerminalColumns > 0 ? FTerminalColumns : DefaultColumns;
}

void TProgressBar::Show(int32_t percent, const char* count, const char* what) {
    int p = std::clamp(percent, 0, 100);
    Draw(p, FTotal / 100 * p + FTotal % 100 * p / 100, count, what);
}

void TProgressBar::ShowDone(int64_t done, const char* count, const char* what) {
    done = std::clamp<int64_t>(done, 0, FTotal);
    // done * 100 would overflow only past 92 petabytes.
    Draw(FTotal > 0 ? static_cast<int>(done * 100 / FTotal) : 100, done, count, what);
}

void TProgressBar::Draw(int percent, int64_t done, const char* count, const char* what) {
    if (FStyle == TProgressStyle::None)
        return;
    double now = FClock();
    if (FStyle == TProgressStyle::Lines && now - FLastLine < LinePeriod)
        return;
    TProgressLine line;
    line.Stage = FStage;
    line.Percent = percent;
    line.Count = count ? count : "";
    line.What = what ? what : "";
    if (FUnit == TProgressUnit::Bytes)
        line.Amount = FormatFileSize(done) + " / " + FormatFileSize(FTotal);
    // The rate once a moment has passed, the time left once there is a rate.
    double elapsed = now - FStarted;
    if (elapsed >= 0.5 && done > FStartDone) {
        double rate = static_cast<double>(done - FStartDone) / elapsed;
        line.Rate = FUnit == TProgressUnit::Bytes
                        ? FormatFileSize(static_cast<int64_t>(rate)) + "/s"
                        : std::to_string(static_cast<int64_t>(rate)) + " files/s";
        line.Left = Duration(static_cast<double>(FTotal - done) / rate) + " left";
    }
    std::string text = FormatProgressLine(line, FStyle == TProgressStyle::Bar, Columns());
    if (FStyle == TProgressStyle::Lines) {
        FLastLine = now;
        std::fprintf(FOut, "%s\n", text.c_str());
    } else {
        // The cursor waits at the start of the line, and the line is cleared
        // to the end of the screen: a terminal made narrower, which wraps the
        // line drawn before, has the whole of it replaced.
        std::fprintf(FOut, "\r%s\x1b[J\r", text.c_str());
        FDrawn = true;
    }
    std::fflush(FOut);
}

void TProgressBar::Clear() {
    if (FDrawn) {
        std::fprintf(FOut, "\r\x1b[J");
        std::fflush(FOut);
        FDrawn = false;
    }
}

} // namespace tessary::cli
