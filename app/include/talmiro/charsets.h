// The character repertoires that UNB's syntax identifier (S001/0001) declares, and the look at a file's
// bytes that tells whether text declared in a single-byte set is in truth UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace talmiro {

class TStream;

class TRepertoire {
public:
    // Byte flags: Outside, a byte that is no character of the repertoire read byte by byte; High, a byte
    // above 127, which may start a UTF-8 sequence.
    static constexpr uint8_t Outside = 1, High = 2;

    TRepertoire() = default;
    // The repertoire of a syntax identifier (letter case ignored); one it does not know checks nothing.
    explicit TRepertoire(std::string_view name);

    const std::string& Name() const { return name_; }
    // A repertoire whose characters can be checked (UNOA to UNOK, UNOY).
    bool Known() const { return kind_ != TKind::None; }
    // UNOA to UNOK: one byte a character.
    bool SingleByte() const { return kind_ == TKind::Ascii || kind_ == TKind::Latin; }
    // UNOY: the text is UTF-8.
    bool Utf8() const { return kind_ == TKind::Utf8; }
    // Takes a byte as a character of the repertoire: the service characters, which data carries released.
    void Allow(unsigned char c);

    // The OR of the flags of the text's bytes: 0 when every byte is a character of the repertoire.
    uint8_t Flags(std::string_view text) const {
        // Most values are printable ASCII, which most repertoires take whole: eight bytes at a time.
        if (printableIn_ && PrintableAscii(text)) return 0;
        uint8_t flags = 0;
        for (unsigned char c : text)
            flags |= flags_[c];
        return flags;
    }
    // Where the first character outside the repertoire begins, or npos; length is its size in bytes.
    // utf8: the text is read as UTF-8 (a byte sequence that is not UTF-8 is one character outside).
    size_t FirstOutside(std::string_view text, bool utf8, size_t& length) const;

private:
    enum class TKind : uint8_t { None, Ascii, Latin, Utf8 };
    bool CodePointIn(uint32_t cp) const;
    void NotePrintable();
    // Whether every byte is one from space to tilde.
    static bool PrintableAscii(std::string_view text) {
        const char* p = text.data();
        const size_t n = text.size();
        auto load = [](const char* at, auto word) {
            std::memcpy(&word, at, sizeof word);
            return static_cast<uint64_t>(word);
        };
        constexpr uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
        // A byte below 0x20, or above 0x7E (its top bit set once 1 is added), in each of eight.
        auto outside = [](uint64_t x) { return ((x - Ones * 0x20) & ~x) | ((x + Ones) | x); };
        uint64_t bad = 0;
        if (n >= 8) {
            for (size_t i = 0; i + 8 <= n; i += 8)
                bad |= outside(load(p + i, uint64_t{}));
            bad |= outside(load(p + n - 8, uint64_t{}));
        } else if (n >= 4) {
            bad = outside(load(p, uint32_t{}) | load(p + n - 4, uint32_t{}) << 32);
        } else if (n > 0) {
            // Filled up with spaces.
            const uint64_t x = n == 1 ? static_cast<unsigned char>(p[0])
                                      : load(p, uint16_t{}) | load(p + n - 2, uint16_t{}) << 16;
            bad = outside(x | (n == 1 ? 0x2020202020202000u : 0x2020202000000000u));
        }
        return (bad & Highs) == 0;
    }
    std::string name_;
    TKind kind_ = TKind::None;
    uint8_t flags_[256] = {};
    bool printableIn_ = true; // no byte from space to tilde has a flag
};

// The length of the well-formed UTF-8 sequence at text[i] (1 for a byte below 128), or 0.
size_t Utf8SequenceLength(std::string_view text, size_t i);
// Characters of UTF-8 text: every byte that does not continue a sequence.
size_t Utf8CharacterCount(std::string_view text);

// What the bytes above 127 of a whole stream are.
struct TUtf8Scan {
    bool AnyHigh = false; // there is at least one
    bool Valid = true;    // all of them form well-formed UTF-8 sequences
};
// Reads the whole stream and puts its position back where it was.
TUtf8Scan ScanUtf8(TStream& stream);

} // namespace talmiro
