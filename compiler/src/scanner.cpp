#include "talmiro/scanner.h"

#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include <array>
#include <string_view>

namespace talmiro {

namespace {

// In code order: a keyword's token kind is its index plus one.
constexpr std::array<std::string_view, 13> Keywords = {
    "SEGMENTS",  "SEGMENT",     "COMPOSIT", "FIELD",       "MESSAGE", "IDENTIFICATION", "STRUCTURE", "MEMO",
    "MANDATORY", "CONDITIONAL", "GROUP",    "DESCRIPTION", "END"};

const char* const NoSourceText = "Source file name must be specified.";

bool IsBlank(int c) {
    return c == 9 || c == 10 || c == 13 || c == 26 || c == 32;
}
bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// Sources written on Windows separate directories with "\" and name drives with ":".
bool IsSeparator(char c) {
    return c == '/' || c == '\\' || c == ':';
}

// The length of the directory part of a name, its trailing separator included.
size_t DirectoryLength(std::string_view name) {
    for (size_t i = name.size(); i > 0; --i)
        if (IsSeparator(name[i - 1])) return i;
    return 0;
}

std::string NativeSeparators(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

} // namespace

TScanner::TScanner() = default;

TScanner::~TScanner() = default;

void TScanner::SetSourceFile(const std::string& value) {
    if (Active()) throw Exception("Cannot change filename while active");
    sourceFile_ = value;
}

std::string TScanner::LocateSource(const std::string& fileName) const {
    if (fileName.empty()) return {};
    if (FileExists(fileName)) return fileName;
    const std::string native = NativeSeparators(fileName);
    if (native != fileName && FileExists(native)) return native;
    const std::string name = fileName.substr(DirectoryLength(fileName));
    if (name.empty()) return {};
    if (FileExists(name)) return name;
    size_t start = 0;
    while (start <= searchPath_.size()) {
        size_t end = searchPath_.find(';', start);
        if (end == std::string::npos) end = searchPath_.size();
        std::string dir = NativeSeparators(searchPath_.substr(start, end - start));
        start = end + 1;
        if (dir.empty()) continue;
        if (!IsSeparator(dir.back())) dir += '/';
        std::string candidate = dir + name;
        if (FileExists(candidate)) return candidate;
    }
    return {};
}

void TScanner::SetActive(bool value) {
    if (value == Active()) return;
    if (!value) {
        source_.reset();
        return;
    }
    if (sourceFile_.empty()) throw Exception(NoSourceText);
    std::string found = LocateSource(sourceFile_);
    if (found.empty()) throw Exception(NoSourceText);
    source_ = std::make_unique<TFileStream>(found, TFileMode::OpenRead);
    openedFile_ = std::move(found);
    line_ = 1;
    column_ = previousColumn_ = 0;
    lastChar_ = -1;
}

std::string TScanner::TokenText() const {
    if (const auto* text = std::get_if<std::string>(&tokenValue_)) return *text;
    return {};
}

int32_t TScanner::TokenInteger() const {
    if (const auto* value = std::get_if<int32_t>(&tokenValue_)) return *value;
    return 0;
}

int TScanner::ReadChar() {
    const int c = source_->ReadByte();
    lastChar_ = c;
    if (c == 10) {
        ++line_;
        previousColumn_ = column_;
        column_ = 0;
    } else if (c >= 0) {
        ++column_;
    }
    return c;
}

void TScanner::GiveBack() {
    source_->StepBack();
    if (lastChar_ == 10) {
        --line_;
        column_ = previousColumn_;
    } else if (lastChar_ >= 0) {
        --column_;
    }
    lastChar_ = -1;
}

TTokenKind TScanner::NextToken() {
    if (!source_) throw Exception("Scanner is not active");
    for (;;) {
        int c;
        do {
            c = ReadChar();
            if (c < 0) return tkEndOfSource;
            if (c == 10) {
                ++lineNumber_;
                if (OnNewLine) OnNewLine(*this);
            }
        } while (IsBlank(c));

        tokenLine_ = line_;
        tokenColumn_ = column_;
        if (IsDigit(c)) return ScanInteger(c);
        if (IsLetter(c)) return ScanWord(c);
        switch (c) {
        case '\'':
            return ScanString();
        case '{':
            // Comments do not nest; the first "}" ends one. An open comment ends the source.
            do {
                c = ReadChar();
                if (c < 0) return tkEndOfSource;
            } while (c != '}');
            continue;
        case ';':
            return tkSemicolon;
        case ')':
            return tkRightParen;
        case '(':
            return tkLeftParen;
        case ':':
            return tkColon;
        case '=':
            return tkEquals;
        case ',':
            return tkComma;
        default:
            throw Exception("Illegal character in source");
        }
    }
}

TTokenKind TScanner::ScanInteger(int first) {
    int64_t value = first - '0';
    bool overflow = false;
    for (;;) {
        int c = ReadChar();
        if (c < 0) break;
        if (!IsDigit(c)) {
            GiveBack();
            break;
        }
        // Keep consuming the digits after an overflow so that the error stands for the whole constant.
        if (!overflow) {
            value = value * 10 + (c - '0');
            overflow = value > INT32_MAX;
        }
    }
    if (overflow) throw Exception("Integer constant too large");
    tokenValue_ = static_cast<int32_t>(value);
    return tkInteger;
}

TTokenKind TScanner::ScanWord(int first) {
    std::string word(1, static_cast<char>(first));
    for (;;) {
        int c = ReadChar();
        if (c < 0) break;
        if (!IsLetter(c) && !IsDigit(c)) {
            GiveBack();
            break;
        }
        word += static_cast<char>(c);
    }
    for (size_t i = 0; i < Keywords.size(); ++i)
        if (SameText(word, Keywords[i])) return static_cast<TTokenKind>(i + 1);
    tokenValue_ = std::move(word);
    return tkIdentifier;
}

TTokenKind TScanner::ScanString() {
    std::string text;
    for (;;) {
        int c = ReadChar();
        if (c < 0) break; // a string left open ends with the source
        if (c != '\'') {
            text += static_cast<char>(c);
            continue;
        }
        c = ReadChar();
        if (c == '\'') {
            text += '\'';
        } else if (c == '\\') {
            // Continuation: everything up to the next quote is skipped and stands for one space.
            text += ' ';
            do {
                c = ReadChar();
            } while (c >= 0 && c != '\'');
            if (c < 0) break;
        } else {
            if (c >= 0) GiveBack();
            break;
        }
    }
    tokenValue_ = std::move(text);
    return tkString;
}

std::string TScanner::MakeOutputName(const std::string& extension) const {
    const size_t dirLength = DirectoryLength(sourceFile_);
    std::string dir = NativeSeparators(sourceFile_.substr(0, dirLength));
    std::string name = sourceFile_.substr(dirLength);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        name += '.';
    else
        name.erase(dot + 1);
    return dir + name + extension;
}

} // namespace talmiro
