// report.cpp -- printing the results of a repair.
#include "report.h"

#include "entry_reasons.h"
#include "entry_text.h"
#include "run_summary.h"
#include "safe_text.h"

#include <cinttypes>

namespace tessary::cli {

namespace {

// 12345 -> "12,345"
std::string GroupDigits(int64_t value) {
    std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0 && digits[i - 1] != '-'; i -= 3)
        digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

// A salvaged entry lost its end: it is graded as an entry that reaches the
// end of the damaged file.
int StatusShown(const TFileInfo& e, const std::vector<TEntryCheck>& checks, size_t i) {
    bool salvaged = i < checks.size() && checks[i].Fate == TEntryFate::Salvaged;
    return salvaged ? int(StatusExtent) : int(e.Status);
}

} // namespace

TCheckTotals CountChecks(const std::vector<TEntryCheck>& checks) {
    TCheckTotals t;
    for (const TEntryCheck& c : checks) {
        if (!c.Checked || c.Result.Outcome == TCheckOutcome::NotChecked)
            ++t.NotChecked;
        else if (c.Result.Outcome == TCheckOutcome::Ok)
            ++t.Passed;
        else
            ++t.Failed;
        t.Salvaged += c.Fate == TEntryFate::Salvaged;
        t.LeftOut += c.Fate == TEntryFate::LeftOut;
    }
    return t;
}

std::string CheckText(const TEntryCheck& c) {
    std::string text;
    if (!c.Checked) {
        text = "not checked (stopped)";
    } else {
        switch (c.Result.Outcome) {
        case TCheckOutcome::Ok:
            text = "ok";
            break;
        case TCheckOutcome::CrcMismatch:
            text = "CRC error";
            break;
        case TCheckOutcome::DataError:
            text = "data error at " + GroupDigits(c.Result.ErrorOffset);
            break;
        case TCheckOutcome::Truncated:
            text = "cut off";
            break;
        case TCheckOutcome::NotChecked:
            text = "not checked (" + std::string(NotCheckedReasonWord(c.Result.Reason)) + ")";
            break;
        }
    }
    if (c.Fate == TEntryFate::Salvaged)
        text += ", salvaged";
    else if (c.Fate == TEntryFate::LeftOut)
        text += ", left out";
    return text;
}

void PrintTable(std::FILE* out, const TArcsalve& engine, bool verbose,
                const std::vector<TEntryCheck>& checks) {
    bool withChecks = !checks.empty();
    if (withChecks)
        std::fprintf(out, "%-12s %-9s %-24s %s\n", SizeCaption, StatusCaption, "Check",
                     FileNameCaption);
    else
        std::fprintf(out, "%-12s %-9s %s\n", SizeCaption, StatusCaption, FileNameCaption);
    size_t i = 0;
    for (const TFileInfo& e : engine.Entries()) {
        TInfoForView v = ViewOf(e);
        std::string word(StatusWord(StatusShown(e, checks, i)));
        std::string name = EscapeForText(EntryNameText(v));
        if (withChecks)
            std::fprintf(out, "%12s %-9s %-24s %s\n", FormatFileSize(v.Size).c_str(), word.c_str(),
                         CheckText(checks[i]).c_str(), name.c_str());
        else
            std::fprintf(out, "%12s %-9s %s\n", FormatFileSize(v.Size).c_str(), word.c_str(),
                         name.c_str());
        if (verbose)
            for (const std::string& reason :
                 EntryReasons(e, engine.FileSize(), engine.InputParts()))
                std::fprintf(out, "%12s   %s\n", "", EscapeForText(reason).c_str());
        ++i;
    }
}

std::string PartsText(const std::vector<TInputPart>& parts) {
    if (parts.empty())
        return {};
    std::string missing;
    std::string cut;
    size_t read = 0;
    for (const TInputPart& p : parts) {
        read += p.Found;
        if (p.Missing())
            missing += (missing.empty() ? "" : ", ") + EscapeForText(p.Name);
        else if (p.Short())
            cut += (cut.empty() ? "" : ", ") + EscapeForText(p.Name) + " (" +
                   GroupDigits(p.Present) + " of " + GroupDigits(p.Length) + " bytes)";
    }
    std::string text = "Parts: " + std::to_string(read) + " of " + std::to_string(parts.size()) +
                       " read, " + EscapeForText(parts.front().Name) + " to " +
                       EscapeForText(parts.back().Name);
    if (!missing.empty())
        text += "; missing: " + missing;
    if (!cut.empty())
        text += "; short: " + cut;
    return text + ".";
}

void PrintSummary(std::FILE* out, const TSummary& s) {
    if (!s.Parts.empty())
        std::fprintf(out, "%s\n", PartsText(s.Parts).c_str());
    if (s.Found == 0) {
        if (s.Stopped)
            std::fputs("The scan was stopped before any ZIP entry was found; nothing was "
                       "written.\n",
                       out);
        else
            std::fprintf(out, "%s: no ZIP entry in this file; nothing was written.\n",
                         NothingFoundText);
        return;
    }
    if (s.ListOnly) {
        std::fprintf(out, "%zu %s%s.\n", s.Found, FilesFoundText,
                     s.Stopped ? " before the scan was stopped" : "");
    } else {
        std::fprintf(out, "%zu %s, %zu %s into %s%s.\n", s.Found, FilesFoundText, s.Written,
                     FilesRepairedText,
                     s.Output == "-" ? "standard output" : EscapeForText(s.Output).c_str(),
                     s.Stopped ? " (stopped early)" : "");
    }
    if (s.Verified) {
        TCheckTotals t = CountChecks(s.Checks);
        std::fprintf(out, "Check: %zu passed, %zu failed, %zu not checked", t.Passed, t.Failed,
                     t.NotChecked);
        if (t.Salvaged > 0)
            std::fprintf(out, "; %zu salvaged", t.Salvaged);
        if (t.LeftOut > 0)
            std::fprintf(out, "; %zu left out", t.LeftOut);
        std::fprintf(out, ".\n");
    }
    if (std::string line = TextModeText(s.TextMode, s.TextModeRestored, s.TextModeNotRestored);
        !line.empty())
        std::fprintf(out, "%s\n", line.c_str());
    const bool memoryLimit = s.CutShort && std::string_view(s.CutShort) == "memory-limit";
    for (const std::string& line : CutShortTexts(s.Dropped, memoryLimit))
        std::fprintf(out, "%s\n", line.c_str());
    if (s.DecodeLimited > 0)
        std::fprintf(out,
                     "The check stopped at its limit of decoded bytes; %zu entries were not "
                     "checked.\n",
                     s.DecodeLimited);
}

namespace {

const char* ErrorKindName(TErrorKind kind) {
    switch (kind) {
    case TErrorKind::OpenInput:
        return "open_input";
    case TErrorKind::ReadInput:
        return "read_input";
    case TErrorKind::CreateOutput:
        return "create_output";
    case TErrorKind::WriteOutput:
        return "write_output";
    case TErrorKind::OutputIsInput:
        return "output_is_input";
    case TErrorKind::Refused:
        return "refused";
    case TErrorKind::OutOfMemory:
        return "out_of_memory";
    }
    return "unknown";
}

// `,"check":{...}` for one entry; nothing without --verify.
std::string JsonCheck(const TSummary& s, size_t i) {
    if (i >= s.Checks.size())
        return {};
    const TEntryCheck& c = s.Checks[i];
    std::string json = ",\"check\":{\"outcome\":";
    if (!c.Checked) {
        json += "\"not-checked\",\"reason\":\"stopped\"";
    } else {
        json += JsonQuoted(CheckOutcomeWord(c.Result.Outcome));
        if (c.Result.Outcome == TCheckOutcome::DataError)
            json += ",\"error_offset\":" + std::to_string(c.Result.ErrorOffset);
        if (c.Result.Outcome == TCheckOutcome::NotChecked)
            json += ",\"reason\":" + JsonQuoted(NotCheckedReasonWord(c.Result.Reason));
    }
    if (c.Fate == TEntryFate::Salvaged)
        json += ",\"salvaged\":true,\"salvaged_size\":" + std::to_string(c.Result.UncompressedSize);
    if (c.Fate == TEntryFate::LeftOut)
        json += ",\"left_out\":true";
    return json + "}";
}

// `,"reasons":[...]`: why the entry was written as it was; nothing when its
// local header said it all.
std::string JsonReasons(const TFileInfo& e, const TArcsalve& engine) {
    std::vector<std::string> reasons = EntryReasons(e, engine.FileSize(), engine.InputParts());
    if (reasons.empty())
        return {};
    std::string json = ",\"reasons\":[";
    for (size_t i = 0; i < reasons.size(); ++i)
        json += (i ? "," : "") + JsonQuoted(reasons[i]);
    return json + "]";
}

void PrintJsonEntries(std::FILE* out, const TArcsalve* engine, const TSummary& s) {
    std::fprintf(out, "\"entries\":[");
    size_t i = 0;
    for (const TFileInfo& e : engine ? engine->Entries() : std::deque<TFileInfo>()) {
        TInfoForView v = ViewOf(e);
        std::fprintf(out,
                     "%s\n{\"name\":%s,\"compressed_size\":%" PRId64
                     ",\"uncompressed_size\":%" PRId64 ",\"crc32\":\"%08x\",\"method\":%u,"
                     "\"offset\":%" PRId64 ",\"status\":%d,\"status_word\":%s%s%s}",
                     i ? "," : "", JsonQuoted(EntryNameText(v)).c_str(), e.CompressedSize,
                     e.UncompressedSize, static_cast<unsigned>(e.Crc32),
                     static_cast<unsigned>(e.Found->Method), e.HeaderOffset(),
                     StatusShown(e, s.Checks, i),
                     JsonQuoted(StatusWord(StatusShown(e, s.Checks, i))).c_str(),
                     JsonReasons(e, *engine).c_str(), JsonCheck(s, i).c_str());
        ++i;
    }
    std::fprintf(out, "\n],\n");
}

// `"parts":[...],`: each file of a damaged archive in parts, its place in
// the archive read, and whether it was found whole; nothing for one file.
void PrintJsonParts(std::FILE* out, const TSummary& s) {
    if (s.Parts.empty())
        return;
    std::fprintf(out, "\"parts\":[");
    for (size_t i = 0; i < s.Parts.size(); ++i) {
        const TInputPart& p = s.Parts[i];
        const char* state = p.Missing() ? "missing" : p.Short() ? "short" : "ok";
        std::fprintf(out,
                     "%s\n{\"name\":%s,\"offset\":%" PRId64 ",\"size\":%" PRId64
                     ",\"read\":%" PRId64 ",\"state\":\"%s\"}",
                     i ? "," : "", JsonQuoted(p.Name).c_str(), p.Start, p.Length, p.Present, state);
    }
    std::fprintf(out, "\n],\n");
}

} // namespace

void PrintJson(std::FILE* out, const TArcsalve* engine, const TSummary& s) {
    std::fprintf(out, "{\"format\":%d,\"input\":%s,\n", JsonFormat, JsonQuoted(s.Input).c_str());
    PrintJsonParts(out, s);
    PrintJsonEntries(out, engine, s);
    std::fprintf(out,
                 "\"summary\":{\"found\":%zu,\"written\":%zu,\"stopped\":%s,\"output\":%s,"
                 "\"dropped\":%" PRIu64,
                 s.Found, s.Written, s.Stopped || s.CutShort || s.DecodeLimited ? "true" : "false",
                 s.Output.empty() ? "null" : JsonQuoted(s.Output).c_str(), s.Dropped);
    if (s.TextMode != TTextModeDamage::None)
        std::fprintf(
            out, ",\"text_mode\":{\"damage\":\"%s\",\"restored\":%zu,\"not_restored\":%zu}",
            s.TextMode == TTextModeDamage::LfBecameCrLf ? "lf-became-crlf" : "crlf-became-lf",
            s.TextModeRestored, s.TextModeNotRestored);
    std::fputc('}', out);
    if (s.Verified) {
        TCheckTotals t = CountChecks(s.Checks);
        std::fprintf(out,
                     ",\n\"check\":{\"passed\":%zu,\"failed\":%zu,\"not_checked\":%zu,"
                     "\"salvaged\":%zu,\"left_out\":%zu}",
                     t.Passed, t.Failed, t.NotChecked, t.Salvaged, t.LeftOut);
    }
    if (s.Error) {
        const EArcsalveError& e = *s.Error;
        std::string errnoMember = e.Errno ? ",\"errno\":" + std::to_string(e.Errno) : "";
        std::fprintf(
            out, ",\n\"error\":{\"kind\":\"%s\",\"file\":%s,\"reason\":%s%s,\"message\":%s}",
            ErrorKindName(e.Kind), JsonQuoted(e.Path).c_str(), JsonQuoted(e.Reason).c_str(),
            errnoMember.c_str(), JsonQuoted(FileErrorText(e.Kind, e.Path, e.Reason)).c_str());
    }
    if (s.StoppedDuring)
        std::fprintf(out, ",\n\"stopped\":{\"during\":\"%s\"}", s.StoppedDuring);
    else if (s.CutShort)
        std::fprintf(out, ",\n\"stopped\":{\"during\":\"scan\",\"reason\":\"%s\"}", s.CutShort);
    else if (s.DecodeLimited > 0)
        std::fprintf(out, ",\n\"stopped\":{\"during\":\"check\",\"reason\":\"decode-limit\"}");
    std::fprintf(out, "}\n");
}

} // namespace tessary::cli
