#include "compiler_test_util.h"

#include <filesystem>

using namespace talmiro;
using talmiro::test::ReadAll;
using talmiro::test::TempDir;

namespace {

// A compiler that only records that it was asked to compile.
class TRecordingCompiler : public TCustomCompiler {
public:
    void CompileToStream(TStream& stream) override {
        ++Calls;
        stream.WriteText("x");
    }
    int Calls = 0;
};

std::vector<std::string> FilesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

const char* const GoodSdf = "SEGMENTS SEGMENT 'UNH' FIELD '0062' ALNUM (1:14); END; END;";

} // namespace

TEST(CompileFile, BaseCompileDoesNothing) {
    TempDir dir;
    TRecordingCompiler compiler;
    compiler.SetSourceFile(dir.Write("x.sdf", GoodSdf));
    compiler.Compile();
    EXPECT_EQ(compiler.Calls, 0);
    EXPECT_EQ(FilesIn(dir.Path), (std::vector<std::string>{"x.sdf"}));
}

TEST(CompileFile, CompileWritesBesideTheSource) {
    TempDir dir;
    TCompilerSDF sdf;
    sdf.SetSourceFile(dir.Write("std/D96A.sdf", GoodSdf));
    sdf.Compile();
    EXPECT_FALSE(sdf.Active());
    TCompilerMDF mdf;
    mdf.SetSourceFile(dir.Write("std/ORDERS.mdf",
                                "MESSAGE 'ORDERS' IDENTIFICATION 65='ORDERS' SEGMENTS 'D96A';"
                                "STRUCTURE SEGMENT 'UNH' MANDATORY (1); END;"));
    mdf.Compile();
    mdf.SetSourceFile(
        dir.Write("std/NOEXT", "MESSAGE 'X' IDENTIFICATION 65='X' SEGMENTS 'D96A'; STRUCTURE END;"));
    mdf.Compile();
    EXPECT_EQ(FilesIn(dir.Path / "std"), (std::vector<std::string>{"D96A.SDT", "D96A.sdf", "NOEXT",
                                                                   "NOEXT.MDT", "ORDERS.MDT", "ORDERS.mdf"}));
    const std::string sdt = ReadAll(dir.File("std/D96A.SDT"));
    EXPECT_EQ(sdt.substr(320, 4), std::string("\x01\0\0\0", 4));
    TMemoryStream direct;
    sdf.CompileToStream(direct);
    EXPECT_EQ(sdt.substr(20), direct.Text().substr(20));
    // The table gets the permissions of any new file, not those of a private temporary one.
    { TFileStream reference(dir.File("reference"), TFileMode::Create); }
    EXPECT_EQ(std::filesystem::status(dir.File("std/D96A.SDT")).permissions(),
              std::filesystem::status(dir.File("reference")).permissions());
}

TEST(CompileFile, FailureKeepsTheEarlierTable) {
    TempDir dir;
    TCompilerSDF compiler;
    const std::string source = dir.Write("D96A.sdf", GoodSdf);
    compiler.SetSourceFile(source);
    compiler.Compile();
    const std::string good = ReadAll(dir.File("D96A.SDT"));
    ASSERT_GT(good.size(), 324u);

    // A source that breaks after one segment has been written.
    dir.Write("D96A.sdf", "SEGMENTS SEGMENT 'A' END;\n SEGMENT 'B' FIELD 'X' ALNUM (1:1) ; END; ;");
    try {
        compiler.Compile();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "SEGMENT expected");
    }
    EXPECT_EQ(compiler.LineNumber(), 2);
    EXPECT_FALSE(compiler.Active());
    EXPECT_EQ(ReadAll(dir.File("D96A.SDT")), good);
    EXPECT_EQ(FilesIn(dir.Path), (std::vector<std::string>{"D96A.SDT", "D96A.sdf"}));

    // A source that cannot be found leaves the table and no temporary file either.
    compiler.SetSourceFile(dir.File("gone.sdf"));
    EXPECT_THROW(compiler.CompileToFile(dir.File("D96A.SDT")), Exception);
    EXPECT_EQ(ReadAll(dir.File("D96A.SDT")), good);
    EXPECT_EQ(FilesIn(dir.Path), (std::vector<std::string>{"D96A.SDT", "D96A.sdf"}));

    // The same component compiles again after a failure.
    compiler.SetSourceFile(dir.Write("D96A.sdf", "SEGMENTS END;"));
    compiler.Compile();
    EXPECT_EQ(ReadAll(dir.File("D96A.SDT")).size(), 324u);

    // An output directory that does not exist is the file layer's create error.
    try {
        compiler.CompileToFile(dir.File("no/such/dir/X.SDT"));
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Datei " + dir.File("no/such/dir/X.SDT") + " kann nicht erstellt werden");
    }
    EXPECT_FALSE(compiler.Active());
}

TEST(CompileFile, SourceIsNeverItsOwnOutput) {
    TempDir dir;
    TCompilerSDF compiler;
    const std::string source = dir.Write("odd.SDT", GoodSdf);
    compiler.SetSourceFile(source);
    try {
        compiler.Compile();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "The output file " + source + " is the source file");
    }
    EXPECT_EQ(ReadAll(source), GoodSdf);
    EXPECT_FALSE(compiler.Active());
}

TEST(CompileFile, StreamIsWrittenFromItsPositionAndLeftAtItsEnd) {
    TempDir dir;
    TCompilerSDF compiler;
    compiler.SetSourceFile(dir.Write("a.sdf", GoodSdf));
    TMemoryStream out;
    out.WriteText("prefix");
    compiler.CompileToStream(out);
    EXPECT_EQ(out.Position(), out.Size());
    const std::string t = out.Text();
    EXPECT_EQ(t.substr(0, 8), std::string("prefix\x01\x01", 8));
    EXPECT_EQ(t.substr(6 + 320, 4), std::string("\x01\0\0\0", 4));

    // Written over longer content, a message table also leaves the position at the stream's end.
    TCompilerMDF mdf;
    mdf.SetSourceFile(dir.Write("m.mdf", "MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS 'S'; STRUCTURE END;"));
    TMemoryStream longer;
    longer.WriteText(std::string(1000, 'z'));
    longer.Seek(0);
    mdf.CompileToStream(longer);
    EXPECT_EQ(longer.Size(), 1000);
    EXPECT_EQ(longer.Position(), longer.Size());
    EXPECT_EQ(longer.Text().substr(0, 6), std::string("\x01\x01\0\0\xF2\xED", 6));
}
