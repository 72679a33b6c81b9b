// Arbitrary bytes read as a sequence of binary text records, once from a regular file and once
// from a pipe. Every record read must satisfy the buffer invariants and write back as the same
// bytes (its last byte as a NUL); a refused record leaves the object without a buffer.
#include <qdx/Txt.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// Reads records from `in` until one is refused; returns what BinarySave writes for them.
std::string ReadAllRecords(FILE* in, size_t inputSize)
{
    int outFd = memfd_create("records-out", 0);
    Check(outFd >= 0);
    FILE* out = fdopen(outFd, "w+b");
    Check(out != nullptr);
    CTxt t("previous");
    size_t records = 0;
    while (t.BinaryRead(in) == 0) {
        Check(t.GetData() != nullptr);
        Check(t.GetCapacity() == t.GetLength() + 2);
        Check(t.GetData()[t.GetLength()] == '\0');
        Check(static_cast<size_t>(t.GetLength()) + 5 <= inputSize);
        Check(t.BinarySave(out) == t.GetLength() + 5);
        ++records;
        Check(records <= inputSize / 5);
    }
    Check(t.GetData() == nullptr && t.GetLength() == 0 && t.GetCapacity() == 0);
    std::string saved;
    off_t size = lseek(outFd, 0, SEEK_END);
    saved.resize(static_cast<size_t>(size));
    Check(pread(outFd, saved.data(), saved.size(), 0) == size);
    std::fclose(out);
    return saved;
}

// The input's leading run of whole records, each with its last byte made a NUL.
std::string Expected(const uint8_t* data, size_t size)
{
    std::string out;
    size_t at = 0;
    while (size - at >= 4) {
        uint32_t n = static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
                     static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
        if (n == 0 || n > 0x7FFFFFFEu || n > size - at - 4)
            break;
        std::string record(reinterpret_cast<const char*>(data + at), 4 + n);
        record.back() = '\0';
        out += record;
        at += 4 + n;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string expected = Expected(data, size);

    // A regular file: counts beyond the end are refused before anything is allocated.
    int fd = memfd_create("records-in", 0);
    Check(fd >= 0);
    Check(write(fd, data, size) == static_cast<ssize_t>(size));
    Check(lseek(fd, 0, SEEK_SET) == 0);
    FILE* file = fdopen(fd, "rb");
    Check(file != nullptr);
    Check(ReadAllRecords(file, size) == expected);
    std::fclose(file);

    // A pipe: the size is unknown, so the data must really arrive.
    if (size <= 60000) {
        int fds[2];
        Check(pipe(fds) == 0);
        Check(write(fds[1], data, size) == static_cast<ssize_t>(size));
        close(fds[1]);
        FILE* pipeIn = fdopen(fds[0], "rb");
        Check(pipeIn != nullptr);
        Check(ReadAllRecords(pipeIn, size) == expected);
        std::fclose(pipeIn);
    }
    return 0;
}
