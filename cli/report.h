// report.h -- what tessary-cli prints: the entry table or JSON, and a summary.
#pragma once

#include "arcsalve.h"

#include <cstdio>
#include <string>

namespace tessary::cli {

struct TSummary {
    size_t Found = 0;
    size_t Written = 0;
    bool Stopped = false;
    bool ListOnly = false;
    std::string Output; // empty when nothing was written
    uint64_t Dropped = 0;
};

// The table: name, size and status word, as the wizard's results list shows them.
void PrintTable(std::FILE* out, const TArcsalve& engine);
void PrintSummary(std::FILE* out, const TSummary& summary);

// JSON: `{"entries":[...],"summary":{...}}`, the entries printed right after
// the scan, before the rebuild changes the records.
void PrintJsonEntries(std::FILE* out, const TArcsalve& engine);
void PrintJsonSummary(std::FILE* out, const TSummary& summary);

std::string JsonString(std::string_view text);

} // namespace tessary::cli
