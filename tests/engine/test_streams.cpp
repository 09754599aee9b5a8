#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace talmiro;

namespace {

std::string TempPath(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("talmiro-streams-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return s;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

TEST(FileStream, OpenErrorNamesTheFile) {
    const std::string name = "/nonexistent-dir/missing.edi";
    try {
        TFileStream s(name);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_STREQ(e.what(), "Datei /nonexistent-dir/missing.edi kann nicht geöffnet werden");
    }
    // A directory is no file either.
    EXPECT_THROW(TFileStream(std::filesystem::temp_directory_path().string()), EFOpenError);
    EXPECT_FALSE(FileExists(name));
}

TEST(FileStream, ReadsByteByByteAcrossBlocks) {
    const std::string data = Pattern(200000); // three 64 KiB blocks and a partial one
    const std::string path = TempPath("blocks.bin");
    WriteFile(path, data);
    TFileStream s(path);
    EXPECT_EQ(s.Size(), static_cast<int64_t>(data.size()));
    for (size_t i = 0; i < data.size(); ++i) {
        ASSERT_EQ(s.Position(), static_cast<int64_t>(i));
        ASSERT_EQ(s.ReadByte(), static_cast<unsigned char>(data[i])) << "at " << i;
    }
    EXPECT_EQ(s.ReadByte(), -1);
    EXPECT_EQ(s.ReadByte(), -1);
    EXPECT_EQ(s.Position(), static_cast<int64_t>(data.size()));
}

TEST(FileStream, StepBackAndSeekAcrossBlockBoundary) {
    const std::string data = Pattern(200000);
    const std::string path = TempPath("seek.bin");
    WriteFile(path, data);
    TFileStream s(path);
    const size_t boundary = 1 << 16;
    s.Seek(boundary - 1);
    EXPECT_EQ(s.ReadByte(), static_cast<unsigned char>(data[boundary - 1]));
    EXPECT_EQ(s.ReadByte(), static_cast<unsigned char>(data[boundary])); // refills the block
    s.StepBack();
    s.StepBack(); // back into the previous block
    EXPECT_EQ(s.Position(), static_cast<int64_t>(boundary - 1));
    EXPECT_EQ(s.ReadByte(), static_cast<unsigned char>(data[boundary - 1]));

    // Far seeks in both directions, then bulk reads over a boundary.
    s.Seek(150000);
    EXPECT_EQ(s.ReadByte(), static_cast<unsigned char>(data[150000]));
    s.Seek(3);
    EXPECT_EQ(s.ReadByte(), static_cast<unsigned char>(data[3]));
    s.Seek(boundary - 10);
    std::string chunk(20, '\0');
    EXPECT_EQ(s.Read(chunk.data(), chunk.size()), 20u);
    EXPECT_EQ(chunk, data.substr(boundary - 10, 20));
    s.Seek(static_cast<int64_t>(data.size()) - 5);
    EXPECT_EQ(s.Read(chunk.data(), chunk.size()), 5u);
    EXPECT_THROW(s.Seek(-1), Exception);
}

TEST(FileStream, WritesAndReadsBack) {
    const std::string path = TempPath("written.bin");
    const std::string data = Pattern(100000);
    {
        TFileStream out(path, TFileMode::Create);
        out.Write(data.data(), 4);
        out.Write(data.data() + 4, data.size() - 4);
        out.Seek(0);
        out.WriteText(std::string("XY"));
        out.Flush();
        EXPECT_EQ(out.Size(), static_cast<int64_t>(data.size()));
    }
    TFileStream in(path);
    std::string back(data.size(), '\0');
    EXPECT_EQ(in.Read(back.data(), back.size()), data.size());
    EXPECT_EQ(back.substr(0, 2), "XY");
    EXPECT_EQ(back.substr(2), data.substr(2));
    EXPECT_THROW(in.WriteText("no"), EInOutError);
    EXPECT_THROW(TFileStream("/nonexistent-dir/x.sdt", TFileMode::Create), EFCreateError);
}

TEST(MemoryStream, ReadsWritesAndSeeks) {
    TMemoryStream m("abc");
    EXPECT_EQ(m.ReadByte(), 'a');
    m.StepBack();
    EXPECT_EQ(m.ReadByte(), 'a');
    m.Seek(3);
    EXPECT_EQ(m.ReadByte(), -1);
    m.WriteText("de"); // grows at the end
    EXPECT_EQ(m.Text(), "abcde");
    EXPECT_EQ(m.Position(), 5);
    m.Seek(1);
    m.WriteText("X");
    EXPECT_EQ(m.Text(), "aXcde");
    EXPECT_EQ(m.ReadByte(), 'c');
    EXPECT_THROW(m.Seek(6), Exception);
    EXPECT_EQ(m.Size(), 5);
}
