// Configuration files of any content give a base directory or an empty one, taken from a single line.
#include "fuzz_support.h"

#include "talmiro/standards.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::WriteFile("TALMIRO.INI", data, size);
    const std::string baseDir = talmiro::ReadBaseDir(path);
    if (baseDir.find('\n') != std::string::npos || baseDir.size() > size) std::abort();
    return 0;
}
