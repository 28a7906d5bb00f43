// velocitrix-cli: the Velocitrix Website Optimizer's rules for scripts and servers.

#include "cli/FileList.h"
#include "cli/HelpText.h"
#include "cli/Options.h"
#include "cli/Pipeline.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "cli/Runner.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <memory>
#include <new>

namespace {

constexpr int ExitDone = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "velocitrix-cli: %s\n%s", message.c_str(), UsageHint().c_str());
    return ExitUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "velocitrix-cli: %s\n", ErrorBoxText(message).c_str());
    return ExitFailed;
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

    const FileList list = BuildFileList(o.paths, types, o.recursive);

    PipelineSettings settings;
    settings.optimize = o.command == CliCommand::Optimize;
    settings.find = o.find;
    settings.with = o.with;
    settings.caseSensitive = o.caseSensitive;
    settings.dryRun = o.dryRun;
    settings.backupDir = o.backupDir;

    Reporter reporter(o.json, settings.optimize, o.dryRun, stdout, stderr);
    for (const std::string& w : list.warnings)
        reporter.Warning(w);
    {
        ProgressBar progress(list.entries.size(), ProgressBar::ForTerminal());
        RunLimits limits;
        limits.jobs = o.jobs;
        RunFiles(list.entries, settings, limits, reporter, progress);
    }
    const int status =
        reporter.Totals().failed > 0 || !list.warnings.empty() ? ExitFailed : ExitDone;
    reporter.Finish(status);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    static char out[1 << 16];
    std::setvbuf(stdout, out, _IOFBF, sizeof out);
    try {
        return Main(argc, argv);
    } catch (const std::bad_alloc&) {
        return Fail("Out of memory");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
