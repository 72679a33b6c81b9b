#include <qdx/String.h>
#include <qdx/Txt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits.h>
#include <string>
#include <unistd.h>

namespace {

// Applies `op` to a CTxt holding `text` and returns the resulting text.
template <typename Op>
std::string After(const char* text, Op op)
{
    CTxt t(text);
    op(t);
    return std::string(static_cast<const char*>(t));
}

// --- escapes -------------------------------------------------------------------------------------

TEST(ConvCRLF, EscapeAndUnescape)
{
    CTxt t("a\r\nb\t");
    EXPECT_EQ(t.ConvCRLF(0), 8);
    EXPECT_STREQ(t, "a\\r\\nb\\t");
    EXPECT_EQ(t.ConvCRLF(1), 5);
    EXPECT_STREQ(t, "a\r\nb\t");
    EXPECT_EQ(After("a\\qb", [](CTxt& x) { x.ConvCRLF(1); }), "ab");
    EXPECT_EQ(After("end\\", [](CTxt& x) { x.ConvCRLF(7); }), "end");
    EXPECT_EQ(After("a\\\\b", [](CTxt& x) { x.ConvCRLF(0); }), "a\\\\b");  // backslashes kept
}

TEST(ConvCRLF, BackslashLettersDoNotSurviveARoundTrip)
{
    // No escaped backslash exists: a literal backslash-n comes back as a line feed.
    CTxt t("dir\\new");
    t.ConvCRLF(0);
    t.ConvCRLF(1);
    EXPECT_STREQ(t, "dir\new");
    // Texts without backslashes do survive, whatever control characters they hold.
    std::string all;
    for (int c = 1; c < 256; ++c)
        if (c != '\\')
            all += static_cast<char>(c);
    CTxt every(all.c_str());
    every.ConvCRLF(0);
    every.ConvCRLF(1);
    EXPECT_EQ(std::string(static_cast<const char*>(every)), all);

    CTxt none;
    EXPECT_EQ(none.ConvCRLF(0), 0);
    EXPECT_EQ(none.GetData(), nullptr);
}

// --- markup and percent decoding -----------------------------------------------------------------

TEST(ConvHTM2TXT, EntitiesAndEscapes)
{
    auto decode = [](const char* text) { return After(text, [](CTxt& x) { x.ConvHTM2TXT(); }); };
    EXPECT_EQ(decode("a&NBSP;b%20c%%d"), "a b c%d");
    EXPECT_EQ(decode("x%41"), "xA");
    EXPECT_EQ(decode("x%4G"), std::string("x\x04"));
    EXPECT_EQ(decode("x%4Gy"), std::string("x\x04y"));
    EXPECT_EQ(decode("100%%"), "100%");
    EXPECT_EQ(decode("a%00b"), "a");
    EXPECT_EQ(decode("a%G1b"), "a");  // no digits: a 0 byte, which ends the text
    EXPECT_EQ(decode("% 9"), "\x09");  // a blank counts as the digit 0
    EXPECT_EQ(decode("&amp;&nbsp"), "&amp;&nbsp");
    EXPECT_EQ(decode("%e9"), "\xE9");
}

TEST(ConvHTM2TXT, PercentNearTheEndStaysAsItIs)
{
    auto decode = [](const char* text) { return After(text, [](CTxt& x) { x.ConvHTM2TXT(); }); };
    EXPECT_EQ(decode("100%"), "100%");
    EXPECT_EQ(decode("x%4"), "x%4");
    EXPECT_EQ(decode("%"), "%");
    EXPECT_EQ(decode("%41%"), "A%");
}

// --- rotation --------------------------------------------------------------------------------------

TEST(ConvProt, KnownValuesAndRoundTrip)
{
    CTxt t("AB");
    EXPECT_EQ(t.ConvProt(1, 3), 2);
    EXPECT_STREQ(t, "D>");
    t.ConvProt(0, 3);
    EXPECT_STREQ(t, "AB");
    EXPECT_EQ(After("~", [](CTxt& x) { x.ConvProt(1, 1); }), " ");
    EXPECT_EQ(After("AB", [](CTxt& x) { x.ConvProt(1, -4); }), After("AB", [](CTxt& x) { x.ConvProt(1, 1); }));

    // Every byte value at many positions, for keys around the wrap of 95.
    std::string all;
    for (int i = 0; i < 3; ++i)
        for (int c = 1; c < 256; ++c)
            all += static_cast<char>(c);
    for (int key : {1, 2, 94, 95, 96, 1000, INT_MAX}) {
        CTxt r(all.c_str());
        r.ConvProt(1, key);
        EXPECT_EQ(r.GetLength(), static_cast<int>(all.size()));
        for (int i = 0; i < r.GetLength(); ++i) {
            unsigned char before = static_cast<unsigned char>(all[i]);
            unsigned char after = static_cast<unsigned char>(r[i]);
            if (before < 32 || before > 126)
                ASSERT_EQ(after, before) << "non-printable bytes stay";
            else
                ASSERT_TRUE(after >= 32 && after <= 126) << key << " " << i;
        }
        r.ConvProt(0, key);
        ASSERT_EQ(std::string(static_cast<const char*>(r)), all) << key;
    }
}

// --- file names ------------------------------------------------------------------------------------

TEST(FileNames, SlashForms)
{
    CTxt t("C:\\dir\\sub\\");
    t.MakeFn();
    EXPECT_STREQ(t, "C:/dir/sub");
    EXPECT_EQ(t.GetLength(), 10);
    EXPECT_EQ(t.GetCapacity(), 13);
    EXPECT_EQ(After("\\\\srv\\share", [](CTxt& x) { x.MakeFn(); }), "\\\\srv/share");
    EXPECT_EQ(After("/", [](CTxt& x) { x.MakeFn(); }), "/");
    EXPECT_EQ(After("a//", [](CTxt& x) { x.MakeFn(); }), "a");
    EXPECT_EQ(After("c:/a/b/", [](CTxt& x) { x.MakeFnDOS(); }), "c:\\a\\b");
    EXPECT_EQ(After("\\\\srv/share/", [](CTxt& x) { x.MakeFnDOS(); }), "\\\\srv\\share");
    EXPECT_EQ(After("\\", [](CTxt& x) { x.MakeFnDOS(); }), "\\");
}

TEST(FileNames, PartsOfAPath)
{
    const char* expected[] = {"c:", "/x/y/", "log", "txt", "c:/x/y/", "log.txt", "c:/x/y/log", "c:/x/y/log.txt", ""};
    CTxt path("c:/x/y/log.txt");
    for (int part = 0; part <= 8; ++part) {
        CTxt out("old");
        int n = path.GetFileTxt(part == 8 ? 9 : part, out);
        EXPECT_STREQ(out, expected[part]) << part;
        EXPECT_EQ(n, static_cast<int>(std::strlen(expected[part]))) << part;
    }
    CTxt out("old");
    EXPECT_EQ(CTxt("").GetFileTxt(7, out), 0);
    EXPECT_EQ(CTxt("readme").GetFileTxt(3, out), 0);
    EXPECT_EQ(CTxt("a.b/c").GetFileTxt(2, out), 1);
    EXPECT_STREQ(out, "c");
    EXPECT_EQ(CTxt("x/archive.tar.gz").GetFileTxt(3, out), 2);
    EXPECT_STREQ(out, "gz");
    CTxt self("/etc/hosts.conf");
    self.GetFileTxt(5, self);
    EXPECT_STREQ(self, "hosts.conf");
}

TEST(FileNames, AddToFn)
{
    struct Case {
        const char* text;
        const char* add;
        int dash;
        const char* result;
    };
    const Case cases[] = {
        {"c:/x/log.txt", "2", 1, "c:/x/log-2.txt"},
        {"c:/x/log.txt", "2", 0, "c:/x/log2.txt"},
        {"readme", "1", 1, "readme-1"},
        {"a.b", "_old", 0, "a_old.b"},
        {"", "2", 1, "-2"},  // an empty text with a buffer is rebuilt like any other
        {"", "", 1, "-"},
        {"", "2", 0, "2"},
        {"", "", 0, ""},
        {"/dir/", "x", 1, "/dir/-x"},
    };
    for (const Case& c : cases) {
        CTxt t(c.text);
        EXPECT_EQ(t.AddToFn(c.add, c.dash), static_cast<int>(std::strlen(c.result))) << c.text << " + " << c.add;
        EXPECT_STREQ(t, c.result) << c.text << " + " << c.add;
    }
    CTxt none;  // no buffer: left alone
    EXPECT_EQ(none.AddToFn("x", 1), 0);
    EXPECT_EQ(none.GetData(), nullptr);
}

TEST(FileNames, ExeNameAndStringArray)
{
    char real[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", real, sizeof real - 1);
    ASSERT_GT(n, 0);
    real[n] = '\0';
    CTxt full, name;
    CTxt::GetExeName(full, 7);
    CTxt::GetExeName(name, 2);
    EXPECT_STREQ(full, real);
    EXPECT_STREQ(name, "qdx_text_test");

    CStringArray array;
    EXPECT_EQ(CTxt::FindStringArray(array, "x"), -1);
    array.Add("Alpha");
    array.Add("beta");
    array.Add("BETA");
    EXPECT_EQ(CTxt::FindStringArray(array, "BeTa"), 1);
    EXPECT_EQ(CTxt::FindStringArray(array, "alpha"), 0);
    EXPECT_EQ(CTxt::FindStringArray(array, "alph"), -1);
    EXPECT_EQ(CTxt::FindStringArray(array, nullptr), -1);
}

// --- hex and numbers -------------------------------------------------------------------------------

TEST(NumberText, HexDigits)
{
    const auto hex = [](unsigned long value, int digits) { return After("old", [&](CTxt& x) { x.GetHex(value, digits); }); };
    EXPECT_EQ(hex(0x1A2B, 1), "2B");
    EXPECT_EQ(hex(0x1A2B, 2), "1A2B");
    EXPECT_EQ(hex(0x1A2B, 3), "001A2B");
    EXPECT_EQ(hex(0x1A2B, 0), "00001A2B");
    EXPECT_EQ(hex(0xFFFFFFFFFFul, 9), "FFFFFFFF");  // only the low 32 bits have room

    unsigned char data[1001] = {0x0A, 0xFF, 0x00};
    const auto hexArray = [](unsigned char* bytes, int count) {
        return After("old", [&](CTxt& x) { x.GetHexArray(bytes, count); });
    };
    EXPECT_EQ(hexArray(data, 2), "0A,FF,");
    EXPECT_EQ(hexArray(data, 3), "0A,FF,00,");
    EXPECT_EQ(hexArray(data, 0), "GetHexArray(0By)");
    EXPECT_EQ(hexArray(data, 1001), "GetHexArray(1001By)");
    EXPECT_EQ(hexArray(data, 1000).size(), 3000u);
    EXPECT_EQ(hexArray(nullptr, 4), "GetHexArray(4By)");
}

TEST(NumberText, ValueTextDropsTrailingZeros)
{
    const auto value = [](double v, int decimals) { return After("old", [&](CTxt& x) { x.MakeValueTxt(v, decimals); }); };
    EXPECT_EQ(value(100.0, 2), "100");
    EXPECT_EQ(value(120.0, 0), "120");
    EXPECT_EQ(value(-0.125, 2), "-0.12");
    EXPECT_EQ(value(0.0004, 3), "0");
    // The exact binary value, then the zeros drop.
    EXPECT_EQ(value(1.0 / 3.0, 200), "0.333333333333333314829616256247390992939472198486328125");
    CTxt t;
    EXPECT_EQ(t.MakeValueTxt(2.5, 3), 3);
    EXPECT_STREQ(t, "2.5");
    // Far more digits than any small buffer holds: formatted whole.
    EXPECT_EQ(t.MakeValueTxt(1e300, 2), 301);
    EXPECT_EQ(t[0], '1');
}

// --- masking ---------------------------------------------------------------------------------------

TEST(Masking, IdentifierCharacters)
{
    EXPECT_EQ(CTxt("ab_1").MaskNonVar(0, nullptr), 0);
    EXPECT_EQ(CTxt("a-b").MaskNonVar(0, nullptr), 45);
    EXPECT_EQ(CTxt("a-b").MaskNonVar(0, "-"), 0);
    EXPECT_EQ(CTxt("caf\xE9").MaskNonVar(0, nullptr), static_cast<signed char>('\xE9'));
    CTxt t("a b.c");
    EXPECT_EQ(t.MaskNonVar(1, nullptr), 1);
    EXPECT_STREQ(t, "a_b_c");
    EXPECT_EQ(t.MaskNonVar(1, nullptr), -1);
    EXPECT_EQ(CTxt("").MaskNonVar(0, nullptr), -1);
    EXPECT_EQ(CTxt().MaskNonVar(1, nullptr), -1);
}

TEST(Masking, NonPrintableAndReplace)
{
    CTxt t("a\tb\xE9");
    EXPECT_EQ(t.MaskNonPrintable(), 2);
    EXPECT_STREQ(t, "a+b+");
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    CTxt every(all.c_str());
    EXPECT_EQ(every.MaskNonPrintable(), 255 - 95);

    CTxt r("a.b.c");
    EXPECT_EQ(r.Replace('.', '/'), 2);
    EXPECT_STREQ(r, "a/b/c");
    EXPECT_EQ(CTxt().Replace('a', 'b'), 0);
}

// --- removal and trimming --------------------------------------------------------------------------

TEST(Removal, SubstringsIgnoringCase)
{
    auto remove = [](const char* text, const char* part) {
        return After(text, [part](CTxt& x) { x.RemoveFromText(part); });
    };
    EXPECT_EQ(remove("xAByab", "ab"), "xy");
    EXPECT_EQ(remove("axb", "ab"), "axb");
    EXPECT_EQ(remove("abab", "ab"), "");
    EXPECT_EQ(remove("short", "long text"), "short");
    EXPECT_EQ(remove("aaa", "aa"), "a");
    EXPECT_EQ(remove("keep", ""), "keep");
    EXPECT_EQ(remove("x\xC9y\xE9", "\xE9"), "x\xC9y");  // bytes above 127 do not fold
}

TEST(Removal, CharactersAndNumbers)
{
    EXPECT_EQ(After("2006-01/02", [](CTxt& x) { x.RemoveCharList("-/"); }), "20060102");
    EXPECT_EQ(After("AaA", [](CTxt& x) { x.RemoveCharList("a"); }), "AA");
    EXPECT_EQ(After("abc", [](CTxt& x) { x.RemoveCharList(""); }), "abc");
    EXPECT_EQ(After(" a b ", [](CTxt& x) { x.RemoveChar(' '); }), "ab");
    EXPECT_EQ(After("Total: 1.5E+3 (approx)", [](CTxt& x) { x.TrimNum(0); }), "1.5E+3");
    EXPECT_EQ(After("(12)ab", [](CTxt& x) { x.TrimNum(1); }), "(12)");
    EXPECT_EQ(After("1e5", [](CTxt& x) { x.TrimNum(0); }), "15");
    CTxt t("a-b-c");
    EXPECT_EQ(t.RemoveChar('-'), 3);
    EXPECT_EQ(t.GetCapacity(), 7);  // the buffer stays
}

TEST(Trimming, TrimAndTrimRightReturnDifferentThings)
{
    CTxt t("  a b  ");
    EXPECT_EQ(t.Trim(' '), 3);
    EXPECT_STREQ(t, "a b");
    EXPECT_EQ(t.GetCapacity(), 9);
    EXPECT_EQ(After("   ", [](CTxt& x) { x.Trim(' '); }), "");
    EXPECT_EQ(After("xxaxx", [](CTxt& x) { x.Trim('x'); }), "a");

    CTxt r("ab  ");
    EXPECT_EQ(r.TrimRight(' '), 2);
    EXPECT_STREQ(r, "ab");
    EXPECT_EQ(r.GetLength(), 2);
    CTxt blanks("   ");
    EXPECT_EQ(blanks.TrimRight(' '), 3);
    EXPECT_EQ(blanks.GetLength(), 0);
    EXPECT_EQ(CTxt().Trim(' '), 0);
    EXPECT_EQ(CTxt().TrimRight(' '), 0);
}

} // namespace
