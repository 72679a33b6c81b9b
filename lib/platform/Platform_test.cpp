#include <qdx/Object.h>
#include <qdx/Platform.h>
#include <qdx/Resources.h>
#include <qdx/String.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class Widget : public CObject {
public:
    static CObject* Create() { return new Widget; }
    static const CRuntimeClass classWidget;
    const CRuntimeClass* GetRuntimeClass() const override { return &classWidget; }
};
const CRuntimeClass Widget::classWidget = {"Widget", sizeof(Widget), 0xFFFF, &Widget::Create,
                                           &CObject::classCObject};

TEST(Object, RegisteredClassesAreCreatableByName)
{
    ASSERT_EQ(CRuntimeClass::Register(&Widget::classWidget), 0);
    EXPECT_EQ(CRuntimeClass::Register(&Widget::classWidget), 0);  // again: same record is fine
    const CRuntimeClass impostor = {"Widget", 1, 0xFFFF, nullptr, nullptr};
    EXPECT_EQ(CRuntimeClass::Register(&impostor), -1);

    CObject* made = CRuntimeClass::CreateObject("Widget");
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(&Widget::classWidget));
    EXPECT_TRUE(made->IsKindOf(&CObject::classCObject));
    delete made;
    EXPECT_EQ(CRuntimeClass::CreateObject("NoSuchClass"), nullptr);
}

TEST(String, FormatsTextsOfAnyLength)
{
    CString s;
    s.Format("%s-%05d", "id", 42);
    EXPECT_STREQ(s, "id-00042");
    std::string longText(100000, 'x');
    s.Format("<%s>", longText.c_str());
    EXPECT_EQ(s.GetLength(), 100002);
    EXPECT_EQ(s[100001], '>');
}

TEST(String, ComparesIgnoringAsciiCaseOnly)
{
    CString s("Hello");
    EXPECT_EQ(s.CompareNoCase("hELLO"), 0);
    EXPECT_LT(s.CompareNoCase("help"), 0);
    EXPECT_NE(CString("\xC4").CompareNoCase("\xE4"), 0);  // no locale folding of 8-bit letters
}

TEST(String, PiecesAndSearch)
{
    CString s("  abc def  ");
    s.TrimLeft();
    s.TrimRight();
    EXPECT_STREQ(s, "abc def");
    EXPECT_STREQ(s.Left(3), "abc");
    EXPECT_STREQ(s.Mid(4), "def");
    EXPECT_STREQ(s.Right(2), "ef");
    EXPECT_EQ(s.Find("def"), 4);
    EXPECT_EQ(s.Find('z'), -1);
}

TEST(StringTable, LoadsRegisteredTexts)
{
    static const QdxStringEntry table[] = {{7, "seven"}, {9, "nine"}};
    RegisterStringTable(table, 2);
    CString s;
    EXPECT_TRUE(s.LoadString(9));
    EXPECT_STREQ(s, "nine");
    EXPECT_FALSE(s.LoadString(8));
    EXPECT_STREQ(s, "");
    RegisterStringTable(nullptr, 0);
    EXPECT_EQ(LoadResourceString(7), nullptr);
}

TEST(Hooks, MessageBoxAndLastMessageReachTheirHooks)
{
    std::string seen;
    auto previous = SetMessageBoxHook([&](const char* text, const char* caption, unsigned) {
        seen = std::string(caption) + "|" + text;
        return IDCANCEL;
    });
    EXPECT_EQ(ShowMessageBox("body", "Title"), IDCANCEL);
    EXPECT_EQ(seen, "Title|body");
    SetMessageBoxHook(previous);

    std::string last;
    SetLastMessageSink([&](const char* text) { last = text; });
    SendLastMessage("Completed Runs: 1");
    EXPECT_EQ(last, "Completed Runs: 1");
    SetLastMessageSink(nullptr);
    SendLastMessage("nobody listens");
    EXPECT_EQ(last, "Completed Runs: 1");
}

TEST(Hooks, ClockSeamsReplaceTheRealClock)
{
    SetClockNowSource([] { return timespec{1136214245, 0}; });
    EXPECT_EQ(ClockNow().tv_sec, 1136214245);
    SetClockNowSource(nullptr);
    EXPECT_GT(ClockNow().tv_sec, 1600000000);

    timespec asked{};
    SetClockSetter([&](const timespec& when) {
        asked = when;
        return 0;
    });
    EXPECT_EQ(ClockSet(timespec{42, 0}), 0);
    EXPECT_EQ(asked.tv_sec, 42);
    SetClockSetter(nullptr);
}

// With standard descriptors closed, the next file opened must not take their place, and using
// them must fail rather than quietly succeed.
TEST(StandardDescriptors, ClosedOnesAreFilledSoThatUsingThemFails)
{
    const int closedSets[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    for (const int* closed : closedSets) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int saved = dup(2);  // for telling what went wrong
            for (int fd = 0; fd < 3; ++fd)
                if (closed[fd])
                    close(fd);
            int fault = OpenStandardDescriptors() == 0 ? 0 : 1;
            int file = open("/dev/null", O_RDWR);
            if (file < 3)
                fault |= 2;
            char byte = 'x';
            for (int fd = 0; fd < 3; ++fd) {
                if (fcntl(fd, F_GETFD) == -1)
                    fault |= 4;
                else if (closed[fd] && (fd == 0 ? read(fd, &byte, 1) : write(fd, &byte, 1)) != -1)
                    fault |= 8;
            }
            if (fault)
                dprintf(saved, "closed %d%d%d: fault %d\n", closed[0], closed[1], closed[2], fault);
            _exit(fault);
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << closed[0] << closed[1] << closed[2];
    }
}

} // namespace
