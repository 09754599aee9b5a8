// Finds a release's segment directory and message texts in the UN's archive. Most releases nest one
// archive per directory kind (EDSD.ZIP, TRMD.ZIP, ...); those are opened in memory. Only the entries
// needed are read, so damaged supplementary entries (d11b.zip's text files) do no harm.
#include "talmiro/untdid.h"

#include "text_util.h"

#include <zip.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace talmiro::untdid {

using namespace detail;

namespace {

// Text files of a directory release are a few MB; anything far larger is not one of them.
constexpr zip_uint64_t MaxEntrySize = 256u * 1024u * 1024u;
constexpr zip_uint64_t MaxDeflateRatio = 1100; // deflate cannot expand beyond about 1032:1
// A whole release unpacks to some 20 MB. Nested archives stay in memory while the import runs, so without a
// bound on the sum a small archive of many large nested ones would take gigabytes and minutes.
constexpr zip_uint64_t MaxArchiveBytes = 256u * 1024u * 1024u;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (IsUpper(c)) c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string BaseName(std::string_view name) {
    std::size_t slash = name.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

enum class TEntryKind { Other, SegmentDirectory, Message, CodeList, NestedArchive };

// edsd.96a / trsd.96a; orders_d.96a; uncl.96a, uncl-1.96a, unsl.96a; edsd.zip, trmd.zip, edmd97a.zip,
// uncl.zip.
TEntryKind Classify(const std::string& baseName) {
    std::string b = Lower(baseName);
    auto releaseExt = [](std::string_view ext) {
        return ext.size() == 3 && IsDigit(ext[0]) && IsDigit(ext[1]) && IsLower(ext[2]);
    };
    std::size_t dot = b.rfind('.');
    if (dot == std::string::npos) return TEntryKind::Other;
    std::string_view stem = std::string_view(b).substr(0, dot);
    std::string_view ext = std::string_view(b).substr(dot + 1);
    bool batchDir = stem.size() >= 4 && (stem.substr(0, 2) == "ed" || stem.substr(0, 2) == "tr");
    bool codeList = stem == "uncl" || stem == "unsl" || stem == "uncl-1" || stem == "uncl-2";
    if (ext == "zip") {
        if (stem == "uncl" || stem == "unsl") return TEntryKind::NestedArchive;
        if (batchDir && (stem.substr(2, 2) == "sd" || stem.substr(2, 2) == "md") &&
            (stem.size() == 4 || (stem.size() == 7 && releaseExt(stem.substr(4)))))
            return TEntryKind::NestedArchive;
        return TEntryKind::Other;
    }
    if (!releaseExt(ext)) return TEntryKind::Other;
    if (codeList) return TEntryKind::CodeList;
    if (batchDir && stem.size() == 4 && stem.substr(2, 2) == "sd") return TEntryKind::SegmentDirectory;
    if (stem.size() == 8 && stem[6] == '_' && stem[7] == 'd' &&
        std::all_of(stem.begin(), stem.begin() + 6, [](char c) { return IsLower(c); }))
        return TEntryKind::Message;
    return TEntryKind::Other;
}

struct TZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using TZipPtr = std::unique_ptr<zip_t, TZipCloser>;

// Reads an entry whole; unpacked counts the bytes all entries read so far take.
std::string ReadEntry(zip_t* zip, zip_uint64_t index, const std::string& label, zip_uint64_t& unpacked) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        throw EImportError("Cannot read " + label);
    // Sizes come from the archive: bound them by what deflate can produce from the stored bytes.
    bool plausible = st.size <= MaxEntrySize &&
                     (!(st.valid & ZIP_STAT_COMP_SIZE) || st.size <= st.comp_size * MaxDeflateRatio + 4096);
    if (!plausible) throw EImportError("Entry too large: " + label);
    if (st.size > MaxArchiveBytes - unpacked) throw EImportError("Archive too large: " + label);
    unpacked += st.size;
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zip_fopen_index(zip, index, 0), zip_fclose);
    if (!file) throw EImportError("Cannot read " + label + ": " + zip_strerror(zip));
    std::string data(static_cast<std::size_t>(st.size), '\0');
    zip_int64_t got = data.empty() ? 0 : zip_fread(file.get(), data.data(), data.size());
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
        throw EImportError("Cannot read " + label + ": " + zip_file_strerror(file.get()));
    return data;
}

