#include "talmiro/guideline_text.h"

#include "talmiro/code_lists.h"
#include "talmiro/edi_element.h"
#include "talmiro/message.h"
#include "talmiro/segment_table.h"

#include <map>
#include <set>
#include <sstream>

namespace talmiro {

namespace {

// A text as a source string constant: quotes doubled.
std::string Str(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// Text for a comment: the comment ends at the first "}".
std::string CommentText(std::string text) {
    for (char& c : text)
        if (c == '}' || c == '{') c = ' ';
    return text;
}

// The element rules of a segment's definition: every element, then every component.
void SkeletonElements(std::ostringstream& out, const TEdiSegment& segment) {
    // A composite that stands twice in a segment is named by its first place only.
    std::set<std::string> named;
    for (const auto& element : segment.Elements) {
        if (!named.insert(element->ID).second) continue;
        const auto* composite = dynamic_cast<const TEdiComposit*>(element.get());
        const auto* field = dynamic_cast<const TEDIField*>(element.get());
        const std::string& description = composite ? composite->Description : field ? field->Description : "";
        out << "  ELEMENT " << Str(element->ID) << (element->Mandatory ? " MANDATORY" : " OPTIONAL") << ";";
        if (!description.empty()) out << " { " << CommentText(description) << " }";
        out << '\n';
        if (!composite) continue;
        for (const auto& member : composite->Elements) {
            const auto* component = dynamic_cast<const TEDIField*>(member.get());
            out << "  ELEMENT " << Str(composite->ID + "/" + member->ID)
                << (member->Mandatory ? " MANDATORY" : " OPTIONAL") << ";";
            if (component && !component->Description.empty())
                out << " { " << CommentText(component->Description) << " }";
            out << '\n';
        }
    }
}

struct TSkeletonWalk {
    const TEdiMessage& Base;
    std::ostringstream& Out;

    void List(const TMessageDefRec* list, const std::string& prefix, int depth) {
        if (depth > MaxGroupDepth) return;
        std::map<std::string, int> seen;
        for (const TMessageDefRec* e = list; e; e = e->Next.get()) {
            if (e->Kind == mdGroup) {
                const std::string path = prefix + "SG" + std::to_string(e->GrpNbr);
                Group(*e, path, depth);
                continue;
            }
            const int n = ++seen[e->Tag];
            // The trigger segment of a group stands in its group's rule.
            if (e == list && depth > 0) continue;
            std::string path = prefix + e->Tag;
            if (n > 1) path += '#' + std::to_string(n); // spelt so for GCC 12's -Wrestrict at -O3
            Segment(*e, path, e->Tag);
        }
    }
    void Segment(const TMessageDefRec& e, const std::string& path, const std::string& tag) {
        Out << "SEGMENT " << Str(path) << (e.Condition == 'M' ? " MANDATORY" : " OPTIONAL") << " MAX "
            << e.MaxRep << ";\n";
        if (const TEdiSegment* segment = Base.SegmentTable ? Base.SegmentTable->Find(tag) : nullptr)
            SkeletonElements(Out, *segment);
        Out << "END;\n";
    }
    void Group(const TMessageDefRec& g, const std::string& path, int depth) {
        const TMessageDefRec* trigger = g.Children.get();
        Out << "GROUP " << Str(path) << (g.Condition == 'M' ? " MANDATORY" : " OPTIONAL") << " MAX "
            << g.MaxRep << ";";
        if (trigger) Out << " { " << trigger->Tag << " }";
        Out << '\n';
        if (trigger && Base.SegmentTable)
            if (const TEdiSegment* segment = Base.SegmentTable->Find(trigger->Tag))
                SkeletonElements(Out, *segment);
        Out << "END;\n";
        List(trigger, path + "/", depth + 1);
    }
};

} // namespace

std::string BaseMessageFile(const std::string& baseDir, const std::string& type, const std::string& version,
                            const std::string& release) {
    std::string dir = baseDir.empty() ? "." : baseDir;
    if (dir.back() != '/') dir += '/';
    return dir + version + release + "/" + type + ".MDT";
}

std::string GuidelineSkeleton(const TEdiMessage& base, const std::string& version,
                              const std::string& release) {
    std::ostringstream out;
    const std::string type = base.MsgTypeId;
    out << "{ A guideline for " << type << " " << version << release
        << ": every segment, group, element and component of the UN message with its status and maximum.\n"
           "  Narrow it: REQUIRED, NOT USED, lower maximums, QUALIFIER and VARIANT, CODES, ADD, FIXED, "
           "LENGTH,\n"
           "  NAME and NOTE. Unchanged, it narrows nothing. }\n";
    out << "GUIDELINE " << Str(type + "-" + version + release) << " " << Str(type + " " + version + release)
        << ";\n";
    out << "MESSAGE " << Str(type) << " " << Str(version) << " " << Str(release) << " "
        << Str(base.MsgAgency.empty() ? "UN" : base.MsgAgency) << ";\n\n";
    TSkeletonWalk walk{base, out};
    walk.List(base.Structure.get(), "", 0);
    out << "END;\n";
    return out.str();
}

namespace {

// Writes the document in one of two forms; the text is escaped for HTML where needed.
class TDocWriter {
public:
    TDocWriter(TDocFormat format, std::ostringstream& out) : format_(format), out_(out) {}

