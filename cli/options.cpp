// options.cpp -- parsing the command line of tessary-cli.
#include "options.h"

#include "entry_text.h"
#include "split_input.h"

#include <algorithm>
#include <filesystem>
#include <getopt.h>
#include <iterator>
#include <map>
#include <stdexcept>

namespace tessary::cli {

const char* const UsageText = R"(Usage: tessary-cli [OPTIONS] DAMAGED.zip...
Repairs damaged or incompletely downloaded ZIP archives. Every entry whose
header can be found is copied into a new archive, which gets a rebuilt central
directory. The damaged archive is only read, never changed. A DAMAGED.zip of
"-" is read from standard input. Any part of an archive in parts (NAME.z01 ...
NAME.zip, or NAME.zip.001 ...) repairs the whole set into recovered_NAME.zip.

Options:
  -o, --output FILE     write the repaired archive to FILE ("-": standard
                        output); only with one damaged archive
                        (default: recovered_NAME beside the damaged archive)
  -d, --directory DIR   write each repaired archive to DIR/recovered_NAME
  -f, --force           replace FILE if it exists (never a read-only file)
  -l, --list            only scan and list the entries; write nothing
  -j, --json            print the results as JSON on standard output
  -q, --quiet           print nothing but errors
  -v, --verbose         below each entry of the list, why it was written as it
                        was (where its sizes came from, what is damaged)
      --verify          check every entry's content by decompressing it and
                        comparing its CRC-32 and size (with --list: after the
                        scan)
      --drop-damaged    leave out entries whose check failed (implies --verify)
      --salvage         write a deflated entry that is cut off or broken, and a
                        stored one that is cut off, as a stored entry holding
                        the bytes that decoded correctly (implies --verify)
  -h, --help            show this help and exit
  -V, --version         show the version and exit

Exit status:
  0  the repaired archive was written (or, with --list, the scan finished)
  1  no entry was found; nothing was written
  2  the command line is wrong
  3  the damaged archive cannot be opened or read (or, from standard input,
     copied: it would not leave 5% of the temporary folder's disk free)
  4  the repaired archive cannot be created or written, or exists already
  5  the repaired archive would replace the damaged one
  6  the results could not be printed (the repaired archive is complete)
  7  with --verify: the repaired archive was written (or, with --list, the
     scan finished) but some entries failed their check
  8  the scan was cut short by its memory or entry limit (the archive written
     holds the entries kept), or the check by its limit of decoded bytes
  9  the repair was refused: the damaged archive's headers claim far more data
     than it holds (or, with --salvage, its salvaged entries would decode to
     more), and the repaired archive would be over twice its size
  10 the repair ran out of memory; nothing was written
  130 stopped with Ctrl-C (the archive written holds the entries saved so far)
With several damaged archives, the highest status of them.
)";

namespace {

// One line per option: getopt_long's tables are built from this one.
struct TOptionSpec {
    const char* Long;
    char Short;
    bool TakesArgument;
    void (*Apply)(TOptions& o, const char* argument);
};

void NonEmpty(const char* argument, const char* what) {
    if (*argument == '\0')
        throw std::invalid_argument(std::string("empty ") + what + " name");
}

constexpr TOptionSpec OptionSpecs[] = {
    {"output", 'o', true,
     [](TOptions& o, const char* a) {
         NonEmpty(a, "output");
         o.Output = a;
     }},
    {"directory", 'd', true,
     [](TOptions& o, const char* a) {
         NonEmpty(a, "folder");
         o.Folder = a;
     }},
    {"force", 'f', false, [](TOptions& o, const char*) { o.Force = true; }},
    {"list", 'l', false, [](TOptions& o, const char*) { o.ListOnly = true; }},
    {"json", 'j', false, [](TOptions& o, const char*) { o.Json = true; }},
    {"quiet", 'q', false, [](TOptions& o, const char*) { o.Quiet = true; }},
    {"verbose", 'v', false, [](TOptions& o, const char*) { o.Verbose = true; }},
    // Long only: their values stand for no letter.
    {"verify", '\x01', false, [](TOptions& o, const char*) { o.Verify = true; }},
    {"drop-damaged", '\x02', false,
     [](TOptions& o, const char*) { o.DropDamaged = o.Verify = true; }},
    {"salvage", '\x03', false, [](TOptions& o, const char*) { o.Salvage = o.Verify = true; }},
    {"help", 'h', false, [](TOptions& o, const char*) { o.Help = true; }},
    {"version", 'V', false, [](TOptions& o, const char*) { o.Version = true; }},
};

bool IsLongOnly(const TOptionSpec& row) {
    return static_cast<unsigned char>(row.Short) < ' ';
}

const TOptionSpec* SpecFor(int shortName) {
    for (const TOptionSpec& row : OptionSpecs)
        if (row.Short == shortName)
            return &row;
    return nullptr;
}

// getopt_long answers '?' alike for an unknown, an ambiguous and a flag
// given an argument; the word as typed tells them apart.
std::string Refusal(const std::string& word, int shortName) {
    if (shortName != 0)
        return "unknown option '-" + std::string(1, static_cast<char>(shortName)) + "'";
    std::string name = word.substr(2, word.find('=') - 2);
    int matches = 0;
    const TOptionSpec* match = nullptr;
    for (const TOptionSpec& row : OptionSpecs)
        if (std::string_view(row.Long).substr(0, name.size()) == name)
            ++matches, match = &row;
    if (matches > 1)
        return "ambiguous option '" + word + "'";
    if (matches == 1 && !match->TakesArgument)
        return "option '--" + std::string(match->Long) + "' takes no argument";
    return "unknown option '" + word + "'";
}

void CheckCombination(const TOptions& o) {
    if (o.Inputs.empty())
        throw std::invalid_argument("no damaged archive given");
    size_t fromStdin = 0;
    for (const std::string& input : o.Inputs)
        fromStdin += input == StandardStream;
    if (fromStdin > 1)
        throw std::invalid_argument("standard input given more than once");
    if (!o.Output.empty() && o.Inputs.size() > 1)
        throw std::invalid_argument("-o names one repaired archive, but " +
                                    std::to_string(o.Inputs.size()) +
                                    " damaged archives were given (-d DIR takes several)");
    if (!o.Output.empty() && !o.Folder.empty())
        throw std::invalid_argument("-o and -d cannot be used together");
    // Two archives repaired under one name: the second would replace the first.
    std::map<std::string, const std::string*> taken;
    for (const std::string& input : o.Inputs) {
        if (o.ListOnly)
            break;
        std::string output = OutputFor(o, input);
        auto [at, fresh] =
            taken.emplace(std::filesystem::path(output).lexically_normal().string(), &input);
        if (!fresh)
            throw std::invalid_argument("'" + *at->second + "' and '" + input +
                                        "' would both be repaired into '" + output + "'");
    }
    if (o.Output == StandardStream && o.Json && !o.ListOnly)
        throw std::invalid_argument(
            "--json and -o - cannot share standard output; write the archive to a file");
}

} // namespace

TOptions ParseOptions(const std::vector<std::string>& args) {
    std::vector<option> longOptions;
    // ':' first: a missing argument answers ':' rather than '?', and
    // getopt_long prints nothing; the messages below are the program's own.
    std::string shortOptions = ":";
    for (const TOptionSpec& row : OptionSpecs) {
        longOptions.push_back(
            {row.Long, row.TakesArgument ? required_argument : no_argument, nullptr, row.Short});
        if (!IsLongOnly(row)) {
            shortOptions += row.Short;
            if (row.TakesArgument)
                shortOptions += ':';
        }
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    std::vector<std::string> words = args;
    words.insert(words.begin(), "tessary-cli");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(words.size());

    TOptions o;
    optind = 0; // starts getopt_long afresh, as each call must
    opterr = 0;
    for (;;) {
        int c = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (c == -1)
            break;
        // The word that was just taken (or the one holding the flag).
        std::string word = argv[std::min(optind, argc) - 1];
        if (c == ':')
            throw std::invalid_argument("option '" + word + "' needs " +
                                        (optopt == 'd' ? "a folder name" : "a file name"));
        const TOptionSpec* row = c == '?' ? nullptr : SpecFor(c);
        if (!row)
            throw std::invalid_argument(Refusal(word, word.rfind("--", 0) == 0 ? 0 : optopt));
        row->Apply(o, optarg ? optarg : "");
    }
    // getopt_long moved every operand behind the options.
    for (int i = optind; i < argc; ++i)
        o.Inputs.push_back(argv[static_cast<size_t>(i)]);
    if (!(o.Help || o.Version))
        CheckCombination(o);
    return o;
}

std::string OutputFor(const TOptions& options, const std::string& input) {
    if (!options.Output.empty())
        return options.Output;
    // A part of an archive in parts stands for the whole set, and the
    // repaired archive is named after the set.
    const std::string archive = input == StandardStream ? input : ArchiveNameOf(input);
    std::string leaf = input == StandardStream
                           ? "recovered_stdin.zip"
                           : DefaultRepairedName(archive.substr(archive.find_last_of('/') + 1));
    if (!options.Folder.empty())
        return options.Folder + (options.Folder.back() == '/' ? "" : "/") + leaf;
    if (input == StandardStream)
        return leaf;
    return DefaultRepairedName(archive);
}

} // namespace tessary::cli
