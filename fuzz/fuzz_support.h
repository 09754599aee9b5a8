// Shared helpers of the fuzz targets: a private scratch directory and files written into it, the data the
// build prepared (tables compiled from real directory releases), and a stream that hands out its bytes in
// small windows.
#pragma once

#include "talmiro/exceptions.h"
#include "talmiro/standards.h"
#include "talmiro/streams.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fuzzsupport {

// In memory where the system offers it: most targets write every input to a file.
inline const std::string& ScratchDir() {
    // Never destroyed: the handler that removes the directory at exit runs after static destructors.
    static const std::string* dir = [] {
        std::string pattern =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/talmiro-fuzz-XXXXXX" : "/tmp/talmiro-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern.data());
        if (!made) std::abort();
        auto* path = new std::string(made);
        // libFuzzer ends a run with exit(); the directory goes with it.
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchDir(), ignored);
        });
        return path;
    }();
    return *dir;
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

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the build prepared for the targets (fuzz/seeds.cmake): standards/, the tables of real releases and
// the sources they came from. TALMIRO_FUZZ_DATA overrides the place the build wrote it to.
inline const std::string& DataDir() {
    static const std::string dir = [] {
        const char* env = std::getenv("TALMIRO_FUZZ_DATA");
        std::string path = env && *env ? env : TALMIRO_FUZZ_DATA_DIR;
        if (!std::filesystem::is_directory(path + "/standards")) {
            std::fprintf(stderr, "fuzz data missing in %s: build the fuzz_data target\n", path.c_str());
            std::abort();
        }
        return path;
    }();
    return dir;
}

// Copies a prepared file into the scratch directory, where inputs that name it find it.
inline void CopyToScratch(const std::string& relative) {
    const std::filesystem::path from = DataDir() + "/" + relative;
    std::filesystem::copy_file(from, ScratchDir() + "/" + from.filename().string(),
                               std::filesystem::copy_options::overwrite_existing);
}

// The releases the build compiled for the interchange targets, as the viewer's catalogue lists them.
inline talmiro::TStandardsCatalogue& Catalogue() {
    static talmiro::TStandardsCatalogue catalogue = [] {
        talmiro::TStandardsCatalogue c;
        c.BaseDir = DataDir() + "/standards";
        c.ScanStandards();
        if (c.Standards().empty()) std::abort();
        return c;
    }();
    return catalogue;
}

// A read-only stream over the input that hands out its bytes in windows of a few bytes, as a file hands
// them out in blocks: values, tags and release characters then straddle the ends of the buffer, which a
// stream over the whole input in one buffer never shows.
class TChunkedStream final : public talmiro::TStream {
public:
    TChunkedStream(const uint8_t* data, size_t size, size_t window)
        : data_(data), size_(static_cast<int64_t>(size)),
          window_(static_cast<int64_t>(std::max<size_t>(window, 1))) {
        SeekTo(0);
    }
    int64_t Size() override { return size_; }

protected:
    int Underflow() override {
        const int64_t pos = Position();
        if (pos >= size_) return -1;
        SeekTo(pos);
        return *cur_++;
    }
    void SeekTo(int64_t position) override {
        const int64_t at = std::min(position, size_);
        buf_ = cur_ = data_ + at;
        end_ = data_ + std::min(size_, at + window_);
        bufPos_ = position; // beyond the end the window is empty and Position() what was asked for
    }
    void WriteAt(const void*, size_t) override { throw talmiro::Exception("read-only stream"); }

private:
    const uint8_t* data_;
    int64_t size_;
    int64_t window_;
};

// A window size for an input: small and odd ones most of the time, now and then one large buffer.
inline size_t WindowFor(size_t size) {
    static constexpr size_t Windows[] = {1, 2, 3, 5, 16, 17, 64, 1 << 16};
    return Windows[size % std::size(Windows)];
}

} // namespace fuzzsupport
