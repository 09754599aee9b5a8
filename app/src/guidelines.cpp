#include "talmiro/guidelines.h"

#include "talmiro/code_lists.h"
#include "talmiro/compiler.h"
#include "talmiro/edi_element.h"
#include "talmiro/message.h"
#include "talmiro/segment_table.h"
#include "talmiro/streams.h"

#include <ini.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace talmiro {

namespace {

namespace fs = std::filesystem;

bool SameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && SameNoCase(text.substr(text.size() - end.size()), end);
}

std::string Trimmed(std::string text) {
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.pop_back();
    size_t begin = 0;
    while (begin < text.size() && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    return text.substr(begin);
}

std::string Quoted(const std::string& value) {
    constexpr size_t Shown = 40;
    if (value.size() <= Shown) return "\"" + value + "\"";
    return "\"" + value.substr(0, Shown) + "...\"";
}

struct TPartnerParse {
    std::vector<TGuidelineCatalogue::TPartner>* Partners;
    std::vector<std::string>* Problems;
    std::string File;
};

// [ID] or [ID:QUALIFIER], then guidelines = NAME, NAME
int PartnerHandler(void* user, const char* section, const char* key, const char* value) {
    auto& parse = *static_cast<TPartnerParse*>(user);
    if (!SameNoCase(key, "guidelines")) {
        parse.Problems->push_back(parse.File + ": unknown key " + std::string(key) + " in [" + section + "]");
        return 1;
    }
    std::string party = section;
    TGuidelineCatalogue::TPartner partner;
    const size_t colon = party.rfind(':');
    partner.Party.Id = Trimmed(party.substr(0, colon));
    if (colon != std::string::npos) partner.Party.Qualifier = Trimmed(party.substr(colon + 1));
    if (partner.Party.Id.empty()) {
        parse.Problems->push_back(parse.File + ": a partner section names no party");
        return 1;
    }
    std::string names = value;
    size_t start = 0;
    while (start <= names.size()) {
        size_t comma = names.find(',', start);
        if (comma == std::string::npos) comma = names.size();
        std::string name = Trimmed(names.substr(start, comma - start));
        if (!name.empty()) partner.Guidelines.push_back(name);
        start = comma + 1;
    }
    parse.Partners->push_back(std::move(partner));
    return 1;
}

} // namespace

TGuidelineCatalogue::TGuidelineCatalogue(const std::string& baseDir) {
    if (baseDir.empty()) return;
    std::error_code ec;
    const fs::path folder = fs::path(baseDir) / FolderName;
    std::vector<std::string> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() && name[0] != '.' && EndsWithNoCase(name, ".GDT"))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        try {
            auto guideline = std::make_shared<TGuideline>(LoadGuideline(file));
            if (Find(guideline->Id)) {
                Problems.push_back(file + ": guideline " + guideline->Id + " is installed twice");
                continue;
            }
            installed_.push_back(std::move(guideline));
        } catch (const std::exception& e) {
            Problems.push_back(file + ": " + e.what());
        }
    }
    const std::string partnerFile = (fs::path(baseDir) / PartnerFileName).string();
    if (FILE* f = std::fopen(partnerFile.c_str(), "rb")) {
        TPartnerParse parse{&partners_, &Problems, partnerFile};
        const int line = ini_parse_file(f, PartnerHandler, &parse);
        std::fclose(f);
        if (line != 0) Problems.push_back(partnerFile + ": line " + std::to_string(line) + " cannot be read");
    }
}

std::shared_ptr<const TGuideline> TGuidelineCatalogue::Find(const std::string& id) const {
    for (const auto& g : installed_)
        if (SameNoCase(g->Id, id)) return g;
    return nullptr;
}

std::shared_ptr<const TGuideline> TGuidelineCatalogue::ByAssociation(const std::string& type,
                                                                     const std::string& version,
                                                                     const std::string& release,
                                                                     const std::string& assoc) const {
    if (assoc.empty()) return nullptr;
    for (const auto& g : installed_)
        if (g->Fits(type, version, release) &&
            std::find(g->Associations.begin(), g->Associations.end(), assoc) != g->Associations.end())
            return g;
    return nullptr;
}

