#include <qdx/BufferedReader.h>

#include <qdxtest/ScopedEnv.h>
#include <qdxtest/TempDir.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Lines = std::vector<std::string>;

// A fresh directory per test; every test starts and ends with no source.
class BufferedReaderTest : public qdx::test::TempDirTest {
protected:
    void SetUp() override { bgetclose(); }
    void TearDown() override { bgetclose(); }

    // A file holding `bytes`; its path.
    std::string Source(const std::string& bytes, const char* name = "in.txt") { return dir.Write(name, bytes); }

    // Every line until -1, read with a line buffer of `size` bytes.
    static Lines ReadAll(int size = 200000)
    {
        Lines lines;
        std::vector<char> buf(static_cast<size_t>(size));
        for (int n; (n = bgetline(buf.data(), size)) >= 0;) {
            EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf.data()));
            lines.emplace_back(buf.data(), static_cast<size_t>(n));
        }
        return lines;
    }

    Lines ReadThroughFile(const std::string& bytes, int size = 200000)
    {
        std::string path = Source(bytes);
        EXPECT_EQ(bgetopen(path.c_str()), 1);
        Lines lines = ReadAll(size);
        bgetclose();
        return lines;
    }

    static Lines ReadMemory(std::string bytes, int size = 200000)
    {
        if (bytes.empty())
            return {};
        EXPECT_EQ(bgetmem(bytes.data(), static_cast<int>(bytes.size())), 0);
        Lines lines = ReadAll(size);
        bgetreset();
        return lines;
    }

    qdx::test::ScopedEnv env{{"BGETLRAM", nullptr}};
};

std::string Bytes(std::initializer_list<int> codes)
{
    std::string s;
    for (int c : codes)
        s += static_cast<char>(c);
    return s;
}

// The line rules written the plain way, one byte at a time: the model the reader must match.
Lines ReferenceLines(const std::string& data, size_t size)
{
    Lines lines;
    size_t i = 0;
    while (i < data.size()) {
        std::string line;
        bool ctrlZ = false;
        while (i < data.size()) {
            unsigned char ch = static_cast<unsigned char>(data[i++]);
            if (ch == 10 || ch == 0 || ch == 26) {
                ctrlZ = ch == 26;
                break;
            }
            if (ch != 13 && line.size() < size - 1)
                line += static_cast<char>(ch);
        }
        if (line.empty() && ctrlZ)
            break;  // reads as the end; the caller would stop here
        lines.push_back(line);
    }
    return lines;
}

