#include <qdx/Fields.h>
#include <qdx/TxtArray.h>

#include <qdxtest/ScopedEnv.h>
#include <qdxtest/TempDir.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// The texts of the array; a gap shows as "<gap>".
Texts TextsOf(const CTxtArray& array)
{
    Texts texts;
    for (int i = 0; i < array.GetSize(); ++i) {
        const char* text = array.GetAtTxt(i);
        texts.push_back(text ? text : "<gap>");
    }
    return texts;
}

void Fill(CTxtArray& array, const Texts& texts)
{
    array.RemoveAll();
    for (const std::string& text : texts)
        array.Add(text.c_str());
}

TEST(TxtArrayList, AddSetGetAndRemove)
{
    CTxtArray a;
    EXPECT_EQ(a.reserved, 0);
    EXPECT_EQ(a.sortByTime, 0);
    EXPECT_EQ(a.Add("abc"), 0);
    EXPECT_EQ(a.Add(""), 1);
    EXPECT_STREQ(a.GetAtTxt(1), "");  // an element holding the empty text, not a gap
    EXPECT_EQ(a.AddIfNew("ABC"), 0);
    EXPECT_EQ(a.AddIfNew("x"), 1);
    EXPECT_EQ(TextsOf(a), (Texts{"abc", "", "x"}));
    EXPECT_EQ(a.AddIfNewIdx("X"), 2);
    EXPECT_EQ(a.AddIfNewIdx("y"), 3);

    EXPECT_EQ(a.GetAt(-1), nullptr);
    EXPECT_EQ(a.GetAt(4), nullptr);
    EXPECT_EQ(a.GetAtTxt(4), nullptr);
    EXPECT_EQ(a.RemoveAt(4), -1);
    EXPECT_EQ(a.RemoveAt(-1), -1);
    EXPECT_EQ(a.RemoveAt(0), 0);
    EXPECT_EQ(TextsOf(a), (Texts{"", "x", "y"}));
    a.RemoveAll();
    EXPECT_EQ(a.GetSize(), 0);
}

TEST(TxtArrayList, SetAtBeyondTheEndLeavesGaps)
{
    CTxtArray a;
    a.Add("a");
    EXPECT_EQ(a.SetAt(3, "d"), 0);
    EXPECT_EQ(a.GetSize(), 4);
    EXPECT_EQ(a.GetAt(1), nullptr);
    EXPECT_EQ(a.GetAtTxt(2), nullptr);
    EXPECT_EQ(a.SetAt(-1, "x"), -1);
    EXPECT_EQ(a.SetAt(0, "A"), 0);  // replaced in place
    EXPECT_EQ(a.SetAt(1, "b"), 0);  // fills a gap
    EXPECT_EQ(TextsOf(a), (Texts{"A", "b", "<gap>", "d"}));
    EXPECT_EQ(a.RemoveAt(2), 0);  // removing a gap
    EXPECT_EQ(TextsOf(a), (Texts{"A", "b", "d"}));
}

TEST(TxtArraySearch, FindStringStartAndSegment)
{
    CTxtArray a;
    Fill(a, {"x", "abc", "Abc"});
    EXPECT_EQ(a.FindString("ABC"), 1);
    EXPECT_EQ(a.FindString("ab"), -1);
    EXPECT_EQ(a.FindString(nullptr), -1);

    Fill(a, {"xab", "abc"});
    EXPECT_EQ(a.FindStringStart("ab"), 1);
    EXPECT_EQ(a.FindStringStart("AB"), -1);
    EXPECT_EQ(a.FindStringStart(""), 0);
    EXPECT_EQ(a.FindStringStart("abcdefghijklmnop"), -1);  // longer than every element

    const auto segment = [&a](const Texts& texts, const char* part) {
        Fill(a, texts);
        return a.FindStringSegment(part);
    };
    EXPECT_EQ(segment({"xyz", "abcd"}, "BC"), 1);
    EXPECT_EQ(segment({"abc"}, "BC"), 0);  // at the very end
    EXPECT_EQ(segment({"ABC"}, "abc"), 0);
    EXPECT_EQ(segment({"ab"}, "abc"), -1);
    EXPECT_EQ(CTxtArray().FindStringStart(""), -1);
}

