#include "talmiro/charsets.h"

#include "talmiro/streams.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace talmiro {

namespace {

// Level A: upper-case letters, digits, space and these marks; ' + : ? serve as the default service
// characters and stand in data released.
constexpr std::string_view LevelAMarks = " .,-()/='+:?!\"%&*;<>";

// The ISO 8859 part behind each of UNOC to UNOK.
int Iso8859Part(char level) {
    switch (level) {
    case 'C':
        return 1;
    case 'D':
        return 2;
    case 'E':
        return 5;
    case 'F':
        return 7;
    case 'G':
        return 3;
    case 'H':
        return 4;
    case 'I':
        return 6;
    case 'J':
        return 8;
    case 'K':
        return 9;
    default:
        return 0;
    }
}

// Whether the byte (160 to 255) is a character of the ISO 8859 part: some parts leave positions empty.
bool Iso8859Defined(int part, unsigned c) {
    switch (part) {
    case 3:
        return c != 0xA5 && c != 0xAE && c != 0xBE && c != 0xC3 && c != 0xD0 && c != 0xE3 && c != 0xF0;
    case 6:
        return c == 0xA0 || c == 0xA4 || c == 0xAC || c == 0xAD || c == 0xBB || c == 0xBF ||
               (c >= 0xC1 && c <= 0xDA) || (c >= 0xE0 && c <= 0xF2);
    case 7:
        return c != 0xAE && c != 0xD2 && c != 0xFF;
    case 8:
        return c == 0xA0 || (c >= 0xA2 && c <= 0xBE) || (c >= 0xDF && c <= 0xFA) || c == 0xFD || c == 0xFE;
    default:
        return true;
    }
}

} // namespace

TRepertoire::TRepertoire(std::string_view name) {
    name_ = std::string(name);
    std::transform(name_.begin(), name_.end(), name_.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
    int part = 0;
    if (name_ == "UNOA" || name_ == "UNOB")
        kind_ = TKind::Ascii;
    else if (name_.size() == 4 && name_.compare(0, 3, "UNO") == 0 && (part = Iso8859Part(name_[3])) != 0)
        kind_ = TKind::Latin;
    else if (name_ == "UNOY")
        kind_ = TKind::Utf8;
    if (kind_ == TKind::None) return;
    for (unsigned c = 0; c < 256; ++c) {
        bool in = false;
        if (kind_ == TKind::Ascii) {
            in = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 (c > 0 && c < 128 && LevelAMarks.find(static_cast<char>(c)) != std::string_view::npos) ||
                 (name_ == "UNOB" && c >= 'a' && c <= 'z');
        } else {
            in = (c >= 0x20 && c < 0x7F) || (kind_ == TKind::Latin && c >= 0xA0 && Iso8859Defined(part, c));
        }
        flags_[c] = static_cast<uint8_t>((in ? 0 : Outside) | (c >= 0x80 ? High : 0));
    }
    NotePrintable();
}

void TRepertoire::Allow(unsigned char c) {
    if (kind_ != TKind::None) flags_[c] &= static_cast<uint8_t>(~Outside);
    NotePrintable();
}

void TRepertoire::NotePrintable() {
    printableIn_ = std::all_of(flags_ + 0x20, flags_ + 0x7F, [](uint8_t f) { return f == 0; });
}

bool TRepertoire::CodePointIn(uint32_t cp) const {
    if (cp < 0x80) return !(flags_[cp] & Outside);
    switch (kind_) {
    case TKind::Latin:
        // Latin-1 is the only part whose characters are the code points of their bytes; of the others only
        // the range can be told without their tables.
        return cp >= 0xA0 && (name_ != "UNOC" || cp <= 0xFF);
    case TKind::Utf8:
        return cp >= 0xA0;
    default:
        return false;
    }
}

size_t TRepertoire::FirstOutside(std::string_view text, bool utf8, size_t& length) const {
    length = 1;
    if (kind_ == TKind::None) return std::string_view::npos;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!utf8 || c < 0x80) {
            if (flags_[c] & Outside) return i;
            ++i;
            continue;
        }
        const size_t n = Utf8SequenceLength(text, i);
        if (n == 0) return i;
        uint32_t cp = c & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (!CodePointIn(cp)) {
            length = n;
            return i;
        }
        i += n;
    }
    return std::string_view::npos;
}

size_t Utf8SequenceLength(std::string_view text, size_t i) {
    auto at = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return at(k) >= lo && at(k) <= hi; };
    const unsigned c = at(i);
    if (c < 0x80) return i < text.size() ? 1 : 0;
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

size_t Utf8CharacterCount(std::string_view text) {
    size_t n = 0;
    for (unsigned char c : text)
        n += (c & 0xC0) != 0x80;
    return n;
}

TUtf8Scan ScanUtf8(TStream& stream) {
    TUtf8Scan scan;
    const int64_t saved = stream.Position();
    stream.Seek(0);
    // A sequence may straddle two blocks: the bytes of an unfinished one are carried to the next.
    constexpr size_t Block = size_t{1} << 16;
    std::vector<char> buffer(Block + 4);
    size_t carried = 0;
    for (;;) {
        const size_t got = stream.Read(buffer.data() + carried, Block);
        const size_t size = carried + got;
        const std::string_view text(buffer.data(), size);
        size_t i = 0;
        carried = 0;
        while (i < size) {
            // Runs of ASCII eight bytes at a time.
            uint64_t word;
            if (i + 8 <= size) {
                std::memcpy(&word, text.data() + i, 8);
                if ((word & 0x8080808080808080ull) == 0) {
                    i += 8;
                    continue;
                }
            }
            if (static_cast<unsigned char>(text[i]) < 0x80) {
                ++i;
                continue;
            }
            scan.AnyHigh = true;
            const size_t n = Utf8SequenceLength(text, i);
            if (n > 0) {
                i += n;
                continue;
            }
            // Perhaps only cut off by the end of the block.
            if (got > 0 && size - i < 4) {
                carried = size - i;
                std::memmove(buffer.data(), text.data() + i, carried);
                break;
            }
            scan.Valid = false;
            break;
        }
        if (!scan.Valid || got == 0) break;
    }
    stream.Seek(saved);
    return scan;
}

} // namespace talmiro
