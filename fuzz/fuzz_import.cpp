// Exports of any content, JSON or XML, written back as an interchange: an input that is not an export gets
// EImportError and nothing else; one that is gives segments that end with their terminator.
#include "fuzz_support.h"

#include "talmiro/interchange_export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    talmiro::TMemoryStream input(std::string_view(reinterpret_cast<const char*>(data), size));
    std::string out;
    try {
        talmiro::ImportInterchange(input, [&out](std::string_view bytes) { out += bytes; });
    } catch (const talmiro::EImportError&) {
        return 0;
    }
    // Every segment is followed by a line end: the output of an import is never empty nor cut short.
    if (out.empty() || out.back() != '\n') std::abort();
    return 0;
}
