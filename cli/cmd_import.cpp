// talmiro-cli import FILE.json|FILE.xml: an export written back as an interchange.
#include "commands.h"
#include "inputs.h"
#include "output.h"

#include "talmiro/interchange_export.h"

#include <iostream>

namespace talmiro::cli {
namespace {

struct TImportOptions {
    std::string File;
    std::string Output;
    bool OneLine = false;
};

int RunImport(const TImportOptions& options) {
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
    TOutput output(options.Output);
    try {
        ImportInterchange(
            *input.Stream, [&output](std::string_view bytes) { output.Write(bytes); }, options.OneLine);
    } catch (const EImportError& e) {
        std::cerr << "talmiro-cli: " << input.Name << ": " << e.what() << '\n';
        return ExitInvalid;
    }
    output.Commit();
    return ExitOk;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TImportOptions>();
    CLI::App* command = app.add_subcommand("import", "Write an interchange back from its JSON or XML export");
    command->add_option("FILE", options->File, "JSON or XML export; - reads standard input")->required();
    command->add_option("-o,--output", options->Output, "Output file (default: standard output)");
    command->add_flag("--one-line", options->OneLine, "All segments on one line (default: one per line)");
    command->callback([options, &run] { run = [options] { return RunImport(*options); }; });
});

} // namespace
} // namespace talmiro::cli
