// Text operations: delimiter and field semantics, replacement, and the handling of double-byte
// characters when the ANSI code page has them (the cp932 run of this program).
#include "setup/core/text.h"

#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

namespace {

bool DoubleByteCodePage() {
    CPINFO info{};
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}

} // namespace

TEST(CodePage, IsTheOneTheRunAskedFor) {
    std::string expected = testsupport::EnvText("TARVO_EXPECT_ACP");
    if (expected.empty())
        GTEST_SKIP() << "run without a code page request";
    // Fails loudly when the locale no longer selects the code page.
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected.c_str())));
    if (expected == "932") {
        EXPECT_TRUE(DoubleByteCodePage());
        EXPECT_TRUE(IsDBCSLeadByte(0x82));
    }
}

TEST(TextCut, BeforeAfterBetween) {
    EXPECT_EQ(TextBefore("abc", "x"), "abc");
    EXPECT_EQ(TextAfter("abc", "x"), "");
    EXPECT_EQ(TextBefore("a=b=c", "="), "a");
    EXPECT_EQ(TextAfter("a=b=c", "="), "b=c");
    EXPECT_EQ(TextBefore("=b", "="), "");
    EXPECT_EQ(TextAfter("a=", "="), "");
    EXPECT_EQ(TextBefore("", "="), "");
    // Case-insensitive search, results cut from the original.
    EXPECT_EQ(TextBefore("pre SETUP=x", "setup=", false), "pre ");
    EXPECT_EQ(TextAfter("pre SETUP=Xy", "setup=", false), "Xy");
    EXPECT_EQ(TextAfter("pre SETUP=Xy", "setup=", true), "");
    EXPECT_EQ(TextBetween("x[in]y", "[", "]"), "in");
    EXPECT_EQ(TextBetween("x[in", "[", "]"), "in");
    EXPECT_EQ(TextBetween("x in]", "[", "]"), "");
}

TEST(TextSearch, EmptyPartsOffsetsAndEquality) {
    EXPECT_TRUE(ContainsText("", "", true));
    EXPECT_TRUE(ContainsText("abc", "", false));
    EXPECT_TRUE(ContainsText("abc", "BC", false));
    EXPECT_FALSE(ContainsText("abc", "BC", true));
    EXPECT_FALSE(ContainsText("ab", "abc", true));
    EXPECT_EQ(FindText("abcabc", "bc", true, 2), 4u);
    EXPECT_EQ(FindText("abc", "", true, 3), 3u);
    EXPECT_EQ(FindText("abc", "", true, 4), TextNotFound);
    EXPECT_TRUE(EqualText("Setup", "SETUP", false));
    EXPECT_FALSE(EqualText("Setup", "SETUP", true));
    EXPECT_FALSE(EqualText("Setup", "Setup ", false));
}

TEST(TextFields, NthField) {
    EXPECT_EQ(NthField("a, b ,c", ",", 2), "b");
    EXPECT_EQ(NthField("a, b ,c", ",", 3), "c");
    EXPECT_EQ(NthField("a, b ,c", ",", 4), "");
    EXPECT_EQ(NthField("a, b ,c", ",", 0), "");
    EXPECT_EQ(NthField("  whole  ", ",", 1), "whole");
    EXPECT_EQ(NthField("a | b | c", " | ", 2), "b");
}

TEST(TextFields, ReplaceFieldAlwaysEndsTheNewValueWithTheDelimiter) {
    EXPECT_EQ(ReplaceField("a,b,c", "X", ",", 3), "a,b,X,");
    EXPECT_EQ(ReplaceField("a,b,c", "X", ",", 1), "X,b,c");
    // Fields past the end are added empty.
    EXPECT_EQ(ReplaceField("a,b,c", "X", ",", 5), "a,b,c,,X,");
    EXPECT_EQ(ReplaceField("", "X", ",", 1), "X,");
    EXPECT_EQ(ReplaceField("a,b", "X", ",", 0), "");
}

