// profile_file.cpp -- reading and writing keys of INI ("profile") files.
#include "profile_file.h"

#include "atomic_file.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace tessary {

namespace {

struct TProfileLine {
    std::string Text; // without its line end
    std::string End;  // "\r\n", "\n" or "" for a last line without one
};

enum class TLineKind { Other, Section, Key };

struct TParsedLine {
    TLineKind Kind = TLineKind::Other;
    std::string_view Name;  // section or key name, without surrounding blanks
    std::string_view Value; // a key's value, without surrounding blanks
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

TParsedLine ParseLine(std::string_view text) {
    TParsedLine parsed;
    text = Trim(text);
    if (text.empty() || text.front() == ';')
        return parsed;
    if (text.front() == '[') {
        const auto close = text.find(']');
        parsed.Kind = TLineKind::Section;
        parsed.Name = Trim(text.substr(1, close == std::string_view::npos ? text.npos : close - 1));
        return parsed;
    }
    const auto equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return parsed; // not a key line: skipped
    parsed.Kind = TLineKind::Key;
    parsed.Name = Trim(text.substr(0, equals));
    parsed.Value = Trim(text.substr(equals + 1));
    return parsed;
}

std::vector<TProfileLine> SplitLines(std::string_view content) {
    std::vector<TProfileLine> lines;
    while (!content.empty()) {
        const auto lf = content.find('\n');
        TProfileLine line;
        if (lf == std::string_view::npos) {
            line.Text = std::string(content);
            content = {};
        } else {
            const bool cr = lf > 0 && content[lf - 1] == '\r';
            line.Text = std::string(content.substr(0, cr ? lf - 1 : lf));
            line.End = cr ? "\r\n" : "\n";
            content.remove_prefix(lf + 1);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The whole file; nothing when it does not exist; nothing and `unreadable`
// when it exists but cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& fileName, bool& unreadable) {
    unreadable = false;
    const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        unreadable = errno != ENOENT;
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            unreadable = got < 0;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    if (unreadable)
        return std::nullopt;
    return content;
}

// One pair of matching quotes around a value is not part of it.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

std::string LimitValue(std::string_view value) {
    value = value.substr(0, value.find('\0'));
    return std::string(value.substr(0, kProfileValueMax));
}

bool WriteLines(const std::string& fileName, const std::vector<TProfileLine>& lines) {
    std::string output;
    for (const auto& line : lines)
        output += line.Text + line.End;
    return ReplaceFileContent(fileName, output);
}

} // namespace

std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
    bool unreadable = false;
    const auto content = ReadWholeFile(fileName, unreadable);
    if (!content)
        return LimitValue(defaultValue);
    bool inSection = false;
    for (const auto& line : SplitLines(*content)) {
        const TParsedLine parsed = ParseLine(line.Text);
        if (parsed.Kind == TLineKind::Section) {
            // Only the first section of a name counts, as with the keys in it.
            if (inSection)
                break;
            inSection = SameName(parsed.Name, section);
        } else if (inSection && parsed.Kind == TLineKind::Key && SameName(parsed.Name, key)) {
            return LimitValue(Unquote(parsed.Value));
        }
    }
    return LimitValue(defaultValue);
}

bool WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value) {
    bool unreadable = false;
    const auto content = ReadWholeFile(fileName, unreadable);
    if (unreadable)
        return false; // rewriting it would lose lines we cannot see
    std::vector<TProfileLine> lines = SplitLines(content.value_or(std::string()));

    // New lines follow the file's own line ends; a new file gets CR LF.
    std::string end = "\r\n";
    for (const auto& line : lines) {
        if (!line.End.empty()) {
            end = line.End;
            break;
        }
    }
    // A value must stay on its one line.
    const std::string_view newValue =
        std::string_view(value).substr(0, value.find_first_of("\r\n"));

    const std::string keyLine = key + "=" + std::string(newValue);
    std::optional<std::size_t> sectionLine; // the header of the first matching section
    std::size_t lastInSection = 0;          // its last line that is not empty
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TParsedLine parsed = ParseLine(lines[i].Text);
        if (parsed.Kind == TLineKind::Section) {
            if (sectionLine)
                break;
            if (SameName(parsed.Name, section))
                sectionLine = lastInSection = i;
        } else if (sectionLine && parsed.Kind == TLineKind::Key && SameName(parsed.Name, key)) {
            // The key keeps the spelling it has in the file.
            lines[i].Text = std::string(parsed.Name) + "=" + std::string(newValue);
            return WriteLines(fileName, lines);
        } else if (sectionLine && !Trim(lines[i].Text).empty()) {
            lastInSection = i;
        }
    }

    if (sectionLine) {
        // A new key goes behind the last line of its section.
        if (lines[lastInSection].End.empty())
            lines[lastInSection].End = end;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastInSection) + 1,
                     TProfileLine{keyLine, end});
    } else {
        if (!lines.empty() && lines.back().End.empty())
            lines.back().End = end;
        lines.push_back(TProfileLine{"[" + section + "]", end});
        lines.push_back(TProfileLine{keyLine, end});
    }
    return WriteLines(fileName, lines);
}

} // namespace tessary
