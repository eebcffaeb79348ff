// engine_run.h -- TEngineRun, one engine run (the scan or the rebuild) on a
// worker thread: its progress reports and its end reach the window as queued
// signals, and a stop request is a flag that the engine's progress event
// answers with.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <thread>

namespace tessary {

class TEngineRun : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Stops a run that is still going and waits for its worker.
    ~TEngineRun() override;
    TEngineRun(const TEngineRun&) = delete;
    TEngineRun& operator=(const TEngineRun&) = delete;

    // The engine's progress event, called on the worker: posts the report
    // and answers whether the run may go on. Safe on any thread.
    bool Report(int32_t percent, const char* text);

    // Runs `work` on a new worker thread; Finished follows once it has
    // returned or thrown. The previous run must have been joined. Until
    // Finished, whatever `work` touches belongs to the worker.
    void Start(std::function<void()> work);
    // Asks the run to stop at its next progress report.
    void RequestStop() { FStopped = true; }
    // Waits for the worker (at once after Finished; after a stop request,
    // as long as the engine takes to reach its next report).
    void Join();

    // A worker has been started and not yet joined.
    bool Active() const { return FWorker.joinable(); }
    // True while no run is active, and once a stop has been asked for: the
    // progress event answers with its negation.
    bool Stopped() const { return FStopped; }
    // What the run's work threw, if anything; read after Finished.
    std::exception_ptr Failure() const { return FFailure; }

signals:
    // Queued to the window's thread, in the order the engine reported.
    void Progress(int percent, const QString& count);
    // The run's work has returned or thrown; always after its last Progress.
    void Finished();

private:
    std::thread FWorker;
    std::atomic<bool> FStopped{true};
    std::exception_ptr FFailure;
};

} // namespace tessary
