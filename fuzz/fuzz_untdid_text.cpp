// Directory texts of any content, read by the importer as a segment directory and as a message text. What
// the importer makes of them is written as definition sources, which the compilers then take.
#include "fuzz_support.h"

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"
#include "talmiro/untdid.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_untdid_text: %s: %s\n", what, detail.c_str());
    std::abort();
}

void Compile(talmiro::TCustomCompiler& compiler, const std::string& name, const std::string& source) {
    try {
        compiler.SetSourceFile(fuzzsupport::WriteFile(name, source));
        compiler.CompileToFile(fuzzsupport::ScratchDir() + "/out.tab");
    } catch (const talmiro::Exception& e) {
        std::fprintf(stderr, "%s\n", source.c_str());
        Fail("the importer wrote a source that does not compile", e.what());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    using namespace talmiro::untdid;
    const std::string text = Cp437ToText(std::string_view(reinterpret_cast<const char*>(data), size));

    TDirectory directory;
    directory.Release = "D96A";
    try {
        directory.Segments = ParseSegmentDirectory(text, "EDSD.96A", directory.Warnings);
        TCompilerSDF segments;
        Compile(segments, "D96A.sdf", SegmentSource(directory));
    } catch (const EImportError&) {
    }

    TMessageDef message;
    try {
        if (!ParseMessage(text, "ORDERS_D.96A", message, directory.Warnings)) return 0;
    } catch (const EImportError&) {
        return 0;
    }
    directory.Messages.push_back(message);
    (void)CountDirectory(directory);
    TCompilerMDF messages;
    Compile(messages, "ORDERS.mdf", MessageSource(message, "D96A"));
    return 0;
}
