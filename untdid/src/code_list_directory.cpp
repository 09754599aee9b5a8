// Reader of the code lists (UNCL, and UNSL for the service elements). Each entry names a data element
// and lists its codes, one per line with the code's name; descriptions follow, indented further, and
// long names wrap onto a line that begins where the name began. Two layouts occur: up to D99A the code
// stands right-aligned before column 10 and the name begins at column 10, later the code begins at
// column 5 and the name at column 11. Columns are taken from each code line, not assumed.
#include "talmiro/untdid.h"

#include "text_util.h"

namespace talmiro::untdid {

using namespace detail;

namespace {

// Change indicators stand in the first columns ("+", "X", "#|"); they become blanks so that the
// columns of the rest stay as they are. Returns the indicators.
std::string_view StripIndicators(std::string& line) {
    std::size_t n = 0;
    while (n < line.size() && n < 4 && std::string_view("+*#|-X").find(line[n]) != std::string_view::npos)
        ++n;
    if (n == 0 || n >= line.size() || line[n] != ' ') return {};
    static thread_local std::string indicators;
    indicators.assign(line, 0, n);
    line.replace(0, n, n, ' ');
    return indicators;
}

// Descriptions of codes begin in column 13 (column 14 in the later layout); headings of prose
// ("Desc:", "Note:") stand further left.
constexpr std::size_t DescriptionColumn = 12;

std::size_t Indent(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    return i;
}

// "Desc:", "Repr:", "Note:" and the like open a block of prose that runs to the next blank line.
bool OpensProse(std::string_view trimmed) {
    std::size_t colon = trimmed.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 20) return false;
    for (std::size_t k = 0; k < colon; ++k)
        if (!std::isalpha(static_cast<unsigned char>(trimmed[k]))) return false;
    return true;
}

bool ValidCode(std::string_view code) {
    if (code.empty() || code.size() > TCodeLists::MaxCodeLength) return false;
    for (char c : code)
        if (c <= 32 || c >= 127) return false;
    return true;
}

std::string CutName(std::string name) {
    if (name.size() > TCodeLists::MaxNameLength) name.resize(TCodeLists::MaxNameLength);
    return name;
}

} // namespace

void ParseCodeLists(std::string_view text, const std::string& fileName, TCodeLists& into,
                    std::vector<TImportWarning>& warnings) {
    std::vector<std::string_view> lines = SplitLines(text);
    bool expectHeader = false;
    std::string element; // the entry's element; empty outside an entry or in a deleted one
    bool prose = false;
    // The code read last, its name and the column its name began in; a name continues on the lines right
    // after it that begin in that column.
    std::string code, name;
    std::size_t nameColumn = 0;
    bool codeDeleted = false;
    auto flush = [&]() {
        if (!code.empty() && !codeDeleted) into.Add(element, code, CutName(name));
        code.clear();
        name.clear();
        nameColumn = 0;
    };

    for (std::size_t index = 0; index < lines.size(); ++index) {
        std::string line(lines[index]);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        if (IsSeparatorLine(line)) {
            flush();
            element.clear();
            expectHeader = true;
            continue;
        }
        if (line.empty()) {
            prose = false;
            continue;
        }
        std::string_view indicators = StripIndicators(line);
        const std::string_view trimmed = Trim(line);
        if (expectHeader) {
            expectHeader = false;
            std::vector<std::string_view> tokens = Tokens(trimmed);
            if (tokens.size() >= 2 && tokens[0].size() == 4 && AllDigits(tokens[0])) {
                // An element deleted in this release keeps its entry; its codes are no longer valid.
                if (indicators.find('-') == std::string_view::npos) element = std::string(tokens[0]);
                prose = false;
            }
            continue;
        }
        if (element.empty()) continue;
        const std::size_t indent = Indent(line);
        // Descriptions (further in) may begin with a word and a colon too ("Generic: see also 140").
        if (indent < DescriptionColumn && OpensProse(trimmed)) {
            flush();
            prose = true;
            continue;
        }
        if (prose) continue;
        if (nameColumn != 0 && indent == nameColumn && indicators.empty()) {
            name += ' ';
            name += trimmed;
            continue;
        }
        if (indent >= 10) {
            nameColumn = 0; // a description: the name has ended
            continue;
        }
        std::size_t codeEnd = line.find(' ', indent);
        std::size_t nameStart = codeEnd == std::string::npos ? std::string::npos : Indent(line.substr(codeEnd)) + codeEnd;
        std::string_view codeText = std::string_view(line).substr(indent, codeEnd - indent);
        if (nameStart == std::string::npos || nameStart >= line.size() || !ValidCode(codeText)) {
            warnings.push_back({fileName, static_cast<int>(index + 1),
                                "unrecognised line in code list " + element + ": " + std::string(trimmed), true});
            continue;
        }
        flush();
        code = std::string(codeText);
        name = line.substr(nameStart);
        nameColumn = nameStart;
        codeDeleted = indicators.find('-') != std::string_view::npos;
    }
    flush();
}

} // namespace talmiro::untdid
