// talmiro-cli show FILE --segment N: one segment as the viewer's details panel shows it.
#include "inputs.h"
#include "report.h"

#include "talmiro/code_names.h"

#include "talmiro/exceptions.h"
#include "talmiro/segment_details.h"

#include <iostream>

namespace talmiro::cli {
namespace {

struct TShowOptions : TReadOptions {
    std::string File;
    int64_t Segment = 0;
};

// The index of the n-th segment node in file order, or None.
int32_t FindSegment(const TInterchangeTree& tree, int64_t n) {
    std::vector<std::pair<int32_t, size_t>> stack{{TInterchangeTree::None, 0}};
    while (!stack.empty()) {
        auto& [parent, next] = stack.back();
        const std::vector<int32_t>& children = tree.ChildrenOf(parent);
        if (next == children.size()) {
            stack.pop_back();
            continue;
        }
        int32_t index = children[next++];
        if (tree.NodeAt(index).Kind == TNodeKind::Segment) {
            if (--n == 0) return index;
        } else {
            stack.push_back({index, 0});
        }
    }
    return TInterchangeTree::None;
}

int RunShow(const TShowOptions& options) {
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
    nlohmann::json errors = nlohmann::json::array();
    for (const TDiagnostic& d : session.Diagnostics)
        errors.push_back(DiagnosticJson(d));
    if (!options.Json()) PrintDiagnostics(input.Name, session.Diagnostics);
    int exitCode = session.ErrorCount() == 0 ? ExitOk : ExitInvalid;

    // Segments read before an error can still be shown, as in the viewer.
    const TInterchangeTree& tree = reader.Tree();
    const int32_t index = FindSegment(tree, options.Segment);
    if (index == TInterchangeTree::None) {
        const std::string text = "no segment " + std::to_string(options.Segment) + " (" +
                                 std::to_string(session.SegmentCount) + " segments read)";
        if (options.Json())
            PrintJson({{"file", input.Name},
                       {"valid", false},
                       {"segment", nullptr},
                       {"error", text},
                       {"errors", errors}});
        else
            std::cerr << input.Name << ": " << text << '\n';
        return ExitUsage;
    }

    std::unique_ptr<TEdiSegment> segment;
    try {
        segment = tree.ReadSegment(index, *input.Stream);
    } catch (const Exception& e) {
        std::cerr << input.Name << ": " << e.what() << '\n';
        return ExitInvalid;
    }
    const std::string raw = SegmentRawText(*segment, *input.Stream);
    const std::shared_ptr<const TCodeLists> codes = CodeListsToShow(tree.TableOf(index));
    std::vector<std::string> lines;
    AddSegmentLines(lines, *segment, codes.get());
    TLocator locator(*input.Stream);
    const TLocation location = locator.At(tree.NodeAt(index).StartPos, options.Segment);

    if (options.Json()) {
        PrintJson({{"file", input.Name},
                   {"valid", exitCode == ExitOk},
                   {"segment", ViewerText({{"tag", segment->ID},
                                           {"description", segment->Description},
                                           {"raw", raw},
                                           {"location", LocationJson(location)},
                                           {"elements", SegmentElementsJson(*segment, codes.get())},
                                           {"lines", lines}},
                                          session.Utf8)},
                   {"errors", errors}});
    } else {
        std::cout << "Segment: " << segment->ID << '\n'
                  << "Description: " << segment->Description << '\n'
                  << "Segment data string:\n"
                  << raw << '\n'
                  << "Segment field data details:\n";
        for (const std::string& line : lines)
            std::cout << line << '\n';
    }
    return exitCode;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TShowOptions>();
    CLI::App* command = app.add_subcommand("show", "Show one segment as the viewer's details panel does");
    command->add_option("FILE", options->File, "Interchange file; - reads standard input")->required();
    command->add_option("--segment", options->Segment, "Number of the segment in file order, from 1")
        ->required()
        ->check(CLI::PositiveNumber);
    AddReadOptions(*command, *options);
    command->callback([options, &run] { run = [options] { return RunShow(*options); }; });
});

} // namespace
} // namespace talmiro::cli
