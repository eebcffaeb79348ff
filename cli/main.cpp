// main.cpp -- tessary-cli: the repair of a damaged ZIP archive from the
// command line, over the same engine as the wizard.
#include "arcsalve.h"
#include "engine_error.h"
#include "entry_text.h"
#include "file_streams.h"
#include "interrupt.h"
#include "options.h"
#include "output_target.h"
#include "program_info.h"
#include "progress_bar.h"
#include "report.h"
#include "safe_text.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <stdexcept>

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
    ExitCutShort = 7,
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
    case TErrorKind::CreateOutput:
    case TErrorKind::WriteOutput:
        break;
    }
    return ExitOutput;
}

// Scans and rebuilds; a failure of either file ends the run in
// summary.Error, so that the report below is complete on every path.
void Run(const TOptions& options, std::unique_ptr<TArcsalve>& engine, TSummary& summary) {
    TProgressBar bar(stderr, !options.Quiet);
    bool scanning = true;
    int interruptsBefore = 0;
    auto progress = [&](int32_t percent, const char* count) {
        if (scanning)
            bar.Show("Scanning", percent, count, "files have been found");
        else
            bar.Show("Saving", percent, count, "files have been repaired");
        return InterruptCount() == interruptsBefore;
    };

    TArcsalveOptions engineOptions;
    engineOptions.CreateOutput = FileOutputFactory();
    std::unique_ptr<TInputStream> input = OpenInputFile(options.Input);
    if (!options.ListOnly) {
        if (input->IsSameFile(options.Output))
            throw EArcsalveError(TErrorKind::OutputIsInput, options.Output,
                                 "The repaired archive cannot replace the damaged one");
        // Before the scan, so that an output that cannot or must not be
        // written fails at once rather than after reading the whole input.
        TOutputTarget target = CheckOutputTarget(options.Output, options.Force);
        if (target.Problem == TOutputProblem::Exists)
            throw EArcsalveError(TErrorKind::CreateOutput, options.Output,
                                 target.Reason + " (--force replaces it)");
        if (!target.Usable())
            throw EArcsalveError(TErrorKind::CreateOutput, options.Output, target.Reason);
    }
    engine = std::make_unique<TArcsalve>(std::move(input), progress, engineOptions);

    engine->BeginScanFile();
    bar.Clear();
    summary.Found = engine->FView.size();
    summary.Dropped = engine->DroppedEntries();
    summary.Stopped = InterruptCount() > 0;
    if (summary.Stopped)
        summary.StoppedDuring = "scan";
    if (engine->StoppedByMemory())
        summary.CutShort = "memory-limit";
    else if (summary.Dropped > 0)
        summary.CutShort = "entry-limit";
    if (!options.Json && !options.Quiet)
        PrintTable(stdout, *engine);

    if (!options.ListOnly && summary.Found > 0) {
        scanning = false;
        interruptsBefore = InterruptCount();
        engine->GetRecovered(options.Output);
        bar.Clear();
        if (InterruptCount() > interruptsBefore)
            summary.StoppedDuring = "rebuild";
        summary.Stopped = InterruptCount() > 0;
        summary.Output = options.Output;
        summary.Written = engine->WrittenEntries();
    }
}

int Repair(const TOptions& options) {
    std::unique_ptr<TArcsalve> engine;
    TSummary summary;
    summary.ListOnly = options.ListOnly;
    try {
        Run(options, engine, summary);
    } catch (EArcsalveError& e) {
        // A read failure names the damaged file and where reading stopped.
        if (e.Kind == TErrorKind::ReadInput) {
            if (e.Path.empty())
                e.Path = options.Input;
            if (e.Offset >= 0)
                e.Reason += " (at byte " + std::to_string(e.Offset) + ")";
        }
        summary.Error = e;
    }
    if (options.Json)
        PrintJson(stdout, engine.get(), summary);
    else if (!options.Quiet && !summary.Error)
        PrintSummary(stdout, summary);

    if (summary.Error)
        return ExitCodeFor(*summary.Error);
    if (summary.Stopped)
        return ExitInterrupted;
    // A scan cut short by a limit is no success, even with an archive written.
    if (summary.CutShort)
        return ExitCutShort;
    return summary.Found == 0 ? ExitNothingFound : ExitOk;
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
        std::fprintf(stderr, "tessary-cli: %s\nTry 'tessary-cli --help' for more information.\n",
                     e.what());
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
        code = Repair(options);
    }
    return CheckPrinted(code);
}
