// Validation of an interchange: the reading with the viewer's reader while collecting every error and
// warning with its place in the file. The command-line tool and the viewer both report through this, so
// that they can never disagree.
#pragma once

#include "talmiro/code_lists.h"
#include "talmiro/guidelines.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/standards.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace talmiro {

class TStream;
struct TMessageDefRec;

// A place in the file: the segment's number in file order (from 1, envelope included), its tag and the
// byte offset (from 0) and line and column (from 1) of its first character.
struct TLocation {
    int64_t Segment = 0;
    std::string Tag;
    int64_t Offset = 0;
    int64_t Line = 0;
    int64_t Column = 0;
};

struct TDiagnostic {
    bool Warning = false;
    std::string Code;
    std::string Text;
    std::string Hint;       // what the user can do about it, shown on a line of its own; often empty
    std::string GroupPath;  // "SG2/SG3"; empty at the top level of a message or outside one
    int64_t SegmentPos = 0; // where the segment's text (or the control bytes before it) begins
    TLocation Location;
    // For a warning about one data element: its position after the tag (from 1), the component's position
    // in its composite (from 1; 0 for the element as a whole) and, for a repeating element, the occurrence
    // (from 1; 0 when it does not repeat). All 0 when the diagnostic is about no single element.
    int32_t ElementPos = 0;
    int32_t ComponentPos = 0;
    int32_t Occurrence = 0;
    // The tree node it belongs to: the segment it is about, or the node read last before an error; None
    // when no tree was built.
    int32_t Node = TInterchangeTree::None;
    // For a guideline's warning: the guideline, its source and the rule's place there.
    std::string Guideline, GuidelineSource;
    TSourcePlace RulePlace;
};

struct TMessageInfo {
    std::string Type, Version, Release, Reference;
    int64_t Segments = 0;
    std::string Guideline; // the guideline the message was checked against; empty for none
};

// Line and column of byte offsets, found by scanning the stream forward; offsets asked in increasing
// order cost one pass over the file.
class TLocator {
public:
    explicit TLocator(TStream& stream) : stream_(stream) {}
    // The location of the segment whose text begins at pos (control bytes before the tag are skipped).
    TLocation At(int64_t pos, int64_t segmentNumber);

private:
    TStream& stream_;
    int64_t scanned_ = 0;   // offsets below this have been counted
    int64_t line_ = 1;      // line of offset scanned_
    int64_t lineStart_ = 0; // offset where that line begins
    bool lastCr_ = false;   // the byte before scanned_ is a carriage return
};

struct TValidationOptions {
    bool AllErrors = false; // report every sequence error of a message through the reader's event
    // Element sizes, numeric values, repeats, mandatory elements, codes, envelope counts and references.
    bool Strict = false;
    // A message whose table is not installed is an error (no-definition) rather than a look for the
    // table in the current directory, which the viewer keeps.
    bool NoDefinitionIsError = true;
    // A guideline named by the user: it applies to the messages it fits, and its checks run without
    // Strict too.
    std::shared_ptr<const TGuideline> Guideline;
    // Installed guidelines chosen by a message's association code or by the partner file; none: no
    // automatic choice. Their checks run with Strict.
    const TGuidelineCatalogue* Guidelines = nullptr;
};

// One reading of one interchange with a reader, collecting diagnostics.
class TValidator {
public:
    TValidator(TInterchangeReader& reader, TStream& stream, TValidationOptions options);
    ~TValidator();
    TValidator(const TValidator&) = delete;
    TValidator& operator=(const TValidator&) = delete;

    // Reads the interchange; an error of the engine is recorded, not raised (Error keeps it for a caller
    // that shows it as the viewer does). True when it read to UNZ.
    bool Run();
    // Fills the locations of all diagnostics (one more scan of the file up to the last of them) and puts
    // them in file order.
    void Locate();

    bool Completed = false;
    bool Utf8 = false; // UNB names syntax UNOY: the viewer shows the interchange's texts as UTF-8
    int64_t SegmentCount = 0;
    int64_t MessageCount = 0;
    std::exception_ptr Error; // the error that stopped the reading, if any
    // Called when a message has been read (or reading stopped inside it); nothing per message is kept,
    // so that memory does not grow with the file.
    std::function<void(const TMessageInfo& Message)> OnMessage;
    // Called after each segment with the position of its terminator.
    std::function<void(int64_t EndPos)> OnProgress;
    std::vector<TDiagnostic> Diagnostics; // in file order once located
    size_t ErrorCount() const;
    size_t WarningCount() const;

private:
    void OnSegment(TEdiSegment& segment);
    // Every occurrence of every element of a segment: sizes and numbers; inside messages also
    // mandatory elements and components and codes not in their UN list.
    void StrictElements(const TEdiSegment& segment);
    // One simple element, at segment level (composite none) or in a composite.
    void StrictField(const TEDIField& field, const TEdiComposit* composite, const TEdiSegment& segment);
    void StrictCode(const TEDIField& field, const TEdiComposit* composite, const TEdiSegment& segment);
    // Occurrences beyond an element's repeat count, and repeats sent as further data elements.
    void StrictRepeats(const TEdiSegment& segment);
    void StrictEnvelope(const TEdiSegment& segment);
    // The code lists of the table just loaded.
    void LoadCodeLists();
    // element and component (either may be null) name the data element at fault.
    void Warn(const std::string& code, const std::string& text, const TEdiSegment& segment,
              const TEdiElement* element = nullptr, const TEdiElement* component = nullptr);
    void OnSequenceError(const std::string& expect, const std::string& found);
    // The guideline of the message whose UNH was just read, if any, and the checks against it.
    void SelectGuideline(const TEdiSegment& unh);
    void GuidelineSegment(const TEdiSegment& segment);
    void GuidelineFinding(const TGuidelineFinding& finding);
    void MapGroups();
    std::string GroupPath() const;
    int64_t NextSegmentPos() const;
    int32_t LastNode() const;

    TInterchangeReader& reader_;
    TStream& stream_;
    TValidationOptions options_;
    int64_t lastEnd_ = -1; // terminator of the segment reported last
    bool inMessage_ = false;
    TMessageInfo message_; // the message being read
    // Group nesting, followed through the group events; after a reported sequence error a message sends
    // no further OnDoneGroup, so the table's structure fills in.
    std::vector<int> groups_;
    bool seqErrorInMessage_ = false;
    struct TGroupInfo {
        int Parent = 0;
        const TMessageDefRec* Members = nullptr; // the group's member list in the loaded structure
    };
    std::unordered_map<int, TGroupInfo> groupInfo_;
    std::string decimalMarks_ = ".";
    std::shared_ptr<const TCodeLists> codes_; // of the message's release; none when it has no lists
    std::string codesRelease_;
    std::set<std::string> codeListErrors_; // damaged code-list files reported so far
    // Envelope values kept for the strict checks.
    std::string unbReference_, ungReference_;
    // Guideline checks: the guideline chosen for the message being read and whether the checks are bound
    // to the loaded table and to this message.
    TGuidelineCheck guideline_;
    std::shared_ptr<const TGuideline> messageGuideline_;
    bool guidelineBound_ = false, guidelineBegun_ = false;
    const TEdiSegment* findingSegment_ = nullptr;
    TParty sender_, recipient_;
    int64_t interchangeMessages_ = 0, fncGroups_ = 0, groupMessages_ = 0;
};

} // namespace talmiro
