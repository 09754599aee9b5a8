// talmiro-cli guideline new TYPE RELEASE: a skeleton guideline source of a UN message;
// talmiro-cli guideline doc GUIDELINE: a guideline as the readable document partners exchange.
#include "commands.h"
#include "inputs.h"

#include "talmiro/edi_writer.h"
#include "talmiro/guideline_text.h"
#include "talmiro/message.h"

#include <fstream>
#include <iostream>

namespace talmiro::cli {
namespace {

struct TGuidelineOptions : TReadOptions {
    std::string Type, Release, Out, Name, DocFormat = "markdown";
};

// D96A -> D and 96A; S93A style releases keep their first letter as version too.
bool SplitRelease(const std::string& text, std::string& version, std::string& release) {
    if (text.size() < 2) return false;
    version = text.substr(0, 1);
    release = text.substr(1);
    return true;
}

std::unique_ptr<TEdiMessage> LoadBase(const std::string& baseDir, const std::string& type,
                                      const std::string& version, const std::string& release) {
    const std::string file = BaseMessageFile(baseDir, type, version, release);
    if (!FileExists(file))
        throw Exception("Message " + type + " " + version + release + " is not installed (" + file + ")");
    auto base = std::make_unique<TEdiMessage>();
    base->OnReport = [](const std::string&) {};
    base->LoadStructure(file);
    return base;
}

int Emit(const std::string& text, const std::string& out) {
    if (out.empty() || out == "-") {
        std::cout << text;
        return ExitOk;
    }
    TReplacingFile file(out);
    file.Write(text);
    file.Commit();
    return ExitOk;
}

int RunNew(const TGuidelineOptions& options) {
    std::string version, release;
    if (!SplitRelease(options.Release, version, release)) {
        std::cerr << "talmiro-cli: " << options.Release << ": not a release such as D96A\n";
        return ExitUsage;
    }
    const std::string baseDir = MakeCatalogue(options)->BaseDir;
    auto base = LoadBase(baseDir, options.Type, version, release);
    return Emit(GuidelineSkeleton(*base, version, release), options.Out);
}

int RunDoc(const TGuidelineOptions& options) {
    TGuidelineSetup setup;
    TReadOptions named = options;
    named.Guideline = options.Name;
    if (!LoadGuidelines(named, setup)) return ExitUsage;
    const std::string baseDir = MakeCatalogue(options)->BaseDir;
    auto base = LoadBase(baseDir, setup.Named->Type, setup.Named->Version, setup.Named->Release);
    return Emit(GuidelineDocument(*setup.Named, *base,
                                  options.DocFormat == "html" ? TDocFormat::Html : TDocFormat::Markdown),
                options.Out);
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TGuidelineOptions>();
    CLI::App* command = app.add_subcommand("guideline", "Start or render an implementation guideline");
    command->require_subcommand(1);

    CLI::App* create = command->add_subcommand(
        "new",
        "Write a skeleton guideline source: every segment, group, element and component of a UN message");
    create->add_option("TYPE", options->Type, "Message type, such as ORDERS")->required();
    create->add_option("RELEASE", options->Release, "Directory release, such as D96A")->required();
    create->add_option("--out", options->Out, "File to write (default: standard output)");
    create->add_option("--standards", options->Standards, "Base directory of the standards")
        ->check(CLI::ExistingDirectory);
    create->callback([options, &run] { run = [options] { return RunNew(*options); }; });

    CLI::App* doc = command->add_subcommand("doc", "Render a guideline as a document for partners");
    doc->add_option("GUIDELINE", options->Name,
                    "An installed guideline by name, a .GDT table or a .gdf source")
        ->required();
    doc->add_option("--format", options->DocFormat, "Document format")
        ->check(CLI::IsMember({"markdown", "html"}))
        ->default_str("markdown");
    doc->add_option("--out", options->Out, "File to write (default: standard output)");
    doc->add_option("--standards", options->Standards, "Base directory of the standards")
        ->check(CLI::ExistingDirectory);
    doc->callback([options, &run] { run = [options] { return RunDoc(*options); }; });
});

} // namespace
} // namespace talmiro::cli
