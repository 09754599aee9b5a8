#include "talmiro/code_lists.h"

#include "talmiro/streams.h"

#include <algorithm>

namespace talmiro {

namespace {

constexpr std::string_view Header = "EDIFACT CODE LISTS 1";

bool ValidCode(std::string_view code) {
    if (code.empty() || code.size() > TCodeLists::MaxCodeLength) return false;
    return std::all_of(code.begin(), code.end(), [](char c) { return c > 32 && c < 127; });
}

bool ValidName(std::string_view name) {
    if (name.size() > TCodeLists::MaxNameLength) return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; });
}

bool ValidElement(std::string_view id) {
    return id.size() == 4 && std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string_view TCodeLists::BaseId(std::string_view element) {
    return element.substr(0, element.find('.'));
}

void TCodeLists::Add(const std::string& element, const std::string& code, const std::string& name) {
    TList& list = lists_[element];
    for (const auto& entry : list.Codes)
        if (entry.first == code) return;
    list.Codes.emplace_back(code, name);
}

void TCodeLists::Seal() {
    for (auto& entry : lists_) {
        TList& list = entry.second;
        list.Sorted.resize(list.Codes.size());
        for (uint32_t i = 0; i < list.Sorted.size(); ++i)
            list.Sorted[i] = i;
        std::sort(list.Sorted.begin(), list.Sorted.end(),
                  [&](uint32_t a, uint32_t b) { return list.Codes[a].first < list.Codes[b].first; });
    }
}

const TCodeLists::TList* TCodeLists::Find(std::string_view element) const {
    auto found = lists_.find(BaseId(element));
    return found == lists_.end() ? nullptr : &found->second;
}

bool TCodeLists::HasList(std::string_view element) const {
    return Find(element) != nullptr;
}

TCodeLists::TLookup TCodeLists::Lookup(std::string_view element, std::string_view code) const {
    const TList* list = Find(element);
    if (!list) return TLookup::NoList;
    return FindCode(*list, code) ? TLookup::Known : TLookup::Unknown;
}

const std::string* TCodeLists::Name(std::string_view element, std::string_view code) const {
    const TList* list = Find(element);
    return list ? FindCode(*list, code) : nullptr;
}

const std::string* TCodeLists::FindCode(const TList& list, std::string_view code) {
    auto at = std::lower_bound(list.Sorted.begin(), list.Sorted.end(), code,
                               [&](uint32_t i, std::string_view c) { return list.Codes[i].first < c; });
    if (at == list.Sorted.end() || list.Codes[*at].first != code) return nullptr;
    return &list.Codes[*at].second;
}

size_t TCodeLists::CodeCount() const {
    size_t n = 0;
    for (const auto& [id, list] : lists_)
        n += list.Codes.size();
    return n;
}

std::string TCodeLists::Text() const {
    std::string out(Header);
    out += '\n';
    for (const auto& [id, list] : lists_) {
        out += '=' + id + '\n';
        for (const auto& [code, name] : list.Codes)
            out += code + '\t' + name + '\n';
    }
    return out;
}

TCodeLists TCodeLists::Parse(std::string_view text, const std::string& name) {
    TCodeLists result;
    int64_t lineNumber = 0;
    auto damaged = [&](const std::string& why) {
        return ECodeListError("Code list file " + name + " is damaged (line " + std::to_string(lineNumber) +
                              "): " + why);
    };
    TList* list = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        ++lineNumber;
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) throw damaged("the last line has no line end");
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (lineNumber == 1) {
            if (line != Header) throw damaged("not a code-list file");
            continue;
        }
        if (!line.empty() && line[0] == '=') {
            std::string_view id = line.substr(1);
            if (!ValidElement(id)) throw damaged("element identifier expected");
            auto [at, added] = result.lists_.try_emplace(std::string(id));
            if (!added) throw damaged("second list of " + std::string(id));
            list = &at->second;
            continue;
        }
        if (!list) throw damaged("code before the first list");
        size_t tab = line.find('\t');
        if (tab == std::string_view::npos) throw damaged("tab expected");
        std::string_view code = line.substr(0, tab), codeName = line.substr(tab + 1);
        if (!ValidCode(code)) throw damaged("invalid code");
        if (!ValidName(codeName)) throw damaged("invalid name");
        list->Codes.emplace_back(code, codeName);
    }
    if (lineNumber == 0) throw damaged("not a code-list file");
    result.Seal();
    for (const auto& [id, l] : result.lists_)
        for (size_t i = 1; i < l.Sorted.size(); ++i)
            if (l.Codes[l.Sorted[i - 1]].first == l.Codes[l.Sorted[i]].first)
                throw ECodeListError("Code list file " + name + " is damaged: code " + l.Codes[l.Sorted[i]].first +
                                     " stands twice in the list of " + id);
    return result;
}

TCodeLists TCodeLists::Load(const std::string& path) {
    TFileStream file(path);
    const int64_t size = file.Size();
    if (size > MaxFileSize)
        throw ECodeListError("Code list file " + path + " is damaged: larger than " +
                             std::to_string(MaxFileSize >> 20) + " MB");
    std::string text(static_cast<size_t>(size), '\0');
    text.resize(file.Read(text.data(), text.size()));
    return Parse(text, path);
}

} // namespace talmiro
