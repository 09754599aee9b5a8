// Reader of the segment directory (EDSD, or TRSD in older releases). Three layouts occur: without position
// numbers (D93A), with positions and a status column (D94A..D99A), and with an additional repetition
// column (D99B on). Lines are matched by their tokens, not by columns, because the offsets shift.
#include "talmiro/untdid.h"

#include "text_util.h"

#include <algorithm>
#include <map>
#include <optional>

namespace talmiro::untdid {

using namespace detail;

namespace {

struct TRepresentation {
    TRepr Repr;
    int MinSize;
    int MaxSize;
};

// "an..35" is alphanumeric up to 35, "n6" numeric of exactly 6.
std::optional<TRepresentation> ParseRepresentation(std::string_view token) {
    TRepr repr;
    std::size_t i = 0;
    if (token.size() >= 2 && EqualsNoCase(token.substr(0, 2), "an")) {
        repr = TRepr::Alnum;
        i = 2;
    } else if (!token.empty() && (token[0] == 'a' || token[0] == 'A')) {
        repr = TRepr::Alpha;
        i = 1;
    } else if (!token.empty() && (token[0] == 'n' || token[0] == 'N')) {
        repr = TRepr::Numeric;
        i = 1;
    } else {
        return std::nullopt;
    }
    bool upTo = false;
    if (token.substr(i, 2) == "..") {
        upTo = true;
        i += 2;
    }
    std::string_view digits = token.substr(i);
    if (!AllDigits(digits) || digits.size() > 5) return std::nullopt;
    int size = std::stoi(std::string(digits));
    if (size <= 0) return std::nullopt;
    return TRepresentation{repr, upTo ? 1 : size, size};
}

bool IsStatus(std::string_view token) {
    return token.size() == 1 && (token[0] == 'M' || token[0] == 'C' || token[0] == 'm' || token[0] == 'c');
}

bool IsSimpleId(std::string_view token) {
    return token.size() == 4 && AllDigits(token);
}
bool IsCompositeId(std::string_view token) {
    return token.size() == 4 && IsUpper(token[0]) && AllDigits(token.substr(1));
}

// One element line of a segment entry, at segment level or as a component.
struct TElementLine {
    bool HasPosition = false;
    bool Deleted = false; // change indicator "-": the element left the segment in this release
    std::string ID;
    std::string Name;
    bool IsComposite = false;
    std::optional<TRepresentation> Repr;
    int Repeats = 1; // the repetition column of D99B on; 1 where there is none
    bool Mandatory = false;
};

std::optional<TElementLine> ParseElementLine(std::string_view line) {
    std::vector<std::string_view> tokens = Tokens(line);
    TElementLine result;
    std::size_t i = 0;
    auto isId = [](std::string_view t) { return IsSimpleId(t) || IsCompositeId(t); };
    // A position is followed by the element's identifier, possibly after a change indicator.
    if (tokens.size() > 2 && AllDigits(tokens[0]) && tokens[0].size() >= 3 && tokens[0].size() <= 5 &&
        (isId(tokens[1]) || (IsChangeIndicator(tokens[1]) && isId(tokens[2])))) {
        result.HasPosition = true;
        ++i;
    }
    if (i + 1 < tokens.size() && IsChangeIndicator(tokens[i]) && isId(tokens[i + 1])) {
        result.Deleted = tokens[i].find('-') != std::string_view::npos;
        ++i;
    }
    if (i >= tokens.size()) return std::nullopt;
    if (IsSimpleId(tokens[i])) {
        result.IsComposite = false;
    } else if (IsCompositeId(tokens[i])) {
        result.IsComposite = true;
    } else {
        return std::nullopt;
    }
    result.ID = std::string(tokens[i]);
    std::size_t first = ++i;
    std::size_t last = tokens.size();
    if (last > first && (result.Repr = ParseRepresentation(tokens[last - 1]))) --last;
    // D99B on: a repetition count stands between status and representation.
    if (last > first + 1 && AllDigits(tokens[last - 1]) && IsStatus(tokens[last - 2])) {
        if (tokens[last - 1].size() <= 6)
            result.Repeats = std::max(1, std::stoi(std::string(tokens[last - 1])));
        --last;
    }
    if (last <= first || !IsStatus(tokens[last - 1])) return std::nullopt;
    result.Mandatory = tokens[last - 1] == "M" || tokens[last - 1] == "m";
    --last;
    if (last <= first) return std::nullopt;
    result.Name = JoinTokens(tokens, first, last);
    return result;
}

// "[pos] [indicator] id ..." at the start of a line.
bool StartsWithElementId(std::string_view line) {
    std::vector<std::string_view> tokens = Tokens(line);
    std::size_t i = 0;
    if (i < tokens.size() && AllDigits(tokens[i]) && tokens[i].size() == 3) ++i;
    if (i < tokens.size() && IsChangeIndicator(tokens[i])) ++i;
    return i < tokens.size() && (IsSimpleId(tokens[i]) || IsCompositeId(tokens[i]));
}

// Words that can continue an element name: letters first, then letters, digits and light punctuation.
bool IsNameText(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) &&
            std::string_view(" ,/().'-&").find(c) == std::string_view::npos)
            return false;
    return true;
}

