// Tables generated from a bundled release read the sample interchanges with the engine.
#include "talmiro/compiler.h"
#include "talmiro/message.h"
#include "talmiro/segment_table.h"
#include "talmiro/streams.h"
#include "talmiro/transmission.h"
#include "talmiro/untdid.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

using namespace talmiro;
namespace fs = std::filesystem;

namespace {

struct TRun {
    int Segments = 0;
    int SequenceErrors = 0;
    std::string Error;
};

// Reads an interchange with the tables in `standard`, counting segments and failures.
TRun Read(const fs::path& standard, const std::string& interchange) {
    fs::path file = standard / "interchange.edi";
    std::ofstream(file, std::ios::binary) << interchange;
    TRun run;
    TEdiTransmission trn;
    TEdiMessage msg;
    trn.Message = &msg;
    trn.OnGetStructureFile = [&](TEdiTransmission& s, std::string& name) {
        name =
            (standard / (s.SegmUNH().FindComposit("S009")->FieldByID("0065").AsString() + ".MDT")).string();
    };
    msg.OnSegmentRead = [&](TEdiMessage&, TEdiSegment&) { ++run.Segments; };
    msg.OnSegSeqError = [&](TEdiMessage&, const std::string&, const std::string&) { ++run.SequenceErrors; };
    msg.OnReport = [](const std::string&) {};
    TFileStream stream(file.string());
    trn.SetStream(&stream);
    try {
        trn.Execute();
        trn.Clear();
    } catch (const std::exception& e) {
        run.Error = e.what();
    }
    return run;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(GeneratedTables, SamplesReadCleanAndFaultsAreFound) {
    const fs::path archives = TALMIRO_UNTDID_ARCHIVES;
    const fs::path samples = TALMIRO_SAMPLES;
    if (!fs::exists(archives / "d96a.zip")) GTEST_SKIP() << "no bundled archives";
    fs::path dir = fs::temp_directory_path() / ("talmiro_untdid_engine_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    untdid::TDirectory d96a = untdid::ImportRelease(fs::path(archives) / "d96a.zip");
    for (const auto& source : untdid::WriteRelease(d96a, dir)) {
        std::string name = source.filename().string();
        if (name != "D96A.sdf" && name != "ORDERS.mdf" && name != "INVOIC.mdf" && name != "DESADV.mdf")
            continue;
        std::unique_ptr<TCustomCompiler> compiler;
        if (source.extension() == ".sdf")
            compiler = std::make_unique<TCompilerSDF>();
        else
            compiler = std::make_unique<TCompilerMDF>();
        compiler->SetSourceFile(source.string());
        compiler->Compile();
    }
    fs::path standard = dir / "D96A";

    // Every element survives compilation: repeated simple elements and repeated composites stay apart.
    auto table = LoadSegmentTable((standard / "D96A.SDT").string());
    ASSERT_TRUE(table);
    ASSERT_EQ(table->Count(), static_cast<int>(d96a.Segments.size()));
    int repeatedComposites = 0;
    for (const auto& def : d96a.Segments) {
        const TEdiSegment* segment = table->Find(def.Tag);
        ASSERT_NE(segment, nullptr) << def.Tag;
        ASSERT_EQ(segment->Elements.size(), def.Elements.size()) << def.Tag;
        std::set<std::string> composites;
        for (std::size_t i = 0; i < def.Elements.size(); ++i) {
            EXPECT_EQ(segment->Elements[i]->ID, def.Elements[i].ID) << def.Tag;
            if (!def.Elements[i].IsComposite) continue;
            if (!composites.insert(def.Elements[i].ID).second) ++repeatedComposites;
            auto* composite = dynamic_cast<const TEdiComposit*>(segment->Elements[i].get());
            ASSERT_NE(composite, nullptr) << def.Tag << ' ' << def.Elements[i].ID;
            EXPECT_EQ(composite->Elements.size(), def.Elements[i].Components.size()) << def.Tag;
        }
    }
    EXPECT_GT(repeatedComposites, 0); // D96A has segments that use one composite twice

    for (const char* sample : {"d96a_orders.edi", "d96a_invoic.edi", "d96a_desadv.edi"}) {
        std::string text = ReadFile(fs::path(samples) / sample);
        ASSERT_FALSE(text.empty()) << sample;
        TRun run = Read(standard, text);
        EXPECT_EQ(run.Error, "") << sample;
        EXPECT_EQ(run.SequenceErrors, 0) << sample;
        EXPECT_GT(run.Segments, 10) << sample;
    }

    // Without its mandatory BGM the order no longer fits the ORDERS table.
    std::string orders = ReadFile(fs::path(samples) / "d96a_orders.edi");
    std::size_t bgm = orders.find("BGM+");
    ASSERT_NE(bgm, std::string::npos);
    orders.erase(bgm, orders.find('\'', bgm) + 1 - bgm);
    TRun broken = Read(standard, orders);
    EXPECT_TRUE(!broken.Error.empty() || broken.SequenceErrors > 0);
    fs::remove_all(dir);
}
