// The envelope segments a message table must know besides the directory's own: the reader reads UNH and
// UNT as parts of a message and the segment after UNT (UNH, UNE, UNZ, UNG) through the message's table.
// Their elements are those of the engine's built-in envelope segments; UNS is the section control.
// Kept in tag order.
#include "talmiro/untdid.h"

namespace talmiro::untdid {

namespace {

TElementDef Field(const char* id, TRepr repr, int minSize, int maxSize, const char* name = "") {
    TElementDef e;
    e.ID = id;
    e.Name = name;
    e.Repr = repr;
    e.MinSize = minSize;
    e.MaxSize = maxSize;
    return e;
}

TElementDef Composite(const char* id, const char* name, std::vector<TElementDef> components) {
    TElementDef e;
    e.ID = id;
    e.Name = name;
    e.IsComposite = true;
    e.Components = std::move(components);
    return e;
}

constexpr TRepr a = TRepr::Alpha;
constexpr TRepr n = TRepr::Numeric;
constexpr TRepr an = TRepr::Alnum;

} // namespace

std::vector<TSegmentDef> ServiceSegments() {
    std::vector<TSegmentDef> segments;
    segments.push_back(
        {"UNE", "FUNCTIONAL GROUP TRAILER", {Field("0060", n, 1, 6), Field("0048", an, 1, 14)}});
    segments.push_back(
        {"UNG",
         "FUNCTIONAL GROUP HEADER",
         {Field("0038", an, 1, 6), Composite("S006", "", {Field("0040", an, 1, 35), Field("0007", an, 1, 4)}),
          Composite("S007", "", {Field("0044", an, 1, 35), Field("0007", an, 1, 4)}),
          Composite("S004", "", {Field("0017", n, 6, 6), Field("0019", n, 4, 4)}), Field("0048", an, 1, 14),
          Field("0051", an, 1, 2),
          Composite("S008", "", {Field("0052", an, 1, 3), Field("0054", an, 1, 3), Field("0057", an, 1, 6)}),
          Field("0058", an, 1, 14)}});
    // Anti-collision segment groups of syntax version 4, used by a few later messages.
    segments.push_back({"UGH",
                        "ANTI-COLLISION SEGMENT GROUP HEADER",
                        {Field("0087", an, 1, 4, "ANTI-COLLISION SEGMENT GROUP IDENTIFICATION")}});
    segments.push_back({"UGT",
                        "ANTI-COLLISION SEGMENT GROUP TRAILER",
                        {Field("0087", an, 1, 4, "ANTI-COLLISION SEGMENT GROUP IDENTIFICATION")}});
    segments.push_back(
        {"UNH",
         "MESSAGE HEADER",
         {Field("0062", an, 1, 14, "MESSAGE REFERENCE NUMBER"),
          Composite("S009", "MESSAGE IDENTIFIER",
                    {Field("0065", an, 1, 6, "Message type identifier"),
                     Field("0052", an, 1, 3, "Message version number"),
                     Field("0054", an, 1, 3, "Message release number"),
                     Field("0051", an, 1, 2, "Controlling agency"),
                     Field("0057", an, 1, 6, "Association assigned code")}),
          Field("0068", an, 1, 35, "COMMON ACCESS REFERENCE"),
          Composite("S010", "STATUS OF THE TRANSFER",
                    {Field("0070", n, 1, 2, "Sequence of transfers"),
                     Field("0073", a, 1, 1, "First/last sequence message transfer indication")})}});
    segments.push_back({"UNS", "SECTION CONTROL", {Field("0081", a, 1, 1, "SECTION IDENTIFICATION")}});
    segments.push_back({"UNT",
                        "MESSAGE TRAILER",
                        {Field("0074", n, 1, 6, "NUMBER OF SEGMENTS IN THE MESSAGE"),
                         Field("0062", an, 1, 14, "MESSAGE REFERENCE NUMBER")}});
    segments.push_back({"UNZ",
                        "INTERCHANGE TRAILER",
                        {Field("0036", n, 1, 6, "INTERCHANGE CONTROL COUNT"),
                         Field("0020", an, 1, 14, "INTERCHANGE CONTROL REFERENCE")}});
    return segments;
}

} // namespace talmiro::untdid
