#include "talmiro/code_names.h"

#include "talmiro/standards.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
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

namespace {

// "D99A" as a number that orders releases by date: 1999 * 26 + 0; -1 for a name that is not a release.
int ReleaseOrder(const std::string& name) {
    if (name.size() != 4 || name[0] != 'D' || !std::isdigit(static_cast<unsigned char>(name[1])) ||
        !std::isdigit(static_cast<unsigned char>(name[2])) || name[3] < 'A' || name[3] > 'Z')
        return -1;
    const int year = (name[1] - '0') * 10 + (name[2] - '0');
    return (year >= 90 ? 1900 + year : 2000 + year) * 26 + (name[3] - 'A');
}

// Whether a code-list file holds the syntax error codes: the service lists (0001 to 0135) come first in
// the file, so its beginning tells.
bool HasServiceLists(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string head(256 * 1024, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    return head.find("\n=0085\n") != std::string::npos;
}

// The folder of the newest release below base whose code lists include the service code lists (the UN
// directories carry them from D94A to D99A); empty when none does. Looked for once per base.
std::string ServiceCodeListFolder(const std::filesystem::path& base) {
    static std::mutex mutex;
    static std::map<std::string, std::string> found;
    std::lock_guard lock(mutex);
    auto known = found.find(base.string());
    if (known != found.end()) return known->second;
    std::vector<std::pair<int, std::filesystem::path>> releases;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        const int order = ReleaseOrder(it->path().filename().string());
        if (order >= 0) releases.emplace_back(order, it->path());
    }
    std::sort(releases.rbegin(), releases.rend());
    std::string folder;
    for (const auto& release : releases)
        if (HasServiceLists(release.second / TCodeLists::FileName)) {
            folder = release.second.string();
            break;
        }
    return found.emplace(base.string(), folder).first->second;
}

} // namespace

std::shared_ptr<const TCodeLists> CodeListsToShow(const std::string& tableFile) {
    try {
        std::shared_ptr<const TCodeLists> lists = CodeListsForTable(tableFile);
        const std::filesystem::path table(tableFile);
        // The service messages' own folders hold no code lists: theirs are the service code lists of a
        // directory release.
        if (!lists && IsServiceMessage(table.stem().string())) {
            const std::string folder = ServiceCodeListFolder(table.parent_path().parent_path());
            if (!folder.empty())
                lists = CodeListsForTable((std::filesystem::path(folder) / table.filename()).string());
        }
        return lists;
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
        auto* sibling = dynamic_cast<const TEDIField*>(element.get());
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
