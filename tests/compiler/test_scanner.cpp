#include "compiler_test_util.h"

#include "talmiro/scanner.h"

#include <filesystem>

using namespace talmiro;
using talmiro::test::TempDir;

namespace {

struct Token {
    TTokenKind Kind;
    TTokenValue Value;
    bool operator==(const Token&) const = default;
};

Token Tok(TTokenKind kind) {
    return {kind, std::string()};
}
Token Str(const std::string& text) {
    return {tkString, text};
}
Token Id(const std::string& text) {
    return {tkIdentifier, text};
}
Token Int(int32_t value) {
    return {tkInteger, value};
}

// Every token of the source up to the end; value-less tokens are recorded with an empty text.
std::vector<Token> Scan(const std::string& source, int32_t* lines = nullptr) {
    TempDir dir;
    TScanner scanner;
    scanner.SetSourceFile(dir.Write("s.sdf", source));
    scanner.SetActive(true);
    std::vector<Token> tokens;
    for (;;) {
        TTokenKind kind = scanner.NextToken();
        if (kind == tkEndOfSource) break;
        if (kind == tkString || kind == tkIdentifier || kind == tkInteger)
            tokens.push_back({kind, scanner.TokenValue()});
        else
            tokens.push_back(Tok(kind));
    }
    EXPECT_EQ(scanner.NextToken(), tkEndOfSource); // and again at every further call
    if (lines) *lines = scanner.LineNumber();
    return tokens;
}

std::string ScanError(const std::string& source, int32_t* line = nullptr) {
    TempDir dir;
    TScanner scanner;
    scanner.SetSourceFile(dir.Write("s.sdf", source));
    scanner.SetActive(true);
    try {
        while (scanner.NextToken() != tkEndOfSource) {
        }
    } catch (const Exception& e) {
        if (line) *line = scanner.LineNumber();
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(Scanner, KeywordsInTableOrderAnyCase) {
    const char* words[] = {"SEGMENTS",       "segment",     "Composit", "FIELD",     "message",
                           "IDENTIFICATION", "structure",   "Memo",     "MANDATORY", "conditional",
                           "GROUP",          "description", "eNd"};
    for (int i = 0; i < 13; ++i) {
        auto tokens = Scan(words[i]);
        ASSERT_EQ(tokens.size(), 1u) << words[i];
        EXPECT_EQ(tokens[0].Kind, i + 1) << words[i];
    }
    // A keyword leaves the value of the previous token alone.
    TempDir dir;
    TScanner scanner;
    scanner.SetSourceFile(dir.Write("k.sdf", "Abc END"));
    scanner.SetActive(true);
    EXPECT_EQ(scanner.NextToken(), tkIdentifier);
    EXPECT_EQ(scanner.NextToken(), tkEnd);
    EXPECT_EQ(scanner.TokenText(), "Abc");
}

TEST(Scanner, PunctuationIdentifiersAndIntegers) {
    EXPECT_EQ(Scan(";)(:=,"), (std::vector<Token>{Tok(tkSemicolon), Tok(tkRightParen), Tok(tkLeftParen),
                                                  Tok(tkColon), Tok(tkEquals), Tok(tkComma)}));
    EXPECT_EQ(Scan("SEGMENTS2 alNum"), (std::vector<Token>{Id("SEGMENTS2"), Id("alNum")}));
    EXPECT_EQ(Scan("12AB 007 2147483647"), (std::vector<Token>{Int(12), Id("AB"), Int(7), Int(2147483647)}));
    EXPECT_EQ(Scan("(1:14)"),
              (std::vector<Token>{Tok(tkLeftParen), Int(1), Tok(tkColon), Int(14), Tok(tkRightParen)}));
    // Tokens at the very end of the source give nothing back.
    EXPECT_EQ(Scan("42"), (std::vector<Token>{Int(42)}));
    EXPECT_EQ(Scan("x9"), (std::vector<Token>{Id("x9")}));
}

TEST(Scanner, IntegerAboveRangeIsAnError) {
    EXPECT_EQ(ScanError("2147483648"), "Integer constant too large");
    EXPECT_EQ(ScanError("99999999999999999999999999999999"), "Integer constant too large");
    EXPECT_EQ(ScanError("0002147483647"), "no error");
}

TEST(Scanner, StringConstants) {
    EXPECT_EQ(Scan("'O''Neil'"), (std::vector<Token>{Str("O'Neil")}));
    EXPECT_EQ(Scan("''"), (std::vector<Token>{Str("")}));
    EXPECT_EQ(Scan("'a b\n{c}\xE9'"), (std::vector<Token>{Str("a b\n{c}\xE9")}));
    // Continuation: everything up to the next quote stands for one space.
    int32_t lines = 0;
    EXPECT_EQ(Scan("'Beginning of'\\\r\n   'message'", &lines),
              (std::vector<Token>{Str("Beginning of message")}));
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(Scan("'a'\\ junk 'b'"), (std::vector<Token>{Str("a b")}));
    EXPECT_EQ(Scan("'a';"), (std::vector<Token>{Str("a"), Tok(tkSemicolon)}));
    // Strings left open at the end of the source.
    EXPECT_EQ(Scan("'open"), (std::vector<Token>{Str("open")}));
    EXPECT_EQ(Scan("'cont'\\ never closed"), (std::vector<Token>{Str("cont ")}));
    EXPECT_EQ(Scan("'end'"), (std::vector<Token>{Str("end")}));
}

TEST(Scanner, CommentsAndBlanks) {
    EXPECT_EQ(Scan("{ a { b } c"), (std::vector<Token>{Id("c")}));
    EXPECT_EQ(ScanError("{ a { b } c }"), "Illegal character in source");
    EXPECT_EQ(Scan("a\x1A"
                   "b"),
              (std::vector<Token>{Id("a"), Id("b")}));
    EXPECT_TRUE(Scan("").empty());
    EXPECT_TRUE(Scan(" \t\r\n{only a comment}\n").empty());
    EXPECT_TRUE(Scan("{ never closed ;;;").empty());
}

TEST(Scanner, LineCountingAndEvent) {
    TempDir dir;
    TScanner scanner;
    int fired = 0;
    std::vector<int32_t> seen;
    scanner.OnNewLine = [&](TScanner& sender) {
        ++fired;
        seen.push_back(sender.LineNumber());
    };
    EXPECT_EQ(scanner.LineNumber(), 1);
    // CR LF counts once, CR alone never; line feeds in comments and strings are not counted.
    scanner.SetSourceFile(dir.Write("l.sdf", "a\r\nb\rc\n{x\ny}'p\nq'\nd"));
    scanner.SetActive(true);
    std::vector<int32_t> lineOf;
    while (scanner.NextToken() != tkEndOfSource)
        lineOf.push_back(scanner.LineNumber());
    EXPECT_EQ(lineOf, (std::vector<int32_t>{1, 2, 2, 3, 4}));
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(seen, (std::vector<int32_t>{2, 3, 4}));
    // Counting goes on across activations of the same object.
    scanner.SetActive(false);
    scanner.SetActive(true);
    while (scanner.NextToken() != tkEndOfSource) {
    }
    EXPECT_EQ(scanner.LineNumber(), 7);
}

TEST(Scanner, IllegalCharacters) {
    for (const std::string& c : std::vector<std::string>{".", "-", "_", "\"", "\f", "\x80", "\xFF", "}", "\\",
                                                         std::string(1, '\0')}) {
        EXPECT_EQ(ScanError("a " + c), "Illegal character in source")
            << int(static_cast<unsigned char>(c[0]));
    }
    int32_t line = 0;
    EXPECT_EQ(ScanError("a\nb\n  - c", &line), "Illegal character in source");
    EXPECT_EQ(line, 3);
}

TEST(Scanner, ActivationAndSourceFile) {
    TempDir dir;
    TScanner scanner;
    EXPECT_FALSE(scanner.Active());
    try {
        scanner.NextToken();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Scanner is not active");
    }
    try {
        scanner.SetActive(true);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Source file name must be specified.");
    }
    scanner.SetSourceFile(dir.File("missing.sdf"));
    try {
        scanner.SetActive(true);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Source file name must be specified.");
    }
    EXPECT_FALSE(scanner.Active());

    const std::string first = dir.Write("a.sdf", "A B");
    scanner.SetSourceFile(first);
    scanner.SetActive(true);
    scanner.SetActive(true); // opens once: the position stays
    EXPECT_EQ(scanner.NextToken(), tkIdentifier);
    scanner.SetActive(true);
    EXPECT_EQ(scanner.NextToken(), tkIdentifier);
    EXPECT_EQ(scanner.TokenText(), "B");
    try {
        scanner.SetSourceFile("other.sdf");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Cannot change filename while active");
    }
    EXPECT_EQ(scanner.SourceFile(), first);
    EXPECT_TRUE(scanner.Active());
    scanner.SetActive(false);
    EXPECT_FALSE(scanner.Active());
    scanner.SetSourceFile("other.sdf");
    EXPECT_EQ(scanner.SourceFile(), "other.sdf");
}

TEST(Scanner, SearchPath) {
    TempDir dir;
    dir.Write("a/D96A.sdf", "fromA");
    dir.Write("b/D96A.sdf", "fromB");
    dir.Write("b/ONLYB.sdf", "onlyB");
    dir.Write("cwd/D96A.sdf", "fromCwd");
    auto firstWord = [](TScanner& s) {
        s.SetActive(true);
        s.NextToken();
        s.SetActive(false);
        return s.TokenText();
    };
    std::filesystem::current_path(dir.Path);
    TScanner scanner;
    // Entries separated by ";", empty ones skipped, in list order; "\" separates directories as well.
    scanner.SetSearchPath(";" + dir.File("a") + ";;" + dir.File("b") + "\\");
    scanner.SetSourceFile("nowhere/D96A.sdf");
    EXPECT_EQ(firstWord(scanner), "fromA");
    scanner.SetSourceFile("x\\ONLYB.sdf");
    EXPECT_EQ(firstWord(scanner), "onlyB");
    EXPECT_EQ(scanner.OpenedFile(), dir.File("b") + "/ONLYB.sdf");
    // The current directory comes before the search path.
    std::filesystem::current_path(dir.Path / "cwd");
    scanner.SetSourceFile("elsewhere/D96A.sdf");
    EXPECT_EQ(firstWord(scanner), "fromCwd");
    // A directory written with "\" is found as well.
    std::filesystem::current_path(dir.Path);
    scanner.SetSearchPath("");
    scanner.SetSourceFile("a\\D96A.sdf");
    EXPECT_EQ(firstWord(scanner), "fromA");
    scanner.SetSourceFile("c/NOPE.sdf");
    EXPECT_THROW(scanner.SetActive(true), Exception);
}

TEST(Scanner, MakeOutputName) {
    TScanner scanner;
    auto out = [&](const std::string& source) {
        scanner.SetSourceFile(source);
        return scanner.MakeOutputName("SDT");
    };
    EXPECT_EQ(out("x/D96A.sdf"), "x/D96A.SDT");
    EXPECT_EQ(out("x/NAME"), "x/NAME.SDT");
    EXPECT_EQ(out("x/a.b.c"), "x/a.b.SDT");
    EXPECT_EQ(out("D96A.sdf"), "D96A.SDT");
    EXPECT_EQ(out("x.d/NAME"), "x.d/NAME.SDT");
    // Names written on Windows keep working here.
    EXPECT_EQ(out("x\\D96A.sdf"), "x/D96A.SDT");
    EXPECT_EQ(out("C:D96A.sdf"), "C:D96A.SDT");
}