    std::string Esc(const std::string& text) const {
        std::string r;
        for (char c : text) {
            if (format_ == TDocFormat::Html && c == '<')
                r += "&lt;";
            else if (format_ == TDocFormat::Html && c == '>')
                r += "&gt;";
            else if (format_ == TDocFormat::Html && c == '&')
                r += "&amp;";
            else if (format_ == TDocFormat::Markdown &&
                     (c == '|' || c == '*' || c == '_' || c == '\\' || c == '<' || c == '`'))
                r += std::string("\\") + c;
            // A note may run over lines in its source; in Markdown a line break would end its table row.
            else if (format_ == TDocFormat::Markdown && (c == '\n' || c == '\r'))
                r += ' ';
            else
                r += c;
        }
        return r;
    }
    void Heading(int level, const std::string& text) {
        if (format_ == TDocFormat::Html)
            out_ << "<h" << level << ">" << Esc(text) << "</h" << level << ">\n";
        else
            out_ << std::string(static_cast<size_t>(level), '#') << ' ' << Esc(text) << "\n\n";
    }
    void Paragraph(const std::string& text) {
        if (text.empty()) return;
        if (format_ == TDocFormat::Html)
            out_ << "<p>" << Esc(text) << "</p>\n";
        else
            out_ << Esc(text) << "\n\n";
    }
    void Table(const std::vector<std::string>& head, const std::vector<std::vector<std::string>>& rows) {
        if (format_ == TDocFormat::Html) {
            out_ << "<table>\n<tr>";
            for (const auto& h : head)
                out_ << "<th>" << Esc(h) << "</th>";
            out_ << "</tr>\n";
            for (const auto& row : rows) {
                out_ << "<tr>";
                for (const auto& cell : row)
                    out_ << "<td>" << Esc(cell) << "</td>";
                out_ << "</tr>\n";
            }
            out_ << "</table>\n";
            return;
        }
        out_ << '|';
        for (const auto& h : head)
            out_ << ' ' << Esc(h) << " |";
        out_ << "\n|";
        for (size_t i = 0; i < head.size(); ++i)
            out_ << "---|";
        out_ << '\n';
        for (const auto& row : rows) {
            out_ << '|';
            for (const auto& cell : row)
                out_ << ' ' << Esc(cell) << " |";
            out_ << '\n';
        }
        out_ << '\n';
    }

private:
    TDocFormat format_;
    std::ostringstream& out_;
};

std::string StatusText(char unCondition, TUsage usage) {
    if (usage != TUsage::Unset) return std::string(1, UsageLetter(usage));
    return unCondition == 'M' ? "M" : "C";
}

std::string Joined(const std::vector<std::string>& texts, const char* separator = ", ") {
    std::string r;
    for (const auto& t : texts)
        r += (r.empty() ? "" : separator) + t;
    return r;
}

std::string ElementRow(const TGuidelineElement& e) {
    std::vector<std::string> parts;
    if (e.HasFixed) parts.push_back("fixed " + e.Fixed);
    if (e.MaxLength >= 0)
        parts.push_back("length " + std::to_string(e.MinLength) + " to " + std::to_string(e.MaxLength));
    if (!e.Codes.empty()) parts.push_back("codes " + Joined(e.Codes));
    for (const auto& [code, name] : e.Added)
        parts.push_back("adds " + code + " (" + name + ")");
    return Joined(parts, "; ");
}

struct TDocWalk {
    const TGuideline& G;
    const TEdiMessage& Base;
    TDocWriter& W;
    std::vector<std::vector<std::string>> Rows;
    std::vector<std::pair<std::string, const TGuidelineRule*>> Positions; // with rules, in message order

