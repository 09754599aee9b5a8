// Sources compiled here are loaded by the engine and used to read an interchange.
#include "compiler_test_util.h"

#include "talmiro/message.h"
#include "talmiro/segment_table.h"
#include "talmiro/transmission.h"

#include <filesystem>

using namespace talmiro;
using talmiro::test::TempDir;

namespace {

const char* const Sdf = "{ a directory in miniature }\n"
                        "SEGMENTS\n"
                        "SEGMENT 'UNH' DESCRIPTION 'MESSAGE HEADER';\n"
                        "  FIELD '0062' ALNUM (1:14) DESCRIPTION 'MESSAGE REFERENCE NUMBER';\n"
                        "  COMPOSIT 'S009' DESCRIPTION 'MESSAGE IDENTIFIER';\n"
                        "    FIELD '0065' ALNUM (1:6); FIELD '0052' ALNUM (1:3);\n"
                        "    FIELD '0054' ALNUM (1:3); FIELD '0051' ALNUM (1:2);\n"
                        "  END;\n"
                        "END;\n"
                        "SEGMENT 'BGM' DESCRIPTION 'BEGINNING OF MESSAGE';\n"
                        "  COMPOSIT 'C002' FIELD '1001' ALNUM (1:3); END;\n"
                        "  FIELD '1004' ALNUM (1:35);\n"
                        "END;\n"
                        "SEGMENT 'NAD' DESCRIPTION 'NAME AND ADDRESS';\n"
                        "  FIELD '3035' ALNUM (1:3);\n"
                        "  COMPOSIT 'C082' FIELD '3039' ALNUM (1:35); FIELD '1131' ALNUM (0:3); "
                        "FIELD '3055' ALNUM (1:3); END;\n"
                        "END;\n"
                        "SEGMENT 'CTA' FIELD '3139' ALNUM (1:3); END;\n"
                        "SEGMENT 'UNT' FIELD '0074' NUMERIC (1:6); FIELD '0062' ALNUM (1:14); END;\n"
                        "SEGMENT 'UNZ' FIELD '0036' NUMERIC (1:6); FIELD '0020' ALNUM (1:14); END;\n"
                        "END;\n";

const char* const Mdf = "MESSAGE 'ORDERS'\n"
                        "IDENTIFICATION 65 = 'ORDERS', 52 = 'D', 54 = '96A', 51 = 'UN'\n"
                        "SEGMENTS 'D96A'\n"
                        "MEMO ('Purchase order message');\n"
                        "STRUCTURE\n"
                        "SEGMENT 'UNH' MANDATORY (1);\n"
                        "SEGMENT 'BGM' MANDATORY (1);\n"
                        "GROUP 'NAD' CONDITIONAL (99);\n"
                        "  SEGMENT 'NAD' MANDATORY (1);\n"
                        "  GROUP 'CTA' CONDITIONAL (5);\n"
                        "    SEGMENT 'CTA' MANDATORY (1);\n"
                        "  END;\n"
                        "END;\n"
                        "SEGMENT 'UNT' MANDATORY (1);\n"
                        "END;\n";

const char* const Interchange = "UNB+UNOA:1+SENDER+RECEIVER+200101:1200+REF1'"
                                "UNH+1+ORDERS:D:96A:UN'BGM+220+PO1'"
                                "NAD+BY+123::9'CTA+IC'NAD+SU+456::9'"
                                "UNT+6+1'UNZ+1+REF1'";

// Reads the interchange with the tables in dir; returns the trace of segments and groups.
std::string ReadInterchange(const TempDir& dir) {
    TEdiMessage message;
    TEdiTransmission driver;
    driver.Message = &message;
    std::string trace;
    driver.OnGetStructureFile = [&](TEdiTransmission&, std::string& fileName) {
        fileName = dir.File("ORDERS.MDT");
    };
    message.OnSegmentRead = [&](TEdiMessage&, TEdiSegment& segment) {
        trace += segment.ID;
        if (segment.ID == "NAD") trace += "(" + segment.FieldByID("3035").AsString() + ")";
        trace += " ";
    };
    message.OnEnterGroup = [&](TEdiMessage&, int group, int rep) {
        trace += "[" + std::to_string(group) + "." + std::to_string(rep) + " ";
    };
    message.OnExitGroup = [&](TEdiMessage&, int group) { trace += std::to_string(group) + "] "; };
    TMemoryStream input(Interchange);
    driver.SetStream(&input);
    driver.Execute();
    return trace;
}

} // namespace

