#include "talmiro/syntax.h"

#include "number_text.h"
#include "talmiro/edi_element.h"
#include "talmiro/exceptions.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace talmiro {

thread_local constinit TDelimiters Delimiters;

void ResetDelimiters() {
    Delimiters = TDelimiters{};
}

std::string ReadChars(TStream& stream, int n) {
    std::string text;
    while (static_cast<int>(text.size()) < n) {
        int c = NextChar(stream);
        if (c == EndOfData) break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

std::string PeekSegmentTag(TStream& stream) {
    char tag[3];
    return std::string(PeekSegmentTag(stream, tag));
}

std::string_view PeekSegmentTag(TStream& stream, char (&tag)[3]) {
    // Usually the tag and its separator are in the buffer already, after the line break that ended the
    // previous segment, and the stream need not move at all.
    const uint8_t* b = stream.BufferedBegin();
    const uint8_t* e = stream.BufferedEnd();
    while (b < e && *b < 32)
        ++b;
    if (e - b >= 4 && b[1] >= 32 && b[2] >= 32 && b[3] >= 32 &&
        b[3] == static_cast<unsigned char>(Delimiters.ElementSeparator)) {
        std::memcpy(tag, b, 3);
        return std::string_view(tag, 3);
    }
    const int64_t start = stream.Position();
    char s[4];
    int n = 0;
    for (; n < 4; ++n) {
        int c = NextChar(stream);
        if (c == EndOfData) break;
        s[n] = static_cast<char>(c);
    }
    const bool tagged = n == 4 && s[3] == Delimiters.ElementSeparator;
    const bool una = n >= 3 && s[0] == 'U' && s[1] == 'N' && s[2] == 'A';
    if (!tagged && !una)
        throw EEdiSyntaxError("Invalid segment ID \"" + std::string(s, static_cast<size_t>(n)) + "\".");
    stream.Seek(start);
    std::memcpy(tag, s, 3);
    return std::string_view(tag, 3);
}

void ReadServiceStringAdvice(TStream& stream) {
    uint8_t advice[9];
    // An advice cut short by the end of the data sets only the delimiters whose bytes are there.
    const size_t got = stream.Read(advice, sizeof advice);
    char* targets[6] = {&Delimiters.ComponentSeparator, &Delimiters.ElementSeparator,
                        &Delimiters.DecimalMark,        &Delimiters.ReleaseChar,
                        &Delimiters.ReservedChar,       &Delimiters.SegmentTerminator};
    for (size_t i = 3; i < got; ++i)
        *targets[i - 3] = static_cast<char>(advice[i]);
}

void SkipByteOrderMark(TStream& stream) {
    if (stream.Position() != 0) return;
    uint8_t head[3];
    const size_t got = stream.Read(head, sizeof head);
    if (got == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) return;
    stream.Seek(0);
}

char RepetitionSeparatorFor(bool hadAdvice) {
    if (!hadAdvice) return '*';
    const TDelimiters& d = Delimiters;
    const char c = d.ReservedChar;
    if (static_cast<unsigned char>(c) <= 32 || c == d.ComponentSeparator || c == d.ElementSeparator ||
        c == d.ReleaseChar || c == d.SegmentTerminator)
        return 0;
    return c;
}

std::string ReadFirstTag(TStream& stream) {
    std::string tag = PeekSegmentTag(stream);
    if (tag == "UNA") {
        const int64_t start = stream.Position();
        ReadServiceStringAdvice(stream);
        // One character for two separators makes every segment ambiguous; the reader would fail far from
        // the cause, or read something else than was meant. (A cut-short advice fails at the next peek.)
        const char comp = Delimiters.ComponentSeparator, elem = Delimiters.ElementSeparator,
                   term = Delimiters.SegmentTerminator;
        if (stream.Position() - start == 9 && (comp == elem || comp == term || elem == term)) {
            const char twice = comp == elem || comp == term ? comp : elem;
            throw EEdiSyntaxError("Service string advice uses \"" + std::string(1, twice) +
                                  "\" for more than one separator.");
        }
        tag = PeekSegmentTag(stream);
    }
    return tag;
}

// ---------------------------------------------------------------------------------------------------------
// Reading

namespace {

// The text of the element being read; kept across calls so that reading does not allocate.
thread_local std::string scratch;

// What the scan of a value needs to know of the delimiter set, rebuilt only when the set has changed:
// which bytes a value takes as they are (characters that are neither a delimiter nor the release
// character) and, for the scan sixteen bytes at a time, the delimiters and the release character spread
// over a vector each.
struct TScanSet {
    uint64_t Key = ~uint64_t{0}; // the delimiter bytes the set was built from; never that of a real set
    uint8_t Plain[256] = {};
    uint8_t Ends[256] = {}; // the delimiters that end a value (a control byte never does)
    bool Repeats = false;   // a repetition separator is in force
#if defined(__SSE2__)
    __m128i Comp{}, Elem{}, Term{}, Release{}, Rep{};
#endif
};
thread_local constinit TScanSet scanSet;

static_assert(sizeof(TDelimiters) <= sizeof(uint64_t), "the delimiter set is compared as one word");

// Out of line, so that the reading of a value saves no registers for it.
[[gnu::noinline, gnu::cold]] const TScanSet& RebuildScanSet(uint64_t key) {
    const TDelimiters& d = Delimiters;
    // Without a repetition separator its place holds the component separator again, which changes nothing.
    const char rep = d.RepetitionSeparator ? d.RepetitionSeparator : d.ComponentSeparator;
    const char stops[5] = {d.ComponentSeparator, d.ElementSeparator, d.SegmentTerminator, d.ReleaseChar, rep};
    for (int b = 0; b < 256; ++b)
        scanSet.Plain[b] = b >= 32;
    for (char k : stops)
        scanSet.Plain[static_cast<unsigned char>(k)] = 0;
    for (int b = 0; b < 256; ++b)
        scanSet.Ends[b] = b >= 32 && (b == static_cast<unsigned char>(d.ComponentSeparator) ||
                                      b == static_cast<unsigned char>(d.ElementSeparator) ||
                                      b == static_cast<unsigned char>(d.SegmentTerminator) ||
                                      b == static_cast<unsigned char>(rep));
    scanSet.Repeats = d.RepetitionSeparator != 0;
#if defined(__SSE2__)
    scanSet.Comp = _mm_set1_epi8(d.ComponentSeparator);
    scanSet.Elem = _mm_set1_epi8(d.ElementSeparator);
    scanSet.Term = _mm_set1_epi8(d.SegmentTerminator);
    scanSet.Release = _mm_set1_epi8(d.ReleaseChar);
    scanSet.Rep = _mm_set1_epi8(rep);
#endif
    scanSet.Key = key;
    return scanSet;
}

inline const TScanSet& ScanSet() {
    uint64_t key = 0;
    std::memcpy(&key, &Delimiters, sizeof(TDelimiters));
    if (key == scanSet.Key) [[likely]]
        return scanSet;
    return RebuildScanSet(key);
}

// The first byte from p on that is not ordinary (a delimiter, the release character or a control byte),
// or end. Sixteen bytes at a time where the buffer has them: the end of a value then costs no mispredicted
// branch of a byte loop.
[[gnu::always_inline]] inline const uint8_t* SkipPlain(const uint8_t* p, const uint8_t* end,
                                                       const TScanSet& set) {
#if defined(__SSE2__)
    const __m128i control = _mm_set1_epi8(31);
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i stop = _mm_cmpeq_epi8(_mm_min_epu8(v, control), v); // v <= 31
        stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, set.Comp));
        stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, set.Elem));
        stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, set.Term));
        stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, set.Release));
        stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, set.Rep));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
        if (mask != 0) return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p < end && set.Plain[*p])
        ++p;
    return p;
}

} // namespace

