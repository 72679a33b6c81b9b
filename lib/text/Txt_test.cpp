#include <qdx/Fields.h>
#include <qdx/Object.h>
#include <qdx/Resources.h>
#include <qdx/Txt.h>

#include <qdxtest/TempDir.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The counted bytes of a text, NUL bytes included.
std::string Bytes(const CTxt& t)
{
    return t.GetData() ? std::string(t.GetData(), static_cast<std::size_t>(t.GetLength())) : std::string();
}

// A fresh directory for the file tests, removed with its files afterwards.
class TxtFiles : public qdx::test::TempDirTest {
protected:
    std::string Path(const char* name) const { return dir.File(name); }
};

using qdx::test::ReadFile;
using qdx::test::WriteFile;

// --- buffer and capacity -----------------------------------------------------------------------

TEST(TxtCapacity, NewObjectHasNoBufferUntilRead)
{
    CTxt t;
    EXPECT_EQ(t.GetData(), nullptr);
    EXPECT_EQ(t.GetLength(), 0);
    EXPECT_EQ(t.GetCapacity(), 0);
    EXPECT_EQ(t.IsEmpty(), 1);
    EXPECT_EQ(t.IsFilled(), 0);
    EXPECT_STREQ(static_cast<const char*>(t), "");
    EXPECT_EQ(t.GetCapacity(), 2);

    CTxt fromNull(nullptr);
    EXPECT_EQ(fromNull.GetData(), nullptr);
    CTxt fromEmpty("");
    EXPECT_NE(fromEmpty.GetData(), nullptr);
    EXPECT_EQ(fromEmpty.GetCapacity(), 2);
}

TEST(TxtCapacity, GrowthIsExactlyLengthPlusTwo)
{
    CTxt t;
    t.SetTxt("abc");
    EXPECT_EQ(t.GetLength(), 3);
    EXPECT_EQ(t.GetCapacity(), 5);
    EXPECT_EQ(t.Add('d'), 4);
    EXPECT_EQ(t.GetCapacity(), 6);
    EXPECT_EQ(t.Add('e'), 5);
    EXPECT_EQ(t.GetCapacity(), 7);
    EXPECT_EQ(t.AddTxt("xyz"), 8);
    EXPECT_EQ(t.GetCapacity(), 10);
    EXPECT_STREQ(t, "abcdexyz");

    CTxt fresh;
    EXPECT_EQ(fresh.AddTxt(""), 0);
    EXPECT_EQ(fresh.GetCapacity(), 2);
    CTxt ab("ab");
    EXPECT_EQ(ab.AddTxt("xyz"), 5);
    EXPECT_EQ(ab.GetCapacity(), 7);
}

TEST(TxtCapacity, ShorterTextKeepsTheBufferAndItsRoom)
{
    CTxt t("abcdef");
    char* before = t.GetData();
    t.SetTxt("xy");
    EXPECT_EQ(t.GetLength(), 2);
    EXPECT_EQ(t.GetCapacity(), 8);
    EXPECT_EQ(t.Add('z'), 3);
    EXPECT_EQ(t.GetData(), before);  // fitted without reallocating
    EXPECT_EQ(t.GetCapacity(), 8);
    EXPECT_EQ(t.AddTxt("1234"), 7);
    EXPECT_EQ(t.GetCapacity(), 9);
    EXPECT_STREQ(t, "xyz1234");
}

TEST(TxtCapacity, MakeLengthMakeEmptyAndRelease)
{
    CTxt t("abcdef");
    t.MakeLength(2);
    EXPECT_STREQ(t, "ab");
    EXPECT_EQ(t.GetLength(), 2);
    EXPECT_EQ(t.GetCapacity(), 8);
    t.MakeLength(6);
    EXPECT_STREQ(t, "ab");
    t.MakeEmpty();
    EXPECT_EQ(t.GetLength(), 0);
    EXPECT_EQ(t.GetCapacity(), 8);
    t.Empty();
    EXPECT_EQ(t.GetData(), nullptr);
    EXPECT_EQ(t.GetCapacity(), 0);
    t.MakeEmpty();
    EXPECT_EQ(t.GetCapacity(), 2);
    t.ReleaseBuffer();
    t.ReleaseBuffer();
    EXPECT_EQ(t.GetData(), nullptr);
    CTxt::Shutdown();
    CTxt::Shutdown();
}