TEST(EndToEnd, CompiledTablesLoadAndReadAnInterchange) {
    TempDir dir;
    for (bool embed : {false, true}) {
        TCompilerSDF sdf;
        sdf.SetSourceFile(dir.Write("D96A.sdf", Sdf));
        sdf.Compile();
        TCompilerMDF mdf;
        mdf.ProcessSegments = embed;
        mdf.SetSearchPath(dir.Path.string());
        mdf.SetSourceFile(dir.Write("ORDERS.mdf", Mdf));
        mdf.Compile();
        if (embed) std::filesystem::remove(dir.File("D96A.SDT")); // the message table must do without it

        if (!embed) {
            auto table = LoadSegmentTable(dir.File("D96A.SDT"));
            ASSERT_EQ(table->Count(), 6);
            auto* nad = table->Find("nad");
            ASSERT_NE(nad, nullptr);
            EXPECT_EQ(nad->Description, "NAME AND ADDRESS");
            ASSERT_NE(nad->FindComposit("C082"), nullptr);
            EXPECT_EQ(nad->FindComposit("C082")->FieldByID("1131").MinSize, 0);
        }

        TEdiMessage message;
        ASSERT_EQ(message.LoadStructure(dir.File("ORDERS.MDT")), 0);
        EXPECT_EQ(message.MessageName, "ORDERS");
        EXPECT_EQ(message.MsgRelease, "96A");
        EXPECT_EQ(message.MsgAgency, "UN");
        EXPECT_EQ(message.MsgAssocCode, "");
        ASSERT_NE(message.SegmentTable, nullptr);
        EXPECT_EQ(message.SegmentTable->Count(), 6);
        // UNH, BGM, group 1, UNT; group 1 holds NAD and group 2.
        const TMessageDefRec* s = message.Structure.get();
        std::string top;
        for (; s; s = s->Next.get())
            top += s->Tag + (s->Kind == mdGroup ? "#" + std::to_string(s->GrpNbr) : "") + " ";
        EXPECT_EQ(top, "UNH BGM NAD#1 UNT ");
        const TMessageDefRec* g1 = message.Structure->Next->Next.get();
        EXPECT_EQ(g1->MaxRep, 99);
        EXPECT_EQ(g1->Condition, 'C');
        EXPECT_EQ(g1->Children->Next->GrpNbr, 2);

        EXPECT_EQ(ReadInterchange(dir), "UNB UNH BGM [1.1 NAD(BY) [2.1 CTA 2] [1.2 NAD(SU) 1] UNT UNZ ")
            << (embed ? "embedded" : "separate");
    }
}

TEST(EndToEnd, DeepestAcceptedNestingLoads) {
    TempDir dir;
    std::string mdf = "MESSAGE 'DEEP' IDENTIFICATION 65='DEEP' SEGMENTS 'X'; STRUCTURE ";
    for (int i = 0; i < MaxGroupDepth; ++i)
        mdf += "GROUP 'G' CONDITIONAL (1); SEGMENT 'G' MANDATORY (1); ";
    for (int i = 0; i < MaxGroupDepth; ++i)
        mdf += "END; ";
    mdf += "END;";
    dir.Write("X.sdf", "SEGMENTS SEGMENT 'G' END; END;");
    TCompilerSDF sdf;
    sdf.SetSourceFile(dir.File("X.sdf"));
    sdf.Compile();
    TCompilerMDF compiler;
    compiler.SetSourceFile(dir.Write("DEEP.mdf", mdf));
    compiler.Compile();
    TEdiMessage message;
    ASSERT_EQ(message.LoadStructure(dir.File("DEEP.MDT")), 0);
    int depth = 0;
    for (const TMessageDefRec* r = message.Structure.get(); r && r->Kind == mdGroup;
         r = r->Children->Next.get())
        ++depth;
    EXPECT_EQ(depth, MaxGroupDepth);
}
