// The envelope segments written into every segment source compile to exactly the engine's built-in ones.
#include "talmiro/compiler.h"
#include "talmiro/segment_table.h"
#include "talmiro/service_segments.h"
#include "talmiro/untdid.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace talmiro;
namespace fs = std::filesystem;

namespace {

// "ID Description" of the elements, composites with their components in brackets, simple elements with
// type and sizes.
std::string Describe(const TEdiComposit& container) {
    std::string out;
    for (const auto& element : container.Elements) {
        if (!out.empty()) out += "; ";
        if (auto* field = dynamic_cast<const TEDIField*>(element.get())) {
            out += field->ID + " " + std::to_string(field->FieldType) + " " + std::to_string(field->MinSize) +
                   ":" + std::to_string(field->MaxSize) + " '" + field->Description + "'";
        } else {
            auto& composite = static_cast<const TEdiComposit&>(*element);
            out += composite.ID + " '" + composite.Description + "' [" + Describe(composite) + "]";
        }
    }
    return out;
}

} // namespace

TEST(Envelope, GeneratedServiceSegmentsEqualTheBuiltInOnes) {
    untdid::TDirectory directory;
    directory.Release = "DTST";
    directory.Segments = untdid::ServiceSegments();
    fs::path dir = fs::temp_directory_path() / ("talmiro_untdid_envelope_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    auto written = untdid::WriteRelease(directory, dir);
    TCompilerSDF compiler;
    compiler.SetSourceFile(written.at(0).string());
    compiler.Compile();
    auto table = LoadSegmentTable((dir / "DTST" / "DTST.SDT").string());
    ASSERT_TRUE(table);

    TSegmUNG ung;
    TSegmUNH unh;
    TSegmUNT unt;
    TSegmUNE une;
    TSegmUNZ unz;
    for (const TEdiSegment* builtIn :
         std::initializer_list<const TEdiSegment*>{&ung, &unh, &unt, &une, &unz}) {
        const TEdiSegment* generated = table->Find(builtIn->ID);
        ASSERT_NE(generated, nullptr) << builtIn->ID;
        EXPECT_EQ(Describe(*generated), Describe(*builtIn)) << builtIn->ID;
    }
    const TEdiSegment* uns = table->Find("UNS");
    ASSERT_NE(uns, nullptr);
    EXPECT_EQ(Describe(*uns), "0081 1 1:1 'SECTION IDENTIFICATION'");
    EXPECT_NE(table->Find("UGH"), nullptr);
    fs::remove_all(dir);
}
