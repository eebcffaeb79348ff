// engine_run.cpp -- the worker thread of an engine run and its signals.
#include "engine_run.h"

#include <utility>

namespace tessary {

TEngineRun::~TEngineRun() {
    RequestStop();
    Join();
}

bool TEngineRun::Report(int32_t percent, const char* text) {
    // Emitted from the worker to a receiver on the window's thread, the
    // signal is queued: the engine never waits for the window.
    emit Progress(percent, QString::fromLatin1(text ? text : ""));
    return !FStopped;
}

void TEngineRun::Start(std::function<void()> work) {
    Join();
    FFailure = nullptr;
    FStopped = false;
    FWorker = std::thread([this, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            FFailure = std::current_exception();
        }
        emit Finished();
    });
}

void TEngineRun::Join() {
    if (FWorker.joinable()) {
        FWorker.join();
    }
    FStopped = true;
}

} // namespace tessary
