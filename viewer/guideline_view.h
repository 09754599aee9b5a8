// Implementation guidelines in the viewer: the installed ones, the guideline each message of the displayed
// file was checked against, and choosing one by hand for a message.
#pragma once

#include "talmiro/guidelines.h"

#include <QString>

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace talmiro {

// The guidelines of the base directory, read again when the directory or its guidelines folder or partner
// file have changed since. Damaged tables are left out (the command line reports them).
const TGuidelineCatalogue& ViewerGuidelines(const std::string& baseDir);

// "FENNICK-ORDERS - Fennick Markets purchase order (ORDERS D96A)"
QString GuidelineCaption(const TGuideline& guideline);

// The guideline each message of the displayed file was checked against, by the message's top-level row.
// Neighbouring messages mostly share theirs, so it is kept as runs: a file of millions of messages costs
// a few entries.
class TMessageGuidelines {
public:
    void Clear() { runs_.clear(); }
    // True when no message has a guideline.
    bool Empty() const { return runs_.empty(); }
    // Called for the messages in row order; null for a message checked against none.
    void Add(size_t row, std::shared_ptr<const TGuideline> guideline);
    // Null for none, and for a row that is no message read since Clear.
    const TGuideline* Of(size_t row) const;

private:
    std::vector<std::pair<size_t, std::shared_ptr<const TGuideline>>> runs_; // from this row to the next run
};

} // namespace talmiro
