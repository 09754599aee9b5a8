#include "talmiro/compiler.h"

#include "talmiro/def_stream.h"
#include "talmiro/exceptions.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"

#include <array>
#include <cstring>

namespace talmiro {

namespace {

// Header slots of the message table.
constexpr size_t NameOffset = 20;
constexpr size_t IdentOffset = 27; // five slots of 7 bytes: 0065, 0052, 0054, 0051, 0057
constexpr size_t SlotSize = 7;
constexpr size_t SdtNameOffset = 62;
constexpr size_t SdtNameMax = 255;

constexpr std::array<int32_t, 5> IdentItems = {65, 52, 54, 51, 57};

void PutSlot(std::array<uint8_t, TableHeaderSize>& header, size_t offset, const std::string& text,
             size_t max) {
    const size_t n = std::min(text.size(), max);
    header[offset] = static_cast<uint8_t>(n);
    std::memcpy(header.data() + offset + 1, text.data(), n);
}

// Blanks and control characters around a memo do not count.
std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return text.substr(begin, end - begin);
}

} // namespace

// message: MESSAGE string { SEGMENTS string | IDENTIFICATION items | MEMO ( string ) } ;
//          STRUCTURE { entry | group } END ;
void TCompilerMDF::CompileToStream(TStream& stream) {
    try {
        SetActive(true);
        auto header = MakeTableHeader(MdtFileType, Modifiable);

        if (NextToken() != tkMessage) throw Exception("MESSAGE expected");
        const std::string messageName = ExpectString("String constant expected");

        bool haveSegments = false, haveIdent = false, haveMemo = false;
        std::string baseName, memo;
        std::array<std::string, IdentItems.size()> ident;
        std::array<bool, IdentItems.size()> identSet{};
        TTokenKind token = NextToken();
        for (;;) {
            if (token == tkSegments && !haveSegments) {
                haveSegments = true;
                baseName = ExpectString("String constant expected");
                token = NextToken();
            } else if (token == tkIdentification && !haveIdent) {
                haveIdent = true;
                // items: integer = string { , integer = string }
                do {
                    const int32_t item = ExpectInteger("UNH.S009-Field identifier expected");
                    size_t slot = 0;
                    while (slot < IdentItems.size() && IdentItems[slot] != item)
                        ++slot;
                    if (slot == IdentItems.size() || identSet[slot])
                        throw Exception("Illegal field identifier.");
                    identSet[slot] = true;
                    Expect(tkEquals, "= expected.");
                    ident[slot] = ExpectString("String constant expected.");
                    token = NextToken();
                } while (token == tkComma);
            } else if (token == tkMemo && !haveMemo) {
                haveMemo = true;
                Expect(tkLeftParen, "( expected");
                memo = Trim(ExpectString("String constant expected"));
                Expect(tkRightParen, ") expected");
                token = NextToken();
            } else {
                break;
            }
        }
        if (!haveIdent) throw Exception("IDENTIFICATION expected");
        if (!haveSegments) throw Exception("SEGMENTS expected");
        if (token != tkSemicolon) throw Exception("; expected");

        PutSlot(header, NameOffset, messageName, SlotSize - 1);
        for (size_t i = 0; i < ident.size(); ++i)
            PutSlot(header, IdentOffset + i * SlotSize, ident[i], SlotSize - 1);
        PutSlot(header, SdtNameOffset, baseName + ".SDT", SdtNameMax);
        stream.Write(header.data(), header.size());

        TDefWriter writer(stream, 1024);
        writer.PutBoolean(!memo.empty());
        if (!memo.empty()) writer.PutText(memo);
        if (ProcessSegments) {
            writer.PutBoolean(true);
            EmbedSegments(writer, stream, baseName);
        } else {
            writer.PutBoolean(false);
        }

        if (NextToken() != tkStructure) throw Exception("STRUCTURE expected");
        groupCounter_ = 0;
        for (;;) {
            token = NextToken();
            if (token == tkSegment) {
                CompileEntry(writer, nullptr);
            } else if (token == tkGroup) {
                CompileGroup(writer, 1);
            } else if (token == tkEnd) {
                Expect(tkSemicolon, "; expected");
                break;
            } else {
                throw Exception("SEGMENT expected");
            }
        }
        writer.PutInteger(StructureEndRecordId);
        writer.Flush();
        stream.Seek(stream.Size());
        SetActive(false);
    } catch (...) {
        SetActive(false);
        throw;
    }
}

