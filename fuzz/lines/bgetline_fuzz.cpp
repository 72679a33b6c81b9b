// Feeds arbitrary bytes to the buffered line reader, from memory and from a file read through the
// smallest read buffer, with a line size taken from the input, and checks both against the line
// rules written the plain way.
#include <qdx/BufferedReader.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

std::vector<std::string> Reference(const uint8_t* data, size_t size, size_t lineSize)
{
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < size) {
        std::string line;
        bool ctrlZ = false;
        while (i < size) {
            uint8_t ch = data[i++];
            if (ch == 10 || ch == 0 || ch == 26) {
                ctrlZ = ch == 26;
                break;
            }
            if (ch != 13 && line.size() + 1 < lineSize)
                line += static_cast<char>(ch);
        }
        if (line.empty() && ctrlZ)
            break;
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ReadLines(int lineSize)
{
    std::vector<std::string> lines;
    std::vector<char> buf(static_cast<size_t>(lineSize) + 8, '#');
    for (int n; (n = bgetline(buf.data(), lineSize)) >= 0;) {
        if (n >= lineSize || buf[static_cast<size_t>(n)] != 0 || std::strlen(buf.data()) != static_cast<size_t>(n))
            std::abort();
        for (size_t k = static_cast<size_t>(lineSize); k < buf.size(); ++k)
            if (buf[k] != '#')
                std::abort();  // written past the line buffer
        lines.emplace_back(buf.data(), static_cast<size_t>(n));
    }
    return lines;
}

int g_fd = -1;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes choose the line buffer: 1 .. 2048 bytes.
    const int lineSize = 1 + ((data[0] | (data[1] << 8)) % 2048);
    data += 2;
    size -= 2;
    const std::vector<std::string> expected = Reference(data, size, static_cast<size_t>(lineSize));

    if (size > 0) {
        std::vector<char> block(data, data + size);
        if (bgetmem(block.data(), static_cast<int>(block.size())) != 0)
            std::abort();
        if (ReadLines(lineSize) != expected)
            std::abort();
        bgetreset();
    }

    // The same bytes as a file, through a 1010-byte read buffer so that lines straddle fills.
    if (g_fd < 0) {
        setenv("BGETLRAM", "1010", 1);
        g_fd = memfd_create("bgetline_fuzz", 0);
        if (g_fd < 0)
            std::abort();
    }
    if (ftruncate(g_fd, 0) != 0 || pwrite(g_fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    std::string path = "/proc/self/fd/" + std::to_string(g_fd);
    if (bgetopen(path.c_str()) != 1)
        std::abort();
    if (ReadLines(lineSize) != expected)
        std::abort();
    bgetclose();
    return 0;
}
