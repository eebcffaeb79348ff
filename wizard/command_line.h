// command_line.h -- the wizard's own options, answered before any window or
// display connection exists.
#pragma once

namespace tessary {

enum class TWizardAction { Run, Help, Version };

// Help for "-h"/"--help", Version for "-V"/"--version" anywhere before a
// "--"; Run otherwise (the first remaining argument names the damaged
// archive, as always).
TWizardAction WizardActionFor(int argc, const char* const* argv);

// The text "tessary --help" prints.
extern const char* const WizardUsageText;

} // namespace tessary
