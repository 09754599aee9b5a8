#include "compiler_test_util.h"

#include "talmiro/def_stream.h"
#include "talmiro/message.h"

#include <cstring>
#include <filesystem>

using namespace talmiro;
using talmiro::test::Bytes;
using talmiro::test::CompileText;
using talmiro::test::ErrorOf;
using talmiro::test::TempDir;

namespace {

const char* const ExampleMdf = "MESSAGE 'ORDERS'\n"
                               "IDENTIFICATION 65 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'\n"
                               "SEGMENTS 'D96A'\n"
                               "MEMO ('Purchase order message');\n"
                               "STRUCTURE\n"
                               "SEGMENT 'UNH' MANDATORY (1);\n"
                               "SEGMENT 'BGM' MANDATORY (1);\n"
                               "SEGMENT 'DTM' CONDITIONAL (35) MEMO ('Date/time/period');\n"
                               "GROUP 'NAD' CONDITIONAL (99);\n"
                               "SEGMENT 'NAD' MANDATORY (1);\n"
                               "GROUP 'CTA' CONDITIONAL (5);\n"
                               "SEGMENT 'CTA' MANDATORY (1);\n"
                               "SEGMENT 'COM' CONDITIONAL (5);\n"
                               "END;\n"
                               "END;\n"
                               "SEGMENT 'UNT' MANDATORY (1);\n"
                               "END;\n";

// The header bytes of a message table with the given slots, time stamp zero.
Bytes Header(const std::string& name, const std::vector<std::string>& ident, const std::string& sdt) {
    Bytes b;
    b({1, 1, 0, 0, 0xF2, 0xED, 0, 0, 0, 0, 0, 0}).Zeros(8);
    auto slot = [&](const std::string& text) {
        b({static_cast<int>(text.size())})(text).Zeros(6 - text.size());
    };
    slot(name);
    for (const auto& v : ident)
        slot(v);
    b({static_cast<int>(sdt.size())})(sdt).Zeros(255 - sdt.size()).Zeros(2);
    return b;
}

std::string Body(const std::string& table) {
    return table.substr(TableHeaderSize);
}
std::string WithoutStamp(std::string table) {
    if (table.size() >= 20) std::memset(table.data() + 12, 0, 8);
    return table;
}
std::string MdfError(const std::string& source) {
    return ErrorOf<TCompilerMDF>(source);
}

// The structure records of a table as a readable trace: "S tag cond max [memo]", "G n tag cond max",
// "E n" and "END".
std::string Trace(const std::string& table) {
    TMemoryStream stream(std::string_view(table).substr(TableHeaderSize));
    TDefReader r(stream);
    if (r.GetBoolean()) r.GetText();
    if (r.GetBoolean()) throw std::runtime_error("embedded segments");
    std::string out;
    for (;;) {
        const int32_t id = r.GetInteger();
        if (!out.empty()) out += " | ";
        if (id == StructureEndRecordId) return out + "END";
        if (id == GroupEndRecordId) {
            out += "E" + std::to_string(r.GetInteger());
            continue;
        }
        std::string number;
        if (id == GroupRecordId)
            number = "G" + std::to_string(r.GetInteger()) + " ";
        else if (id != rtSegment)
            throw std::runtime_error("bad record");
        else
            number = "S ";
        // One value at a time: the reads must happen in file order.
        out += number;
        out += r.GetText();
        out += " ";
        out += r.GetChar();
        out += " ";
        out += std::to_string(r.GetInteger());
        if (r.GetBoolean()) out += " [" + r.GetText() + "]";
    }
}

const std::string Head = "MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS 'S';";

} // namespace

