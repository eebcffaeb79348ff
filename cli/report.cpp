// report.cpp -- printing the results of a repair.
#include "report.h"

#include "name_display.h"
#include "safe_text.h"
#include "view_format.h"

#include <cinttypes>

namespace tessary::cli {

void PrintTable(std::FILE* out, const TArcsalve& engine) {
    std::fprintf(out, "%-12s %-9s %s\n", "Size", "Status", "FIle Name");
    for (const TInfoForView& v : engine.FView) {
        std::string word(StatusWord(v.Status));
        std::fprintf(out, "%12s %-9s %s\n", FormatFileSize(v.Size).c_str(), word.c_str(),
                     EscapeForText(DisplayName(v.Name, v.Flags)).c_str());
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
}

std::string JsonString(std::string_view text) {
    return JsonQuoted(text);
}

void PrintJsonEntries(std::FILE* out, const TArcsalve& engine) {
    std::fprintf(out, "{\"entries\":[");
    const auto& entries = engine.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const TFileInfo& e = entries[i];
        std::string name = JsonString(DisplayName(e.Name, e.Flags));
        std::fprintf(out,
                     "%s\n{\"name\":%s,\"compressed_size\":%" PRId64
                     ",\"uncompressed_size\":%" PRId64 ",\"crc32\":\"%08x\",\"method\":%u,"
                     "\"offset\":%" PRId64 ",\"status\":%d,\"status_word\":%s}",
                     i ? "," : "", name.c_str(), e.CompressedSize, e.UncompressedSize,
                     static_cast<unsigned>(e.Crc32), static_cast<unsigned>(e.Method),
                     e.HeaderOffset, e.Status, JsonString(StatusWord(e.Status)).c_str());
    }
    std::fprintf(out, "\n],\n");
}

void PrintJsonSummary(std::FILE* out, const TSummary& s) {
    std::fprintf(out,
                 "\"summary\":{\"found\":%zu,\"written\":%zu,\"stopped\":%s,\"output\":%s,"
                 "\"dropped\":%" PRIu64 "}}\n",
                 s.Found, s.Written, s.Stopped ? "true" : "false",
                 s.Output.empty() ? "null" : JsonString(s.Output).c_str(), s.Dropped);
}

} // namespace tessary::cli
