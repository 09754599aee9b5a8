// A compiled message table file of any content loads or raises, and a failed load leaves nothing loaded.
#include "fuzz_support.h"

#include "talmiro/exceptions.h"
#include "talmiro/message.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    const std::string path = fuzzsupport::WriteFile("fuzz.MDT", data, size);
    TEdiMessage message;
    message.OnReport = [](const std::string&) {};
    try {
        message.LoadStructure(path);
    } catch (const Exception&) {
        if (message.Structure || message.SegmentTable) std::abort();
    }
    return 0;
}
