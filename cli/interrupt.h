// interrupt.h -- Ctrl-C: the first asks the engine to stop at its next
// report, as Cancel does in the wizard; the second ends the program at once.
// SIGTERM and SIGHUP end it too; none leaves a temporary file behind.
// SIGPIPE and SIGXFSZ are ignored, so that they surface as write errors.
#pragma once

namespace tessary::cli {

void InstallInterruptHandler();
// How many times Ctrl-C was pressed so far.
int InterruptCount();

} // namespace tessary::cli
