// talmiro-cli check FILE...: reads each interchange as the viewer does and reports whether it is valid.
#include "batch.h"
#include "inputs.h"
#include "report.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <thread>

namespace talmiro::cli {
namespace {

struct TCheckOptions : TReadOptions {
    std::vector<std::string> Files;
    bool AllErrors = false;
    bool Strict = false;
    unsigned Jobs = 0; // 0: the number of cores
    TGuidelineSetup Guidelines;
};

// Checks one input, writing its report to out and err; progress is shown only when asked for.
int CheckFile(const std::string& file, const TCheckOptions& options, TStandardsCatalogue& catalogue,
              std::ostream& out, std::ostream& err, bool progressAllowed) {
    std::string error;
    TInput input = OpenInput(file, error);
    if (!input.Stream) {
        PrintOpenError(input.Name, error, options.Json(), out, err);
        return ExitUsage;
    }

    TInterchangeReader reader(&catalogue);
    reader.BuildTree = false;
    TValidationOptions validation;
    validation.AllErrors = options.AllErrors;
    validation.Strict = options.Strict;
    // Only JSON decodes the interchange's texts; plain text output spares the look at the whole file.
    validation.DetectUtf8 = options.Json();
    options.Guidelines.Apply(validation);
    TValidator session(reader, *input.Stream, validation);
    // The messages go out as they are read, so that a large interchange is checked in constant memory.
    bool firstMessage = true;
    if (options.Json()) {
        out << "{\"file\":" << JsonText(input.Name) << ",\"messages\":[";
        session.OnMessage = [&firstMessage, &session, &out](const TMessageInfo& m) {
            out << (firstMessage ? "" : ",") << JsonText(ViewerText(MessageJson(m), session.Utf8));
            firstMessage = false;
        };
    }
    {
        std::optional<TProgress> progress;
        if (progressAllowed) progress.emplace(session, input);
        session.Run();
    }
    session.Locate();
    // A guideline named on the command line makes its warnings count as --strict does.
    const bool valid = session.ErrorCount() == 0 &&
                       ((!options.Strict && !options.Guidelines.Named) || session.WarningCount() == 0);

    if (options.Json()) {
        nlohmann::json errors = nlohmann::json::array(), warnings = nlohmann::json::array();
        for (const TDiagnostic& d : session.Diagnostics)
            (d.Warning ? warnings : errors).push_back(DiagnosticJson(d));
        const std::string rest = JsonText({{"valid", valid},
                                           {"interchanges", session.Completed ? 1 : 0},
                                           {"segments", session.SegmentCount},
                                           {"errors", errors},
                                           {"warnings", warnings}});
        out << "]," << rest.substr(1) << '\n';
    } else {
        PrintDiagnostics(input.Name, session.Diagnostics, err);
        if (session.ErrorCount() == 0) {
            std::string counts = std::to_string(session.Completed ? 1 : 0) + " interchanges, " +
                                 std::to_string(session.MessageCount) + " messages, " +
                                 std::to_string(session.SegmentCount) + " segments";
            if (session.WarningCount() > 0)
                counts += ", " + std::to_string(session.WarningCount()) + " warnings";
            out << input.Name << (valid ? ": ok (" : ": failed (") << counts << ")\n";
        }
    }
    return valid ? ExitOk : ExitInvalid;
}

int RunCheck(TCheckOptions& options) {
    if (!LoadGuidelines(options, options.Guidelines)) return ExitUsage;
    const std::vector<std::string> files = ExpandInputs(options.Files);
    unsigned jobs = options.Jobs > 0 ? options.Jobs : std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<size_t>(jobs, std::max<size_t>(files.size(), 1)));

    TBatchCounts counts;
    int exitCode = ExitOk;
    if (jobs <= 1) {
        auto catalogue = MakeCatalogue(options);
        for (const std::string& file : files) {
            const int code = CheckFile(file, options, *catalogue, std::cout, std::cerr, true);
            counts.Add(code);
            exitCode = std::max(exitCode, code);
        }
    } else {
        // Each worker has its own catalogue (a look-up selects a standard in it) and reader.
        exitCode = RunInOrder(
            files, jobs,
            [&options](const std::string& file, std::ostream& out, std::ostream& err) {
                thread_local std::unique_ptr<TStandardsCatalogue> catalogue;
                if (!catalogue) catalogue = MakeCatalogue(options);
                return CheckFile(file, options, *catalogue, out, err, false);
            },
            counts);
    }
    if (files.size() > 1) std::cerr << counts.Summary() << '\n';
    return exitCode;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TCheckOptions>();
    CLI::App* command = app.add_subcommand("check", "Check interchanges against their message tables");
    command
        ->add_option(
            "FILE", options->Files,
            "Interchange files or folders (read recursively, hidden files skipped); - reads standard "
            "input")
        ->required();
    command->add_flag("--all-errors", options->AllErrors,
                      "Report every segment sequence error of a message, not only the first");
    command->add_flag("--strict", options->Strict,
                      "Also check element sizes, numeric values, repeats, mandatory elements, codes and "
                      "the envelope's counts and references; warnings then fail the check");
    command
        ->add_option("-j,--jobs", options->Jobs,
                     "Files checked at the same time (default: the number of cores); the output keeps the "
                     "order of the files")
        ->check(CLI::Range(1u, 1024u));
    AddReadOptions(*command, *options);
    command->callback([options, &run] { run = [options] { return RunCheck(*options); }; });
});

} // namespace
} // namespace talmiro::cli
