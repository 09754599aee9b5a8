#include "talmiro/edit_support.h"

#include "talmiro/message.h"
#include "talmiro/streams.h"

#include <algorithm>

namespace talmiro {

namespace {

int64_t Growth(const TByteEdit& edit) {
    return static_cast<int64_t>(edit.Text.size()) - (edit.End - edit.Begin);
}

// Whether the edit puts back exactly the bytes the original holds there.
bool Unchanged(TStream& original, const TByteEdit& edit) {
    if (static_cast<int64_t>(edit.Text.size()) != edit.End - edit.Begin) return false;
    if (edit.Text.empty()) return true;
    std::string bytes(edit.Text.size(), '\0');
    original.Seek(edit.Begin);
    return original.Read(bytes.data(), bytes.size()) == bytes.size() && bytes == edit.Text;
}

} // namespace

void ComposeEdit(std::vector<TByteEdit>& edits, const TByteEdit& next) {
    // Walk the edits with the shift (edited minus original position) in front of each; those whose text
    // in the edited file touches [next.Begin, next.End) merge with next.
    int64_t shift = 0;
    size_t first = 0;
    while (first < edits.size() &&
           edits[first].Begin + shift + static_cast<int64_t>(edits[first].Text.size()) < next.Begin) {
        shift += Growth(edits[first]);
        ++first;
    }
    TByteEdit merged;
    merged.Begin = next.Begin - shift;
    std::string prefix, suffix;
    size_t last = first; // one past the last merged edit
    int64_t shiftAfter = shift;
    while (last < edits.size() && edits[last].Begin + shiftAfter <= next.End) {
        const TByteEdit& e = edits[last];
        const int64_t start = e.Begin + shiftAfter; // where its text stands in the edited file
        if (last == first && start < next.Begin) {
            prefix = e.Text.substr(0, static_cast<size_t>(next.Begin - start));
            merged.Begin = e.Begin;
        }
        const int64_t end = start + static_cast<int64_t>(e.Text.size());
        if (end > next.End) suffix = e.Text.substr(static_cast<size_t>(next.End - start));
        shiftAfter += Growth(e);
        ++last;
    }
    merged.End = next.End - shiftAfter;
    if (last > first && edits[last - 1].End > merged.End) merged.End = edits[last - 1].End;
    if (last > first && edits[first].Begin < merged.Begin) merged.Begin = edits[first].Begin;
    merged.Text = prefix + next.Text + suffix;
    edits.erase(edits.begin() + static_cast<ptrdiff_t>(first), edits.begin() + static_cast<ptrdiff_t>(last));
    edits.insert(edits.begin() + static_cast<ptrdiff_t>(first), std::move(merged));
}

void TEditHistory::Replace(TStream& original, std::vector<TByteEdit> replacements) {
    std::vector<TByteEdit> edits = edits_;
    // From the last to the first, so that the positions of those before stay as they were.
    std::sort(replacements.begin(), replacements.end(),
              [](const TByteEdit& a, const TByteEdit& b) { return a.Begin > b.Begin; });
    for (const TByteEdit& r : replacements)
        ComposeEdit(edits, r);
    std::erase_if(edits, [&](const TByteEdit& e) { return Unchanged(original, e); });
    undo_.push_back(std::move(edits_));
    redo_.clear();
    edits_ = std::move(edits);
}

void TEditHistory::Undo() {
    if (undo_.empty()) return;
    redo_.push_back(std::move(edits_));
    edits_ = std::move(undo_.back());
    undo_.pop_back();
}

void TEditHistory::Redo() {
    if (redo_.empty()) return;
    undo_.push_back(std::move(edits_));
    edits_ = std::move(redo_.back());
    redo_.pop_back();
}

void TEditHistory::Clear() {
    edits_.clear();
    undo_.clear();
    redo_.clear();
}

TSegmentValues SegmentValuesOf(std::string_view text, const TDelimiters& d) {
    TSegmentValues segment;
    std::string* value = &segment.Tag;
    bool inTag = true;
    auto newElement = [&] {
        inTag = false;
        segment.Elements.emplace_back(1, TSegmentValues::TOccurrence(1));
        value = &segment.Elements.back().back().back();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 32) continue;
        if (c == d.ReleaseChar && d.ReleaseChar != ' ') {
            // The next byte other than a control byte is taken as it is.
            while (++i < text.size() && static_cast<unsigned char>(text[i]) < 32) {
            }
            if (i < text.size()) value->push_back(text[i]);
        } else if (c == d.SegmentTerminator) {
            break;
        } else if (c == d.ElementSeparator) {
            newElement();
        } else if (!inTag && c == d.ComponentSeparator) {
            segment.Elements.back().back().emplace_back();
            value = &segment.Elements.back().back().back();
        } else if (!inTag && d.RepetitionSeparator && c == d.RepetitionSeparator) {
            segment.Elements.back().emplace_back(1);
            value = &segment.Elements.back().back().back();
        } else {
            value->push_back(c);
        }
    }
    return segment;
}

namespace {

const TMessageDefRec* FindGroup(const TMessageDefRec* list, int32_t number) {
    for (const TMessageDefRec* e = list; e; e = e->Next.get())
        if (e->Kind == mdGroup && e->GrpNbr == number) return e;
    return nullptr;
}

void AddTag(std::vector<std::string>& tags, const std::string& tag) {
    if (tag.empty() || tag == "UNH") return;
    if (std::find(tags.begin(), tags.end(), tag) == tags.end()) tags.push_back(tag);
}

// The tag an entry begins with: a segment's own, a group's first segment's.
std::string FirstTag(const TMessageDefRec* entry) {
    for (int depth = 0; entry && entry->Kind == mdGroup && depth < MaxGroupDepth; ++depth)
        entry = entry->Children.get();
    return entry && entry->Kind == mdSegment ? entry->Tag : std::string();
}

} // namespace

std::vector<std::string> TagsAfter(const TMessageDefRec* structure, const TStructurePlace& place) {
    // The lists from the message's down to the one that holds the segment, and in each the entry taken.
    std::vector<const TMessageDefRec*> taken;
    const TMessageDefRec* list = structure;
    for (int32_t number : place.Groups) {
        const TMessageDefRec* group = FindGroup(list, number);
        if (!group) return {};
        taken.push_back(group);
        list = group->Children.get();
    }
    const TMessageDefRec* segment = list;
    while (segment && !(segment->Kind == mdSegment && segment->Tag == place.Tag))
        segment = segment->Next.get();
    if (!segment) return {};

    std::vector<std::string> tags;
    if (segment->MaxRep > 1) AddTag(tags, segment->Tag);
    for (const TMessageDefRec* e = segment->Next.get(); e; e = e->Next.get())
        AddTag(tags, FirstTag(e));
    // Each group that holds the segment may repeat (its first segment) or end (the entries after it).
    for (size_t i = taken.size(); i-- > 0;) {
        if (taken[i]->MaxRep > 1) AddTag(tags, FirstTag(taken[i]));
        for (const TMessageDefRec* e = taken[i]->Next.get(); e; e = e->Next.get())
            AddTag(tags, FirstTag(e));
    }
    return tags;
}

} // namespace talmiro
