// command_line.cpp -- the wizard's own options.
#include "command_line.h"

#include <string_view>

namespace tessary {

const char* const WizardUsageText = R"(Usage: tessary [DAMAGED.zip]
Starts the repair wizard, which names a damaged or incompletely downloaded ZIP
archive and the repaired copy, scans the damaged one, lists what was found and
writes a new, well-formed archive. A DAMAGED.zip given here is put into the
wizard's input box.

Options:
  -h, --help     show this help and exit
  -V, --version  show the version and exit
  --             take the next argument as the archive, even if it starts with -

The command-line tool tessary-cli repairs without a window.
)";

TWizardAction WizardActionFor(int argc, const char* const* argv) {
    for (int i = 1; i < argc && argv[i]; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (argument == "-h" || argument == "--help")
            return TWizardAction::Help;
        if (argument == "-V" || argument == "--version")
            return TWizardAction::Version;
    }
    return TWizardAction::Run;
}

} // namespace tessary
