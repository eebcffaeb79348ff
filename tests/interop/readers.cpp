// readers.cpp -- driving unzip, 7z, bsdtar, Python's zipfile, Java's
// ZipInputStream and the strict in-process reader over archives on disk.
#include "readers.h"

#include "archive_model.h"
#include "process.h"
#include "zip_reader.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#ifndef TESSARY_INTEROP_SOURCE_DIR
#error "TESSARY_INTEROP_SOURCE_DIR must name the folder of the reader scripts"
#endif

namespace tessary::interop {

namespace fs = std::filesystem;

namespace {

uint32_t CrcOf(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

bool Contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    size_t e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Marks the listing when the program did not run to its end on its own.
void NoteBroken(TReaderListing& listing, const TProcessResult& run, bool anyFailure = false) {
    if (run.TimedOut || run.ExitCode < 0 || run.ExitCode == 126 || run.ExitCode == 127 ||
        (anyFailure && run.ExitCode != 0))
        listing.Broken = run.Describe().substr(0, 3000);
}

// bsdtar prints bytes it cannot show as a backslash and three octal digits.
std::string Unescape(const std::string& shown) {
    std::string out;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] != '\\' || i + 1 >= shown.size()) {
            out.push_back(shown[i]);
        } else if (i + 3 < shown.size() && shown[i + 1] >= '0' && shown[i + 1] <= '3') {
            out.push_back(static_cast<char>(std::stoi(shown.substr(i + 1, 3), nullptr, 8)));
            i += 3;
        } else {
            static const std::string from = "abfnrtv\\", to = "\a\b\f\n\r\t\v\\";
            size_t k = from.find(shown[i + 1]);
            out.push_back(k == std::string::npos ? shown[i + 1] : to[k]);
            ++i;
        }
    }
    return out;
}

// Local header offsets in archive order, for the stream readers' restarts.
std::vector<int64_t> HeaderOffsets(const std::string& archive) {
    std::vector<int64_t> offsets;
    try {
        for (const TLayoutEntry& e : ParseLayout(ReadFileBytes(archive)).Entries)
            offsets.push_back(e.HeaderOffset);
    } catch (const std::exception&) {
        // Without a readable central directory the stream reader just starts at 0.
    }
    return offsets;
}

TReaderListing ReadStrict(const std::string& archive) {
    TReaderListing listing;
    test::TReadArchive a;
    try {
        a = test::ReadArchive(ReadFileBytes(archive));
    } catch (const std::exception& e) {
        listing.Opened = false;
        listing.Refusal = e.what();
        return listing;
    }
    for (size_t i = 0; i < a.Entries.size(); ++i) {
        const test::TReadEntry& e = a.Entries[i];
        TReaderEntry r;
        r.Index = static_cast<int64_t>(i);
        r.Name = e.Name;
        try {
            if (e.LocalName != e.Name)
                throw std::runtime_error("local name '" + e.LocalName + "' differs");
            std::string data = test::Extract(e);
            r.Ok = true;
            r.HasContent = true;
            r.Crc32 = CrcOf(data);
            r.Size = data.size();
        } catch (const std::exception& ex) {
            r.Message = ex.what();
        }
        listing.Entries.push_back(r);
    }
    return listing;
}

