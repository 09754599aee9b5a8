#include "talmiro/interchange_export.h"

#include "tree_test_util.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using namespace talmiro;
using test::StandardsDir;

namespace {

std::string Export(StandardsDir& dir, const std::string& text, TExportFormat format, bool names = false) {
    TMemoryStream input(text);
    std::string out;
    ExportInterchange(input, &dir.Catalogue, {format, names},
                      [&out](std::string_view bytes) { out += bytes; });
    return out;
}

std::string Import(const std::string& text, bool oneLine = false) {
    TMemoryStream input(text);
    std::string out;
    ImportInterchange(
        input, [&out](std::string_view bytes) { out += bytes; }, oneLine);
    return out;
}

std::string ImportError(const std::string& text) {
    try {
        Import(text);
    } catch (const EImportError& e) {
        return e.what();
    }
    return "no error";
}

// Two NAD groups, the second with fewer elements than the first, a CTA group inside the first.
const std::string Orders = "UNB+UNOC:3+SENDER+RECEIVER+200101:1200+IC1'\n"
                           "UNH+M1+ORDERS:D:96A:UN'\n"
                           "BGM+220:9+PO?+1?:A?'B??+9'\n"
                           "NAD+BY+Caf\xE9, Ltd'\n"
                           "CTA+IC'\n"
                           "NAD+SU'\n"
                           "UNT+6+M1'\n"
                           "UNZ+1+IC1'\n";

} // namespace

TEST(Export, JsonFollowsTheTreeAndShowsOnlyEachSegmentsOwnValues) {
    StandardsDir dir;
    const auto doc = nlohmann::json::parse(Export(dir, Orders, TExportFormat::Json));
    EXPECT_EQ(doc["encoding"], "latin-1");
    EXPECT_EQ(doc["delimiters"]["advice"], false);
    EXPECT_EQ(doc["delimiters"]["release"], "?");
    const auto& top = doc["interchange"];
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0]["segment"], "UNB");
    EXPECT_EQ(top[1]["message"], "ORDERS/D96A: M1");
    const auto& message = top[1]["children"];
    EXPECT_EQ(message[1]["elements"][1], nlohmann::json({{"id", "1004"}, {"value", "PO+1:A'B?"}}));
    EXPECT_EQ(message[2]["group"], 1);
    EXPECT_EQ(message[2]["children"][0]["elements"][1]["value"], "Caf\u00e9, Ltd");
    EXPECT_EQ(message[2]["children"][1]["group"], 2);
    // The second NAD is read into the same object as the first: it must not keep the first one's name.
    EXPECT_EQ(message[3]["repetition"], 2);
    EXPECT_EQ(message[3]["children"][0]["elements"],
              nlohmann::json::parse(R"([{"id":"3035","value":"SU"}])"));
}

TEST(Export, CsvHasOneQuotedRowPerValue) {
    StandardsDir dir;
    const std::string csv = Export(dir, Orders, TExportFormat::Csv);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "interchange,message reference,type/release,group path,segment number,tag,element id,component "
              "id,occurrence,value,code name,description");
    EXPECT_NE(
        csv.find("\r\nIC1,M1,ORDERS/D96A,SG1,4,NAD,X123456789,,1,\"Caf\u00e9, Ltd\",,A long identifier\r\n"),
        std::string::npos);
    EXPECT_NE(csv.find("\r\nIC1,M1,ORDERS/D96A,SG1/SG2,5,CTA,3139,,1,IC,,\"CONTACT FUNCTION, CODED\"\r\n"),
              std::string::npos)
        << csv;
}

TEST(Export, JsonAndXmlImportBackToTheSameInterchange) {
    StandardsDir dir;
    for (TExportFormat format : {TExportFormat::Json, TExportFormat::Xml}) {
        EXPECT_EQ(Import(Export(dir, Orders, format, true)), Orders);
        // Delimiters of an advice are written back with it.
        std::string other = Orders;
        for (char& c : other)
            c = c == '+' ? '*' : c == ':' ? '|' : c == '\'' ? '!' : c == '?' ? '#' : c;
        other = "UNA|*,# !\n" + other;
        EXPECT_EQ(Import(Export(dir, other, format)), other);
    }
}

TEST(Export, XmlIsReadOnlyInTheLayoutItIsWritten) {
    StandardsDir dir;
    const std::string xml = Export(dir, Orders, TExportFormat::Xml);
    EXPECT_NE(xml.find("<element id=\"1004\">PO+1:A'B?</element>"), std::string::npos) << xml;
    auto with = [&xml](const std::string& from, const std::string& to) {
        std::string changed = xml;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    EXPECT_EQ(ImportError(with("<segment tag=\"BGM\">", "<!-- x --><segment tag=\"BGM\">")),
              "XML, byte 901: comments, DOCTYPE, CDATA and processing instructions are not read");
    EXPECT_EQ(ImportError(with("PO+1", "PO&#1;")),
              "XML, byte 1039: character reference &#1; is no XML character");
    EXPECT_EQ(ImportError(with("</segment>", "</segmen>")),
              "XML, byte 623: <element>, <composite> or </segment> expected");
    EXPECT_EQ(ImportError(with(">SU<", ">\xC5\x81<")),
              "The value of 3035 in NAD holds a character beyond Latin-1");
}

TEST(Import, RefusesJsonThatIsNoExport) {
    const std::string head = R"({"format":"talmiro-export","version":1,"encoding":"latin-1",)";
    const std::string delimiters =
        R"("delimiters":{"advice":false,"component":":","element":"+","decimal":".",)"
        R"("release":"?","reserved":" ","repetition":"","terminator":"'"},)";
    EXPECT_EQ(ImportError(R"({"format":"other"})"),
              "Not a talmiro export: \"format\" is not \"talmiro-export\"");
    EXPECT_EQ(ImportError(head + R"("interchange":[{"segment":"UNB","elements":[]}]})"),
              "The encoding and the delimiters must come before the first segment");
    EXPECT_EQ(ImportError(head + delimiters +
                          R"("interchange":[{"segment":"COM","elements":[{"id":"C076","occurrence":2}]}]})"),
              "Occurrence 2 of element C076 in COM does not follow occurrence 1");
    EXPECT_EQ(ImportError(head + delimiters +
                          R"("interchange":[{"segment":"FTX","elements":[{"id":"4440","value":"a\nb"}]}]})"),
              "The value of 4440 in FTX holds a control character, which the interchange cannot carry");
    EXPECT_EQ(ImportError(head + delimiters + R"("interchange":[]})"), "The export holds no segment");
    EXPECT_EQ(ImportError("{\"interchange\":" + std::string(100'000, '[')),
              "The export is nested too deeply");
    EXPECT_EQ(
        Import(
            head + delimiters +
            R"("interchange":[{"message":"x","reference":"1","children":[{"segment":"COM","elements":[)"
            R"({"id":"C076","occurrence":1,"components":[{"id":"3148","value":"1"}]},)"
            R"({"id":"C076","occurrence":2,"components":[{"id":"3148"},{"id":"3155","value":"EM"}]}]}]}]})"),
        "COM+1+:EM'\n");
}
