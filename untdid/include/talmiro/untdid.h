// Import of the official UN/EDIFACT directories (UNTDID): reads a release's segment directory and its
// message texts and writes our segment (.sdf) and message (.mdf) definition sources from them.
#pragma once

#include "talmiro/code_lists.h"
#include "talmiro/exceptions.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace talmiro::untdid {

// An archive or directory that cannot be read as a directory release.
class EImportError : public Exception {
public:
    using Exception::Exception;
};

// Something in a directory text that the importer could not read as it stands.
struct TImportWarning {
    std::string File; // entry name inside the archive, nested archives joined with "/"
    int Line = 0;     // 1-based line in that file, 0 when not tied to a line
    std::string Text;
    bool LosesData = false; // false when the importer repaired it without losing a definition
};

enum class TRepr { Alpha, Numeric, Alnum };

// A simple data element or a composite with its components, as one segment uses it.
struct TElementDef {
    std::string ID; // unique within its container: repetitions get ".2", ".3", ...
    std::string Name;
    bool IsComposite = false;
    TRepr Repr = TRepr::Alnum;
    int MinSize = 0;
    int MaxSize = 0;
    int Repeats = 1; // how often the element may occur at its position in the segment (D99B on)
    bool Mandatory = false; // status M in its segment or composite
    std::vector<TElementDef> Components;
};

struct TSegmentDef {
    std::string Tag;
    std::string Name;
    std::vector<TElementDef> Elements;
};

// One row of a message's segment table: a segment entry or a segment group with its members.
struct TMessageNode {
    bool IsGroup = false;
    std::string Tag; // segment tag; for a group the tag of its initial segment
    std::string Name;
    bool Mandatory = false;
    std::int32_t MaxRepeat = 1;
    int GroupNumber = 0; // as numbered in the directory
    int Line = 0;        // 1-based line of its row in the message text, for warnings
    std::vector<TMessageNode> Children;
};

struct TMessageDef {
    std::string Type;    // ORDERS
    std::string Version; // D
    std::string Release; // 96A
    std::string Agency;  // UN
    std::string Title;   // Purchase order message
    std::vector<TMessageNode> Structure;
};

struct TDirectory {
    std::string Release; // D96A
    std::vector<TSegmentDef> Segments;
    std::vector<TMessageDef> Messages;
    TCodeLists CodeLists; // UNCL, and UNSL where the release has it; empty for releases without
    int InteractiveSkipped = 0;
    std::vector<TImportWarning> Warnings;
};

// Converts one directory text from code page 437 to 8-bit text: accented letters become their Latin-1
// bytes, box-drawing characters the ASCII lines "-", "|" and "+", anything else "?". Line ends become
// "\n" and other control characters spaces.
std::string Cp437ToText(std::string_view bytes);

// Reads a segment directory text (EDSD/TRSD, already converted). Warnings go to `warnings`.
std::vector<TSegmentDef> ParseSegmentDirectory(std::string_view text, const std::string& fileName,
                                               std::vector<TImportWarning>& warnings);

// Reads one message text (already converted). `fileName` is the entry's base name, for example
// ORDERS_D.96A, which gives type, version and release. Returns false, without warnings, for an
// interactive message (UIH ... UIT); throws EImportError when the text has no segment table.
bool ParseMessage(std::string_view text, const std::string& fileName, TMessageDef& message,
                  std::vector<TImportWarning>& warnings);

// Reads a code-list text (UNCL or UNSL, already converted) into `into`: each listed element with its
// codes and their names. Codes marked as deleted are left out, as are elements whose entry is deleted.
void ParseCodeLists(std::string_view text, const std::string& fileName, TCodeLists& into,
                    std::vector<TImportWarning>& warnings);

// The envelope and section control segments a message table needs besides the directory's own.
std::vector<TSegmentDef> ServiceSegments();

// Reads a whole release from a directory archive (the UN's zip, nested archives read in memory) or from
// a folder holding the same files. The service segments are added to the segment list.
TDirectory ImportRelease(const std::filesystem::path& archiveOrFolder);

// The definition sources. A directory's segment source is named <Release>.sdf, a message's <Type>.mdf.
std::string SegmentSource(const TDirectory& directory);
std::string MessageSource(const TMessageDef& message, const std::string& segmentsName);

// Writes <outDir>/<Release>/<Release>.sdf, one .mdf per message and the code lists (CODES.CLT, when the
// release has any), each file replaced atomically.
// Returns the paths written.
std::vector<std::filesystem::path> WriteRelease(const TDirectory& directory,
                                                const std::filesystem::path& outDir);

// Figures for the import summary.
struct TDirectoryCounts {
    int Segments = 0;
    int Composites = 0; // distinct composite identifiers used by the segments
    int Elements = 0;   // distinct simple element identifiers, components included
    int Messages = 0;
    int CodeLists = 0; // elements with a code list
    int Codes = 0;
};
TDirectoryCounts CountDirectory(const TDirectory& directory);

} // namespace talmiro::untdid
