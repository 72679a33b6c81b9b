#include "RollStream.h"

#include <qdx/Fields.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBlockValues = 65536;  // results per block: 128 KB, within the cache
constexpr std::size_t kTextChunk = 1 << 18;  // bytes of text read at once
constexpr std::size_t kLongestWord = 64;     // longer words of text are no number of 64 bits
constexpr int kPollMs = 100;                 // the longest wait before a look at the stop flag

struct FormatName {
    InputFormat format;
    const char* name;
    int width;
};
constexpr FormatName kFormats[] = {
    {InputFormat::Text, "text", 64},
    {InputFormat::U16le, "u16le", 16},
    {InputFormat::U32le, "u32le", 32},
    {InputFormat::U64le, "u64le", 64},
};

// Blanks, commas and line ends, looked up rather than compared one by one.
struct SeparatorTable {
    bool is[256] = {};
    constexpr SeparatorTable()
    {
        for (const unsigned char c : {' ', '\t', ',', '\n', '\r'})
            is[c] = true;
    }
};
constexpr SeparatorTable kSeparators;

bool IsSeparator(char c)
{
    return kSeparators.is[static_cast<unsigned char>(c)];
}

template <class Word>
Word SwapBytes(Word v)
{
    if constexpr (sizeof(Word) == 2)
        return __builtin_bswap16(v);
    else if constexpr (sizeof(Word) == 4)
        return __builtin_bswap32(v);
    else
        return __builtin_bswap64(v);
}

std::string Largest(int bits)
{
    return bits == 64 ? "18446744073709551615" : std::to_string((std::uint64_t{1} << bits) - 1);
}

} // namespace

std::string ShownInMessage(const char* text, std::size_t length, std::size_t most)
{
    std::string out;
    for (std::size_t i = 0; i < length && i < most; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return length > most ? out + "..." : out;
}

bool InputFormatFromName(const char* name, InputFormat* format)
{
    for (const FormatName& f : kFormats) {
        if (name && strcmpmode(name, f.name, 1) == 0) {
            *format = f.format;
            return true;
        }
    }
    return false;
}

const char* InputFormatName(InputFormat format)
{
    for (const FormatName& f : kFormats)
        if (f.format == format)
            return f.name;
    return "u16le";
}

int InputFormatWidth(InputFormat format)
{
    for (const FormatName& f : kFormats)
        if (f.format == format)
            return f.width;
    return 16;
}

bool TakeInputOptions(int& argc, char** argv, InputOptions& options, std::string& error)
{
    // Qt's own options stay among the arguments, so this is a plain scan rather than
    // getopt_long, which would refuse them.
    bool described = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name != "--input" && name != "--input-format" && name != "--bits") {
            argv[kept++] = argv[i];
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = "option " + name + " needs a value";
            return false;
        }
        if (name == "--input") {
            options.input = value;
            if (value.empty()) {
                error = "bad value '' for --input: expected a file name, or - for standard input";
                return false;
            }
        } else if (name == "--input-format") {
            described = true;
            if (!InputFormatFromName(value.c_str(), &options.format)) {
                error = "bad value '" + ShownInMessage(value.data(), value.size()) + "' for --input-format: expected u16le, u32le, u64le or text";
                return false;
            }
        } else {
            described = true;
            int bits = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), bits);
            if (ec != std::errc() || end != value.data() + value.size() || bits < 15 || bits > 64) {
                error = "bad value '" + ShownInMessage(value.data(), value.size()) + "' for --bits: expected a whole number from 15 to 64";
                return false;
            }
            options.bits = bits;
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    if (described && options.input.empty()) {
        error = "--input-format and --bits describe the values of --input; give --input FILE too";
        return false;
    }
    return true;
}

RollStream::~RollStream()
{
    if (m_ownFd && m_fd >= 0)
        close(m_fd);
}

bool RollStream::Open(const std::string& path, InputFormat format, int bits, std::string& error)
{
    if (path == "-")
        return OpenFd(STDIN_FILENO, "standard input", format, bits, error);
    // Not blocking in open: a FIFO without a writer yet would hold it. Reads wait in poll.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!OpenFd(fd, path, format, bits, error)) {
        close(fd);
        return false;
    }
    m_ownFd = true;
    return true;
}

