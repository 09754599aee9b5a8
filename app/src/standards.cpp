#include "talmiro/standards.h"

#include <ini.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace talmiro {

namespace fs = std::filesystem;

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
    });
}

bool HasExtensionNoCase(const std::string& name, const std::string& ext) {
    return name.size() >= ext.size() && EqualNoCase(name.substr(name.size() - ext.size()), ext);
}

std::string CutAtFirstDot(const std::string& name) {
    return name.substr(0, name.find('.'));
}

// The names of the entries of a directory, sorted so that the first .sdf file found does not depend on
// the order in which the file system happens to return them. An unreadable directory lists nothing.
std::vector<std::string> SortedEntries(const std::string& dir, bool directories) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return names;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code typeEc;
        bool isDir = it->is_directory(typeEc);
        if (directories && !isDir) continue;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> MatchingFiles(const std::string& dir, const std::string& ext) {
    std::vector<std::string> names = SortedEntries(dir, false);
    std::erase_if(names, [&](const std::string& n) { return !HasExtensionNoCase(n, ext); });
    return names;
}

// inih cuts lines at a fixed length and strips inline comments, which would cut a long base directory or
// one holding " ;". So inih sees each value as a token and the handler takes the value as written.
struct IniLookup {
    std::ifstream File;
    std::vector<std::string> Values;
    std::string Value;
    bool Found = false;
};

constexpr size_t MaxIniLine = 64 * 1024; // longer lines are cut; no path is that long

std::string Trim(const std::string& text) {
    const char* space = " \t\r\n\v\f";
    size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

char* IniReader(char* buffer, int size, void* user) {
    auto* lookup = static_cast<IniLookup*>(user);
    std::string line;
    int c;
    bool any = false;
    while ((c = lookup->File.get()) != std::char_traits<char>::eof()) {
        any = true;
        if (c == '\n') break;
        if (line.size() < MaxIniLine) line.push_back(static_cast<char>(c));
    }
    if (!any) return nullptr;
    // Without its indentation, so that inih never takes an indented key for a continuation line.
    line.erase(0, std::min(line.find_first_not_of(" \t\r"), line.size()));
    size_t sep = line.find_first_of("=:");
    bool keyLine =
        !line.empty() && line[0] != '[' && line[0] != ';' && line[0] != '#' && sep != std::string::npos;
    if (keyLine) {
        lookup->Values.push_back(Trim(line.substr(sep + 1)));
        line = line.substr(0, sep + 1) + "\x01" + std::to_string(lookup->Values.size() - 1);
    }
    size_t n = std::min(line.size(), static_cast<size_t>(size > 2 ? size - 2 : 0));
    line.copy(buffer, n);
    buffer[n] = '\n';
    buffer[n + 1] = '\0';
    return buffer;
}

int IniHandler(void* user, const char* section, const char* name, const char* value) {
    auto* lookup = static_cast<IniLookup*>(user);
    // The first occurrence wins, as with the usual profile readers.
    if (!lookup->Found && EqualNoCase(section, "STANDARDS") && EqualNoCase(name, "BASEDIR")) {
        if (value[0] == '\x01') {
            size_t index = std::strtoul(value + 1, nullptr, 10);
            lookup->Value = index < lookup->Values.size() ? lookup->Values[index] : std::string();
        }
        lookup->Found = true;
    }
    return 1;
}

} // namespace

std::string ReadBaseDir(const std::string& iniFileName) {
    IniLookup lookup;
    lookup.File.open(iniFileName, std::ios::binary);
    if (!lookup.File) return {};
    // Lines the parser cannot make sense of are skipped.
    ini_parse_stream(IniReader, &lookup, IniHandler, &lookup);
    return lookup.Value;
}

std::string IniFileNameFor(const std::string& executableDir) {
    std::string name = executableDir;
    if (name.empty() || name.back() != '/') name += '/';
    return name + "TALMIRO.INI";
}

std::string ExecutableDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec).string();
    return exe.parent_path().string();
}

TConfigLocations ConfigLocationsFor(const std::string& executableDir, const char* xdgConfigHome,
                                    const char* home, const std::string& systemDir) {
    TConfigLocations locations;
    locations.ExecutableDir = executableDir;
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        locations.UserDir = std::string(xdgConfigHome) + "/talmiro";
    else if (home && home[0] != '\0')
        locations.UserDir =
            std::string(home) + (home[std::strlen(home) - 1] == '/' ? "" : "/") + ".config/talmiro";
    locations.SystemDir = systemDir;
    return locations;
}

