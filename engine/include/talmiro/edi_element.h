// The element model: one object is at once the definition of a simple data element, a composite or a
// segment and the holder of the values last read into it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace talmiro {

class TStream;
class TDefWriter;
class TCodeList;

constexpr size_t MaxIdLength = 10;
constexpr size_t MaxDescriptionLength = 50;
// Padding to MinSize and MaxSize stops at this width, so that a damaged definition with an absurd size
// cannot make writing a value allocate gigabytes. Real element sizes are far below it.
constexpr int32_t MaxPaddedWidth = 1 << 16;

// The first n bytes of a text (identifiers keep 10, descriptions 50).
inline std::string CutText(std::string_view text, size_t n) {
    return std::string(text.substr(0, n));
}

enum TEdiFieldType : uint8_t { ftNumeric = 0, ftAlpha = 1, ftAlnum = 2 };

// The value of a simple element. The kinds are those a value can take; the numbers are the codes of
// the kinds as the variant error reports them.
struct TVarNull {
    bool operator==(const TVarNull&) const = default;
};
struct TVarCurrency {
    int64_t Scaled = 0; // the amount times 10000
    bool operator==(const TVarCurrency&) const = default;
};
struct TVarDate {
    double Days = 0; // days since 30 December 1899
    bool operator==(const TVarDate&) const = default;
};
using TVariant = std::variant<std::monostate /* unassigned */, TVarNull, std::string, uint8_t, int16_t,
                              int32_t, float, double, TVarCurrency, TVarDate>;
// The code of a value's kind: 0 unassigned, 1 null, 0x100 text, 0x11 byte, 2 16-bit, 3 32-bit, 4 single,
// 5 double, 6 currency, 7 date.
uint16_t VarTypeCode(const TVariant& value);

class TEDIField;
class TEdiComposit;

// What an element is, kept in the element so that code walking a segment needs no type query per value.
enum class TElementKind : uint8_t { Field, Composite, Segment };

class TEdiElement {
public:
    virtual ~TEdiElement() = default;
    TEdiElement(const TEdiElement&) = delete;
    TEdiElement& operator=(const TEdiElement&) = delete;

    std::string ID;
    // How often the element may occur at its position in a segment (repeating data elements of syntax
    // version 4); 1 for every element that does not repeat.
    int32_t RepeatCount = 1;
    // The directory's status M: the element must be present whenever its container is. False for a
    // conditional element and for every element of a definition that states no status.
    bool Mandatory = false;
    const TElementKind Kind;

    // The element as a simple element, or as a composite (segments included); none when it is not one.
    TEDIField* AsField();
    const TEDIField* AsField() const;
    TEdiComposit* AsComposite();
    const TEdiComposit* AsComposite() const;

    virtual void WriteEdi(TStream& stream) const = 0;
    virtual void WriteFixed(TStream& stream) const = 0;
    virtual void ReadEdi(TStream& stream) = 0;
    virtual void Clear() = 0;
    virtual int LastFilled() const = 0;
    virtual void WriteDef(TDefWriter& writer) const = 0;
    // A new element with the same definition and no values.
    virtual std::unique_ptr<TEdiElement> CloneDef() const = 0;

protected:
    TEdiElement(std::string_view id, TElementKind kind) : ID(CutText(id, MaxIdLength)), Kind(kind) {}
    // The records of the status and the repeat count before an element's own record, when the element
    // is mandatory or repeats.
    void WriteAttributeDefs(TDefWriter& writer) const;
};

// A simple data element.
class TEDIField : public TEdiElement {
public:
    explicit TEDIField(std::string_view id);
    ~TEDIField() override;

    TVariant Value = std::string();
    std::string RawText;
    TEdiFieldType FieldType = ftNumeric;
    int32_t MinSize = 0;
    int32_t MaxSize = 0;
    std::string Description;
    // The element's code list in the release of the table it belongs to, resolved once by the checks when
    // the table is loaded; none when nothing resolved it or the element has no list.
    const TCodeList* CodeList = nullptr;

