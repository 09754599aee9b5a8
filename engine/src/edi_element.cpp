#include "talmiro/edi_element.h"

#include "number_text.h"
#include "talmiro/def_stream.h"
#include "talmiro/exceptions.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace talmiro {

namespace {

// Rounds half to even, as the integer conversion of a variant does; false when out of range.
bool RoundToInt32(double v, int32_t& out) {
    if (!std::isfinite(v)) return false;
    double r = std::nearbyint(v);
    if (r < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        r > static_cast<double>(std::numeric_limits<int32_t>::max()))
        return false;
    out = static_cast<int32_t>(r);
    return true;
}

// A date value as "yyyy-mm-dd", with " hh:mm:ss" when it carries a time of day.
std::string FormatDate(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return {};
    double whole = std::floor(days);
    auto z = static_cast<int64_t>(whole) - 25569 + 719468; // days since 1970-01-01, shifted to 0000-03-01
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char buf[48];
    int n = std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", static_cast<long long>(y),
                          static_cast<long long>(m), static_cast<long long>(d));
    auto secs = static_cast<int64_t>(std::llround((days - whole) * 86400.0));
    if (secs >= 86400) secs = 86399;
    if (secs > 0)
        std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), " %02lld:%02lld:%02lld",
                      static_cast<long long>(secs / 3600), static_cast<long long>(secs / 60 % 60),
                      static_cast<long long>(secs % 60));
    return buf;
}

double AsDouble(const TVariant& value, bool& ok) {
    ok = true;
    if (auto* f = std::get_if<float>(&value)) return *f;
    if (auto* d = std::get_if<double>(&value)) return *d;
    if (auto* c = std::get_if<TVarCurrency>(&value)) return static_cast<double>(c->Scaled) / 10000.0;
    ok = false;
    return 0;
}

} // namespace

uint16_t VarTypeCode(const TVariant& value) {
    static constexpr uint16_t codes[] = {0, 1, 0x100, 0x11, 2, 3, 4, 5, 6, 7};
    return codes[value.index()];
}

// ---------------------------------------------------------------------------------------------------------
// TEDIField

TEDIField::TEDIField(std::string_view id) : TEdiElement(id, TElementKind::Field) {}

TEDIField::~TEDIField() {
    Clear();
}

void TEDIField::Clear() {
    Value = std::monostate{};
}

int TEDIField::LastFilled() const {
    // Numbers always convert to a non-empty text; a date beyond the calendar gives none.
    if (std::holds_alternative<std::monostate>(Value) || std::holds_alternative<TVarNull>(Value)) return -1;
    if (auto* s = std::get_if<std::string>(&Value)) return s->empty() ? -1 : 0;
    if (std::holds_alternative<TVarDate>(Value)) return AsString().empty() ? -1 : 0;
    return 0;
}

int32_t TEDIField::AsInteger() const noexcept {
    int32_t out = 0;
    switch (Value.index()) {
    case 2: {
        const auto& text = std::get<std::string>(Value);
        int64_t i = 0;
        if (ParseDecimalInteger(text, i)) {
            if (i < std::numeric_limits<int32_t>::min() || i > std::numeric_limits<int32_t>::max()) return 0;
            return static_cast<int32_t>(i);
        }
        double d = 0;
        if (ParseDecimalNumber(text, d) && RoundToInt32(d, out)) return out;
        return 0;
    }
    case 3:
        return std::get<uint8_t>(Value);
    case 4:
        return std::get<int16_t>(Value);
    case 5:
        return std::get<int32_t>(Value);
    case 6:
    case 7:
    case 8: {
        bool ok = false;
        double d = AsDouble(Value, ok);
        return RoundToInt32(d, out) ? out : 0;
    }
    case 9:
        return RoundToInt32(std::get<TVarDate>(Value).Days, out) ? out : 0;
    default:
        return 0;
    }
}

std::string TEDIField::AsString() const {
    switch (Value.index()) {
    case 2:
        return std::get<std::string>(Value);
    case 3:
    case 4:
    case 5:
        return std::to_string(AsInteger());
    case 6:
    case 7:
    case 8: {
        bool ok = false;
        return FormatGeneral(AsDouble(Value, ok), 15, LocaleDecimalSeparator());
    }
    case 9:
        return FormatDate(std::get<TVarDate>(Value).Days);
    default:
        return {};
    }
}

std::string TEDIField::FormatValue(bool escape) const {
    std::string text;
    switch (FieldType) {
    case ftAlpha:
    case ftAlnum:
        text = AsString();
        break;
    case ftNumeric:
        switch (Value.index()) {
        case 0:
        case 1:
            text = "0";
            break;
        case 2:
            text = AsString();
            break;
        case 3:
        case 4:
        case 5:
            text = std::to_string(AsInteger());
            break;
        case 6:
        case 7:
        case 8: {
            bool ok = false;
            const std::string sep = LocaleDecimalSeparator();
            text = FormatGeneral(AsDouble(Value, ok), 13, sep);
            if (sep.size() != 1 || sep[0] != Delimiters.DecimalMark) {
                auto at = text.find(sep);
                if (at != std::string::npos) text.replace(at, sep.size(), 1, Delimiters.DecimalMark);
            }
            break;
        }
        default: {
            char code[16];
            std::snprintf(code, sizeof code, ": $%4.4X", static_cast<unsigned>(VarTypeCode(Value)));
            throw EVariantError("Invalid variant type conversion in '" + ID + "'" + code);
        }
        }
        break;
    }
    if (static_cast<int64_t>(text.size()) > MaxSize)
        text.resize(MaxSize > 0 ? static_cast<size_t>(MaxSize) : 0);
    const auto minSize = std::min<int64_t>(MinSize, MaxPaddedWidth);
    if (static_cast<int64_t>(text.size()) < minSize)
        text.append(static_cast<size_t>(minSize) - text.size(), ' ');
    if (escape) {
        const TDelimiters& d = Delimiters;
        std::string out;
        out.reserve(text.size() + 4);
        for (char c : text) {
            if (c == d.ComponentSeparator || c == d.ElementSeparator || c == d.ReleaseChar ||
                c == d.SegmentTerminator || (d.RepetitionSeparator != 0 && c == d.RepetitionSeparator))
                out.push_back(d.ReleaseChar);
            out.push_back(c);
        }
        return out;
    }
    return text;
}

