#include "test_support.h"

#include "talmiro/compiler.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

} // namespace talmiro::test
