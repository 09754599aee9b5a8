#include "talmiro/guideline.h"

#include "talmiro/def_stream.h"
#include "talmiro/edi_element.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"

#include <algorithm>

namespace talmiro {

namespace {

constexpr int32_t FormatVersion = 1;
constexpr int32_t MaxUsage = static_cast<int32_t>(TUsage::NotUsed);

const char* const DamagedText = "The guideline table is damaged";

void PutPlace(TDefWriter& w, const TSourcePlace& place) {
    w.PutInteger(place.Line);
    w.PutInteger(place.Column);
}

void PutTexts(TDefWriter& w, const std::vector<std::string>& texts) {
    w.PutInteger(static_cast<int32_t>(texts.size()));
    for (const auto& text : texts)
        w.PutText(text);
}

void PutElements(TDefWriter& w, const std::vector<TGuidelineElement>& elements) {
    w.PutInteger(static_cast<int32_t>(elements.size()));
    for (const auto& e : elements) {
        w.PutText(e.Path);
        w.PutInteger(static_cast<int32_t>(e.Usage));
        w.PutInteger(e.MinLength);
        w.PutInteger(e.MaxLength);
        w.PutBoolean(e.HasFixed);
        w.PutText(e.Fixed);
        PutTexts(w, e.Codes);
        w.PutInteger(static_cast<int32_t>(e.Added.size()));
        for (const auto& [code, name] : e.Added) {
            w.PutText(code);
            w.PutText(name);
        }
        w.PutText(e.Name);
        w.PutText(e.Note);
        PutPlace(w, e.Place);
    }
}

// Reads the values of a table; every count is checked against the bytes of the file, and nothing is
// reserved by a count, so that a damaged table costs no more memory than its size.
class TGuidelineReader {
public:
    TGuidelineReader(TStream& stream) : size_(stream.Size()), r_(stream) {}

