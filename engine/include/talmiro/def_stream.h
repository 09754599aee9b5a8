// The definition stream: the tagged value encoding of the compiled tables, and the table header.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talmiro {

class TStream;

// Value type bytes.
constexpr uint8_t vaInt8 = 0x02;
constexpr uint8_t vaInt16 = 0x03;
constexpr uint8_t vaInt32 = 0x04;
constexpr uint8_t vaString = 0x06;
constexpr uint8_t vaFalse = 0x08;
constexpr uint8_t vaTrue = 0x09;
constexpr uint8_t vaLString = 0x0C;

// Record identifiers, one series for both table kinds.
constexpr int32_t rtField = 0xED01;
constexpr int32_t rtComposit = 0xED02;
constexpr int32_t rtSegment = 0xED03;
constexpr int32_t GroupRecordId = 0xED04;
constexpr int32_t GroupEndRecordId = 0xED05;
constexpr int32_t StructureEndRecordId = 0xED06;
// Extension records: written before the record of the element they qualify, and only when the element
// has the property, so that a table without them keeps the bytes it always had.
constexpr int32_t rtRepeat = 0xED10;    // followed by the repeat count (2 or more)
constexpr int32_t rtMandatory = 0xED11; // the element is mandatory; no value follows

// File type numbers at offset 4 of the table header.
constexpr int32_t SdtFileType = 0xEDF1;
constexpr int32_t MdtFileType = 0xEDF2;
constexpr size_t TableHeaderSize = 320;

// Writes values through a block buffer; Flush (also on destruction) hands the buffer to the stream.
class TDefWriter {
public:
    explicit TDefWriter(TStream& stream, size_t bufferSize = 1024);
    ~TDefWriter();
    TDefWriter(const TDefWriter&) = delete;
    TDefWriter& operator=(const TDefWriter&) = delete;

    void PutInteger(int32_t value);
    void PutText(std::string_view text);
    void PutBoolean(bool value);
    void PutChar(char c);
    void Flush();

private:
    void PutBytes(const void* data, size_t n);
    TStream& stream_;
    size_t bufferSize_;
    std::vector<uint8_t> buffer_;
};

// Reads values ahead in blocks; a wrong type byte raises EReadError "Ungültiger Wert der Eigenschaft",
// the end of the data EReadError "Stream-Read-Fehler".
class TDefReader {
public:
    explicit TDefReader(TStream& stream, size_t bufferSize = 1024);
    TDefReader(const TDefReader&) = delete;
    TDefReader& operator=(const TDefReader&) = delete;

    int32_t GetInteger();
    std::string GetText();
    bool GetBoolean();
    char GetChar();

private:
    uint8_t GetByte();
    void GetBytes(void* data, size_t n);
    TStream& stream_;
    size_t bufferSize_;
    std::vector<uint8_t> buffer_;
    size_t pos_ = 0;
};

// The local date and time as days since 30 December 1899, the time of day as fraction.
double NowAsDateTime();
// A zero-filled table header with format word, file type, Modifiable flag and time of compilation.
std::array<uint8_t, TableHeaderSize> MakeTableHeader(int32_t fileType, bool modifiable);

} // namespace talmiro