// "    testing: NAME   OK", or a failure word in place of OK. Remarks on an
// entry ("NAME:  mismatching "local" filename ...") come before its line and
// count against it even when its data then tests OK.
TReaderListing ReadUnzip(const std::string& archive, const std::string& password) {
    TReaderListing listing;
    std::vector<std::string> command = {"unzip", "-t", archive};
    if (!password.empty())
        command.insert(command.begin() + 1, {"-P", password});
    TProcessResult run = RunProcess(command);
    listing.Transcript = run.Describe();
    NoteBroken(listing, run);
    // unzip shows the archive's comment first.
    std::vector<std::string> comment;
    try {
        comment = Lines(ParseLayout(ReadFileBytes(archive)).Comment);
    } catch (const std::exception&) {
    }
    std::string remarks;
    for (const std::string& line : Lines(run.Out + "\n" + run.Err)) {
        if (StartsWith(line, "    testing: ")) {
            TReaderEntry r;
            r.Index = static_cast<int64_t>(listing.Entries.size());
            std::string rest = line.substr(13);
            if (rest.size() > 2 && rest.compare(rest.size() - 2, 2, "OK") == 0 &&
                rest[rest.size() - 3] == ' ') {
                r.Ok = remarks.empty();
                r.Name = Trim(rest.substr(0, rest.size() - 2));
            } else {
                r.Name = Trim(rest);
            }
            r.Message = Trim(remarks + " " + (r.Ok ? "" : rest));
            remarks.clear();
            listing.Entries.push_back(r);
            continue;
        }
        if (line.empty() || StartsWith(line, "Archive:") ||
            StartsWith(line, "No errors detected") ||
            StartsWith(line, "At least one error was detected") ||
            (listing.Entries.empty() &&
             std::find(comment.begin(), comment.end(), line) != comment.end()))
            continue;
        if (Contains(line, "extra bytes at beginning or within zipfile") ||
            Contains(line, "overlapped components") ||
            Contains(line, "attempting to process anyway") || Contains(line, "central directory") ||
            Contains(line, "zipfile is empty") || Contains(line, "End-of-central-directory"))
            listing.Complaints.push_back(Trim(line));
        else if (!listing.Entries.empty() && !listing.Entries.back().Ok && remarks.empty() &&
                 StartsWith(line, "  "))
            listing.Entries.back().Message += " " + Trim(line); // an error of the entry above
        else
            remarks += Trim(line) + " ";
    }
    if (!remarks.empty())
        listing.Complaints.push_back(Trim(remarks));
    if (listing.Entries.empty() && run.ExitCode != 0) {
        listing.Opened = false;
        listing.Refusal = "unzip exit code " + std::to_string(run.ExitCode);
    }
    return listing;
}

// 7z t names each entry on a "T NAME" line, followed by its "ERROR:" lines;
// 7z l -slt gives each entry's CRC, size and folder attribute, in the same order.
TReaderListing ReadSevenZip(const std::string& archive, const std::string& password) {
    TReaderListing listing;
    // Without a password 7z would ask for one; an empty one makes it fail instead.
    std::string passwordOption = "-p" + password;
    TProcessResult test = RunProcess({"7z", "t", "-bb3", "-bse1", "-y", passwordOption, archive});
    TProcessResult list = RunProcess({"7z", "l", "-slt", "-y", passwordOption, archive});
    listing.Transcript = test.Describe() + "\n" + list.Describe().substr(0, 3000);
    NoteBroken(listing, test);
    NoteBroken(listing, list);
    for (const std::string& line : Lines(test.Out + "\n" + test.Err)) {
        if (StartsWith(line, "T ")) {
            TReaderEntry r;
            r.Index = static_cast<int64_t>(listing.Entries.size());
            r.Name = line.substr(2);
            r.Ok = true;
            listing.Entries.push_back(r);
        } else if (StartsWith(line, "ERROR:") && !listing.Entries.empty() &&
                   Contains(line, listing.Entries.back().Name)) {
            listing.Entries.back().Ok = false;
            listing.Entries.back().Message += line + " ";
        } else if (Contains(line, "Can not open the file as archive") ||
                   Contains(line, "Is not archive")) {
            listing.Opened = false;
            listing.Refusal = line;
        } else if (Contains(line, "Headers Error") || Contains(line, "Unexpected end") ||
                   Contains(line, "data after the end") || Contains(line, "Unavailable") ||
                   StartsWith(line, "ERROR:")) {
            listing.Complaints.push_back(Trim(line));
        }
    }
    // The listing's blocks, after the "----------" line.
    struct TBlock {
        std::string Crc;
        std::string Size;
        bool Folder = false;
    };
    std::vector<TBlock> blocks;
    bool inEntries = false;
    for (const std::string& line : Lines(list.Out)) {
        if (line == "----------") {
            inEntries = true;
            continue;
        }
        if (!inEntries)
            continue;
        if (StartsWith(line, "Path = "))
            blocks.emplace_back();
        else if (blocks.empty())
            continue;
        else if (StartsWith(line, "CRC = "))
            blocks.back().Crc = line.substr(6);
        else if (StartsWith(line, "Size = "))
            blocks.back().Size = line.substr(7);
        else if (StartsWith(line, "Folder = "))
            blocks.back().Folder = line.substr(9) == "+";
    }
    if (blocks.size() == listing.Entries.size()) {
        for (size_t i = 0; i < blocks.size(); ++i) {
            TReaderEntry& r = listing.Entries[i];
            r.IsDirectory = blocks[i].Folder;
            if (!blocks[i].Size.empty()) {
                r.HasContent = true;
                r.Size = std::stoull(blocks[i].Size);
                r.Crc32 = blocks[i].Crc.empty()
                              ? 0
                              : static_cast<uint32_t>(std::stoul(blocks[i].Crc, nullptr, 16));
            }
        }
    } else {
        listing.Complaints.push_back("7z l lists " + std::to_string(blocks.size()) +
                                     " entries, 7z t tests " +
                                     std::to_string(listing.Entries.size()));
    }
    return listing;
}

