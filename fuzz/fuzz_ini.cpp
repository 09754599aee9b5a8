// Configuration files of any content give a base directory or an empty one.
#include "fuzz_support.h"

#include "talmiro/standards.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::WriteFile("TALMIRO.INI", data, size);
    (void)talmiro::ReadBaseDir(path);
    return 0;
}
