#include <qdx/Fields.h>
#include <qdx/Platform.h>
#include <qdx/TxtArray.h>

#include <qdxtest/TempDir.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

Texts TextsOf(const CTxtArray& array)
{
    Texts texts;
    for (int i = 0; i < array.GetSize(); ++i)
        texts.emplace_back(array.GetAtTxt(i));
    return texts;
}

size_t IndexOf(const Texts& texts, const std::string& text)
{
    return static_cast<size_t>(std::find(texts.begin(), texts.end(), text) - texts.begin());
}

// A temporary tree: d/b.txt, d/A.log, d/sub/x.log.
class DirListTest : public qdx::test::TempDirTest {
protected:
    void SetUp() override
    {
        fs::create_directories(d_ + "/sub");
        Touch(d_ + "/b.txt");
        Touch(d_ + "/A.log");
        Touch(d_ + "/sub/x.log");
    }
    void TearDown() override { SetLastMessageSink({}); }
    static void Touch(const std::string& path) { std::ofstream(path) << "x"; }

    const std::string d_ = dir.File("d");
};

TEST_F(DirListTest, SortedAndUnsortedListings)
{
    CTxtArray a;
    EXPECT_EQ(a.LoadFromDir(d_.c_str(), 0, 0, nullptr, 0, 0), 3);
    EXPECT_THAT(TextsOf(a), ElementsAre(d_ + "/A.log", d_ + "/b.txt", d_ + "/sub"));

    a.RemoveAll();
    EXPECT_EQ(a.LoadFromDir(d_.c_str(), 1, 0, "", 0, 0), 4);
    EXPECT_THAT(TextsOf(a), ElementsAre(d_ + "/A.log", d_ + "/b.txt", d_ + "/sub", d_ + "/sub/x.log"));

    // Unsorted: a subdirectory's contents come before its own entry.
    a.RemoveAll();
    EXPECT_EQ(a.LoadFromDirNoSort(d_.c_str(), 1, 0, nullptr, 0, 0), 4);
    Texts unsorted = TextsOf(a);
    EXPECT_LT(IndexOf(unsorted, d_ + "/sub/x.log"), IndexOf(unsorted, d_ + "/sub"));
    EXPECT_LT(IndexOf(unsorted, d_ + "/sub"), unsorted.size());
}

TEST_F(DirListTest, FilesOnlyExtensionsAndPatterns)
{
    CTxtArray a;
    EXPECT_EQ(a.LoadFromDir(d_.c_str(), 1, 1, nullptr, 0, 0), 2);
    EXPECT_THAT(TextsOf(a), ElementsAre(d_ + "/A.log", d_ + "/b.txt"));

    a.RemoveAll();
    EXPECT_EQ(a.LoadFromDir(d_.c_str(), 1, 0, "!LOG", 0, 0), 2);
    EXPECT_THAT(TextsOf(a), ElementsAre(d_ + "/A.log", d_ + "/sub/x.log"));

    // The pattern applies in every directory, so "sub" itself is not found and not entered.
    a.RemoveAll();
    EXPECT_EQ(a.LoadFromDir(d_.c_str(), 1, 0, "*.txt", 0, 0), 1);
    EXPECT_THAT(TextsOf(a), ElementsAre(d_ + "/b.txt"));

    // The extension is the second "."-field of the name: "a.b.log" has "b".
    Touch(d_ + "/a.b.log");
    Touch(d_ + "/noext");
    a.RemoveAll();
    a.LoadFromDir(d_.c_str(), 0, 0, "!b", 0, 0);
    EXPECT_THAT(TextsOf(a), ElementsAre(d_ + "/a.b.log"));
    a.RemoveAll();
    a.LoadFromDir(d_.c_str(), 0, 1, "!", 0, 0);
    EXPECT_THAT(TextsOf(a), ElementsAre(d_ + "/noext"));
}

TEST_F(DirListTest, ListingsAppendAndMissingDirectoriesAddNothing)
{
    CTxtArray a;
    EXPECT_EQ(a.LoadFromDir(d_.c_str(), 0, 0, nullptr, 0, 0), 3);
    EXPECT_EQ(a.LoadFromDir(d_.c_str(), 0, 0, nullptr, 0, 0), 6);
    EXPECT_EQ(a.LoadFromDirNoSort(dir.File("missing").c_str(), 1, 0, nullptr, 0, 0), 6);
    EXPECT_EQ(a.LoadFromDir(dir.File("missing").c_str(), 1, 0, nullptr, 0, 0), 6);
}

TEST_F(DirListTest, BackslashesAreTurnedIntoSlashesInFileEntriesOnly)
{
    // "dir\sub" is an ordinary name here, so the backslash must come from the caller's dir.
    const std::string odd = dir.File("e\\f");
    fs::create_directories(odd + "/g");
    Touch(odd + "/h.txt");
    CTxtArray a;
    a.LoadFromDir(odd.c_str(), 0, 0, nullptr, 0, 0);
    EXPECT_THAT(TextsOf(a), ElementsAre(dir.File("e/f/h.txt"), odd + "/g"));
}

