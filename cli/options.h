// options.h -- the command line of tessary-cli.
#pragma once

#include <string>
#include <vector>

namespace tessary::cli {

struct TOptions {
    std::string Input;
    std::string Output; // empty: "recovered_" + the input's name beside it
    bool Force = false; // replace an existing output file
    bool ListOnly = false;
    bool Json = false;
    bool Quiet = false;
    bool Verify = false;      // check every entry's content
    bool DropDamaged = false; // leave out entries whose check failed (implies Verify)
    bool Salvage = false;     // write what decodes of a cut or broken entry (implies Verify)
    bool Help = false;
    bool Version = false;
};

// Parses argv; throws std::invalid_argument with a one-line reason.
TOptions ParseOptions(const std::vector<std::string>& args);

extern const char* const UsageText;

} // namespace tessary::cli