std::shared_ptr<const TGuideline>
TGuidelineCatalogue::ForPartners(const TParty& sender, const TParty& recipient, const std::string& type,
                                 const std::string& version, const std::string& release) const {
    for (const TParty* party : {&sender, &recipient}) {
        if (party->Id.empty()) continue;
        for (const auto& partner : partners_) {
            if (partner.Party.Id != party->Id) continue;
            if (!partner.Party.Qualifier.empty() && partner.Party.Qualifier != party->Qualifier) continue;
            for (const auto& name : partner.Guidelines)
                if (auto g = Find(name); g && g->Fits(type, version, release)) return g;
        }
    }
    return nullptr;
}

std::shared_ptr<const TGuideline> ResolveGuideline(const std::string& nameOrFile, const std::string& baseDir,
                                                   const TGuidelineCatalogue* catalogue) {
    if (catalogue)
        if (auto g = catalogue->Find(nameOrFile)) return g;
    if (!FileExists(nameOrFile))
        throw Exception("Guideline " + nameOrFile + " is neither installed nor a file");
    if (EndsWithNoCase(nameOrFile, ".gdf")) {
        TCompilerGDF compiler;
        compiler.StandardsDir = baseDir;
        compiler.SetSourceFile(nameOrFile);
        return std::make_shared<TGuideline>(compiler.CompileGuideline());
    }
    return std::make_shared<TGuideline>(LoadGuideline(nameOrFile));
}

// ---- checks ----

TGuidelineCheck::TGuidelineCheck() = default;
TGuidelineCheck::~TGuidelineCheck() = default;

std::string TGuidelineCheck::Prefix() const {
    return "Guideline " + guideline_->Id + ": ";
}

void TGuidelineCheck::Bind(std::shared_ptr<const TGuideline> guideline, const TMessageDefRec* structure,
                           const TSegmentTable& segments) {
    guideline_ = std::move(guideline);
    rules_.clear();
    byEntry_.clear();
    byScope_.clear();
    wide_.clear();
    current_ = currentVariant_ = currentWide_ = nullptr;
    if (!guideline_) return;

    // The group each entry stands in, and each group's parent.
    std::unordered_map<const TMessageDefRec*, int> groupOf;
    std::unordered_map<int, int> parentOf;
    std::unordered_map<int, const TMessageDefRec*> groupRec;
    struct TLevel {
        const TMessageDefRec* List;
        int Group, Depth;
    };
    std::vector<TLevel> pending{{structure, 0, 0}};
    while (!pending.empty()) {
        const TLevel level = pending.back();
        pending.pop_back();
        for (const TMessageDefRec* e = level.List; e; e = e->Next.get()) {
            groupOf[e] = level.Group;
            if (e->Kind == mdGroup && level.Depth < MaxGroupDepth) {
                parentOf[e->GrpNbr] = level.Group;
                groupRec[e->GrpNbr] = e;
                pending.push_back({e->Children.get(), e->GrpNbr, level.Depth + 1});
            }
        }
    }

    auto bindElements = [](const std::vector<TGuidelineElement>& rules, const TEdiSegment& segment) {
        std::vector<TBoundElement> bound;
        for (const auto& rule : rules) {
            const TEdiComposit* container = nullptr;
            if (const TEdiElement* element = FindElement(segment, rule.Path, &container))
                bound.push_back({&rule, element, container});
        }
        return bound;
    };

    for (const auto& rule : guideline_->Rules) {
        const TMessageDefRec* entry = FindPosition(structure, rule.Path, rule.Group);
        if (!entry) continue;
        TBoundRule bound;
        bound.Rule = &rule;
        bound.Path = rule.Path;
        const TMessageDefRec* trigger = rule.Group ? entry->Children.get() : entry;
        if (!trigger || trigger->Kind != mdSegment || byEntry_.count(trigger)) continue;
        const int group = groupOf.count(trigger) ? groupOf[trigger] : 0;
        // A trigger segment counts its group's occurrences, in the group's parent.
        const bool isTrigger = group != 0 && groupRec[group]->Children.get() == trigger;
        bound.Scope = isTrigger ? parentOf[group] : group;
        const TEdiSegment* segment = segments.Find(trigger->Tag);
        if (!segment) continue;
        bound.Entry = trigger;
        bound.SegmentPath = rule.Group ? rule.Path + "/" + trigger->Tag : rule.Path;
        if (!rule.Qualifier.empty()) {
            const TEdiComposit* container = nullptr;
            bound.Qualifier =
                dynamic_cast<const TEDIField*>(FindElement(*segment, rule.Qualifier, &container));
        }
        bound.Elements = bindElements(rule.Elements, *segment);
        for (const auto& variant : rule.Variants)
            bound.VariantElements.push_back(bindElements(variant.Elements, *segment));
        bound.VariantCounts.assign(rule.Variants.size(), 0);
        byEntry_[trigger] = rules_.size();
        byScope_[bound.Scope].push_back(rules_.size());
        rules_.push_back(std::move(bound));
    }

    if (!guideline_->Elements.empty()) {
        for (int i = 0; i < segments.Count(); ++i) {
            const TEdiSegment* segment = segments.Segment(i);
            std::vector<TBoundElement> bound;
            auto visit = [&](const TEdiComposit& container) {
                for (const auto& element : container.Elements) {
                    auto* field = dynamic_cast<const TEDIField*>(element.get());
                    if (!field) continue;
                    const std::string_view id = TCodeLists::BaseId(field->ID);
                    for (const auto& rule : guideline_->Elements)
                        if (rule.Path == id) bound.push_back({&rule, field, &container});
                }
            };
            visit(*segment);
            for (const auto& element : segment->Elements)
                if (auto* composite = dynamic_cast<const TEdiComposit*>(element.get())) visit(*composite);
            if (!bound.empty()) wide_[segment] = std::move(bound);
        }
    }
}

