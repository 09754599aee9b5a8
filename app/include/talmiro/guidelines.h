// Installed implementation guidelines and the checks of a message against one. Guidelines are compiled
// tables (.GDT) in the folder "guidelines" of the standards base directory; the partner file
// "partners.ini" beside the releases maps interchange partners to guideline names.
#pragma once

#include "talmiro/guideline.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace talmiro {

class TEdiComposit;
class TEdiElement;
class TEdiSegment;
class TEDIField;
struct TMessageDefRec;
class TSegmentTable;

// A party of the interchange: UNB S002 (sender) or S003 (recipient), identification and its qualifier.
struct TParty {
    std::string Id, Qualifier;
};

// The guidelines of one base directory, loaded once; read-only afterwards, so that workers may share it.
class TGuidelineCatalogue {
public:
    static constexpr const char* FolderName = "guidelines";
    static constexpr const char* PartnerFileName = "partners.ini";

    // Loads <baseDir>/guidelines/*.GDT and <baseDir>/partners.ini; a damaged table or partner entry is
    // kept in Problems and left out.
    explicit TGuidelineCatalogue(const std::string& baseDir);

    const std::vector<std::shared_ptr<const TGuideline>>& Installed() const { return installed_; }
    std::vector<std::string> Problems;

    // An installed guideline by identifier (letter case ignored); null when none.
    std::shared_ptr<const TGuideline> Find(const std::string& id) const;
    // The first installed guideline for the message whose association codes include assoc.
    std::shared_ptr<const TGuideline> ByAssociation(const std::string& type, const std::string& version,
                                                    const std::string& release,
                                                    const std::string& assoc) const;
    // The first guideline that the partner file names for the sender, then for the recipient, that fits
    // the message.
    std::shared_ptr<const TGuideline> ForPartners(const TParty& sender, const TParty& recipient,
                                                  const std::string& type, const std::string& version,
                                                  const std::string& release) const;

    struct TPartner {
        TParty Party; // an empty qualifier matches any
        std::vector<std::string> Guidelines;
    };
    const std::vector<TPartner>& Partners() const { return partners_; }

private:
    std::vector<std::shared_ptr<const TGuideline>> installed_;
    std::vector<TPartner> partners_;
};

// A guideline named on the command line or chosen by hand: an installed one by identifier, else a .GDT
// table or a .gdf source (compiled against the releases of baseDir). Raises EGuidelineError (with the
// place in the source) or another Exception when it cannot be had.
std::shared_ptr<const TGuideline> ResolveGuideline(const std::string& nameOrFile, const std::string& baseDir,
                                                   const TGuidelineCatalogue* catalogue);

// A finding of the checks: its JSON code (guideline-unused, guideline-missing, guideline-repeat,
// guideline-code, guideline-fixed, guideline-length, guideline-qualifier), its text and the rule's place.
struct TGuidelineFinding {
    std::string Code, Text;
    TSourcePlace Place;
    bool AtSegment = true; // about the segment just read; false: about the end of a group or message
};

// The checks of one message against one guideline. Bind it to the loaded message table, then feed it the
// reader's events; findings go to OnFinding.
class TGuidelineCheck {
public:
    TGuidelineCheck();
    ~TGuidelineCheck();
    TGuidelineCheck(const TGuidelineCheck&) = delete;
    TGuidelineCheck& operator=(const TGuidelineCheck&) = delete;

    // Binds the rules to the entries and element definitions of the loaded structure; a rule that does
    // not resolve (a table changed since compilation) is left out.
    void Bind(std::shared_ptr<const TGuideline> guideline, const TMessageDefRec* structure,
              const TSegmentTable& segments);
    const TGuideline* Guideline() const { return guideline_.get(); }

    void BeginMessage();
    // A segment read at a structure entry (null: not in the structure's walk).
    void Segment(const TEdiSegment& segment, const TMessageDefRec* entry);
    void EnterGroup(int group);
    void DoneGroup(int group);
    // At UNT: the message's own required positions.
    void EndMessage();
    // Stops the checks at group and message ends after a sequence error, where the counts are unsure.
    void Abandon() { abandoned_ = true; }

    // True when the guideline adds the code to this element at the segment just read, or message-wide.
    bool AddsCode(const TEDIField& field, const std::string& code) const;

    std::function<void(const TGuidelineFinding& Finding)> OnFinding;

private:
    struct TBoundElement {
        const TGuidelineElement* Rule;
        const TEdiElement* Element;
        const TEdiComposit* Container;
    };
    struct TBoundRule {
        const TGuidelineRule* Rule;
        const TMessageDefRec* Entry; // the trigger segment's entry for a group
        std::string Path;            // as reported
        std::string SegmentPath;     // the path of the segment itself: SG2/NAD for a rule on group SG2
        int Scope = 0;               // the group whose occurrence counts it; 0: the message
        int32_t Count = 0;
        std::vector<int32_t> VariantCounts;
        const TEDIField* Qualifier = nullptr;
        std::vector<TBoundElement> Elements;
        std::vector<std::vector<TBoundElement>> VariantElements;
    };
    void Report(const std::string& code, const std::string& text, const TSourcePlace& place, bool atSegment);
    // where: the segment's path; qualifier and value: the variant's, named after its elements' paths.
    void CheckElements(const std::vector<TBoundElement>& elements, const TEdiSegment& segment,
                       const std::string& where, const std::string* qualifier, const std::string* value);
    void CloseScope(int scope);
    std::string Prefix() const; // "Guideline ACME-ORDERS: "

    std::shared_ptr<const TGuideline> guideline_;
    std::vector<TBoundRule> rules_;
    std::unordered_map<const TMessageDefRec*, size_t> byEntry_;
    std::unordered_map<int, std::vector<size_t>> byScope_;
    // The message-wide element rules bound to the fields of each segment definition that has them.
    std::unordered_map<const TEdiSegment*, std::vector<TBoundElement>> wide_;
    // What applies to the segment just read.
    const std::vector<TBoundElement>* current_ = nullptr;
    const std::vector<TBoundElement>* currentVariant_ = nullptr;
    const std::vector<TBoundElement>* currentWide_ = nullptr;
    bool abandoned_ = false;
};

} // namespace talmiro
