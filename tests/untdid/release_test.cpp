// Whole releases: archives with nested archives, folders, the sources written, and every bundled release.
#include "talmiro/compiler.h"
#include "talmiro/streams.h"
#include "talmiro/untdid.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <fstream>
#include <sstream>

using namespace talmiro::untdid;
namespace fs = std::filesystem;

namespace {

fs::path TempDir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("talmiro_untdid_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Writes a zip archive holding the given entries.
void WriteZip(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, data] : entries) {
        zip_source_t* source = zip_source_buffer(zip, data.data(), data.size(), 0);
        ASSERT_NE(source, nullptr);
        ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(zip), 0);
}

const std::string Rule(70, '\xC4');

const std::string SegmentText = "2.    Segment directory\r\n" + Rule +
                                "\r\n\r\n      BGM    BEGINNING OF MESSAGE\r\n\r\n"
                                "010   1004  DOCUMENT/MESSAGE NUMBER                       C an..35\r\n" +
                                Rule +
                                "\r\n\r\n      RFF    REFERENCE\r\n\r\n"
                                "010   C506  REFERENCE                                     M\r\n"
                                "      1153   Reference qualifier                          M an..3\r\n"
                                "      1154   Recipient's reference                        C an..35\r\n" +
                                Rule + "\r\n";

const std::string MessageText = "  UN/EDIFACT\r\n\r\n  DRAFT RECOMMENDATION\r\n\r\n  Test message\r\n\r\n"
                                "4.3.1  Segment table\r\n\r\n"
                                "0010   UNH Message header                            M   1     \r\n"
                                "0020   BGM Beginning of message                      M   1     \r\n"
                                "0030       \xC4\xC4 Segment group 1  \xC4\xC4\xC4\xC4 C   10\xC4\xC4\xBF\r\n"
                                "0040   RFF Reference                                 M   1   \xB3\r\n"
                                "0050   XYZ Undefined segment                         C   1\xC4\xC4\xD9\r\n"
                                "0060   UNT Message trailer                           M   1     \r\n";

const std::string InteractiveText = "4.3.1  Segment table\r\n"
                                    "0010   UIH Interactive message header                M   1\r\n";

} // namespace

TEST(Release, NestedArchivesAreReadInMemoryAndOnlyTheNeededEntries) {
    fs::path dir = TempDir("zip");
    WriteZip(dir / "EDSD.ZIP", {{"EDSD.97A", SegmentText}, {"EDSDI1.97A", "index"}});
    WriteZip(dir / "EDMD.ZIP", {{"TSTMSG_D.97A", MessageText}, {"EDMDI1.97A", "index"}});
    WriteZip(dir / "IDMD.ZIP", {{"IHCEBI_D.97A", InteractiveText}});
    WriteZip(dir / "EDMD2.ZIP", {{"UIHMSG_D.97A", InteractiveText}});
    WriteZip(dir / "d97a.zip", {{"EDIFACT/EDSD.ZIP", ReadFile(dir / "EDSD.ZIP")},
                                {"EDIFACT/EDMD.ZIP", ReadFile(dir / "EDMD.ZIP")},
                                {"EDIFACT/IDMD.ZIP", ReadFile(dir / "IDMD.ZIP")},
                                {"Text files 97A.zip", "damaged: not an archive at all"},
                                {"EDIFACT/TRMD97A.ZIP", ReadFile(dir / "EDMD2.ZIP")}});

    TDirectory d = ImportRelease(dir / "d97a.zip");
    EXPECT_EQ(d.Release, "D97A");
    ASSERT_EQ(d.Messages.size(), 1u); // the interactive directory is not read at all
    EXPECT_EQ(d.InteractiveSkipped, 1);
    EXPECT_EQ(d.Messages[0].Type, "TSTMSG");
    EXPECT_EQ(d.Messages[0].Title, "Test message");
    // The directory's two segments plus the envelope and section control segments, in tag order.
    std::string tags;
    for (const auto& s : d.Segments)
        tags += s.Tag + " ";
    EXPECT_EQ(tags, "BGM RFF UGH UGT UNE UNG UNH UNS UNT UNZ ");
    ASSERT_EQ(d.Warnings.size(), 1u);
    EXPECT_EQ(d.Warnings[0].File, "EDIFACT/EDMD.ZIP/TSTMSG_D.97A");
    EXPECT_EQ(d.Warnings[0].Line, 13);
    EXPECT_EQ(d.Warnings[0].Text, "segment XYZ is not in the segment directory");
    EXPECT_TRUE(d.Warnings[0].LosesData);

    TDirectoryCounts counts = CountDirectory(d);
    EXPECT_EQ(counts.Segments, 10);
    EXPECT_EQ(counts.Messages, 1);
    EXPECT_EQ(counts.Composites, 7); // C506, S006..S010 of the envelope, S004 of UNG
    fs::remove_all(dir);
}

