#include "talmiro/compiler.h"

#include "talmiro/def_stream.h"
#include "talmiro/edi_element.h"
#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace talmiro {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i])) return false;
    }
    return true;
}

// A file created with mkstemp and removed again unless it was renamed over its target.
class TTempFile {
public:
    explicit TTempFile(const std::string& target) : target_(target) {
        // Created exclusively with the mode of any new file (the umask applies), under a name no
        // other compilation of the same target uses at the same time.
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name =
                target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(random() % 1000000);
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0) {
                ::close(fd);
                name_ = std::move(name);
                return;
            }
            if (errno != EEXIST) break;
        }
        throw EFCreateError("Datei " + target + " kann nicht erstellt werden");
    }
    ~TTempFile() {
        if (!name_.empty()) std::remove(name_.c_str());
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    const std::string& Name() const { return name_; }
    void Commit() {
        if (std::rename(name_.c_str(), target_.c_str()) != 0) {
            const int code = errno;
            throw EInOutError("Cannot replace " + target_ + ": " + std::strerror(code), code);
        }
        name_.clear();
    }

private:
    std::string target_;
    std::string name_;
};

} // namespace

void TCustomCompiler::CompileToFile(const std::string& fileName) {
    // A source whose extension is the table's own would be replaced by its table.
    const std::string source = LocateSource(SourceFile());
    std::error_code ec;
    if (!source.empty() && std::filesystem::equivalent(source, fileName, ec))
        throw Exception("The output file " + fileName + " is the source file");
    TTempFile temp(fileName);
    {
        TFileStream stream(temp.Name(), TFileMode::Create);
        try {
            CompileToStream(stream);
            stream.Flush();
        } catch (...) {
            SetActive(false);
            throw;
        }
    }
    temp.Commit();
}

void TCustomCompiler::Compile() {}

void TCustomCompiler::Expect(TTokenKind kind, const char* error) {
    if (NextToken() != kind) throw Exception(error);
}

std::string TCustomCompiler::ExpectString(const char* error) {
    if (NextToken() != tkString) throw Exception(error);
    return TokenText();
}

int32_t TCustomCompiler::ExpectInteger(const char* error) {
    if (NextToken() != tkInteger) throw Exception(error);
    return TokenInteger();
}

// segment list: SEGMENTS { segment } END ;
void TCustomCompiler::CompileSegments(TDefWriter& writer, int32_t& count) {
    count = 0;
    if (NextToken() != tkSegments) throw Exception("SEGMENTS expected");
    for (;;) {
        const TTokenKind token = NextToken();
        if (token == tkSegment) {
            CompileSegment(writer);
            ++count;
        } else if (token == tkEnd) {
            Expect(tkSemicolon, "; expected");
            break;
        } else {
            throw Exception("SEGMENT expected");
        }
    }
    writer.Flush();
}

// segment: SEGMENT string [DESCRIPTION string ;] { field | composit } END ;
void TCustomCompiler::CompileSegment(TDefWriter& writer) {
    auto segment = std::make_unique<TEdiSegment>(ExpectString("String constant expected"));
    TTokenKind token = NextToken();
    if (token == tkDescription) {
        segment->Description = CutText(ExpectString("String constant expected"), MaxDescriptionLength);
        Expect(tkSemicolon, "; expected");
        token = NextToken();
    }
    for (;; token = NextToken()) {
        if (token == tkComposit) {
            CompileComposit(*segment);
        } else if (token == tkField) {
            CompileField(*segment);
        } else if (token == tkEnd) {
            Expect(tkSemicolon, "; expected");
            break;
        } else {
            throw Exception("FIELD or COMPOSIT expected");
        }
    }
    segment->WriteDef(writer);
}

