// velocitrix-cli: the Velocitrix Website Optimizer's rules for scripts and servers.

#include "cli/BackupPlace.h"
#include "cli/FileList.h"
#include "cli/Filter.h"
#include "cli/HelpText.h"
#include "cli/Interrupt.h"
#include "cli/Leftovers.h"
#include "cli/Options.h"
#include "cli/Pipeline.h"
#include "cli/Progress.h"
#include "cli/QuotedNames.h"
#include "cli/Report.h"
#include "cli/Runner.h"

#include "platform/OpenFilesLimit.h"
#include "platform/StopSignals.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <stop_token>

namespace {

constexpr int ExitDone = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
// --check and --diff: 1 says some file would change, 3 that the answer is not
// complete: some file could not be read or worked, or standard output could not
// take the whole answer (a script must not apply a cut diff).
constexpr int ExitWouldChange = 1;
constexpr int ExitNotChecked = 3;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "velocitrix-cli: %s\n%s", PrintableText(message).c_str(),
                 UsageHint().c_str());
    return ExitUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "velocitrix-cli: %s\n", PrintableText(ErrorBoxText(message)).c_str());
    return ExitFailed;
}

void Notice(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "velocitrix-cli: %s\n", PrintableText(text).c_str());
}

// Tells of the temporaries an interrupted run left in the walked folders, or
// deletes them when asked. Returns false when some could not be deleted.
bool HandleLeftovers(const std::vector<ListEntry>& leftovers, const CliOptions& o) {
    if (leftovers.empty())
        return true;
    if (!o.removeLeftovers || o.dryRun || o.check || o.diff) {
        Notice(LeftoversNotice(leftovers.size()));
        return true;
    }
    const LeftoversRemoved result = RemoveLeftovers(leftovers);
    for (const std::string& notice : LeftoversRemovedNotices(result))
        Notice(notice);
    return result.errors.empty();
}

int Stopped(int signal) {
    Notice(std::string("stopped by ") + InterruptSignalName(signal) +
           "; the files not reported were left as they were");
    return InterruptExitStatus(signal);
}

PipelineSettings SettingsOf(const CliOptions& o, std::stop_token stop) {
    PipelineSettings settings;
    settings.step.optimize = o.command == CliCommand::Optimize;
    settings.step.change = {o.find, o.with, o.caseSensitive};
    settings.step.optimizeOptions.keepPre = o.keepPre;
    settings.step.breaks = o.lineBreaks;
    settings.dryRun = o.dryRun || o.check || o.diff;
    settings.writeAll = o.writeAll;
    settings.diff = o.diff;
    settings.compressedSize = o.compressedSize;
    // --check alone shows no figures: a file is known to change at its first
    // differing byte.
    settings.untilDifference = o.check && !o.diff && !o.json && !o.compressedSize;
    settings.backupDir = o.backupDir;
    settings.stop = std::move(stop);
    return settings;
}

// "-": standard input to standard output.
int RunFilter(const CliOptions& o, std::stop_token stop) {
    const FilterOutcome result = FilterStream(0, stdout, SettingsOf(o, std::move(stop)));
    if (result.stopped)
        return InterruptExitStatus(InterruptSignal());
    if (result.hasPre)
        Notice("warning: <pre> tags have been detected in standard input: the Velocitrix Website "
               "Optimizer could damage text within the <pre></pre> tags");
    if (result.failed)
        return Fail(result.error);
    return ExitDone;
}

int Main(int argc, char** argv) {
    const ParsedCommandLine parsed = ParseCommandLine(argc, argv);
    if (!parsed.error.empty())
        return UsageError(parsed.error);
    const CliOptions& o = parsed.options;
    if (o.help) {
        std::fputs(HelpText().c_str(), stdout);
        return ExitDone;
    }
    if (o.version) {
        std::fputs(VersionText().c_str(), stdout);
        return ExitDone;
    }

    // A stop signal reaches every thread of the run at once.
    std::stop_source stop;
    const StopSignalWatch watch(stop);
    if (o.Filter())
        return RunFilter(o, stop.get_token());

    std::string types = CliDefaultTypeList;
    if (o.typesGiven) {
        types = o.types;
        try {
            CheckMaskList(types);
        } catch (const std::exception& e) {
            return UsageError(e.what());
        }
    } else if (o.savedTypes) {
        // The store lives in the user's settings folder, which Qt locates.
        int qtArgc = 1;
        QCoreApplication app(qtArgc, argv);
        try {
            types = ReadSavedFileTypes();
            CheckMaskList(types);
        } catch (const std::exception& e) {
            return Fail(e.what());
        }
    }

    // The run's other threads help with the walk. A walk holds up to 34 folders
    // open: the helpers' stay within a quarter of the open-files limit.
    const auto walkHelpers =
        static_cast<unsigned>(std::min<std::uint64_t>(o.jobs - 1, OpenFilesLimit() / 4 / 34));
    const FileList list = BuildFileList(o.paths, types, o.recursive, stop.get_token(), walkHelpers);
    if (Interrupted())
        return Stopped(InterruptSignal());
    if (!o.backupDir.empty()) {
        const std::string problem = BackupPlaceProblem(o.backupDir, o.paths, list.entries);
        if (!problem.empty())
            return UsageError(problem);
    }
    const bool leftoversGone = HandleLeftovers(list.leftovers, o);

    const PipelineSettings settings = SettingsOf(o, stop.get_token());
    Reporter reporter(o.json, settings.step.optimize, settings.dryRun, stdout, stderr);
    reporter.SetCheck(o.check);
    reporter.SetDiff(o.diff);
    reporter.SetCompressedSizes(o.compressedSize);
    for (const std::string& w : list.warnings)
        reporter.Warning(w);
    bool finished = false;
    {
        ProgressBar progress(list.entries.size(), ProgressBar::ForTerminal());
        RunLimits limits;
        limits.jobs = o.jobs;
        limits = FitToOpenFiles(limits, OpenFilesLimit(), !o.backupDir.empty());
        finished = RunFiles(list.entries, settings, limits, reporter, progress);
    }
    int status = reporter.Totals().failed > 0 || !list.warnings.empty() || !leftoversGone
                     ? ExitFailed
                     : ExitDone;
    if (o.check || o.diff) {
        status = reporter.Totals().failed > 0 || !list.warnings.empty() ? ExitNotChecked
                 : reporter.Totals().changed > 0                        ? ExitWouldChange
                                                                        : ExitDone;
    }
    if (!finished)
        status = InterruptExitStatus(InterruptSignal());
    reporter.Finish(status);
    if (!finished)
        Stopped(InterruptSignal());
    if (reporter.OutputFailed() && finished) {
        if (o.check || o.diff)
            status = ExitNotChecked;
        else if (status == ExitDone)
            status = ExitFailed;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    static char out[1 << 16];
    std::setvbuf(stdout, out, _IOFBF, sizeof out);
    InstallInterruptHandlers();
    try {
        return Main(argc, argv);
    } catch (const std::bad_alloc&) {
        return Fail("Out of memory");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
