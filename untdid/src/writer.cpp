// Writes the definition sources of a release: one segment source and one message source per message.
#include "talmiro/untdid.h"

#include <fstream>
#include <set>
#include <unistd.h>

namespace talmiro::untdid {

namespace {

std::string Quoted(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

const char* ReprName(TRepr repr) {
    switch (repr) {
    case TRepr::Alpha:
        return "ALPHA";
    case TRepr::Numeric:
        return "NUMERIC";
    case TRepr::Alnum:
        break;
    }
    return "ALNUM";
}

// Written only for an element that repeats, so that the sources of releases without repeats stay as
// they were.
std::string RepeatClause(const TElementDef& element) {
    return element.Repeats > 1 ? " REPEAT (" + std::to_string(element.Repeats) + ")" : std::string();
}

// Only the mandatory status is written: a conditional element reads the same without it.
std::string StatusClause(const TElementDef& element) {
    return element.Mandatory ? " MANDATORY" : std::string();
}

void WriteField(std::string& out, const TElementDef& field, const char* indent) {
    out += indent;
    out += "FIELD " + Quoted(field.ID) + " " + ReprName(field.Repr) + " (" + std::to_string(field.MinSize) +
           ":" + std::to_string(field.MaxSize) + ")";
    out += StatusClause(field);
    out += RepeatClause(field);
    if (!field.Name.empty()) out += " DESCRIPTION " + Quoted(field.Name);
    out += ";\n";
}

void WriteNodes(std::string& out, const std::vector<TMessageNode>& nodes, int depth) {
    std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    for (const TMessageNode& node : nodes) {
        // An empty group, or one that does not begin with its initial segment (it has no tag then), cannot
        // be written in the message language; the importer has reported it.
        if (node.IsGroup && (node.Children.empty() || node.Tag.empty())) continue;
        out += indent;
        out += node.IsGroup ? "GROUP " : "SEGMENT ";
        out += Quoted(node.Tag);
        out += node.Mandatory ? " MANDATORY (" : " CONDITIONAL (";
        out += std::to_string(node.MaxRepeat) + ")";
        if (!node.Name.empty()) out += " MEMO (" + Quoted(node.Name) + ")";
        out += ";\n";
        if (node.IsGroup) {
            WriteNodes(out, node.Children, depth + 1);
            out += indent + "END;\n";
        }
    }
}

void WriteFileAtomically(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::path temp = path;
    temp += ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw EImportError("Cannot create " + temp.string());
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            throw EImportError("Cannot write " + temp.string());
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw EImportError("Cannot replace " + path.string() + ": " + ec.message());
    }
}

} // namespace

std::string SegmentSource(const TDirectory& directory) {
    std::string out;
    out.reserve(256 * 1024);
    out += "{ Segments of the UN/EDIFACT directory " + directory.Release +
           ", imported from the UN's archive }\n";
    out += "SEGMENTS\n";
    for (const TSegmentDef& segment : directory.Segments) {
        out += "SEGMENT " + Quoted(segment.Tag);
        if (!segment.Name.empty()) out += " DESCRIPTION " + Quoted(segment.Name) + ";";
        out += "\n";
        for (const TElementDef& element : segment.Elements) {
            if (!element.IsComposite) {
                WriteField(out, element, "  ");
                continue;
            }
            out += "  COMPOSIT " + Quoted(element.ID) + StatusClause(element) + RepeatClause(element);
            if (!element.Name.empty()) out += " DESCRIPTION " + Quoted(element.Name) + ";";
            out += "\n";
            for (const TElementDef& component : element.Components)
                WriteField(out, component, "    ");
            out += "  END;\n";
        }
        out += "END;\n";
    }
    out += "END;\n";
    return out;
}

std::string MessageSource(const TMessageDef& message, const std::string& segmentsName) {
    std::string out;
    out += "{ " + message.Type + " " + message.Version + " " + message.Release + " " + message.Agency +
           ", imported from the UN/EDIFACT directory }\n";
    out += "MESSAGE " + Quoted(message.Type) + "\n";
    out += "IDENTIFICATION 65 = " + Quoted(message.Type) + ", 52 = " + Quoted(message.Version) +
           ", 54 = " + Quoted(message.Release) + ", 51 = " + Quoted(message.Agency) + "\n";
    out += "SEGMENTS " + Quoted(segmentsName) + "\n";
    if (!message.Title.empty()) out += "MEMO (" + Quoted(message.Title) + ")";
    out += ";\nSTRUCTURE\n";
    WriteNodes(out, message.Structure, 1);
    out += "END;\n";
    return out;
}

std::vector<std::filesystem::path> WriteRelease(const TDirectory& directory,
                                                const std::filesystem::path& outDir) {
    std::filesystem::path dir = outDir / directory.Release;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw EImportError("Cannot create " + dir.string() + ": " + ec.message());
    std::vector<std::filesystem::path> written;
    std::filesystem::path sdf = dir / (directory.Release + ".sdf");
    WriteFileAtomically(sdf, SegmentSource(directory));
    written.push_back(sdf);
    for (const TMessageDef& message : directory.Messages) {
        std::filesystem::path mdf = dir / (message.Type + ".mdf");
        WriteFileAtomically(mdf, MessageSource(message, directory.Release));
        written.push_back(mdf);
    }
    if (directory.CodeLists.ListCount() > 0) {
        std::filesystem::path codes = dir / TCodeLists::FileName;
        WriteFileAtomically(codes, directory.CodeLists.Text());
        written.push_back(codes);
    }
    return written;
}

TDirectoryCounts CountDirectory(const TDirectory& directory) {
    TDirectoryCounts counts;
    std::set<std::string> composites;
    std::set<std::string> elements;
    auto baseId = [](const std::string& id) { return id.substr(0, id.find('.')); };
    for (const TSegmentDef& segment : directory.Segments) {
        for (const TElementDef& element : segment.Elements) {
            if (!element.IsComposite) {
                elements.insert(baseId(element.ID));
                continue;
            }
            composites.insert(element.ID);
            for (const TElementDef& component : element.Components)
                elements.insert(baseId(component.ID));
        }
    }
    counts.Segments = static_cast<int>(directory.Segments.size());
    counts.Composites = static_cast<int>(composites.size());
    counts.Elements = static_cast<int>(elements.size());
    counts.Messages = static_cast<int>(directory.Messages.size());
    counts.CodeLists = static_cast<int>(directory.CodeLists.ListCount());
    counts.Codes = static_cast<int>(directory.CodeLists.CodeCount());
    return counts;
}

} // namespace talmiro::untdid