bool HasLowerCase(std::string_view s) {
    for (char c : s)
        if (IsLower(c)) return true;
    return false;
}

// "Function:", "Note:", "Dependency note:" and the like open a block of prose.
bool OpensTextBlock(std::string_view line) {
    std::size_t i = 0;
    if (!line.empty() && IsChangeIndicator(line.substr(0, 1))) {
        std::vector<std::string_view> tokens = Tokens(line);
        if (!tokens.empty() && IsChangeIndicator(tokens[0])) i = line.find(tokens[0]) + tokens[0].size();
    }
    std::string_view rest = Trim(line.substr(i));
    std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 30) return false;
    for (std::size_t k = 0; k < colon; ++k)
        if (!std::isalpha(static_cast<unsigned char>(rest[k])) && rest[k] != ' ') return false;
    return true;
}

// Numbers repeated simple elements within one container: 4183, 4183.2, 4183.3, ...
void MakeIdsUnique(std::vector<TElementDef>& elements) {
    std::map<std::string, int> seen;
    for (TElementDef& element : elements) {
        if (element.IsComposite) continue;
        int n = ++seen[element.ID];
        if (n > 1) element.ID += "." + std::to_string(n);
    }
}

} // namespace

std::vector<TSegmentDef> ParseSegmentDirectory(std::string_view text, const std::string& fileName,
                                               std::vector<TImportWarning>& warnings) {
    std::vector<std::string_view> lines = SplitLines(text);
    std::vector<TSegmentDef> segments;
    auto warn = [&](std::size_t index, std::string message, bool losesData) {
        warnings.push_back({fileName, static_cast<int>(index + 1), std::move(message), losesData});
    };

    bool expectHeader = false;
    bool inEntry = false;
    bool inText = false;
    bool positionsSeen = false;
    TSegmentDef* segment = nullptr;
    TElementDef* composite = nullptr;
    TElementDef* lastElement = nullptr; // the element read last, and its line
    std::size_t lastElementLine = 0;

    auto finishSegment = [&]() {
        if (!segment) return;
        MakeIdsUnique(segment->Elements);
        for (TElementDef& element : segment->Elements)
            if (element.IsComposite) MakeIdsUnique(element.Components);
        segment = nullptr;
        composite = nullptr;
        lastElement = nullptr;
    };

    for (std::size_t index = 0; index < lines.size(); ++index) {
        std::string_view line = lines[index];
        if (IsSeparatorLine(line)) {
            finishSegment();
            expectHeader = true;
            inEntry = false;
            inText = false;
            continue;
        }
        std::string_view trimmed = Trim(line);
        if (trimmed.empty()) continue;
        if (expectHeader) {
            expectHeader = false;
            std::vector<std::string_view> tokens = Tokens(trimmed);
            std::size_t i = 0;
            if (tokens.size() > 2 && IsChangeIndicator(tokens[0])) i = 1;
            // The indicators can also be glued to the tag ("*#|TDT").
            std::string_view tag = i < tokens.size() ? tokens[i] : std::string_view();
            if (tag.size() > 3 && IsChangeIndicator(tag.substr(0, tag.size() - 3)))
                tag = tag.substr(tag.size() - 3);
            if (i + 1 < tokens.size() && tag.size() == 3 && IsUpper(tag[0]) && IsUpper(tag[1]) &&
                IsUpper(tag[2])) {
                segments.push_back({std::string(tag), JoinTokens(tokens, i + 1, tokens.size()), {}});
                segment = &segments.back();
                inEntry = true;
            } else {
                warn(index, "segment header expected, entry skipped", true);
            }
            continue;
        }
        if (!inEntry) continue;

        std::optional<TElementLine> element = ParseElementLine(line);
        if (!element && index + 1 < lines.size() && StartsWithElementId(trimmed) &&
            !StartsWithElementId(Trim(lines[index + 1])) && !Trim(lines[index + 1]).empty()) {
            // A long name wraps: the rest of the name, the status and the representation follow on the
            // next line.
            std::string joined = std::string(line) + " " + std::string(Trim(lines[index + 1]));
            element = ParseElementLine(joined);
            if (element) ++index;
        }
        if (!element && lastElement && lastElementLine + 1 == index && IsNameText(trimmed) &&
            !StartsWithElementId(trimmed) && !OpensTextBlock(trimmed)) {
            // The end of a long name, on the line after its status and representation.
            lastElement->Name += " " + JoinTokens(Tokens(trimmed), 0, Tokens(trimmed).size());
            lastElementLine = index;
            continue;
        }
        if (!element) {
            if (OpensTextBlock(trimmed)) {
                inText = true;
            } else if (!inText) {
                warn(index, "unrecognised line in segment " + segment->Tag + ": " + std::string(trimmed),
                     true);
            }
            continue;
        }
        inText = false;
        if (element->HasPosition) positionsSeen = true;
        if (element->Deleted && !element->HasPosition) {
            // Listed where it used to stand, without a position: no longer part of the segment.
            if (!composite || !HasLowerCase(element->Name)) composite = nullptr;
            lastElement = nullptr;
            continue;
        }

        bool isComponent;
        if (element->IsComposite) {
            isComponent = false;
        } else if (element->HasPosition) {
            isComponent = false;
        } else if (!positionsSeen) {
            // Without positions only the letter case tells a component (mixed case) from an element of
            // the segment itself (upper case).
            isComponent = composite && HasLowerCase(element->Name);
        } else {
            isComponent = composite != nullptr;
            if (!isComponent) {
                warn(index,
                     "element " + element->ID + " without position outside a composite, read as element",
                     false);
            }
        }

        if (element->IsComposite) {
            if (element->Repr) warn(index, "composite " + element->ID + " carries a representation", false);
            TElementDef def;
            def.ID = element->ID;
            def.Name = element->Name;
            def.IsComposite = true;
            def.Repeats = element->Repeats;
            def.Mandatory = element->Mandatory;
            segment->Elements.push_back(std::move(def));
            composite = &segment->Elements.back();
            lastElement = composite;
            lastElementLine = index;
            continue;
        }
        if (!element->Repr) {
            warn(index, "element " + element->ID + " of segment " + segment->Tag + " has no representation",
                 true);
            continue;
        }
        TElementDef def;
        def.ID = element->ID;
        def.Name = element->Name;
        def.Repr = element->Repr->Repr;
        def.MinSize = element->Repr->MinSize;
        def.MaxSize = element->Repr->MaxSize;
        def.Mandatory = element->Mandatory;
        if (isComponent) {
            composite->Components.push_back(std::move(def));
            lastElement = &composite->Components.back();
        } else {
            composite = nullptr;
            def.Repeats = element->Repeats;
            segment->Elements.push_back(std::move(def));
            lastElement = &segment->Elements.back();
        }
        lastElementLine = index;
    }
    finishSegment();

    for (const TSegmentDef& s : segments)
        for (const TElementDef& e : s.Elements)
            if (e.IsComposite && e.Components.empty())
                warnings.push_back(
                    {fileName, 0, "composite " + e.ID + " of segment " + s.Tag + " has no components", true});
    if (segments.empty()) throw EImportError("No segment definitions found in " + fileName);
    return segments;
}

} // namespace talmiro::untdid
