// The code lists of one directory release: for each coded data element the codes it may take, with
// their names. The importer writes them beside a release's tables as CODES.CLT, a text file:
//
//   EDIFACT CODE LISTS 1          first line, exactly
//   =1001                         a list: "=" and the element's four-digit identifier, each list once
//   220<TAB>Order                 its codes, one per line: code, a tab, the code's name
//
// Lines end with LF. A code is 1 to 35 bytes of characters from 33 to 126; a name is at most 255 bytes
// without control characters; a code stands once in its list. Anything else makes the file damaged.
#pragma once

#include "talmiro/exceptions.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talmiro {

// A code-list file that is not one.
class ECodeListError : public Exception {
public:
    using Exception::Exception;
};

// One element's list: its codes with their names, found by a hash of the code.
class TCodeList {
public:
    // The code's name, or nullptr when the code is not in the list.
    const std::string* Find(std::string_view code) const;
    bool Contains(std::string_view code) const { return Find(code) != nullptr; }
    size_t Size() const { return Codes.size(); }

private:
    friend class TCodeLists;
    // Orders the codes and builds the hash index; after a change of Codes, look-ups need it again.
    void Seal();
    std::vector<std::pair<std::string, std::string>> Codes; // in the order added
    std::vector<uint32_t> Sorted;                           // indexes into Codes, by code
    // Open addressing over the codes: the first eight bytes of a code, its length and its index in Codes
    // (-1: a free slot), so that most look-ups compare one word.
    struct TSlot {
        uint64_t Key = 0;
        int32_t Index = -1;
        uint32_t Length = 0;
    };
    std::vector<TSlot> Slots;
};

class TCodeLists {
public:
    static constexpr const char* FileName = "CODES.CLT";
    static constexpr size_t MaxCodeLength = 35;
    static constexpr size_t MaxNameLength = 255;
    static constexpr int64_t MaxFileSize = 64 << 20;

    // Reads the text of a code-list file; `name` names it in errors.
    static TCodeLists Parse(std::string_view text, const std::string& name);
    // Reads a file; ECodeListError when it is damaged or larger than MaxFileSize, EFOpenError when it
    // cannot be opened.
    static TCodeLists Load(const std::string& path);
    // The file's text, lists by element identifier and codes in the order they were added.
    std::string Text() const;

    // Adds a code to an element's list (the list is made when missing). A code already there keeps its
    // first name. Codes and names must follow the file's rules; Text() of lists built otherwise would
    // not read back.
    void Add(const std::string& element, const std::string& code, const std::string& name);
    // Finishes a list built with Add, so that look-ups find its codes.
    void Seal();

    // True when the element has a list; identifiers such as "3055.2" (a repetition within a segment)
    // look up the list of "3055".
    bool HasList(std::string_view element) const;
    // The code's name, or nullptr when the element has no list or the code is not in it.
    const std::string* Name(std::string_view element, std::string_view code) const;
    // Both at once, with one search for the list.
    enum class TLookup { NoList, Known, Unknown };
    TLookup Lookup(std::string_view element, std::string_view code) const;
    // The element's list, or none; the pointer stays valid as long as these lists do.
    const TCodeList* List(std::string_view element) const;
    size_t ListCount() const { return lists_.size(); }
    size_t CodeCount() const;

    // The element identifier without the suffix of a repetition: "3055.2" -> "3055".
    static std::string_view BaseId(std::string_view element);

private:
    std::map<std::string, TCodeList, std::less<>> lists_;
};

} // namespace talmiro