// A fresh folder for one extraction: in memory where /dev/shm is, because
// creating and removing tens of thousands of files on a disk takes seconds.
std::string ExtractionDir(const std::string& workDir) {
    static std::mutex lock;
    static int counter = 0;
    std::lock_guard<std::mutex> guard(lock);
    std::string name =
        "tessary-interop-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    struct stat st;
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm/" + name;
    return workDir + "/" + name;
}

// bsdtar reads the archive from standard input and extracts it; its -v
// lines ("x NAME" or "x NAME: problem") go to standard error. After an entry
// that stops it, it starts again on a stream from the next local header.
TReaderListing ReadBsdtar(const std::string& archive, const std::string& workDir,
                          const std::string& password) {
    TReaderListing listing;
    listing.LocalNames = true;
    std::vector<int64_t> offsets = HeaderOffsets(archive);
    std::string dir = ExtractionDir(workDir);
    struct TRemove {
        std::string Dir;
        ~TRemove() {
            std::error_code ec;
            fs::remove_all(Dir, ec);
        }
    } removeAtEnd{dir};
    size_t start = 0;
    for (;;) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        TProcessOptions options;
        options.StdinPath = archive;
        options.StdinOffset = offsets.empty() ? 0 : offsets[start];
        options.StdinPipe = true;
        std::vector<std::string> command = {"bsdtar", "-xvf", "-", "-C", dir};
        if (!password.empty())
            command.insert(command.begin() + 1, {"--passphrase", password});
        TProcessResult run = RunProcess(command, options);
        listing.Transcript += run.Describe() + "\n";
        NoteBroken(listing, run);
        size_t seen = 0;
        bool lastFailed = false;
        for (const std::string& line : Lines(run.Err)) {
            if (!StartsWith(line, "x ")) {
                if (!listing.Entries.empty() && !StartsWith(line, "bsdtar: Error exit delayed"))
                    listing.Entries.back().Message += " " + line;
                continue;
            }
            TReaderEntry r;
            r.Index = static_cast<int64_t>(start + seen++);
            std::string rest = line.substr(2);
            size_t colon = rest.find(": ");
            r.Name = Unescape(rest.substr(0, colon));
            if (colon != std::string::npos)
                r.Message = rest.substr(colon + 2);
            struct stat st;
            std::string path = dir + "/" + r.Name;
            if (r.Message.empty() && ::lstat(path.c_str(), &st) == 0) {
                r.Ok = true;
                r.IsDirectory = S_ISDIR(st.st_mode);
                r.HasContent = true;
                if (S_ISREG(st.st_mode)) {
                    std::string data = ReadFileBytes(path);
                    r.Crc32 = CrcOf(data);
                    r.Size = data.size();
                }
            } else if (r.Message.empty()) {
                r.Message = "not extracted";
            }
            lastFailed = !r.Ok;
            listing.Entries.push_back(r);
        }
        size_t next = start + seen;
        if (run.ExitCode == 0 || next >= offsets.size())
            break;
        if (seen == 0) {
            // The stream did not even yield this entry's header.
            TReaderEntry r;
            r.Index = static_cast<int64_t>(start);
            r.Message = "no entry read: " + Trim(run.Err);
            listing.Entries.push_back(r);
            next = start + 1;
        } else if (!lastFailed) {
            break; // it read on to an end it saw as the archive's
        }
        start = next;
        if (start >= offsets.size())
            break;
    }
    if (listing.Entries.empty()) {
        listing.Opened = false;
        listing.Refusal = "bsdtar read no entry";
    }
    return listing;
}

