// Whatever bytes a source holds, a compilation ends with a table or with one of the compiler's errors.
#include "compiler_test_util.h"

#include <random>

using namespace talmiro;
using talmiro::test::TempDir;

namespace {

const std::string Sdf = "SEGMENTS SEGMENT 'UNH' DESCRIPTION 'MESSAGE HEADER';\n"
                        "FIELD '0062' ALNUM (1:14) DESCRIPTION 'MESSAGE REFERENCE NUMBER';\n"
                        "COMPOSIT 'S009' DESCRIPTION 'MESSAGE IDENTIFIER';\n"
                        "FIELD '0065' ALNUM (1:6); FIELD '0052' ALNUM (1:3); END; END;\n"
                        "SEGMENT 'UNT' FIELD '0074' numeric (1:6); END; END;\n";
const std::string Mdf =
    "MESSAGE 'ORDERS' IDENTIFICATION 65 = 'ORDERS', 52 = 'D' SEGMENTS 'D96A' MEMO ('m');\n"
    "STRUCTURE SEGMENT 'UNH' MANDATORY (1); SEGMENT 'DTM' CONDITIONAL (35) MEMO ('d');\n"
    "GROUP 'NAD' CONDITIONAL (99); SEGMENT 'NAD' MANDATORY (1);\n"
    "GROUP 'CTA' CONDITIONAL (5); SEGMENT 'CTA' MANDATORY (1); END; END;\n"
    "SEGMENT 'UNT' MANDATORY (1); END;\n";

// Compiles the bytes; true when they compiled. Anything but the compiler's own errors fails the test.
template <class Compiler> bool Survives(const TempDir& dir, const std::string& bytes, bool embed = false) {
    Compiler compiler;
    if constexpr (std::is_same_v<Compiler, TCompilerMDF>) compiler.ProcessSegments = embed;
    compiler.SetSearchPath(dir.Path.string());
    compiler.SetSourceFile(dir.Write("fuzz.src", bytes));
    TMemoryStream out;
    try {
        compiler.CompileToStream(out);
    } catch (const Exception&) {
        EXPECT_FALSE(compiler.Active());
        return false;
    }
    EXPECT_FALSE(compiler.Active());
    return true;
}

} // namespace

TEST(BadInput, EveryTruncationOfTheExamples) {
    TempDir dir;
    dir.Write("D96A.SDF", Sdf);
    int compiled = 0;
    for (size_t n = 0; n <= Sdf.size(); ++n)
        compiled += Survives<TCompilerSDF>(dir, Sdf.substr(0, n));
    for (size_t n = 0; n <= Mdf.size(); ++n)
        compiled += Survives<TCompilerMDF>(dir, Mdf.substr(0, n), n % 2 == 0);
    // Only the whole sources (and the ones missing just the final line break) compile.
    EXPECT_EQ(compiled, 4);
}

TEST(BadInput, RandomBytesAndMutations) {
    TempDir dir;
    dir.Write("D96A.SDF", Sdf);
    std::mt19937 rng(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(static_cast<size_t>(byte(rng)) * 4, '\0');
        for (char& c : bytes)
            c = static_cast<char>(byte(rng));
        Survives<TCompilerSDF>(dir, bytes);
        Survives<TCompilerMDF>(dir, bytes, true);
    }
    // Mutations keep most of the grammar intact, so they reach deep into both compilers.
    const char alphabet[] = "'(){};:=,\\ \n\x1A"
                            "0123456789AZaz\x80\xFF";
    for (int round = 0; round < 1500; ++round) {
        std::string sdf = Sdf, mdf = Mdf;
        for (int k = 0; k < 3; ++k) {
            sdf[static_cast<size_t>(rng() % sdf.size())] = alphabet[rng() % (sizeof alphabet - 1)];
            mdf[static_cast<size_t>(rng() % mdf.size())] = alphabet[rng() % (sizeof alphabet - 1)];
        }
        Survives<TCompilerSDF>(dir, sdf);
        Survives<TCompilerMDF>(dir, mdf, round % 3 == 0);
    }
}
