// The character repertoires that UNB's syntax identifier (S001/0001) declares, and the look at a file's
// bytes that tells whether text declared in a single-byte set is in truth UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
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
    std::string name_;
    TKind kind_ = TKind::None;
    uint8_t flags_[256] = {};
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
