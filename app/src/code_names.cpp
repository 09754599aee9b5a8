#include "talmiro/code_names.h"

#include <filesystem>
#include <map>
#include <mutex>

namespace talmiro {

namespace {

// A value read into the field by the last reading (Clear leaves the text of an earlier one).
bool HasValue(const TEDIField& field) {
    return field.LastFilled() >= 0 && !field.RawText.empty();
}

struct TLoaded {
    std::shared_ptr<const TCodeLists> Lists;
    std::string Error; // the damaged file's error
};

} // namespace

std::shared_ptr<const TCodeLists> CodeListsForTable(const std::string& tableFile) {
    const std::filesystem::path folder = std::filesystem::path(tableFile).parent_path();
    if (folder.empty()) return nullptr;
    const std::string path = (folder / TCodeLists::FileName).string();

    static std::mutex mutex;
    static std::map<std::string, TLoaded> loaded;
    std::lock_guard lock(mutex);
    auto found = loaded.find(path);
    if (found == loaded.end()) {
        // A folder without code lists is asked again next time: they may have been generated since.
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
        TLoaded entry;
        try {
            entry.Lists = std::make_shared<const TCodeLists>(TCodeLists::Load(path));
        } catch (const Exception& e) {
            entry.Error = e.what();
        }
        found = loaded.emplace(path, std::move(entry)).first;
    }
    if (!found->second.Error.empty()) throw ECodeListError(found->second.Error);
    return found->second.Lists;
}

std::shared_ptr<const TCodeLists> CodeListsToShow(const std::string& tableFile) {
    try {
        return CodeListsForTable(tableFile);
    } catch (const ECodeListError&) {
        return nullptr;
    }
}

std::string ReleaseOfTable(const std::string& tableFile) {
    return std::filesystem::path(tableFile).parent_path().filename().string();
}

bool UnListApplies(const TEdiComposit& container, const TEDIField& field) {
    const std::string_view id = TCodeLists::BaseId(field.ID);
    if (id == "1131") return false;
    for (const auto& element : container.Elements) {
        auto* sibling = element->AsField();
        if (!sibling || sibling == &field || !HasValue(*sibling)) continue;
        const std::string_view siblingId = TCodeLists::BaseId(sibling->ID);
        if (siblingId == "1131") return false;
        if (siblingId == "3055" && id != "3055" && sibling->RawText != "6") return false;
    }
    return true;
}

const std::string* CodeName(const TCodeLists* codes, const TEdiComposit& container, const TEDIField& field) {
    if (!codes || !HasValue(field) || !codes->HasList(field.ID) || !UnListApplies(container, field))
        return nullptr;
    return codes->Name(field.ID, field.RawText);
}

} // namespace talmiro
