#include <qdx/Fields.h>

#include <qdxtest/FieldsReference.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

// strfld into a 100-byte buffer (or outSize), as (result, text).
std::pair<int, std::string> Field(const char* text, char delim, int from, int to, int outSize = 100)
{
    char out[128];
    std::memset(out, 'Z', sizeof out);
    int r = strfld(text, delim, from, to, out, outSize);
    return {r, std::string(out)};
}

using Result = std::pair<int, std::string>;

// --- field numbers --------------------------------------------------------------------------

TEST(FieldNumbers, PositiveNegativeAndShorthands)
{
    EXPECT_EQ(Field("a|b|c|d", '|', 2, 3), Result(3, "b|c"));
    EXPECT_EQ(Field("a|b|c|d", '|', 2, 0), Result(1, "b"));
    EXPECT_EQ(Field("a|b|c|d", '|', -1, 0), Result(1, "d"));
    EXPECT_EQ(Field("a|b|c|d", '|', -3, -2), Result(3, "b|c"));
    EXPECT_EQ(Field("a|b|c|d", '|', 99, 0), Result(1, "d"));
    EXPECT_EQ(Field("a|b|c|d", '|', -99, 0), Result(1, "a"));
    EXPECT_EQ(Field("a|b|c|d", '|', 2, 99), Result(5, "b|c|d"));
    EXPECT_EQ(Field("a|b|c|d", '|', 0, 2), Result(3, "a|b"));
    EXPECT_EQ(Field("a|b|c|d", '|', 0, 0), Result(0, ""));
}

TEST(FieldNumbers, OutOfRangeAndReversed)
{
    EXPECT_EQ(Field("a|b|c|d", '|', 5, 5), Result(0, ""));
    EXPECT_EQ(Field("a|b|c|d", '|', -5, 0), Result(0, ""));
    EXPECT_EQ(Field("a|b|c|d", '|', 3, 2), Result(-1, ""));
    EXPECT_EQ(Field("a|b|c|d", '|', 2, -1), Result(-1, ""));  // write (2, 99) instead
    EXPECT_EQ(Field("a|b|c|d", '|', 3, 50), Result(3, "c|d"));
}

TEST(FieldNumbers, NinetyNineIsLiteralFromNinetyNineFieldsOn)
{
    std::string text;
    for (int i = 1; i <= 120; ++i)
        text += std::to_string(i) + ",";
    EXPECT_EQ(strfldcnt(text.c_str(), ','), 120);
    EXPECT_EQ(Field(text.c_str(), ',', 99, 0), Result(2, "99"));
    EXPECT_EQ(Field(text.c_str(), ',', -99, 0), Result(2, "22"));
    EXPECT_EQ(Field(text.c_str(), ',', -1, 0), Result(3, "120"));
}

// --- delimiters at the edges ------------------------------------------------------------------

TEST(FieldEdges, TrailingDelimiterOpensNoField)
{
    EXPECT_EQ(Field("a|b|", '|', 2, 0), Result(1, "b"));
    EXPECT_EQ(Field("a|b|", '|', 3, 0), Result(0, ""));
    EXPECT_EQ(Field("a|b|", '|', 2, 99), Result(1, "b"));
    EXPECT_EQ(strfldcnt("a|b|", '|'), 2);
    EXPECT_EQ(strfldcnt("|a", '|'), 2);
    EXPECT_EQ(Field("|a", '|', 1, 0), Result(0, ""));
    EXPECT_EQ(Field("key|", '|', 2, 99), Result(0, ""));
    EXPECT_EQ(Field("key", '|', 1, 1), Result(3, "key"));
    EXPECT_EQ(Field("a||c", '|', 2, 0), Result(0, ""));
    EXPECT_EQ(Field("a||c", '|', 3, 0), Result(1, "c"));
}

