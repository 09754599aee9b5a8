// Guideline texts: the skeleton source of a UN message, ready to narrow, and the readable document of a
// compiled guideline that partners exchange.
#pragma once

#include "talmiro/guideline.h"

#include <string>

namespace talmiro {

class TEdiMessage;

// A .gdf source naming every segment, group, element and component of the loaded message with its UN
// status and repetitions. Compiled unchanged it narrows nothing: checks against it report nothing.
std::string GuidelineSkeleton(const TEdiMessage& base, const std::string& version,
                              const std::string& release);

enum class TDocFormat { Markdown, Html };
// The guideline as a document: its header, the message structure with UN and guideline statuses and
// repetitions, then each segment position with its elements' usage, codes, names and notes.
std::string GuidelineDocument(const TGuideline& guideline, const TEdiMessage& base, TDocFormat format);

// The base message's table of a guideline below a standards base directory: <dir>/D96A/ORDERS.MDT.
std::string BaseMessageFile(const std::string& baseDir, const std::string& type, const std::string& version,
                            const std::string& release);

} // namespace talmiro
