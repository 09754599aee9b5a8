// Importing an export: the JSON through nlohmann-json's parser, each segment object handed over and
// dropped as soon as it is complete; the XML through a small reader of exactly the layout the export
// writes. Both hand segments to one writer.
#include "talmiro/interchange_export.h"

#include "export_text.h"
#include "talmiro/charsets.h"
#include "talmiro/edi_writer.h"

#include <nlohmann/json.hpp>

#include <istream>
#include <memory>
#include <optional>
#include <streambuf>

namespace talmiro {

namespace {

[[noreturn]] void Fail(const std::string& text) {
    throw EImportError(text);
}

// Exports nest messages and groups; real messages nest groups less than a dozen deep.
constexpr int MaxNesting = 64;

// ---------------------------------------------------------------------------------------------------------
// The interchange written back

struct THeader {
    std::optional<bool> Utf8;
    std::optional<bool> Advice;
    std::string Component, Element, Decimal, Release, Reserved, Repetition, Terminator;
    bool HaveDelimiters = false;
};

class TImportTarget {
public:
    TImportTarget(const std::function<void(std::string_view)>& sink, bool oneLine)
        : sink_(sink), oneLine_(oneLine) {}

    THeader Header;

    // The bytes of a value in the interchange's encoding: UTF-8 as it is, or each character a Latin-1 byte.
    std::string Bytes(const std::string& text, const std::string& what) const {
        std::string out;
        out.reserve(text.size());
        for (size_t i = 0; i < text.size();) {
            const auto c = static_cast<unsigned char>(text[i]);
            const size_t n = Utf8SequenceLength(text, i);
            if (n == 0) Fail(what + " is not UTF-8");
            if (c < 0x20) Fail(what + " holds a control character, which the interchange cannot carry");
            if (n == 1 || *utf8_) {
                out.append(text, i, n);
            } else {
                const unsigned code =
                    n == 2 ? ((c & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F) : 0x100;
                if (code > 0xFF) Fail(what + " holds a character beyond Latin-1");
                out.push_back(static_cast<char>(code));
            }
            i += n;
        }
        return out;
    }

    // Takes the header: raises when it is incomplete. Called before the first segment.
    void Begin() {
        if (!writer_) Start();
    }

    void Segment(TSegmentValues segment) {
        Begin();
        if (segment.Tag.size() != 3)
            Fail("Segment tag \"" + segment.Tag + "\" does not have three characters");
        ++segments_;
        out_ += writer_->SegmentText(segment);
        out_ += writer_->Separator(oneLine_ ? TLayout::OneLine : TLayout::OnePerLine);
        if (out_.size() >= (1 << 16)) {
            sink_(out_);
            out_.clear();
        }
    }

    void Finish() {
        if (segments_ == 0) Fail("The export holds no segment");
        if (!out_.empty()) sink_(out_);
        out_.clear();
    }

private:
    char Delimiter(const std::string& text, const char* name, bool optional = false) const {
        const std::string bytes = Bytes(text, std::string("The ") + name + " delimiter");
        if (optional && bytes.empty()) return 0;
        if (bytes.size() != 1) Fail(std::string("The ") + name + " delimiter is not one character");
        return bytes[0];
    }

    void Start() {
        const THeader& h = Header;
        if (!h.Utf8 || !h.HaveDelimiters || !h.Advice)
            Fail("The encoding and the delimiters must come before the first segment");
        utf8_ = h.Utf8;
        TDelimiters d;
        d.ComponentSeparator = Delimiter(h.Component, "component");
        d.ElementSeparator = Delimiter(h.Element, "element");
        d.DecimalMark = Delimiter(h.Decimal, "decimal");
        d.ReleaseChar = Delimiter(h.Release, "release");
        d.ReservedChar = Delimiter(h.Reserved, "reserved");
        d.RepetitionSeparator = Delimiter(h.Repetition, "repetition", true);
        d.SegmentTerminator = Delimiter(h.Terminator, "terminator");
        const char separators[3] = {d.ComponentSeparator, d.ElementSeparator, d.SegmentTerminator};
        for (char c : separators)
            if (static_cast<unsigned char>(c) <= 32) Fail("A separator is a space or a control character");
        if (d.ComponentSeparator == d.ElementSeparator || d.ComponentSeparator == d.SegmentTerminator ||
            d.ElementSeparator == d.SegmentTerminator)
            Fail("Two separators are the same character");
        writer_ = std::make_unique<TEdiWriter>(d, "\n");
        // Without an advice the reader takes the default delimiters: other ones need it.
        const TDelimiters standard;
        const bool usual = d.ComponentSeparator == standard.ComponentSeparator &&
                           d.ElementSeparator == standard.ElementSeparator &&
                           d.DecimalMark == standard.DecimalMark && d.ReleaseChar == standard.ReleaseChar &&
                           d.SegmentTerminator == standard.SegmentTerminator &&
                           (d.RepetitionSeparator == 0 || d.RepetitionSeparator == '*');
        if (*h.Advice || !usual)
            out_ +=
                writer_->AdviceText() + writer_->Separator(oneLine_ ? TLayout::OneLine : TLayout::OnePerLine);
    }

    const std::function<void(std::string_view)>& sink_;
    bool oneLine_;
    std::optional<bool> utf8_;
    std::unique_ptr<TEdiWriter> writer_;
    std::string out_;
    int64_t segments_ = 0;
};

// A segment's values are put together element by element: a further occurrence of a repeating element
// joins the position before it.
class TSegmentBuilder {
public:
    TSegmentBuilder(const TImportTarget& target, std::string tag) : target_(target) {
        segment_.Tag = target.Bytes(tag, "A segment tag");
    }