TEST(CompilerMDF, ExampleCompilesToTheDocumentedBytes) {
    Bytes e = Header("ORDERS", {"ORDERS", "D", "96A", "UN", ""}, "D96A.SDT");
    ASSERT_EQ(e.Data.size(), 320u);
    e({9, 6, 22})("Purchase order message")({8});
    auto segment = [&](const std::string& tag, char cond, int max) {
        e({4, 3, 0xED, 0, 0, 6, static_cast<int>(tag.size())})(tag)({6, 1, cond, 2, max});
    };
    segment("UNH", 'M', 1);
    e({8});
    segment("BGM", 'M', 1);
    e({8});
    segment("DTM", 'C', 35);
    e({9, 6, 16})("Date/time/period");
    e({4, 4, 0xED, 0, 0, 2, 1, 6, 3})("NAD")({6, 1, 'C', 2, 99, 8});
    segment("NAD", 'M', 1);
    e({8});
    e({4, 4, 0xED, 0, 0, 2, 2, 6, 3})("CTA")({6, 1, 'C', 2, 5, 8});
    segment("CTA", 'M', 1);
    e({8});
    segment("COM", 'C', 5);
    e({8});
    e({4, 5, 0xED, 0, 0, 2, 2});
    e({4, 5, 0xED, 0, 0, 2, 1});
    segment("UNT", 'M', 1);
    e({8});
    e({4, 6, 0xED, 0, 0});

    const std::string actual = CompileText<TCompilerMDF>(ExampleMdf);
    double stamp = 0;
    std::memcpy(&stamp, actual.data() + 12, 8);
    EXPECT_GT(stamp, 43831.0);
    EXPECT_EQ(WithoutStamp(actual), e.Data);

    // The clauses in another order give the same table.
    const std::string reordered = CompileText<TCompilerMDF>(
        "MESSAGE 'ORDERS' SEGMENTS 'D96A' MEMO ('Purchase order message') "
        "IDENTIFICATION 0065 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'; STRUCTURE "
        "SEGMENT 'UNH' MANDATORY (1); SEGMENT 'BGM' MANDATORY (1); "
        "SEGMENT 'DTM' CONDITIONAL (35) MEMO ('Date/time/period'); GROUP 'NAD' CONDITIONAL (99); "
        "SEGMENT 'NAD' MANDATORY (1); GROUP 'CTA' CONDITIONAL (5); SEGMENT 'CTA' MANDATORY (1); "
        "SEGMENT 'COM' CONDITIONAL (5); END; END; SEGMENT 'UNT' MANDATORY (1); END; not read at all");
    EXPECT_EQ(WithoutStamp(reordered), e.Data);
}

TEST(CompilerMDF, HeaderValuesAndMemos) {
    const std::string t = CompileText<TCompilerMDF>("message 'LONGNAME1' identification 57='ASSOC12', 65='X' "
                                                    "segments 'dir/D96A' memo ('  \t ');"
                                                    "structure segment 'UNH' mandatory (0) memo (''); end;");
    Bytes e = Header("LONGNA", {"X", "", "", "", "ASSOC1"}, "dir/D96A.SDT");
    EXPECT_EQ(WithoutStamp(t).substr(0, 320), e.Data);
    // An all-blank message memo counts as none; an empty entry memo is written as it is.
    Bytes body;
    body({8, 8, 4, 3, 0xED, 0, 0, 6, 3})("UNH")({6, 1, 'M', 2, 0, 9, 6, 0, 4, 6, 0xED, 0, 0});
    EXPECT_EQ(Body(t), body.Data);
    // The message memo is trimmed of blanks and control characters; an entry memo is not.
    const std::string m = CompileText<TCompilerMDF>(Head.substr(0, Head.size() - 1) +
                                                    "MEMO (' \r\n memo text\t ');STRUCTURE "
                                                    "SEGMENT 'A' CONDITIONAL (2) MEMO (' x '); END;");
    Bytes mb;
    mb({9, 6, 9})("memo text")({8, 4, 3, 0xED, 0, 0, 6, 1})("A")({6, 1, 'C', 2, 2, 9, 6, 3})(" x ")(
        {4, 6, 0xED, 0, 0});
    EXPECT_EQ(Body(m), mb.Data);
    // A slot name of 255 characters fills the field; a longer one is cut.
    const std::string longBase(300, 'b');
    const std::string l = CompileText<TCompilerMDF>("MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS '" +
                                                    longBase + "'; STRUCTURE END;");
    EXPECT_EQ(static_cast<unsigned char>(l[62]), 255);
    EXPECT_EQ(l.substr(63, 255), std::string(255, 'b'));
    EXPECT_EQ(l.substr(318, 2), std::string(2, '\0'));
    TCompilerMDF modifiable;
    modifiable.Modifiable = true;
    EXPECT_EQ(CompileText<TCompilerMDF>(Head + "STRUCTURE END;", &modifiable)[8], 1);
}

TEST(CompilerMDF, GroupNumbersFollowTheSource) {
    EXPECT_EQ(
        Trace(CompileText<TCompilerMDF>(Head +
                                        "STRUCTURE"
                                        " SEGMENT 'UNH' MANDATORY (1);"
                                        " GROUP 'NAD' CONDITIONAL (99) MEMO ('parties');"
                                        "  SEGMENT 'NAD' MANDATORY (1);"
                                        "  GROUP 'CTA' CONDITIONAL (5); SEGMENT 'CTA' MANDATORY (1);"
                                        "   GROUP 'COM' MANDATORY (2); SEGMENT 'COM' MANDATORY (1); END;"
                                        "  END;"
                                        "  SEGMENT 'LOC' CONDITIONAL (9);"
                                        "  GROUP 'RFF' CONDITIONAL (1); SEGMENT 'RFF' MANDATORY (1); END;"
                                        " END;"
                                        " GROUP 'lin' CONDITIONAL (0); SEGMENT 'lin' CONDITIONAL (1); END;"
                                        " GROUP '' CONDITIONAL (1); SEGMENT 'ANYTHING' MANDATORY (1); END;"
                                        " SEGMENT 'UNTLONGER' MANDATORY (1);"
                                        "END;")),
        "S UNH M 1 | G1 NAD C 99 [parties] | S NAD M 1 | G2 CTA C 5 | S CTA M 1 | G3 COM M 2 | S COM M 1 | "
        "E3 | E2 | S LOC C 9 | G4 RFF C 1 | S RFF M 1 | E4 | E1 | G5 lin C 0 | S lin C 1 | E5 | "
        "G6  C 1 | S ANYTHING M 1 | E6 | S UNTLONGER M 1 | END");
    EXPECT_EQ(Trace(CompileText<TCompilerMDF>(Head + "STRUCTURE END;")), "END");
}