namespace {

// assign() takes a slow general path; clearing and appending keeps to the plain copy into the storage
// the text already has.
void AssignText(std::string& target, std::string_view text) {
    const size_t n = text.size();
    if (n <= 16 && n <= target.size()) {
        // A value no longer than the one before (often one of the same length): shortening only sets the
        // length, and a short copy of fixed-size moves costs no call to memcpy.
        target.resize(n);
        char* d = target.data();
        const char* s = text.data();
        if (n >= 8) {
            std::memcpy(d, s, 8);
            std::memcpy(d + n - 8, s + n - 8, 8);
        } else if (n >= 4) {
            std::memcpy(d, s, 4);
            std::memcpy(d + n - 4, s + n - 4, 4);
        } else if (n > 0) {
            d[0] = s[0];
            d[n / 2] = s[n / 2];
            d[n - 1] = s[n - 1];
        }
        return;
    }
    target.clear();
    target.append(text.data(), n);
}

} // namespace

void TEDIField::StoreRead(std::string_view text) {
    AssignText(RawText, text);
    switch (FieldType) {
    case ftAlpha:
    case ftAlnum:
        if (auto* s = std::get_if<std::string>(&Value))
            AssignText(*s, text);
        else
            Value = std::string(text);
        break;
    case ftNumeric: {
        // Not a number (a decimal comma, letters) is no error: the text stays in RawText, the value is 0.
        double v = 0;
        if (!ParseDecimalNumber(text, v)) v = 0;
        Value = v;
        break;
    }
    }
}

