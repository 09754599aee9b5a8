// Directory archives of any content: the importer reads the release they hold (nested archives included)
// or raises its import error, with every entry's size taken from the archive bounded before it is read.
#include "fuzz_support.h"

#include "talmiro/exceptions.h"
#include "talmiro/untdid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro::untdid;
    const std::string path = fuzzsupport::WriteFile("fuzz.zip", data, size);
    try {
        TDirectory directory = ImportRelease(path);
        (void)CountDirectory(directory);
        (void)SegmentSource(directory);
        for (const TMessageDef& message : directory.Messages)
            (void)MessageSource(message, directory.Release);
    } catch (const EImportError&) {
    }
    return 0;
}
