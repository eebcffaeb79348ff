// main.cpp -- tessary-cli: the repair of a damaged ZIP archive from the
// command line, over the same engine as the wizard.
#include "arcsalve.h"
#include "engine_error.h"
#include "entry_check.h"
#include "entry_text.h"
#include "file_streams.h"
#include "interrupt.h"
#include "options.h"
#include "output_target.h"
#include "program_info.h"
#include "progress_bar.h"
#include "report.h"
#include "safe_text.h"
#include "split_input.h"
#include "standard_streams.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <thread>
#include <unistd.h>

using namespace tessary;
using namespace tessary::cli;

namespace {

enum TExitCode {
    ExitOk = 0,
    ExitNothingFound = 1,
    ExitUsage = 2,
    ExitInput = 3,
    ExitOutput = 4,
    ExitOutputIsInput = 5,
    ExitPrint = 6,
    ExitCheckFailed = 7,
    ExitCutShort = 8,
    ExitRefused = 9,
    ExitOutOfMemory = 10,
    ExitInterrupted = 130,
};

int ExitCodeFor(const EArcsalveError& e) {
    std::fprintf(stderr, "tessary-cli: %s\n",
                 EscapeForText(FileErrorText(e.Kind, e.Path, e.Reason)).c_str());
    switch (e.Kind) {
    case TErrorKind::OpenInput:
    case TErrorKind::ReadInput:
        return ExitInput;
    case TErrorKind::OutputIsInput:
        return ExitOutputIsInput;
    case TErrorKind::Refused:
        return ExitRefused;
    case TErrorKind::OutOfMemory:
        return ExitOutOfMemory;
    case TErrorKind::CreateOutput:
    case TErrorKind::WriteOutput:
        break;
    }
    return ExitOutput;
}

// One damaged archive and where its repaired archive goes.
struct TJob {
    std::string Input;
    std::string Output; // "-": standard output
    bool ToStdout() const { return Output == StandardStream; }
};

// The repaired archive's size, near enough for a progress figure: every
// entry's data behind its header.
int64_t RebuildBytes(const TArcsalve& engine) {
    int64_t total = 0;
    for (const TFileInfo& e : engine.Entries())
        total += 30 + int64_t(e.Name().size()) + e.ExtraLength() +
                 std::max<int64_t>(e.CompressedSize, 0);
    return total;
}

// Entries a check worker may run ahead of the one being written: enough to
// keep every core busy on small entries, few enough that a stop wastes little.
constexpr size_t CheckAhead = 64;

unsigned CheckThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

// The rebuild's plan for each entry under --drop-damaged and --salvage; it
// waits for the entry's check only when the plan depends on it.
TEntryPlanner PlanFor(const TOptions& options, const TArcsalve& engine, TParallelCheck& checker,
                      std::vector<TEntryCheck>& checks) {
    return [&options, &engine, &checker, &checks](size_t i) {
        if (!options.DropDamaged && !options.Salvage) {
            checker.Release(i);
            return TEntryPlan{};
        }
        const TCheckResult& r = checker.Wait(i);
        TEntryPlan plan;
        if (options.Salvage && IsSalvageable(engine.Entries()[i], r)) {
            plan.Action = TEntryPlan::Salvage;
            plan.Crc32 = r.Crc32;
            plan.Size = r.UncompressedSize;
            checks[i].Fate = TEntryFate::Salvaged;
        } else if (options.DropDamaged && CheckFailed(r)) {
            plan.Action = TEntryPlan::LeaveOut;
            checks[i].Fate = TEntryFate::LeftOut;
        }
        return plan;
    };
}

// Collects the results: every one when the run went through, those finished
// when it was stopped. While results are still awaited the bar shows the
// stage "Checking" by entries checked, and a Ctrl-C stops the waiting.
void CollectChecks(TParallelCheck& checker, bool stopped, std::vector<TEntryCheck>& checks,
                   TProgressBar& bar) {
    constexpr auto Poll = std::chrono::milliseconds(20);
    constexpr auto ShowEvery = std::chrono::milliseconds(100);
    auto record = [&](size_t i, const TCheckResult& r) {
        checks[i].Checked = true;
        checks[i].Result = r;
    };
    size_t i = 0;
    if (!stopped && !checks.empty()) {
        // Nothing else paces the workers any longer: they may run to the end.
        checker.Release(checks.size() - 1);
        bool started = false;
        auto shown = std::chrono::steady_clock::time_point();
        for (; i < checks.size() && InterruptCount() == 0; ++i) {
            while (!checker.Result(i) && InterruptCount() == 0) {
                auto now = std::chrono::steady_clock::now();
                if (!started) {
                    bar.Start("Checking", static_cast<int64_t>(checks.size()), TProgressUnit::Files,
                              static_cast<int64_t>(i));
                    started = true;
                }
                if (now - shown >= ShowEvery) {
                    shown = now;
                    bar.ShowDone(static_cast<int64_t>(i), std::to_string(i).c_str(),
                                 "files have been checked");
                }
                std::this_thread::sleep_for(Poll);
            }
            if (InterruptCount() == 0)
                record(i, checker.Wait(i)); // a read failure of the check is thrown here
        }
        bar.Clear();
    }
    for (; i < checks.size(); ++i)
        if (const TCheckResult* r = checker.Result(i))
            record(i, *r);
}

// Scans and rebuilds; a failure of either file ends the run in
// summary.Error, so that the report below is complete on every path.
void Run(const TOptions& options, const TJob& job, std::FILE* text,
         std::unique_ptr<TArcsalve>& engine, TSummary& summary) {
    TProgressBar bar(stderr, ProgressStyleFor(stderr, !options.Quiet));
    bool scanning = true;
    int interruptsBefore = 0;
    auto progress = [&](int32_t percent, const char* count) {
        bar.Show(percent, count, scanning ? FilesFoundText : FilesRepairedText);
        return InterruptCount() == interruptsBefore;
    };

    TArcsalveOptions engineOptions;
    engineOptions.BuildView = false; // the lists are printed from the entries
    // A terminal's bar may move more often than a window's: a warm-cache copy
    // of a whole gigabyte takes well under a second.
    engineOptions.ProgressInterval = 25;
    engineOptions.CreateOutput = job.ToStdout() ? StandardOutputFactory() : FileOutputFactory();
    bool writesFile = !options.ListOnly && !job.ToStdout();
    // Before the scan, so that an output that cannot or must not be written
    // fails at once rather than after reading the whole input. The file
    // found here is the only one --force replaces: not one that appears
    // later, nor this one once it was changed or replaced.
    auto checkTarget = [&] {
        TOutputTarget target = CheckOutputTarget(job.Output, options.Force);
        if (target.Problem == TOutputProblem::Exists)
            throw EArcsalveError(TErrorKind::CreateOutput, job.Output,
                                 target.Reason + " (--force replaces it)");
        if (!target.Usable())
            throw EArcsalveError(TErrorKind::CreateOutput, job.Output, target.Reason);
        engineOptions.CreateOutput = FileOutputFactory(ReplacingOptionsFor(target));
    };
    // An archive is no text: a terminal would only be scrambled by it.
    if (!options.ListOnly && job.ToStdout() && ::isatty(STDOUT_FILENO))
        throw EArcsalveError(TErrorKind::CreateOutput, job.Output, "Standard output is a terminal");
    bool fromStdin = job.Input == StandardStream;
    if (fromStdin && writesFile)
        checkTarget(); // before standard input is copied, which may take long
    std::unique_ptr<TInputStream> input =
        fromStdin ? OpenStandardInput([] { return InterruptCount() > 0; })
                  : OpenArchiveInput(job.Input);
    summary.Parts = input->Parts();
    if (writesFile) {
        if (input->IsSameFile(job.Output))
            throw OutputIsInputError(job.Output);
        if (!fromStdin)
            checkTarget();
    }
    // The checks read the damaged file through a descriptor of their own,
    // whose reads are independent of the rebuild's.
    std::unique_ptr<TInputStream> checkInput;
    if (options.Verify)
        checkInput = ReopenInput(*input, job.Input);
    int64_t inputSize = input->Size();
    engine = std::make_unique<TArcsalve>(std::move(input), progress, engineOptions);

    // A plain repair into a file scans and writes at once; the checks need
    // the whole list first, and standard output cannot take back an archive
    // refused half-way.
    bool onePass = writesFile && !options.Verify;
    if (onePass) {
        scanning = false;
        bar.Start("Repairing", inputSize);
        engine->ScanAndRecover(job.Output);
        bar.Clear();
    } else {
        bar.Start("Scanning", inputSize);
        engine->BeginScanFile();
        bar.Clear();
    }
    summary.Found = engine->Entries().size();
    summary.Dropped = engine->DroppedEntries();
    summary.TextMode = engine->TextModeDamage();
    summary.TextModeRestored = engine->TextModeRestored();
    summary.TextModeNotRestored = engine->TextModeNotRestored();
    summary.Stopped = InterruptCount() > 0;
    if (summary.Stopped)
        summary.StoppedDuring = !onePass || engine->ScanWasStopped() ? "scan" : "rebuild";
    if (engine->StoppedByMemory())
        summary.CutShort = "memory-limit";
    else if (summary.Dropped > 0)
        summary.CutShort = "entry-limit";
    if (onePass) {
        if (!options.Json && !options.Quiet)
            PrintTable(text, *engine, options.Verbose);
        if (summary.Found > 0) {
            summary.Output = job.Output;
            summary.Written = engine->WrittenEntries();
        }
        return;
    }
    bool verify = checkInput && summary.Found > 0 && !summary.Stopped;
    if (!options.Json && !options.Quiet && !verify)
        PrintTable(text, *engine, options.Verbose);
    std::unique_ptr<TParallelCheck> checker;
    TEntryPlanner plan;
    if (verify) {
        summary.Verified = true;
        summary.Checks.resize(summary.Found);
        // The entries' offsets are those of the file as the engine read it.
        checkInput = engine->ReadAsScanned(std::move(checkInput));
        checker = std::make_unique<TParallelCheck>(*checkInput, engine->Entries(), CheckThreads(),
                                                   CheckAhead * CheckThreads());
        plan = PlanFor(options, *engine, *checker, summary.Checks);
    }

    if (!options.ListOnly && summary.Found > 0) {
        scanning = false;
        interruptsBefore = InterruptCount();
        bar.Start("Saving", RebuildBytes(*engine));
        engine->GetRecovered(job.Output, plan);
        bar.Clear();
        if (InterruptCount() > interruptsBefore)
            summary.StoppedDuring = "rebuild";
        summary.Stopped = InterruptCount() > 0;
        summary.Output = job.Output;
        summary.Written = engine->WrittenEntries();
    }
    if (checker) {
        CollectChecks(*checker, summary.Stopped, summary.Checks, bar);
        for (const TEntryCheck& c : summary.Checks)
            summary.DecodeLimited += c.Checked && c.Result.Reason == TNotCheckedReason::DecodeLimit;
        if (!summary.Stopped && InterruptCount() > 0) {
            summary.Stopped = true;
            summary.StoppedDuring = "check";
        }
        if (!options.Json && !options.Quiet)
            PrintTable(text, *engine, options.Verbose, summary.Checks);
    }
}

int Repair(const TOptions& options, const TJob& job) {
    // With the archive on standard output, the words go to standard error.
    std::FILE* text = job.ToStdout() && !options.ListOnly ? stderr : stdout;
    if (options.Inputs.size() > 1 && !options.Json && !options.Quiet)
        std::fprintf(text, "%s:\n", EscapeForText(job.Input).c_str());
    std::unique_ptr<TArcsalve> engine;
    TSummary summary;
    summary.Input = job.Input;
    summary.ListOnly = options.ListOnly;
    try {
        Run(options, job, text, engine, summary);
    } catch (EArcsalveError& e) {
        // A read failure names the damaged file and where reading stopped.
        if (e.Kind == TErrorKind::ReadInput) {
            if (e.Path.empty())
                e.Path = job.Input;
            if (e.Offset >= 0)
                e.Reason += " (at byte " + std::to_string(e.Offset) + ")";
        }
        summary.Error = e;
    } catch (const std::bad_alloc&) {
        // Whatever ran out, the engine's memory goes first, so that the
        // report below has room; the repaired archive was never named.
        engine.reset();
        summary.Error = EArcsalveError(TErrorKind::OutOfMemory, job.Input, "Out of memory");
    }
    if (options.Json)
        PrintJson(stdout, engine.get(), summary);
    else if (!options.Quiet && !summary.Error)
        PrintSummary(text, summary);

    if (summary.Error)
        return ExitCodeFor(*summary.Error);
    if (summary.Stopped)
        return ExitInterrupted;
    // A scan cut short by a limit is no success, even with an archive written.
    if (summary.CutShort || summary.DecodeLimited > 0)
        return ExitCutShort;
    if (summary.Found == 0)
        return ExitNothingFound;
    return summary.Verified && CountChecks(summary.Checks).Failed > 0 ? ExitCheckFailed : ExitOk;
}

// Each damaged archive in turn, the exit status the highest of theirs; a
// Ctrl-C ends the run after the archive it stopped.
int RepairAll(const TOptions& options) {
    int worst = ExitOk;
    for (size_t i = 0; i < options.Inputs.size() && InterruptCount() == 0; ++i) {
        if (i > 0 && !options.Json && !options.Quiet)
            std::fputc('\n', stdout);
        const std::string& input = options.Inputs[i];
        worst = std::max(worst, Repair(options, {input, OutputFor(options, input)}));
    }
    return worst;
}

// Output lost to a closed pipe or a full disk is reported at the very end,
// once the repaired archive is complete; success becomes ExitPrint.
int CheckPrinted(int code) {
    bool outFailed = std::fflush(stdout) != 0;
    int err = outFailed ? errno : EIO;
    outFailed = outFailed || std::ferror(stdout);
    if (outFailed)
        std::fprintf(stderr, "tessary-cli: Cannot write to standard output. %s\n",
                     std::strerror(err));
    bool errFailed = std::fflush(stderr) != 0 || std::ferror(stderr);
    return (outFailed || errFailed) && code == ExitOk ? ExitPrint : code;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    TOptions options;
    try {
        options = ParseOptions(args);
    } catch (const std::invalid_argument& e) {
        // The reason may quote a file name: escaped like every name printed.
        std::fprintf(stderr, "tessary-cli: %s\nTry 'tessary-cli --help' for more information.\n",
                     EscapeForText(e.what()).c_str());
        return ExitUsage;
    }

    // Only the program information: the command-line tool has no language
    // choice, so it reads no language file and writes no settings file.
    SelectProduct();
    ReadFileVersion();
    InstallInterruptHandler();
    int code = ExitOk;
    if (options.Help) {
        std::fputs(UsageText, stdout);
    } else if (options.Version) {
        std::printf("tessary-cli (%s)\n", GetTitle().c_str());
    } else {
        code = RepairAll(options);
    }
    return CheckPrinted(code);
}
