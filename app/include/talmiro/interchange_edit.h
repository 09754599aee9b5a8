// Editing an interchange file without copying it: edits as byte replacements, a stream that reads as the
// file with its edits applied, writing the result in a layout, and the fixes of control counts and
// references. The viewer's editing and saving and talmiro-cli format both work through this.
#pragma once

#include "talmiro/streams.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace talmiro {

// Replaces the bytes [Begin, End) of the file with Text: Begin == End inserts, empty Text deletes.
struct TByteEdit {
    int64_t Begin = 0;
    int64_t End = 0;
    std::string Text;
    bool operator==(const TByteEdit&) const = default;
};

// A stream that reads as the file with the edits applied, so that the reader, the details panel and find
// work on the edited text without a copy of the file. The edits are sorted by Begin and do not overlap
// (several insertions at one place apply in their order); they are checked when the stream is made, and
// an edit out of order or beyond the file raises Exception. The file is borrowed and must outlive the
// stream; reading moves its position. Read-only.
class TEditedStream final : public TStream {
public:
    TEditedStream(TStream& file, std::vector<TByteEdit> edits);
    int64_t Size() override { return size_; }
    const std::vector<TByteEdit>& Edits() const { return edits_; }

protected:
    int Underflow() override;
    void SeekTo(int64_t position) override;
    void WriteAt(const void* buffer, size_t n) override;

private:
    // A run of the edited text: either bytes of the file or an edit's text.
    struct TPiece {
        int64_t At = 0;     // where it begins in the edited text
        int64_t Source = 0; // file: where it begins in the file; edit: its index in edits_
        int64_t Length = 0;
        bool FromEdit = false;
    };
    // Copies up to n bytes of the edited text from position on; returns how many.
    size_t Fill(int64_t position, uint8_t* target, size_t n);

    static constexpr size_t BlockSize = 1 << 16;
    TStream& file_;
    std::vector<TByteEdit> edits_;
    std::vector<TPiece> pieces_;
    int64_t size_ = 0;
    std::vector<uint8_t> block_;
};

// How segments follow each other when written.
enum class TLayoutChoice {
    Keep,       // the bytes as they are
    OnePerLine, // a line end after each segment (the file's own line end when it used CR LF, else LF)
    OneLine,    // segments one after another without line ends
};

// Streams the interchange (a file, or a TEditedStream) to sink in the layout. Keep gives the same bytes.
// The other layouts drop the control bytes the reader skips (line ends, tabs) and put their separator after
// each segment terminator; a byte-order mark at the start stays. progress(done, total) is called now and
// then with the input bytes done. Memory stays constant in the file size; raises EEdiSyntaxError for a
// segment longer than TSegmentLexer::MaxSegmentBytes.
void WriteInterchange(TStream& input, TLayoutChoice layout, const std::function<void(std::string_view)>& sink,
                      const std::function<void(int64_t done, int64_t total)>& progress = {});

// Writes the interchange in the layout to the file target, through a TReplacingFile: the target changes
// only once the whole text is written, and may be the file the input reads (the input goes on reading the
// old file). A target that is a symbolic link stays one: the file it points to is replaced.
void SaveInterchange(TStream& input, TLayoutChoice layout, const std::string& target,
                     const std::function<void(int64_t done, int64_t total)>& progress = {});

// The file that saving to name replaces: the file a symbolic link points to, or name itself.
std::string ReplacedFile(const std::string& name);

// A control datum that differs from what the interchange holds: a UNT segment count (0074) or a UNE/UNZ
// count (0060, 0036) other than the segments or messages/groups that are there, or a trailer reference
// (UNT 0062, UNE 0048, UNZ 0020) other than its header's (UNH 0062, UNG 0048, UNB 0020).
struct TControlFix {
    int64_t Segment =
        0;           // the trailer's number in the file (UNB is 1; a service string advice is not counted)
    std::string Tag; // the trailer's tag: UNT, UNE or UNZ
    std::string Description; // what changes, in words for a dialog
    TByteEdit Edit;          // the edit that makes the change (a missing element is inserted)
};

// The fixes a file needs, in file order (their edits sorted, as TEditedStream wants them). Reads the input
// from its start with the segment lexer, so that it works without tables; a trailer without its header
// (a UNT outside a message, say) is left alone.
std::vector<TControlFix> PlanControlFixes(TStream& input);

// The edits of a list of fixes.
std::vector<TByteEdit> EditsOf(const std::vector<TControlFix>& fixes);

} // namespace talmiro