    const TGuidelineRule* RuleFor(const std::string& path, bool group) const {
        for (const auto& r : G.Rules)
            if (r.Path == path && r.Group == group) return &r;
        return nullptr;
    }
    void List(const TMessageDefRec* list, const std::string& prefix, int depth) {
        if (depth > MaxGroupDepth) return;
        std::map<std::string, int> seen;
        for (const TMessageDefRec* e = list; e; e = e->Next.get()) {
            const std::string indent(static_cast<size_t>(depth) * 2, '.');
            if (e->Kind == mdGroup) {
                const std::string path = prefix + "SG" + std::to_string(e->GrpNbr);
                const TGuidelineRule* rule = RuleFor(path, true);
                const TMessageDefRec* trigger = e->Children.get();
                if (!rule && trigger) rule = RuleFor(path + "/" + trigger->Tag, false);
                // The trigger segment is not listed on a line of its own: it is named with its group.
                Add(indent + path + (trigger ? " " + trigger->Tag : ""), *e, rule);
                if (rule) Positions.emplace_back(path + (trigger ? "/" + trigger->Tag : ""), rule);
                List(e->Children.get(), path + "/", depth + 1);
                continue;
            }
            const int n = ++seen[e->Tag];
            if (e == list && depth > 0) continue;
            const std::string path = prefix + e->Tag + (n > 1 ? "#" + std::to_string(n) : "");
            const TGuidelineRule* rule = RuleFor(path, false);
            Add(indent + path, *e, rule);
            if (rule) Positions.emplace_back(path, rule);
        }
    }
    void Add(const std::string& shown, const TMessageDefRec& e, const TGuidelineRule* rule) {
        const std::string max =
            rule && rule->MaxRep > 0 ? std::to_string(rule->MaxRep) : std::to_string(e.MaxRep);
        std::string name = rule ? rule->Name : std::string();
        if (rule)
            for (const auto& v : rule->Variants)
                name += (name.empty() ? "" : "; ") + rule->Qualifier + " " + Joined(v.Values, "/") + " " +
                        UsageLetter(v.Usage) + (v.MaxRep > 0 ? " max " + std::to_string(v.MaxRep) : "") +
                        (v.Name.empty() ? "" : " " + v.Name);
        Rows.push_back({shown, e.Condition == 'M' ? "M" : "C", std::to_string(e.MaxRep),
                        StatusText(e.Condition, rule ? rule->Usage : TUsage::Unset), max, name,
                        rule ? rule->Note : std::string()});
    }
};

} // namespace

std::string GuidelineDocument(const TGuideline& g, const TEdiMessage& base, TDocFormat format) {
    std::ostringstream out;
    TDocWriter w(format, out);
    if (format == TDocFormat::Html)
        out << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"/><title>" << w.Esc(g.Title)
            << "</title></head><body>\n";
    w.Heading(1, g.Title + " (" + g.Id + ")");
    w.Paragraph("Message " + g.Type + " " + g.Version + g.Release + " " + g.Agency +
                (g.Associations.empty() ? "" : ", association code " + Joined(g.Associations)) + ".");
    w.Paragraph(g.Note);
    w.Paragraph(
        "Status: M mandatory, R required, A advised, D dependent, O optional, C conditional, N not used.");
    w.Heading(2, "Message structure");
    TDocWalk walk{g, base, w, {}, {}};
    walk.List(base.Structure.get(), "", 0);
    w.Table({"Position", "UN status", "UN max", "Status", "Max", "Name", "Note"}, walk.Rows);
    if (!g.Elements.empty()) {
        w.Heading(2, "Throughout the message");
        std::vector<std::vector<std::string>> rows;
        for (const auto& e : g.Elements)
            rows.push_back({e.Path, e.Name, ElementRow(e), e.Note});
        w.Table({"Element", "Name", "Rules", "Note"}, rows);
    }
    w.Heading(2, "Segments");
    for (const auto& [path, rule] : walk.Positions) {
        const std::string tag =
            path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1, 3);
        const TEdiSegment* segment = base.SegmentTable ? base.SegmentTable->Find(tag) : nullptr;
        w.Heading(3, path + (rule->Name.empty() ? "" : " " + rule->Name));
        w.Paragraph(rule->Note);
        auto rows = [&](const std::vector<TGuidelineElement>& elements, const std::string& variant) {
            std::vector<std::vector<std::string>> r;
            for (const auto& e : elements) {
                std::string unName;
                const TEdiComposit* container = nullptr;
                if (segment)
                    if (const TEdiElement* el = FindElement(*segment, e.Path, &container)) {
                        if (auto* f = dynamic_cast<const TEDIField*>(el)) unName = f->Description;
                        if (auto* c = dynamic_cast<const TEdiComposit*>(el)) unName = c->Description;
                    }
                r.push_back({variant, e.Path, unName,
                             e.Usage == TUsage::Unset ? "" : std::string(1, UsageLetter(e.Usage)), e.Name,
                             ElementRow(e), e.Note});
            }
            return r;
        };
        auto table = rows(rule->Elements, "");
        for (const auto& v : rule->Variants) {
            auto more = rows(v.Elements, rule->Qualifier + " " + Joined(v.Values, "/"));
            table.insert(table.end(), more.begin(), more.end());
        }
        if (!table.empty())
            w.Table({"Variant", "Element", "UN name", "Status", "Name", "Rules", "Note"}, table);
    }
    if (format == TDocFormat::Html) out << "</body></html>\n";
    return out.str();
}

} // namespace talmiro

