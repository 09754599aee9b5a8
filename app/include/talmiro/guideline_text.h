// Guideline texts: the skeleton source of a UN message, ready to narrow, and the readable document of a
// compiled guideline that partners exchange.
#pragma once

#include "talmiro/guideline.h"

#include <string>

namespace talmiro {

class TEdiComposit;
class TEdiElement;
class TEdiMessage;
class TEdiSegment;
struct TMessageDefRec;

// A .gdf source naming every segment, group, element and component of the loaded message with its UN
// status and repetitions. Compiled unchanged it narrows nothing: checks against it report nothing.
std::string GuidelineSkeleton(const TEdiMessage& base, const std::string& version,
                              const std::string& release);

enum class TDocFormat { Markdown, Html };
// The guideline as a document: its header, the message structure with UN and guideline statuses and
// repetitions, then each segment position with its elements' usage, codes, names and notes.
std::string GuidelineDocument(const TGuideline& guideline, const TEdiMessage& base, TDocFormat format);

// What a guideline says of one segment, read at an entry of its base message's structure, in words to show
// beside the UN's own texts.
class TGuidelineNotes {
public:
    // segment: the segment as read, with its values (the qualifier chooses the variant).
    TGuidelineNotes(const TGuideline& guideline, const TMessageDefRec* structure, const TMessageDefRec* entry,
                    const TEdiSegment& segment);
    // The rule of the segment's position (or of the group it begins) and of its variant:
    // "SG2/NAD with 3035 "BY": required, at most 1; Buyer"; empty when the guideline has none.
    std::string SegmentText() const;
    // The rules of one element of the segment (container: the segment, or the composite holding it), those
    // of its position and variant first, then the message-wide ones: "required; codes 137, 2; Order date";
    // empty when none applies.
    std::string ElementText(const TEdiComposit& container, const TEdiElement& element) const;

private:
    const TGuideline& guideline_;
    const TEdiSegment& segment_;
    const TGuidelineRule* rule_ = nullptr;
    const TGuidelineVariant* variant_ = nullptr;
    std::string qualifierValue_;
};

// The base message's table of a guideline below a standards base directory: <dir>/D96A/ORDERS.MDT.
std::string BaseMessageFile(const std::string& baseDir, const std::string& type, const std::string& version,
                            const std::string& release);

} // namespace talmiro