namespace {

// No value of an interchange comes near this length; a longer one is a damaged or hostile file (a value
// whose terminator is missing, say), which would otherwise be held in memory whole, several times over.
constexpr size_t MaxValueLength = size_t{1} << 20;

[[noreturn]] void RaiseValueTooLong() {
    throw EEdiSyntaxError("Data element value longer than " + std::to_string(MaxValueLength) +
                          " characters.");
}

// The rest of a value that the quick scan could not take (control bytes, refills of the buffer, release
// characters), character by character into scratch, after the run of run bytes at begin. Kept out of
// line so that the common case saves no registers for it.
[[gnu::noinline]] void ReadRestOfValue(TStream& stream, const uint8_t* begin, size_t run,
                                       const TScanSet& set) {
    const uint8_t* plain = set.Plain;
    const int comp = static_cast<unsigned char>(Delimiters.ComponentSeparator);
    const int elem = static_cast<unsigned char>(Delimiters.ElementSeparator);
    const int term = static_cast<unsigned char>(Delimiters.SegmentTerminator);
    const int rep = static_cast<unsigned char>(Delimiters.RepetitionSeparator); // 0: never a character
    scratch.assign(reinterpret_cast<const char*>(begin), run);
    stream.Skip(run);
    int c;
    for (;;) {
        c = NextChar(stream);
        if (!plain[c]) {
            // The delimiters win over the release character should a UNA make them equal.
            if (c == comp || c == elem || c == term || c == rep || c == EndOfData) break;
            c = NextChar(stream); // the character after a release character, whatever it is
            if (c == EndOfData) throw Exception("Transmission file structure damaged");
        }
        scratch.push_back(static_cast<char>(c));
        // Further ordinary characters straight from the buffer.
        begin = stream.BufferedBegin();
        const uint8_t* end = stream.BufferedEnd();
        const uint8_t* p = SkipPlain(begin, end, set);
        scratch.append(reinterpret_cast<const char*>(begin), static_cast<size_t>(p - begin));
        stream.Skip(static_cast<size_t>(p - begin));
        if (scratch.size() > MaxValueLength) RaiseValueTooLong();
    }
    if (c == EndOfData) throw Exception("Unexpected end of transmission file");
}

} // namespace

void TEDIField::ReadEdi(TStream& stream) {
    const TScanSet& set = ScanSet();
    // The run of ordinary characters that is already in the stream's buffer is taken at once.
    const uint8_t* begin = stream.BufferedBegin();
    const uint8_t* end = stream.BufferedEnd();
    const uint8_t* p = SkipPlain(begin, end, set);
    const auto run = static_cast<size_t>(p - begin);
    if (run > MaxValueLength) RaiseValueTooLong();
    if (p < end && set.Ends[*p]) {
        // The common case: the whole value lies in the buffer and a delimiter ends it, which stays unread.
        StoreRead(std::string_view(reinterpret_cast<const char*>(begin), run));
        stream.Skip(run);
        return;
    }
    ReadRestOfValue(stream, begin, run, set);
    StoreRead(scratch);
    stream.StepBack();
}

void TEdiComposit::ReadEdi(TStream& stream) {
    const int comp = static_cast<unsigned char>(Delimiters.ComponentSeparator);
    auto e = Elements.begin();
    const auto end = Elements.end();
    while (e != end) {
        (*e++)->ReadEdi(stream);
        int c = NextChar(stream);
        if (c == comp) continue;
        if (c != EndOfData) stream.StepBack();
        break;
    }
    ReadCount = static_cast<int32_t>(e - Elements.begin());
}

void TEdiSegment::ReadEdi(TStream& stream) {
    StartPos = stream.Position();
    char tag[3];
    int n = 0;
    for (; n < 3; ++n) {
        int c = NextChar(stream);
        if (c == EndOfData) break;
        tag[n] = static_cast<char>(c);
    }
    if (!(n == 3 && ID.size() == 3 && tag[0] == ID[0] && tag[1] == ID[1] && tag[2] == ID[2])) {
        std::string found(tag, static_cast<size_t>(n));
        throw EInvalidSegment("Invalid segment \"" + found + "\"", ID, found);
    }
    const int elem = static_cast<unsigned char>(Delimiters.ElementSeparator);
    const int term = static_cast<unsigned char>(Delimiters.SegmentTerminator);
    if (!Repetitions.empty()) Repetitions.clear();
    int c = NextChar(stream);
    if (Delimiters.RepetitionSeparator == 0 && !Delimiters.RepeatsByElementSeparator) [[likely]] {
        // Syntax versions 1 to 3: no element repeats.
        auto e = Elements.begin();
        const auto end = Elements.end();
        while (e != end) {
            if (c != elem) throw EEdiSyntaxError("Data element seperator invalid.");
            (*e++)->ReadEdi(stream);
            c = NextChar(stream);
            if (c == term) break;
        }
        ReadCount = static_cast<int32_t>(e - Elements.begin());
    } else {
        c = ReadElementsWithRepeats(stream, c);
    }
    if (c != term) throw EEdiSyntaxError("Invalid segment delimiter at the end of \"" + ID + "\".");
    EndPos = stream.Position() - 1;
}

