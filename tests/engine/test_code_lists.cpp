#include "talmiro/code_lists.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace talmiro;

namespace {

std::string ParseError(const std::string& text) {
    try {
        TCodeLists::Parse(text, "CODES.CLT");
    } catch (const ECodeListError& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace

TEST(CodeLists, TextReadsBackAndLooksUpByCode) {
    TCodeLists lists;
    lists.Add("3035", "BY", "Buyer");
    lists.Add("3035", "SU", "Supplier");
    lists.Add("3035", "BY", "Second name is ignored");
    lists.Add("1001", "220", "Order");
    lists.Seal();
    const std::string text = lists.Text();
    EXPECT_EQ(text.substr(0, 21), "EDIFACT CODE LISTS 1\n");

    TCodeLists read = TCodeLists::Parse(text, "CODES.CLT");
    EXPECT_EQ(read.ListCount(), 2u);
    EXPECT_EQ(read.CodeCount(), 3u);
    ASSERT_NE(read.Name("3035", "SU"), nullptr);
    EXPECT_EQ(*read.Name("3035", "SU"), "Supplier");
    EXPECT_EQ(*read.Name("3035", "BY"), "Buyer");
    // A repetition of an element in a segment uses the element's list.
    EXPECT_EQ(*read.Name("3035.2", "BY"), "Buyer");
    EXPECT_EQ(read.Name("3035", "XX"), nullptr);
    EXPECT_EQ(read.Name("3035", "by"), nullptr);
    EXPECT_EQ(read.Name("9999", "BY"), nullptr);
    EXPECT_TRUE(read.HasList("1001"));
    EXPECT_FALSE(read.HasList("1004"));
    EXPECT_EQ(read.Text(), text);
}

TEST(CodeLists, DamagedFilesAreRefusedWithTheLine) {
    const std::string h = "EDIFACT CODE LISTS 1\n";
    EXPECT_EQ(ParseError(h), "<no error>");
    EXPECT_EQ(ParseError(h + "=6411\n=1001\n1\t\n"), "<no error>");
    EXPECT_EQ(ParseError(""), "Code list file CODES.CLT is damaged (line 0): not a code-list file");
    EXPECT_EQ(ParseError("EDIFACT CODE LISTS 2\n"),
              "Code list file CODES.CLT is damaged (line 1): not a code-list file");
    EXPECT_EQ(ParseError(h + "=1001\n220\tOrder"),
              "Code list file CODES.CLT is damaged (line 3): the last line has no line end");
    EXPECT_EQ(ParseError(h + "220\tOrder\n"),
              "Code list file CODES.CLT is damaged (line 2): code before the first list");
    EXPECT_EQ(ParseError(h + "=100\n"),
              "Code list file CODES.CLT is damaged (line 2): element identifier expected");
    EXPECT_EQ(ParseError(h + "=1001\n=1001\n"),
              "Code list file CODES.CLT is damaged (line 3): second list of 1001");
    EXPECT_EQ(ParseError(h + "=1001\n220 Order\n"), "Code list file CODES.CLT is damaged (line 3): tab expected");
    EXPECT_EQ(ParseError(h + "=1001\n\tOrder\n"), "Code list file CODES.CLT is damaged (line 3): invalid code");
    EXPECT_EQ(ParseError(h + "=1001\n2 0\tOrder\n"), "Code list file CODES.CLT is damaged (line 3): invalid code");
    EXPECT_EQ(ParseError(h + "=1001\n" + std::string(36, '9') + "\tx\n"),
              "Code list file CODES.CLT is damaged (line 3): invalid code");
    EXPECT_EQ(ParseError(h + "=1001\n220\tOr\rder\n"), "Code list file CODES.CLT is damaged (line 3): invalid name");
    EXPECT_EQ(ParseError(h + "=1001\n220\t" + std::string(256, 'x') + "\n"),
              "Code list file CODES.CLT is damaged (line 3): invalid name");
    EXPECT_EQ(ParseError(h + "=1001\n220\tOrder\n1\tx\n220\tOrder\n"),
              "Code list file CODES.CLT is damaged: code 220 stands twice in the list of 1001");
}

TEST(CodeLists, LoadReadsAFileAndNamesItInErrors) {
    const std::string path = ::testing::TempDir() + "talmiro_codes_test.clt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "EDIFACT CODE LISTS 1\n=3035\nBY\tBuyer\n";
    }
    EXPECT_EQ(*TCodeLists::Load(path).Name("3035", "BY"), "Buyer");
    {
        std::ofstream out(path, std::ios::binary);
        out << "EDIFACT CODE LISTS 1\n=3035\nBY\n";
    }
    try {
        TCodeLists::Load(path);
        ADD_FAILURE() << "damaged file read";
    } catch (const ECodeListError& e) {
        EXPECT_EQ(std::string(e.what()), "Code list file " + path + " is damaged (line 3): tab expected");
    }
    std::remove(path.c_str());
    EXPECT_THROW(TCodeLists::Load(path), EFOpenError);
}
