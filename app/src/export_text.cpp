#include "export_text.h"

namespace talmiro::exporttext {

size_t Utf8Length(std::string_view text, size_t i) {
    auto at = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return at(k) >= lo && at(k) <= hi; };
    const unsigned c = at(i);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const bool second = c == 0xE0 ? cont(i + 1, 0xA0) : c == 0xED ? cont(i + 1, 0x80, 0x9F) : cont(i + 1);
        return second && cont(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const bool second = c == 0xF0 ? cont(i + 1, 0x90) : c == 0xF4 ? cont(i + 1, 0x80, 0x8F) : cont(i + 1);
        return second && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

void AppendUtf8(std::string& out, std::string_view value, bool utf8) {
    for (size_t i = 0; i < value.size();) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (const size_t n = utf8 ? Utf8Length(value, i) : 0; n > 0) {
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
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c < 0x20) {
            out += "\\u00";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        } else {
            out.push_back(ch);
        }
    }
    out.push_back('"');
}

void AppendXmlText(std::string& out, std::string_view text) {
    for (char ch : text) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out.push_back(ch);
        }
    }
}

void AppendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
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