TEST(TxtArraySearch, GapsEqualNothingInFindStringButAreEmptyElsewhere)
{
    CTxtArray a;
    a.SetAt(1, "b");  // slot 0 is a gap
    EXPECT_EQ(a.FindString(""), -1);
    EXPECT_EQ(a.FindStringStart(""), 0);
    EXPECT_EQ(a.FindStringStart("b"), 1);
    EXPECT_EQ(a.FindStringSegment("B"), 1);
    CTxt value;
    EXPECT_EQ(a.FindValue("", value, 0), 0);
    EXPECT_EQ(a.AddIfNewIdx(""), 2);
}

TEST(TxtArraySort, OrdersIgnoringCase)
{
    CTxtArray a;
    Fill(a, {"b", "A", "c"});
    a.Sort();
    EXPECT_EQ(TextsOf(a), (Texts{"A", "b", "c"}));
    Fill(a, {"B", "b"});
    a.Sort();
    EXPECT_EQ(a.GetSize(), 2);
    EXPECT_EQ(a.FindString("b"), 0);
    CTxtArray empty;
    empty.Sort();
    EXPECT_EQ(empty.GetSize(), 0);

    // Letters fold to lower case, so "_" (95) sorts before every letter.
    Fill(a, {"b", "_", "Z", "a"});
    a.Sort();
    EXPECT_EQ(TextsOf(a), (Texts{"_", "a", "b", "Z"}));
}

TEST(TxtArraySort, GapsAndNulBytesBecomePlainTexts)
{
    CTxtArray a;
    a.SetAt(2, "b");
    a.GetAt(2)->Add('\0');
    a.GetAt(2)->Add('z');  // "b", NUL, "z": the text is "b"
    a.Add("a");
    a.Sort();
    ASSERT_EQ(a.GetSize(), 4);
    EXPECT_EQ(TextsOf(a), (Texts{"", "", "a", "b"}));
    EXPECT_EQ(a.GetAt(3)->GetLength(), 1);
}

TEST(TxtArraySort, MatchesAReferenceOnRandomTexts)
{
    std::mt19937 rng(7);
    const std::string letters = "aAbBzZ09_-|. ";
    CTxtArray a;
    Texts texts;
    for (int i = 0; i < 2000; ++i) {
        std::string text;
        int length = std::uniform_int_distribution<int>(0, 8)(rng);
        for (int k = 0; k < length; ++k)
            text += letters[std::uniform_int_distribution<size_t>(0, letters.size() - 1)(rng)];
        texts.push_back(text);
        a.Add(text.c_str());
    }
    a.Sort();
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
        return s;
    };
    Texts sorted = TextsOf(a);
    for (size_t i = 1; i < sorted.size(); ++i)
        ASSERT_LE(lower(sorted[i - 1]), lower(sorted[i])) << i;
    std::sort(texts.begin(), texts.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, texts);  // nothing lost, nothing added
}

TEST(TxtArrayRecords, SetValueAndFindValue)
{
    CTxtArray a;
    EXPECT_EQ(a.SetValue("Port", "80"), 0);
    EXPECT_EQ(TextsOf(a), (Texts{"Port|80"}));
    EXPECT_EQ(a.SetValue("port", "81"), 0);
    EXPECT_EQ(TextsOf(a), (Texts{"port|81"}));
    CTxt v("old");
    EXPECT_EQ(a.FindValue("PORT", v, 0), 0);
    EXPECT_STREQ(v, "81");
    EXPECT_EQ(a.SetValue("Host", "example"), 1);
    EXPECT_EQ(a.FindValueReset("host", v, 1), 1);
    EXPECT_STREQ(v, "example");

    // The record's fields after the key; one final "|" is dropped.
    const std::pair<const char*, const char*> records[] = {
        {"url|a|b", "a|b"}, {"url|", ""}, {"url|a|b|", "a|b"}, {"url", ""}};
    for (const auto& [record, value] : records) {
        Fill(a, {record});
        EXPECT_EQ(a.FindValue("URL", v, 0), 0) << record;
        EXPECT_STREQ(v, value) << record;
    }

    EXPECT_EQ(a.FindValue("x", v, 1), -1);
    EXPECT_STREQ(v, "x to found");
    EXPECT_EQ(a.FindValue("x", v, 0), -1);
    EXPECT_EQ(v.GetLength(), 0);
}

