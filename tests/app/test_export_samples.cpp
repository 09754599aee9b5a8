// Over every sample: format keeps the bytes and moves only line ends; export, then import, gives back the
// same segments with the same values and delimiters.
#include "talmiro/interchange_edit.h"
#include "talmiro/interchange_export.h"
#include "talmiro/segment_lexer.h"
#include "talmiro/standards.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

using namespace talmiro;
namespace fs = std::filesystem;

namespace {

std::string Written(const std::string& text, TLayoutChoice layout) {
    TMemoryStream input(text);
    std::string out;
    WriteInterchange(input, layout, [&out](std::string_view bytes) { out += bytes; });
    return out;
}

// The segments of the first interchange as tag, delimiters and values, empty trailing ones dropped: what
// must survive an export and an import.
std::vector<std::string> Segments(const std::string& text) {
    TMemoryStream input(text);
    TSegmentLexer lexer(input);
    std::vector<std::string> out;
    while (lexer.Next()) {
        const TDelimiters& d = lexer.Delimiters();
        std::string line = lexer.Tag + " " + d.ComponentSeparator + d.ElementSeparator + d.ReleaseChar +
                           d.SegmentTerminator + std::string(1, d.RepetitionSeparator);
        if (lexer.Advice) continue;
        std::vector<TRawElement> elements = SplitElements(lexer.Raw(), d);
        for (TRawElement& e : elements)
            while (!e.Components.empty() && e.Components.back().empty())
                e.Components.pop_back();
        while (!elements.empty() && elements.back().Components.empty())
            elements.pop_back();
        for (const TRawElement& e : elements) {
            line += " |";
            for (const std::string& c : e.Components)
                line += " [" + c + "]";
        }
        out.push_back(line);
        if (lexer.Tag == "UNZ") break;
    }
    return out;
}

std::string Exported(TStandardsCatalogue& catalogue, const std::string& text, TExportFormat format) {
    TMemoryStream input(text);
    std::string out;
    ExportInterchange(input, &catalogue, {format, false}, [&out](std::string_view bytes) { out += bytes; });
    return out;
}

std::string Imported(const std::string& text) {
    TMemoryStream input(text);
    std::string out;
    ImportInterchange(input, [&out](std::string_view bytes) { out += bytes; });
    return out;
}

} // namespace

TEST(ExportSamples, FormatAndRoundTripKeepEverySample) {
    const char* standards = std::getenv("TALMIRO_STANDARDS_DIR");
    const char* samples = std::getenv("TALMIRO_SAMPLE_DIRS");
    if (!standards || !samples) GTEST_SKIP() << "TALMIRO_STANDARDS_DIR and TALMIRO_SAMPLE_DIRS not set";
    TStandardsCatalogue catalogue;
    catalogue.BaseDir = standards;
    catalogue.ScanStandards();
    size_t files = 0, exported = 0;
    for (const fs::path& path : test::SampleFiles(samples)) {
        SCOPED_TRACE(path.string());
        const std::string text = test::ReadAll(path);
        ++files;
        EXPECT_TRUE(Written(text, TLayoutChoice::Keep) == text);
        EXPECT_EQ(Written(Written(text, TLayoutChoice::OnePerLine), TLayoutChoice::OneLine),
                  Written(text, TLayoutChoice::OneLine));
        std::string json;
        try {
            json = Exported(catalogue, text, TExportFormat::Json);
        } catch (const Exception&) {
            continue; // does not read: nothing to export (check reports why)
        }
        ++exported;
        const std::vector<std::string> segments = Segments(text);
        const std::string fromJson = Imported(json);
        EXPECT_EQ(Segments(fromJson), segments);
        EXPECT_EQ(Exported(catalogue, fromJson, TExportFormat::Json), json);
        EXPECT_EQ(Segments(Imported(Exported(catalogue, text, TExportFormat::Xml))), segments);
    }
    std::cout << files << " samples, " << exported << " exported and imported back\n";
    EXPECT_GT(exported, 0u);
}