void TEdiElement::WriteAttributeDefs(TDefWriter& writer) const {
    // Written only for mandatory and repeating elements, so that tables without any stay as they always
    // were.
    if (Mandatory) writer.PutInteger(rtMandatory);
    if (RepeatCount == 1) return;
    writer.PutInteger(rtRepeat);
    writer.PutInteger(RepeatCount);
}

void TEDIField::WriteDef(TDefWriter& writer) const {
    WriteAttributeDefs(writer);
    writer.PutInteger(rtField);
    writer.PutText(ID);
    writer.PutInteger(FieldType);
    writer.PutInteger(MinSize);
    writer.PutInteger(MaxSize);
    writer.PutText(std::string_view(Description).substr(0, MaxDescriptionLength));
}

std::unique_ptr<TEdiElement> TEDIField::CloneDef() const {
    auto copy = std::make_unique<TEDIField>(ID);
    copy->RepeatCount = RepeatCount;
    copy->Mandatory = Mandatory;
    copy->FieldType = FieldType;
    copy->MinSize = MinSize;
    copy->MaxSize = MaxSize;
    copy->Description = Description;
    copy->CodeList = CodeList;
    return copy;
}

// ---------------------------------------------------------------------------------------------------------
// TEdiComposit

std::unique_ptr<TEdiElement> TEdiComposit::CloneDef() const {
    auto copy = std::make_unique<TEdiComposit>(ID);
    copy->RepeatCount = RepeatCount;
    copy->Mandatory = Mandatory;
    copy->Description = Description;
    copy->Elements.reserve(Elements.size());
    for (const auto& e : Elements)
        copy->Elements.push_back(e->CloneDef());
    return copy;
}

void TEdiComposit::Clear() {
    for (auto& e : Elements)
        e->Clear();
}

int TEdiComposit::LastFilled() const {
    for (size_t i = Elements.size(); i-- > 0;)
        if (Elements[i]->LastFilled() >= 0) return static_cast<int>(i);
    return -1;
}

void TEdiComposit::AddElement(std::unique_ptr<TEdiElement> element) {
    if (!element) return;
    // Only simple elements block an identifier; composites may repeat.
    for (const auto& e : Elements)
        if (e->Kind == TElementKind::Field && e->ID == element->ID) return;
    Elements.push_back(std::move(element));
}

void TEdiComposit::AddField(std::string_view id) {
    AddElement(std::make_unique<TEDIField>(id));
}

TEDIField* TEdiComposit::FindField(std::string_view id) const {
    id = id.substr(0, MaxIdLength);
    for (const auto& e : Elements)
        if (e->ID == id)
            if (auto* f = e->AsField()) return f;
    return nullptr;
}

TEDIField& TEdiComposit::FieldByID(std::string_view id) const {
    if (auto* f = FindField(id)) return *f;
    throw EListError("Undefined Composit Element " + ID + "." + std::string(id));
}

void TEdiComposit::WriteDef(TDefWriter& writer) const {
    WriteAttributeDefs(writer);
    writer.PutInteger(rtComposit);
    writer.PutText(std::string_view(Description).substr(0, MaxDescriptionLength));
    writer.PutText(ID);
    writer.PutInteger(static_cast<int32_t>(Elements.size()));
    for (const auto& e : Elements)
        e->WriteDef(writer);
}

// ---------------------------------------------------------------------------------------------------------
// TEdiSegment

void TEdiSegment::Clear() {
    TEdiComposit::Clear();
    Repetitions.clear();
}

int TEdiSegment::Occurrences(size_t position) const {
    if (position >= Elements.size()) return 0;
    int repeats = 0;
    for (const auto& r : Repetitions)
        if (r.Position == position) ++repeats;
    // With repeats the first occurrence counts even when it was left empty.
    if (repeats > 0) return repeats + 1;
    return Elements[position]->LastFilled() >= 0 ? 1 : 0;
}

void TEdiSegment::AddComposit(std::string_view id) {
    AddElement(std::make_unique<TEdiComposit>(id));
}

TEdiComposit* TEdiSegment::FindComposit(std::string_view id) const {
    id = id.substr(0, MaxIdLength);
    for (const auto& e : Elements)
        if (e->ID == id)
            if (auto* c = e->AsComposite()) return c;
    return nullptr;
}

void TEdiSegment::SeekStart(TStream& stream) const {
    stream.Seek(StartPos);
}

void TEdiSegment::WriteDef(TDefWriter& writer) const {
    writer.PutInteger(rtSegment);
    writer.PutText(std::string_view(Description).substr(0, MaxDescriptionLength));
    writer.PutText(ID);
    writer.PutInteger(static_cast<int32_t>(Elements.size()));
    for (const auto& e : Elements)
        e->WriteDef(writer);
}

} // namespace talmiro
