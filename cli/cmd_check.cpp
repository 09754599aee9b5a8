// talmiro-cli check FILE...: reads each interchange as the viewer does and reports whether it is valid.
#include "inputs.h"
#include "report.h"

#include <algorithm>
#include <iostream>

namespace talmiro::cli {
namespace {

struct TCheckOptions : TReadOptions {
    std::vector<std::string> Files;
    bool AllErrors = false;
    bool Strict = false;
};

int CheckFile(const std::string& file, const TCheckOptions& options, TStandardsCatalogue& catalogue) {
    std::string error;
    TInput input = OpenInput(file, error);
    if (!input.Stream) {
        PrintOpenError(input.Name, error, options.Json());
        return ExitUsage;
    }

    TInterchangeReader reader(&catalogue);
    reader.BuildTree = false;
    TValidationOptions validation;
    validation.AllErrors = options.AllErrors;
    validation.Strict = options.Strict;
    TValidator session(reader, *input.Stream, validation);
    // The messages go out as they are read, so that a large interchange is checked in constant memory.
    bool firstMessage = true;
    if (options.Json()) {
        std::cout << "{\"file\":" << JsonText(input.Name) << ",\"messages\":[";
        session.OnMessage = [&firstMessage, &session](const TMessageInfo& m) {
            std::cout << (firstMessage ? "" : ",") << JsonText(ViewerText(MessageJson(m), session.Utf8));
            firstMessage = false;
        };
    }
    {
        TProgress progress(session, input);
        session.Run();
    }
    session.Locate();
    const bool valid = session.ErrorCount() == 0 && (!options.Strict || session.WarningCount() == 0);

    if (options.Json()) {
        nlohmann::json errors = nlohmann::json::array(), warnings = nlohmann::json::array();
        for (const TDiagnostic& d : session.Diagnostics)
            (d.Warning ? warnings : errors).push_back(DiagnosticJson(d));
        const std::string rest = JsonText({{"valid", valid},
                                           {"interchanges", session.Completed ? 1 : 0},
                                           {"segments", session.SegmentCount},
                                           {"errors", errors},
                                           {"warnings", warnings}});
        std::cout << "]," << rest.substr(1) << '\n';
    } else {
        PrintDiagnostics(input.Name, session.Diagnostics);
        if (session.ErrorCount() == 0) {
            std::string counts = std::to_string(session.Completed ? 1 : 0) + " interchanges, " +
                                 std::to_string(session.MessageCount) + " messages, " +
                                 std::to_string(session.SegmentCount) + " segments";
            if (session.WarningCount() > 0)
                counts += ", " + std::to_string(session.WarningCount()) + " warnings";
            std::cout << input.Name << (valid ? ": ok (" : ": failed (") << counts << ")\n";
        }
    }
    return valid ? ExitOk : ExitInvalid;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TCheckOptions>();
    CLI::App* command = app.add_subcommand("check", "Check interchanges against their message tables");
    command->add_option("FILE", options->Files, "Interchange files; - reads standard input")->required();
    command->add_flag("--all-errors", options->AllErrors,
                      "Report every segment sequence error of a message, not only the first");
    command->add_flag("--strict", options->Strict,
                      "Also check element sizes, numeric values and the envelope's counts and references; "
                      "warnings then fail the check");
    AddReadOptions(*command, *options);
    command->callback([options, &run] {
        run = [options] {
            auto catalogue = MakeCatalogue(*options);
            int exitCode = ExitOk;
            for (const std::string& file : options->Files)
                exitCode = std::max(exitCode, CheckFile(file, *options, *catalogue));
            return exitCode;
        };
    });
});

} // namespace
} // namespace talmiro::cli
