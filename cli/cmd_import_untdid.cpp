// talmiro-cli import-untdid ARCHIVE|DIR --out DIR: turns one official directory release into our
// definition sources (DIR/<release>/<release>.sdf and one .mdf per batch message).
#include "commands.h"

#include "talmiro/compiler.h"
#include "talmiro/untdid.h"

#include <iostream>
#include <memory>
#include <string>

namespace talmiro::cli {

namespace {

struct TImportOptions {
    std::string Source;
    std::string OutDir;
    bool Quiet = false;
    bool Compile = false;
};

// Compiles the written sources into the tables beside them; false after the first failure, which is
// reported as FILE:LINE: error: TEXT.
bool CompileSources(const std::vector<std::filesystem::path>& sources) {
    for (const auto& source : sources) {
        // The code lists need no compiling.
        if (source.extension() != ".sdf" && source.extension() != ".mdf") continue;
        std::unique_ptr<TCustomCompiler> compiler;
        if (source.extension() == ".sdf")
            compiler = std::make_unique<TCompilerSDF>();
        else
            compiler = std::make_unique<TCompilerMDF>();
        try {
            compiler->SetSourceFile(source.string());
            compiler->Compile();
        } catch (const std::exception& e) {
            std::cerr << source.string() << ':' << compiler->LineNumber() << ": error: " << e.what() << '\n';
            return false;
        }
    }
    return true;
}

int RunImport(const TImportOptions& options) {
    untdid::TDirectory directory;
    std::vector<std::filesystem::path> written;
    try {
        directory = untdid::ImportRelease(options.Source);
        written = untdid::WriteRelease(directory, options.OutDir);
    } catch (const untdid::EImportError& e) {
        std::cerr << "talmiro-cli: " << e.what() << '\n';
        return ExitUsage;
    }
    untdid::TDirectoryCounts counts = untdid::CountDirectory(directory);
    int lossy = 0;
    for (const auto& w : directory.Warnings) {
        if (w.LosesData) ++lossy;
        if (options.Quiet && !w.LosesData) continue;
        std::cerr << "warning: " << w.File;
        if (w.Line > 0) std::cerr << ':' << w.Line;
        std::cerr << ": " << w.Text << '\n';
    }
    std::cout << directory.Release << ": " << counts.Segments << " segments, " << counts.Composites
              << " composites, " << counts.Elements << " elements, " << counts.Messages << " messages";
    if (counts.CodeLists > 0) std::cout << ", " << counts.CodeLists << " code lists";
    if (directory.InteractiveSkipped > 0)
        std::cout << " (" << directory.InteractiveSkipped << " interactive skipped)";
    std::cout << ", " << directory.Warnings.size() << " warnings";
    if (lossy > 0) std::cout << " (" << lossy << " with lost definitions)";
    std::cout << '\n';
    if (options.Compile && !CompileSources(written)) return ExitInvalid;
    return ExitOk;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TImportOptions>();
    CLI::App* sub = app.add_subcommand("import-untdid", "Import an official UN/EDIFACT directory release");
    sub->add_option("source", options->Source,
                    "The UN's directory archive (dXXX.zip) or a folder of its files")
        ->required();
    sub->add_option("--out", options->OutDir, "Folder that receives <release>/ with the definition sources")
        ->required();
    sub->add_flag("--quiet", options->Quiet, "Report only warnings that lose definitions");
    sub->add_flag("--compile", options->Compile, "Also compile the written sources into their tables");
    sub->callback([options, &run] { run = [options] { return RunImport(*options); }; });
});

} // namespace

} // namespace talmiro::cli