void TCompilerMDF::Compile() {
    CompileToFile(MakeOutputName("MDT"));
}

// The segment definitions are compiled by a compiler of their own into memory, so that their count can
// be written before them; the writer's values go out first, then the records unchanged.
void TCompilerMDF::EmbedSegments(TDefWriter& writer, TStream& stream, const std::string& baseName) {
    TCompilerSDF inner;
    inner.SetSearchPath(SearchPath());
    // Definition sources are named in upper case on systems that ignore letter case; look for the
    // lower-case extension as well where letter case matters.
    std::string sourceFile = baseName + ".SDF";
    if (inner.LocateSource(sourceFile).empty() && !inner.LocateSource(baseName + ".sdf").empty())
        sourceFile = baseName + ".sdf";
    inner.SetSourceFile(sourceFile);
    inner.SetActive(true);
    TMemoryStream records;
    int32_t count = 0;
    {
        TDefWriter innerWriter(records, 1024);
        inner.CompileSegments(innerWriter, count);
    }
    inner.SetActive(false);
    writer.PutInteger(count);
    writer.Flush();
    const auto& data = records.Data();
    stream.Write(data.data(), data.size());
}

// occurrence: (MANDATORY | CONDITIONAL) ( integer ) -- the condition character and the maximum
std::pair<char, int32_t> TCompilerMDF::CompileOccurrence(const char* conditionError) {
    const TTokenKind token = NextToken();
    if (token != tkMandatory && token != tkConditional) throw Exception(conditionError);
    Expect(tkLeftParen, "( expected");
    const int32_t maximum = ExpectInteger("Integer constant expected");
    Expect(tkRightParen, ") expected");
    return {token == tkMandatory ? 'M' : 'C', maximum};
}

// entry: SEGMENT string (MANDATORY | CONDITIONAL) ( integer ) [MEMO ( string )] ;
void TCompilerMDF::CompileEntry(TDefWriter& writer, const std::string* groupTag) {
    const std::string tag = ExpectString("String constant expected");
    if (groupTag && !groupTag->empty() && tag != *groupTag)
        throw Exception("Initial segment must come first");
    const auto [condition, maxRep] = CompileOccurrence("Illegal segment condition");

    writer.PutInteger(rtSegment);
    writer.PutText(tag);
    writer.PutChar(condition);
    writer.PutInteger(maxRep);
    TTokenKind token = NextToken();
    CompileMemo(writer, token);
    if (token != tkSemicolon) throw Exception("; expected");
}

// group: GROUP string (MANDATORY | CONDITIONAL) ( integer ) [MEMO ( string )] ;
//        entry { entry | group } END ;
void TCompilerMDF::CompileGroup(TDefWriter& writer, int depth) {
    // The loader and the reader follow groups only this deep; deeper nesting is refused here, where the
    // recursion of this parser is bounded too.
    if (depth > MaxGroupDepth) throw Exception("Segment groups nested too deeply");
    const std::string tag = ExpectString("Initial segment name expected");
    const auto [condition, maxRep] = CompileOccurrence("Illegal segment group condition");
    const int32_t number = ++groupCounter_;

    writer.PutInteger(GroupRecordId);
    writer.PutInteger(number);
    writer.PutText(tag);
    writer.PutChar(condition);
    writer.PutInteger(maxRep);
    TTokenKind token = NextToken();
    CompileMemo(writer, token);
    if (token != tkSemicolon) throw Exception("; expected");

    if (NextToken() != tkSegment) throw Exception("SEGMENT expected");
    CompileEntry(writer, &tag);
    for (;;) {
        token = NextToken();
        if (token == tkSegment) {
            CompileEntry(writer, nullptr);
        } else if (token == tkGroup) {
            CompileGroup(writer, depth + 1);
        } else if (token == tkEnd) {
            Expect(tkSemicolon, "; expected");
            break;
        } else {
            throw Exception("SEGMENT expected");
        }
    }
    writer.PutInteger(GroupEndRecordId);
    writer.PutInteger(number);
}

// [MEMO ( string )]: writes the description flag and text; token is the token after the clause.
void TCompilerMDF::CompileMemo(TDefWriter& writer, TTokenKind& token) {
    if (token != tkMemo) {
        writer.PutBoolean(false);
        return;
    }
    Expect(tkLeftParen, "( expected");
    const std::string text = ExpectString("String constant expected");
    Expect(tkRightParen, ") expected");
    writer.PutBoolean(true);
    writer.PutText(text);
    token = NextToken();
}

} // namespace talmiro
