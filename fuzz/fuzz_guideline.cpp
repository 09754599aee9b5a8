// Guidelines of any bytes: an input that begins as a table header is read as a compiled guideline, any other
// as a guideline source compiled against the imported release D96A. Each succeeds or raises one of the
// engine's errors; a table that was written reads back, and binds to its base message.
#include "fuzz_support.h"

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"
#include "talmiro/guideline.h"
#include "talmiro/guidelines.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_guideline: %s: %s\n", what, detail.c_str());
    std::abort();
}

// The checks bound to the base message, as a reading binds them.
void Bind(const talmiro::TGuideline& guideline) {
    using namespace talmiro;
    static const std::unique_ptr<TEdiMessage> base = [] {
        auto message = std::make_unique<TEdiMessage>();
        message->OnReport = [](const std::string&) {};
        message->LoadStructure(fuzzsupport::DataDir() + "/releases/D96A/ORDERS.MDT");
        return message;
    }();
    TGuidelineCheck check;
    check.Bind(std::make_shared<TGuideline>(guideline), base->Structure.get(), *base->SegmentTable);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    if (size >= 2 && data[0] == 1 && data[1] == 1) {
        TMemoryStream table(std::string_view(reinterpret_cast<const char*>(data), size));
        try {
            Bind(ReadGuideline(table));
        } catch (const Exception&) {
        }
        return 0;
    }
    const std::string source = fuzzsupport::WriteFile("fuzz.gdf", data, size);
    const std::string gdt = fuzzsupport::ScratchDir() + "/fuzz.GDT";
    std::remove(gdt.c_str());
    TCompilerGDF compiler;
    compiler.StandardsDir = fuzzsupport::DataDir() + "/releases";
    bool ok = false;
    try {
        compiler.SetSourceFile(source);
        compiler.Compile();
        ok = true;
    } catch (const Exception&) {
    }
    if (compiler.Active()) Fail("compiler left active", source);
    if (!ok) return 0;
    try {
        Bind(LoadGuideline(gdt));
    } catch (const Exception& e) {
        Fail("compiled guideline does not load", e.what());
    }
    return 0;
}