// Sizes an archive claims, and what it really unpacks to, are bounded before anything is kept: an entry
// that claims 4 GB, and nested archives that together unpack beyond any release (each one alone is
// plausible; all of them stay in memory during the import).
TEST(Release, ArchivesThatUnpackBeyondAnyReleaseAreRefused) {
    fs::path dir = TempDir("bomb");
    auto importError = [](const fs::path& archive) -> std::string {
        try {
            ImportRelease(archive);
        } catch (const EImportError& e) {
            return e.what();
        }
        return "<no error>";
    };

    // A stored entry of five bytes whose headers claim 0xFFFFFFFE of them.
    const std::string name = "EDSD.96A";
    auto le = [](uint32_t v, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
        return out;
    };
    const uint32_t crc = 0x3610A686; // of "hello"
    const std::string sizes = le(crc, 4) + le(5, 4) + le(0xFFFFFFFEu, 4) + le(8, 2) + le(0, 2);
    const std::string local =
        le(0x04034B50, 4) + le(20, 2) + le(0, 2) + le(0, 2) + le(0, 4) + sizes + name + "hello";
    const std::string central = le(0x02014B50, 4) + le(20, 2) + le(20, 2) + le(0, 2) + le(0, 2) + le(0, 4) +
                                sizes + le(0, 2) + le(0, 2) + le(0, 2) + le(0, 4) + le(0, 4) + name;
    const std::string end = le(0x06054B50, 4) + le(0, 2) + le(0, 2) + le(1, 2) + le(1, 2) +
                            le(static_cast<uint32_t>(central.size()), 4) +
                            le(static_cast<uint32_t>(local.size()), 4) + le(0, 2);
    std::ofstream(dir / "claims.zip", std::ios::binary) << local << central << end;
    EXPECT_EQ(importError(dir / "claims.zip"), "Entry too large: EDSD.96A");
    // 0xFFFFFFFF announces a ZIP64 record that is not there: libzip cannot follow the directory and calls
    // the archive missing; the error says what it is.
    const std::string marker = le(crc, 4) + le(5, 4) + le(0xFFFFFFFFu, 4) + le(8, 2) + le(0, 2);
    std::string zip64 = local + central + end;
    for (std::size_t at = zip64.find(sizes); at != std::string::npos; at = zip64.find(sizes))
        zip64.replace(at, sizes.size(), marker);
    std::ofstream(dir / "zip64.zip", std::ios::binary) << zip64;
    EXPECT_EQ(importError(dir / "zip64.zip"), "Cannot open archive " + (dir / "zip64.zip").string() + ": damaged archive");

    // Two nested archives of 130 MB of zeros each, 260 KB packed.
    const std::string zeros(130u << 20, '\0');
    {
        int error = 0;
        zip_t* zip = zip_open((dir / "nested.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(zip, nullptr);
        for (const char* entry : {"EDSD.ZIP", "EDMD.ZIP"}) {
            zip_source_t* source = zip_source_buffer(zip, zeros.data(), zeros.size(), 0);
            const zip_int64_t index = zip_file_add(zip, entry, source, 0);
            ASSERT_GE(index, 0);
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
        }
        ASSERT_EQ(zip_close(zip), 0);
    }
    EXPECT_EQ(importError(dir / "nested.zip"), "Archive too large: EDMD.ZIP");
    fs::remove_all(dir);
}

TEST(Release, FoldersAndFailures) {
    fs::path dir = TempDir("folder");
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "sub" / "trsd.96b", std::ios::binary) << SegmentText;
    std::ofstream(dir / "TSTMSG_D.96B", std::ios::binary) << MessageText;
    std::ofstream(dir / "sub" / "TSTMSG_D.97A", std::ios::binary) << MessageText;
    TDirectory d = ImportRelease(dir);
    EXPECT_EQ(d.Release, "D96B");
    EXPECT_EQ(d.Messages.size(), 1u);
    ASSERT_EQ(d.Warnings.size(), 2u); // a message of another release is not mixed in
    EXPECT_EQ(d.Warnings[0].File, "sub/TSTMSG_D.97A");
    EXPECT_EQ(d.Warnings[0].Text, "message of release D97A skipped");
    EXPECT_EQ(d.Warnings[1].Text, "segment XYZ is not in the segment directory");

    fs::path empty = TempDir("empty");
    try {
        ImportRelease(empty);
        FAIL() << "no exception";
    } catch (const EImportError& e) {
        EXPECT_EQ(std::string(e.what()), "No segment directory (EDSD or TRSD) found in " + empty.string());
    }
    std::ofstream(empty / "broken.zip") << "not a zip";
    EXPECT_THROW(ImportRelease(empty / "broken.zip"), EImportError);
    EXPECT_THROW(ImportRelease(empty / "missing.zip"), EImportError);
    fs::remove_all(dir);
    fs::remove_all(empty);
}

TEST(Release, SourcesAreWrittenInBothDefinitionLanguagesAndCompile) {
    fs::path dir = TempDir("write");
    std::ofstream(dir / "EDSD.96A", std::ios::binary) << SegmentText;
    std::ofstream(dir / "TSTMSG_D.96A", std::ios::binary) << MessageText;
    TDirectory d = ImportRelease(dir);
    d.Messages[0].Structure[2].Children.pop_back(); // drop the undefined XYZ
    TMessageNode emptyGroup;
    emptyGroup.IsGroup = true;
    d.Messages[0].Structure.insert(d.Messages[0].Structure.begin() + 2, emptyGroup);

    fs::path out = dir / "out";
    fs::create_directories(out / "D96A");
    std::ofstream(out / "D96A" / "TSTMSG.mdf") << "an older import";
    auto written = WriteRelease(d, out);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0], out / "D96A" / "D96A.sdf");
    EXPECT_EQ(written[1], out / "D96A" / "TSTMSG.mdf");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out / "D96A"))
        ++files;
    EXPECT_EQ(files, 2); // replaced in place, no temporary files left

    EXPECT_EQ(ReadFile(written[1]), "{ TSTMSG D 96A UN, imported from the UN/EDIFACT directory }\n"
                                    "MESSAGE 'TSTMSG'\n"
                                    "IDENTIFICATION 65 = 'TSTMSG', 52 = 'D', 54 = '96A', 51 = 'UN'\n"
                                    "SEGMENTS 'D96A'\n"
                                    "MEMO ('Test message');\n"
                                    "STRUCTURE\n"
                                    "  SEGMENT 'UNH' MANDATORY (1) MEMO ('Message header');\n"
                                    "  SEGMENT 'BGM' MANDATORY (1) MEMO ('Beginning of message');\n"
                                    "  GROUP 'RFF' CONDITIONAL (10) MEMO ('Segment group 1');\n"
                                    "    SEGMENT 'RFF' MANDATORY (1) MEMO ('Reference');\n"
                                    "  END;\n"
                                    "  SEGMENT 'UNT' MANDATORY (1) MEMO ('Message trailer');\n"
                                    "END;\n");
    std::string sdf = ReadFile(written[0]);
    EXPECT_NE(sdf.find("SEGMENT 'RFF' DESCRIPTION 'REFERENCE';\n"
                       "  COMPOSIT 'C506' MANDATORY DESCRIPTION 'REFERENCE';\n"
                       "    FIELD '1153' ALNUM (1:3) MANDATORY DESCRIPTION 'Reference qualifier';\n"
                       "    FIELD '1154' ALNUM (1:35) DESCRIPTION 'Recipient''s reference';\n"
                       "  END;\n"
                       "END;\n"),
              std::string::npos);
    EXPECT_NE(sdf.find("SEGMENT 'UNS' DESCRIPTION 'SECTION CONTROL';\n"
                       "  FIELD '0081' ALPHA (1:1) DESCRIPTION 'SECTION IDENTIFICATION';\n"
                       "END;\n"),
              std::string::npos);

    for (const auto& source : written) {
        std::unique_ptr<talmiro::TCustomCompiler> compiler;
        if (source.extension() == ".sdf")
            compiler = std::make_unique<talmiro::TCompilerSDF>();
        else
            compiler = std::make_unique<talmiro::TCompilerMDF>();
        compiler->SetSourceFile(source.string());
        EXPECT_NO_THROW(compiler->Compile()) << source;
    }
    EXPECT_TRUE(fs::exists(out / "D96A" / "D96A.SDT"));
    EXPECT_TRUE(fs::exists(out / "D96A" / "TSTMSG.MDT"));
    fs::remove_all(dir);
}

