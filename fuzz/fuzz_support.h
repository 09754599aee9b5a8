// Shared helpers of the fuzz targets: a private scratch directory and files written into it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fuzzsupport {

inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/talmiro-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) std::abort();
        return std::string(made);
    }();
    return dir;
}

inline std::string WriteFile(const std::string& name, const uint8_t* data, size_t size) {
    std::string path = ScratchDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

inline std::string WriteFile(const std::string& name, const std::string& text) {
    return WriteFile(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

} // namespace fuzzsupport