    int32_t Count() {
        const int32_t n = r_.GetInteger();
        if (n < 0 || n > size_) throw EGuidelineError(DamagedText);
        return n;
    }
    int32_t Integer(int32_t min, int32_t max) {
        const int32_t n = r_.GetInteger();
        if (n < min || n > max) throw EGuidelineError(DamagedText);
        return n;
    }
    std::string Text() { return r_.GetText(); }
    bool Boolean() { return r_.GetBoolean(); }
    TUsage Usage() { return static_cast<TUsage>(Integer(0, MaxUsage)); }
    TSourcePlace Place() {
        TSourcePlace place;
        place.Line = Integer(0, INT32_MAX);
        place.Column = Integer(0, INT32_MAX);
        return place;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (int32_t i = Count(); i > 0; --i)
            texts.push_back(Text());
        return texts;
    }
    std::vector<TGuidelineElement> Elements() {
        std::vector<TGuidelineElement> elements;
        for (int32_t i = Count(); i > 0; --i) {
            TGuidelineElement e;
            e.Path = Text();
            e.Usage = Usage();
            e.MinLength = Integer(-1, INT32_MAX);
            e.MaxLength = Integer(-1, INT32_MAX);
            e.HasFixed = Boolean();
            e.Fixed = Text();
            e.Codes = Texts();
            for (int32_t k = Count(); k > 0; --k) {
                std::string code = Text();
                e.Added.emplace_back(std::move(code), Text());
            }
            e.Name = Text();
            e.Note = Text();
            e.Place = Place();
            elements.push_back(std::move(e));
        }
        return elements;
    }

private:
    int64_t size_;
    TDefReader r_;
};

} // namespace

const char* UsageName(TUsage usage) {
    switch (usage) {
    case TUsage::Mandatory:
        return "mandatory";
    case TUsage::Required:
        return "required";
    case TUsage::Advised:
        return "advised";
    case TUsage::Dependent:
        return "dependent";
    case TUsage::Optional:
        return "optional";
    case TUsage::NotUsed:
        return "not used";
    case TUsage::Unset:
        break;
    }
    return "";
}

char UsageLetter(TUsage usage) {
    switch (usage) {
    case TUsage::Mandatory:
        return 'M';
    case TUsage::Required:
        return 'R';
    case TUsage::Advised:
        return 'A';
    case TUsage::Dependent:
        return 'D';
    case TUsage::Optional:
        return 'O';
    case TUsage::NotUsed:
        return 'N';
    case TUsage::Unset:
        break;
    }
    return ' ';
}

bool TGuidelineElement::Allows(const std::string& code) const {
    if (Codes.empty()) return true;
    if (std::find(Codes.begin(), Codes.end(), code) != Codes.end()) return true;
    return AddedName(code) != nullptr;
}

const std::string* TGuidelineElement::AddedName(const std::string& code) const {
    for (const auto& added : Added)
        if (added.first == code) return &added.second;
    return nullptr;
}

bool TGuideline::Fits(const std::string& type, const std::string& version, const std::string& release) const {
    return type == Type && version == Version && release == Release;
}

void WriteGuideline(TStream& stream, const TGuideline& g, bool modifiable) {
    const auto header = MakeTableHeader(GdtFileType, modifiable);
    stream.Write(header.data(), header.size());
    TDefWriter w(stream, 1024);
    w.PutInteger(FormatVersion);
    for (const std::string* text :
         {&g.Id, &g.Title, &g.Type, &g.Version, &g.Release, &g.Agency, &g.Note, &g.SourceFile})
        w.PutText(*text);
    PutTexts(w, g.Associations);
    PutElements(w, g.Elements);
    w.PutInteger(static_cast<int32_t>(g.Rules.size()));
    for (const auto& rule : g.Rules) {
        w.PutText(rule.Path);
        w.PutBoolean(rule.Group);
        w.PutInteger(static_cast<int32_t>(rule.Usage));
        w.PutInteger(rule.MaxRep);
        w.PutText(rule.Name);
        w.PutText(rule.Note);
        w.PutText(rule.Qualifier);
        PutPlace(w, rule.Place);
        PutElements(w, rule.Elements);
        w.PutInteger(static_cast<int32_t>(rule.Variants.size()));
        for (const auto& v : rule.Variants) {
            PutTexts(w, v.Values);
            w.PutInteger(static_cast<int32_t>(v.Usage));
            w.PutInteger(v.MaxRep);
            w.PutText(v.Name);
            w.PutText(v.Note);
            PutPlace(w, v.Place);
            PutElements(w, v.Elements);
        }
    }
    w.PutInteger(StructureEndRecordId);
    w.Flush();
}

TGuideline ReadGuideline(TStream& stream) {
    uint8_t header[TableHeaderSize];
    if (stream.Read(header, sizeof header) < sizeof header) throw EGuidelineError(DamagedText);
    const uint32_t type = static_cast<uint32_t>(header[4]) | (static_cast<uint32_t>(header[5]) << 8) |
                          (static_cast<uint32_t>(header[6]) << 16) | (static_cast<uint32_t>(header[7]) << 24);
    if (type != static_cast<uint32_t>(GdtFileType)) throw EGuidelineError("Illegal file type.");
    TGuidelineReader r(stream);
    if (r.Integer(FormatVersion, FormatVersion) != FormatVersion) throw EGuidelineError(DamagedText);
    TGuideline g;
    for (std::string* text :
         {&g.Id, &g.Title, &g.Type, &g.Version, &g.Release, &g.Agency, &g.Note, &g.SourceFile})
        *text = r.Text();
    g.Associations = r.Texts();
    g.Elements = r.Elements();
    for (int32_t i = r.Count(); i > 0; --i) {
        TGuidelineRule rule;
        rule.Path = r.Text();
        rule.Group = r.Boolean();
        rule.Usage = r.Usage();
        rule.MaxRep = r.Integer(-1, INT32_MAX);
        rule.Name = r.Text();
        rule.Note = r.Text();
        rule.Qualifier = r.Text();
        rule.Place = r.Place();
        rule.Elements = r.Elements();
        for (int32_t k = r.Count(); k > 0; --k) {
            TGuidelineVariant v;
            v.Values = r.Texts();
            v.Usage = r.Usage();
            v.MaxRep = r.Integer(-1, INT32_MAX);
            v.Name = r.Text();
            v.Note = r.Text();
            v.Place = r.Place();
            v.Elements = r.Elements();
            rule.Variants.push_back(std::move(v));
        }
        g.Rules.push_back(std::move(rule));
    }
    if (r.Integer(StructureEndRecordId, StructureEndRecordId) != StructureEndRecordId)
        throw EGuidelineError(DamagedText);
    if (g.Id.empty() || g.Type.empty()) throw EGuidelineError(DamagedText);
    return g;
}

TGuideline LoadGuideline(const std::string& fileName) {
    TFileStream stream(fileName, TFileMode::OpenRead);
    return ReadGuideline(stream);
}

namespace {

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

// "SG12" -> 12; 0 when the part names no group.
int32_t GroupNumber(const std::string& part) {
    if (part.size() < 3 || part.size() > 7 || part[0] != 'S' || part[1] != 'G') return 0;
    int32_t n = 0;
    for (size_t i = 2; i < part.size(); ++i) {
        if (part[i] < '0' || part[i] > '9') return 0;
        n = n * 10 + (part[i] - '0');
    }
    return n;
}

} // namespace

const TMessageDefRec* FindPosition(const TMessageDefRec* structure, const std::string& path, bool group) {
    const std::vector<std::string> parts = SplitPath(path);
    const TMessageDefRec* list = structure;
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        if (!last || group) {
            const int32_t number = GroupNumber(parts[i]);
            if (number == 0) return nullptr;
            const TMessageDefRec* found = nullptr;
            for (const TMessageDefRec* e = list; e && !found; e = e->Next.get())
                if (e->Kind == mdGroup && e->GrpNbr == number) found = e;
            if (!found) return nullptr;
            if (last) return found;
            list = found->Children.get();
            continue;
        }
        // TAG or TAG#n: the n-th entry of that tag in the list.
        std::string tag = parts[i];
        int32_t wanted = 1;
        if (const size_t hash = tag.find('#'); hash != std::string::npos) {
            const std::string number = tag.substr(hash + 1);
            if (number.empty() || number.size() > 3 ||
                !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return nullptr;
            wanted = std::stoi(number);
            tag.erase(hash);
        }
        for (const TMessageDefRec* e = list; e; e = e->Next.get())
            if (e->Kind == mdSegment && e->Tag == tag && --wanted == 0) return e;
        return nullptr;
    }
    return nullptr;
}

const TEdiElement* FindElement(const TEdiSegment& segment, const std::string& path,
                               const TEdiComposit** container) {
    const size_t slash = path.find('/');
    const TEdiComposit* holder = &segment;
    std::string id = path;
    if (slash != std::string::npos) {
        holder = segment.FindComposit(path.substr(0, slash));
        if (!holder) return nullptr;
        id = path.substr(slash + 1);
        if (id.find('/') != std::string::npos) return nullptr;
    }
    for (const auto& element : holder->Elements) {
        if (element->ID != id) continue;
        // A composite holds simple elements only.
        if (holder != &segment && !dynamic_cast<const TEDIField*>(element.get())) return nullptr;
        if (container) *container = holder;
        return element.get();
    }
    return nullptr;
}

} // namespace talmiro
