// A compiled segment table file of any content loads whole or raises one of the engine's errors. A loaded
// table finds every tag it holds, in either letter case, copies each definition faithfully and reads a
// segment text with it.
#include "fuzz_support.h"

#include "talmiro/def_stream.h"
#include "talmiro/exceptions.h"
#include "talmiro/segment_table.h"
#include "talmiro/syntax.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& tag) {
    std::fprintf(stderr, "fuzz_segment_table: %s (tag \"%s\")\n", what, tag.c_str());
    std::abort();
}

std::string Definition(const talmiro::TEdiSegment& segment) {
    talmiro::TMemoryStream memory;
    talmiro::TDefWriter writer(memory);
    segment.WriteDef(writer);
    writer.Flush();
    return memory.Text();
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    const std::string path = fuzzsupport::WriteFile("fuzz.SDT", data, size);
    std::unique_ptr<TSegmentTable> table;
    try {
        table = LoadSegmentTable(path);
    } catch (const Exception&) {
        return 0;
    }
    ResetDelimiters();
    for (int i = 0; i < table->Count(); ++i) {
        const std::string& tag = table->Tag(i);
        const TEdiSegment* segment = table->Segment(i);
        if (table->Find(tag) != segment || table->TagIndex(tag) != i) Fail("tag not found", tag);
        if (table->Find(Lower(tag)) != segment) Fail("tag not found in lower case", tag);
        std::unique_ptr<TEdiSegment> copy = CloneSegment(*segment);
        if (Definition(*copy) != Definition(*segment)) Fail("copy differs", tag);
        // A segment text of the definition's tag, two elements with components, read by the copy.
        TMemoryStream text(segment->ID + "+1:2?+3+4'");
        try {
            copy->ReadEdi(text);
        } catch (const Exception&) {
        }
    }
    return 0;
}