TEST(TxtArrayRecords, LongKeysAndValuesWithManyFieldsStayWhole)
{
    CTxtArray a;
    const std::string key(150, 'k');
    ASSERT_EQ(a.SetValue(key.c_str(), "1"), 0);
    EXPECT_EQ(a.SetValue(key.c_str(), "2"), 0);  // found again, not appended
    EXPECT_EQ(a.GetSize(), 1);
    CTxt v;
    EXPECT_EQ(a.FindValue(key.substr(0, 99).c_str(), v, 0), -1);

    std::string value;
    for (int i = 0; i < 120; ++i)
        value += std::to_string(i) + "|";
    value += "end";
    a.SetValue("many", value.c_str());
    EXPECT_EQ(a.FindValue("many", v, 0), 1);
    EXPECT_EQ(std::string(v), value);
}

TEST(TxtArrayDelimited, GetDelimTxtAndLoadFromFields)
{
    CTxtArray a;
    CTxt out;
    EXPECT_EQ(a.GetDelimTxt(out, ','), 0);
    EXPECT_EQ(out.GetData(), nullptr);
    Fill(a, {"a", "b"});
    EXPECT_EQ(a.GetDelimTxt(out, ','), 2);
    EXPECT_STREQ(out, "a,b,");
    a.SetAt(3, "d");
    EXPECT_EQ(a.GetDelimTxt(out, '|'), 4);
    EXPECT_STREQ(out, "a|b||d|");

    EXPECT_EQ(a.LoadFromFields(" a | b ||c ", '|'), 3);
    EXPECT_EQ(TextsOf(a), (Texts{"a", "b", "c"}));
    EXPECT_EQ(a.LoadFromFields("  12 Jan  2006 ", ' '), 3);
    EXPECT_EQ(TextsOf(a), (Texts{"12", "Jan", "2006"}));
    EXPECT_EQ(a.LoadFromFields("   ", ','), 0);
    EXPECT_EQ(a.LoadFromFields(std::string(12000, 'x').c_str(), ','), 1);
    EXPECT_EQ(a.GetAt(0)->GetLength(), 9999);
}

TEST(TxtArrayDelimited, LoadFromFieldsAgreesWithFieldExtraction)
{
    // Every field that strfld cuts, trimmed, and only those: over texts mixing blanks, the
    // delimiter and letters, for the blank delimiter and another one.
    std::mt19937 rng(99);
    const std::string alphabet = "  ab,|";
    for (char delim : {' ', ',', '|'}) {
        for (int round = 0; round < 300; ++round) {
            std::string text;
            int length = std::uniform_int_distribution<int>(0, 20)(rng);
            for (int k = 0; k < length; ++k)
                text += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
            Texts expected;
            int n = strfldcnt(text.c_str(), delim);
            for (int k = 1; k <= n; ++k) {
                CTxt field;
                strfldtxt(text.c_str(), delim, k, k, field);
                std::string s(field);
                s.erase(0, s.find_first_not_of(' '));
                s.erase(s.find_last_not_of(' ') + 1);
                if (!s.empty())
                    expected.push_back(s);
            }
            CTxtArray a;
            a.LoadFromFields(text.c_str(), delim);
            ASSERT_EQ(TextsOf(a), expected) << "'" << text << "' delim '" << delim << "'";
        }
    }
}

