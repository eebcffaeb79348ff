// process.h -- running the command-line tools the interoperability tests
// drive: the repair tool itself and the ZIP readers it is checked against.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tessary::interop {

struct TProcessOptions {
    std::string StdinPath;   // empty: /dev/null
    int64_t StdinOffset = 0; // the child's standard input starts here
    // Feed standard input through a pipe, so the child cannot seek in it.
    bool StdinPipe = false;
    std::string WorkingDir; // empty: the current one
    int TimeoutSeconds = 120;
    // Signals sent to the child this many milliseconds after its start.
    std::vector<std::pair<int, int>> SignalsAfterMs;
};

struct TProcessResult {
    int ExitCode = -1; // -1 when killed by a signal or not started
    bool TimedOut = false;
    std::string Out;
    std::string Err;
    // The command line and its outcome, for failure messages.
    std::string Describe() const;
    std::string CommandLine;
};

// Runs argv[0] (searched in PATH) with the given arguments and waits for it.
TProcessResult RunProcess(const std::vector<std::string>& argv,
                          const TProcessOptions& options = {});

// The full path of a program found in PATH, or empty.
std::string FindProgram(const std::string& name);

// A fresh folder under the system's temporary folder.
std::string MakeTempDir(const std::string& prefix);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

} // namespace tessary::interop