TEST(FieldEdges, BlanksBelongToFieldsOfOtherDelimiters)
{
    EXPECT_EQ(Field(" a | b ", '|', 1, 0), Result(3, " a "));
    EXPECT_EQ(strfldcnt(" a | b   ", '|'), 2);
    // Trailing blanks after the last delimiter open no field.
    EXPECT_EQ(strfldcnt("a|b|   ", '|'), 2);
    EXPECT_EQ(Field("a|b|   ", '|', 2, 99), Result(1, "b"));
    EXPECT_EQ(Field("a|b|   ", '|', 3, 0), Result(0, ""));
}

TEST(FieldEdges, BlankDelimiterRuns)
{
    const char* date = "  12 Jan  2006";
    EXPECT_EQ(strfldcnt(date, ' '), 3);
    EXPECT_EQ(Field(date, ' ', 1, 0), Result(2, "12"));
    EXPECT_EQ(Field(date, ' ', 2, 0), Result(4, "Jan "));
    EXPECT_EQ(Field(date, ' ', 3, 0), Result(4, "2006"));
    EXPECT_EQ(Field(date, ' ', -1, 0), Result(4, "2006"));
    EXPECT_EQ(strfldcnt("a b  ", ' '), 2);
    EXPECT_EQ(Field("a b  ", ' ', 2, 0), Result(2, "b "));
}

TEST(FieldEdges, EmptyBlankAndNullTexts)
{
    EXPECT_EQ(strfldcnt("", '|'), 0);
    EXPECT_EQ(strfldcnt("   ", '|'), 0);
    EXPECT_EQ(strfldcnt("   ", ' '), 0);
    EXPECT_EQ(strfldcnt(nullptr, '|'), 0);
    EXPECT_EQ(Field("", '|', 1, 0), Result(0, ""));
    EXPECT_EQ(Field(nullptr, '|', 1, 0), Result(0, ""));
    EXPECT_EQ(Field(nullptr, '|', -1, 0), Result(0, ""));
    EXPECT_EQ(strfldcnt("abc", '\0'), 1);
    EXPECT_EQ(Field("abc", '\0', 1, 0), Result(3, "abc"));
}

// --- output buffer -------------------------------------------------------------------------------

TEST(FieldOutput, CutToTheBufferAndAlwaysTerminated)
{
    EXPECT_EQ(Field("abcdef", '|', 1, 0, 4), Result(3, "abc"));
    EXPECT_EQ(Field("abcdef", '|', 1, 0, 1), Result(0, ""));
    // A cut that ends on a delimiter drops it like a range ending there.
    EXPECT_EQ(Field("ab|cd", '|', 1, 2, 4), Result(2, "ab"));
    // No buffer: nothing is written and nothing read past.
    EXPECT_EQ(strfld("a|b", '|', 1, 0, nullptr, 10), 0);
    char one = 'Z';
    EXPECT_EQ(strfld("a|b", '|', 1, 0, &one, 0), 0);
    EXPECT_EQ(one, 'Z');
}

TEST(FieldOutput, ManyThousandDelimiters)
{
    // Far beyond any fixed table of field starts.
    std::string text;
    for (int i = 0; i < 30000; ++i)
        text += std::to_string(i) + ";";
    EXPECT_EQ(strfldcnt(text.c_str(), ';'), 30000);
    EXPECT_EQ(Field(text.c_str(), ';', 25001, 0), Result(5, "25000"));
    EXPECT_EQ(Field(text.c_str(), ';', -1, 0), Result(5, "29999"));
    EXPECT_EQ(Field(text.c_str(), ';', -3, -2), Result(11, "29997;29998"));
    EXPECT_EQ(Field(text.c_str(), ';', 30001, 0), Result(0, ""));
    std::string blanks;
    for (int i = 0; i < 20000; ++i)
        blanks += "x  ";
    EXPECT_EQ(strfldcnt(blanks.c_str(), ' '), 20000);
    EXPECT_EQ(Field(blanks.c_str(), ' ', 19999, 0), Result(2, "x "));
}

// --- against the plain model ----------------------------------------------------------------

