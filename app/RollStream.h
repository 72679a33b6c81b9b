// Values of any generator, read from a file or a pipe, as the 15-bit results the roll loop takes.
//
//   RollStream in;
//   std::string error;
//   if (!in.Open("numbers.txt", InputFormat::Text, 0, error))     // 0: the format's default bits
//       ...                         // "cannot open numbers.txt: No such file or directory"
//   // a run's worker: in.Fill(&stop) for each block, in.Block()/in.Cursor() to take values
//
// Formats: text (whole numbers separated by blanks, commas or line ends) and the little-endian
// words u16le, u32le and u64le. A value holds `bits` bits (15 up to the word's width; 15 for text
// by default, the word's width for binary), and the die takes its top 15: value >> (bits - 15).
// A value of 2^bits or more, or a word of text that is no number, ends the input with an error
// naming the offset (binary) or the line and column (text).
//
// Reading never blocks for long: before each read the stream polls for 100 ms at most and then
// looks at the caller's stop flag, so a signal or the window's Exit ends a wait on a quiet pipe.
// A pipe whose writer closes is the end of the input; a read error is an error, never an end.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum class InputFormat { Text, U16le, U32le, U64le };

// "text", "u16le", "u32le", "u64le" (ASCII case ignored); false for any other name.
bool InputFormatFromName(const char* name, InputFormat* format);
const char* InputFormatName(InputFormat format);
// Bits a value of the format can hold: 16, 32 or 64 (64 for text).
int InputFormatWidth(InputFormat format);

// Text from a user or an input as it goes into a one-line message: control characters as \xNN,
// cut after `most` characters with "...": ShownInMessage("a\nb", 3) is "a\x0ab".
std::string ShownInMessage(const char* text, std::size_t length, std::size_t most = std::string::npos);

// The window's input options: --input FILE|-, --input-format F and --bits K (each also as
// --option=value). They are taken out of argv, so what is left goes to Qt as before.
struct InputOptions {
    std::string input;  // empty: no --input
    InputFormat format = InputFormat::U16le;
    int bits = 0;       // 0: the format's default
};
// False with a one-line `error` for an option without its value, a format or a number of bits
// that is not one, or --input-format/--bits without --input.
bool TakeInputOptions(int& argc, char** argv, InputOptions& options, std::string& error);

class RollStream {
public:
    RollStream() = default;
    ~RollStream();
    RollStream(const RollStream&) = delete;
    RollStream& operator=(const RollStream&) = delete;

    // Opens `path` ("-": standard input) for `format` with values of `bits` bits (0: 15 for
    // text, the word's width for binary). False with a one-line `error` for a file that cannot
    // be opened or is a directory, and for bits outside 15 .. the word's width.
    bool Open(const std::string& path, InputFormat format, int bits, std::string& error);
    // The same on a descriptor already open (not closed by the stream); `name` for messages.
    bool OpenFd(int fd, const std::string& name, InputFormat format, int bits, std::string& error);

    // Makes the next block of results current when the current one is used up (Cursor() at
    // its end). False at the end of the input, at an error (Error() says which) or when `stop`
    // becomes true while waiting; the current block is then empty.
    bool Fill(const std::atomic<bool>* stop);
    // The current block: results 0 .. 32767; Cursor() is the first not yet taken.
    const std::uint16_t* Block() const { return m_block.data(); }
    std::size_t BlockSize() const { return m_block.size(); }
    std::size_t Cursor() const { return m_cursor; }
    void SetCursor(std::size_t cursor) { m_cursor = cursor; }

    // Values taken so far (every result before the cursor).
    std::uint64_t Taken() const { return m_blockStart + m_cursor; }
    // Marks where a run begins, for LeftOver.
    void BeginRun() { m_runStart = Taken(); }
    // Values taken since the last BeginRun: at the end of the input, those that did not fill a run.
    std::uint64_t LeftOver() const { return Taken() - m_runStart; }
    // Bytes at the end of binary input that make no whole value.
    std::size_t PartialBytes() const { return m_ended ? m_rawLength : 0; }

    bool Ended() const { return m_ended; }             // the input has no more values
    const std::string& Error() const { return m_error; }  // empty unless reading failed
    const std::string& Name() const { return m_name; }    // as given, "standard input" for "-"
    InputFormat Format() const { return m_format; }
    int Bits() const { return m_bits; }

private:
    bool ReadSome(const std::atomic<bool>* stop);  // appends to m_raw; false at end, error or stop
    bool Decode();                                 // m_raw -> m_block, up to a bad value
    template <class Word>
    bool DecodeWords();
    bool DecodeText();
    bool Fail(std::string message);  // an error now
    bool Stop(std::string message);  // an error once the values decoded before it are taken
    std::string Where() const;  // "NAME, line L, column C: " of the next word of text

    int m_fd = -1;
    bool m_ownFd = false;
    std::string m_name;
    InputFormat m_format = InputFormat::U16le;
    int m_bits = 16;
    std::vector<std::uint16_t> m_block;
    std::size_t m_cursor = 0;
    std::uint64_t m_blockStart = 0;  // values taken before the current block
    std::uint64_t m_runStart = 0;
    std::vector<char> m_raw;         // its first m_rawLength bytes: read and not yet decoded
    std::size_t m_rawLength = 0;
    std::uint64_t m_rawOffset = 0;   // offset in the input of m_raw's first byte
    bool m_eof = false;              // nothing more to read
    bool m_ended = false;            // nothing more to read or decode
    std::string m_error;
    std::string m_pending;           // a bad value found after the current block's values
    // Text: where the next byte of m_raw lies.
    std::uint64_t m_line = 1, m_column = 1;
};
