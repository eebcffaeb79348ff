// interrupt.cpp -- the SIGINT handler.
#include "interrupt.h"

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
        static const char msg[] = "\ntessary-cli: aborted\n";
        (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
        ::_exit(130);
    }
}

} // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
}

int InterruptCount() {
    return Interrupts;
}

} // namespace tessary::cli