// Every text of up to 6 characters over {a, blank, |}, both delimiters, every pair of field
// numbers from -5 to 5 plus the shorthands, with room to spare and with a cut buffer.
TEST(FieldModel, AgreesOnEveryShortText)
{
    const char alphabet[] = {'a', ' ', '|'};
    const int numbers[] = {-99, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 99};
    int checked = 0;
    for (int len = 0; len <= 6; ++len) {
        int combos = 1;
        for (int i = 0; i < len; ++i)
            combos *= 3;
        for (int c = 0; c < combos; ++c) {
            std::string text;
            for (int i = 0, v = c; i < len; ++i, v /= 3)
                text += alphabet[v % 3];
            for (char delim : {'|', ' '}) {
                ASSERT_EQ(strfldcnt(text.c_str(), delim), qdx::test::ReferenceFieldCount(text, delim))
                    << "'" << text << "' delim '" << delim << "'";
                for (int from : numbers)
                    for (int to : numbers)
                        for (int size : {100, 3}) {
                            ASSERT_EQ(Field(text.c_str(), delim, from, to, size),
                                      qdx::test::ReferenceField(text, delim, from, to, size))
                                << "'" << text << "' delim '" << delim << "' " << from << ".." << to
                                << " size " << size;
                            ++checked;
                        }
            }
        }
    }
    EXPECT_GT(checked, 300000);
}

// --- comparison and search ------------------------------------------------------------------

TEST(CompareMode, ModesAndNulls)
{
    EXPECT_EQ(strcmpmode("Abc", "aBC", 1), 0);
    EXPECT_EQ(strcmpmode("abc", "abd", 1), 1);
    EXPECT_EQ(strcmpmode("ab", "abc", 1), 2);
    EXPECT_EQ(strcmpmode("abc", "ab", 1), 2);
    EXPECT_EQ(strcmpmode("&NBSP;", "&nbsp;x", 2), 0);
    EXPECT_EQ(strcmpmode("abc", "ab", 2), 2);
    EXPECT_EQ(strcmpmode("abc", "ABC", 2), 0);
    EXPECT_EQ(strcmpmode("ab", "abc", 0), 0);
    EXPECT_EQ(strcmpmode("abc", "ab", 0), 0);
    EXPECT_EQ(strcmpmode("abc", "abd", 0), 1);
    EXPECT_EQ(strcmpmode(nullptr, "a", 1), 3);
    EXPECT_EQ(strcmpmode("a", nullptr, 2), 3);
    EXPECT_EQ(strcmpmode("", "", 2), 0);
    EXPECT_EQ(strcmpmode("", "", 1), 0);
    EXPECT_EQ(strcmpmode("", "a", 2), 0);
    EXPECT_EQ(strcmpmode("", "a", 1), 2);
}

// Only ASCII letters fold: every pair of byte values compares equal exactly when they are the
// same byte or the same letter in the two cases.
TEST(CompareMode, FoldsAsciiLettersOnly)
{
    auto fold = [](int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; };
    for (int x = 1; x < 256; ++x)
        for (int y = 1; y < 256; ++y) {
            const char a[] = {static_cast<char>(x), 'q', '\0'};
            const char b[] = {static_cast<char>(y), 'Q', '\0'};
            ASSERT_EQ(strcmpmode(a, b, 1), fold(x) == fold(y) ? 0 : 1) << x << " " << y;
        }
}

TEST(CharPos, FindsFirstOccurrence)
{
    EXPECT_EQ(strchrpos('c', "abc"), 2);
    EXPECT_EQ(strchrpos('a', "abca"), 0);
    EXPECT_EQ(strchrpos('x', "abc"), -1);
    EXPECT_EQ(strchrpos('\0', "abc"), -1);
    EXPECT_EQ(strchrpos('a', nullptr), -1);
    EXPECT_EQ(strchrpos('\xE9', "caf\xE9"), 3);
}

} // namespace
