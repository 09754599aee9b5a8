#include "export_text.h"

#include "talmiro/charsets.h"

namespace talmiro::exporttext {

void AppendUtf8(std::string& out, std::string_view value, bool utf8) {
    size_t i = 0;
    while (i < value.size()) {
        // Runs of ASCII, the usual case, at once.
        size_t plain = i;
        while (plain < value.size() && static_cast<unsigned char>(value[plain]) < 0x80)
            ++plain;
        out.append(value.data() + i, plain - i);
        i = plain;
        if (i == value.size()) break;
        const auto c = static_cast<unsigned char>(value[i]);
        if (const size_t n = utf8 ? Utf8SequenceLength(value, i) : 0; n > 0) {
            out.append(value.substr(i, n));
            i += n;
            continue;
        }
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        ++i;
    }
}

void AppendJsonString(std::string& out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    out.push_back('"');
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c != '"' && c != '\\' && c >= 0x20) continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        if (c < 0x20) {
            out += "\\u00";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        } else {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        }
    }
    out.append(text.data() + run, text.size() - run);
    out.push_back('"');
}

void AppendXmlText(std::string& out, std::string_view text) {
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        case '\t':
            entity = "&#9;";
            break;
        case '\n':
            entity = "&#10;";
            break;
        case '\r':
            entity = "&#13;";
            break;
        default:
            continue;
        }
        out.append(text.data() + run, i - run);
        out += entity;
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

void AppendCsvField(std::string& out, std::string_view text) {
    bool plain = true;
    for (char ch : text)
        plain = plain && ch != ',' && ch != '"' && ch != '\r' && ch != '\n';
    if (plain) {
        out.append(text);
        return;
    }
    out.push_back('"');
    for (char ch : text) {
        if (ch == '"') out.push_back('"');
        out.push_back(ch);
    }
    out.push_back('"');
}

} // namespace talmiro::exporttext
