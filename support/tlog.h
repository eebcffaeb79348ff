// tlog.h -- the in-memory log that is written to a file in one piece at exit.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <string_view>

namespace tessary {

struct TLogLine {
    std::chrono::system_clock::time_point Time; // local moment the line was added
    std::uint8_t Kind;                          // the caller's value; never written out
    std::string Text;                           // the caller's text up to its first zero byte
};

class TLog {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // An empty log. `clock` gives the moment each line is stamped with; the
    // system clock unless a test supplies its own.
    explicit TLog(Clock clock = {});
    ~TLog();
    TLog(const TLog&) = delete;
    TLog& operator=(const TLog&) = delete;

    // Appends one line stamped with the current time. Text after a zero byte
    // is not kept; a null pointer adds an empty line.
    void Add(std::uint8_t kind, const char* text);
    void Add(std::uint8_t kind, std::string_view text);

    // Frees every line; the log is empty again.
    void Clear();

    // Writes every line, oldest first, each followed by CR LF: with `withTime`
    // as "<stamp> text", otherwise the text alone. Missing folders of
    // `fileName` are created first. Never fails loudly: when the file cannot be
    // written an existing file keeps its old content, and nothing is reported.
    // The log itself is not changed.
    void SaveToFile(const std::string& fileName, bool withTime) const;

    const std::list<TLogLine>& Lines() const { return FLines; }

private:
    Clock FClock;
    std::list<TLogLine> FLines; // oldest first
};

// The stamp of one line: `time` in the short date format of the environment's
// LC_TIME locale, followed by a space and the long time format unless the
// local time is exactly 00:00:00.
std::string FormatLogStamp(std::chrono::system_clock::time_point time);

// The log file of the running program: its name with the extension replaced
// by ".log" (or ".log" added when it has none), beside the program or, for an
// installed program, in the user's state folder (see StateFolder).
std::string ProgramLogFile();

} // namespace tessary
