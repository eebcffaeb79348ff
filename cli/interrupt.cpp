// interrupt.cpp -- the SIGINT handler.
#include "interrupt.h"

#include "file_streams.h"

#include <csignal>
#include <unistd.h>

namespace tessary::cli {

namespace {

volatile std::sig_atomic_t Interrupts = 0;

void OnInterrupt(int) {
    Interrupts = Interrupts + 1;
    if (Interrupts >= 2) {
        // A second Ctrl-C aborts: the partial output is a temporary file,
        // never left under the user's name.
        RemoveUnfinishedOutput();
        static const char msg[] = "\ntessary-cli: aborted\n";
        (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
        ::_exit(130);
    }
}

// SIGTERM and SIGHUP end the program as they would have, minus the
// temporary file it was writing.
void OnTermination(int sig) {
    RemoveUnfinishedOutput();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

} // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = OnTermination;
    sa.sa_flags = 0;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // A closed pipe or a file-size limit becomes a write error the program
    // reports, rather than a silent death half-way through.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

int InterruptCount() {
    return Interrupts;
}

} // namespace tessary::cli