// --- aliasing: a text fed from itself ------------------------------------------------------------

TEST(TxtAliasing, OwnTextAsSource)
{
    CTxt t("abc");
    t.AddTxt(t);  // grows while reading its old buffer
    EXPECT_STREQ(t, "abcabc");
    EXPECT_EQ(t.GetCapacity(), 8);

    CTxt roomy("0123456789");
    roomy.SetTxt("ab");
    roomy.AddTxt(roomy.GetData());  // fits in place
    EXPECT_STREQ(roomy, "abab");

    CTxt suffix("hello world");
    suffix.SetTxt(suffix.GetData() + 6);
    EXPECT_STREQ(suffix, "world");
    EXPECT_EQ(suffix.GetCapacity(), 13);

    CTxt self("same");
    self = self;
    EXPECT_STREQ(self, "same");
    self.Format("<%s>", static_cast<const char*>(self));
    EXPECT_STREQ(self, "<same>");
}

TEST(TxtAliasing, AssignmentCopiesIntoOwnBuffer)
{
    CTxt a("first");
    CTxt b;
    b = a;
    EXPECT_STREQ(b, "first");
    EXPECT_NE(b.GetData(), a.GetData());
    CTxt none;
    b = none;  // a source without a buffer changes nothing
    EXPECT_STREQ(b, "first");
    EXPECT_EQ(none.GetData(), nullptr);
}

// --- NUL bytes inside the text -------------------------------------------------------------------

TEST(TxtNul, CountedButStopsStringOperations)
{
    CTxt t("ab");
    EXPECT_EQ(t.Add('\0'), 3);
    EXPECT_EQ(t.Add('c'), 4);
    EXPECT_EQ(Bytes(t), std::string("ab\0c", 4));
    CTxt copy;
    copy = t;  // takes the text as a C string
    EXPECT_EQ(copy.GetLength(), 2);

    CTxt s("abc");
    s.SetAt(1, '\0');
    EXPECT_EQ(s.GetLength(), 3);
    s.MakeUpper();  // stops at the NUL
    EXPECT_EQ(Bytes(s), std::string("A\0c", 3));

    CTxt ins("abc");
    EXPECT_EQ(ins.InsertAt(1, '\0'), 1);
    EXPECT_STREQ(ins, "a");
}

// --- insertion, filling, fixed width, case ------------------------------------------------------

TEST(TxtEdit, InsertAtClampsPositions)
{
    struct Case {
        int pos;
        const char* insert;
        const char* result;
    } cases[] = {
        {1, "XY", "aXYbc"}, {0, "XY", "XYabc"}, {3, "XY", "abcXY"}, {99, "XY", "abcXY"},
        {-5, "XY", "XYabc"}, {1, "", "abc"},     {1, nullptr, "abc"},
    };
    for (const Case& c : cases) {
        CTxt t("abc");
        EXPECT_EQ(t.InsertAt(c.pos, c.insert), static_cast<int>(std::strlen(c.result))) << c.pos;
        EXPECT_STREQ(t, c.result) << c.pos;
    }
    CTxt fresh;
    EXPECT_EQ(fresh.InsertAt(0, 'x'), 1);
    EXPECT_STREQ(fresh, "x");
    CTxt empty;
    EXPECT_EQ(empty.InsertAt(5, "xy"), 2);
    EXPECT_STREQ(empty, "xy");
    CTxt c("abc");
    EXPECT_EQ(c.InsertAt(2, '-'), 4);
    EXPECT_STREQ(c, "ab-c");
}

TEST(TxtEdit, NullTextsAndNegativeCuts)
{
    CTxt t("abc");
    t.SetTxt(nullptr);
    EXPECT_STREQ(t, "");
    t = "abc";
    EXPECT_EQ(t.AddTxt(nullptr), 3);
    t.MakeLength(-1);  // nothing before the buffer is touched
    EXPECT_STREQ(t, "abc");
    t.MakeLength(0);
    EXPECT_STREQ(t, "");
}

