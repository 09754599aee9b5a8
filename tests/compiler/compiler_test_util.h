// Helpers of the compiler tests: compiling a source text in memory, and tables spelt out byte by byte.
#pragma once

#include "talmiro/compiler.h"
#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talmiro::test {

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
