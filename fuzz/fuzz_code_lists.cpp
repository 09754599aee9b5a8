// Code-list files of any content are read or refused with ECodeListError; what is read writes back to a
// text that reads the same.
#include "talmiro/code_lists.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    talmiro::TCodeLists lists;
    try {
        lists = talmiro::TCodeLists::Parse(text, "CODES.CLT");
    } catch (const talmiro::ECodeListError&) {
        return 0;
    }
    const std::string written = lists.Text();
    talmiro::TCodeLists again = talmiro::TCodeLists::Parse(written, "CODES.CLT");
    if (again.Text() != written || again.CodeCount() != lists.CodeCount()) std::abort();
    // Every code written can be looked up under its list.
    size_t pos = 0;
    std::string element;
    while (pos < written.size()) {
        const size_t end = written.find('\n', pos);
        const std::string_view line(written.data() + pos, end - pos);
        pos = end + 1;
        if (line.starts_with('=')) {
            element = std::string(line.substr(1));
        } else if (!element.empty()) {
            const size_t tab = line.find('\t');
            const std::string* name = again.Name(element, line.substr(0, tab));
            if (!name || *name != line.substr(tab + 1)) std::abort();
        }
    }
    return 0;
}
