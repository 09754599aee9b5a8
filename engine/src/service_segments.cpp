#include "talmiro/service_segments.h"

#include <initializer_list>
#include <memory>

namespace talmiro {

namespace {

struct TFieldSpec {
    const char* Id;
    const char* Description;
    TEdiFieldType Type;
    int32_t MinSize;
    int32_t MaxSize;
};

void AddSimple(TEdiComposit& owner, const TFieldSpec& spec) {
    owner.AddField(spec.Id);
    TEDIField& f = owner.FieldByID(spec.Id);
    f.Description = spec.Description;
    f.FieldType = spec.Type;
    f.MinSize = spec.MinSize;
    f.MaxSize = spec.MaxSize;
}

void AddGroup(TEdiSegment& segment, const char* id, const char* description,
              std::initializer_list<TFieldSpec> fields) {
    auto composite = std::make_unique<TEdiComposit>(id);
    composite->Description = description;
    for (const auto& spec : fields)
        AddSimple(*composite, spec);
    segment.AddElement(std::move(composite));
}

} // namespace

TSegmUNB::TSegmUNB() : TEdiSegment("UNB") {
    AddGroup(
        *this, "S001", "SYNTAX IDENTIFIER",
        {{"0001", "Syntax identifier", ftAlpha, 4, 4}, {"0002", "Syntax version number", ftNumeric, 1, 1}});
    AddGroup(*this, "S002", "INTERCHANGE SENDER",
             {{"0004", "Sender identification", ftAlnum, 1, 35},
              {"0007", "Partner identification code qualifier", ftAlnum, 1, 4},
              {"0008", "Address for reverse routing", ftAlnum, 1, 14}});
    AddGroup(*this, "S003", "INTERCHANGE RECIPIENT",
             {{"0010", "Recipient Identification", ftAlnum, 1, 35},
              {"0007", "Partner identification code qualifier", ftAlnum, 1, 4},
              {"0014", "Routing address", ftAlnum, 1, 14}});
    AddGroup(*this, "S004", "DATE/TIME OF PREPARATION",
             {{"0017", "Date", ftNumeric, 6, 6}, {"0019", "Time", ftNumeric, 4, 4}});
    AddSimple(*this, {"0020", "INTERCHANGE CONTROL REFERENCE", ftAlnum, 1, 14});
    AddGroup(*this, "S005", "RECIPIENTS REFERENCE, PASSWORD",
             {{"0022", "Recipient's reference/password", ftAlnum, 1, 14},
              {"0025", "Recipient's reference/password qualifier", ftAlnum, 2, 2}});
    AddSimple(*this, {"0026", "APPLICATION REFERENCE", ftAlnum, 1, 14});
    AddSimple(*this, {"0029", "PROCESSING PRIORITY CODE", ftAlpha, 1, 1});
    AddSimple(*this, {"0031", "ACKNOWLEDGEMENT REQUEST", ftNumeric, 1, 1});
    AddSimple(*this, {"0032", "COMMUNICATIONS AGREEMENT ID", ftAlnum, 1, 35});
    AddSimple(*this, {"0035", "TEST INDICATOR", ftNumeric, 1, 1});
}

TSegmUNG::TSegmUNG() : TEdiSegment("UNG") {
    AddSimple(*this, {"0038", "", ftAlnum, 1, 6});
    AddGroup(*this, "S006", "", {{"0040", "", ftAlnum, 1, 35}, {"0007", "", ftAlnum, 1, 4}});
    AddGroup(*this, "S007", "", {{"0044", "", ftAlnum, 1, 35}, {"0007", "", ftAlnum, 1, 4}});
    AddGroup(*this, "S004", "", {{"0017", "", ftNumeric, 6, 6}, {"0019", "", ftNumeric, 4, 4}});
    AddSimple(*this, {"0048", "", ftAlnum, 1, 14});
    AddSimple(*this, {"0051", "", ftAlnum, 1, 2});
    AddGroup(*this, "S008", "",
             {{"0052", "", ftAlnum, 1, 3}, {"0054", "", ftAlnum, 1, 3}, {"0057", "", ftAlnum, 1, 6}});
    AddSimple(*this, {"0058", "", ftAlnum, 1, 14});
}

TSegmUNH::TSegmUNH() : TEdiSegment("UNH") {
    AddSimple(*this, {"0062", "MESSAGE REFERENCE NUMBER", ftAlnum, 1, 14});
    AddGroup(*this, "S009", "MESSAGE IDENTIFIER",
             {{"0065", "Message type identifier", ftAlnum, 1, 6},
              {"0052", "Message version number", ftAlnum, 1, 3},
              {"0054", "Message release number", ftAlnum, 1, 3},
              {"0051", "Controlling agency", ftAlnum, 1, 2},
              {"0057", "Association assigned code", ftAlnum, 1, 6}});
    AddSimple(*this, {"0068", "COMMON ACCESS REFERENCE", ftAlnum, 1, 35});
    AddGroup(*this, "S010", "STATUS OF THE TRANSFER",
             {{"0070", "Sequence of transfers", ftNumeric, 1, 2},
              {"0073", "First/last sequence message transfer indication", ftAlpha, 1, 1}});
}

TSegmUNT::TSegmUNT() : TEdiSegment("UNT") {
    AddSimple(*this, {"0074", "NUMBER OF SEGMENTS IN THE MESSAGE", ftNumeric, 1, 6});
    AddSimple(*this, {"0062", "MESSAGE REFERENCE NUMBER", ftAlnum, 1, 14});
}

TSegmUNE::TSegmUNE() : TEdiSegment("UNE") {
    AddSimple(*this, {"0060", "", ftNumeric, 1, 6});
    AddSimple(*this, {"0048", "", ftAlnum, 1, 14});
}

TSegmUNZ::TSegmUNZ() : TEdiSegment("UNZ") {
    AddSimple(*this, {"0036", "INTERCHANGE CONTROL COUNT", ftNumeric, 1, 6});
    AddSimple(*this, {"0020", "INTERCHANGE CONTROL REFERENCE", ftAlnum, 1, 14});
}

// Syntax version 4. The date of S004 takes 6 digits as well as 8: passenger data sent under version 4
// keeps the 6-digit date of the earlier versions.
TSegmUNB4::TSegmUNB4() : TEdiSegment("UNB") {
    AddGroup(*this, "S001", "SYNTAX IDENTIFIER",
             {{"0001", "Syntax identifier", ftAlpha, 4, 4},
              {"0002", "Syntax version number", ftAlnum, 1, 1},
              {"0080", "Service code list directory version number", ftAlnum, 1, 6},
              {"0133", "Character encoding, coded", ftAlnum, 1, 3},
              {"0076", "Syntax release number", ftAlnum, 2, 2}});
    AddGroup(*this, "S002", "INTERCHANGE SENDER",
             {{"0004", "Interchange sender identification", ftAlnum, 1, 35},
              {"0007", "Identification code qualifier", ftAlnum, 1, 4},
              {"0008", "Interchange sender internal identification", ftAlnum, 1, 35},
              {"0042", "Interchange sender internal sub-identification", ftAlnum, 1, 35}});
    AddGroup(*this, "S003", "INTERCHANGE RECIPIENT",
             {{"0010", "Interchange recipient identification", ftAlnum, 1, 35},
              {"0007", "Identification code qualifier", ftAlnum, 1, 4},
              {"0014", "Interchange recipient internal identification", ftAlnum, 1, 35},
              {"0046", "Interchange recipient internal sub-identification", ftAlnum, 1, 35}});
    AddGroup(*this, "S004", "DATE AND TIME OF PREPARATION",
             {{"0017", "Date", ftNumeric, 6, 8}, {"0019", "Time", ftNumeric, 4, 4}});
    AddSimple(*this, {"0020", "INTERCHANGE CONTROL REFERENCE", ftAlnum, 1, 14});
    AddGroup(*this, "S005", "RECIPIENT REFERENCE/PASSWORD DETAILS",
             {{"0022", "Recipient reference/password", ftAlnum, 1, 14},
              {"0025", "Recipient reference/password qualifier", ftAlnum, 2, 2}});
    AddSimple(*this, {"0026", "APPLICATION REFERENCE", ftAlnum, 1, 14});
    AddSimple(*this, {"0029", "PROCESSING PRIORITY CODE", ftAlpha, 1, 1});
    AddSimple(*this, {"0031", "ACKNOWLEDGEMENT REQUEST", ftNumeric, 1, 1});
    AddSimple(*this, {"0032", "INTERCHANGE AGREEMENT IDENTIFIER", ftAlnum, 1, 35});
    AddSimple(*this, {"0035", "TEST INDICATOR", ftNumeric, 1, 1});
}

TSegmUNG4::TSegmUNG4() : TEdiSegment("UNG") {
    AddSimple(*this, {"0038", "MESSAGE GROUP IDENTIFICATION", ftAlnum, 1, 6});
    AddGroup(*this, "S006", "APPLICATION SENDER IDENTIFICATION",
             {{"0040", "Application sender identification", ftAlnum, 1, 35},
              {"0007", "Identification code qualifier", ftAlnum, 1, 4}});
    AddGroup(*this, "S007", "APPLICATION RECIPIENT IDENTIFICATION",
             {{"0044", "Application recipient identification", ftAlnum, 1, 35},
              {"0007", "Identification code qualifier", ftAlnum, 1, 4}});
    AddGroup(*this, "S004", "DATE AND TIME OF PREPARATION",
             {{"0017", "Date", ftNumeric, 6, 8}, {"0019", "Time", ftNumeric, 4, 4}});
    AddSimple(*this, {"0048", "GROUP REFERENCE NUMBER", ftAlnum, 1, 14});
    AddSimple(*this, {"0051", "CONTROLLING AGENCY, CODED", ftAlnum, 1, 3});
    AddGroup(*this, "S008", "MESSAGE VERSION",
             {{"0052", "Message version number", ftAlnum, 1, 3},
              {"0054", "Message release number", ftAlnum, 1, 3},
              {"0057", "Association assigned code", ftAlnum, 1, 6}});
    AddSimple(*this, {"0058", "APPLICATION PASSWORD", ftAlnum, 1, 14});
}

TSegmUNH4::TSegmUNH4() : TEdiSegment("UNH") {
    AddSimple(*this, {"0062", "MESSAGE REFERENCE NUMBER", ftAlnum, 1, 14});
    AddGroup(*this, "S009", "MESSAGE IDENTIFIER",
             {{"0065", "Message type", ftAlnum, 1, 6},
              {"0052", "Message version number", ftAlnum, 1, 3},
              {"0054", "Message release number", ftAlnum, 1, 3},
              {"0051", "Controlling agency, coded", ftAlnum, 1, 3},
              {"0057", "Association assigned code", ftAlnum, 1, 6},
              {"0110", "Code list directory version number", ftAlnum, 1, 6},
              {"0113", "Message type sub-function identification", ftAlnum, 1, 6}});
    AddSimple(*this, {"0068", "COMMON ACCESS REFERENCE", ftAlnum, 1, 35});
    AddGroup(*this, "S010", "STATUS OF THE TRANSFER",
             {{"0070", "Sequence of transfers", ftNumeric, 1, 2},
              {"0073", "First and last transfer", ftAlpha, 1, 1}});
    AddGroup(*this, "S016", "MESSAGE SUBSET IDENTIFICATION",
             {{"0115", "Message subset identification", ftAlnum, 1, 14},
              {"0116", "Message subset version number", ftAlnum, 1, 3},
              {"0118", "Message subset release number", ftAlnum, 1, 3},
              {"0051", "Controlling agency, coded", ftAlnum, 1, 3}});
    AddGroup(*this, "S017", "MESSAGE IMPLEMENTATION GUIDELINE IDENTIFICATION",
             {{"0121", "Message implementation guideline identification", ftAlnum, 1, 14},
              {"0122", "Message implementation guideline version number", ftAlnum, 1, 3},
              {"0124", "Message implementation guideline release number", ftAlnum, 1, 3},
              {"0051", "Controlling agency, coded", ftAlnum, 1, 3}});
    AddGroup(*this, "S018", "SCENARIO IDENTIFICATION",
             {{"0127", "Scenario identification", ftAlnum, 1, 14},
              {"0128", "Scenario version number", ftAlnum, 1, 3},
              {"0130", "Scenario release number", ftAlnum, 1, 3},
              {"0051", "Controlling agency, coded", ftAlnum, 1, 3}});
}

TSegmUNT4::TSegmUNT4() : TEdiSegment("UNT") {
    AddSimple(*this, {"0074", "NUMBER OF SEGMENTS IN A MESSAGE", ftNumeric, 1, 10});
    AddSimple(*this, {"0062", "MESSAGE REFERENCE NUMBER", ftAlnum, 1, 14});
}

TSegmUNE4::TSegmUNE4() : TEdiSegment("UNE") {
    AddSimple(*this, {"0060", "GROUP CONTROL COUNT", ftNumeric, 1, 6});
    AddSimple(*this, {"0048", "GROUP REFERENCE NUMBER", ftAlnum, 1, 14});
}

TSegmUNZ4::TSegmUNZ4() : TEdiSegment("UNZ") {
    AddSimple(*this, {"0036", "INTERCHANGE CONTROL COUNT", ftNumeric, 1, 6});
    AddSimple(*this, {"0020", "INTERCHANGE CONTROL REFERENCE", ftAlnum, 1, 14});
}

} // namespace talmiro
