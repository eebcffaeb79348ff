// options.cpp -- parsing the command line of tessary-cli.
#include "options.h"

#include "entry_text.h"

#include <stdexcept>

namespace tessary::cli {

const char* const UsageText = R"(Usage: tessary-cli [OPTIONS] DAMAGED.zip
Repairs a damaged or incompletely downloaded ZIP archive. Every entry whose
header can be found is copied into a new archive, which gets a rebuilt central
directory. The damaged archive is only read, never changed.

Options:
  -o, --output FILE  write the repaired archive to FILE
                     (default: recovered_NAME beside the damaged archive)
  -f, --force        replace FILE if it exists (never a read-only file)
  -l, --list         only scan and list the entries; write nothing
  -j, --json         print the results as JSON on standard output
  -q, --quiet        print nothing but errors
  -h, --help         show this help and exit
  -V, --version      show the version and exit

Exit status:
  0  the repaired archive was written (or, with --list, the scan finished)
  1  no entry was found; nothing was written
  2  the command line is wrong
  3  the damaged archive cannot be opened or read
  4  the repaired archive cannot be created or written, or exists already
  5  the repaired archive would replace the damaged one
  6  the results could not be printed (the repaired archive is complete)
  7  the scan was cut short by its memory or entry limit (the archive written
     holds the entries kept)
  130 stopped with Ctrl-C (the archive written holds the entries saved so far)
)";

TOptions ParseOptions(const std::vector<std::string>& args) {
    TOptions o;
    bool endOfOptions = false;
    bool outputGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (endOfOptions || a.empty() || a[0] != '-' || a == "-") {
            if (!o.Input.empty())
                throw std::invalid_argument("more than one damaged archive given: '" + a + "'");
            o.Input = a;
        } else if (a == "--") {
            endOfOptions = true;
        } else if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size())
                throw std::invalid_argument("option '" + a + "' needs a file name");
            o.Output = args[++i];
            outputGiven = true;
        } else if (a.rfind("--output=", 0) == 0) {
            o.Output = a.substr(9);
            outputGiven = true;
        } else if (a == "-f" || a == "--force") {
            o.Force = true;
        } else if (a == "-l" || a == "--list") {
            o.ListOnly = true;
        } else if (a == "-j" || a == "--json") {
            o.Json = true;
        } else if (a == "-q" || a == "--quiet") {
            o.Quiet = true;
        } else if (a == "-h" || a == "--help") {
            o.Help = true;
        } else if (a == "-V" || a == "--version") {
            o.Version = true;
        } else {
            throw std::invalid_argument("unknown option '" + a + "'");
        }
    }
    if (o.Help || o.Version)
        return o;
    if (o.Input.empty())
        throw std::invalid_argument("no damaged archive given");
    if (outputGiven && o.Output.empty())
        throw std::invalid_argument("empty output name");
    if (o.Output.empty() && !o.ListOnly)
        o.Output = DefaultRepairedName(o.Input);
    return o;
}

} // namespace tessary::cli
