// Validation of an interchange: the reading with the viewer's reader while collecting every error and
// warning with its place in the file. The command-line tool and the viewer both report through this, so
// that they can never disagree.
#pragma once

#include "talmiro/charsets.h"
#include "talmiro/code_lists.h"
#include "talmiro/guidelines.h"
#include "talmiro/interchange_tree.h"
#include "talmiro/standards.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
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
    // Element sizes, numeric values, repeats, mandatory elements, codes, characters of the declared
    // repertoire, envelope counts and references.
    bool Strict = false;
    // Look whether an interchange that declares a single-byte repertoire holds UTF-8 text (Utf8). Strict
    // checks look whenever a value has a byte above 127, whatever this says.
    bool DetectUtf8 = true;
    // A message whose table is not installed is an error (no-definition) rather than a look for the
    // table in the current directory, which the viewer keeps.
    bool NoDefinitionIsError = true;
    // A guideline named by the user: it applies to the messages it fits, and its checks run without
    // Strict too.
    std::shared_ptr<const TGuideline> Guideline;
    // Installed guidelines chosen by a message's association code or by the partner file; none: no
    // automatic choice. Their checks run with Strict.
    const TGuidelineCatalogue* Guidelines = nullptr;
    // Guidelines chosen by hand for single messages, by the message's number in the stream (from 0): each
    // applies to its message as Guideline would, where it fits; a null one checks that message against none.
    std::map<int64_t, std::shared_ptr<const TGuideline>> MessageGuidelines;
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
    // The interchange's texts are UTF-8 (UNB names syntax UNOY, or its text proved to be UTF-8): the
    // viewer and the text outputs decode them so, and lengths count characters.
    bool Utf8 = false;
    // The repertoire UNB declares is one of single bytes (UNOC, say), but every byte above 127 in the file
    // belongs to a UTF-8 sequence and there is at least one: "Text is UTF-8, but UNB declares UNOC".
    std::string Utf8Undeclared;
    int64_t SegmentCount = 0;
    int64_t MessageCount = 0;
    // The guideline the message read last is checked against; null for none.
    const std::shared_ptr<const TGuideline>& MessageGuideline() const { return messageGuideline_; }
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
    // Every occurrence of every element of a segment, each simple one handed to CheckValue; inside
    // messages also mandatory composites. Values an earlier reading left in elements the text does not
    // have are emptied first.
    void StrictElements(TEdiSegment& segment);
    // The same for a segment with repeating elements.
    void StrictOccurrences(TEdiSegment& segment);
    // One simple element occurrence, as the strict checks see it.
    struct TValue {
        const TEdiSegment& Segment;
        const TEdiComposit* Composite; // none at segment level
        const TEDIField& Field;
        int Occurrence;         // 0 when the element has no repeats in the segment, else from 1
        std::string_view Value; // as read, release characters taken away; empty when absent
    };
    // The checks of one value: mandatory, repertoire, numeric, length and code.
    void CheckValue(const TValue& v);
    // The data element and component a diagnostic about the value places.
    static const TEdiElement* ElementOf(const TValue& v) {
        return v.Composite ? static_cast<const TEdiElement*>(v.Composite) : &v.Field;
    }
    static const TEdiElement* ComponentOf(const TValue& v) { return v.Composite ? &v.Field : nullptr; }
    [[gnu::noinline]] void CheckText(const TValue& v); // a value that is there
    [[gnu::cold, gnu::noinline]] void MissingValue(const TValue& v);
    [[gnu::cold, gnu::noinline]] void NotNumeric(const TValue& v);
    [[gnu::cold, gnu::noinline]] void WrongLength(const TValue& v, size_t length);
    void MissingComposite(const TEdiSegment& segment, const TEdiComposit& composite);
    [[gnu::noinline]] void CheckCharacters(const TValue& v, uint8_t flags);
    [[gnu::noinline]] void CheckCode(const TValue& v);
    // Occurrences beyond an element's repeat count, and repeats sent as further data elements.
    void StrictRepeats(const TEdiSegment& segment);
    void StrictEnvelope(const TEdiSegment& segment);
    // The code lists of the table just loaded, resolved into its elements.
    void LoadCodeLists();
    void ResolveCodeLists();
    // The repertoire UNB declares, with the service characters of the interchange.
    void DeclareRepertoire(const TEdiSegment& unb);
    // Whether text declared in a single-byte set is UTF-8 (a look at the whole file, once); warns once per
    // interchange in strict checks.
    void DiagnoseUtf8(const TEdiSegment& segment);
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
    TRepertoire repertoire_;
    bool utf8Scanned_ = false, utf8Warned_ = false;
    TUtf8Scan utf8Scan_;
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
