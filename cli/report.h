// report.h -- what tessary-cli prints: the entry table and a summary, or one
// JSON document for the whole run.
#pragma once

#include "arcsalve.h"
#include "content_check.h"
#include "engine_error.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tessary::cli {

// What became of an entry the content check saw.
enum class TEntryFate : uint8_t { Kept, Salvaged, LeftOut };

struct TEntryCheck {
    bool Checked = false; // false: the run stopped before the check reached it
    TCheckResult Result;
    TEntryFate Fate = TEntryFate::Kept;
};

struct TCheckTotals {
    size_t Passed = 0;
    size_t Failed = 0;
    size_t NotChecked = 0;
    size_t Salvaged = 0;
    size_t LeftOut = 0;
};
TCheckTotals CountChecks(const std::vector<TEntryCheck>& checks);

// The check column: "ok", "CRC error", "data error at 12,345", "cut off",
// "not checked (encrypted)", with ", salvaged" or ", left out" behind.
std::string CheckText(const TEntryCheck& check);

struct TSummary {
    std::string Input; // as given; "-" for standard input
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
    // Entries left unchecked because the checks reached their limit of
    // decoded bytes (a hostile file's entries claiming the same data).
    size_t DecodeLimited = 0;
    std::optional<EArcsalveError> Error; // why the run failed
    bool Verified = false;
    std::vector<TEntryCheck> Checks; // one per entry with --verify
    // Text-mode transfer damage found, and the entries restored and not.
    TTextModeDamage TextMode = TTextModeDamage::None;
    size_t TextModeRestored = 0;
    size_t TextModeNotRestored = 0;
    std::vector<TInputPart> Parts; // the files of a damaged archive in parts
};

// The table: name, size and status word, as the wizard's results list shows them.
// With checks, a check column too, and salvaged entries graded "Average".
// `verbose`: each entry's reasons on lines of their own below it.
void PrintTable(std::FILE* out, const TArcsalve& engine, bool verbose,
                const std::vector<TEntryCheck>& checks = {});
void PrintSummary(std::FILE* out, const TSummary& summary);

// The summary's line on an archive read from its parts: "Parts: 6 of 7 read,
// a.z01 to a.zip; missing: a.z03." Empty for a single file.
std::string PartsText(const std::vector<TInputPart>& parts);

// The version of the JSON document's layout, its "format" member: raised
// only when a member changes meaning or goes away, never for a new one.
inline constexpr int JsonFormat = 1;

// `{"format":1,"input":...,"entries":[...],"summary":{...}}`, with an "error" or "stopped" member
// when the run failed or was stopped. `engine` is null when the damaged
// archive could not be opened.
void PrintJson(std::FILE* out, const TArcsalve* engine, const TSummary& summary);

} // namespace tessary::cli
