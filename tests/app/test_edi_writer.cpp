#include "talmiro/edi_writer.h"
#include "talmiro/exceptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace talmiro;

namespace {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(EdiWriter, EscapesServiceCharactersAndDropsTrailingEmpties) {
    TEdiWriter writer{TDelimiters{}};
    EXPECT_EQ(writer.Escape("A+B:C'D?E.F"), "A?+B?:C?'D??E.F");
    auto nad = TSegmentValues::Of("NAD", {{"BY"}, {"5412345000013", "", "9"}, {}, {"O'Hara", ""}, {}, {}});
    EXPECT_EQ(writer.SegmentText(nad), "NAD+BY+5412345000013::9++O?'Hara'");
    EXPECT_EQ(writer.SegmentText(TSegmentValues::Of("UNS", {{"S"}})), "UNS+S'");
    EXPECT_EQ(writer.AdviceText(), "UNA:+.? '");
}

TEST(EdiWriter, RepeatsUseTheRepetitionSeparatorOrFurtherElements) {
    TSegmentValues com{"COM", {{{"123", "TE"}, {"a*b", "EM"}, {}}}};
    TDelimiters v4;
    v4.RepetitionSeparator = '*';
    EXPECT_EQ(TEdiWriter(v4).SegmentText(com), "COM+123:TE*a?*b:EM'");
    EXPECT_EQ(TEdiWriter(v4).AdviceText(), "UNA:+.?*'");
    EXPECT_EQ(TEdiWriter(TDelimiters{}).SegmentText(com), "COM+123:TE+a*b:EM'");
}

TEST(ReplacingFile, TargetChangesOnlyOnCommit) {
    const auto dir = std::filesystem::temp_directory_path() / "talmiro_replacing_file";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto target = dir / "a.edi";
    std::ofstream(target) << "old";
    {
        TReplacingFile file(target.string());
        file.Write("new");
        EXPECT_TRUE(std::filesystem::exists(file.TemporaryName()));
    } // abandoned: as after a failure half-way
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    TReplacingFile file(target.string());
    file.Write(std::string(3 << 20, 'x'));
    file.Commit();
    EXPECT_EQ(Slurp(target).size(), size_t(3 << 20));
    EXPECT_TRUE(SameFile(target.string(), (dir / "." / "a.edi").string()));
    EXPECT_THROW(TReplacingFile((dir / "missing" / "b.edi").string()), EFCreateError);
    std::filesystem::remove_all(dir);
}
