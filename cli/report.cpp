// report.cpp -- printing the results of a repair.
#include "report.h"

#include "entry_text.h"
#include "safe_text.h"

#include <cinttypes>

namespace tessary::cli {

void PrintTable(std::FILE* out, const TArcsalve& engine) {
    std::fprintf(out, "%-12s %-9s %s\n", SizeCaption, StatusCaption, FileNameCaption);
    for (const TInfoForView& v : engine.FView) {
        std::string word(StatusWord(v.Status));
        std::fprintf(out, "%12s %-9s %s\n", FormatFileSize(v.Size).c_str(), word.c_str(),
                     EscapeForText(EntryNameText(v)).c_str());
    }
}

void PrintSummary(std::FILE* out, const TSummary& s) {
    if (s.Found == 0) {
        std::fprintf(out, s.Stopped ? "The scan was stopped before any ZIP entry was found; "
                                      "nothing was written.\n"
                                    : "Nothing is found: no ZIP entry in this file; nothing was "
                                      "written.\n");
        return;
    }
    if (s.ListOnly) {
        std::fprintf(out, "%zu files have been found%s.\n", s.Found,
                     s.Stopped ? " before the scan was stopped" : "");
    } else {
        std::fprintf(out, "%zu files have been found, %zu files have been repaired into %s%s.\n",
                     s.Found, s.Written, EscapeForText(s.Output).c_str(),
                     s.Stopped ? " (stopped early)" : "");
    }
    if (s.Dropped > 0)
        std::fprintf(out,
                     "%" PRIu64 " more headers were found beyond the entry limit and left out.\n",
                     s.Dropped);
    if (s.CutShort && std::string_view(s.CutShort) == "memory-limit")
        std::fprintf(out, "The scan stopped at its memory limit; the rest of the file was not "
                          "searched.\n");
}

std::string JsonString(std::string_view text) {
    return JsonQuoted(text);
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
    }
    return "unknown";
}

void PrintJsonEntries(std::FILE* out, const TArcsalve* engine) {
    std::fprintf(out, "{\"entries\":[");
    size_t count = engine ? engine->FView.size() : 0;
    for (size_t i = 0; i < count; ++i) {
        const TFileInfo& e = engine->Entries()[i];
        const TInfoForView& v = engine->FView[i];
        std::fprintf(out,
                     "%s\n{\"name\":%s,\"compressed_size\":%" PRId64
                     ",\"uncompressed_size\":%" PRId64 ",\"crc32\":\"%08x\",\"method\":%u,"
                     "\"offset\":%" PRId64 ",\"status\":%d,\"status_word\":%s}",
                     i ? "," : "", JsonString(EntryNameText(v)).c_str(), e.CompressedSize,
                     e.UncompressedSize, static_cast<unsigned>(e.Crc32),
                     static_cast<unsigned>(e.Method), e.HeaderOffset, e.Status,
                     JsonString(StatusWord(e.Status)).c_str());
    }
    std::fprintf(out, "\n],\n");
}

} // namespace

void PrintJson(std::FILE* out, const TArcsalve* engine, const TSummary& s) {
    PrintJsonEntries(out, engine);
    std::fprintf(out,
                 "\"summary\":{\"found\":%zu,\"written\":%zu,\"stopped\":%s,\"output\":%s,"
                 "\"dropped\":%" PRIu64 "}",
                 s.Found, s.Written, s.Stopped || s.CutShort ? "true" : "false",
                 s.Output.empty() ? "null" : JsonString(s.Output).c_str(), s.Dropped);
    if (s.Error) {
        const EArcsalveError& e = *s.Error;
        std::fprintf(out, ",\n\"error\":{\"kind\":\"%s\",\"file\":%s,\"reason\":%s,\"message\":%s}",
                     ErrorKindName(e.Kind), JsonString(e.Path).c_str(),
                     JsonString(e.Reason).c_str(),
                     JsonString(FileErrorText(e.Kind, e.Path, e.Reason)).c_str());
    }
    if (s.StoppedDuring)
        std::fprintf(out, ",\n\"stopped\":{\"during\":\"%s\"}", s.StoppedDuring);
    else if (s.CutShort)
        std::fprintf(out, ",\n\"stopped\":{\"during\":\"scan\",\"reason\":\"%s\"}", s.CutShort);
    std::fprintf(out, "}\n");
}

} // namespace tessary::cli
