// Definition sources of any bytes compile or raise, with both compilers; the compiler is reusable after.
#include "fuzz_support.h"

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    const std::string sdf = fuzzsupport::WriteFile("fuzz.sdf", data, size);
    const std::string mdf = fuzzsupport::WriteFile("fuzz.mdf", data, size);
    TCompilerSDF segments;
    TCompilerMDF messages;
    messages.ProcessSegments = size > 0 && (data[0] & 1);
    messages.SetSearchPath(fuzzsupport::ScratchDir());
    for (TCustomCompiler* compiler :
         {static_cast<TCustomCompiler*>(&segments), static_cast<TCustomCompiler*>(&messages)}) {
        try {
            compiler->SetSourceFile(compiler == &segments ? sdf : mdf);
            compiler->Compile();
        } catch (const Exception&) {
        }
        if (compiler->Active()) std::abort();
    }
    return 0;
}
