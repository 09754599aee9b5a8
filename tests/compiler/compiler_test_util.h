// Helpers of the compiler tests: a private directory per test and compiling a source text in memory.
#pragma once

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace talmiro::test {

// A fresh directory that is removed afterwards; the current directory is restored too.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "talmiro-compiler-XXXXXX").string();
        Path = ::mkdtemp(pattern.data());
        saved_ = std::filesystem::current_path();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::current_path(saved_, ec);
        std::filesystem::remove_all(Path, ec);
    }
    std::string File(const std::string& name) const { return (Path / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::filesystem::create_directories((Path / name).parent_path());
        // Replacing a file by truncation makes the file system flush it; a new file stays in the cache.
        std::filesystem::remove(Path / name);
        std::ofstream(Path / name, std::ios::binary) << text;
        return File(name);
    }
    std::filesystem::path Path;

private:
    std::filesystem::path saved_;
};

inline std::string ReadAll(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Compiles the source text with a compiler of the given kind; returns the bytes of the table.
template <class Compiler> std::string CompileText(const std::string& source, Compiler* compiler = nullptr) {
    TempDir dir;
    Compiler local;
    Compiler& c = compiler ? *compiler : local;
    c.SetSourceFile(dir.Write("source.def", source));
    TMemoryStream out;
    c.CompileToStream(out);
    return out.Text();
}

// The text of the error the source gives, or "no error".
template <class Compiler> std::string ErrorOf(const std::string& source, Compiler* compiler = nullptr) {
    try {
        CompileText<Compiler>(source, compiler);
    } catch (const Exception& e) {
        return e.what();
    }
    return "no error";
}

// The bytes given as a mix of numbers and texts, so that tests can spell out a table by hand.
struct Bytes {
    std::string Data;
    Bytes& operator()(std::initializer_list<int> bytes) {
        for (int b : bytes)
            Data += static_cast<char>(b);
        return *this;
    }
    Bytes& operator()(const std::string& text) {
        Data += text;
        return *this;
    }
    Bytes& Zeros(size_t n) {
        Data.append(n, '\0');
        return *this;
    }
};

} // namespace talmiro::test