// A source of named files: a zip archive (in a file or in memory) or a folder.
struct TFile {
    std::string Label; // name shown in warnings
    std::string BaseName;
    std::function<std::string()> Read;
};

class TCollector {
public:
    std::vector<TImportWarning>& Warnings;
    std::optional<TFile> SegmentDirectory;
    std::vector<TFile> Messages;
    std::vector<TFile> CodeLists;
    std::vector<std::shared_ptr<std::string>> Buffers; // keep nested archives alive
    std::vector<std::shared_ptr<zip_t>> Zips;
    zip_uint64_t Unpacked = 0; // bytes read from the archive and its nested ones

    explicit TCollector(std::vector<TImportWarning>& warnings) : Warnings(warnings) {}

    void Add(TFile file, int nesting) {
        switch (Classify(file.BaseName)) {
        case TEntryKind::SegmentDirectory:
            if (SegmentDirectory) {
                Warnings.push_back({file.Label, 0, "second segment directory ignored", false});
            } else {
                SegmentDirectory = std::move(file);
            }
            break;
        case TEntryKind::Message:
            Messages.push_back(std::move(file));
            break;
        case TEntryKind::CodeList:
            CodeLists.push_back(std::move(file));
            break;
        case TEntryKind::NestedArchive:
            if (nesting > 0) break;
            OpenArchive(file.Read(), file.Label, nesting + 1);
            break;
        case TEntryKind::Other:
            break;
        }
    }

    void OpenZip(zip_t* raw, const std::string& prefix, int nesting) {
        std::shared_ptr<zip_t> zip(raw, zip_discard);
        Zips.push_back(zip);
        zip_int64_t count = zip_get_num_entries(zip.get(), 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* name = zip_get_name(zip.get(), static_cast<zip_uint64_t>(i), 0);
            if (!name) continue;
            std::string entryName = name;
            if (entryName.empty() || entryName.back() == '/') continue;
            std::string label = prefix.empty() ? entryName : prefix + "/" + entryName;
            auto index = static_cast<zip_uint64_t>(i);
            Add({label, BaseName(entryName),
                 [this, zip, index, label] { return ReadEntry(zip.get(), index, label, Unpacked); }},
                nesting);
        }
    }

    void OpenArchive(std::string bytes, const std::string& label, int nesting) {
        auto buffer = std::make_shared<std::string>(std::move(bytes));
        Buffers.push_back(buffer);
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(buffer->data(), buffer->size(), 0, &error);
        if (!source) throw EImportError("Cannot read " + label);
        zip_t* zip = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!zip) {
            zip_source_free(source);
            std::string reason = zip_error_strerror(&error);
            zip_error_fini(&error);
            Warnings.push_back({label, 0, "nested archive cannot be opened: " + reason, true});
            return;
        }
        zip_error_fini(&error);
        OpenZip(zip, label, nesting);
    }
};

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EImportError("Cannot open " + path.string());
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    if (ec || size > MaxEntrySize) throw EImportError("Cannot read " + path.string());
    std::string data(static_cast<std::size_t>(size), '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    if (in.gcount() != static_cast<std::streamsize>(data.size()))
        throw EImportError("Cannot read " + path.string());
    return data;
}

} // namespace

