// A compiled segment table file of any content loads whole or raises; nothing else.
#include "fuzz_support.h"

#include "talmiro/exceptions.h"
#include "talmiro/segment_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    const std::string path = fuzzsupport::WriteFile("fuzz.SDT", data, size);
    try {
        auto table = LoadSegmentTable(path);
        for (int i = 0; i < table->Count(); ++i)
            (void)CloneSegment(*table->Segment(i));
    } catch (const Exception&) {
    }
    return 0;
}