namespace talmiro {

namespace {

// A rule's own words: its usage, what it narrows, its name and note.
std::string RuleWords(TUsage usage, int32_t maxRep, const std::string& narrowed, const std::string& name,
                      const std::string& note) {
    std::vector<std::string> parts;
    if (usage != TUsage::Unset) parts.push_back(UsageName(usage));
    if (maxRep > 0) parts.push_back("at most " + std::to_string(maxRep));
    if (!narrowed.empty()) parts.push_back(narrowed);
    if (!name.empty()) parts.push_back(name);
    if (!note.empty()) parts.push_back(note);
    return Joined(parts, "; ");
}

} // namespace

TGuidelineNotes::TGuidelineNotes(const TGuideline& guideline, const TMessageDefRec* structure,
                                 const TMessageDefRec* entry, const TEdiSegment& segment)
    : guideline_(guideline), segment_(segment) {
    if (!entry) return;
    for (const auto& rule : guideline.Rules) {
        const TMessageDefRec* at = FindPosition(structure, rule.Path, rule.Group);
        if (at && rule.Group) at = at->Children.get();
        if (at != entry) continue;
        rule_ = &rule;
        break;
    }
    if (!rule_ || rule_->Qualifier.empty()) return;
    const TEdiComposit* container = nullptr;
    auto* qualifier = dynamic_cast<const TEDIField*>(FindElement(segment, rule_->Qualifier, &container));
    if (!qualifier) return;
    qualifierValue_ = qualifier->RawText;
    for (const auto& variant : rule_->Variants)
        if (std::find(variant.Values.begin(), variant.Values.end(), qualifierValue_) != variant.Values.end())
            variant_ = &variant;
}

std::string TGuidelineNotes::SegmentText() const {
    if (!rule_) return {};
    std::string text = rule_->Path;
    const std::string own = RuleWords(rule_->Usage, rule_->MaxRep, {}, rule_->Name, rule_->Note);
    if (!own.empty()) text += ": " + own;
    if (rule_->Qualifier.empty() || rule_->Variants.empty()) return text;
    text += "; with " + rule_->Qualifier + " \"" + qualifierValue_ + "\": ";
    if (!variant_) return text + "no variant allows this qualifier";
    const std::string words =
        RuleWords(variant_->Usage, variant_->MaxRep, {}, variant_->Name, variant_->Note);
    return text + (words.empty() ? "allowed" : words);
}

std::string TGuidelineNotes::ElementText(const TEdiComposit& container, const TEdiElement& element) const {
    const std::string path = &container == &segment_ ? element.ID : container.ID + "/" + element.ID;
    std::vector<std::string> texts;
    auto add = [&](const std::vector<TGuidelineElement>& rules, const std::string& id) {
        for (const auto& e : rules)
            if (e.Path == id) {
                std::string words = RuleWords(e.Usage, -1, ElementRow(e), e.Name, e.Note);
                if (!words.empty()) texts.push_back(std::move(words));
            }
    };
    if (rule_) add(rule_->Elements, path);
    if (variant_) add(variant_->Elements, path);
    if (dynamic_cast<const TEDIField*>(&element))
        add(guideline_.Elements, std::string(TCodeLists::BaseId(element.ID)));
    return Joined(texts, "; ");
}

} // namespace talmiro
