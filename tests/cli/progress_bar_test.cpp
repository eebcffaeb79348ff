// progress_bar_test.cpp -- the progress line: what it shows at each width,
// how often a plain line comes, and a bar that follows the terminal's width.
#include "progress_bar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace tessary::cli;

namespace {

// Columns the text takes: every character but UTF-8 continuation bytes.
size_t Width(const std::string& s) {
    return static_cast<size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// What `draw` writes to a stream.
std::string Captured(const std::function<void(std::FILE*)>& draw) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    draw(out);
    std::fclose(out);
    std::string captured(text, size);
    std::free(text);
    return captured;
}

// The lines drawn, without the "\r" and "\x1b[J" around them.
std::vector<std::string> Frames(std::string text) {
    for (size_t at; (at = text.find("\x1b[J")) != std::string::npos;)
        text.replace(at, 3, "\r");
    std::vector<std::string> frames;
    std::string frame;
    for (char c : text + "\n") {
        if (c != '\r' && c != '\n')
            frame += c;
        else if (!frame.empty())
            frames.push_back(std::exchange(frame, {}));
    }
    return frames;
}

struct TStep {
    double At;
    int Percent;
    int Columns = 80;
    const char* Stage = nullptr; // a new stage starts here
};

// A bar over 400 MiB, its clock and width set before each report.
std::string Draw(TProgressStyle style, const std::vector<TStep>& steps) {
    return Captured([&](std::FILE* out) {
        double now = 0;
        int columns = 80;
        TProgressBar bar(
            out, style, [&] { return now; }, [&] { return columns; });
        bar.Start("Scanning", 400 << 20);
        for (const TStep& step : steps) {
            now = step.At;
            columns = step.Columns;
            if (step.Stage)
                bar.Start(step.Stage, 400 << 20);
            bar.Show(step.Percent, "1500000", "files have been found");
        }
    });
}

// The parts give way from the least needed on, so that the line never takes
// the terminal's last column.
TEST(ProgressLine, KeepsWhatFitsTheWidth) {
    TProgressLine line;
    line.Stage = "Repairing";
    line.Percent = 37;
    line.Amount = "3.70 Gb / 10.00 Gb";
    line.Rate = "378.88 Mb/s";
    line.Left = "0:00:17 left";
    line.Count = "1500000";
    line.What = "files have been repaired";
    const std::pair<int, const char*> bar[] = {
        {200, "Repairing [#######.............]  37%  3.70 Gb / 10.00 Gb  378.88 Mb/s  0:00:17 "
              "left  1500000 files have been repaired"},
        {100, "Repairing [#######.............]  37%  3.70 Gb / 10.00 Gb  378.88 Mb/s  0:00:17 "
              "left  1500000 files"},
        {80, "Repairing [###.......]  37%  3.70 Gb / 10.00 Gb  0:00:17 left  1500000 files"},
        {70, "Repairing [###.......]  37%  3.70 Gb / 10.00 Gb  0:00:17 left"},
        {45, "Repairing [###.......]  37%  0:00:17 left"},
        {30, "Repairing [###.......]  37%"},
        {20, "Repairing  37%"},
        {10, "Repairing"},
        {0, "Repairing [###.......]  37%  3.70 Gb / 10.00 Gb  0:00:17 left  1500000 files"},
    };
    for (auto [columns, expected] : bar)
        EXPECT_EQ(FormatProgressLine(line, true, columns), expected) << columns;
    EXPECT_EQ(FormatProgressLine(line, false, 80),
              "Repairing: 37%  3.70 Gb / 10.00 Gb  378.88 Mb/s  0:00:17 left  1500000 files");
    // A decimal point of two bytes takes one column: the line of 76 columns
    // still fits 77.
    line.Amount = "3\xD9\xAB"
                  "70 Gb / 10\xD9\xAB"
                  "00 Gb";
    const std::string fitted = FormatProgressLine(line, true, 77);
    EXPECT_EQ(Width(fitted), 76u) << fitted;
}

// The percentage the engine reports, mid-entry or not, fills the bar and
// gives the bytes done; out-of-range reports are held to 0..100.
TEST(ProgressBar, EveryReportedPercentageIsDrawn) {
    const std::pair<int, const char*> cases[] = {
        {0, "Scanning  [....................]   0%  0.00 kb / 400.00 Mb"},
        {1, "Scanning  [....................]   1%  4.00 Mb / 400.00 Mb"},
        {37, "Scanning  [#######.............]  37%  148.00 Mb / 400.00 Mb"},
        {99, "Scanning  [###################.]  99%  396.00 Mb / 400.00 Mb"},
        {150, "Scanning  [####################] 100%  400.00 Mb / 400.00 Mb"},
        {-5, "Scanning  [....................]   0%  0.00 kb / 400.00 Mb"},
    };
    for (auto [percent, expected] : cases) {
        const std::vector<std::string> frames =
            Frames(Draw(TProgressStyle::Bar, {{0.2, percent, 200}}));
        ASSERT_EQ(frames.size(), 1u) << percent;
        EXPECT_EQ(frames[0].rfind(expected, 0), 0u) << frames[0];
    }
}

// Each frame starts at the beginning of the line and clears the rest of the
// screen, so a narrower window gets a line of its new width and nothing of the
// old one; the bar is cleared at the end.
TEST(ProgressBar, FramesFollowTheWidth) {
    const std::string drawn = Draw(TProgressStyle::Bar, {{1, 10, 120}, {2, 20, 40}, {3, 30, 80}});
    EXPECT_EQ(drawn.rfind("\rScanning  [##", 0), 0u) << drawn;
    const std::vector<std::string> lines = Frames(drawn);
    ASSERT_EQ(lines.size(), 3u) << drawn;
    const size_t widths[] = {120, 40, 80};
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LT(Width(lines[i]), widths[i]) << lines[i];
        EXPECT_GT(Width(lines[i]), widths[i] / 2) << lines[i];
    }
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), '\x1b'), 4) << drawn;
    EXPECT_EQ(drawn.substr(drawn.size() - 4), "\r\x1b[J");
}