bool RollStream::OpenFd(int fd, const std::string& name, InputFormat format, int bits, std::string& error)
{
    const int width = InputFormatWidth(format);
    if (bits == 0)
        bits = format == InputFormat::Text ? 15 : width;
    if (bits < 15 || bits > width) {
        error = "--bits " + std::to_string(bits) + " cannot be used with " + InputFormatName(format) +
                ": a value holds 15 to " + std::to_string(width) + " bits, and the die takes the top 15";
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        error = "cannot read " + name + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = name + " is a directory; --input needs a file of values, or - for standard input";
        return false;
    }
    m_fd = fd;
    m_name = name;
    m_format = format;
    m_bits = bits;
    m_block.reserve(kBlockValues);
    return true;
}

bool RollStream::Fail(std::string message)
{
    m_error = std::move(message);
    m_block.clear();
    m_cursor = 0;
    return false;
}

bool RollStream::Stop(std::string message)
{
    m_pending = std::move(message);
    return false;
}

bool RollStream::ReadSome(const std::atomic<bool>* stop)
{
    const std::size_t chunk = m_format == InputFormat::Text ? kTextChunk
                                                            : kBlockValues * static_cast<std::size_t>(InputFormatWidth(m_format) / 8);
    // The buffer only ever grows to one chunk beyond what is carried over, so it is sized once.
    if (m_raw.size() < m_rawLength + chunk)
        m_raw.resize(m_rawLength + chunk);
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            return false;
        pollfd want = {m_fd, POLLIN, 0};
        const int ready = poll(&want, 1, kPollMs);
        if (ready < 0 && errno != EINTR)
            return Fail("cannot read " + m_name + ": " + std::strerror(errno));
        if (ready <= 0)
            continue;
        const ssize_t got = read(m_fd, m_raw.data() + m_rawLength, chunk);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return Fail("cannot read " + m_name + ": " + std::strerror(errno));
        }
        if (got == 0) {
            m_eof = true;
            return false;
        }
        m_rawLength += static_cast<std::size_t>(got);
        return true;
    }
}

bool RollStream::Fill(const std::atomic<bool>* stop)
{
    if (m_cursor < m_block.size())
        return true;
    m_blockStart += m_block.size();
    m_block.clear();
    m_cursor = 0;
    if (m_ended || !m_error.empty())
        return false;
    if (!m_pending.empty())
        return Fail(m_pending);  // the values before the bad one are all taken now
    for (;;) {
        if (m_rawLength > 0 || m_eof) {
            Decode();
            if (!m_block.empty())
                return true;
            if (!m_pending.empty())
                return Fail(m_pending);
            if (m_eof) {
                m_ended = true;
                return false;
            }
        }
        if (!ReadSome(stop) && !m_eof)
            return false;
    }
}

bool RollStream::Decode()
{
    switch (m_format) {
    case InputFormat::Text:
        return DecodeText();
    case InputFormat::U16le:
        return DecodeWords<std::uint16_t>();
    case InputFormat::U32le:
        return DecodeWords<std::uint32_t>();
    case InputFormat::U64le:
        return DecodeWords<std::uint64_t>();
    }
    return false;
}

