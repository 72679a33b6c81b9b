#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

void* TaskMemAlloc(std::size_t size)
{
    return std::malloc(size ? size : 1);
}

void TaskMemFree(void* block)
{
    std::free(block);
}

namespace {

// The hooks are installed at start-up and in tests; a mutex keeps a swap from racing a call.
std::mutex g_hookLock;
MessageBoxHook g_messageBox;
LastMessageSink g_lastMessage;
ClockNowSource g_clockNow;
ClockSetter g_clockSet;

template <typename Fn>
Fn Swap(Fn& slot, Fn replacement)
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    return std::exchange(slot, std::move(replacement));
}

template <typename Fn>
Fn Current(const Fn& slot)
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    return slot;
}

} // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    return Swap(g_messageBox, std::move(hook));
}

int ShowMessageBox(const char* text, const char* caption, unsigned type)
{
    if (MessageBoxHook hook = Current(g_messageBox))
        return hook(text ? text : "", caption ? caption : "", type);
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}

LastMessageSink SetLastMessageSink(LastMessageSink sink)
{
    return Swap(g_lastMessage, std::move(sink));
}

void SendLastMessage(const char* text)
{
    if (LastMessageSink sink = Current(g_lastMessage))
        sink(text ? text : "");
}

timespec ClockNow()
{
    if (ClockNowSource source = Current(g_clockNow))
        return source();
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

ClockNowSource SetClockNowSource(ClockNowSource source)
{
    return Swap(g_clockNow, std::move(source));
}

int ClockSet(const timespec& when)
{
    if (ClockSetter setter = Current(g_clockSet))
        return setter(when);
    return clock_settime(CLOCK_REALTIME, &when) == 0 ? 0 : errno;
}

ClockSetter SetClockSetter(ClockSetter setter)
{
    return Swap(g_clockSet, std::move(setter));
}

int OpenStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lower ones are open, so the lowest free descriptor is `fd` itself.
        const int opened = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (opened < 0)
            return -1;
        if (opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
    return 0;
}

void StartProgram(const char* folder)
{
    if (OpenStandardDescriptors() != 0) {
        static const char message[] = "cannot open /dev/null for a closed standard descriptor\n";
        if (write(2, message, sizeof message - 1) < 0) {
            // Nowhere left to say it.
        }
        _exit(1);
    }
    SetProgramFolder(folder);
}