TDirectory ImportRelease(const std::filesystem::path& source) {
    TDirectory directory;
    TCollector collector(directory.Warnings);

    std::error_code ec;
    if (std::filesystem::is_directory(source, ec)) {
        std::vector<std::filesystem::path> files;
        auto options = std::filesystem::directory_options::skip_permission_denied;
        for (auto it = std::filesystem::recursive_directory_iterator(source, options, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it.depth() > 8) it.disable_recursion_pending();
            if (it->is_regular_file(ec)) files.push_back(it->path());
        }
        if (ec) throw EImportError("Cannot list " + source.string());
        std::sort(files.begin(), files.end());
        for (const auto& path : files) {
            std::string label = std::filesystem::relative(path, source, ec).generic_string();
            collector.Add({label, path.filename().string(), [path] { return ReadWholeFile(path); }}, 0);
        }
    } else {
        int error = 0;
        zip_t* zip = zip_open(source.c_str(), ZIP_RDONLY, &error);
        if (!zip) {
            zip_error_t ze;
            zip_error_init_with_code(&ze, error);
            std::string reason = zip_error_strerror(&ze);
            zip_error_fini(&ze);
            // libzip says "No such file" also for an archive that is there but whose directory it cannot
            // follow (a size field of 0xFFFFFFFF without its ZIP64 record, say).
            if (error == ZIP_ER_NOENT && std::filesystem::exists(source, ec)) reason = "damaged archive";
            throw EImportError("Cannot open archive " + source.string() + ": " + reason);
        }
        collector.OpenZip(zip, "", 0);
    }

    if (!collector.SegmentDirectory)
        throw EImportError("No segment directory (EDSD or TRSD) found in " + source.string());
    const TFile& sd = *collector.SegmentDirectory;
    std::string ext = sd.BaseName.substr(sd.BaseName.rfind('.') + 1);
    directory.Release = "D" + ext;
    for (char& c : directory.Release)
        if (IsLower(c)) c = static_cast<char>(c - 'a' + 'A');

    directory.Segments = ParseSegmentDirectory(Cp437ToText(sd.Read()), sd.Label, directory.Warnings);

    // The envelope segments are ours; a directory that defines them too is overruled.
    std::vector<TSegmentDef> service = ServiceSegments();
    std::set<std::string> serviceTags;
    for (const auto& s : service)
        serviceTags.insert(s.Tag);
    std::erase_if(directory.Segments, [&](const TSegmentDef& s) {
        if (!serviceTags.count(s.Tag)) return false;
        directory.Warnings.push_back(
            {sd.Label, 0, "service segment " + s.Tag + " replaced by the built-in one", false});
        return true;
    });
    directory.Segments.insert(directory.Segments.end(), service.begin(), service.end());
    std::stable_sort(directory.Segments.begin(), directory.Segments.end(),
                     [](const TSegmentDef& x, const TSegmentDef& y) { return x.Tag < y.Tag; });

    for (const TFile& file : collector.CodeLists)
        ParseCodeLists(Cp437ToText(file.Read()), file.Label, directory.CodeLists, directory.Warnings);
    directory.CodeLists.Seal();

    std::map<std::string, std::string> labels; // message type -> entry it was read from
    for (const TFile& file : collector.Messages) {
        TMessageDef message;
        try {
            std::size_t firstWarning = directory.Warnings.size();
            bool batch = ParseMessage(Cp437ToText(file.Read()), file.BaseName, message, directory.Warnings);
            for (std::size_t k = firstWarning; k < directory.Warnings.size(); ++k)
                directory.Warnings[k].File = file.Label;
            if (!batch) {
                ++directory.InteractiveSkipped;
                continue;
            }
        } catch (const EImportError& e) {
            directory.Warnings.push_back({file.Label, 0, std::string(e.what()) + "; message skipped", true});
            continue;
        }
        if ("D" + message.Release != directory.Release) {
            directory.Warnings.push_back(
                {file.Label, 0, "message of release D" + message.Release + " skipped", false});
            continue;
        }
        if (!labels.emplace(message.Type, file.Label).second) {
            directory.Warnings.push_back(
                {file.Label, 0, "second text of message " + message.Type + " ignored", true});
            continue;
        }
        directory.Messages.push_back(std::move(message));
    }
    std::sort(directory.Messages.begin(), directory.Messages.end(),
              [](const TMessageDef& x, const TMessageDef& y) { return x.Type < y.Type; });

    // Segments a message uses must be defined, or the message cannot be read.
    std::set<std::string> defined;
    for (const auto& s : directory.Segments)
        defined.insert(s.Tag);
    for (const TMessageDef& m : directory.Messages) {
        std::map<std::string, int> missing; // tag -> line of its first row
        auto walk = [&](auto&& self, const std::vector<TMessageNode>& nodes) -> void {
            for (const TMessageNode& node : nodes) {
                if (node.IsGroup)
                    self(self, node.Children);
                else if (!defined.count(node.Tag))
                    missing.emplace(node.Tag, node.Line);
            }
        };
        walk(walk, m.Structure);
        for (const auto& [tag, line] : missing)
            directory.Warnings.push_back(
                {labels[m.Type], line, "segment " + tag + " is not in the segment directory", true});
    }
    return directory;
}

} // namespace talmiro::untdid