TEST(TextFields, SplitText) {
    TextList parts{"left over"};
    EXPECT_EQ(SplitText("", parts, ','), 0);
    EXPECT_TRUE(parts.empty());

    ASSERT_EQ(SplitText("\\\\srv\\share", parts, '\\'), 4);
    EXPECT_EQ(parts, (TextList{"", "", "srv", "share"}));

    ASSERT_EQ(SplitText(" a , b,", parts, ','), 3);
    EXPECT_EQ(parts, (TextList{"a", "b", ""}));

    ASSERT_EQ(SplitText("  single  ", parts, ','), 1);
    EXPECT_EQ(parts[0], "single");
}

TEST(TextReplace, ReplaceAll) {
    EXPECT_EQ(ReplaceAll("SETUP=x Setup=y", "setup=", "setup=", false), "setup=x setup=y");
    // The scan goes on after each replaced pair: three backslashes become two.
    EXPECT_EQ(ReplaceAll("a\\\\\\b", "\\\\", "\\", true), "a\\\\b");
    EXPECT_EQ(ReplaceAll("a\\\\\\\\b", "\\\\", "\\", true), "a\\\\b");
    // Inserted text is never searched again.
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa", true), "aaaaaa");
    EXPECT_EQ(ReplaceAll("abc", "", "x", true), "abc");
    EXPECT_EQ(ReplaceAll("abab", "ab", "", true), "");
    // The text around the occurrences keeps its case.
    EXPECT_EQ(ReplaceAll("xAbYab", "ab", "-", false), "x-Y-");
    EXPECT_EQ(ReplaceAll("xAbYab", "ab", "-", true), "xAbY-");
}

TEST(TextReplace, ReplaceFirst) {
    EXPECT_EQ(ReplaceFirst("a-b-c", "-", "+", true), "a+b-c");
    EXPECT_EQ(ReplaceFirst("aXbx", "x", "_", false), "a_bx");
    EXPECT_EQ(ReplaceFirst("abc", "", "+", true), "abc");
}

TEST(TextDelimiters, StripLeadingAndTrailing) {
    EXPECT_EQ(StripTrailingDelimiter("C:\\dir\\", "\\"), "C:\\dir");
    EXPECT_EQ(StripTrailingDelimiter("C:\\dir", "\\"), "C:\\dir");
    EXPECT_EQ(StripTrailingDelimiter("C:\\dir\\\\", "\\"), "C:\\dir\\");
    EXPECT_EQ(StripTrailingDelimiter("", "\\"), "");
    EXPECT_EQ(StripTrailingDelimiter("list, |", ", |"), "list");
    EXPECT_EQ(StripTrailingDelimiter("ab", "ba"), "ab");
    EXPECT_EQ(StripLeadingDelimiter("\\dir", "\\"), "dir");
    EXPECT_EQ(StripLeadingDelimiter("\\", "\\"), "");
    EXPECT_EQ(StripLeadingDelimiter("", "\\"), "");
}

TEST(TextShape, TrimUpperReverse) {
    EXPECT_EQ(Trimmed(" \t\n\v\f\rmid dle \t\n\v\f\r"), "mid dle");
    EXPECT_EQ(Trimmed(" \t "), "");
    EXPECT_EQ(Trimmed(""), "");
    EXPECT_EQ(Uppercased("setup.exe 1"), "SETUP.EXE 1");
    EXPECT_EQ(Reversed("abc"), "cba");
    EXPECT_EQ(Reversed(""), "");
    if (GetACP() == 1252) {
        EXPECT_EQ(Uppercased("caf\xE9"), "CAF\xC9");
    }
}

TEST(TextNumbers, AsTheLibraryWritesThem) {
    EXPECT_EQ(NumberToText(-1), "-1");
    EXPECT_EQ(NumberToText(LONG_MIN), "-2147483648");
    EXPECT_EQ(NumberToText(255, 16), "ff");
    EXPECT_EQ(NumberToText(35, 36), "z");
    // Outside base 10 a negative number shows its bit pattern.
    EXPECT_EQ(NumberToText(-1, 16), "ffffffff");
    EXPECT_EQ(NumberToText(10, 1), "");
    EXPECT_EQ(NumberToText(10, 37), "");
}