    // An element occurrence: number 0 for an element that does not repeat, 1, 2, ... for one that does.
    void Element(const std::string& id, int number, TSegmentValues::TOccurrence components) {
        if (number < 0) Fail("Element " + id + " of " + segment_.Tag + " has an invalid occurrence");
        if (number > 1) {
            if (segment_.Elements.empty() || lastId_ != id || lastNumber_ != number - 1)
                Fail("Occurrence " + std::to_string(number) + " of element " + id + " in " + segment_.Tag +
                     " does not follow occurrence " + std::to_string(number - 1));
            segment_.Elements.back().push_back(std::move(components));
        } else {
            segment_.Elements.push_back({std::move(components)});
        }
        lastId_ = id;
        lastNumber_ = number;
    }

    std::string Value(const std::string& text, const std::string& id) const {
        return target_.Bytes(text, "The value of " + id + " in " + segment_.Tag);
    }

    TSegmentValues Take() { return std::move(segment_); }

private:
    const TImportTarget& target_;
    TSegmentValues segment_;
    std::string lastId_;
    int lastNumber_ = 0;
};

// ---------------------------------------------------------------------------------------------------------
// JSON

using json = nlohmann::json;

// The stream read by the JSON parser.
class TStreamBuffer final : public std::streambuf {
public:
    explicit TStreamBuffer(TStream& stream) : stream_(stream) {}

protected:
    int_type underflow() override {
        const size_t got = stream_.Read(buffer_, sizeof buffer_);
        if (got == 0) return traits_type::eof();
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(buffer_[0]);
    }

private:
    TStream& stream_;
    char buffer_[1 << 16];
};

const json& Member(const json& object, const char* key, const std::string& where) {
    auto it = object.find(key);
    if (it == object.end()) Fail(where + " lacks \"" + key + "\"");
    return *it;
}

std::string StringMember(const json& object, const char* key, const std::string& where) {
    const json& value = Member(object, key, where);
    if (!value.is_string()) Fail("\"" + std::string(key) + "\" of " + where + " is not a string");
    return value.get<std::string>();
}

void OnlyKeys(const json& object, std::initializer_list<const char*> keys, const std::string& where) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (const char* k : keys)
            known = known || it.key() == k;
        if (!known) Fail(where + " has an unknown member \"" + it.key() + "\"");
    }
}

TSegmentValues::TOccurrence JsonOccurrence(const json& element, const std::string& id,
                                           TSegmentBuilder& builder, const std::string& where) {
    auto value = element.find("value");
    auto components = element.find("components");
    if (value != element.end() && components != element.end())
        Fail(where + " has both a value and components");
    if (value != element.end()) {
        if (!value->is_string()) Fail("The value of " + where + " is not a string");
        return {builder.Value(value->get<std::string>(), id)};
    }
    TSegmentValues::TOccurrence out;
    if (components == element.end()) return out;
    if (!components->is_array()) Fail("The components of " + where + " are not a list");
    for (const json& component : *components) {
        if (!component.is_object()) Fail("A component of " + where + " is not an object");
        const std::string componentId = StringMember(component, "id", "A component of " + where);
        const std::string at = "component " + componentId + " of " + where;
        OnlyKeys(component, {"id", "value", "code_name", "description"}, at);
        auto v = component.find("value");
        if (v == component.end()) {
            out.emplace_back();
            continue;
        }
        if (!v->is_string()) Fail("The value of " + at + " is not a string");
        out.push_back(builder.Value(v->get<std::string>(), componentId));
    }
    return out;
}

void JsonSegment(const json& node, TImportTarget& target) {
    const std::string tag = StringMember(node, "segment", "A segment");
    const std::string where = "Segment " + tag;
    OnlyKeys(node, {"segment", "elements"}, where);
    const json& elements = Member(node, "elements", where);
    if (!elements.is_array()) Fail("The elements of " + where + " are not a list");
    target.Begin();
    TSegmentBuilder builder(target, tag);
    for (const json& element : elements) {
        if (!element.is_object()) Fail("An element of " + where + " is not an object");
        const std::string id = StringMember(element, "id", "An element of " + where);
        const std::string at = "element " + id + " of " + where;
        OnlyKeys(element, {"id", "occurrence", "value", "components", "code_name", "description"}, at);
        int number = 0;
        if (auto o = element.find("occurrence"); o != element.end()) {
            if (!o->is_number_integer() || *o < 1 || *o > 1'000'000)
                Fail("The occurrence of " + at + " is invalid");
            number = o->get<int>();
        }
        builder.Element(id, number, JsonOccurrence(element, id, builder, at));
    }
    target.Segment(builder.Take());
}

void JsonHeaderValue(const std::string& key, const json& value, THeader& header) {
    if (key == "format") {
        if (value != "talmiro-export") Fail("Not a talmiro export: \"format\" is not \"talmiro-export\"");
    } else if (key == "version") {
        if (value != 1) Fail("Export version " + value.dump() + " is not known; version 1 is");
    } else if (key == "encoding") {
        if (value != "utf-8" && value != "latin-1") Fail("The encoding is neither \"utf-8\" nor \"latin-1\"");
        header.Utf8 = value == "utf-8";
    }
}

void JsonDelimiters(const json& d, THeader& header) {
    OnlyKeys(d,
             {"advice", "component", "element", "decimal", "release", "reserved", "repetition", "terminator"},
             "The delimiters");
    const json& advice = Member(d, "advice", "The delimiters");
    if (!advice.is_boolean()) Fail("\"advice\" of the delimiters is not true or false");
    header.Advice = advice.get<bool>();
    header.Component = StringMember(d, "component", "The delimiters");
    header.Element = StringMember(d, "element", "The delimiters");
    header.Decimal = StringMember(d, "decimal", "The delimiters");
    header.Release = StringMember(d, "release", "The delimiters");
    header.Reserved = StringMember(d, "reserved", "The delimiters");
    header.Repetition = StringMember(d, "repetition", "The delimiters");
    header.Terminator = StringMember(d, "terminator", "The delimiters");
    header.HaveDelimiters = true;
}

void ImportJson(TStream& input, TImportTarget& target) {
    struct TFrame {
        bool Array;
        std::string Key; // the member it is the value of; "[]" and the list's key for an item of a list
    };
    std::vector<TFrame> frames;
    std::string key;
    bool sawFormat = false, sawInterchange = false;
    auto callback = [&](int depth, json::parse_event_t event, json& parsed) -> bool {
        switch (event) {
        case json::parse_event_t::key:
            key = parsed.get<std::string>();
            if (depth == 1) {
                static const char* const known[] = {"format", "version", "encoding", "delimiters",
                                                    "interchange"};
                if (std::find(std::begin(known), std::end(known), key) == std::end(known))
                    Fail("The export has an unknown member \"" + key + "\"");
                sawFormat = sawFormat || key == "format";
                sawInterchange = sawInterchange || key == "interchange";
            }
            return true;
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start: {
            if (frames.size() > 2 * MaxNesting + 8) Fail("The export is nested too deeply");
            const bool array = event == json::parse_event_t::array_start;
            if (frames.empty() && array) Fail("Not a talmiro export: a list, not an object");
            frames.push_back({array, frames.empty()        ? std::string()
                                     : frames.back().Array ? "[]" + frames.back().Key
                                                           : key});
            return true;
        }
        case json::parse_event_t::array_end:
            frames.pop_back();
            return true;
        case json::parse_event_t::object_end: {
            const TFrame frame = frames.back();
            frames.pop_back();
            if (frames.size() == 1 && frame.Key == "delimiters") JsonDelimiters(parsed, target.Header);
            if (frame.Key != "[]interchange" && frame.Key != "[]children") return true;
            // A node: a segment is written and dropped; a message or group has had its nodes dropped already.
            if (parsed.contains("segment")) {
                JsonSegment(parsed, target);
            } else if (parsed.contains("message")) {
                OnlyKeys(parsed, {"message", "reference", "children"}, "A message");
            } else if (parsed.contains("group")) {
                OnlyKeys(parsed, {"group", "repetition", "children"}, "A group");
            } else {
                Fail("A node of the interchange is neither a segment, a message nor a group");
            }
            return false;
        }
        case json::parse_event_t::value:
            if (depth == 1 && frames.size() == 1) JsonHeaderValue(key, parsed, target.Header);
            if (!frames.empty() && frames.back().Array &&
                (frames.back().Key == "interchange" || frames.back().Key == "children"))
                Fail("A node of the interchange is not an object");
            return true;
        }
        return true;
    };
    TStreamBuffer buffer(input);
    std::istream in(&buffer);
    try {
        if (!json::parse(in, callback).is_object()) Fail("Not a talmiro export: not a JSON object");
    } catch (const json::exception& e) {
        Fail(std::string("Not a JSON document: ") + e.what());
    }
    if (!sawFormat) Fail("Not a talmiro export: \"format\" is missing");
    if (!sawInterchange) Fail("The export has no \"interchange\"");
}

// ---------------------------------------------------------------------------------------------------------
// XML: a strict reader of the layout the export writes. Elements (tags) and attributes in double or single
// quotes, character data with the five predefined entities and character references, an XML declaration
// at the start; no comments, DOCTYPE, CDATA sections or processing instructions.

struct TXmlToken {
    enum TKind { Start, EndTag, Text, End } Kind = End;
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Attributes;
    bool Empty = false; // <name .../>
    std::string Data;   // text
    const std::string* Attribute(const char* name) const {
        for (const auto& a : Attributes)
            if (a.first == name) return &a.second;
        return nullptr;
    }
};

class TXmlReader {
public:
    static constexpr size_t MaxName = 32;
    static constexpr size_t MaxAttributes = 8;
    static constexpr size_t MaxText = size_t{16} << 20;