TEST(TxtEdit, FillCharAndFixedWidth)
{
    CTxt t;
    EXPECT_EQ(t.FillChar('*', 0), 1);
    EXPECT_STREQ(t, "*");
    EXPECT_EQ(t.FillChar('-', 3), 3);
    EXPECT_STREQ(t, "---");
    EXPECT_EQ(t.FillChar('\0', 4), 0);

    const auto fixLen = [](const char* text, int width) {
        CTxt f("old");
        f.SetTxtFixLen(text, width);
        return std::string(f);
    };
    EXPECT_EQ(fixLen("ab  cd", 4), "ab");
    EXPECT_EQ(fixLen("abcdef", 3), "abc");
    EXPECT_EQ(fixLen("ab", 5), "ab");
    EXPECT_EQ(fixLen("  ", 5), "");
    EXPECT_EQ(fixLen("abc", 0), "");
    EXPECT_EQ(fixLen("abc  ", -2), "abc");
}

TEST(TxtEdit, CaseFoldsAsciiLettersOnly)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    CTxt up(all.c_str());
    CTxt low(all.c_str());
    up.MakeUpper();
    low.MakeLower();
    for (int c = 1; c < 256; ++c) {
        char u = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : static_cast<char>(c);
        char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : static_cast<char>(c);
        ASSERT_EQ(up[c - 1], u) << c;
        ASSERT_EQ(low[c - 1], l) << c;
    }
    CTxt none;
    none.MakeUpper();
    EXPECT_EQ(none.GetData(), nullptr);
}

// --- printf formatting ---------------------------------------------------------------------------

TEST(TxtFormat, ExactCapacityAndAnyLength)
{
    CTxt t;
    t.Format("%d-%s", 7, "x");
    EXPECT_STREQ(t, "7-x");
    EXPECT_EQ(t.GetCapacity(), 5);

    // Far beyond any fixed work buffer: formatted whole.
    std::string big(250000, 'q');
    t.Format("[%s]", big.c_str());
    EXPECT_EQ(t.GetLength(), 250002);
    EXPECT_EQ(t.GetCapacity(), 250004);
    EXPECT_EQ(t[250001], ']');
    t.Format("%0300000d|", 5);
    EXPECT_EQ(t.GetLength(), 300001);
    EXPECT_EQ(t[299999], '5');

    t.Format(static_cast<const char*>(nullptr));
    EXPECT_STREQ(t, "");
}

TEST(TxtFormat, StringTableFormats)
{
    static const QdxStringEntry kTable[] = {{7001, "%s has %d runs"}, {7002, "%2 of %1!d!"}};
    RegisterStringTable(kTable, 2);
    CTxt t;
    t.Format(7001u, "check", 3);
    EXPECT_STREQ(t, "check has 3 runs");
    t.Format(7999u, 1);
    EXPECT_STREQ(t, "");
    t.FormatMessageA(7002u, 4, "page");
    EXPECT_STREQ(t, "page of 4");
    t.FormatMessageA(7999u);
    EXPECT_STREQ(t, "");
    RegisterStringTable(nullptr, 0);
}

// --- %1-style messages ---------------------------------------------------------------------------