TEST(TextLists, IndexOfAndContains) {
    TextList list{"Alpha", "beta", "BETA"};
    EXPECT_EQ(IndexOf(list, "BETA", true), 2);
    EXPECT_EQ(IndexOf(list, "BETA", false), 1);
    EXPECT_EQ(IndexOf(list, "alph", false), -1);
    EXPECT_TRUE(ListContains(list, "alpha", false));
    EXPECT_FALSE(ListContains(list, "alpha", true));
    EXPECT_FALSE(ListContains({}, "", true));
}

// 0x95 0x5C is one character in code page 932 whose trail byte is a backslash; in a
// single-byte code page they are two characters.
TEST(TextSingleByte, TrailByteValuesAreCharactersOfTheirOwn) {
    if (DoubleByteCodePage())
        GTEST_SKIP() << "double-byte code page";
    EXPECT_EQ(TextBefore("\x95\x5C"
                         "dir",
                         "\\"),
              "\x95");
    EXPECT_EQ(Reversed("a\x95\x5C"), "\x5C\x95"
                                     "a");
}

class DoubleByteText : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DoubleByteCodePage())
            GTEST_SKIP() << "needs a double-byte ANSI code page (the cp932 run)";
    }
};

TEST_F(DoubleByteText, TrailBytesAreNeverDelimiters) {
    const std::string kanji = "\x95\x5C";
    EXPECT_EQ(TextBefore(kanji + "dir\\file", "\\"), kanji + "dir");
    EXPECT_EQ(TextAfter(kanji + "dir\\file", "\\"), "file");
    EXPECT_EQ(TextAfter(kanji + "dir", "\\"), "");
    EXPECT_FALSE(ContainsText(kanji, "\\", true));
    EXPECT_EQ(ReplaceAll(kanji + "\\a" + kanji, "\\", "/", true), kanji + "/a" + kanji);
    EXPECT_EQ(ReplaceAll(kanji + "\\\\a", "\\\\", "\\", true), kanji + "\\a");
    EXPECT_EQ(StripTrailingDelimiter("dir" + kanji, "\\"), "dir" + kanji);
    EXPECT_EQ(StripTrailingDelimiter(kanji + "\\", "\\"), kanji);
    TextList parts;
    ASSERT_EQ(SplitText(kanji + "\\b", parts, '\\'), 2);
    EXPECT_EQ(parts[0], kanji);
    EXPECT_EQ(NthField("a," + kanji + ",c", ",", 2), kanji);
}

TEST_F(DoubleByteText, SearchMatchesWholeCharactersOnly) {
    // "\x82\x60" is a full-width A; its trail byte is the ASCII backquote.
    EXPECT_EQ(FindText("\x82\x60"
                       "A",
                       "\x60"
                       "A",
                       true),
              TextNotFound);
    EXPECT_EQ(FindText("\x82\x60\x82\x60", "\x82\x60", true, 1), 2u);
    EXPECT_EQ(FindText("x\x82\x60", "\x82", true), TextNotFound);
    // A start inside a character moves on to the next character.
    EXPECT_EQ(FindText("\x82\x60\x82\x60", "\x60", true, 1), TextNotFound);
    EXPECT_EQ(FindText("\x82\x60"
                       "A",
                       "A", true, 1),
              2u);
    EXPECT_EQ(FindText("\x82\x82\x82\x60"
                       "A",
                       "\x82\x60", true, 1),
              2u);
    // A trail byte that looks like a lower-case ASCII letter is not upper-cased or found.
    EXPECT_EQ(FindText("\x82\x61", "A", false), TextNotFound);
    EXPECT_EQ(FindText("\x82\x61"
                       "a",
                       "A", false),
              2u);
}