// A dumb terminal gets a plain line once every five seconds however often the
// engine reports, and whichever stage runs then, each fitted to the width; and
// nothing when there is no terminal.
TEST(ProgressBar, DumbTerminalGetsPlainLinesEveryFiveSeconds) {
    std::vector<TStep> steps;
    for (int tenth = 1; tenth <= 120; ++tenth)
        steps.push_back({tenth / 10.0, tenth * 100 / 120, 60, tenth == 30 ? "Saving" : nullptr});
    const std::string drawn = Draw(TProgressStyle::Lines, steps);
    EXPECT_EQ(drawn.find_first_of("\r\x1b"), std::string::npos) << drawn;
    const std::vector<std::string> lines = Frames(drawn);
    ASSERT_EQ(lines.size(), 2u) << drawn;
    EXPECT_EQ(lines[0], "Saving: 41%  164.00 Mb / 400.00 Mb  0:00:03 left");
    EXPECT_EQ(lines[1].rfind("Saving: 83%", 0), 0u) << lines[1];
    EXPECT_LT(Width(lines[1]), 60u);
    EXPECT_EQ(Draw(TProgressStyle::None, steps), "");
}

// A stage counted in entries, joined with some of them done: the rate is of
// the entries done within the stage.
TEST(ProgressBar, EntriesStageShowsTheirRate) {
    const std::string drawn = Captured([](std::FILE* out) {
        double now = 0;
        TProgressBar bar(
            out, TProgressStyle::Bar, [&] { return now; }, [] { return 120; });
        bar.Start("Checking", 1'000'000, TProgressUnit::Files, 200'000);
        now = 2;
        bar.ShowDone(500'000, "500000", "files have been checked");
    });
    EXPECT_NE(drawn.find("Checking  [##########..........]  50%  150000 files/s  0:00:03 left  "
                         "500000 files have been checked"),
              std::string::npos)
        << drawn;
}

// On a real terminal the width comes from the terminal, and is asked for
// again after the window changes its size.
TEST(ProgressBar, TerminalWidthIsReadAgainAfterAResize) {
    int master = -1, slave = -1;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 24;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
    EXPECT_EQ(TerminalColumns(slave), 100);
    EXPECT_EQ(TerminalColumns(-1), 0);
    std::FILE* out = ::fdopen(slave, "w");
    ASSERT_TRUE(out);
    {
        double now = 0;
        TProgressBar bar(out, TProgressStyle::Bar, [&] { return now += 5; });
        bar.Start("Scanning", 400 << 20);
        bar.Show(50, "1500000", "files have been found");
        size.ws_col = 40;
        ASSERT_EQ(::ioctl(slave, TIOCSWINSZ, &size), 0);
        ::raise(SIGWINCH);
        bar.Show(60, "1500000", "files have been found");
    }
    std::fclose(out);
    std::string got;
    char chunk[4096];
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;)
        got.append(chunk, static_cast<size_t>(n));
    ::close(master);
    const std::vector<std::string> lines = Frames(got);
    ASSERT_EQ(lines.size(), 2u) << got;
    EXPECT_GT(Width(lines[0]), 80u) << lines[0];
    EXPECT_LT(Width(lines[0]), 100u) << lines[0];
    EXPECT_LT(Width(lines[1]), 40u) << lines[1];
}

} // namespace
