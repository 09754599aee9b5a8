// talmiro-cli compile SOURCE...: compiles segment definitions (.sdf), message definitions (.mdf) and
// implementation guidelines (.gdf) into the tables beside them.
#include "commands.h"

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"
#include "talmiro/guideline.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace talmiro::cli {
namespace {

struct TCompileOptions {
    std::vector<std::string> Sources;
    bool EmbedSegments = false;
    std::string SearchPath;
    bool Modifiable = false;
    std::string Standards; // base directory of a guideline's base message
};

// "sdf" or "mdf" by the source's extension in any letter case; empty for anything else.
std::string SourceKind(const std::string& file) {
    const size_t slash = file.find_last_of('/');
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = file.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == "sdf" || ext == "mdf" || ext == "gdf" ? ext : std::string();
}

std::string DirectoryOf(const std::string& file) {
    const size_t slash = file.find_last_of('/');
    return slash == std::string::npos ? "." : file.substr(0, slash + 1);
}

// True when the source compiled; otherwise the error has been reported as FILE:LINE: error: TEXT.
bool CompileOne(const std::string& file, const TCompileOptions& options) {
    std::unique_ptr<TCustomCompiler> compiler;
    if (SourceKind(file) == "sdf") {
        compiler = std::make_unique<TCompilerSDF>();
    } else if (SourceKind(file) == "gdf") {
        auto gdf = std::make_unique<TCompilerGDF>();
        gdf->StandardsDir = options.Standards;
        compiler = std::move(gdf);
    } else {
        auto mdf = std::make_unique<TCompilerMDF>();
        mdf->ProcessSegments = options.EmbedSegments;
        compiler = std::move(mdf);
    }
    compiler->Modifiable = options.Modifiable;
    // An embedded segment definition source is looked for along the search path; the message
    // definition's own directory comes last, so that a release directory compiles from anywhere.
    std::string searchPath = options.SearchPath;
    if (!searchPath.empty()) searchPath += ';';
    compiler->SetSearchPath(searchPath + DirectoryOf(file));
    try {
        compiler->SetSourceFile(file);
        compiler->Compile();
        return true;
    } catch (const EGuidelineError& e) {
        std::cerr << file << ':' << e.Line << ':' << e.Column << ": error: " << e.what() << '\n';
        return false;
    } catch (const std::exception& e) {
        std::cerr << file << ':' << compiler->LineNumber() << ": error: " << e.what() << '\n';
        return false;
    }
}

int RunCompile(const TCompileOptions& options) {
    for (const auto& file : options.Sources) {
        if (SourceKind(file).empty()) {
            std::cerr << "talmiro-cli: " << file
                      << ": not a definition source (expected .sdf, .mdf or .gdf)\n";
            return ExitUsage;
        }
    }
    bool ok = true;
    for (const auto& file : options.Sources)
        ok = CompileOne(file, options) && ok;
    return ok ? ExitOk : ExitInvalid;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TCompileOptions>();
    CLI::App* command =
        app.add_subcommand("compile", "Compile definition sources (.sdf, .mdf) and guidelines (.gdf) into "
                                      "tables (.SDT, .MDT, .GDT) beside them");
    command->add_option("SOURCE", options->Sources, "Segment or message definition source, or guideline")
        ->required();
    command->add_flag("--embed-segments", options->EmbedSegments,
                      "Embed the segment definitions in message tables instead of naming the .SDT");
    command->add_option("--search-path", options->SearchPath,
                        "Directories separated by ';' searched for sources not found as named");
    command->add_flag("--modifiable", options->Modifiable, "Set the modifiable flag in the table headers");
    command->add_option("--standards", options->Standards,
                        "Base directory holding a guideline's base message (default: the parent of the "
                        "guideline's folder)");
    command->callback([options, &run] { run = [options] { return RunCompile(*options); }; });
});

} // namespace
} // namespace talmiro::cli
