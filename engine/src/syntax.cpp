#include "talmiro/syntax.h"

#include "number_text.h"
#include "talmiro/edi_element.h"
#include "talmiro/exceptions.h"

namespace talmiro {

TDelimiters Delimiters;

void ResetDelimiters() {
    Delimiters = TDelimiters{};
}

std::string ReadChars(TStream& stream, int n) {
    std::string text;
    while (static_cast<int>(text.size()) < n) {
        int c = NextChar(stream);
        if (c == EndOfData) break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

std::string PeekSegmentTag(TStream& stream) {
    const int64_t start = stream.Position();
    std::string s = ReadChars(stream, 4);
    if (!(s.size() == 4 && s[3] == Delimiters.ElementSeparator) && s.compare(0, 3, "UNA") != 0)
        throw EEdiSyntaxError("Invalid segment ID \"" + s + "\".");
    s.resize(3);
    stream.Seek(start);
    return s;
}

void ReadServiceStringAdvice(TStream& stream) {
    uint8_t advice[9];
    // A advice cut short by the end of the data sets only the delimiters whose bytes are there.
    const size_t got = stream.Read(advice, sizeof advice);
    char* targets[6] = {&Delimiters.ComponentSeparator, &Delimiters.ElementSeparator,
                        &Delimiters.DecimalMark,        &Delimiters.ReleaseChar,
                        &Delimiters.ReservedChar,       &Delimiters.SegmentTerminator};
    for (size_t i = 3; i < got; ++i)
        *targets[i - 3] = static_cast<char>(advice[i]);
}

std::string ReadFirstTag(TStream& stream) {
    std::string tag = PeekSegmentTag(stream);
    if (tag == "UNA") {
        ReadServiceStringAdvice(stream);
        tag = PeekSegmentTag(stream);
    }
    return tag;
}

// ---------------------------------------------------------------------------------------------------------
// Reading

namespace {

// The text of the element being read; kept across calls so that reading does not allocate.
std::string scratch;

void StoreText(TVariant& value, const std::string& text) {
    if (auto* s = std::get_if<std::string>(&value))
        s->assign(text);
    else
        value = text;
}

} // namespace

void TEDIField::ReadEdi(TStream& stream) {
    const char comp = Delimiters.ComponentSeparator;
    const char elem = Delimiters.ElementSeparator;
    const char term = Delimiters.SegmentTerminator;
    const int release = static_cast<unsigned char>(Delimiters.ReleaseChar);
    scratch.clear();
    int c = NextChar(stream);
    while (c != EndOfData && c != static_cast<unsigned char>(comp) && c != static_cast<unsigned char>(elem) &&
           c != static_cast<unsigned char>(term)) {
        if (c == release) {
            c = NextChar(stream);
            if (c == EndOfData) throw Exception("Transmission file structure damaged");
        }
        scratch.push_back(static_cast<char>(c));
        c = NextChar(stream);
    }
    if (c == EndOfData) throw Exception("Unexpected end of transmission file");
    RawText.assign(scratch);
    switch (FieldType) {
    case ftAlpha:
    case ftAlnum:
        StoreText(Value, scratch);
        break;
    case ftNumeric: {
        // Not a number (a decimal comma, letters) is no error: the text stays in RawText, the value is 0.
        double v = 0;
        if (!ParseDecimalNumber(scratch, v)) v = 0;
        Value = v;
        break;
    }
    }
    stream.StepBack();
}

void TEdiComposit::ReadEdi(TStream& stream) {
    const int comp = static_cast<unsigned char>(Delimiters.ComponentSeparator);
    for (auto& e : Elements) {
        e->ReadEdi(stream);
        int c = NextChar(stream);
        if (c == comp) continue;
        if (c != EndOfData) stream.StepBack();
        break;
    }
}

void TEdiSegment::ReadEdi(TStream& stream) {
    StartPos = stream.Position();
    char tag[3];
    int n = 0;
    for (; n < 3; ++n) {
        int c = NextChar(stream);
        if (c == EndOfData) break;
        tag[n] = static_cast<char>(c);
    }
    std::string_view found(tag, static_cast<size_t>(n));
    if (found != ID) {
        std::string f(found);
        throw EInvalidSegment("Invalid segment \"" + f + "\"", ID, f);
    }
    const int elem = static_cast<unsigned char>(Delimiters.ElementSeparator);
    const int term = static_cast<unsigned char>(Delimiters.SegmentTerminator);
    int c = NextChar(stream);
    for (auto& e : Elements) {
        if (c != elem) throw EEdiSyntaxError("Data element seperator invalid.");
        e->ReadEdi(stream);
        c = NextChar(stream);
        if (c == term) break;
    }
    if (c != term) throw EEdiSyntaxError("Invalid segment delimiter at the end of \"" + ID + "\".");
    EndPos = stream.Position() - 1;
}

// ---------------------------------------------------------------------------------------------------------
// Writing

void TEDIField::WriteEdi(TStream& stream) const {
    stream.WriteText(FormatValue(true));
}

void TEdiComposit::WriteEdi(TStream& stream) const {
    const int last = LastFilled();
    for (int i = 0; i <= last; ++i) {
        if (i > 0) stream.Write(&Delimiters.ComponentSeparator, 1);
        const auto& e = Elements[static_cast<size_t>(i)];
        if (e->LastFilled() >= 0) e->WriteEdi(stream);
    }
}

void TEdiSegment::WriteEdi(TStream& stream) const {
    const int last = LastFilled();
    if (last < 0) return;
    stream.WriteText(ID);
    for (int i = 0; i <= last; ++i) {
        stream.Write(&Delimiters.ElementSeparator, 1);
        const auto& e = Elements[static_cast<size_t>(i)];
        if (e->LastFilled() >= 0) e->WriteEdi(stream);
    }
    stream.Write(&Delimiters.SegmentTerminator, 1);
    if (LineBreak) stream.WriteText("\r\n");
}

void TEDIField::WriteFixed(TStream& stream) const {
    std::string s = LastFilled() == 0 ? FormatValue(false) : std::string(FieldType == ftNumeric ? "0" : " ");
    if (static_cast<int64_t>(s.size()) < MaxSize) {
        const size_t pad = static_cast<size_t>(MaxSize) - s.size();
        if (FieldType == ftNumeric)
            s.insert(0, pad, ' ');
        else
            s.append(pad, ' ');
    }
    stream.WriteText(s);
}

void TEdiComposit::WriteFixed(TStream& stream) const {
    for (const auto& e : Elements)
        e->WriteFixed(stream);
}

void TEdiSegment::WriteFixed(TStream& stream) const {
    std::string tag = ID;
    tag.resize(10, ' ');
    stream.WriteText(tag);
    if (Elements.empty()) return;
    for (const auto& e : Elements)
        e->WriteFixed(stream);
    stream.WriteText("\r\n");
}

} // namespace talmiro