    explicit TXmlReader(TStream& stream) : s_(stream) {
        SkipByteOrderMark(s_);
        if (Peek() == '<') {
            const int64_t at = s_.Position();
            s_.ReadByte();
            if (Peek() == '?') {
                s_.ReadByte();
                Declaration();
            } else {
                s_.Seek(at);
            }
        }
    }

    // The next token; text between tags is returned as it is, white space included.
    TXmlToken Next() {
        TXmlToken t;
        int c = Peek();
        if (c < 0) return t;
        if (c != '<') {
            t.Kind = TXmlToken::Text;
            CharData(t.Data);
            return t;
        }
        s_.ReadByte();
        c = Peek();
        if (c == '!' || c == '?')
            Fail(Where() + "comments, DOCTYPE, CDATA and processing instructions are not read");
        if (c == '/') {
            s_.ReadByte();
            t.Kind = TXmlToken::EndTag;
            t.Name = Name();
            SkipSpace();
            Expect('>');
            return t;
        }
        t.Kind = TXmlToken::Start;
        t.Name = Name();
        for (;;) {
            const bool space = SkipSpace();
            c = Peek();
            if (c == '/') {
                s_.ReadByte();
                Expect('>');
                t.Empty = true;
                return t;
            }
            if (c == '>') {
                s_.ReadByte();
                return t;
            }
            if (!space) Fail(Where() + "white space expected between attributes");
            std::string name = Name();
            SkipSpace();
            Expect('=');
            SkipSpace();
            std::string value = AttributeValue();
            if (t.Attribute(name.c_str())) Fail(Where() + "attribute " + name + " appears twice");
            if (t.Attributes.size() == MaxAttributes) Fail(Where() + "too many attributes");
            t.Attributes.emplace_back(std::move(name), std::move(value));
        }
    }