TEST_F(DirListTest, LinkedDirectoriesAreListedButNeverEntered)
{
    fs::create_directory_symlink("..", d_ + "/sub/up");       // back up the tree
    fs::create_directory_symlink(d_ + "/sub", d_ + "/again");  // sideways
    fs::create_symlink(d_ + "/gone", d_ + "/dangling");
    CTxtArray a;
    EXPECT_EQ(a.LoadFromDir(d_.c_str(), 1, 0, nullptr, 0, 0), 6);
    EXPECT_THAT(TextsOf(a), ElementsAre(d_ + "/A.log", d_ + "/again", d_ + "/b.txt", d_ + "/sub",
                                        d_ + "/sub/up", d_ + "/sub/x.log"));
}

TEST_F(DirListTest, TimeKeyedEntriesSortOldestFirst)
{
    // Created in reverse name order, far enough apart for any file-system clock.
    const std::string t = dir.File("t");
    fs::create_directory(t);
    for (const char* name : {"c.txt", "b.txt", "a.txt"}) {
        Touch(t + "/" + name);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    fs::create_directory(t + "/dir");
    CTxtArray a;
    EXPECT_EQ(a.LoadFromDirSortTime(t.c_str(), 0, 1, nullptr, 0, 0), 3);
    EXPECT_EQ(a.sortByTime, 1);
    const std::regex keyed(R"((\d{8})\|\d{6}\.\d{3}\|(.*))");
    Texts paths;
    for (const std::string& text : TextsOf(a)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, keyed)) << text;
        paths.push_back(m[2]);
        // The key is today's UTC date (or yesterday's, just after midnight).
        std::time_t now = std::time(nullptr);
        char today[9], yesterday[9];
        std::time_t before = now - 86400;
        std::strftime(today, sizeof today, "%Y%m%d", std::gmtime(&now));
        std::strftime(yesterday, sizeof yesterday, "%Y%m%d", std::gmtime(&before));
        EXPECT_TRUE(m[1] == today || m[1] == yesterday) << text;
        CTxt path;
        strfldtxt(text.c_str(), '|', 3, 0, path);
        EXPECT_EQ(std::string(path), paths.back());
    }
    EXPECT_THAT(paths, ElementsAre(t + "/c.txt", t + "/b.txt", t + "/a.txt"));

    // Later listings into the same array are time-keyed too; directories never are.
    a.LoadFromDir(t.c_str(), 0, 0, nullptr, 0, 0);
    EXPECT_EQ(a.GetSize(), 7);
    EXPECT_GE(a.FindString((t + "/dir").c_str()), 0);
    EXPECT_EQ(a.FindStringSegment(("|" + t + "/dir").c_str()), -1);
}

TEST_F(DirListTest, TracesTheWalk)
{
    std::vector<std::string> messages;
    SetLastMessageSink([&](const char* text) { messages.emplace_back(text); });
    CTxtArray a;
    const std::string missing = dir.File("missing");
    a.LoadFromDir(missing.c_str(), 0, 0, nullptr, 0, 1);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "Dir=" + missing + ", Desc=0, File=0, Path=(null), nLev=0");
    EXPECT_THAT(messages[1], StartsWith("Dir=" + missing + ", Desc=0, File=0, Path=" + missing + "/*, nLev=0, hFindFn="));
    EXPECT_EQ(messages[2], "Dir=" + missing + ", Desc=0, File=0, Path=(null), nLev=0, Sort 0 Files");
    EXPECT_EQ(messages[3], "Dir=" + missing + ", Desc=0, File=0, Path=(null), nLev=0, Sort 0 Files - Completed");

    messages.clear();
    a.LoadFromDirNoSort(d_.c_str(), 1, 0, "!log", 0, 2);
    EXPECT_THAT(messages, ::testing::Contains("Dir=" + d_ + "/sub, nLev=1, Found File=" + d_ + "/sub/x.log"));
    EXPECT_THAT(messages, ::testing::Contains("Dir=" + d_ + ", nLev=0, File=" + d_ + "/b.txt"));
    EXPECT_THAT(messages, ::testing::Contains("Dir=" + d_ + "/sub, Desc=1, File=0, Path=!log, nLev=1"));
    EXPECT_THAT(messages, ::testing::Not(::testing::Contains(HasSubstr("Found File=" + d_ + "/b.txt"))));

    // The sorting listing by time traces only the sort, never the walk.
    messages.clear();
    a.LoadFromDirSortTime(d_.c_str(), 1, 0, nullptr, 0, 1);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_THAT(messages[0], HasSubstr(", Sort "));
}

}  // namespace