// composit: COMPOSIT string [MANDATORY | CONDITIONAL] [REPEAT ( integer )] [DESCRIPTION string ;] { field }
//           END ;
void TCustomCompiler::CompileComposit(TEdiSegment& segment) {
    const std::string id = CutText(ExpectString("String constant expected"), MaxIdLength);
    if (segment.FindField(id))
        throw Exception("Composite identifier " + id + " is already used by a simple element");
    // Directories repeat composites within a segment: each block is a composite of its own, so the
    // one just appended receives what follows, not the first one of that identifier.
    segment.AddComposit(id);
    auto* composit =
        segment.Elements.empty() ? nullptr : dynamic_cast<TEdiComposit*>(segment.Elements.back().get());
    if (!composit || composit->ID != id) throw Exception("Composite " + id + " could not be added");
    TTokenKind token = NextToken();
    if (token == tkMandatory || token == tkConditional) {
        composit->Mandatory = token == tkMandatory;
        token = NextToken();
    }
    if (IsRepeatClause(token)) {
        composit->RepeatCount = CompileRepeat();
        token = NextToken();
    }
    if (token == tkDescription) {
        composit->Description = CutText(ExpectString("String constant expected"), MaxDescriptionLength);
        Expect(tkSemicolon, "; expected");
        token = NextToken();
    }
    for (;; token = NextToken()) {
        if (token == tkField) {
            CompileField(*composit);
        } else if (token == tkEnd) {
            Expect(tkSemicolon, "; expected");
            break;
        } else {
            throw Exception("FIELD expected");
        }
    }
}

// field: FIELD string type ( integer : integer ) [MANDATORY | CONDITIONAL] [REPEAT ( integer )]
//        [DESCRIPTION string] ;
void TCustomCompiler::CompileField(TEdiComposit& container) {
    const std::string id = CutText(ExpectString("String constant expected"), MaxIdLength);
    // A repeated identifier adds nothing: the statement redefines the element already there.
    container.AddField(id);
    TEDIField& field = container.FieldByID(id);

    if (NextToken() != tkIdentifier) throw Exception("Type identifier expected");
    const std::string type = TokenText();
    if (SameText(type, "ALNUM"))
        field.FieldType = ftAlnum;
    else if (SameText(type, "ALPHA"))
        field.FieldType = ftAlpha;
    else if (SameText(type, "NUMERIC"))
        field.FieldType = ftNumeric;
    else
        throw Exception("Illegal type identifier");

    Expect(tkLeftParen, "( expected");
    field.MinSize = ExpectInteger("Integer constant expected");
    Expect(tkColon, ": expected");
    field.MaxSize = ExpectInteger("Integer constant expected");
    Expect(tkRightParen, ") expected");
    if (field.MinSize > field.MaxSize) throw Exception("Min-Size greater Max-Size");

    TTokenKind token = NextToken();
    if (token == tkMandatory || token == tkConditional) {
        field.Mandatory = token == tkMandatory;
        token = NextToken();
    }
    if (IsRepeatClause(token)) {
        // Only a data element of a segment repeats, never a component.
        if (!dynamic_cast<TEdiSegment*>(&container))
            throw Exception("REPEAT is allowed only for data elements of a segment");
        field.RepeatCount = CompileRepeat();
        token = NextToken();
    }
    if (token == tkDescription) {
        field.Description = CutText(ExpectString("String constant expected"), MaxDescriptionLength);
        token = NextToken();
    }
    if (token != tkSemicolon) throw Exception("; expected");
}

// REPEAT is a word of the segment language only where a repeat count may stand; elsewhere it stays an
// ordinary identifier, so that no source that compiled before reads differently now.
bool TCustomCompiler::IsRepeatClause(TTokenKind token) const {
    return token == tkIdentifier && SameText(TokenText(), "REPEAT");
}

// repeat: REPEAT ( integer ) -- the REPEAT already read
int32_t TCustomCompiler::CompileRepeat() {
    Expect(tkLeftParen, "( expected");
    const int32_t count = ExpectInteger("Integer constant expected");
    Expect(tkRightParen, ") expected");
    if (count < 1) throw Exception("Repeat count must be at least 1");
    return count;
}

} // namespace talmiro
