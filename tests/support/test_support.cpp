#include "test_support.h"

#include "talmiro/compiler.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace talmiro::test {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::system_error(errno, std::generic_category(), "cannot make a directory like " + pattern);
    Path = pattern;
    saved_ = fs::current_path();
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::current_path(saved_, ec);
    fs::remove_all(Path, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
    return WriteFile(Path / name, bytes);
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string WriteFile(const fs::path& file, const std::string& bytes) {
    if (file.has_parent_path()) fs::create_directories(file.parent_path());
    std::error_code ec;
    fs::remove(file, ec);
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file.string();
}

void CompileRelease(const fs::path& base, const std::string& release, const std::string& segments,
                    const std::vector<MessageSource>& messages) {
    TCompilerSDF sdf;
    sdf.SetSourceFile(WriteFile(base / release / (release + ".sdf"), segments));
    sdf.Compile();
    for (const auto& [name, source] : messages) {
        TCompilerMDF mdf;
        mdf.SetSourceFile(WriteFile(base / release / (name + ".mdf"), source));
        mdf.Compile();
    }
}

std::string WriteIni(const fs::path& file, const fs::path& base) {
    return WriteFile(file, "[STANDARDS]\nBASEDIR=" + base.string() + "\n");
}

std::vector<std::filesystem::path> SampleFiles(const std::string& folders) {
    namespace fs = std::filesystem;
    std::vector<fs::path> all;
    std::stringstream list(folders);
    for (std::string folder; std::getline(list, folder, ':');) {
        if (folder.empty() || !fs::is_directory(folder)) continue;
        std::vector<fs::path> paths;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().extension() != ".tsv" &&
                entry.path().extension() != ".md" && entry.file_size() < (8 << 20))
                paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        all.insert(all.end(), paths.begin(), paths.end());
    }
    return all;
}

} // namespace talmiro::test
