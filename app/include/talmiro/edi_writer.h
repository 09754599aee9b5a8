// Writing interchange text: values escaped with the release character, segments composed from their
// values with an interchange's delimiters, the layouts segments are written in, and files replaced only
// once they are complete. Everything that writes interchanges (acknowledgements, edited, formatted and
// imported files) writes through this, so that escaping and layout are done one way.
#pragma once

#include "talmiro/syntax.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace talmiro {

// A segment as values: its tag, then its data elements; each data element a list of occurrences (more
// than one only for a repeating element), each occurrence a list of components (one for a simple
// element). Values are unescaped text.
struct TSegmentValues {
    using TOccurrence = std::vector<std::string>;
    using TElement = std::vector<TOccurrence>;
    std::string Tag;
    std::vector<TElement> Elements;

    // A segment whose elements occur once: {{"BY"}, {"5412345000013", "", "9"}} is NAD+BY+5412345000013::9.
    static TSegmentValues Of(std::string tag, const std::vector<TOccurrence>& elements);
};

// How segments follow each other in a written file.
enum class TLayout {
    OneLine,    // one after another, no line ends
    OnePerLine, // a line end after each segment terminator
};

class TEdiWriter {
public:
    explicit TEdiWriter(const TDelimiters& delimiters, std::string lineEnd = "\n");

    const TDelimiters& Delimiters() const { return delimiters_; }
    // The value with the release character before each of the interchange's service characters (and
    // before the release character itself).
    std::string Escape(std::string_view value) const;
    // The segment's text with its terminator; empty trailing components, occurrences and elements are
    // left out, as the syntax asks.
    std::string SegmentText(const TSegmentValues& segment) const;
    // The service string advice that declares these delimiters: "UNA:+.? '".
    std::string AdviceText() const;
    // What follows a segment terminator in a layout.
    std::string Separator(TLayout layout) const;

private:
    TDelimiters delimiters_;
    std::string lineEnd_;
};

// A file written beside its target under a temporary name and renamed over the target by Commit, so that
// a failure at any point leaves the target as it was. Destroyed without Commit, it removes its temporary.
class TReplacingFile {
public:
    // Creates the temporary; raises EFCreateError naming the target when it cannot.
    explicit TReplacingFile(std::string target);
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    void Write(std::string_view bytes);
    // Flushes, syncs and renames the temporary over the target; raises when any of it fails.
    void Commit();
    const std::string& Target() const { return target_; }
    const std::string& TemporaryName() const { return temporary_; }

private:
    void Fail(const std::string& what);
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    std::string buffer_;
};

// True when both names reach the same file (the same device and inode); false when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

} // namespace talmiro
