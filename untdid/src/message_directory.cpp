// Reader of one message text (EDMD/TRMD entry such as ORDERS_D.96A): the title and the segment table.
// The table's nesting is drawn with bracket columns at the right edge; a row's column count is its depth.
// The closing corners are only cross-checked against that count, because a few drawings are inconsistent.
#include "talmiro/untdid.h"

#include "text_util.h"

#include <limits>

namespace talmiro::untdid {

using namespace detail;

namespace {

constexpr std::size_t MaxGroupDepth = 32;

struct TRow {
    bool IsGroup = false;
    bool Deleted = false; // change indicator "-": the release removed this row
    std::string Tag;
    std::string Name;
    int GroupNumber = 0;
    bool Mandatory = false;
    std::int32_t MaxRepeat = 0;
    std::size_t Columns = 0; // bracket columns at the right edge
    std::size_t Closers = 0; // closing corners among them
};

bool IsDashRule(std::string_view token) {
    return token.size() >= 2 && token.find_first_not_of('-') == std::string_view::npos;
}

bool IsTag(std::string_view token) {
    return token.size() == 3 && IsUpper(token[0]) && IsUpper(token[1]) &&
           (IsUpper(token[2]) || IsDigit(token[2]));
}

// Reads "[pos] [indicator] TAG Name S R [brackets]" or "[pos] [indicator] --- Segment group N --- S R
// [brackets]". Returns false for lines that are no rows (headings, blank bracket lines, prose).
bool ParseRow(std::string_view line, TRow& row, std::string& problem) {
    while (!line.empty() && IsBlankChar(line.back()))
        line.remove_suffix(1);
    std::size_t end = line.size();
    std::size_t suffixStart = end;
    while (suffixStart > 0 && std::string_view(" -|+").find(line[suffixStart - 1]) != std::string_view::npos)
        --suffixStart;
    std::string_view suffix = line.substr(suffixStart);
    std::size_t digitsStart = suffixStart;
    while (digitsStart > 0 && IsDigit(line[digitsStart - 1]))
        --digitsStart;
    std::string_view repeat = line.substr(digitsStart, suffixStart - digitsStart);
    if (repeat.empty() || digitsStart < 3) return false;
    std::size_t statusPos = digitsStart;
    while (statusPos > 0 && IsBlankChar(line[statusPos - 1]))
        --statusPos;
    if (statusPos == digitsStart || statusPos < 2) return false;
    char status = line[statusPos - 1];
    // A name too long for its column can run into the status ("summary statiC" in D93A); names are in
    // mixed case, so a status right after a lower-case letter is still the status.
    if (std::string_view("MCmc").find(status) == std::string_view::npos ||
        !(IsBlankChar(line[statusPos - 2]) || (IsUpper(status) && IsLower(line[statusPos - 2]))))
        return false;
    std::string_view left = Trim(line.substr(0, statusPos - 1));

    std::vector<std::string_view> tokens = Tokens(left);
    std::size_t i = 0;
    if (i < tokens.size() && AllDigits(tokens[i])) ++i;
    if (i + 1 < tokens.size() && IsChangeIndicator(tokens[i]) && !IsDashRule(tokens[i])) {
        row.Deleted = tokens[i].find('-') != std::string_view::npos;
        ++i;
    }
    // A group line: a dash rule, then "Segment group N"; a segment name may itself say "segment group".
    if (i + 2 < tokens.size() && IsDashRule(tokens[i]) && EqualsNoCase(tokens[i + 1], "segment") &&
        EqualsNoCase(tokens[i + 2], "group")) {
        // The number may run into the rule: "Segment group 100------".
        std::string_view number = i + 3 < tokens.size() ? tokens[i + 3] : std::string_view();
        std::size_t digits = 0;
        while (digits < number.size() && IsDigit(number[digits]))
            ++digits;
        if (digits == 0 || digits > 6 || number.find_first_not_of('-', digits) != std::string_view::npos) {
            problem = "segment group without a number";
            return false;
        }
        row.IsGroup = true;
        row.GroupNumber = std::stoi(std::string(number.substr(0, digits)));
    } else {
        if (i + 1 < tokens.size() && tokens[i] == "S" && IsTag(tokens[i + 1])) ++i;
        if (i >= tokens.size() || !IsTag(tokens[i])) return false;
        row.IsGroup = false;
        row.Tag = std::string(tokens[i]);
        row.Name = JoinTokens(tokens, i + 1, tokens.size());
    }
    row.Mandatory = status == 'M' || status == 'm';
    if (repeat.size() > 9) {
        problem = "repetition count out of range";
        return false;
    }
    row.MaxRepeat = static_cast<std::int32_t>(std::stol(std::string(repeat)));
    row.Columns = 0;
    row.Closers = 0;
    for (char c : suffix) {
        if (c == '|' || c == '+') ++row.Columns;
        if (c == '+') ++row.Closers;
    }
    return true;
}

// "[pos] [indicator] TAG ..." with a position: the start of a segment row.
bool StartsWithTag(std::string_view trimmed) {
    std::vector<std::string_view> tokens = Tokens(trimmed);
    std::size_t i = 0;
    if (i < tokens.size() && AllDigits(tokens[i]))
        ++i;
    else
        return false;
    if (i < tokens.size() && IsChangeIndicator(tokens[i])) ++i;
    return i < tokens.size() && IsTag(tokens[i]);
}

bool HasLowerCase(std::string_view s) {
    for (char c : s)
        if (IsLower(c)) return true;
    return false;
}

bool IsSectionHeading(std::string_view trimmed) {
    // "4.3.2 Data segment clarification": digits with dots; positions carry no dot.
    std::size_t i = 0;
    while (i < trimmed.size() && IsDigit(trimmed[i]))
        ++i;
    return i > 0 && i + 1 < trimmed.size() && trimmed[i] == '.' && IsDigit(trimmed[i + 1]);
}

std::string FindTitle(const std::vector<std::string_view>& lines) {
    std::size_t limit = std::min<std::size_t>(lines.size(), 60);
    for (std::size_t i = 0; i < limit; ++i) {
        if (Trim(lines[i]) != "UN/EDIFACT") continue;
        int nonBlank = 0;
        for (std::size_t k = i + 1; k < limit; ++k) {
            std::string_view t = Trim(lines[k]);
            if (t.empty()) continue;
            if (++nonBlank < 2) continue; // the status line: DRAFT RECOMMENDATION, UNSM, ...
            if (t.front() == '-' || FindNoCase(t, "Message Type") == 0) return {};
            // A long title wraps onto the next line (IFTSAI of D94A); a blank line ends it.
            std::string title = JoinTokens(Tokens(t), 0, Tokens(t).size());
            for (std::size_t w = k + 1; w < limit; ++w) {
                std::string_view more = Trim(lines[w]);
                if (more.empty() || more.front() == '-' || FindNoCase(more, "Message Type") == 0) break;
                title += " " + JoinTokens(Tokens(more), 0, Tokens(more).size());
            }
            return title;
        }
        break;
    }
    return {};
}

} // namespace

bool ParseMessage(std::string_view text, const std::string& fileName, TMessageDef& message,
                  std::vector<TImportWarning>& warnings) {
    // ORDERS_D.96A: type, version letter, release.
    std::size_t underscore = fileName.find('_');
    std::size_t dot = fileName.rfind('.');
    if (underscore == std::string::npos || dot == std::string::npos || dot < underscore + 2)
        throw EImportError("Not a message file name: " + fileName);
    auto upper = [](std::string s) {
        for (char& c : s)
            if (IsLower(c)) c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    message = TMessageDef{};
    message.Type = upper(fileName.substr(0, underscore));
    message.Version = upper(fileName.substr(underscore + 1, dot - underscore - 1));
    message.Release = upper(fileName.substr(dot + 1));
    message.Agency = "UN";

    std::vector<std::string_view> lines = SplitLines(text);
    message.Title = FindTitle(lines);

    // The heading also stands in the table of contents: the table follows the last occurrence.
    std::size_t tableAt = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view t = Trim(lines[i]);
        if (!t.empty() && IsDigit(t.front()) && FindNoCase(t, "segment table") != std::string_view::npos)
            tableAt = i;
    }
    if (tableAt == lines.size()) throw EImportError("No segment table found in " + fileName);

    std::vector<TImportWarning> local;
    auto warn = [&](std::size_t index, std::string text, bool losesData) {
        local.push_back({fileName, static_cast<int>(index + 1), std::move(text), losesData});
    };

    // stack[0] is the message itself; stack[k] the group open at depth k.
    std::vector<TMessageNode*> stack;
    TMessageNode root;
    root.IsGroup = true;
    stack.push_back(&root);
    std::size_t pendingClosers = 0;
    std::size_t pendingLine = 0;
    bool anyRow = false;

    // Brings the open groups to `depth` before a row. Closing is driven by the bracket columns; the
    // corners drawn on the previous row must agree with it, or the drawing is reported.
    auto settleDepth = [&](std::size_t index, std::size_t depth) {
        std::size_t open = stack.size() - 1;
        std::size_t closing = open > depth ? open - depth : 0;
        if (closing != pendingClosers)
            warn(pendingLine,
                 "bracket drawing closes " + std::to_string(pendingClosers) + " group(s), columns close " +
                     std::to_string(closing) + "; columns followed",
                 false);
        for (std::size_t k = 0; k < closing; ++k)
            stack.pop_back();
        // Deeper columns than open groups: a corner closed a group too early. Reopen the last group of
        // the open container, taking back the segments drawn after it.
        while (depth > stack.size() - 1) {
            TMessageNode* parent = stack.back();
            std::size_t g = parent->Children.size();
            while (g > 0 && !parent->Children[g - 1].IsGroup)
                --g;
            if (g == 0 || stack.size() > MaxGroupDepth) {
                warn(index,
                     "bracket columns deeper than the open groups; row kept at depth " +
                         std::to_string(stack.size() - 1),
                     false);
                break;
            }
            TMessageNode& group = parent->Children[g - 1];
            for (std::size_t k = g; k < parent->Children.size(); ++k)
                group.Children.push_back(std::move(parent->Children[k]));
            parent->Children.erase(parent->Children.begin() + static_cast<std::ptrdiff_t>(g),
                                   parent->Children.end());
            stack.push_back(&group);
            warn(index, "bracket columns reopen " + group.Name, false);
        }
        pendingClosers = 0;
    };

    for (std::size_t index = tableAt + 1; index < lines.size(); ++index) {
        std::string_view trimmed = Trim(lines[index]);
        if (trimmed.empty()) continue;
        if (anyRow && IsSectionHeading(trimmed)) break;
        std::size_t rowLine = index; // a wrapped row is told by its first line
        TRow row;
        std::string problem;
        bool parsed = ParseRow(lines[index], row, problem);
        if (!parsed && problem.empty() && index + 1 < lines.size() && StartsWithTag(trimmed)) {
            // A long segment name wraps; status, repetitions and brackets stand on the next line.
            std::string_view first = lines[index];
            while (!first.empty() && std::string_view(" -|+").find(first.back()) != std::string_view::npos)
                first.remove_suffix(1);
            std::string joined = std::string(first) + " " + std::string(Trim(lines[index + 1]));
            if (ParseRow(joined, row, problem)) {
                parsed = true;
                ++index;
            }
        }
        if (!parsed) {
            if (!problem.empty()) {
                warn(index, problem, true);
                continue;
            }
            // Bracket-only lines, section headings, column titles and prose are no rows; a line that
            // looks like it names a segment but cannot be read is.
            std::vector<std::string_view> tokens = Tokens(trimmed);
            std::size_t i = 0;
            if (i < tokens.size() && AllDigits(tokens[i])) ++i;
            if (i < tokens.size() && (IsChangeIndicator(tokens[i]) || tokens[i] == "S")) ++i;
            // Without a position (D93A), a tag followed by a mixed-case name is a row too.
            bool looksLikeRow =
                (i < tokens.size() && IsTag(tokens[i]) &&
                 (i > 0 || (i + 1 < tokens.size() && HasLowerCase(tokens[i + 1])))) ||
                (i + 1 < tokens.size() && IsDashRule(tokens[i]) && EqualsNoCase(tokens[i + 1], "segment"));
            if (looksLikeRow) warn(index, "unreadable segment table row: " + std::string(trimmed), true);
            continue;
        }
        if (!anyRow && row.Tag == "UIH") return false;
        anyRow = true;
        if (row.IsGroup) {
            std::size_t depth = row.Columns > 0 ? row.Columns - 1 : 0;
            if (row.Columns == 0)
                warn(index, "segment group without bracket; nested in the open group", false);
            else
                settleDepth(index, depth);
            if (stack.size() > MaxGroupDepth)
                throw EImportError("Segment groups nested too deeply in " + fileName);
            pendingClosers = 0;
            pendingLine = index;
            if (row.Deleted) {
                // The drawing keeps a removed group's brackets; its remaining rows belong to the parent.
                stack.push_back(stack.back());
                continue;
            }
            TMessageNode group;
            group.IsGroup = true;
            group.GroupNumber = row.GroupNumber;
            group.Line = static_cast<int>(index + 1);
            group.Name = "Segment group " + std::to_string(row.GroupNumber);
            group.Mandatory = row.Mandatory;
            group.MaxRepeat = row.MaxRepeat;
            stack.back()->Children.push_back(std::move(group));
            stack.push_back(&stack.back()->Children.back());
        } else {
            if (row.Tag == "UNH" && !root.Children.empty()) {
                // The message header again: the table is printed a second time from its start.
                warn(index, "segment table starts again; the rows before are dropped", false);
                root.Children.clear();
                stack.resize(1);
                pendingClosers = 0;
            }
            settleDepth(index, row.Columns);
            pendingClosers = row.Closers;
            pendingLine = index;
            if (row.Deleted) continue;
            TMessageNode node;
            node.Tag = row.Tag;
            node.Name = row.Name;
            node.Line = static_cast<int>(rowLine + 1);
            node.Mandatory = row.Mandatory;
            node.MaxRepeat = row.MaxRepeat;
            TMessageNode* parent = stack.back();
            if (parent != &root && parent->Children.empty()) parent->Tag = node.Tag;
            parent->Children.push_back(std::move(node));
            // The message trailer ends the table; notes and annexes may follow it.
            if (row.Tag == "UNT" && stack.size() == 1) break;
        }
    }
    if (!anyRow) throw EImportError("Empty segment table in " + fileName);
    settleDepth(pendingLine, 0);

    // A group must begin with its initial segment.
    auto checkGroups = [&](auto&& self, const TMessageNode& node) -> void {
        for (const TMessageNode& child : node.Children) {
            if (!child.IsGroup) continue;
            if (child.Tag.empty())
                local.push_back({fileName, child.Line, child.Name + " does not begin with a segment", true});
            self(self, child);
        }
    };
    checkGroups(checkGroups, root);

    message.Structure = std::move(root.Children);
    warnings.insert(warnings.end(), local.begin(), local.end());
    return true;
}

} // namespace talmiro::untdid
