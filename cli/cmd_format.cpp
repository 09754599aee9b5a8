// talmiro-cli format FILE: the interchange in another layout, its control counts mended on request.
#include "commands.h"
#include "inputs.h"
#include "output.h"

#include "talmiro/interchange_edit.h"

#include <iostream>

namespace talmiro::cli {
namespace {

struct TFormatOptions {
    std::string File;
    std::string Output;
    bool OnePerLine = false;
    bool OneLine = false;
    bool FixCounts = false;
    bool InPlace = false;
};

int RunFormat(const TFormatOptions& options) {
    if (options.InPlace && (!options.Output.empty() || options.File == "-")) {
        std::cerr << "talmiro-cli: --in-place writes over FILE: it takes neither -o nor standard input\n";
        return ExitUsage;
    }
    std::string error;
    TInput input = OpenInput(options.File, error);
    if (!input.Stream) {
        std::cerr << "talmiro-cli: " << error << '\n';
        return ExitUsage;
    }
    if (!CheckNotInput(options.File, options.Output, "; to write over it, give --in-place instead of -o",
                       error)) {
        std::cerr << "talmiro-cli: " << error << '\n';
        return ExitUsage;
    }
    const TLayoutChoice layout = options.OnePerLine ? TLayoutChoice::OnePerLine
                                 : options.OneLine  ? TLayoutChoice::OneLine
                                                    : TLayoutChoice::Keep;
    std::vector<TByteEdit> edits;
    if (options.FixCounts) {
        const std::vector<TControlFix> fixes = PlanControlFixes(*input.Stream);
        for (const TControlFix& fix : fixes)
            std::cerr << input.Name << ": segment " << fix.Segment << ": " << fix.Description << '\n';
        edits = EditsOf(fixes);
    }
    TEditedStream edited(*input.Stream, std::move(edits));
    TOutput output(options.InPlace ? ReplacedFile(options.File) : options.Output);
    WriteInterchange(edited, layout, [&output](std::string_view bytes) { output.Write(bytes); });
    output.Commit();
    return ExitOk;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TFormatOptions>();
    CLI::App* command = app.add_subcommand(
        "format",
        "Write an interchange in another layout, its control counts and references mended on request");
    command->add_option("FILE", options->File, "Interchange file; - reads standard input")->required();
    auto* perLine = command->add_flag("--one-per-line", options->OnePerLine, "One segment per line");
    auto* oneLine = command->add_flag("--one-line", options->OneLine, "All segments on one line");
    perLine->excludes(oneLine);
    command->add_flag("--fix-counts", options->FixCounts,
                      "Set the UNT, UNE and UNZ counts and trailer references to what the interchange holds "
                      "(each change is listed on standard error)");
    auto* out = command->add_option("-o,--output", options->Output, "Output file (default: standard output)");
    command->add_flag("--in-place", options->InPlace, "Replace FILE (once the new text is complete)")
        ->excludes(out);
    command->callback([options, &run] { run = [options] { return RunFormat(*options); }; });
});

} // namespace
} // namespace talmiro::cli
