// A compiled message table file of any content, with its segments embedded or named in its header (the
// segment tables of real releases lie beside it), loads or raises one of the engine's errors; a failed load
// leaves nothing loaded. A table that loads then reads a real interchange, whatever its structure says.
#include "fuzz_support.h"

#include "talmiro/exceptions.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/message.h"
#include "talmiro/transmission.h"

#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    static const std::string interchange = [] {
        for (const char* release : {"D93A.SDT", "D96A.SDT", "D01B.SDT", "D21B.SDT"})
            fuzzsupport::CopyToScratch(std::string("tables/") + release);
        return fuzzsupport::ReadFile(fuzzsupport::DataDir() + "/orders.edi");
    }();
    const std::string path = fuzzsupport::WriteFile("fuzz.MDT", data, size);

    TEdiMessage message;
    message.OnReport = [](const std::string&) {};
    try {
        message.LoadStructure(path);
    } catch (const Exception&) {
        if (message.Structure || message.SegmentTable) std::abort();
        return 0;
    }
    message.UnloadStructure();

    // The table as the reader uses it: loaded for the message of the interchange, which it then walks.
    TInterchangeReader reader;
    reader.OnGetStructureFile = [&path](TEdiTransmission&, std::string& name) { name = path; };
    reader.Message().OnReport = [](const std::string&) {};
    TMemoryStream stream(interchange);
    try {
        reader.Read(stream);
    } catch (const Exception&) {
    }
    return 0;
}
