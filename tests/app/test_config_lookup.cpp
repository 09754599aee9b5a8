// Where the programs look for TALMIRO.INI: beside the executable, then the user's configuration
// directory, then the system's. Every test builds its own directories; nothing reads the real HOME or /etc.
#include "talmiro/standards.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace talmiro;

namespace {

class TempTree {
public:
    TempTree() {
        std::string pattern = (fs::temp_directory_path() / "talmiro-cfg-XXXXXX").string();
        Path = mkdtemp(pattern.data());
    }
    ~TempTree() {
        // Permissions a test took away come back first, or the tree could not be removed.
        for (auto it = Locked.rbegin(); it != Locked.rend(); ++it)
            chmod(it->c_str(), 0700);
        std::error_code ec;
        fs::remove_all(Path, ec);
    }
    std::string Ini(const std::string& dir, const std::string& baseDir) const {
        fs::create_directories(fs::path(Path) / dir);
        std::string name = Path + "/" + dir + "/TALMIRO.INI";
        std::ofstream(name) << "[STANDARDS]\nBASEDIR=" << baseDir << "\n";
        return name;
    }
    std::string Dir(const std::string& dir) const {
        fs::create_directories(fs::path(Path) / dir);
        return Path + "/" + dir;
    }
    void Mode(const std::string& path, mode_t mode) {
        chmod(path.c_str(), mode);
        Locked.push_back(path);
    }
    std::string Path;
    std::vector<std::string> Locked;
};

// As the lookup of this process would see it, with the user's directory given through XDG_CONFIG_HOME.
TConfigLocations Locations(const TempTree& t) {
    return ConfigLocationsFor(t.Path + "/bin", (t.Path + "/config").c_str(), "/nonexistent-home",
                              t.Path + "/etc/talmiro");
}

// The lookup as an ordinary user sees it. Permission bits do not stop root, so as root the lookup runs in a
// child process that has become nobody; the tree is then opened to others as far as the test needs.
std::string FindIniFileAsUser(const TConfigLocations& locations) {
    if (geteuid() != 0) return FindIniFile(locations);
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        std::string found = FindIniFile(locations);
        bool written = write(fds[1], found.data(), found.size()) == static_cast<ssize_t>(found.size());
        _exit(written ? 0 : 4);
    }
    close(fds[1]);
    std::string found;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        found.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
    return found;
}

} // namespace

TEST(ConfigLocations, UserDirectoryFollowsXdgRulesAndFallsBackToHome) {
    TConfigLocations l = ConfigLocationsFor("/usr/bin", "/home/ann/cfg", "/home/ann");
    EXPECT_EQ(l.ExecutableDir, "/usr/bin");
    EXPECT_EQ(l.UserDir, "/home/ann/cfg/talmiro");
    EXPECT_EQ(l.SystemDir, "/etc/talmiro");
    EXPECT_EQ(IniFileCandidates(l),
              (std::vector<std::string>{"/usr/bin/TALMIRO.INI", "/home/ann/cfg/talmiro/TALMIRO.INI",
                                        "/etc/talmiro/TALMIRO.INI"}));

    // Unset, empty or relative XDG_CONFIG_HOME: the default below HOME.
    EXPECT_EQ(ConfigLocationsFor("/usr/bin", nullptr, "/home/ann").UserDir, "/home/ann/.config/talmiro");
    EXPECT_EQ(ConfigLocationsFor("/usr/bin", "", "/home/ann/").UserDir, "/home/ann/.config/talmiro");
    EXPECT_EQ(ConfigLocationsFor("/usr/bin", "cfg", "/home/ann").UserDir, "/home/ann/.config/talmiro");

    // Neither known: that place is skipped, the other two stay in order.
    TConfigLocations none = ConfigLocationsFor("/opt/t/", nullptr, "");
    EXPECT_EQ(none.UserDir, "");
    EXPECT_EQ(IniFileCandidates(none),
              (std::vector<std::string>{"/opt/t/TALMIRO.INI", "/etc/talmiro/TALMIRO.INI"}));
}

TEST(ConfigLookup, BesideTheExecutableThenUserThenSystem) {
    TempTree t;
    std::string exe = t.Ini("bin", "/std/exe");
    std::string user = t.Ini("config/talmiro", "/std/user");
    std::string system = t.Ini("etc/talmiro", "/std/system");

    EXPECT_EQ(FindIniFile(Locations(t)), exe);
    fs::remove(exe);
    EXPECT_EQ(FindIniFile(Locations(t)), user);
    fs::remove(user);
    EXPECT_EQ(FindIniFile(Locations(t)), system);
    fs::remove(system);
    // Nothing anywhere: the file beside the executable, which reads as no base directory.
    EXPECT_EQ(FindIniFile(Locations(t)), exe);

    TStandardsCatalogue c;
    c.LoadSettings(FindIniFile(Locations(t)));
    EXPECT_EQ(c.IniFileName, exe);
    EXPECT_EQ(c.BaseDir, "");
    EXPECT_TRUE(c.Standards().empty());
}

TEST(ConfigLookup, TheFirstFileFoundIsTheOnlyOneRead) {
    // A user file without BASEDIR does not fall through to the system's base directory: what the user
    // wrote is what is used.
    TempTree t;
    t.Dir("bin");
    fs::create_directories(t.Path + "/config/talmiro");
    std::ofstream(t.Path + "/config/talmiro/TALMIRO.INI") << "[OTHER]\nBASEDIR=/elsewhere\n";
    t.Ini("etc/talmiro", "/std/system");
    TStandardsCatalogue c;
    c.LoadSettings(FindIniFile(Locations(t)));
    EXPECT_EQ(c.IniFileName, t.Path + "/config/talmiro/TALMIRO.INI");
    EXPECT_EQ(c.BaseDir, "");
}

TEST(ConfigLookup, InstalledProgramReadsTheSystemFile) {
    // The layout of the package: the program in a read-only bin directory holding no configuration, the
    // system file pointing at the generated standards.
    TempTree t;
    std::string bin = t.Dir("bin");
    t.Dir("var/standards/D96A");
    std::ofstream(t.Path + "/var/standards/D96A/D96A.sdf") << "";
    std::string system = t.Ini("etc/talmiro", t.Path + "/var/standards");
    t.Mode(bin, 0555);

    TStandardsCatalogue c;
    c.LoadSettings(FindIniFile(Locations(t)));
    EXPECT_EQ(c.IniFileName, system);
    ASSERT_EQ(c.Standards().size(), 1u);
    EXPECT_EQ(c.Standards()[0].Name, "D96A");
}

TEST(ConfigLookup, PlacesThatCannotBeReadAreSkipped) {
    TempTree t;
    chmod(t.Path.c_str(), 0755); // mkdtemp's directory is its owner's alone
    std::string user = t.Ini("config/talmiro", "/std/user");

    // A directory in place of the file.
    t.Dir("bin/TALMIRO.INI");
    EXPECT_EQ(FindIniFile(Locations(t)), user);
    fs::remove(t.Path + "/bin/TALMIRO.INI");

    // A file the user may not read.
    std::string exe = t.Ini("bin", "/std/exe");
    ASSERT_EQ(FindIniFileAsUser(Locations(t)), exe);
    t.Mode(exe, 0000);
    EXPECT_EQ(FindIniFileAsUser(Locations(t)), user);
    // An executable directory that cannot even be searched.
    t.Mode(exe, 0644);
    t.Mode(t.Path + "/bin", 0000);
    EXPECT_EQ(FindIniFileAsUser(Locations(t)), user);
}
