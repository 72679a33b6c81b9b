// Any bytes as the input of a check: RollStream hands out results 0 .. 32767 until the end, or
// stops with a one-line message; it never reads past its buffers.
//
// Input: one byte choosing the format (low two bits) and the bits a value holds (15 + the rest,
// modulo what the format allows), then the stream's bytes.
#include "RollStream.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    constexpr InputFormat kFormats[] = {InputFormat::Text, InputFormat::U16le, InputFormat::U32le, InputFormat::U64le};
    const InputFormat format = kFormats[data[0] & 3];
    const int bits = 15 + (data[0] >> 2) % (InputFormatWidth(format) - 14);
    const int fd = memfd_create("rollstream", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (size > 1 && write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) {
        close(fd);
        return 0;
    }
    lseek(fd, 0, SEEK_SET);

    RollStream in;
    std::string error;
    if (!in.OpenFd(fd, "fuzz", format, bits, error))
        std::abort();  // every format and width chosen above is valid
    std::uint64_t taken = 0;
    while (in.Fill(nullptr)) {
        if (in.BlockSize() == 0)
            std::abort();  // a block is never empty while Fill says there are values
        for (std::size_t i = in.Cursor(); i < in.BlockSize(); ++i)
            if (in.Block()[i] > 32767)
                std::abort();
        in.SetCursor(in.BlockSize());
        if (in.Taken() <= taken)
            std::abort();
        taken = in.Taken();
    }
    if (in.Error().empty() != in.Ended() || in.Error().find('\n') != std::string::npos)
        std::abort();  // exactly one of an end and an error, and a message on one line
    if (format != InputFormat::Text && in.Ended() &&
        taken * static_cast<std::uint64_t>(InputFormatWidth(format) / 8) + in.PartialBytes() != size - 1)
        std::abort();  // every byte of binary input is a value or named as left over
    close(fd);
    return 0;
}
