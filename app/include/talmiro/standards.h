// The standards known to the viewer: the configuration file and the catalogue of directory releases
// below the base directory.
#pragma once

#include "talmiro/exceptions.h"

#include <functional>
#include <string>
#include <vector>

namespace talmiro {

// The value of key BASEDIR in section STANDARDS of the INI file (names matched without regard to case);
// empty when the file, the section or the key is missing. Values are taken literally.
std::string ReadBaseDir(const std::string& iniFileName);
// The configuration file beside the executable: its directory, a separator unless it ends with one,
// then "TALMIRO.INI".
std::string IniFileNameFor(const std::string& executableDir);
// The directory of the running executable.
std::string ExecutableDir();

// No table exists for a message: the text says what was looked for and where, Hint how to add it.
class ENoDefinition : public Exception {
public:
    ENoDefinition(const std::string& text, std::string hint) : Exception(text), Hint(std::move(hint)) {}
    std::string Hint;
};

// Message types of the service syntax (ISO 9735) rather than of a directory release.
bool IsServiceMessage(const std::string& type);

// Where TALMIRO.INI may be, in the order it is looked for: beside the executable (a build tree or an
// unpacked copy), the user's configuration directory, then the system's (an installed copy).
struct TConfigLocations {
    std::string ExecutableDir;
    std::string UserDir;   // $XDG_CONFIG_HOME/talmiro, else $HOME/.config/talmiro; empty when neither is set
    std::string SystemDir; // /etc/talmiro
};
// The locations for the given environment values (null or empty when unset). As the XDG base directory
// rules say, a relative XDG_CONFIG_HOME is ignored.
TConfigLocations ConfigLocationsFor(const std::string& executableDir, const char* xdgConfigHome,
                                    const char* home, const std::string& systemDir = "/etc/talmiro");
// The locations of this process: its executable and its environment.
TConfigLocations DefaultConfigLocations();
// The configuration files in lookup order; an empty user or system location is left out.
std::vector<std::string> IniFileCandidates(const TConfigLocations& locations);
// The first candidate that is a file this process can read; the one beside the executable when there is
// none, so that an unconfigured program reports the first place it looked.
std::string FindIniFile(const TConfigLocations& locations);

struct TStandard {
    std::string Name;      // base name of the first .sdf file, cut at the first dot
    std::string Directory; // BaseDir, separator, subdirectory name
};

// The standards list with its selection and the messages list of the selected standard.
class TStandardsCatalogue {
public:
    std::string IniFileName;
    std::string BaseDir;
    // Fired after the lists or the selection changed (the settings dialog mirrors them).
    std::function<void()> OnChange;

    // Reads the configuration file, then ScanStandards.
    void LoadSettings(const std::string& iniFileName);
    // Rebuilds the standards list from BaseDir (sorted without regard to case) and selects the first.
    void ScanStandards();
    // Rebuilds the messages list of the selected standard (sorted without regard to case).
    void ListMessages();

    const std::vector<TStandard>& Standards() const { return standards_; }
    const std::vector<std::string>& Messages() const { return messages_; }
    int Selected() const { return selected_; }
    // Selects by index (-1 for none) and lists its messages, as a user's pick in the dialog does.
    void SetSelected(int index);

    // Upper-cases the name, selects the first standard of that name (ignoring case) and lists its
    // messages; false, with no change, when there is none.
    bool SelectStandard(const std::string& name);
    // Selects the standard that defines a message: the release named by version and release (D + 96A);
    // for a service message (CONTRL) whose release has no table of it, the service definitions of its
    // syntax: SERVICE4 when the version is 4, SERVICE3 otherwise. False, with no change, when none fits.
    bool SelectStandardFor(const std::string& type, const std::string& version, const std::string& release);
    // Why no table was found for a message: what was looked for, where, and what is installed.
    std::string MissingDefinitionText(const std::string& type, const std::string& version,
                                      const std::string& release) const;
    // How to add a directory release, for the line after that text.
    std::string MissingDefinitionHint(const std::string& version, const std::string& release) const;

    // The directory of the selected standard; empty when none is selected.
    std::string StandardDir() const;

    // Paths the settings dialog edits and compiles.
    std::string StandardSourcePath() const;                // StandardDir / <name>.sdf
    std::string MessageSourcePath(int messageIndex) const; // StandardDir / <message>.mdf

private:
    std::vector<TStandard> standards_;
    std::vector<std::string> messages_;
    int selected_ = -1;
};

} // namespace talmiro
