#include "talmiro/def_stream.h"

#include "talmiro/exceptions.h"
#include "talmiro/streams.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace talmiro {

namespace {

const char* const InvalidValueText = "Ungültiger Wert der Eigenschaft";
const char* const ReadErrorText = "Stream-Read-Fehler";

void PutLE(uint8_t* out, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

TDefWriter::TDefWriter(TStream& stream, size_t bufferSize) : stream_(stream), bufferSize_(bufferSize) {
    buffer_.reserve(bufferSize_);
}

TDefWriter::~TDefWriter() {
    try {
        Flush();
    } catch (...) {
        // Writers are flushed explicitly where errors matter.
    }
}

void TDefWriter::PutBytes(const void* data, size_t n) {
    auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        if (buffer_.size() == bufferSize_) Flush();
        size_t k = std::min(n, bufferSize_ - buffer_.size());
        buffer_.insert(buffer_.end(), p, p + k);
        p += k;
        n -= k;
    }
}

void TDefWriter::PutInteger(int32_t value) {
    uint8_t bytes[5];
    if (value >= -128 && value <= 127) {
        bytes[0] = vaInt8;
        PutLE(bytes + 1, static_cast<uint32_t>(value), 1);
        PutBytes(bytes, 2);
    } else if (value >= -32768 && value <= 32767) {
        bytes[0] = vaInt16;
        PutLE(bytes + 1, static_cast<uint32_t>(value), 2);
        PutBytes(bytes, 3);
    } else {
        bytes[0] = vaInt32;
        PutLE(bytes + 1, static_cast<uint32_t>(value), 4);
        PutBytes(bytes, 5);
    }
}

void TDefWriter::PutText(std::string_view text) {
    uint8_t bytes[5];
    if (text.size() <= 255) {
        bytes[0] = vaString;
        bytes[1] = static_cast<uint8_t>(text.size());
        PutBytes(bytes, 2);
    } else {
        bytes[0] = vaLString;
        PutLE(bytes + 1, static_cast<uint32_t>(text.size()), 4);
        PutBytes(bytes, 5);
    }
    PutBytes(text.data(), text.size());
}

void TDefWriter::PutBoolean(bool value) {
    uint8_t b = value ? vaTrue : vaFalse;
    PutBytes(&b, 1);
}

void TDefWriter::PutChar(char c) { PutText(std::string_view(&c, 1)); }

void TDefWriter::Flush() {
    if (buffer_.empty()) return;
    std::vector<uint8_t> out;
    out.swap(buffer_);
    buffer_.reserve(bufferSize_);
    stream_.Write(out.data(), out.size());
}

// ---------------------------------------------------------------------------------------------------------

TDefReader::TDefReader(TStream& stream, size_t bufferSize) : stream_(stream), bufferSize_(bufferSize) {}

uint8_t TDefReader::GetByte() {
    if (pos_ == buffer_.size()) {
        buffer_.resize(bufferSize_);
        buffer_.resize(stream_.Read(buffer_.data(), bufferSize_));
        pos_ = 0;
        if (buffer_.empty()) throw EReadError(ReadErrorText);
    }
    return buffer_[pos_++];
}

void TDefReader::GetBytes(void* data, size_t n) {
    auto* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        if (pos_ == buffer_.size()) {
            *p++ = GetByte();
            --n;
            continue;
        }
        size_t k = std::min(n, buffer_.size() - pos_);
        std::memcpy(p, buffer_.data() + pos_, k);
        pos_ += k;
        p += k;
        n -= k;
    }
}

int32_t TDefReader::GetInteger() {
    uint8_t type = GetByte();
    uint8_t b[4] = {0, 0, 0, 0};
    switch (type) {
    case vaInt8:
        GetBytes(b, 1);
        return static_cast<int8_t>(b[0]);
    case vaInt16:
        GetBytes(b, 2);
        return static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
    case vaInt32:
        GetBytes(b, 4);
        return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                                    (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
    default:
        throw EReadError(InvalidValueText);
    }
}

std::string TDefReader::GetText() {
    uint8_t type = GetByte();
    uint32_t length = 0;
    if (type == vaString) {
        length = GetByte();
    } else if (type == vaLString) {
        uint8_t b[4];
        GetBytes(b, 4);
        length = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                 (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    } else {
        throw EReadError(InvalidValueText);
    }
    // The length comes from the file: grow the text as its bytes arrive, never by the claimed length at once.
    std::string text;
    char chunk[4096];
    while (length > 0) {
        size_t k = std::min<size_t>(length, sizeof chunk);
        GetBytes(chunk, k);
        text.append(chunk, k);
        length -= static_cast<uint32_t>(k);
    }
    return text;
}

bool TDefReader::GetBoolean() { return GetByte() == vaTrue; }

char TDefReader::GetChar() {
    if (GetByte() != vaString) throw EReadError(InvalidValueText);
    if (GetByte() != 1) throw EReadError(InvalidValueText);
    return static_cast<char>(GetByte());
}

// ---------------------------------------------------------------------------------------------------------

double NowAsDateTime() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    // Days from 1899-12-30 to the local civil date, plus the local time of day.
    const year_month_day ymd{year{local.tm_year + 1900}, month{static_cast<unsigned>(local.tm_mon + 1)},
                             day{static_cast<unsigned>(local.tm_mday)}};
    const auto days = (sys_days{ymd} - sys_days{year{1899} / December / 30}).count();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const double secs = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ms / 1000.0;
    return static_cast<double>(days) + secs / 86400.0;
}

std::array<uint8_t, TableHeaderSize> MakeTableHeader(int32_t fileType, bool modifiable) {
    std::array<uint8_t, TableHeaderSize> header{};
    header[0] = 1;
    header[1] = 1;
    PutLE(header.data() + 4, static_cast<uint32_t>(fileType), 4);
    header[8] = modifiable ? 1 : 0;
    const double now = NowAsDateTime();
    std::memcpy(header.data() + 12, &now, sizeof now);
    return header;
}

} // namespace talmiro
