// options.h -- the command line of tessary-cli.
#pragma once

#include <string>
#include <vector>

namespace tessary::cli {

// The name that stands for standard input (as a damaged archive) and for
// standard output (as the repaired one).
inline constexpr const char* StandardStream = "-";

struct TOptions {
    std::vector<std::string> Inputs; // in the order given; "-" is standard input
    std::string Output;              // -o: only with one input; "-" is standard output
    std::string Folder;              // -d: where the recovered_ names go
    bool Force = false;              // replace an existing output file
    bool ListOnly = false;
    bool Json = false;
    bool Quiet = false;
    bool Verbose = false;     // the reasons of every entry below it in the list
    bool Verify = false;      // check every entry's content
    bool DropDamaged = false; // leave out entries whose check failed (implies Verify)
    bool Salvage = false;     // write what decodes of a cut or broken entry (implies Verify)
    bool Help = false;
    bool Version = false;
};

// Parses the arguments after the program's name, GNU style: short flags
// bundled or not, an option's argument attached or separate, long options
// abbreviated as long as they stay unambiguous, "--" ending the options.
// Throws std::invalid_argument with a one-line reason.
TOptions ParseOptions(const std::vector<std::string>& args);

// Where the repaired archive of `input` goes: -o's name, else recovered_NAME
// in the -d folder or beside the input. Standard input's archive is
// recovered_stdin.zip in the -d folder or the current one.
std::string OutputFor(const TOptions& options, const std::string& input);

extern const char* const UsageText;

} // namespace tessary::cli