// A damaged table can open a group with another group: the outer one has no initial segment, is reported
// by the reader and left out of the source, which compiles.
TEST(Release, GroupsWithoutTheirInitialSegmentAreLeftOutOfTheSource) {
    const std::string text = "4.3.1  Segment table\n"
                             "0010   UNH Message header                            M   1     \n"
                             "0020       ----- Segment group 1  ------------------ C   9-----+\n"
                             "0030       ----- Segment group 2  ------------------ C   9----+|\n"
                             "0040   RFF Reference                                 M   1----++\n"
                             "0050   UNT Message trailer                           M   1     \n";
    TMessageDef m;
    std::vector<TImportWarning> warnings;
    ASSERT_TRUE(ParseMessage(text, "TSTMSG_D.96A", m, warnings));
    ASSERT_EQ(warnings.size(), 1u);
    const std::string source = MessageSource(m, "D96A");
    EXPECT_EQ(source.find("GROUP"), std::string::npos) << source;
    EXPECT_NE(source.find("STRUCTURE\n"
                          "  SEGMENT 'UNH' MANDATORY (1) MEMO ('Message header');\n"
                          "  SEGMENT 'UNT' MANDATORY (1) MEMO ('Message trailer');\n"
                          "END;\n"),
              std::string::npos)
        << source;
    fs::path dir = TempDir("headless");
    std::ofstream(dir / "TSTMSG.mdf") << source;
    talmiro::TCompilerMDF compiler;
    compiler.SetSourceFile((dir / "TSTMSG.mdf").string());
    EXPECT_NO_THROW(compiler.Compile());
    fs::remove_all(dir);
}