// Parses the "A" and "E" lines of zip_check.py and ZipStreamCheck.java.
std::vector<TReaderListing> ParseScriptOutput(const TProcessResult& run, size_t archives) {
    std::vector<TReaderListing> listings(archives);
    for (TReaderListing& l : listings) {
        l.Transcript = run.Describe();
        NoteBroken(l, run, true); // the scripts report refusals in their output
    }
    for (const std::string& line : Lines(run.Out)) {
        std::istringstream in(line);
        std::string kind, status;
        size_t archive = 0;
        in >> kind >> archive;
        if (archive >= archives)
            continue;
        TReaderListing& l = listings[archive];
        if (kind == "A") {
            in >> status;
            if (status == "BAD") {
                l.Opened = false;
                std::getline(in, l.Refusal);
                l.Refusal = Trim(l.Refusal);
            }
            continue;
        }
        if (kind != "E")
            continue;
        TReaderEntry r;
        std::string crc, nameHex;
        int isDirectory = 0;
        in >> r.Index >> status >> crc >> r.Size >> isDirectory >> nameHex;
        std::getline(in, r.Message);
        r.Message = Trim(r.Message);
        r.Ok = status == "OK";
        r.HasContent = r.Ok;
        r.Crc32 = static_cast<uint32_t>(std::stoul(crc, nullptr, 16));
        r.Name = nameHex == "-" ? "" : FromHex(nameHex);
        l.Entries.push_back(r);
    }
    if (run.ExitCode != 0) {
        for (TReaderListing& l : listings) {
            if (l.Entries.empty() && l.Opened) {
                l.Opened = false;
                l.Refusal = "the reader script failed: exit code " + std::to_string(run.ExitCode);
            }
        }
    }
    return listings;
}

std::vector<TReaderListing> ReadPython(const std::vector<std::string>& archives,
                                       const std::string& workDir, const std::string& password) {
    std::string job = workDir + "/python-job.txt";
    std::string text;
    for (const std::string& a : archives)
        text += a + "\t" + password + "\n";
    WriteFileBytes(job, text);
    TProcessOptions options;
    options.TimeoutSeconds = 600;
    TProcessResult run = RunProcess(
        {"python3", std::string(TESSARY_INTEROP_SOURCE_DIR) + "/zip_check.py", "check", job},
        options);
    return ParseScriptOutput(run, archives.size());
}

// Compiles the Java reader once per test process; without javac the source
// file is run directly (slower: it is compiled at every start).
std::vector<std::string> JavaCommand(const std::string& workDir) {
    static std::mutex lock;
    static std::vector<std::string> command;
    std::lock_guard<std::mutex> guard(lock);
    if (!command.empty())
        return command;
    std::string source = std::string(TESSARY_INTEROP_SOURCE_DIR) + "/ZipStreamCheck.java";
    std::string classes = workDir + "/java-classes";
    fs::create_directories(classes);
    if (!FindProgram("javac").empty() && RunProcess({"javac", "-d", classes, source}).ExitCode == 0)
        command = {"java", "-cp", classes, "ZipStreamCheck"};
    else
        command = {"java", source};
    return command;
}