TEST(TxtArrayDelimited, LoadFromTxtDropsAnUnterminatedLastLine)
{
    CTxtArray a;
    EXPECT_EQ(a.LoadFromTxt("a\r\nb\n\nc"), 3);
    EXPECT_EQ(TextsOf(a), (Texts{"a", "b", ""}));
    EXPECT_EQ(a.LoadFromTxt("x\ry\n"), 1);
    EXPECT_EQ(TextsOf(a), (Texts{"xy"}));
    EXPECT_EQ(a.LoadFromTxt(""), 0);
    EXPECT_EQ(a.LoadFromTxt("no line end"), 0);
}

TEST(TxtArrayDelimited, LoadFromOtherArrays)
{
    CTxtArray src;
    Fill(src, {"a", "B"});
    src.SetAt(3, "d");
    CTxtArray a;
    a.Add("old");
    EXPECT_EQ(a.LoadFromTxtArray(&src), 4);
    EXPECT_EQ(TextsOf(a), (Texts{"a", "B", "", "d"}));  // the gap copied as an empty text
    EXPECT_NE(a.GetAt(0), src.GetAt(0));             // copies, not shared elements
    EXPECT_EQ(a.LoadFromTxtArray(&a), 4);             // from itself: unchanged
    EXPECT_EQ(TextsOf(a), (Texts{"a", "B", "", "d"}));

    CStringArray strings;
    strings.Add("x");
    strings.Add("");
    EXPECT_EQ(a.LoadFromStrArray(strings), 2);
    EXPECT_EQ(TextsOf(a), (Texts{"x", ""}));
}

TEST(TxtArrayCompare, SizesPairsAndGaps)
{
    CTxtArray a;
    Fill(a, {"a", "B"});
    const auto compare = [&a](const Texts& texts) {
        CTxtArray b;
        Fill(b, texts);
        return a.Compare(&b);
    };
    EXPECT_EQ(compare({"A", "b"}), 0);
    EXPECT_EQ(compare({"a"}), -1);
    EXPECT_EQ(compare({"a", "c"}), -2);
    EXPECT_EQ(a.Compare(nullptr), -1);
    CTxtArray gap1, gap2;
    gap1.SetAt(1, "x");
    gap2.SetAt(1, "x");
    EXPECT_EQ(gap1.Compare(&gap2), -2);  // a gap equals nothing
}

class TxtArrayFiles : public qdx::test::TempDirTest {
protected:
    qdx::test::ScopedEnv env{{"BGETLRAM", nullptr}};
    std::string Write(const std::string& bytes, const char* name = "f.txt") { return dir.Write(name, bytes); }
    static std::string Read(const std::string& path) { return qdx::test::ReadFile(path); }
    // The lines both loaders give for the same bytes.
    std::pair<Texts, Texts> LoadBoth(const std::string& bytes)
    {
        std::string path = Write(bytes);
        CTxtArray plain, buffered;
        CTxt err;
        EXPECT_GE(plain.LoadFromFile(path.c_str(), err), 0);
        EXPECT_GE(buffered.LoadFromFileBuf(path.c_str(), err), 0);
        return {TextsOf(plain), TextsOf(buffered)};
    }
};

TEST_F(TxtArrayFiles, SaveAndLoadRoundTrip)
{
    CTxtArray a;
    Fill(a, {"a", "b"});
    CTxt err;
    std::string path = dir.File("out.txt");
    ASSERT_EQ(a.SaveToFile(path.c_str(), err), 0);
    EXPECT_EQ(Read(path), "a\r\nb\r\n");
    CTxtArray back;
    EXPECT_EQ(back.LoadFromFile(path.c_str(), err), 2);
    EXPECT_EQ(back.Compare(&a), 0);
    EXPECT_EQ(back.LoadFromFileBuf(path.c_str(), err), 2);
    EXPECT_EQ(back.Compare(&a), 0);

    a.SetAt(3, "d");  // a gap is written as an empty line
    ASSERT_EQ(a.SaveToFile(path.c_str(), err), 0);
    EXPECT_EQ(Read(path), "a\r\nb\r\n\r\nd\r\n");
}