void TGuidelineCheck::Report(const std::string& code, const std::string& text, const TSourcePlace& place,
                             bool atSegment) {
    if (OnFinding) OnFinding({code, Prefix() + text, place, atSegment});
}

void TGuidelineCheck::BeginMessage() {
    abandoned_ = false;
    current_ = currentVariant_ = currentWide_ = nullptr;
    for (auto& rule : rules_) {
        rule.Count = 0;
        std::fill(rule.VariantCounts.begin(), rule.VariantCounts.end(), 0);
    }
}

void TGuidelineCheck::EnterGroup(int group) {
    auto found = byScope_.find(group);
    if (found == byScope_.end()) return;
    for (size_t i : found->second) {
        rules_[i].Count = 0;
        std::fill(rules_[i].VariantCounts.begin(), rules_[i].VariantCounts.end(), 0);
    }
}

void TGuidelineCheck::DoneGroup(int group) {
    CloseScope(group);
}

void TGuidelineCheck::EndMessage() {
    CloseScope(0);
}

void TGuidelineCheck::CloseScope(int scope) {
    if (!guideline_ || abandoned_) return;
    auto found = byScope_.find(scope);
    if (found == byScope_.end()) return;
    for (size_t i : found->second) {
        const TBoundRule& bound = rules_[i];
        const TGuidelineRule& rule = *bound.Rule;
        const char* kind = rule.Group ? "Group " : "Segment ";
        // A position the UN makes mandatory is the reader's concern: only the guideline's own are checked.
        if (bound.Count == 0 && rule.Usage == TUsage::Required)
            Report("guideline-missing", std::string(kind) + bound.Path + " is required but missing",
                   rule.Place, false);
        for (size_t k = 0; k < rule.Variants.size(); ++k) {
            const TGuidelineVariant& variant = rule.Variants[k];
            if (bound.VariantCounts[k] == 0 && UsageRequires(variant.Usage))
                Report("guideline-missing",
                       std::string(kind) + bound.Path + " with " + rule.Qualifier + " " +
                           Quoted(variant.Values.front()) + " is required but missing",
                       variant.Place, false);
        }
    }
}