TEST_F(DoubleByteText, CaseIsFoldedPerCharacter) {
    // Full-width lower-case a (0x82 0x81) becomes full-width A (0x82 0x60); full-width B
    // (0x82 0x61) stays as it is although its trail byte is an ASCII 'a'.
    EXPECT_EQ(Uppercased("a\x82\x81\x82\x61"), "A\x82\x60\x82\x61");
    EXPECT_TRUE(ContainsText("x\x82\x81y", "\x82\x60", false));
    EXPECT_EQ(TextAfter("k\x82\x81=v", "\x82\x60=", false), "v");
    EXPECT_EQ(ReplaceAll("\x82\x81-\x82\x60", "\x82\x60", "A", false), "A-A");
    EXPECT_TRUE(EqualText("\x82\x81", "\x82\x60", false));
    EXPECT_TRUE(ListContains({"\x82\x81"
                              "b"},
                             "\x82\x60"
                             "B",
                             false));
}

TEST_F(DoubleByteText, ReversedKeepsCharactersWhole) {
    EXPECT_EQ(Reversed("a\x95\x5C"
                       "b\x82\x60"),
              "\x82\x60"
              "b\x95\x5C"
              "a");
    // A lone lead byte at the end is a character of its own.
    EXPECT_EQ(Reversed("ab\x82"), "\x82"
                                  "ba");
    EXPECT_EQ(Uppercased("a\x82"), "A\x82");
    EXPECT_EQ(Trimmed(" \x95\x5C "), "\x95\x5C");
}

// The one hexadecimal codec in its two layouts: the transaction log writes Packed, a registry
// entry's binary data is Separated. Each row is read back, so a layout that writes what it
// cannot read fails here.
TEST(TextHex, BothLayoutsWriteAndReadBack) {
    const struct {
        std::string bytes;
        HexLayout layout;
        const char* text;
    } rows[] = {
        {"", HexLayout::Packed, ""},
        {"", HexLayout::Separated, ""},
        {std::string("\x0a\xff\x00\x5c", 4), HexLayout::Packed, "0aff005c"},
        {std::string("\x0a\xff\x00\x5c", 4), HexLayout::Separated, "0a ff 00 5c "},
        {"A\\b", HexLayout::Packed, "415c62"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(BytesToHex(row.bytes, row.layout), row.text) << row.text;
        std::string back = "left over";
        EXPECT_TRUE(HexToBytes(row.text, row.layout, back)) << row.text;
        EXPECT_EQ(back, row.bytes) << row.text;
    }
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    for (HexLayout layout : {HexLayout::Packed, HexLayout::Separated}) {
        std::string back;
        EXPECT_TRUE(HexToBytes(BytesToHex(all, layout), layout, back));
        EXPECT_EQ(back, all) << "every byte value, layout " << static_cast<int>(layout);
    }
    const unsigned char raw[] = {0xC0, 0x01};
    EXPECT_EQ(BytesToHex(raw, sizeof raw, HexLayout::Separated), "c0 01 ");
}

TEST(TextHex, ReadingTakesEitherCaseAndRefusesWhatDoesNotFit) {
    const struct {
        const char* text;
        HexLayout layout;
        bool fits;
        std::string bytes;
    } rows[] = {
        {"0A0b", HexLayout::Packed, true, "\x0a\x0b"},
        {"0a 0b", HexLayout::Packed, false, ""},
        {"0a0", HexLayout::Packed, false, ""},
        {"0g", HexLayout::Packed, false, ""},
        {"0A,0b, FF", HexLayout::Separated, true, "\x0a\x0b\xff"},
        {"  0a 0B  ", HexLayout::Separated, true, "\x0a\x0b"},
        {" \t", HexLayout::Separated, true, ""},
        {"0a  0b", HexLayout::Separated, false, ""},
        {"0a,,0b", HexLayout::Separated, false, ""},
        {"0a,0b,", HexLayout::Separated, false, ""},
        {"0ab", HexLayout::Separated, false, ""},
        {"0a0b", HexLayout::Separated, false, ""},
    };
    for (const auto& row : rows) {
        std::string bytes = "left over";
        EXPECT_EQ(HexToBytes(row.text, row.layout, bytes), row.fits) << "'" << row.text << "'";
        EXPECT_EQ(bytes, row.bytes) << "'" << row.text << "': a failure leaves nothing";
    }
}
