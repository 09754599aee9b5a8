// The scanner of the two definition languages: opens a source along a search path, counts its lines
// and turns its bytes into tokens.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace talmiro {

class TFileStream;

// Token kinds; a keyword's code is its place in the keyword table (codes 1 to 13).
enum TTokenKind : int {
    tkSegments = 1,
    tkSegment = 2,
    tkComposit = 3,
    tkField = 4,
    tkMessage = 5,
    tkIdentification = 6,
    tkStructure = 7,
    tkMemo = 8,
    tkMandatory = 9,
    tkConditional = 10,
    tkGroup = 11,
    tkDescription = 12,
    tkEnd = 13,
    tkSemicolon = 14,
    tkRightParen = 15,
    tkLeftParen = 16,
    tkColon = 17,
    tkEquals = 18,
    tkComma = 19,
    tkString = 20,
    tkInteger = 21,
    tkIdentifier = 22,
    tkEndOfSource = 23,
};

// The value of the last string constant or identifier (text) or integer constant.
using TTokenValue = std::variant<std::string, int32_t>;

class TScanner {
public:
    TScanner();
    virtual ~TScanner();
    TScanner(const TScanner&) = delete;
    TScanner& operator=(const TScanner&) = delete;

    // True while the source is open. Setting it to true opens the source (raises "Source file name must
    // be specified." when it is not found), to false closes it.
    bool Active() const { return source_ != nullptr; }
    void SetActive(bool value);

    const std::string& SourceFile() const { return sourceFile_; }
    // Raises "Cannot change filename while active" while active.
    void SetSourceFile(const std::string& value);

    // The line being scanned; 1 after construction, never reset.
    int32_t LineNumber() const { return lineNumber_; }
    // Line and column (from 1, in bytes) where the last token began, counted over every line feed read,
    // those inside strings and comments too.
    int32_t TokenLine() const { return tokenLine_; }
    int32_t TokenColumn() const { return tokenColumn_; }

    // Directories separated by ";", searched when SourceFile names no existing file.
    const std::string& SearchPath() const { return searchPath_; }
    void SetSearchPath(const std::string& value) { searchPath_ = value; }

    // Fired for every line feed skipped as a blank, after LineNumber has grown.
    std::function<void(TScanner& Sender)> OnNewLine;

    // The next token of the open source.
    TTokenKind NextToken();
    const TTokenValue& TokenValue() const { return tokenValue_; }
    // TokenValue as text (empty when it holds an integer) or as integer (0 when it holds text).
    std::string TokenText() const;
    int32_t TokenInteger() const;

    // SourceFile's directory as written and its name with the extension replaced by the given one.
    std::string MakeOutputName(const std::string& extension) const;

    // The file that activation would open for this name: the name itself, then its file-name part in
    // the current directory and along SearchPath. Empty when none exists.
    std::string LocateSource(const std::string& fileName) const;
    // The file opened by the last activation.
    const std::string& OpenedFile() const { return openedFile_; }

private:
    int ReadChar();
    void GiveBack();
    TTokenKind ScanInteger(int first);
    TTokenKind ScanWord(int first);
    TTokenKind ScanString();

    std::unique_ptr<TFileStream> source_;
    std::string sourceFile_;
    std::string searchPath_;
    std::string openedFile_;
    int32_t lineNumber_ = 1;
    int32_t line_ = 1, column_ = 0, previousColumn_ = 0; // of the byte read last
    int lastChar_ = -1;
    int32_t tokenLine_ = 0, tokenColumn_ = 0;
    TTokenValue tokenValue_ = std::string();
};

} // namespace talmiro
