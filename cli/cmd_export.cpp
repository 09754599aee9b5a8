// talmiro-cli export FILE --to csv|json|xml: the interchange's values in another format.
#include "commands.h"
#include "inputs.h"
#include "output.h"

#include "talmiro/interchange_export.h"

#include <iostream>

namespace talmiro::cli {
namespace {

struct TExportCommandOptions : TReadOptions {
    std::string File;
    std::string Output;
    std::string To;
    bool Names = false;
};

int RunExport(const TExportCommandOptions& options) {
    std::string error;
    TInput input = OpenInput(options.File, error);
    if (!input.Stream) {
        std::cerr << "talmiro-cli: " << error << '\n';
        return ExitUsage;
    }
    if (!CheckNotInput(options.File, options.Output, "", error)) {
        std::cerr << "talmiro-cli: " << error << '\n';
        return ExitUsage;
    }
    TExportOptions exportOptions;
    exportOptions.Format = options.To == "csv"   ? TExportFormat::Csv
                           : options.To == "xml" ? TExportFormat::Xml
                                                 : TExportFormat::Json;
    exportOptions.Names = options.Names;
    auto catalogue = MakeCatalogue(options);
    TOutput output(options.Output);
    try {
        ExportInterchange(*input.Stream, catalogue.get(), exportOptions,
                          [&output](std::string_view bytes) { output.Write(bytes); });
    } catch (const EFCreateError&) {
        throw;
    } catch (const Exception& e) {
        std::cerr << "talmiro-cli: " << input.Name << ": cannot be exported: " << e.what() << '\n';
        return ExitInvalid;
    }
    output.Commit();
    return ExitOk;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TExportCommandOptions>();
    CLI::App* command = app.add_subcommand("export", "Export an interchange's messages as CSV, JSON or XML");
    command->add_option("FILE", options->File, "Interchange file; - reads standard input")->required();
    command->add_option("--to", options->To, "csv, json or xml")
        ->required()
        ->check(CLI::IsMember({"csv", "json", "xml"}));
    command->add_option("-o,--output", options->Output, "Output file (default: standard output)");
    command->add_flag("--names", options->Names,
                      "JSON and XML: code names and descriptions beside the values (CSV always has them)");
    command
        ->add_option(
            "--standards", options->Standards,
            "Base directory of the standards (default: BASEDIR of the first TALMIRO.INI found beside "
            "the executable, in ~/.config/talmiro or in /etc/talmiro)")
        ->check(CLI::ExistingDirectory);
    command->callback([options, &run] { run = [options] { return RunExport(*options); }; });
});

} // namespace
} // namespace talmiro::cli