TEST(TxtMessage, InsertsByNumberWithConversions)
{
    const auto message = [](const char* source, auto... args) {
        CTxt t("old");
        t.FormatMessageA(source, args...);
        return std::string(t);
    };
    EXPECT_EQ(message("%2 of %1!d!", 7, "page"), "page of 7");
    EXPECT_EQ(message("%1!-5s!|%1!5s!|%2!04X!|%3!.2f!|%4!I64d!", "ab", 255, 2.345, 1LL << 40),
              "ab   |   ab|00FF|2.35|1099511627776");
    EXPECT_EQ(message("%1%n%2%t%3!c!%r", "a", "b", 'z'), "a\nb\tz\r");
    EXPECT_EQ(message("100%% %! %. done%0 never shown", 1), "100% ! . done");
    EXPECT_EQ(message("%3 %1", "one", "skipped", "three"), "three one");
    EXPECT_EQ(message("%10|%1", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j"), "j|a");
    EXPECT_EQ(message("trailing %"), "trailing ");
    EXPECT_EQ(message(""), "");
}

TEST(TxtMessage, MalformedMessageThrowsAndKeepsText)
{
    const char* bad[] = {
        "%1!d",          // no closing mark
        "%1!n!",         // would write through the argument
        "%1!ls!",        // wide strings
        "%1!*d!",        // widths from arguments
        "%1!99999d!",    // absurd width
        "%1!q!",         // unknown conversion
        "%1!d! %1!s!",   // one argument, two types
    };
    for (const char* source : bad) {
        CTxt t("kept");
        bool thrown = false;
        try {
            t.FormatMessageA(source, 1, "x");
        } catch (CMemoryException* e) {
            thrown = true;
            e->Delete();
        }
        EXPECT_TRUE(thrown) << source;
        EXPECT_STREQ(t, "kept") << source;
    }
    CTxt t("kept");
    try {
        t.FormatMessageA(static_cast<const char*>(nullptr));
        ADD_FAILURE() << "a null message must throw";
    } catch (CException* e) {
        EXPECT_TRUE(e->IsKindOf(&CMemoryException::classCMemoryException));
        e->Delete();
    }
    EXPECT_STREQ(t, "kept");
}

// --- whole files ---------------------------------------------------------------------------------

TEST_F(TxtFiles, SaveWritesTheExactBytes)
{
    CTxt t("line1\r\nline2");
    t.Add('\0');
    t.Add('z');
    EXPECT_EQ(t.SaveToFile(Path("a.txt").c_str()), 14);
    EXPECT_EQ(ReadFile(Path("a.txt")), std::string("line1\r\nline2\0z", 14));
    EXPECT_STREQ(t, "line1\r\nline2");  // the text stays

    CTxt none;
    EXPECT_EQ(none.SaveToFile(Path("empty").c_str()), 0);
    EXPECT_EQ(ReadFile(Path("empty")), "");
}

TEST_F(TxtFiles, SaveFailuresReplaceTheTextWithTheReason)
{
    std::string path = Path("missing/dir/a.txt");
    CTxt t("payload");
    EXPECT_EQ(t.SaveToFile(path.c_str()), -1);
    EXPECT_EQ(std::string(t), "Cannot open '" + path + "' (" + std::strerror(ENOENT) + ")");

    // A device that is always full: the write fails, and says so.
    CTxt full("payload");
    EXPECT_EQ(full.SaveToFile("/dev/full"), -1);
    EXPECT_EQ(std::string(full), std::string("Cannot write '/dev/full' (") + std::strerror(ENOSPC) + ")");
}

TEST_F(TxtFiles, LoadKeepsContentsAsTheyAre)
{
    WriteFile(Path("nul"), std::string("a\0b", 3));
    CTxt t("old");
    EXPECT_EQ(t.LoadFromFile(Path("nul").c_str()), 0);
    EXPECT_EQ(t.GetLength(), 3);
    EXPECT_EQ(t.GetCapacity(), 5);
    EXPECT_STREQ(t, "a");
    EXPECT_EQ(Bytes(t), std::string("a\0b", 3));

    WriteFile(Path("empty"), "");
    EXPECT_EQ(t.LoadFromFile(Path("empty").c_str()), 0);
    EXPECT_EQ(t.GetLength(), 0);
    EXPECT_EQ(t.GetCapacity(), 2);

    std::string lines = "x\r\ny\n";
    WriteFile(Path("crlf"), lines);
    EXPECT_EQ(t.LoadFromFile(Path("crlf").c_str()), 0);
    EXPECT_EQ(Bytes(t), lines);
}

TEST_F(TxtFiles, LoadFailuresAndFilesOfUnknownSize)
{
    CTxt t("old");
    std::string path = Path("nope");
    EXPECT_EQ(t.LoadFromFile(path.c_str()), -1);
    EXPECT_EQ(std::string(t), "Cannot open '" + path + "' (" + std::strerror(ENOENT) + ")");

    // A directory opens but cannot be read.
    EXPECT_EQ(t.LoadFromFile(dir.Path().c_str()), -1);
    EXPECT_EQ(std::string(t), "Cannot read '" + dir.Path() + "' (" + std::strerror(EISDIR) + ")");

    // Pseudo files report size 0 but have contents: they are read to their end.
    EXPECT_EQ(t.LoadFromFile("/proc/self/stat"), 0);
    EXPECT_GT(t.GetLength(), 10);
    EXPECT_EQ(t.GetCapacity(), t.GetLength() + 2);
    EXPECT_EQ(t[t.GetLength() - 1], '\n');
}

// --- binary records ------------------------------------------------------------------------------

TEST_F(TxtFiles, RecordsByteForByteAndBack)
{
    std::string path = Path("rec.bin");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    CTxt abc("abc");
    CTxt none;
    CTxt withNul("x");
    withNul.Add('\0');
    withNul.Add('y');
    EXPECT_EQ(abc.BinarySave(out), 8);
    EXPECT_EQ(none.BinarySave(out), 5);
    EXPECT_EQ(withNul.BinarySave(out), 8);
    std::fclose(out);
    EXPECT_EQ(ReadFile(path), std::string("\x04\0\0\0abc\0"
                                         "\x01\0\0\0\0"
                                         "\x04\0\0\0x\0y\0",
                                         21));

    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    CTxt t("previous");
    EXPECT_EQ(t.BinaryRead(in), 0);
    EXPECT_STREQ(t, "abc");
    EXPECT_EQ(t.GetLength(), 3);
    EXPECT_EQ(t.GetCapacity(), 5);
    EXPECT_EQ(t.BinaryRead(in), 0);
    EXPECT_EQ(t.GetLength(), 0);
    EXPECT_EQ(t.GetCapacity(), 2);
    EXPECT_EQ(t.BinaryRead(in), 0);
    EXPECT_EQ(Bytes(t), std::string("x\0y", 3));
    EXPECT_EQ(t.BinaryRead(in), -1);  // end of file
    EXPECT_EQ(t.GetData(), nullptr);
    std::fclose(in);
}

TEST_F(TxtFiles, DamagedRecordsAreRefusedWithoutAllocating)
{
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"short count", std::string("\x04\0", 2)},
        {"zero", std::string("\0\0\0\0abc", 7)},
        {"negative", std::string("\xFE\xFF\xFF\xFF" "abc", 7)},
        {"beyond the file", std::string("\x00\xCA\x9A\x3B" "abc", 7)},  // 1e9
        {"short data", std::string("\x05\0\0\0abc", 7)},
        {"largest count", std::string("\xFF\xFF\xFF\x7F" "a", 5)},
    };
    for (const Case& c : cases) {
        WriteFile(Path("bad"), c.bytes);
        FILE* in = std::fopen(Path("bad").c_str(), "rb");
        ASSERT_NE(in, nullptr);
        CTxt t("previous");
        EXPECT_EQ(t.BinaryRead(in), -1) << c.what;
        EXPECT_EQ(t.GetData(), nullptr) << c.what;
        EXPECT_EQ(t.GetLength(), 0) << c.what;
        std::fclose(in);
    }

    // A record whose NUL is missing still ends in one.
    WriteFile(Path("nonul"), std::string("\x03\0\0\0abc", 7));
    FILE* in = std::fopen(Path("nonul").c_str(), "rb");
    CTxt t;
    EXPECT_EQ(t.BinaryRead(in), 0);
    EXPECT_EQ(t.GetLength(), 2);
    EXPECT_EQ(Bytes(t), "ab");
    std::fclose(in);
}

