// Implementation guidelines: a partner's or a community's narrowing of one UN message (usage of segments,
// groups and elements, code subsets and added codes, qualifier variants), as compiled from a .gdf source
// into a .GDT table and loaded again.
//
// A .GDT table is the 320-byte table header (file type 0xEDF3) followed by definition-stream values:
// the header texts, the message-wide element rules, then the position rules with their variants. Every
// count is checked against the bytes that remain before anything is kept.
#pragma once

#include "talmiro/exceptions.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace talmiro {

class TStream;
class TEdiComposit;
class TEdiElement;
class TEdiSegment;
struct TMessageDefRec;

constexpr int32_t GdtFileType = 0xEDF3;

// The status of a segment, group or element in a guideline, in the UN's vocabulary (code list 7299).
// Unset keeps the UN's own status.
enum class TUsage : uint8_t { Unset = 0, Mandatory, Required, Advised, Dependent, Optional, NotUsed };

// "required", "not used", ...; empty for Unset.
const char* UsageName(TUsage usage);
// The letter community guides print: M, R, A, D, O, N; ' ' for Unset.
char UsageLetter(TUsage usage);
// Mandatory and required occurrences must be there.
inline bool UsageRequires(TUsage usage) {
    return usage == TUsage::Mandatory || usage == TUsage::Required;
}

// A guideline source or table that is not one; Line and Column (from 1) name the place in the source,
// 0 for a compiled table.
class EGuidelineError : public Exception {
public:
    EGuidelineError(const std::string& text, int32_t line = 0, int32_t column = 0)
        : Exception(text), Line(line), Column(column) {}
    int32_t Line, Column;
};

// Where a rule stands in its source, for reports.
struct TSourcePlace {
    int32_t Line = 0, Column = 0;
};

// Usage of one simple element, composite or component: "C506/1153", "3035"; in the message-wide list an
// element identifier alone ("7143"), whose codes apply wherever the element stands.
struct TGuidelineElement {
    std::string Path;
    TUsage Usage = TUsage::Unset;
    int32_t MinLength = -1, MaxLength = -1; // -1: the UN's
    bool HasFixed = false;
    std::string Fixed;
    std::vector<std::string> Codes;                         // the subset allowed; empty: no subset
    std::vector<std::pair<std::string, std::string>> Added; // codes the guideline adds, with names
    std::string Name, Note;
    TSourcePlace Place;

    bool Allows(const std::string& code) const;
    const std::string* AddedName(const std::string& code) const;
};

// Occurrences of a position whose qualifier holds one of Values.
struct TGuidelineVariant {
    std::vector<std::string> Values;
    TUsage Usage = TUsage::Unset;
    int32_t MaxRep = -1; // -1: the position's
    std::string Name, Note;
    std::vector<TGuidelineElement> Elements;
    TSourcePlace Place;
};

// A segment position ("SG2/NAD", "DTM#2": the second DTM at that level) or a group ("SG2"), which stands
// for its trigger segment counted in the group's parent.
struct TGuidelineRule {
    std::string Path;
    bool Group = false;
    TUsage Usage = TUsage::Unset;
    int32_t MaxRep = -1; // -1: the UN's
    std::string Name, Note;
    std::string Qualifier; // element path telling variants apart; empty without variants
    std::vector<TGuidelineElement> Elements;
    std::vector<TGuidelineVariant> Variants;
    TSourcePlace Place;
};

struct TGuideline {
    std::string Id, Title;
    std::string Type, Version, Release, Agency; // the base message
    std::vector<std::string> Associations;      // UNH S009 0057 codes it answers to
    std::string Note;
    std::string SourceFile;                  // as the compiler opened it
    std::vector<TGuidelineElement> Elements; // message-wide element rules
    std::vector<TGuidelineRule> Rules;

    // True when the guideline is for messages of this type, version and release.
    bool Fits(const std::string& type, const std::string& version, const std::string& release) const;
};

// Writes the compiled table; ReadGuideline reads it back (EGuidelineError or EReadError when damaged).
void WriteGuideline(TStream& stream, const TGuideline& guideline, bool modifiable = false);
TGuideline ReadGuideline(TStream& stream);
TGuideline LoadGuideline(const std::string& fileName);

// The entry of a message structure that a rule's path names: for a segment path ("SG2/NAD", "DTM#2") the
// segment entry, for a group path ("SG1/SG2") the group entry; nullptr when the structure has none there.
const TMessageDefRec* FindPosition(const TMessageDefRec* structure, const std::string& path, bool group);
// The element of a segment definition that an element path names ("C506/1153", "3035", "C506"), and the
// composite or segment holding it; nullptr when there is none.
const TEdiElement* FindElement(const TEdiSegment& segment, const std::string& path,
                               const TEdiComposit** container);

} // namespace talmiro
