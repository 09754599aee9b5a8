#include "talmiro/code_lists.h"

#include "talmiro/streams.h"

#include <algorithm>
#include <cstring>

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
    TCodeList& list = lists_[element];
    for (const auto& entry : list.Codes)
        if (entry.first == code) return;
    list.Codes.emplace_back(code, name);
}

void TCodeLists::Seal() {
    for (auto& entry : lists_)
        entry.second.Seal();
}

namespace {

// The bytes of a code up to eight, in a word; with the length, one code's key is no other's. Longer codes
// give their first eight. Read in at most two loads that may overlap, rather than byte by byte or with a
// call to memcpy of a variable length.
uint64_t KeyOf(std::string_view code) {
    const char* p = code.data();
    const size_t n = code.size();
    auto load = [](const char* at, auto word) {
        std::memcpy(&word, at, sizeof word);
        return static_cast<uint64_t>(word);
    };
    if (n >= 8) return load(p, uint64_t{});
    if (n >= 4) return load(p, uint32_t{}) | load(p + n - 4, uint32_t{}) << 32;
    if (n >= 2) return load(p, uint16_t{}) | load(p + n - 2, uint16_t{}) << 16;
    return n == 1 ? static_cast<unsigned char>(p[0]) : 0;
}

// Codes are short, mostly one to three characters: the key and the length make the hash.
size_t HashOf(uint64_t key, size_t length) {
    return static_cast<size_t>(((key ^ length) * 0x9E3779B97F4A7C15ull) >> 32);
}

} // namespace

void TCodeList::Seal() {
    Sorted.resize(Codes.size());
    for (uint32_t i = 0; i < Sorted.size(); ++i)
        Sorted[i] = i;
    std::sort(Sorted.begin(), Sorted.end(),
              [&](uint32_t a, uint32_t b) { return Codes[a].first < Codes[b].first; });
    // At most half the slots in use, so that a probe ends after a step or two.
    size_t size = 8;
    while (size < Codes.size() * 2)
        size *= 2;
    Slots.assign(size, TSlot{});
    for (uint32_t i = 0; i < Codes.size(); ++i) {
        const std::string& code = Codes[i].first;
        const uint64_t key = KeyOf(code);
        size_t at = HashOf(key, code.size()) & (size - 1);
        while (Slots[at].Index >= 0 && Codes[static_cast<size_t>(Slots[at].Index)].first != code)
            at = (at + 1) & (size - 1);
        // A code added twice keeps its first name.
        if (Slots[at].Index < 0)
            Slots[at] = {key, static_cast<int32_t>(i), static_cast<uint32_t>(code.size())};
    }
}

const std::string* TCodeList::Find(std::string_view code) const {
    if (Slots.empty()) return nullptr;
    const size_t mask = Slots.size() - 1;
    const uint64_t key = KeyOf(code);
    for (size_t at = HashOf(key, code.size()) & mask; Slots[at].Index >= 0; at = (at + 1) & mask) {
        const TSlot& slot = Slots[at];
        if (slot.Key != key || slot.Length != code.size()) continue;
        const auto& entry = Codes[static_cast<size_t>(slot.Index)];
        if (code.size() <= 8 || entry.first == code) return &entry.second;
    }
    return nullptr;
}

const TCodeList* TCodeLists::List(std::string_view element) const {
    auto found = lists_.find(BaseId(element));
    return found == lists_.end() ? nullptr : &found->second;
}

bool TCodeLists::HasList(std::string_view element) const {
    return List(element) != nullptr;
}

TCodeLists::TLookup TCodeLists::Lookup(std::string_view element, std::string_view code) const {
    const TCodeList* list = List(element);
    if (!list) return TLookup::NoList;
    return list->Contains(code) ? TLookup::Known : TLookup::Unknown;
}

const std::string* TCodeLists::Name(std::string_view element, std::string_view code) const {
    const TCodeList* list = List(element);
    return list ? list->Find(code) : nullptr;
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
    TCodeList* list = nullptr;
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
                throw ECodeListError("Code list file " + name + " is damaged: code " +
                                     l.Codes[l.Sorted[i]].first + " stands twice in the list of " + id);
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
