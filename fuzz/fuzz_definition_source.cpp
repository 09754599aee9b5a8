// Definition sources of any bytes, compiled by the segment compiler and by the message compiler with and
// without embedded segments (the sources of a real release lie on the search path): each compilation
// succeeds or raises one of the engine's errors, leaves the compiler inactive, and a table it wrote loads.
#include "fuzz_support.h"

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/segment_table.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_definition_source: %s: %s\n", what, detail.c_str());
    std::abort();
}

// Compiles; true when a table was written.
bool Compile(talmiro::TCustomCompiler& compiler, const std::string& source) {
    bool ok = false;
    try {
        compiler.SetSourceFile(source);
        compiler.Compile();
        ok = true;
    } catch (const talmiro::Exception&) {
    }
    if (compiler.Active()) Fail("compiler left active", source);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    static const bool prepared = [] {
        fuzzsupport::CopyToScratch("sources/D96A.sdf");
        fuzzsupport::CopyToScratch("tables/D96A.SDT");
        return true;
    }();
    (void)prepared;
    const std::string sdf = fuzzsupport::WriteFile("fuzz.sdf", data, size);
    const std::string mdf = fuzzsupport::WriteFile("fuzz.mdf", data, size);
    const std::string sdt = fuzzsupport::ScratchDir() + "/fuzz.SDT";
    const std::string mdt = fuzzsupport::ScratchDir() + "/fuzz.MDT";
    // Nothing of an earlier input may answer for this one.
    std::remove(sdt.c_str());
    std::remove(mdt.c_str());

    TCompilerSDF segments;
    if (Compile(segments, sdf)) {
        try {
            (void)LoadSegmentTable(sdt);
        } catch (const Exception& e) {
            Fail("compiled segment table does not load", e.what());
        }
    }

    for (bool embed : {false, true}) {
        TCompilerMDF messages;
        messages.ProcessSegments = embed;
        messages.SetSearchPath(fuzzsupport::ScratchDir());
        if (!Compile(messages, mdf)) continue;
        // An embedded table needs nothing beside it; another one the segment table it names, which may
        // not be there.
        TEdiMessage message;
        message.OnReport = [](const std::string&) {};
        try {
            message.LoadStructure(mdt);
        } catch (const EFOpenError&) {
            if (embed) Fail("compiled message table does not load", "segment table missing");
        } catch (const Exception& e) {
            Fail("compiled message table does not load", e.what());
        }
    }
    return 0;
}
