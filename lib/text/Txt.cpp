#include <qdx/Fields.h>
#include <qdx/Platform.h>
#include <qdx/String.h>
#include <qdx/Txt.h>

#include "text/MessageFormat.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

char* CTxt::s_workBuffer = nullptr;

namespace {

// The largest text a CTxt can count: its capacity (length + 2) must fit a signed 32-bit number.
constexpr long long kMaxLength = INT_MAX - 2;

// Writes all `size` bytes to `fd`, retrying short and interrupted writes. Returns the number of
// bytes written: less than `size` only after an error (errno tells which).
std::size_t WriteAll(int fd, const char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (n == 0) {
            errno = EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Reads up to `size` bytes from `fd`, retrying short and interrupted reads. Returns the number
// of bytes read (less at the end of the file), or -1 after an error.
long long ReadAll(int fd, char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

// The bytes still to come in a regular file open at `fd`, or -1 when that cannot be known (a
// pipe, a terminal, a file of the kernel's pseudo file systems).
long long RemainingBytes(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at < 0)
        return -1;
    return st.st_size > at ? static_cast<long long>(st.st_size - at) : 0;
}

// Closes a stdio stream when it goes out of scope.
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

} // namespace

// --- construction, release and state ---------------------------------------------------------

CTxt::CTxt()
{
    Reset();
}

CTxt::CTxt(const char* text)
{
    Reset();
    if (text)
        SetTxt(text);
}

CTxt::~CTxt()
{
    Empty();
}

void CTxt::Reset()
{
    m_buffer = nullptr;
    m_length = 0;
    m_capacity = 0;
}

void CTxt::Empty()
{
    ReleaseBuffer();
}

void CTxt::ReleaseBuffer()
{
    if (m_buffer) {
        TaskMemFree(m_buffer);
        Reset();
    }
}

void CTxt::MakeEmpty()
{
    if (m_buffer) {
        m_buffer[0] = '\0';
        m_length = 0;
    } else {
        SetTxt("");
    }
}

int CTxt::IsEmpty() const
{
    return m_length <= 0 ? 1 : 0;
}

int CTxt::IsFilled() const
{
    return m_length > 0 ? 1 : 0;
}

CTxt::operator const char*() const
{
    // Readers always get a real text; the empty one is allocated on first sight, as the
    // buffer invariants demand (capacity 2).
    if (!m_buffer)
        const_cast<CTxt*>(this)->MakeEmpty();
    return m_buffer ? m_buffer : "";
}

void CTxt::Shutdown()
{
    delete[] s_workBuffer;
    s_workBuffer = nullptr;
}

// --- storage ---------------------------------------------------------------------------------

bool CTxt::Reserve(long long needed, int keep)
{
    if (needed <= m_capacity)
        return true;
    if (needed > kMaxLength + 2)
        return false;
    char* grown = static_cast<char*>(TaskMemAlloc(static_cast<std::size_t>(needed)));
    if (!grown)
        return false;
    if (keep > 0)
        std::memcpy(grown, m_buffer, static_cast<std::size_t>(keep));
    TaskMemFree(m_buffer);
    m_buffer = grown;
    m_capacity = static_cast<int>(needed);
    return true;
}

void CTxt::SetBytes(const char* text, int n)
{
    if (m_capacity >= n + 2) {
        // `text` may lie inside our own buffer (a suffix of the text): move, not copy.
        std::memmove(m_buffer, text, static_cast<std::size_t>(n));
    } else {
        char* grown = static_cast<char*>(TaskMemAlloc(static_cast<std::size_t>(n) + 2));
        if (!grown)
            return;
        std::memcpy(grown, text, static_cast<std::size_t>(n));
        TaskMemFree(m_buffer);
        m_buffer = grown;
        m_capacity = n + 2;
    }
    m_buffer[n] = '\0';
    m_length = n;
}

void CTxt::SetTxt(const char* text)
{
    if (!text)
        text = "";  // a null text is the empty text, not a crash
    std::size_t n = std::strlen(text);
    if (n > static_cast<std::size_t>(kMaxLength))
        return;
    SetBytes(text, static_cast<int>(n));
}

const CTxt& CTxt::operator=(const char* text)
{
    SetTxt(text);
    return *this;
}

const CTxt& CTxt::operator=(const CTxt& src)
{
    if (src.m_buffer && src.m_buffer != m_buffer)
        SetTxt(src.m_buffer);
    return *this;
}

int CTxt::AddTxt(const char* text)
{
    if (!text)
        text = "";
    std::size_t n = std::strlen(text);
    long long needed = static_cast<long long>(m_length) + static_cast<long long>(n) + 2;
    // `text` may be (part of) our own text: Reserve copies before it releases the old buffer,
    // and the source is read before the NUL is written.
    const char* oldBuffer = m_buffer;
    if (needed > m_capacity) {
        if (needed > kMaxLength + 2)
            return m_length;
        char* grown = static_cast<char*>(TaskMemAlloc(static_cast<std::size_t>(needed)));
        if (!grown)
            return m_length;
        if (m_length > 0)
            std::memcpy(grown, m_buffer, static_cast<std::size_t>(m_length));
        std::memcpy(grown + m_length, text, n);
        grown[m_length + n] = '\0';
        TaskMemFree(const_cast<char*>(oldBuffer));
        m_buffer = grown;
        m_capacity = static_cast<int>(needed);
    } else {
        std::memmove(m_buffer + m_length, text, n);
        m_buffer[m_length + n] = '\0';
    }
    m_length = static_cast<int>(needed - 2);
    return m_length;
}

const CTxt& CTxt::operator+=(const char* text)
{
    AddTxt(text);
    return *this;
}

int CTxt::Add(char ch)
{
    long long needed = static_cast<long long>(m_length) + 3;
    if (!Reserve(needed, m_length))
        return m_length;
    m_buffer[m_length] = ch;
    m_buffer[m_length + 1] = '\0';
    ++m_length;
    return m_length;
}

int CTxt::InsertAt(int pos, const char* text)
{
    if (!text || !*text)
        return m_length;
    std::size_t n = std::strlen(text);
    if (static_cast<long long>(m_length) + static_cast<long long>(n) > kMaxLength)
        return m_length;
    if (pos > m_length)
        pos = m_length;
    if (pos < 0)
        pos = 0;
    std::unique_ptr<char[]> work(new (std::nothrow) char[static_cast<std::size_t>(m_length) + n + 4]);
    if (!work)
        return m_length;
    char* w = work.get();
    if (m_length > 0)
        std::memcpy(w, m_buffer, static_cast<std::size_t>(pos));
    std::memcpy(w + pos, text, n);
    if (m_length > 0)
        std::memcpy(w + pos + n, m_buffer + pos, static_cast<std::size_t>(m_length - pos));
    w[static_cast<std::size_t>(m_length) + n] = '\0';
    SetTxt(w);
    return m_length;
}

int CTxt::InsertAt(int pos, char ch)
{
    if (static_cast<long long>(m_length) + 1 > kMaxLength)
        return m_length;
    if (pos > m_length)
        pos = m_length;
    if (pos < 0)
        pos = 0;
    std::unique_ptr<char[]> work(new (std::nothrow) char[static_cast<std::size_t>(m_length) + 4]);
    if (!work)
        return m_length;
    char* w = work.get();
    if (m_length > 0)
        std::memcpy(w, m_buffer, static_cast<std::size_t>(pos));
    w[pos] = ch;
    if (m_length > 0)
        std::memcpy(w + pos + 1, m_buffer + pos, static_cast<std::size_t>(m_length - pos));
    w[m_length + 1] = '\0';
    // Through SetTxt, so an inserted NUL ends the text there.
    SetTxt(w);
    return m_length;
}

void CTxt::MakeLength(int pos)
{
    if (pos < m_length && pos >= 0) {
        m_buffer[pos] = '\0';
        m_length = pos;
    }
}

int CTxt::FillChar(char ch, int count)
{
    if (count < 1)
        count = 1;
    if (count > kMaxLength)
        return m_length;
    std::unique_ptr<char[]> work(new (std::nothrow) char[static_cast<std::size_t>(count) + 1]);
    if (!work)
        return m_length;
    std::memset(work.get(), ch, static_cast<std::size_t>(count));
    work[static_cast<std::size_t>(count)] = '\0';
    SetTxt(work.get());
    return m_length;
}

void CTxt::SetTxtFixLen(const char* text, int width)
{
    if (!text)
        text = "";
    // The text cut or blank-padded to `width` characters, then without trailing blanks: that is
    // the first `width` characters without their trailing blanks. A negative width cuts nothing,
    // as in printf's "%-*.*s".
    std::size_t n = width < 0 ? std::strlen(text) : strnlen(text, static_cast<std::size_t>(width));
    if (n > static_cast<std::size_t>(kMaxLength))
        return;
    while (n > 0 && text[n - 1] == ' ')
        --n;
    SetBytes(text, static_cast<int>(n));
}

void CTxt::MakeUpper()
{
    for (int i = 0; i < m_length && m_buffer[i]; ++i)
        if (m_buffer[i] >= 'a' && m_buffer[i] <= 'z')
            m_buffer[i] = static_cast<char>(m_buffer[i] - 'a' + 'A');
}

void CTxt::MakeLower()
{
    for (int i = 0; i < m_length && m_buffer[i]; ++i)
        if (m_buffer[i] >= 'A' && m_buffer[i] <= 'Z')
            m_buffer[i] = static_cast<char>(m_buffer[i] - 'A' + 'a');
}

// --- formatting ------------------------------------------------------------------------------

void CTxt::FormatV(const char* format, va_list args)
{
    if (!format) {
        SetTxt("");
        return;
    }
    // Most results fit the stack buffer; longer ones are measured, then formatted whole.
    char small[1024];
    va_list probe;
    va_copy(probe, args);
    int needed = std::vsnprintf(small, sizeof small, format, probe);
    va_end(probe);
    if (needed < 0 || needed > kMaxLength) {
        SetTxt("");
        return;
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        SetTxt(small);
        return;
    }
    std::unique_ptr<char[]> work(new (std::nothrow) char[static_cast<std::size_t>(needed) + 1]);
    if (!work)
        return;
    std::vsnprintf(work.get(), static_cast<std::size_t>(needed) + 1, format, args);
    SetTxt(work.get());
}

void CTxt::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CTxt::Format(unsigned int id, ...)
{
    CString format;
    format.LoadString(id);
    va_list args;
    va_start(args, id);
    FormatV(format, args);
    va_end(args);
}

void CTxt::FormatMessageA(const char* source, ...)
{
    std::string out;
    va_list args;
    va_start(args, source);
    bool ok = source && qdx::text_internal::FormatInsertsV(source, args, out);
    va_end(args);
    if (!ok)
        AfxThrowMemoryException();
    SetTxt(out.c_str());
}

void CTxt::FormatMessageA(unsigned int id, ...)
{
    CString source;
    source.LoadString(id);
    std::string out;
    va_list args;
    va_start(args, id);
    bool ok = qdx::text_internal::FormatInsertsV(source, args, out);
    va_end(args);
    if (!ok)
        AfxThrowMemoryException();
    SetTxt(out.c_str());
}

// --- files and binary records ------------------------------------------------------------------

void CTxt::FailWith(const char* what, const char* path, int error)
{
    // "Cannot open '%s' (%s)" and its siblings: the reason replaces the text.
    Format("Cannot %s '%s' (%s)", what, path ? path : "", std::strerror(error));
}

int CTxt::SaveToFile(const char* path)
{
    FILE* raw = path ? std::fopen(path, "wb") : nullptr;
    if (!raw) {
        FailWith("open", path, path ? errno : EINVAL);
        return -1;
    }
    std::size_t size = static_cast<std::size_t>(m_length > 0 ? m_length : 0);
    std::size_t written = size ? WriteAll(fileno(raw), m_buffer, size) : 0;
    int error = written < size ? errno : 0;
    // Closing can report what the writes could not (a full disk on a network file system).
    if (std::fclose(raw) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        FailWith("write", path, error);
        return -1;
    }
    return static_cast<int>(size);
}

int CTxt::LoadFromFile(const char* path)
{
    FilePtr file(path ? std::fopen(path, "rb") : nullptr);
    if (!file) {
        FailWith("open", path, path ? errno : EINVAL);
        return -1;
    }
    Empty();
    const int fd = fileno(file.get());
    long long size = RemainingBytes(fd);
    if (size > kMaxLength) {
        FailWith("read", path, EFBIG);
        return -1;
    }

    if (size > 0) {
        // A regular file: one buffer of its size; should the file shrink meanwhile, the length is
        // what was really read.
        char* data = static_cast<char*>(TaskMemAlloc(static_cast<std::size_t>(size) + 2));
        if (!data) {
            FailWith("read", path, ENOMEM);
            return -1;
        }
        long long got = ReadAll(fd, data, static_cast<std::size_t>(size));
        if (got < 0) {
            int error = errno;
            TaskMemFree(data);
            FailWith("read", path, error);
            return -1;
        }
        data[got] = '\0';
        m_buffer = data;
        m_capacity = static_cast<int>(size) + 2;
        m_length = static_cast<int>(got);
        return 0;
    }

    // An empty file, a pipe, or a pseudo file that reports size 0 but has contents (/proc): read
    // to the end, keeping the contents in an exactly sized buffer.
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[65536]);
    if (!chunk) {
        FailWith("read", path, ENOMEM);
        return -1;
    }
    for (;;) {
        long long got = ReadAll(fd, chunk.get(), 65536);
        if (got < 0 || static_cast<long long>(m_length) + got > kMaxLength) {
            int error = got < 0 ? errno : EFBIG;
            Empty();
            FailWith("read", path, error);
            return -1;
        }
        if (got == 0)
            break;
        if (!Reserve(static_cast<long long>(m_length) + got + 2, m_length)) {
            Empty();
            FailWith("read", path, ENOMEM);
            return -1;
        }
        std::memcpy(m_buffer + m_length, chunk.get(), static_cast<std::size_t>(got));
        m_length += static_cast<int>(got);
        m_buffer[m_length] = '\0';
    }
    if (!m_buffer)
        SetTxt("");
    return 0;
}

int CTxt::BinarySave(FILE* stream)
{
    if (!stream)
        return -1;
    const int fd = fileno(stream);
    const unsigned n = static_cast<unsigned>(m_length) + 1;
    const unsigned char count[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                    static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
    if (WriteAll(fd, reinterpret_cast<const char*>(count), 4) < 4)
        return -1;
    static const char kNul = '\0';
    const char* data = m_buffer ? m_buffer : &kNul;
    if (WriteAll(fd, data, n) < n)
        return -2;
    return static_cast<int>(n) + 4;
}

int CTxt::BinaryRead(FILE* stream)
{
    Empty();
    if (!stream)
        return -1;
    const int fd = fileno(stream);
    unsigned char count[4];
    if (ReadAll(fd, reinterpret_cast<char*>(count), 4) != 4)
        return -1;
    const unsigned raw = static_cast<unsigned>(count[0]) | static_cast<unsigned>(count[1]) << 8 |
                         static_cast<unsigned>(count[2]) << 16 | static_cast<unsigned>(count[3]) << 24;
    // N counts the text and its NUL: at least 1, and the capacity N + 1 must fit.
    if (raw == 0 || raw > static_cast<unsigned>(INT_MAX) - 1)
        return -1;
    const int n = static_cast<int>(raw);

    long long remaining = RemainingBytes(fd);
    if (remaining >= 0) {
        // A regular file: refuse a count larger than what follows before allocating anything.
        if (n > remaining)
            return -1;
        if (!Reserve(static_cast<long long>(n) + 1, 0))
            return -1;
        if (ReadAll(fd, m_buffer, static_cast<std::size_t>(n)) != n) {
            Empty();
            return -1;
        }
    } else {
        // A stream of unknown size: grow with the data that really arrives, so a damaged count
        // cannot make us allocate gigabytes up front.
        constexpr int kStep = 1 << 20;
        int have = 0;
        while (have < n) {
            int want = n - have < kStep ? n - have : kStep;
            long long cap = static_cast<long long>(have) + want + (have + want == n ? 1 : 0);
            if (!Reserve(cap, have)) {
                Empty();
                return -1;
            }
            long long got = ReadAll(fd, m_buffer + have, static_cast<std::size_t>(want));
            if (got != want) {
                Empty();
                return -1;
            }
            have += want;
        }
    }
    // The stored NUL ends the text even in a damaged record.
    m_buffer[n - 1] = '\0';
    m_buffer[n] = '\0';
    m_length = n - 1;
    return 0;
}

// --- fields into a CTxt ------------------------------------------------------------------------

int strfldtxt(const char* text, char delim, int from, int to, CTxt& out)
{
    // Field ranges are kept up to 9 999 characters.
    char work[10000];
    int result = strfld(text, delim, from, to, work, sizeof work);
    out = work;
    return result;
}