TEST(CompilerMDF, NestingDepthIsBounded) {
    auto nested = [](int depth) {
        std::string s = Head + "STRUCTURE ";
        for (int i = 0; i < depth; ++i)
            s += "GROUP 'G' CONDITIONAL (1); SEGMENT 'G' MANDATORY (1); ";
        for (int i = 0; i < depth; ++i)
            s += "END; ";
        return s + "END;";
    };
    EXPECT_EQ(MdfError(nested(MaxGroupDepth)), "no error");
    EXPECT_EQ(MdfError(nested(MaxGroupDepth + 1)), "Segment groups nested too deeply");
    // Far deeper input fails the same way instead of exhausting the stack.
    EXPECT_EQ(MdfError(nested(100000)), "Segment groups nested too deeply");
}

TEST(CompilerMDF, EveryErrorText) {
    const std::string s = "MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS 'S'; STRUCTURE ";
    const std::pair<std::string, const char*> cases[] = {
        {"", "MESSAGE expected"},
        {"SEGMENTS", "MESSAGE expected"},
        {"MESSAGE M", "String constant expected"},
        {"MESSAGE 'M' SEGMENTS S", "String constant expected"},
        {"MESSAGE 'M' IDENTIFICATION '65'", "UNH.S009-Field identifier expected"},
        {"MESSAGE 'M' IDENTIFICATION 65='A',", "UNH.S009-Field identifier expected"},
        {"MESSAGE 'M' IDENTIFICATION 62='A'", "Illegal field identifier."},
        {"MESSAGE 'M' IDENTIFICATION 0='A'", "Illegal field identifier."},
        {"MESSAGE 'M' IDENTIFICATION 321='A'", "Illegal field identifier."},
        {"MESSAGE 'M' IDENTIFICATION 65='A', 065='B'", "Illegal field identifier."},
        {"MESSAGE 'M' IDENTIFICATION 65 'A'", "= expected."},
        {"MESSAGE 'M' IDENTIFICATION 65 = A", "String constant expected."},
        {"MESSAGE 'M' MEMO 'x'", "( expected"},
        {"MESSAGE 'M' MEMO (x)", "String constant expected"},
        {"MESSAGE 'M' MEMO ('x';", ") expected"},
        {"MESSAGE 'M';", "IDENTIFICATION expected"},
        {"MESSAGE 'M' SEGMENTS 'S';", "IDENTIFICATION expected"},
        {"MESSAGE 'M' IDENTIFICATION 65='M';", "SEGMENTS expected"},
        {"MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS 'S' SEGMENTS 'T';", "; expected"},
        {"MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS 'S' STRUCTURE", "; expected"},
        {"MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS 'S'; SEGMENT", "STRUCTURE expected"},
        {s + "FIELD", "SEGMENT expected"},
        {s, "SEGMENT expected"},
        {s + "END", "; expected"},
        {s + "SEGMENT UNH", "String constant expected"},
        {s + "SEGMENT 'UNH';", "Illegal segment condition"},
        {s + "SEGMENT 'UNH' M (1);", "Illegal segment condition"},
        {s + "SEGMENT 'UNH' MANDATORY 1);", "( expected"},
        {s + "SEGMENT 'UNH' MANDATORY (x);", "Integer constant expected"},
        {s + "SEGMENT 'UNH' MANDATORY (1;", ") expected"},
        {s + "SEGMENT 'UNH' MANDATORY (1) END", "; expected"},
        {s + "SEGMENT 'UNH' MANDATORY (1) MEMO x", "( expected"},
        {s + "SEGMENT 'UNH' MANDATORY (1) MEMO (1)", "String constant expected"},
        {s + "SEGMENT 'UNH' MANDATORY (1) MEMO ('x'", ") expected"},
        {s + "SEGMENT 'UNH' MANDATORY (1) MEMO ('x') SEGMENT", "; expected"},
        {s + "GROUP NAD", "Initial segment name expected"},
        {s + "GROUP 'NAD' MANDATORY2", "Illegal segment group condition"},
        {s + "GROUP 'NAD' CONDITIONAL 5", "( expected"},
        {s + "GROUP 'NAD' CONDITIONAL ()", "Integer constant expected"},
        {s + "GROUP 'NAD' CONDITIONAL (5 5", ") expected"},
        {s + "GROUP 'NAD' CONDITIONAL (5) SEGMENT", "; expected"},
        {s + "GROUP 'NAD' CONDITIONAL (5) MEMO ('g') END", "; expected"},
        {s + "GROUP 'NAD' CONDITIONAL (5); GROUP", "SEGMENT expected"},
        {s + "GROUP 'NAD' CONDITIONAL (5); END;", "SEGMENT expected"},
        {s + "GROUP 'NAD' CONDITIONAL (5); SEGMENT 'nad' MANDATORY (1);", "Initial segment must come first"},
        {s + "GROUP 'NAD' CONDITIONAL (5); SEGMENT 'NAD' MANDATORY (1); FIELD", "SEGMENT expected"},
        {s + "GROUP 'NAD' CONDITIONAL (5); SEGMENT 'NAD' MANDATORY (1); END END", "; expected"},
        {s + "GROUP 'NAD' CONDITIONAL (5); SEGMENT 'NAD' MANDATORY (1); END; END;", "no error"},
        {s + "END; { everything after the end is ignored } ~ 'open", "no error"},
    };
    for (const auto& [source, message] : cases)
        EXPECT_EQ(MdfError(source), message) << source;
}

