// report.h -- what tessary-cli prints: the entry table and a summary, or one
// JSON document for the whole run.
#pragma once

#include "arcsalve.h"
#include "engine_error.h"

#include <cstdio>
#include <optional>
#include <string>

namespace tessary::cli {

struct TSummary {
    size_t Found = 0;
    size_t Written = 0;
    bool Stopped = false;
    bool ListOnly = false;
    std::string Output; // empty when nothing was written
    uint64_t Dropped = 0;
    const char* StoppedDuring = nullptr; // "scan" or "rebuild" after a Ctrl-C
    // "memory-limit" or "entry-limit" when the scan ended before the end of
    // the file, or left headers out, because of a limit.
    const char* CutShort = nullptr;
    std::optional<EArcsalveError> Error; // why the run failed
};

// The table: name, size and status word, as the wizard's results list shows them.
void PrintTable(std::FILE* out, const TArcsalve& engine);
void PrintSummary(std::FILE* out, const TSummary& summary);

// `{"entries":[...],"summary":{...}}`, with an "error" or "stopped" member
// when the run failed or was stopped. `engine` is null when the damaged
// archive could not be opened.
void PrintJson(std::FILE* out, const TArcsalve* engine, const TSummary& summary);

std::string JsonString(std::string_view text);

} // namespace tessary::cli
