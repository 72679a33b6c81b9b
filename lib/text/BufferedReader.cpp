// The buffered line reader: one process-wide state, block reads, a vectorised scan for line ends.
#include <qdx/BufferedReader.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kDefaultBufferSize = 300000;
constexpr int kMinBufferSize = 1010;

constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;
constexpr unsigned char kCtrlZ = 26;

// The one reader of the process.
struct Reader {
    char* buffer = nullptr;    // the read buffer, or the caller's block
    int bufferSize = 0;        // bytes allocated at buffer (the block's size for a memory source)
    bool ownsBuffer = false;   // true when buffer came from malloc here and is ours to free
    bool memorySource = false; // true while the source is a caller's block: never refilled
    std::FILE* file = nullptr;
    int valid = 0;             // bytes of data in the buffer
    int position = 0;          // next byte to deliver
    // 64-bit so that files past 2 GiB are read to their end; -1 for sourceSize means "unknown"
    // (the status query failed, or the file is a pipe or device whose size says nothing).
    std::int64_t readTotal = 0;
    std::int64_t sourceSize = 0;
};

Reader g_reader;

// The read-buffer size the environment asks for: BGETLRAM as a decimal number, at least 1010;
// 300 000 without the variable. Read on every call, so an operator can change it between files.
int WantedBufferSize()
{
    const char* text = std::getenv("BGETLRAM");
    if (text == nullptr)
        return kDefaultBufferSize;
    // strtoll instead of atol: the same reading of the digits, without undefined behaviour for
    // numbers too large for a long.
    long long wanted = std::strtoll(text, nullptr, 10);
    if (wanted < kMinBufferSize)
        return kMinBufferSize;
    if (wanted > INT_MAX)
        return INT_MAX;
    return static_cast<int>(wanted);
}

// The size of the open file for the end-of-source test, or -1 when it says nothing (a pipe or a
// device, or the status query failed): such sources are read until a read gives no data.
std::int64_t SourceSizeOf(std::FILE* file)
{
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

void ReleaseBuffer()
{
    if (g_reader.ownsBuffer)
        std::free(g_reader.buffer);
    g_reader.buffer = nullptr;
    g_reader.bufferSize = 0;
    g_reader.ownsBuffer = false;
}

// Allocates a read buffer of the wanted size, or failing that one as large as `fallbackSize`
// (when that is positive). Returns false when neither could be had.
bool AllocateBuffer(std::int64_t fallbackSize)
{
    int size = WantedBufferSize();
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (block == nullptr && fallbackSize > 0 && fallbackSize <= INT_MAX) {
        size = static_cast<int>(fallbackSize);
        block = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    }
    if (block == nullptr)
        return false;
    g_reader.buffer = block;
    g_reader.bufferSize = size;
    g_reader.ownsBuffer = true;
    return true;
}

// One read of up to a buffer's worth from the file; a failed read counts as no data.
int ReadBlock()
{
    const int fd = fileno(g_reader.file);
    for (;;) {
        ssize_t got = ::read(fd, g_reader.buffer, static_cast<size_t>(g_reader.bufferSize));
        if (got >= 0)
            return static_cast<int>(got);
        if (errno != EINTR)
            return 0;
    }
}

// Refills the buffer from the file (bgetline has made sure there is a buffer). Returns false
// when no more data came; a memory source never has more.
bool Fill()
{
    if (g_reader.file == nullptr || g_reader.memorySource)
        return false;
    g_reader.valid = ReadBlock();
    g_reader.readTotal += g_reader.valid;
    g_reader.position = 0;
    return g_reader.valid >= 1;
}

// Index of the first byte in [from, to) that is a CR, LF, NUL or Ctrl-Z; `to` when there is none.
// Ordinary text is by far the common case, so the scan looks at 16 bytes per step where it can.
int FindSpecial(const unsigned char* data, int from, int to)
{
    int i = from;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8(static_cast<char>(kLF));
    const __m128i cr = _mm_set1_epi8(static_cast<char>(kCR));
    const __m128i eof = _mm_set1_epi8(static_cast<char>(kCtrlZ));
    const __m128i nul = _mm_setzero_si128();
    for (; i + 16 <= to; i += 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr)),
                                   _mm_or_si128(_mm_cmpeq_epi8(chunk, eof), _mm_cmpeq_epi8(chunk, nul)));
        int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; i < to; ++i) {
        unsigned char ch = data[i];
        if (ch == kLF || ch == kCR || ch == kCtrlZ || ch == 0)
            return i;
    }
    return to;
}

}  // namespace