std::vector<TReaderListing> ReadJava(const std::vector<std::string>& archives,
                                     const std::string& workDir) {
    std::string job = workDir + "/java-job.txt";
    std::string text;
    for (const std::string& a : archives) {
        text += a + "\t";
        std::vector<int64_t> offsets = HeaderOffsets(a);
        for (size_t i = 0; i < offsets.size(); ++i)
            text += (i ? "," : "") + std::to_string(offsets[i]);
        text += "\n";
    }
    WriteFileBytes(job, text);
    std::vector<std::string> command = JavaCommand(workDir);
    command.push_back(job);
    TProcessOptions options;
    options.TimeoutSeconds = 600;
    std::vector<TReaderListing> listings =
        ParseScriptOutput(RunProcess(command, options), archives.size());
    for (TReaderListing& l : listings)
        l.LocalNames = true;
    return listings;
}

// One archive with one of the readers that take one archive at a time.
TReaderListing ReadOne(TReader reader, const std::string& archive, const std::string& workDir,
                       const std::string& password) {
    switch (reader) {
    case TReader::Strict:
        return ReadStrict(archive);
    case TReader::Unzip:
        return ReadUnzip(archive, password);
    case TReader::SevenZip:
        return ReadSevenZip(archive, password);
    case TReader::Bsdtar:
        return ReadBsdtar(archive, workDir, password);
    default:
        throw std::logic_error("not a reader of single archives");
    }
}

} // namespace

const std::vector<TReader>& AllReaders() {
    static const std::vector<TReader> readers = {TReader::Strict,   TReader::Unzip,
                                                 TReader::SevenZip, TReader::Bsdtar,
                                                 TReader::Python,   TReader::Java};
    return readers;
}

std::string ReaderName(TReader reader) {
    switch (reader) {
    case TReader::Strict:
        return "strict";
    case TReader::Unzip:
        return "unzip";
    case TReader::SevenZip:
        return "7z";
    case TReader::Bsdtar:
        return "bsdtar";
    case TReader::Python:
        return "python";
    case TReader::Java:
        return "java";
    }
    return "?";
}

std::string ReaderUnavailable(TReader reader) {
    auto need = [](const std::string& program, const std::string& package) -> std::string {
        if (FindProgram(program).empty())
            return program + " is not installed (Debian package " + package +
                   ", installed by scripts/setup.sh); its check is skipped";
        return "";
    };
    switch (reader) {
    case TReader::Strict:
        return "";
    case TReader::Unzip:
        return need("unzip", "unzip");
    case TReader::SevenZip:
        return need("7z", "p7zip-full");
    case TReader::Bsdtar:
        return need("bsdtar", "libarchive-tools");
    case TReader::Python:
        return need("python3", "python3");
    case TReader::Java:
        return need("java", "default-jdk-headless");
    }
    return "unknown reader";
}

std::vector<TReaderListing> ReadArchives(TReader reader, const std::vector<std::string>& archives,
                                         const std::string& workDir, const std::string& password) {
    switch (reader) {
    case TReader::Python:
        return ReadPython(archives, workDir, password);
    case TReader::Java:
        return ReadJava(archives, workDir);
    default:
        break;
    }
    std::vector<TReaderListing> listings;
    for (const std::string& a : archives) {
        try {
            listings.push_back(ReadOne(reader, a, workDir, password));
        } catch (const std::exception& e) {
            TReaderListing failed;
            failed.Opened = false;
            failed.Refusal = e.what();
            listings.push_back(failed);
        }
    }
    return listings;
}

} // namespace tessary::interop