    void WriteEdi(TStream& stream) const override;
    void WriteFixed(TStream& stream) const override;
    void ReadEdi(TStream& stream) override;
    void Clear() override;
    int LastFilled() const override;
    void WriteDef(TDefWriter& writer) const override;
    std::unique_ptr<TEdiElement> CloneDef() const override;

    int32_t AsInteger() const noexcept;
    std::string AsString() const;
    std::string FormatValue(bool escape) const;

private:
    // Takes the text of a value just read as RawText and, by FieldType, as Value.
    void StoreRead(std::string_view text);
};

// A composite data element: an ordered list of elements it owns.
class TEdiComposit : public TEdiElement {
public:
    explicit TEdiComposit(std::string_view id) : TEdiElement(id, TElementKind::Composite) {}

    std::vector<std::unique_ptr<TEdiElement>> Elements;
    std::string Description;
    // How many of Elements the last ReadEdi reached, empty ones included; the others were not in the text
    // and still hold what an earlier reading put there.
    int32_t ReadCount = 0;

    void WriteEdi(TStream& stream) const override;
    void WriteFixed(TStream& stream) const override;
    void ReadEdi(TStream& stream) override;
    void Clear() override;
    int LastFilled() const override;
    void WriteDef(TDefWriter& writer) const override;
    std::unique_ptr<TEdiElement> CloneDef() const override;

    // Appends the element unless a simple element with its ID is already there (then it is discarded).
    void AddElement(std::unique_ptr<TEdiElement> element);
    void AddField(std::string_view id);
    TEDIField* FindField(std::string_view id) const;
    // FindField; raises EListError "Undefined Composit Element <ID>.<id>" when absent.
    TEDIField& FieldByID(std::string_view id) const;

protected:
    TEdiComposit(std::string_view id, TElementKind kind) : TEdiElement(id, kind) {}
};

// A segment: a composite whose identifier is the segment tag.
class TEdiSegment : public TEdiComposit {
public:
    explicit TEdiSegment(std::string_view tag) : TEdiComposit(tag, TElementKind::Segment) {}

    bool LineBreak = false;
    int64_t StartPos = 0; // where the last ReadEdi began
    int64_t EndPos = 0;   // the position of the terminator that ended the last ReadEdi

    // The second and later occurrences of repeating elements as the last ReadEdi found them, in file
    // order; the first occurrence is the element itself.
    struct TRepetition {
        size_t Position = 0; // index in Elements
        std::unique_ptr<TEdiElement> Element;
        bool ByElementSeparator = false; // sent as a further data element rather than a repeat
    };
    std::vector<TRepetition> Repetitions;
    // How often the element at a position occurred in the last ReadEdi (0 when the text left it out).
    int Occurrences(size_t position) const;

    void WriteEdi(TStream& stream) const override;
    void WriteFixed(TStream& stream) const override;
    void ReadEdi(TStream& stream) override;
    void Clear() override;
    void WriteDef(TDefWriter& writer) const override;

    void AddComposit(std::string_view id);
    TEdiComposit* FindComposit(std::string_view id) const;
    void SeekStart(TStream& stream) const;

private:
    // The elements of a segment of syntax version 4, where an element may repeat; returns the character
    // after the last one read.
    int ReadElementsWithRepeats(TStream& stream, int c);
    // Reads further occurrences of the element at position while the repetition separator follows;
    // returns the character after the last one.
    int ReadRepetitions(TStream& stream, size_t position);
    // Reads further data elements as occurrences of the repeating last element; returns the character
    // after them.
    int ReadElementRepeats(TStream& stream, int c);
};

inline TEDIField* TEdiElement::AsField() {
    return Kind == TElementKind::Field ? static_cast<TEDIField*>(this) : nullptr;
}
inline const TEDIField* TEdiElement::AsField() const {
    return Kind == TElementKind::Field ? static_cast<const TEDIField*>(this) : nullptr;
}
inline TEdiComposit* TEdiElement::AsComposite() {
    return Kind != TElementKind::Field ? static_cast<TEdiComposit*>(this) : nullptr;
}
inline const TEdiComposit* TEdiElement::AsComposite() const {
    return Kind != TElementKind::Field ? static_cast<const TEdiComposit*>(this) : nullptr;
}

} // namespace talmiro