TEST(CompilerMDF, NothingIsWrittenBeforeTheHeaderClausesAreComplete) {
    TempDir dir;
    TCompilerMDF compiler;
    compiler.SetSourceFile(dir.Write("m.mdf", "MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS 'S' ?"));
    TMemoryStream out;
    EXPECT_THROW(compiler.CompileToStream(out), Exception);
    EXPECT_EQ(out.Size(), 0);
    EXPECT_FALSE(compiler.Active());
}

TEST(CompilerMDF, EmbeddedSegmentDefinitions) {
    TempDir dir;
    dir.Write("std/D96A.sdf", "SEGMENTS SEGMENT 'UNH' FIELD '0062' ALNUM (1:14); END; "
                              "SEGMENT 'BGM' DESCRIPTION 'BEGINNING OF MESSAGE'; END; END;");
    std::filesystem::current_path(dir.Path);
    TCompilerMDF compiler;
    compiler.ProcessSegments = true;
    compiler.SetSearchPath("nothing-here;std");
    compiler.SetSourceFile(dir.Write("m.mdf", "MESSAGE 'M' IDENTIFICATION 65='M' SEGMENTS 'D96A'; "
                                              "STRUCTURE SEGMENT 'UNH' MANDATORY (1); END;"));
    TMemoryStream out;
    compiler.CompileToStream(out);
    const std::string t = out.Text();
    Bytes body;
    body({8, 9, 2, 2});
    body({4, 3, 0xED, 0, 0, 6, 0, 6, 3})("UNH")({2, 1, 4, 1, 0xED, 0, 0, 6, 4})("0062")(
        {2, 2, 2, 1, 2, 14, 6, 0});
    body({4, 3, 0xED, 0, 0, 6, 20})("BEGINNING OF MESSAGE")({6, 3})("BGM")({2, 0});
    body({4, 3, 0xED, 0, 0, 6, 3})("UNH")({6, 1, 'M', 2, 1, 8, 4, 6, 0xED, 0, 0});
    EXPECT_EQ(Body(t), body.Data);
    EXPECT_EQ(t.substr(62, 10), std::string("\x08"
                                            "D96A.SDT\0",
                                            10));

    // A missing source fails after the header has gone out; the compiler is inactive again.
    compiler.SetSourceFile(
        dir.Write("n.mdf", "MESSAGE 'N' IDENTIFICATION 65='N' SEGMENTS 'NONE'; STRUCTURE END;"));
    TMemoryStream partial;
    try {
        compiler.CompileToStream(partial);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Source file name must be specified.");
    }
    EXPECT_GE(partial.Size(), 320);
    EXPECT_FALSE(compiler.Active());
    // Errors of the embedded source surface with their own texts.
    dir.Write("BAD.SDF", "SEGMENTS SEGMENT 'X' FIELD 'A' ALNUM (9:1); END; END;");
    compiler.SetSourceFile(
        dir.Write("b.mdf", "MESSAGE 'B' IDENTIFICATION 65='B' SEGMENTS 'BAD'; STRUCTURE END;"));
    try {
        compiler.CompileToStream(partial);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Min-Size greater Max-Size");
    }
    EXPECT_FALSE(compiler.Active());
}
