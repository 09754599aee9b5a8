#include "talmiro/compiler.h"

#include "talmiro/code_lists.h"
#include "talmiro/exceptions.h"
#include "talmiro/guideline.h"
#include "talmiro/message.h"
#include "talmiro/streams.h"

#include <algorithm>
#include <map>

namespace talmiro {

namespace {

bool SameWord(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i]) return false;
    }
    return i == a.size() && !b[i];
}

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// Statuses that let an occurrence be left out.
bool Weaker(TUsage usage) {
    return usage != TUsage::Unset && !UsageRequires(usage);
}

std::string DirectoryOf(const std::string& file) {
    const size_t slash = file.find_last_of('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

} // namespace

TCompilerGDF::TCompilerGDF() = default;
TCompilerGDF::~TCompilerGDF() = default;

void TCompilerGDF::Fail(const std::string& text) const {
    throw EGuidelineError(text, TokenLine(), TokenColumn());
}

void TCompilerGDF::FailAt(const std::string& text, int32_t line, int32_t column) const {
    throw EGuidelineError(text, line, column);
}

bool TCompilerGDF::IsWord(TTokenKind token, const char* word) const {
    return token == tkIdentifier && SameWord(TokenText(), word);
}

int32_t TCompilerGDF::ExpectNumber() {
    if (NextToken() != tkInteger) Fail("Integer constant expected");
    return TokenInteger();
}

std::string TCompilerGDF::ExpectText(const char* what) {
    if (NextToken() != tkString) Fail(std::string(what) + " expected");
    return TokenText();
}

void TCompilerGDF::CompileToStream(TStream& stream) {
    const TGuideline guideline = CompileGuideline();
    WriteGuideline(stream, guideline, Modifiable);
}

void TCompilerGDF::Compile() {
    CompileToFile(MakeOutputName("GDT"));
}

// guideline: GUIDELINE string string ; MESSAGE string string string string ;
//            [ASSOCIATION string {, string} ;] [NOTE string ;] { element | rule } END ;
TGuideline TCompilerGDF::CompileGuideline() {
    TGuideline g;
    try {
        SetActive(true);
        g.SourceFile = OpenedFile();
        positions_.clear();
        if (!IsWord(NextToken(), "GUIDELINE")) Fail("GUIDELINE expected");
        g.Id = ExpectText("Guideline identifier");
        if (g.Id.empty() || g.Id.size() > 35) Fail("A guideline identifier has 1 to 35 characters");
        g.Title = ExpectText("Guideline title");
        if (NextToken() != tkSemicolon) Fail("; expected");
        if (NextToken() != tkMessage) Fail("MESSAGE expected");
        const int32_t line = TokenLine(), column = TokenColumn();
        g.Type = ExpectText("Message type");
        g.Version = ExpectText("Message version");
        g.Release = ExpectText("Message release");
        g.Agency = ExpectText("Controlling agency");
        if (NextToken() != tkSemicolon) Fail("; expected");
        try {
            LoadBase(g);
        } catch (const EGuidelineError&) {
            throw;
        } catch (const std::exception& e) {
            FailAt(e.what(), line, column);
        }
        token_ = NextToken();
        if (IsWord(token_, "ASSOCIATION")) {
            g.Associations = CompileTextList();
            if (token_ != tkSemicolon) Fail("; expected");
            for (const auto& code : g.Associations)
                if (code.empty() || code.size() > 6) Fail("An association code has 1 to 6 characters");
            token_ = NextToken();
        }
        if (IsWord(token_, "NOTE")) {
            g.Note = ExpectText("Note");
            if (NextToken() != tkSemicolon) Fail("; expected");
            token_ = NextToken();
        }
        for (;;) {
            if (token_ == tkSegment || token_ == tkGroup) {
                CompileRule(g, token_ == tkGroup);
            } else if (IsWord(token_, "ELEMENT")) {
                g.Elements.push_back(CompileElement(nullptr));
            } else if (token_ == tkEnd) {
                if (NextToken() != tkSemicolon) Fail("; expected");
                break;
            } else {
                Fail("SEGMENT, GROUP, ELEMENT or END expected");
            }
            token_ = NextToken();
        }
        if (NextToken() != tkEndOfSource) Fail("Text after the end of the guideline");
        SetActive(false);
    } catch (const EGuidelineError&) {
        SetActive(false);
        base_.reset();
        throw;
    } catch (const Exception& e) {
        // The scanner's errors ("Illegal character in source") at the token it was reading.
        SetActive(false);
        base_.reset();
        throw EGuidelineError(e.what(), TokenLine(), TokenColumn());
    } catch (...) {
        SetActive(false);
        base_.reset();
        throw;
    }
    base_.reset();
    return g;
}

// The base message's tables from <StandardsDir>/<version><release>/<type>.MDT, with their code lists.
void TCompilerGDF::LoadBase(TGuideline& g) {
    std::string dir = StandardsDir;
    if (dir.empty()) {
        std::string own = DirectoryOf(OpenedFile());
        if (own.empty()) own = "./";
        dir = own + "..";
    }
    if (!dir.empty() && dir.back() != '/') dir += '/';
    const std::string release = g.Version + g.Release;
    baseName_ = g.Type + " " + release;
    const std::string file = dir + release + "/" + g.Type + ".MDT";
    if (!FileExists(file)) Fail("Base message " + baseName_ + " is not installed (" + file + ")");
    base_ = std::make_unique<TEdiMessage>();
    base_->OnReport = [](const std::string&) {};
    base_->LoadStructure(file);
    if (base_->MsgTypeId != g.Type) Fail("The table " + file + " is not of message " + g.Type);
    codes_.reset();
    const std::string codesFile = dir + release + "/" + TCodeLists::FileName;
    if (FileExists(codesFile)) codes_ = std::make_unique<TCodeLists>(TCodeLists::Load(codesFile));
}

// text list: string {, string}
std::vector<std::string> TCompilerGDF::CompileTextList() {
    std::vector<std::string> texts;
    do {
        texts.push_back(ExpectText("String constant"));
        token_ = NextToken();
    } while (token_ == tkComma);
    return texts;
}

namespace {

// usage: MANDATORY | REQUIRED | ADVISED | DEPENDENT | OPTIONAL | CONDITIONAL | NOT USED
// Unset when the token is none of them.
TUsage UsageOf(TTokenKind token, const std::string& word) {
    if (token == tkMandatory) return TUsage::Mandatory;
    if (token == tkConditional) return TUsage::Optional;
    if (token != tkIdentifier) return TUsage::Unset;
    if (SameWord(word, "REQUIRED")) return TUsage::Required;
    if (SameWord(word, "ADVISED")) return TUsage::Advised;
    if (SameWord(word, "DEPENDENT")) return TUsage::Dependent;
    if (SameWord(word, "OPTIONAL")) return TUsage::Optional;
    if (SameWord(word, "NOT")) return TUsage::NotUsed;
    return TUsage::Unset;
}

} // namespace

// rule: (SEGMENT | GROUP) string { usage | MAX integer | NAME string | NOTE string | QUALIFIER string } ;
//       { element | variant } END ;
void TCompilerGDF::CompileRule(TGuideline& g, bool group) {
    TGuidelineRule rule;
    rule.Group = group;
    rule.Path = ExpectText(group ? "Group path" : "Segment path");
    rule.Place = {TokenLine(), TokenColumn()};
    const TMessageDefRec* entry = FindPosition(base_->Structure.get(), rule.Path, group);
    if (!entry)
        Fail(std::string(group ? "Group " : "Segment ") + rule.Path + " is not at that position in " +
             baseName_);
    // A group is counted by its trigger segment; so is a segment rule on a trigger segment.
    const TMessageDefRec* limits = entry;
    const TMessageDefRec* trigger = group ? entry->Children.get() : entry;
    if (!group && rule.Path.find('/') != std::string::npos) {
        // The trigger of a group is its first entry; its count is the group's.
        const TMessageDefRec* owner =
            FindPosition(base_->Structure.get(), rule.Path.substr(0, rule.Path.rfind('/')), true);
        if (owner && owner->Children.get() == entry) limits = owner;
    }
    if (!trigger) Fail("Group " + rule.Path + " has no segment in " + baseName_);
    // A group and its trigger segment are one position: one rule gives it.
    if (const auto [at, fresh] = positions_.emplace(trigger, rule.Place.Line); !fresh)
        Fail("A rule for " + rule.Path + " is already given in line " + std::to_string(at->second));
    const TEdiSegment* segment = base_->SegmentTable ? base_->SegmentTable->Find(trigger->Tag) : nullptr;
    if (!segment) Fail("Segment " + trigger->Tag + " has no definition in " + baseName_);

    for (token_ = NextToken(); token_ != tkSemicolon; token_ = NextToken()) {
        const TUsage usage = UsageOf(token_, TokenText());
        if (usage != TUsage::Unset) {
            if (usage == TUsage::NotUsed && !IsWord(NextToken(), "USED")) Fail("USED expected");
            if (limits->Condition == 'M' && Weaker(usage))
                Fail(std::string("Status ") + UsageName(usage) + " is weaker than mandatory in " + baseName_);
            if (usage == TUsage::Mandatory && limits->Condition != 'M')
                Fail("MANDATORY restates the status in " + baseName_ +
                     "; a guideline's own need is REQUIRED");
            rule.Usage = usage;
        } else if (IsWord(token_, "MAX")) {
            const int32_t line = TokenLine(), column = TokenColumn();
            rule.MaxRep = ExpectNumber();
            if (rule.MaxRep < 1)
                FailAt("A maximum is at least 1; a position not used is NOT USED", line, column);
            if (rule.MaxRep > limits->MaxRep)
                FailAt("Maximum " + std::to_string(rule.MaxRep) + " is above " +
                           std::to_string(limits->MaxRep) + " in " + baseName_,
                       line, column);
        } else if (IsWord(token_, "NAME")) {
            rule.Name = ExpectText("Name");
        } else if (IsWord(token_, "NOTE")) {
            rule.Note = ExpectText("Note");
        } else if (IsWord(token_, "QUALIFIER")) {
            rule.Qualifier = ExpectText("Qualifier element path");
            const TEdiComposit* container = nullptr;
            const TEdiElement* element = FindElement(*segment, rule.Qualifier, &container);
            if (!element || !dynamic_cast<const TEDIField*>(element))
                Fail("Segment " + segment->ID + " has no simple element " + rule.Qualifier);
        } else {
            Fail("; expected");
        }
    }
    for (token_ = NextToken(); token_ != tkEnd; token_ = NextToken()) {
        if (IsWord(token_, "ELEMENT")) {
            rule.Elements.push_back(CompileElement(segment));
        } else if (IsWord(token_, "VARIANT")) {
            if (rule.Qualifier.empty()) Fail("VARIANT needs a QUALIFIER of the segment");
            rule.Variants.emplace_back();
            rule.Variants.back().Place = {TokenLine(), TokenColumn()};
            CompileVariant(rule, *segment, rule.MaxRep > 0 ? rule.MaxRep : limits->MaxRep);
            for (size_t i = 0; i + 1 < rule.Variants.size(); ++i)
                for (const auto& value : rule.Variants.back().Values)
                    if (std::find(rule.Variants[i].Values.begin(), rule.Variants[i].Values.end(), value) !=
                        rule.Variants[i].Values.end())
                        FailAt("Qualifier " + Quote(value) + " already has a variant",
                               rule.Variants.back().Place.Line, rule.Variants.back().Place.Column);
        } else {
            Fail("ELEMENT, VARIANT or END expected");
        }
    }
    if (NextToken() != tkSemicolon) Fail("; expected");
    g.Rules.push_back(std::move(rule));
}

// variant: VARIANT string {, string} { usage | MAX integer | NAME string | NOTE string } ; { element } END ;
void TCompilerGDF::CompileVariant(TGuidelineRule& rule, const TEdiSegment& segment, int32_t maxRep) {
    TGuidelineVariant& v = rule.Variants.back();
    v.Values = CompileTextList();
    for (const auto& value : v.Values)
        if (value.empty()) Fail("A qualifier value is not empty");
    for (; token_ != tkSemicolon; token_ = NextToken()) {
        const TUsage usage = UsageOf(token_, TokenText());
        if (usage != TUsage::Unset) {
            if (usage == TUsage::NotUsed && !IsWord(NextToken(), "USED")) Fail("USED expected");
            v.Usage = usage;
        } else if (IsWord(token_, "MAX")) {
            const int32_t line = TokenLine(), column = TokenColumn();
            v.MaxRep = ExpectNumber();
            if (v.MaxRep < 1) FailAt("A maximum is at least 1; a variant not used is NOT USED", line, column);
            if (v.MaxRep > maxRep)
                FailAt("Maximum " + std::to_string(v.MaxRep) + " is above the position's " +
                           std::to_string(maxRep),
                       line, column);
        } else if (IsWord(token_, "NAME")) {
            v.Name = ExpectText("Name");
        } else if (IsWord(token_, "NOTE")) {
            v.Note = ExpectText("Note");
        } else {
            Fail("; expected");
        }
    }
    for (token_ = NextToken(); token_ != tkEnd; token_ = NextToken()) {
        if (!IsWord(token_, "ELEMENT")) Fail("ELEMENT or END expected");
        rule.Variants.back().Elements.push_back(CompileElement(&segment));
    }
    if (NextToken() != tkSemicolon) Fail("; expected");
}

// element: ELEMENT string { usage | LENGTH ( integer : integer ) | FIXED string | CODES ( string {, string} )
//          | ADD ( string = string {, string = string} ) | NAME string | NOTE string } ;
TGuidelineElement TCompilerGDF::CompileElement(const TEdiSegment* segment) {
    TGuidelineElement e;
    e.Path = ExpectText("Element path");
    e.Place = {TokenLine(), TokenColumn()};
    const TEdiElement* element = nullptr;
    const TEDIField* field = nullptr;
    std::string listId = e.Path; // the element whose UN code list the codes belong to
    if (segment) {
        const TEdiComposit* container = nullptr;
        element = FindElement(*segment, e.Path, &container);
        if (!element) Fail("Segment " + segment->ID + " has no element " + e.Path);
        field = dynamic_cast<const TEDIField*>(element);
        listId = std::string(TCodeLists::BaseId(element->ID));
    } else if (e.Path.empty() || e.Path.find('/') != std::string::npos) {
        Fail("A message-wide element rule names a simple element by its identifier");
    }
    // LENGTH and FIXED need the element's position; CODES and ADD apply message-wide too.
    auto needField = [&](const char* clause, bool positional) {
        if (segment && !field)
            Fail(std::string(clause) + " applies to simple elements, not to composite " + e.Path);
        if (!segment && positional)
            Fail(std::string(clause) + " needs the element's position: give it in a SEGMENT rule");
    };
    token_ = NextToken();
    while (token_ != tkSemicolon) {
        const TUsage usage = UsageOf(token_, TokenText());
        if (usage != TUsage::Unset) {
            if (usage == TUsage::NotUsed && !IsWord(NextToken(), "USED")) Fail("USED expected");
            if (!segment) Fail("A status needs the element's position: give it in a SEGMENT rule");
            if (usage == TUsage::Advised || usage == TUsage::Dependent)
                Fail("An element is MANDATORY, REQUIRED, OPTIONAL or NOT USED");
            if (element->Mandatory && Weaker(usage))
                Fail(std::string("Status ") + UsageName(usage) + " is weaker than mandatory in " + baseName_);
            if (usage == TUsage::Mandatory && !element->Mandatory)
                Fail("MANDATORY restates the status in " + baseName_ +
                     "; a guideline's own need is REQUIRED");
            e.Usage = usage;
        } else if (IsWord(token_, "LENGTH")) {
            needField("LENGTH", true);
            const int32_t line = TokenLine(), column = TokenColumn();
            if (NextToken() != tkLeftParen) Fail("( expected");
            e.MinLength = ExpectNumber();
            if (NextToken() != tkColon) Fail(": expected");
            e.MaxLength = ExpectNumber();
            if (NextToken() != tkRightParen) Fail(") expected");
            if (e.MinLength > e.MaxLength) FailAt("Min-Size greater Max-Size", line, column);
            if (e.MinLength < field->MinSize || e.MaxLength > field->MaxSize)
                FailAt("Length " + std::to_string(e.MinLength) + ":" + std::to_string(e.MaxLength) +
                           " is outside " + std::to_string(field->MinSize) + ":" +
                           std::to_string(field->MaxSize) + " in " + baseName_,
                       line, column);
        } else if (IsWord(token_, "FIXED")) {
            needField("FIXED", true);
            e.HasFixed = true;
            e.Fixed = ExpectText("Fixed value");
            if (e.Fixed.empty() || e.Fixed.size() > static_cast<size_t>(std::max(field->MaxSize, 0)))
                Fail("Fixed value " + Quote(e.Fixed) + " does not fit " + e.Path + " in " + baseName_);
        } else if (IsWord(token_, "CODES")) {
            needField("CODES", false);
            if (NextToken() != tkLeftParen) Fail("( expected");
            do {
                const std::string code = ExpectText("Code");
                // A subset of the UN list: a code of the guideline's own is given with ADD.
                if (codes_ && codes_->Lookup(listId, code) == TCodeLists::TLookup::Unknown)
                    Fail("Code " + Quote(code) + " is not in the list of " + listId + " in " + baseName_ +
                         "; a code of the guideline's own is given with ADD");
                e.Codes.push_back(code);
                token_ = NextToken();
            } while (token_ == tkComma);
            if (token_ != tkRightParen) Fail(") expected");
        } else if (IsWord(token_, "ADD")) {
            needField("ADD", false);
            if (NextToken() != tkLeftParen) Fail("( expected");
            do {
                std::string code = ExpectText("Code");
                if (code.empty() || code.size() > TCodeLists::MaxCodeLength)
                    Fail("A code has 1 to 35 characters");
                if (NextToken() != tkEquals) Fail("= expected");
                std::string name = ExpectText("Code name");
                e.Added.emplace_back(std::move(code), std::move(name));
                token_ = NextToken();
            } while (token_ == tkComma);
            if (token_ != tkRightParen) Fail(") expected");
        } else if (IsWord(token_, "NAME")) {
            e.Name = ExpectText("Name");
        } else if (IsWord(token_, "NOTE")) {
            e.Note = ExpectText("Note");
        } else {
            Fail("; expected");
        }
        token_ = NextToken();
    }
    if (e.HasFixed && !e.Allows(e.Fixed))
        Fail("Fixed value " + Quote(e.Fixed) + " is not among the codes given");
    return e;
}

} // namespace talmiro
