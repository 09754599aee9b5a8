// talmiro-cli dump FILE: the interchange tree as the viewer builds it.
#include "inputs.h"
#include "report.h"

#include "talmiro/code_names.h"

#include "talmiro/exceptions.h"

#include <iostream>

namespace talmiro::cli {
namespace {

struct TDumpOptions : TReadOptions {
    std::string File;
};

void DumpText(const TInterchangeTree& tree, int32_t parent, size_t depth) {
    for (int32_t child : tree.ChildrenOf(parent)) {
        std::cout << std::string(depth * 2, ' ') << tree.Text(child) << '\n';
        DumpText(tree, child, depth + 1);
    }
}

// Writes the nodes as it walks them, one node's object at a time, so that a large interchange does not
// need its whole document in memory.
struct TJsonDumper {
    const TInterchangeTree& Tree;
    TStream& Stream;
    bool Utf8;
    TLocator Locator{Stream};
    int64_t Segment = 0;

    void Nodes(int32_t parent) {
        std::cout << '[';
        bool first = true;
        for (int32_t index : Tree.ChildrenOf(parent)) {
            const TInterchangeTree::Node& node = Tree.NodeAt(index);
            nlohmann::json json = {{"text", Tree.Text(index)}};
            switch (node.Kind) {
            case TNodeKind::Message:
                json["kind"] = "message";
                break;
            case TNodeKind::Group:
                json["kind"] = "group";
                json["group"] = node.A;
                json["repetition"] = node.B;
                break;
            case TNodeKind::Segment: {
                json["kind"] = "segment";
                TLocation l = Locator.At(node.StartPos, ++Segment);
                json["tag"] = Tree.Text(index);
                json["segment"] = l.Segment;
                json["offset"] = l.Offset;
                json["line"] = l.Line;
                json["column"] = l.Column;
                try {
                    json["elements"] = SegmentElementsJson(*Tree.ReadSegment(index, Stream),
                                                           CodeListsToShow(Tree.TableOf(index)).get());
                } catch (const Exception& e) {
                    json["elements"] = nullptr;
                    json["error"] = e.what();
                }
                break;
            }
            }
            std::string text = JsonText(ViewerText(std::move(json), Utf8));
            std::cout << (first ? "" : ",");
            first = false;
            if (node.Kind == TNodeKind::Segment) {
                std::cout << text;
                continue;
            }
            text.pop_back(); // the object's closing brace: the children follow
            std::cout << text << ",\"children\":";
            Nodes(index);
            std::cout << '}';
        }
        std::cout << ']';
    }
};

int RunDump(const TDumpOptions& options) {
    std::string error;
    TInput input = OpenInput(options.File, error);
    if (!input.Stream) {
        PrintOpenError(input.Name, error, options.Json());
        return ExitUsage;
    }
    TGuidelineSetup guidelines;
    if (!LoadGuidelines(options, guidelines)) return ExitUsage;
    auto catalogue = MakeCatalogue(options);
    TInterchangeReader reader(catalogue.get());
    TValidationOptions validation;
    guidelines.Apply(validation);
    TValidator session(reader, *input.Stream, validation);
    {
        TProgress progress(session, input);
        session.Run();
    }
    session.Locate();
    const bool valid = session.ErrorCount() == 0;
    if (options.Json()) {
        nlohmann::json errors = nlohmann::json::array();
        for (const TDiagnostic& d : session.Diagnostics)
            errors.push_back(DiagnosticJson(d));
        std::cout << "{\"file\":" << JsonText(input.Name) << ",\"valid\":" << (valid ? "true" : "false")
                  << ",\"nodes\":";
        TJsonDumper dumper{reader.Tree(), *input.Stream, session.Utf8};
        dumper.Nodes(TInterchangeTree::None);
        std::cout << ",\"errors\":" << JsonText(errors) << "}\n";
    } else {
        DumpText(reader.Tree(), TInterchangeTree::None, 0);
        std::cout.flush();
        PrintDiagnostics(input.Name, session.Diagnostics);
    }
    return valid ? ExitOk : ExitInvalid;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TDumpOptions>();
    CLI::App* command = app.add_subcommand("dump", "Print the tree of an interchange as the viewer shows it");
    command->add_option("FILE", options->File, "Interchange file; - reads standard input")->required();
    AddReadOptions(*command, *options);
    command->callback([options, &run] { run = [options] { return RunDump(*options); }; });
});

} // namespace
} // namespace talmiro::cli
