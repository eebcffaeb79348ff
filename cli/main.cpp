// main.cpp -- tessary-cli: the repair of a damaged ZIP archive from the
// command line, over the same engine as the wizard.
#include "arcsalve.h"
#include "engine_error.h"
#include "entry_text.h"
#include "file_streams.h"
#include "interrupt.h"
#include "modules.h"
#include "options.h"
#include "program_info.h"
#include "progress_bar.h"
#include "report.h"

#include <clocale>
#include <cstdio>
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
    ExitInterrupted = 130,
};

int ExitCodeFor(const EArcsalveError& e) {
    std::fprintf(stderr, "tessary-cli: %s\n", FileErrorText(e.Kind, e.Path, e.Reason).c_str());
    switch (e.Kind) {
    case TErrorKind::OpenInput:
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
    if (!options.ListOnly && input->IsSameFile(options.Output))
        throw EArcsalveError(TErrorKind::OutputIsInput, options.Output,
                             "The repaired archive cannot replace the damaged one");
    engine = std::make_unique<TArcsalve>(std::move(input), progress, engineOptions);

    engine->BeginScanFile();
    bar.Clear();
    summary.Found = engine->FView.size();
    summary.Dropped = engine->DroppedEntries();
    summary.Stopped = InterruptCount() > 0;
    if (summary.Stopped)
        summary.StoppedDuring = "scan";
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
    } catch (const EArcsalveError& e) {
        summary.Error = e;
    }
    if (options.Json)
        PrintJson(stdout, engine.get(), summary);
    else if (!options.Quiet && !summary.Error)
        PrintSummary(stdout, summary);

    if (summary.Error)
        return ExitCodeFor(*summary.Error);
    if (summary.Found == 0)
        return ExitNothingFound;
    return summary.Stopped ? ExitInterrupted : ExitOk;
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

    StartModules(argc, argv);
    int code = ExitOk;
    if (options.Help) {
        std::fputs(UsageText, stdout);
    } else if (options.Version) {
        std::printf("tessary-cli (%s)\n", GetTitle().c_str());
    } else {
        InstallInterruptHandler();
        code = Repair(options);
    }
    StopModules();
    return code;
}