// Every bundled release imports without losing a definition, and its sources compile.
class BundledRelease : public testing::TestWithParam<std::string> {};

TEST_P(BundledRelease, ImportsWithoutLossAndCompiles) {
    fs::path archive = fs::path(TALMIRO_UNTDID_ARCHIVES) / GetParam();
    ASSERT_TRUE(fs::exists(archive)) << archive;
    TDirectory d = ImportRelease(archive);
    for (const auto& w : d.Warnings)
        EXPECT_FALSE(w.LosesData) << w.File << ':' << w.Line << ": " << w.Text;
    EXPECT_GT(d.Segments.size(), 90u);
    EXPECT_GT(d.Messages.size(), 50u);
    // Repeat counts come with the repetition column of D99B and later (COM: C076 up to 3 times).
    const std::string& release = d.Release;
    const bool repetitionColumn = release >= "D99B" || release < "D90A";
    int repeating = 0;
    for (const auto& segment : d.Segments)
        for (const auto& element : segment.Elements)
            if (element.Repeats > 1) {
                ++repeating;
                if (segment.Tag == "COM") {
                    EXPECT_EQ(element.Repeats, 3) << release;
                }
            }
    if (repetitionColumn) {
        EXPECT_GT(repeating, 0) << release;
    } else {
        EXPECT_EQ(repeating, 0) << release;
    }

    // Statuses: NAD's party qualifier is mandatory in every release, its party identification not.
    for (const auto& segment : d.Segments)
        if (segment.Tag == "NAD") {
            EXPECT_TRUE(segment.Elements[0].Mandatory) << release;
            EXPECT_FALSE(segment.Elements[1].Mandatory) << release;
            EXPECT_TRUE(segment.Elements[1].Components[0].Mandatory) << release;
        }
    // Code lists: all releases but the three published without them.
    const bool codeLists = release != "D93A" && release != "D94B" && release != "D95A";
    if (codeLists) {
        EXPECT_GT(d.CodeLists.ListCount(), 150u) << release;
        ASSERT_NE(d.CodeLists.Name("3035", "BY"), nullptr) << release;
        EXPECT_EQ(*d.CodeLists.Name("3035", "BY"), "Buyer");
        EXPECT_NE(d.CodeLists.Name("1001", "220"), nullptr) << release;
        // Measure units and countries use lists of other bodies.
        EXPECT_FALSE(d.CodeLists.HasList("6411")) << release;
        EXPECT_FALSE(d.CodeLists.HasList("3207")) << release;
    } else {
        EXPECT_EQ(d.CodeLists.ListCount(), 0u) << release;
    }

    fs::path out = TempDir(GetParam());
    auto written = WriteRelease(d, out);
    EXPECT_EQ(fs::exists(out / release / talmiro::TCodeLists::FileName), codeLists);
    if (codeLists) {
        EXPECT_EQ(talmiro::TCodeLists::Load((out / release / talmiro::TCodeLists::FileName).string()).Text(),
                  d.CodeLists.Text());
    }
    for (const auto& source : written) {
        if (source.extension() != ".sdf" && source.extension() != ".mdf") continue;
        std::unique_ptr<talmiro::TCustomCompiler> compiler;
        if (source.extension() == ".sdf")
            compiler = std::make_unique<talmiro::TCompilerSDF>();
        else
            compiler = std::make_unique<talmiro::TCompilerMDF>();
        compiler->SetSourceFile(source.string());
        talmiro::TMemoryStream table;
        try {
            compiler->CompileToStream(table);
        } catch (const std::exception& e) {
            ADD_FAILURE() << source << ':' << compiler->LineNumber() << ": " << e.what();
        }
    }
    fs::remove_all(out);
}

namespace {
std::vector<std::string> BundledArchives() {
    std::vector<std::string> names;
    for (int year : {93, 94, 95, 96, 97, 98, 99, 0,  1,  2,  3,  4,  5,  6, 7,
                     8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}) {
        char buffer[16];
        for (char half : {'a', 'b'}) {
            if (year == 93 && half == 'b') continue; // no D93B was published
            std::snprintf(buffer, sizeof buffer, "d%02d%c.zip", year, half);
            names.emplace_back(buffer);
        }
    }
    names.emplace_back("d01c.zip");
    return names;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(All, BundledRelease, testing::ValuesIn(BundledArchives()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(0, info.param.find('.'));
                         });