int TEdiSegment::ReadElementsWithRepeats(TStream& stream, int c) {
    const int elem = static_cast<unsigned char>(Delimiters.ElementSeparator);
    const int term = static_cast<unsigned char>(Delimiters.SegmentTerminator);
    const int rep = static_cast<unsigned char>(Delimiters.RepetitionSeparator); // 0: never a character
    ReadCount = 0;
    for (size_t i = 0; i < Elements.size(); ++i) {
        if (c != elem) throw EEdiSyntaxError("Data element seperator invalid.");
        Elements[i]->ReadEdi(stream);
        ++ReadCount;
        c = NextChar(stream);
        if (c == rep) c = ReadRepetitions(stream, i);
        if (c == term) break;
    }
    if (c == elem && Delimiters.RepeatsByElementSeparator) c = ReadElementRepeats(stream, c);
    return c;
}

int TEdiSegment::ReadRepetitions(TStream& stream, size_t position) {
    // Every occurrence gets a fresh copy of the position's definition; how many the definition allows
    // is for the checks to say, so that the values of a file that sends more are still shown.
    const int rep = static_cast<unsigned char>(Delimiters.RepetitionSeparator);
    int c = rep;
    while (c == rep) {
        TRepetition r{position, Elements[position]->CloneDef(), false};
        r.Element->ReadEdi(stream);
        Repetitions.push_back(std::move(r));
        c = NextChar(stream);
    }
    return c;
}

int TEdiSegment::ReadElementRepeats(TStream& stream, int c) {
    if (Elements.empty() || Elements.back()->RepeatCount <= 1) return c;
    const int elem = static_cast<unsigned char>(Delimiters.ElementSeparator);
    const size_t position = Elements.size() - 1;
    while (c == elem) {
        TRepetition r{position, Elements[position]->CloneDef(), true};
        r.Element->ReadEdi(stream);
        Repetitions.push_back(std::move(r));
        c = NextChar(stream);
    }
    return c;
}

// ---------------------------------------------------------------------------------------------------------
// Writing

void TEDIField::WriteEdi(TStream& stream) const {
    stream.WriteText(FormatValue(true));
}

void TEdiComposit::WriteEdi(TStream& stream) const {
    const int last = LastFilled();
    for (int i = 0; i <= last; ++i) {
        if (i > 0) stream.Write(&Delimiters.ComponentSeparator, 1);
        const auto& e = Elements[static_cast<size_t>(i)];
        if (e->LastFilled() >= 0) e->WriteEdi(stream);
    }
}

void TEdiSegment::WriteEdi(TStream& stream) const {
    const int last = LastFilled();
    if (last < 0) return;
    stream.WriteText(ID);
    for (int i = 0; i <= last; ++i) {
        stream.Write(&Delimiters.ElementSeparator, 1);
        const auto& e = Elements[static_cast<size_t>(i)];
        if (e->LastFilled() >= 0) e->WriteEdi(stream);
        if (Delimiters.RepetitionSeparator == 0) continue;
        for (const auto& r : Repetitions)
            if (r.Position == static_cast<size_t>(i)) {
                stream.Write(&Delimiters.RepetitionSeparator, 1);
                r.Element->WriteEdi(stream);
            }
    }
    stream.Write(&Delimiters.SegmentTerminator, 1);
    if (LineBreak) stream.WriteText("\r\n");
}

void TEDIField::WriteFixed(TStream& stream) const {
    std::string s = LastFilled() == 0 ? FormatValue(false) : std::string(FieldType == ftNumeric ? "0" : " ");
    const auto width = std::min<int64_t>(MaxSize, MaxPaddedWidth);
    if (static_cast<int64_t>(s.size()) < width) {
        const size_t pad = static_cast<size_t>(width) - s.size();
        if (FieldType == ftNumeric)
            s.insert(0, pad, ' ');
        else
            s.append(pad, ' ');
    }
    stream.WriteText(s);
}

void TEdiComposit::WriteFixed(TStream& stream) const {
    for (const auto& e : Elements)
        e->WriteFixed(stream);
}

void TEdiSegment::WriteFixed(TStream& stream) const {
    std::string tag = ID;
    tag.resize(10, ' ');
    stream.WriteText(tag);
    if (Elements.empty()) return;
    for (const auto& e : Elements)
        e->WriteFixed(stream);
    stream.WriteText("\r\n");
}

} // namespace talmiro