TEST_F(TxtArrayFiles, TheTwoLoadersDifferOnlyWhereDocumented)
{
    // A final line without a line end: lost by the byte reader, kept by the buffered one.
    auto [plain, buffered] = LoadBoth("a\nb");
    EXPECT_EQ(plain, (Texts{"a"}));
    EXPECT_EQ(buffered, (Texts{"a", "b"}));

    // CR LF is one line end for both; a lone CR ends a line only for the byte reader.
    std::tie(plain, buffered) = LoadBoth("a\r\nb\rc\n");
    EXPECT_EQ(plain, (Texts{"a", "b", "c"}));
    EXPECT_EQ(buffered, (Texts{"a", "bc"}));

    // NUL: ends the element's text for the byte reader, ends the line for the buffered one.
    std::tie(plain, buffered) = LoadBoth(std::string("a\0b\nc\n", 6));
    EXPECT_EQ(plain, (Texts{"a", "c"}));
    EXPECT_EQ(buffered, (Texts{"a", "b", "c"}));

    // Ctrl-Z ends a line for the buffered reader only.
    std::tie(plain, buffered) = LoadBoth("a\x1a" "b\n");
    EXPECT_EQ(plain, (Texts{"a\x1a" "b"}));
    EXPECT_EQ(buffered, (Texts{"a", "b"}));

    // Lines are kept up to 99 999 characters; the rest of the line is skipped.
    std::string longLine(100005, 'x');
    longLine[99998] = 'y';
    std::tie(plain, buffered) = LoadBoth(longLine + "\nnext\n");
    Texts expected{longLine.substr(0, 99999), "next"};
    EXPECT_EQ(plain, expected);
    EXPECT_EQ(buffered, expected);

    std::tie(plain, buffered) = LoadBoth("");
    EXPECT_TRUE(plain.empty());
    EXPECT_TRUE(buffered.empty());
}

TEST_F(TxtArrayFiles, FailuresAreReportedAndLeaveTheArrayAlone)
{
    CTxtArray a;
    Fill(a, {"keep"});
    CTxt err;
    std::string missing = dir.File("missing.txt");
    EXPECT_EQ(a.LoadFromFile(missing.c_str(), err), -1);
    EXPECT_EQ(std::string(err), "Cannot open " + missing + " (No such file or directory)");
    err.Empty();
    EXPECT_EQ(a.LoadFromFileBuf(missing.c_str(), err), -1);
    EXPECT_EQ(std::string(err), "Cannot open " + missing + " (No such file or directory)");
    EXPECT_EQ(TextsOf(a), (Texts{"keep"}));

    // A directory is not a line file, for either loader.
    EXPECT_EQ(a.LoadFromFile(dir.Path().c_str(), err), -1);
    EXPECT_EQ(std::string(err), "Cannot open " + dir.Path() + " (Is a directory)");
    EXPECT_EQ(a.LoadFromFileBuf(dir.Path().c_str(), err), -1);
    EXPECT_EQ(std::string(err), "Cannot open " + dir.Path() + " (Is a directory)");
    EXPECT_EQ(TextsOf(a), (Texts{"keep"}));

    std::string badDir = dir.File("no/such/dir.txt");
    EXPECT_EQ(a.SaveToFile(badDir.c_str(), err), -1);
    EXPECT_EQ(std::string(err), "Cannot open " + badDir + " (No such file or directory)");
}

TEST_F(TxtArrayFiles, SaveToFileReportsAFullDisk)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full here";
    CTxtArray a;
    Fill(a, {"some", "lines"});
    CTxt err;
    EXPECT_EQ(a.SaveToFile("/dev/full", err), -1);
    EXPECT_STREQ(err, "Cannot write /dev/full (No space left on device)");

    // Also when the data is larger than the stream's buffer, so the failure comes mid-way.
    Fill(a, {std::string(100000, 'x')});
    EXPECT_EQ(a.SaveToFile("/dev/full", err), -1);
    EXPECT_STREQ(err, "Cannot write /dev/full (No space left on device)");
}

}  // namespace
