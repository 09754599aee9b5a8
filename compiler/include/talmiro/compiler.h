// The definition compilers: segment definitions (.sdf) into segment tables (.SDT), message definitions
// (.mdf) into message tables (.MDT).
#pragma once

#include "talmiro/scanner.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace talmiro {

class TStream;
class TDefWriter;
class TCodeLists;
class TEdiMessage;
struct TGuideline;
struct TGuidelineElement;
struct TGuidelineRule;
struct TGuidelineVariant;
struct TMessageDefRec;
class TEdiSegment;
class TEdiComposit;

class TCustomCompiler : public TScanner {
public:
    // Copied into the header of every table written.
    bool Modifiable = false;

    // Compiles SourceFile into the stream from its current position; leaves the position at the end.
    // On an error the scanner is inactive again and the stream holds what was written so far.
    virtual void CompileToStream(TStream& stream) = 0;
    // Compiles into the named file. The table is written to a temporary file beside it and renamed over
    // it only on success, so a failed compilation leaves an earlier table untouched. A target that is the
    // source file itself is refused.
    virtual void CompileToFile(const std::string& fileName);
    // Compiles into the default output file (MakeOutputName); does nothing in this base class.
    virtual void Compile();

    // Compiles one segment list (the whole .sdf language) from the active source into the writer;
    // count is the number of segment records written.
    void CompileSegments(TDefWriter& writer, int32_t& count);

protected:
    // Raises the error unless the next token is of the given kind.
    void Expect(TTokenKind kind, const char* error);
    // The next token must be a string constant; returns its text.
    std::string ExpectString(const char* error);
    int32_t ExpectInteger(const char* error);

private:
    void CompileSegment(TDefWriter& writer);
    void CompileComposit(TEdiSegment& segment);
    void CompileField(TEdiComposit& container);
    bool IsRepeatClause(TTokenKind token) const;
    int32_t CompileRepeat();
};

class TCompilerSDF : public TCustomCompiler {
public:
    void CompileToStream(TStream& stream) override;
    void Compile() override;
};

class TCompilerMDF : public TCustomCompiler {
public:
    // Embed the segment definitions (compiled from the .sdf the message names) instead of naming the .SDT.
    bool ProcessSegments = false;

    void CompileToStream(TStream& stream) override;
    void Compile() override;

private:
    std::pair<char, int32_t> CompileOccurrence(const char* conditionError);
    void CompileEntry(TDefWriter& writer, const std::string* groupTag);
    void CompileGroup(TDefWriter& writer, int depth);
    void CompileMemo(TDefWriter& writer, TTokenKind& token);
    void EmbedSegments(TDefWriter& writer, TStream& stream, const std::string& baseName);
    int32_t groupCounter_ = 0;
};

// Implementation guidelines (.gdf) into guideline tables (.GDT). Every rule is checked against the base
// message's tables: a guideline may only narrow the message or add codes. Errors are EGuidelineError with
// the line and column of the token they are about.
class TCompilerGDF : public TCustomCompiler {
public:
    TCompilerGDF();
    ~TCompilerGDF() override;

    // The standards base directory holding the base message's release (<dir>/D96A/ORDERS.MDT); empty: the
    // parent of the source's directory, where a guidelines folder of a base directory stands.
    std::string StandardsDir;

    // Compiles the source into a guideline.
    TGuideline CompileGuideline();
    void CompileToStream(TStream& stream) override;
    void Compile() override;

private:
    [[noreturn]] void Fail(const std::string& text) const;
    [[noreturn]] void FailAt(const std::string& text, int32_t line, int32_t column) const;
    bool IsWord(TTokenKind token, const char* word) const;
    std::string ExpectText(const char* what);
    int32_t ExpectNumber();
    void LoadBase(TGuideline& guideline);
    void CompileRule(TGuideline& guideline, bool group);
    void CompileVariant(TGuidelineRule& rule, const TEdiSegment& segment, int32_t maxRep);
    // Parses one ELEMENT statement (ELEMENT already read); segment is null for a message-wide rule.
    TGuidelineElement CompileElement(const TEdiSegment* segment);
    // string {, string}; token_ is the token after it.
    std::vector<std::string> CompileTextList();

    std::unique_ptr<TEdiMessage> base_;
    std::unique_ptr<TCodeLists> codes_;
    std::string baseName_; // "ORDERS D96A", in errors
    std::map<const TMessageDefRec*, int32_t> positions_; // trigger entries with rules, and their lines
    TTokenKind token_ = tkEndOfSource;
};

} // namespace talmiro