TEST(TxtRecords, PipesOfUnknownLength)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* writer = fdopen(fds[1], "wb");
    FILE* reader = fdopen(fds[0], "rb");
    CTxt hello("hello");
    EXPECT_EQ(hello.BinarySave(writer), 10);
    // A count of a billion bytes with three bytes behind it.
    ASSERT_EQ(write(fds[1], "\x00\xCA\x9A\x3B" "abc", 7), 7);
    std::fclose(writer);

    CTxt t;
    EXPECT_EQ(t.BinaryRead(reader), 0);
    EXPECT_STREQ(t, "hello");
    EXPECT_EQ(t.GetCapacity(), 7);
    EXPECT_EQ(t.BinaryRead(reader), -1);
    EXPECT_EQ(t.GetData(), nullptr);
    std::fclose(reader);

    EXPECT_EQ(hello.BinarySave(nullptr), -1);
    EXPECT_EQ(t.BinaryRead(nullptr), -1);
    FILE* readOnly = std::fopen("/proc/self/stat", "rb");
    EXPECT_EQ(hello.BinarySave(readOnly), -1);
    std::fclose(readOnly);
}

// --- fields into a CTxt ----------------------------------------------------------------------------

TEST(TxtFields, FieldTextIsCutAt9999)
{
    CTxt out("old");
    EXPECT_EQ(strfldtxt("a|b|c", '|', 2, 99, out), 3);
    EXPECT_STREQ(out, "b|c");
    EXPECT_EQ(strfldtxt("a|b|c", '|', 3, 2, out), -1);
    EXPECT_STREQ(out, "");
    std::string longField(20000, 'x');
    EXPECT_EQ(strfldtxt(("k|" + longField).c_str(), '|', 2, 0, out), 9999);
    EXPECT_EQ(out.GetLength(), 9999);
}

} // namespace