void TGuidelineCheck::Segment(const TEdiSegment& segment, const TMessageDefRec* entry) {
    current_ = currentVariant_ = currentWide_ = nullptr;
    if (!guideline_) return;
    if (!wide_.empty()) {
        auto wide = wide_.find(&segment);
        if (wide != wide_.end()) {
            currentWide_ = &wide->second;
            CheckElements(wide->second, segment, segment.ID, nullptr, nullptr);
        }
    }
    if (!entry) return;
    auto found = byEntry_.find(entry);
    if (found == byEntry_.end()) return;
    TBoundRule& bound = rules_[found->second];
    const TGuidelineRule& rule = *bound.Rule;
    const char* kind = rule.Group ? "Group " : "Segment ";
    ++bound.Count;
    if (rule.Usage == TUsage::NotUsed && bound.Count == 1)
        Report("guideline-unused", std::string(kind) + bound.Path + " is not used", rule.Place, true);
    if (rule.MaxRep > 0 && bound.Count == rule.MaxRep + 1)
        Report("guideline-repeat",
               std::string(kind) + bound.Path + " occurs more often than its maximum of " +
                   std::to_string(rule.MaxRep),
               rule.Place, true);
    current_ = &bound.Elements;
    CheckElements(bound.Elements, segment, bound.SegmentPath, nullptr, nullptr);
    if (!bound.Qualifier || rule.Variants.empty()) return;

    const std::string& value = bound.Qualifier->RawText;
    for (size_t k = 0; k < rule.Variants.size(); ++k) {
        const TGuidelineVariant& variant = rule.Variants[k];
        if (std::find(variant.Values.begin(), variant.Values.end(), value) == variant.Values.end()) continue;
        // Texts are made only for a report: this runs for every occurrence.
        auto where = [&] { return bound.Path + " with " + rule.Qualifier + " " + Quoted(value); };
        const int32_t count = ++bound.VariantCounts[k];
        if (variant.Usage == TUsage::NotUsed && count == 1)
            Report("guideline-unused", std::string(kind) + where() + " is not used", variant.Place, true);
        if (variant.MaxRep > 0 && count == variant.MaxRep + 1)
            Report("guideline-repeat",
                   std::string(kind) + where() + " occurs more often than its maximum of " +
                       std::to_string(variant.MaxRep),
                   variant.Place, true);
        currentVariant_ = &bound.VariantElements[k];
        CheckElements(bound.VariantElements[k], segment, bound.SegmentPath, &rule.Qualifier, &value);
        return;
    }
    Report("guideline-qualifier",
           "Qualifier " + Quoted(value) + " of " + bound.SegmentPath + "/" + rule.Qualifier +
               " is not allowed",
           rule.Place, true);
}

namespace {

bool HasValue(const TEdiElement& element) {
    if (auto* field = dynamic_cast<const TEDIField*>(&element)) return !field->RawText.empty();
    if (auto* composite = dynamic_cast<const TEdiComposit*>(&element))
        for (const auto& member : composite->Elements)
            if (HasValue(*member)) return true;
    return false;
}

} // namespace

void TGuidelineCheck::CheckElements(const std::vector<TBoundElement>& elements, const TEdiSegment& segment,
                                    const std::string& where, const std::string* qualifier,
                                    const std::string* value) {
    for (const TBoundElement& bound : elements) {
        const TGuidelineElement& rule = *bound.Rule;
        // "SG2/NAD/C082/3055 (with 3035 "BY")", made only for a report.
        auto path = [&] {
            return where + "/" +
                   (bound.Container != &segment && bound.Container
                        ? bound.Container->ID + "/" + bound.Element->ID
                        : bound.Element->ID) +
                   (qualifier ? " (with " + *qualifier + " " + Quoted(*value) + ")" : std::string());
        };
        if (!HasValue(*bound.Element)) {
            // Required by the guideline, even where the UN leaves its composite out; the UN's own mandatory
            // elements are the strict checks' concern.
            if (rule.Usage == TUsage::Required)
                Report("guideline-missing", "Element " + path() + " is required but missing", rule.Place,
                       true);
            continue;
        }
        if (rule.Usage == TUsage::NotUsed) {
            Report("guideline-unused", "Element " + path() + " is not used", rule.Place, true);
            continue;
        }
        auto* field = dynamic_cast<const TEDIField*>(bound.Element);
        if (!field) continue;
        const std::string& text = field->RawText;
        if (rule.HasFixed && text != rule.Fixed)
            Report("guideline-fixed",
                   "Value " + Quoted(text) + " of " + path() + " is not the fixed " + Quoted(rule.Fixed),
                   rule.Place, true);
        else if (!rule.Allows(text))
            Report("guideline-code",
                   "Code " + Quoted(text) + " of " + path() + " is not in the guideline's list", rule.Place,
                   true);
        if (rule.MaxLength >= 0 && (text.size() > static_cast<size_t>(rule.MaxLength) ||
                                    text.size() < static_cast<size_t>(std::max(rule.MinLength, 0))))
            Report("guideline-length",
                   "Value " + Quoted(text) + " of " + path() + " is not " + std::to_string(rule.MinLength) +
                       " to " + std::to_string(rule.MaxLength) + " characters long",
                   rule.Place, true);
    }
}

bool TGuidelineCheck::AddsCode(const TEDIField& field, const std::string& code) const {
    for (const auto* list : {current_, currentVariant_, currentWide_}) {
        if (!list) continue;
        for (const TBoundElement& bound : *list)
            if (bound.Element == &field && bound.Rule->AddedName(code)) return true;
    }
    return false;
}

} // namespace talmiro