TEST_F(BufferedReaderTest, LineRulesFromFileAndMemory)
{
    struct Case {
        std::string bytes;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {"ab\r\ncd", {"ab", "cd"}},
        {"ab\n", {"ab"}},
        {"", {}},
        {Bytes({'a', 0, 'b', '\n'}), {"a", "b"}},
        {Bytes({'a', 'b', 26, 'c', 'd', '\n'}), {"ab", "cd"}},
        {Bytes({26, 'c', 'd', '\n'}), {}},
        {"a\rb\n", {"ab"}},
        {"\n\nx", {"", "", "x"}},
        {"\r\r\n", {""}},
        {"\r", {""}},
        {"last line without end", {"last line without end"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(ReadThroughFile(c.bytes), c.lines);
        EXPECT_EQ(ReadMemory(c.bytes), c.lines);
    }
}

TEST_F(BufferedReaderTest, CtrlZAtLineStartReadsAsEndThenReadingGoesOn)
{
    std::string data = Bytes({'a', '\n', 26, 'b', '\n'});
    ASSERT_EQ(bgetmem(data.data(), static_cast<int>(data.size())), 0);
    char buf[16];
    EXPECT_EQ(bgetline(buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "a");
    EXPECT_EQ(bgetline(buf, sizeof buf), -1);
    EXPECT_EQ(bgetline(buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "b");
    EXPECT_EQ(bgetline(buf, sizeof buf), -1);
    bgetreset();
}

TEST_F(BufferedReaderTest, LongLinesAreCutButTheRestIsSkipped)
{
    // The buffer holds size - 1 characters and a NUL; nothing is written past it.
    std::string path = Source("abcdefg\nx");
    ASSERT_EQ(bgetopen(path.c_str()), 1);
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(bgetline(buf, 5), 4);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(std::string(buf + 5, 3), "###");
    EXPECT_EQ(bgetline(buf, 5), 1);
    EXPECT_STREQ(buf, "x");
    EXPECT_EQ(bgetline(buf, 5), -1);

    EXPECT_EQ(ReadThroughFile("abc\nd", 1), (Lines{"", ""}));  // room for the NUL only
}

TEST_F(BufferedReaderTest, LinesLongerThanTheBufferAreJoinedAcrossFills)
{
    env.Set("BGETLRAM", "1010");
    std::string line1(1500, 'x');
    std::string line2(2500, 'y');
    line1[1009] = 'A';  // the last byte of the first fill
    line1[1010] = 'B';  // the first byte of the second
    EXPECT_EQ(ReadThroughFile(line1 + "\n" + line2 + "\r\n"), (Lines{line1, line2}));
    EXPECT_EQ(bgetbufsize(), 0);

    // A CR-LF pair split by a fill boundary is still one line end.
    std::string split(1009, 'z');
    EXPECT_EQ(ReadThroughFile(split + "\r\nnext"), (Lines{split, "next"}));
}

TEST_F(BufferedReaderTest, MatchesTheLineRulesOnRandomDataWithSmallBuffers)
{
    env.Set("BGETLRAM", "1010");
    std::mt19937 rng(12345);
    const char alphabet[] = {'a', 'b', 'c', 13, 10, 0, 26, 'd', 'e', 'f', 'g', 'h'};
    for (int round = 0; round < 40; ++round) {
        size_t length = std::uniform_int_distribution<size_t>(0, 5000)(rng);
        int lineSize = std::uniform_int_distribution<int>(1, 1500)(rng);
        std::string data;
        for (size_t i = 0; i < length; ++i) {
            // Mostly letters, so that long lines and fill boundaries both occur.
            bool special = std::uniform_int_distribution<int>(0, 60)(rng) == 0;
            data += special ? alphabet[std::uniform_int_distribution<int>(3, 6)(rng)]
                            : alphabet[std::uniform_int_distribution<int>(0, 11)(rng) % 3];
        }
        SCOPED_TRACE(round);
        Lines expected = ReferenceLines(data, static_cast<size_t>(lineSize));
        EXPECT_EQ(ReadThroughFile(data, lineSize), expected);
        EXPECT_EQ(ReadMemory(data, lineSize), expected);
    }
}

TEST_F(BufferedReaderTest, BufferSizeComesFromTheEnvironmentAtEachAllocation)
{
    std::string path = Source("a\n");
    struct Case {
        const char* value;  // null: unset
        int size;
    };
    for (Case c : {Case{nullptr, 300000}, Case{"500", 1010}, Case{"no number", 1010},
                   Case{"2000000", 2000000}, Case{"99999999999999999999", 2147483647}}) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        env.Set("BGETLRAM", c.value);
        ASSERT_EQ(bgetopen(path.c_str()), 1);
        EXPECT_EQ(bgetbufsize(), c.size);
        bgetclose();
        EXPECT_EQ(bgetbufsize(), 0);
    }
}

TEST_F(BufferedReaderTest, SecondOpenReusesTheBufferAndStartsTheNewFile)
{
    std::string first = Source("1\n2\n3\n", "first.txt");
    std::string second = Source("x\ny\n", "second.txt");
    ASSERT_EQ(bgetopen(first.c_str()), 1);
    char buf[16];
    ASSERT_EQ(bgetline(buf, sizeof buf), 1);
    env.Set("BGETLRAM", "5000");  // no new allocation, so no new size
    ASSERT_EQ(bgetopen(second.c_str()), 1);
    EXPECT_EQ(bgetbufsize(), 300000);
    EXPECT_EQ(ReadAll(), (Lines{"x", "y"}));
}

TEST_F(BufferedReaderTest, MemorySourceResults)
{
    char data[] = {'x', '\n', 'y'};
    EXPECT_EQ(bgetmem(nullptr, 3), -1);
    EXPECT_EQ(bgetmem(data, 0), -2);
    EXPECT_EQ(bgetmem(data, -5), -2);
    ASSERT_EQ(bgetmem(data, 3), 0);
    EXPECT_EQ(bgetbufsize(), 3);
    EXPECT_EQ(ReadAll(), (Lines{"x", "y"}));
    EXPECT_EQ(std::string(data, 3), "x\ny");  // the caller's block is only read
    bgetreset();
    char buf[4];
    EXPECT_EQ(bgetline(buf, sizeof buf), -1);
}

TEST_F(BufferedReaderTest, CallerBlockIsNeverFilledFromAFileNorReleased)
{
    // A memory source given while a file is open reads only the block; closing afterwards
    // must not hand the caller's (stack) block to free().
    std::string path = Source(std::string(5000, 'f') + "\n");
    env.Set("BGETLRAM", "1010");
    ASSERT_EQ(bgetopen(path.c_str()), 1);
    char block[] = {'m', '\n', 'n'};
    ASSERT_EQ(bgetmem(block, 3), 0);
    EXPECT_EQ(ReadAll(), (Lines{"m", "n"}));
    bgetclose();
    EXPECT_EQ(std::string(block, 3), "m\nn");

    // And a file opened after a memory source gets a buffer of its own.
    ASSERT_EQ(bgetmem(block, 3), 0);
    ASSERT_EQ(bgetopen(path.c_str()), 1);
    EXPECT_EQ(bgetbufsize(), 1010);
    EXPECT_EQ(ReadAll(), (Lines{std::string(5000, 'f')}));
    EXPECT_EQ(std::string(block, 3), "m\nn");
}

TEST_F(BufferedReaderTest, NoSourceGivesEndAndMissingFilesSayWhy)
{
    char buf[8] = "old";
    EXPECT_EQ(bgetline(buf, sizeof buf), -1);

    errno = 0;
    EXPECT_EQ(bgetopen(dir.File("missing.txt").c_str()), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(bgetline(buf, sizeof buf), -1);
    EXPECT_EQ(bgetopen(dir.Path().c_str()), 0);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(bgetline(buf, sizeof buf), -1);

    std::string path = Source("a\nb\n");
    ASSERT_EQ(bgetopen(path.c_str()), 1);
    EXPECT_EQ(bgetline(buf, sizeof buf), 1);
    bgetclose();
    EXPECT_EQ(bgetline(buf, sizeof buf), -1);  // "b" is not delivered after close

    EXPECT_EQ(bgetline(nullptr, 10), -1);
    ASSERT_EQ(bgetopen(path.c_str()), 1);
    EXPECT_EQ(bgetline(buf, 0), -1);  // nothing consumed
    EXPECT_EQ(ReadAll(), (Lines{"a", "b"}));
}

TEST_F(BufferedReaderTest, PipesAreReadToTheirEnd)
{
    // A pipe reports size 0; every line must still arrive, past the first fill.
    env.Set("BGETLRAM", "1010");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string data;
    Lines expected;
    for (int i = 0; i < 300; ++i) {
        expected.push_back("line " + std::to_string(i));
        data += expected.back() + "\n";
    }
    ASSERT_EQ(write(fds[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    close(fds[1]);
    std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
    ASSERT_EQ(bgetopen(path.c_str()), 1);
    EXPECT_EQ(ReadAll(), expected);
    bgetclose();
    close(fds[0]);
}

}  // namespace