TConfigLocations DefaultConfigLocations() {
    return ConfigLocationsFor(ExecutableDir(), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

std::vector<std::string> IniFileCandidates(const TConfigLocations& locations) {
    std::vector<std::string> candidates{IniFileNameFor(locations.ExecutableDir)};
    for (const std::string* dir : {&locations.UserDir, &locations.SystemDir})
        if (!dir->empty()) candidates.push_back(IniFileNameFor(*dir));
    return candidates;
}

std::string FindIniFile(const TConfigLocations& locations) {
    std::vector<std::string> candidates = IniFileCandidates(locations);
    for (const std::string& name : candidates) {
        // A directory that cannot be searched, a missing file and one without read permission all pass on
        // to the next place.
        std::error_code ec;
        if (!fs::is_regular_file(name, ec)) continue;
        if (std::ifstream(name, std::ios::binary)) return name;
    }
    return candidates.front();
}

void TStandardsCatalogue::LoadSettings(const std::string& iniFileName) {
    IniFileName = iniFileName;
    BaseDir = ReadBaseDir(iniFileName);
    ScanStandards();
}

void TStandardsCatalogue::ScanStandards() {
    standards_.clear();
    messages_.clear();
    selected_ = -1;
    if (!BaseDir.empty()) {
        for (const std::string& entry : SortedEntries(BaseDir, true)) {
            if (entry.empty() || entry[0] == '.') continue;
            // Joined as text: a base directory ending in a separator gives a doubled one, which is harmless.
            std::string dir = BaseDir + "/" + entry;
            std::vector<std::string> sources = MatchingFiles(dir, ".sdf");
            if (sources.empty()) continue;
            standards_.push_back({CutAtFirstDot(sources.front()), dir});
        }
        std::stable_sort(standards_.begin(), standards_.end(),
                         [](const TStandard& a, const TStandard& b) { return LessNoCase(a.Name, b.Name); });
    }
    if (!standards_.empty()) {
        selected_ = 0;
        ListMessages();
    } else if (OnChange) {
        OnChange();
    }
}

void TStandardsCatalogue::ListMessages() {
    messages_.clear();
    if (selected_ >= 0) {
        for (const std::string& file : MatchingFiles(StandardDir(), ".mdf"))
            messages_.push_back(CutAtFirstDot(file));
        std::stable_sort(messages_.begin(), messages_.end(), LessNoCase);
    }
    if (OnChange) OnChange();
}

void TStandardsCatalogue::SetSelected(int index) {
    selected_ = index >= 0 && index < static_cast<int>(standards_.size()) ? index : -1;
    ListMessages();
}

bool TStandardsCatalogue::SelectStandard(const std::string& name) {
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (size_t i = 0; i < standards_.size(); ++i) {
        if (EqualNoCase(standards_[i].Name, upper)) {
            selected_ = static_cast<int>(i);
            ListMessages();
            return true;
        }
    }
    return false;
}

std::string TStandardsCatalogue::StandardDir() const {
    return selected_ >= 0 ? standards_[static_cast<size_t>(selected_)].Directory : std::string();
}

std::string TStandardsCatalogue::StandardSourcePath() const {
    std::string name = selected_ >= 0 ? standards_[static_cast<size_t>(selected_)].Name : std::string();
    return StandardDir() + "/" + name + ".sdf";
}

std::string TStandardsCatalogue::MessageSourcePath(int messageIndex) const {
    if (messageIndex < 0 || messageIndex >= static_cast<int>(messages_.size())) return {};
    return StandardDir() + "/" + messages_[static_cast<size_t>(messageIndex)] + ".mdf";
}

bool IsServiceMessage(const std::string& type) {
    return type == "CONTRL";
}

bool TStandardsCatalogue::SelectStandardFor(const std::string& type, const std::string& version,
                                            const std::string& release) {
    const int before = selected_;
    if (SelectStandard(version + release)) {
        std::error_code ec;
        if (!IsServiceMessage(type) || fs::exists(StandardDir() + "/" + type + ".MDT", ec)) return true;
    }
    if (IsServiceMessage(type) && SelectStandard(version == "4" ? "SERVICE4" : "SERVICE3")) return true;
    if (selected_ != before) SetSelected(before);
    return false;
}

std::string TStandardsCatalogue::MissingDefinitionText(const std::string& type, const std::string& version,
                                                       const std::string& release) const {
    std::string text = "No definition of message " + type + " version " + version + " release " + release;
    if (BaseDir.empty()) return text + ": no standards directory is configured (BASEDIR of TALMIRO.INI)";
    std::string name = version + release;
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const auto standard = std::find_if(standards_.begin(), standards_.end(),
                                       [&](const TStandard& s) { return EqualNoCase(s.Name, name); });
    if (standard != standards_.end())
        text += ": " + standard->Directory + "/" + type + ".MDT does not exist";
    else
        text += ": standard " + name + " is not installed in " + BaseDir;
    std::string installed;
    for (const TStandard& s : standards_)
        installed += (installed.empty() ? "" : ", ") + s.Name;
    return text + " (installed: " + (installed.empty() ? std::string("none") : installed) + ")";
}

std::string TStandardsCatalogue::MissingDefinitionHint(const std::string& version,
                                                       const std::string& release) const {
    std::string archive = "d" + release + ".zip";
    if (version != "D" && version != "d") archive = "<archive>.zip";
    for (char& c : archive)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return "To add a directory release: talmiro-cli import-untdid " + archive + " --out " +
           (BaseDir.empty() ? std::string("<standards directory>") : BaseDir) + " --compile";
}

} // namespace talmiro