template <class Word>
bool RollStream::DecodeWords()
{
    constexpr std::size_t size = sizeof(Word);
    const std::size_t count = std::min(m_rawLength / size, kBlockValues);
    const int shift = m_bits - 15;
    // Bits a value may not have; none when it fills the word.
    const Word over = m_bits == static_cast<int>(8 * size) ? Word{0} : static_cast<Word>(~Word{0} << m_bits);
    const char* raw = m_raw.data();
    m_block.resize(count);
    std::uint16_t* out = m_block.data();
    Word bad = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Word v;
        std::memcpy(&v, raw + i * size, size);
        if constexpr (std::endian::native == std::endian::big)
            v = SwapBytes(v);
        bad |= v & over;
        out[i] = static_cast<std::uint16_t>(v >> shift);
    }
    if (bad != 0) {
        for (std::size_t i = 0; i < count; ++i) {
            Word v;
            std::memcpy(&v, raw + i * size, size);
            if constexpr (std::endian::native == std::endian::big)
                v = SwapBytes(v);
            if (v & over) {
                m_block.resize(i);
                return Stop(m_name + ": the " + InputFormatName(m_format) + " value at byte offset " +
                            std::to_string(m_rawOffset + i * size) + " is " + std::to_string(v) +
                            ", more than " + std::to_string(m_bits) + " bits hold (at most " + Largest(m_bits) +
                            "; see --bits)");
            }
        }
    }
    const std::size_t used = count * size;
    std::memmove(m_raw.data(), raw + used, m_rawLength - used);
    m_rawLength -= used;
    m_rawOffset += used;
    return true;
}

std::string RollStream::Where() const
{
    return m_name + ", line " + std::to_string(m_line) + ", column " + std::to_string(m_column) + ": ";
}

bool RollStream::DecodeText()
{
    const char* text = m_raw.data();
    const std::size_t length = m_rawLength;
    const int shift = m_bits - 15;
    const std::uint64_t largest = m_bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m_bits) - 1;
    std::size_t i = 0;
    std::size_t count = 0;
    m_block.resize(kBlockValues);  // written by index, cut to `count` at the end
    std::uint16_t* out = m_block.data();
    auto stop = [&](std::string message) {  // the values before the bad word are kept
        m_block.resize(count);
        return Stop(std::move(message));
    };
    // The place of the next byte, kept in registers while the words go by.
    std::uint64_t line = m_line, column = m_column;
    while (i < length && count < kBlockValues) {
        const char c = text[i];
        if (IsSeparator(c)) {
            if (c == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
            ++i;
            continue;
        }
        // The digits of a whole number, as std::from_chars reads them but inline: this loop is
        // most of the time text input takes.
        std::uint64_t value = 0;
        bool tooLarge = false;
        std::size_t end = i;
        for (unsigned digit; end < length && (digit = static_cast<unsigned char>(text[end]) - 48u) < 10; ++end)
            tooLarge |= __builtin_mul_overflow(value, 10u, &value) || __builtin_add_overflow(value, digit, &value);
        if (end == length && !m_eof)
            break;  // the word may go on in the next read
        if (!tooLarge && end > i && (end == length || IsSeparator(text[end])) && value <= largest) {
            out[count++] = static_cast<std::uint16_t>(value >> shift);
            column += end - i;
            i = end;
            continue;
        }
        // Not a number that fits: the whole word, for the message.
        end = i + 1;
        while (end < length && !IsSeparator(text[end]))
            ++end;
        if (end == length && !m_eof)
            break;
        m_line = line;
        m_column = column;
        const char* word = text + i;
        const std::size_t size = end - i;
        const bool negative = word[0] == '-' && size > 1;
        const char* digits = negative ? word + 1 : word;
        const auto [stop_at, stop_ec] = std::from_chars(digits, word + size, value);
        if (stop_at != word + size || (stop_ec != std::errc() && stop_ec != std::errc::result_out_of_range))
            return stop(Where() + "'" + ShownInMessage(word, size, 40) + "' is not a whole number");
        return stop(Where() + ShownInMessage(word, size, 40) + " is outside 0 .. " + Largest(m_bits) + " (" +
                    std::to_string(m_bits) + " bits; see --bits)");
    }
    m_line = line;
    m_column = column;
    m_block.resize(count);
    // A word longer than any number, still unfinished: no use reading on.
    if (i < length && m_block.size() < kBlockValues && !m_eof && length - i > kLongestWord) {
        std::size_t end = i;
        while (end < length && !IsSeparator(text[end]))
            ++end;
        if (end - i > kLongestWord)
            return Stop(Where() + "'" + ShownInMessage(text + i, end - i, 40) + "' is not a whole number");
    }
    std::memmove(m_raw.data(), text + i, length - i);
    m_rawLength -= i;
    m_rawOffset += i;
    return true;
}
