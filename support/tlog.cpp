// tlog.cpp -- the in-memory log that is written to a file in one piece at exit.
#include "tlog.h"

#include "atomic_file.h"
#include "log_stamp.h"
#include "paths.h"
#include "program_path.h"
#include "state_folder.h"

namespace tessary {

TLog::TLog(Clock clock) : FClock(std::move(clock)) {
    if (!FClock)
        FClock = [] { return std::chrono::system_clock::now(); };
}

TLog::~TLog() {
    Clear();
}

void TLog::Add(std::uint8_t kind, const char* text) {
    Add(kind, text ? std::string_view(text) : std::string_view());
}

void TLog::Add(std::uint8_t kind, std::string_view text) {
    FLines.push_back(TLogLine{FClock(), kind, std::string(text.substr(0, text.find('\0')))});
}

void TLog::Clear() {
    FLines.clear();
}

void TLog::SaveToFile(const std::string& fileName, bool withTime) const {
    // The log must never stop the program from ending: every failure here,
    // including running out of memory, ends the save quietly.
    try {
        const std::string folder = ExtractFilePath(fileName);
        // Private, as the user's XDG state folder is meant to be.
        if (!folder.empty())
            ForceFolders(folder, 0700);
        const TTimeFormats formats;
        std::string content;
        for (const TLogLine& line : FLines) {
            // The text is copied as it is: a "%" in it stays a "%".
            if (withTime)
                content += "<" + formats.Stamp(line.Time) + "> ";
            content += line.Text;
            content += "\r\n";
        }
        ReplaceFileContent(fileName, content);
    } catch (...) {
    }
}

std::string ProgramLogFile() {
    return StateFolder(TStateKind::Log) + ExtractFileName(ChangeFileExt(ProgramFilePath(), ".log"));
}

} // namespace tessary