    std::string Where() const { return "XML, byte " + std::to_string(s_.Position()) + ": "; }

private:
    int Peek() {
        const int c = s_.ReadByte();
        if (c >= 0) s_.StepBack();
        return c;
    }
    void Expect(char ch) {
        const int c = s_.ReadByte();
        if (c != static_cast<unsigned char>(ch)) Fail(Where() + "\"" + std::string(1, ch) + "\" expected");
    }
    static bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    bool SkipSpace() {
        bool any = false;
        while (IsSpace(Peek())) {
            s_.ReadByte();
            any = true;
        }
        return any;
    }
    std::string Name() {
        std::string name;
        for (int c = Peek(); (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
                             (!name.empty() && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
             c = Peek()) {
            if (name.size() == MaxName) Fail(Where() + "name too long");
            name.push_back(static_cast<char>(s_.ReadByte()));
        }
        if (name.empty()) Fail(Where() + "a name expected");
        return name;
    }
    // <?xml version="1.0" encoding="UTF-8"?>, after "<?".
    void Declaration() {
        if (Name() != "xml") Fail(Where() + "processing instructions are not read");
        for (;;) {
            SkipSpace();
            if (Peek() == '?') {
                s_.ReadByte();
                Expect('>');
                return;
            }
            const std::string name = Name();
            SkipSpace();
            Expect('=');
            SkipSpace();
            const std::string value = AttributeValue();
            if (name == "encoding" && value != "UTF-8" && value != "utf-8")
                Fail(Where() + "only UTF-8 is read, not " + value);
        }
    }
    void Reference(std::string& out) {
        std::string name;
        for (int c = s_.ReadByte(); c != ';'; c = s_.ReadByte()) {
            if (c < 0 || name.size() > 10) Fail(Where() + "unfinished reference");
            name.push_back(static_cast<char>(c));
        }
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            const std::string digits = name.substr(hex ? 2 : 1);
            if (digits.empty() ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
                Fail(Where() + "invalid character reference &" + name + ";");
            const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
            const bool allowed = code == 9 || code == 10 || code == 13 || (code >= 0x20 && code <= 0xD7FF) ||
                                 (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
            if (!allowed) Fail(Where() + "character reference &" + name + "; is no XML character");
            AppendCodePoint(out, static_cast<unsigned>(code));
        } else {
            Fail(Where() + "unknown entity &" + name + ";");
        }
    }
    static void AppendCodePoint(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    // A literal character of the document: UTF-8, and no control character but white space.
    void Literal(std::string& out, int c) {
        if (c < 0x20 && !IsSpace(c)) Fail(Where() + "control character in the document");
        out.push_back(static_cast<char>(c));
        if (c < 0x80) return;
        char tail[3];
        const size_t n = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        if (s_.Read(tail, n) != n) Fail(Where() + "not UTF-8");
        out.append(tail, n);
        if (Utf8SequenceLength(std::string_view(out).substr(out.size() - n - 1), 0) != n + 1)
            Fail(Where() + "not UTF-8");
    }
    void CharData(std::string& out) {
        for (int c = Peek(); c >= 0 && c != '<'; c = Peek()) {
            s_.ReadByte();
            if (out.size() > MaxText) Fail(Where() + "text too long");
            if (c == '&') {
                Reference(out);
            } else if (c == '\r') {
                if (Peek() == '\n') s_.ReadByte();
                out.push_back('\n'); // line ends read as one line feed
            } else {
                Literal(out, c);
            }
        }
    }
    std::string AttributeValue() {
        const int quote = s_.ReadByte();
        if (quote != '"' && quote != '\'') Fail(Where() + "a quoted value expected");
        std::string out;
        for (int c = s_.ReadByte(); c != quote; c = s_.ReadByte()) {
            if (c < 0 || c == '<') Fail(Where() + "unfinished attribute value");
            if (out.size() > MaxText) Fail(Where() + "attribute value too long");
            if (c == '&') {
                Reference(out);
            } else if (IsSpace(c)) {
                if (c == '\r' && Peek() == '\n') s_.ReadByte();
                out.push_back(' '); // white space in an attribute reads as a space
            } else {
                Literal(out, c);
            }
        }
        return out;
    }

    TStream& s_;
};

class TXmlImport {
public:
    TXmlImport(TStream& input, TImportTarget& target) : xml_(input), target_(target) {}

    void Run() {
        TXmlToken root = Structural();
        if (root.Kind != TXmlToken::Start || root.Name != "interchange")
            Fail(xml_.Where() + "<interchange> expected");
        const std::string* format = root.Attribute("format");
        if (!format || *format != "talmiro-export")
            Fail("Not a talmiro export: format is not \"talmiro-export\"");
        const std::string* version = root.Attribute("version");
        if (!version || *version != "1")
            Fail("Export version " + (version ? *version : "(none)") + " is not known; version 1 is");
        const std::string* encoding = root.Attribute("encoding");
        if (!encoding || (*encoding != "utf-8" && *encoding != "latin-1"))
            Fail("The encoding is neither \"utf-8\" nor \"latin-1\"");
        target_.Header.Utf8 = *encoding == "utf-8";
        if (root.Empty) Fail("The export holds no segment");
        TXmlToken d = Structural();
        if (d.Kind != TXmlToken::Start || d.Name != "delimiters" || !d.Empty)
            Fail(xml_.Where() + "<delimiters .../> expected");
        Delimiters(d);
        Nodes("interchange", 0);
        if (Structural().Kind != TXmlToken::End) Fail(xml_.Where() + "content after </interchange>");
    }

private:
    // The next token that is not white space between elements.
    TXmlToken Structural() {
        for (;;) {
            TXmlToken t = xml_.Next();
            if (t.Kind != TXmlToken::Text) return t;
            if (t.Data.find_first_not_of(" \t\n\r") != std::string::npos)
                Fail(xml_.Where() + "text where none belongs");
        }
    }

    std::string Required(const TXmlToken& t, const char* name) {
        const std::string* value = t.Attribute(name);
        if (!value) Fail(xml_.Where() + "<" + t.Name + "> lacks " + name);
        return *value;
    }

    void OnlyAttributes(const TXmlToken& t, std::initializer_list<const char*> names) {
        for (const auto& a : t.Attributes) {
            bool known = false;
            for (const char* n : names)
                known = known || a.first == n;
            if (!known) Fail(xml_.Where() + "<" + t.Name + "> has an unknown attribute " + a.first);
        }
    }

    void Delimiters(const TXmlToken& d) {
        OnlyAttributes(d, {"advice", "component", "element", "decimal", "release", "reserved", "repetition",
                           "terminator"});
        THeader& h = target_.Header;
        const std::string advice = Required(d, "advice");
        if (advice != "yes" && advice != "no") Fail(xml_.Where() + "advice is neither yes nor no");
        h.Advice = advice == "yes";
        h.Component = Required(d, "component");
        h.Element = Required(d, "element");
        h.Decimal = Required(d, "decimal");
        h.Release = Required(d, "release");
        h.Reserved = Required(d, "reserved");
        h.Repetition = Required(d, "repetition");
        h.Terminator = Required(d, "terminator");
        h.HaveDelimiters = true;
    }

    // Segments, messages and groups up to the end tag of parent.
    void Nodes(const std::string& parent, int depth) {
        if (depth > MaxNesting) Fail(xml_.Where() + "nested too deeply");
        for (;;) {
            TXmlToken t = Structural();
            if (t.Kind == TXmlToken::EndTag && t.Name == parent) return;
            if (t.Kind != TXmlToken::Start) Fail(xml_.Where() + "</" + parent + "> expected");
            if (t.Name == "segment") {
                Segment(t);
            } else if (t.Name == "message" || t.Name == "group") {
                OnlyAttributes(t, t.Name == "message"
                                      ? std::initializer_list<const char*>{"text", "reference"}
                                      : std::initializer_list<const char*>{"number", "repetition"});
                if (!t.Empty) Nodes(t.Name, depth + 1);
            } else {
                Fail(xml_.Where() + "<" + t.Name + "> where a segment, message or group belongs");
            }
        }
    }

    int Occurrence(const TXmlToken& t) {
        const std::string* o = t.Attribute("occurrence");
        if (!o) return 0;
        if (o->empty() || o->size() > 6 || o->find_first_not_of("0123456789") != std::string::npos ||
            *o == "0")
            Fail(xml_.Where() + "invalid occurrence");
        return std::stoi(*o);
    }

    // The text of an <element> up to its end tag.
    std::string ElementText(const TXmlToken& start) {
        if (start.Empty) return {};
        std::string text;
        TXmlToken t = xml_.Next();
        if (t.Kind == TXmlToken::Text) {
            text = std::move(t.Data);
            t = xml_.Next();
        }
        if (t.Kind != TXmlToken::EndTag || t.Name != "element") Fail(xml_.Where() + "</element> expected");
        return text;
    }

    void Segment(const TXmlToken& start) {
        OnlyAttributes(start, {"tag"});
        const std::string tag = Required(start, "tag");
        target_.Begin();
        TSegmentBuilder builder(target_, tag);
        while (!start.Empty) {
            TXmlToken t = Structural();
            if (t.Kind == TXmlToken::EndTag && t.Name == "segment") break;
            if (t.Kind != TXmlToken::Start || (t.Name != "element" && t.Name != "composite"))
                Fail(xml_.Where() + "<element>, <composite> or </segment> expected");
            OnlyAttributes(t, {"id", "occurrence", "code_name", "description"});
            const std::string id = Required(t, "id");
            const int number = Occurrence(t);
            if (t.Name == "element") {
                builder.Element(id, number, {builder.Value(ElementText(t), id)});
                continue;
            }
            TSegmentValues::TOccurrence components;
            while (!t.Empty) {
                TXmlToken c = Structural();
                if (c.Kind == TXmlToken::EndTag && c.Name == "composite") break;
                if (c.Kind != TXmlToken::Start || c.Name != "element")
                    Fail(xml_.Where() + "<element> or </composite> expected");
                OnlyAttributes(c, {"id", "code_name", "description"});
                const std::string componentId = Required(c, "id");
                components.push_back(builder.Value(ElementText(c), componentId));
            }
            builder.Element(id, number, std::move(components));
        }
        target_.Segment(builder.Take());
    }

    TXmlReader xml_;
    TImportTarget& target_;
};

} // namespace

void ImportInterchange(TStream& input, const std::function<void(std::string_view)>& sink, bool oneLine) {
    TImportTarget target(sink, oneLine);
    input.Seek(0);
    SkipByteOrderMark(input);
    int c;
    do {
        c = input.ReadByte();
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    input.Seek(0);
    if (c == '{') {
        ImportJson(input, target);
    } else if (c == '<') {
        TXmlImport(input, target).Run();
    } else {
        Fail("Neither a JSON nor an XML export");
    }
    target.Finish();
}

} // namespace talmiro