int bgetopen(const char* path)
{
    if (g_reader.buffer != nullptr && !g_reader.ownsBuffer)
        ReleaseBuffer();  // a caller's block is never filled from a file
    if (g_reader.buffer == nullptr) {
        std::int64_t fileSize = -1;
        struct stat st {};
        if (path != nullptr && ::stat(path, &st) == 0)
            fileSize = st.st_size > 0 ? static_cast<std::int64_t>(st.st_size) : 1;
        if (!AllocateBuffer(fileSize))
            return -2;
    }
    if (g_reader.file != nullptr) {
        std::fclose(g_reader.file);
        g_reader.file = nullptr;
    }
    g_reader.memorySource = false;
    g_reader.valid = 0;
    g_reader.position = 0;
    g_reader.readTotal = 0;
    g_reader.sourceSize = 0;
    if (path == nullptr) {
        errno = EINVAL;
        return 0;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return 0;
    // A directory opens like a file here but has no bytes to read: say so instead of
    // delivering an empty source.
    struct stat opened {};
    if (fstat(fileno(file), &opened) == 0 && S_ISDIR(opened.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return 0;
    }
    std::rewind(file);
    g_reader.file = file;
    g_reader.sourceSize = SourceSizeOf(file);
    g_reader.valid = ReadBlock();
    g_reader.readTotal = g_reader.valid;
    g_reader.position = 0;
    return 1;
}

int bgetmem(char* data, int size)
{
    if (data == nullptr)
        return -1;
    if (size < 1)
        return -2;
    if (g_reader.ownsBuffer)
        ReleaseBuffer();
    g_reader.buffer = data;
    g_reader.bufferSize = size;
    g_reader.ownsBuffer = false;
    g_reader.memorySource = true;
    g_reader.valid = size;
    g_reader.position = 0;
    g_reader.readTotal = size;
    g_reader.sourceSize = size;
    return 0;
}

int bgetline(char* buf, int size)
{
    if (buf == nullptr || size < 1)
        return -1;
    if (g_reader.buffer == nullptr)
        return -1;
    if (g_reader.position >= g_reader.valid && g_reader.sourceSize >= 0 &&
        g_reader.readTotal >= g_reader.sourceSize)
        return -1;

    const int keep = size - 1;  // characters that fit before the NUL
    int stored = 0;
    bool tookByte = false;
    bool endedAtCtrlZ = false;
    for (;;) {
        if (g_reader.position >= g_reader.valid && !Fill())
            break;
        const auto* data = reinterpret_cast<const unsigned char*>(g_reader.buffer);
        const int start = g_reader.position;
        const int special = FindSpecial(data, start, g_reader.valid);
        if (special > start) {
            tookByte = true;
            int run = special - start;
            int room = keep - stored;
            int copy = run < room ? run : room;
            if (copy > 0) {
                std::memcpy(buf + stored, g_reader.buffer + start, static_cast<size_t>(copy));
                stored += copy;
            }
        }
        g_reader.position = special;
        if (special >= g_reader.valid)
            continue;  // the line goes on in the next fill
        const unsigned char ch = data[special];
        g_reader.position = special + 1;
        tookByte = true;
        if (ch == kCR)
            continue;
        endedAtCtrlZ = ch == kCtrlZ;
        break;
    }
    buf[stored] = 0;
    if (stored == 0 && (endedAtCtrlZ || !tookByte))
        return -1;
    return stored;
}

void bgetreset()
{
    ReleaseBuffer();
    g_reader.memorySource = false;
    g_reader.valid = 0;
    g_reader.position = 0;
    g_reader.readTotal = 0;
    g_reader.sourceSize = 0;
}

void bgetclose()
{
    if (g_reader.file != nullptr) {
        std::fclose(g_reader.file);
        g_reader.file = nullptr;
    }
    bgetreset();
}

int bgetbufsize()
{
    return g_reader.bufferSize;
}
