// Small text helpers shared by the directory parsers.
#pragma once

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace talmiro::untdid::detail {

inline bool IsBlankChar(char c) {
    return c == ' ' || c == '\t';
}
inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
inline bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}

inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlankChar(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlankChar(s.back()))
        s.remove_suffix(1);
    return s;
}

inline bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsDigit(c)) return false;
    return true;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

inline std::size_t FindNoCase(std::string_view hay, std::string_view needle) {
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i)
        if (EqualsNoCase(hay.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

// Lines of a converted text (split on "\n"; the conversion has dropped carriage returns).
inline std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

inline std::vector<std::string_view> Tokens(std::string_view s) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlankChar(s[i]))
            ++i;
        std::size_t start = i;
        while (i < s.size() && !IsBlankChar(s[i]))
            ++i;
        if (i > start) tokens.push_back(s.substr(start, i - start));
    }
    return tokens;
}

inline std::string JoinTokens(const std::vector<std::string_view>& tokens, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
        if (!out.empty()) out += ' ';
        out.append(tokens[i]);
    }
    return out;
}

// A separator between entries: a line made of nothing but dashes (box lines are converted to "-").
inline bool IsSeparatorLine(std::string_view line) {
    std::string_view t = Trim(line);
    if (t.size() < 40) return false;
    for (char c : t)
        if (c != '-') return false;
    return true;
}

// A change indicator as the directories print it in front of tags, positions or element numbers.
// Some releases combine several, as in "*#" or "X|".
inline bool IsChangeIndicator(std::string_view token) {
    if (token.empty() || token.size() > 3) return false;
    for (char c : token)
        if (std::string_view("+*#|-XRS").find(c) == std::string_view::npos) return false;
    return true;
}

} // namespace talmiro::untdid::detail
