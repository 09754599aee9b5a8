// What the tests and the benchmarks that drive whole programs share: a private directory, reading and
// writing whole files, and a release of segment and message tables compiled from definition sources.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace talmiro::test {

// A fresh directory below the temporary one, removed afterwards; the current directory is restored too,
// so a test may change into it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "talmiro-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (Path / name).string(); }
    // Writes the bytes to the file of that name below the directory; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

    std::filesystem::path Path;

private:
    std::filesystem::path saved_;
};

// The whole file; empty when it cannot be read.
std::string ReadAll(const std::filesystem::path& file);

// Replaces the file with the bytes, creating the folders it lies in; returns its path. The old file is
// removed first: replacing a file by truncation makes the file system flush it, a new one stays cached.
std::string WriteFile(const std::filesystem::path& file, const std::string& bytes);

// A message definition source and the name its file takes (ORDERS for ORDERS.mdf).
using MessageSource = std::pair<std::string, std::string>;

// Writes <base>/<release>/<release>.sdf and one <name>.mdf for each message, and compiles them into the
// tables beside them, as the standards directory holds them.
void CompileRelease(const std::filesystem::path& base, const std::string& release,
                    const std::string& segments, const std::vector<MessageSource>& messages);

// The sample interchanges below the folders of a colon-separated list (TALMIRO_SAMPLE_DIRS): every file
// under 8 MB but the collections' tables and notes (.tsv, .md), sorted within each folder. Folders that do
// not exist are skipped.
std::vector<std::filesystem::path> SampleFiles(const std::string& folders);

// A configuration file whose standards directory is base; returns its path.
std::string WriteIni(const std::filesystem::path& file, const std::filesystem::path& base);

} // namespace talmiro::test
