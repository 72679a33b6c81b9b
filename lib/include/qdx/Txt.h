// CTxt: the library's text string. An 8-bit, NUL-terminated text in a heap buffer that the object
// owns, with its length and the size of the buffer.
//
//   CTxt name("log");
//   name += ".txt";                        // "log.txt"
//   name.InsertAt(3, "-2");                // "log-2.txt", returns 9
//   CTxt line;
//   line.Format("%s=%d", "runs", 7);       // "runs=7"
//   if (line.SaveToFile("/tmp/x") < 0)     // on failure the text holds the reason:
//       puts(line);                        // "Cannot open '/tmp/x' (Permission denied)"
//
// What sets it apart from the usual string class:
// - The buffer is sized exactly: after any growth its capacity is the new length plus 2 bytes, with
//   no reserve, so memory stays tight and every growing append copies the text. A shorter text
//   keeps the larger buffer.
// - Operations that change the text return the new length; operations that can fail return -1
//   and put a readable message into the text instead of throwing.
// - Every text buffer comes from TaskMemAlloc and goes back through TaskMemFree.
// - The counted text may hold NUL bytes (file contents, binary records, Add('\0')); everything
//   that takes the text as a C string stops at the first NUL.
//
// Copying is by assignment only (there is no copy constructor), into the target's own buffer;
// two objects never share a buffer. A CTxt is used by one thread at a time.
//
// The binary record written by BinarySave and read by BinaryRead is
//   N (signed 32-bit, little-endian) = length + 1,  then the length text bytes and one NUL,
// with no tag or padding; callers write records back to back into their own files.
#pragma once

#include <qdx/qdx_export.h>

#include <cstdarg>
#include <cstdio>

class CStringArray;

class QDX_EXPORT CTxt {
public:
    // --- construction, release and state -------------------------------------------------

    // An object without a buffer.
    CTxt();
    // The text of `text`; a null `text` gives an object without a buffer.
    CTxt(const char* text);  // NOLINT: implicit by design
    ~CTxt();
    CTxt(const CTxt&) = delete;

    // Forgets the buffer without releasing it: only for storage that holds no buffer yet.
    void Reset();
    // Releases the buffer: no buffer, length 0.
    void Empty();
    // Same as Empty.
    void ReleaseBuffer();
    // The empty text, keeping the buffer; without one, allocates 2 bytes.
    void MakeEmpty();
    // 1 when the length is 0 (or less), else 0.
    int IsEmpty() const;
    // 1 when the length is above 0, else 0.
    int IsFilled() const;
    // The length in bytes, NUL bytes inside the text included.
    int GetLength() const { return m_length; }
    // The number of bytes allocated (0 without a buffer); length + 2 right after any growth.
    int GetCapacity() const { return m_capacity; }
    // The buffer as it is; null when none is held.
    char* GetData() const { return m_buffer; }
    // The text, never null: without a buffer this first allocates the empty text (2 bytes).
    operator const char*() const;  // NOLINT: implicit by design
    // The byte at `pos`; the caller keeps 0 <= pos < capacity.
    char GetAt(int pos) const { return m_buffer[pos]; }
    char operator[](int pos) const { return m_buffer[pos]; }
    // Overwrites the byte at `pos` (0 <= pos < capacity); the length stays.
    void SetAt(int pos, char ch) { m_buffer[pos] = ch; }
    // Releases the class-wide work buffer; safe at any time and repeatedly.
    static void Shutdown();

    // --- setting and appending -----------------------------------------------------------

    // Replaces the text (null counts as the empty text). Grows to exactly length + 2 when needed, else keeps the
    // buffer; `text` may point into this object's own text.
    void SetTxt(const char* text);
    const CTxt& operator=(const char* text);
    // Copies src's text; nothing changes when src has no buffer or is this object.
    const CTxt& operator=(const CTxt& src);
    // Appends `text` (null appends nothing); returns the new length. "ab" + "xyz" -> 5.
    int AddTxt(const char* text);
    const CTxt& operator+=(const char* text);
    // Appends one byte (NUL included, and counted); returns the new length.
    int Add(char ch);
    // Inserts `text` before `pos` (clamped to 0..length); null or empty inserts nothing. Returns
    // the new length. "abc".InsertAt(1, "XY") -> "aXYbc", 5.
    int InsertAt(int pos, const char* text);
    // Inserts one character before `pos`; a NUL cuts the text there. Returns the new length.
    int InsertAt(int pos, char ch);
    // Cuts the text to its first `pos` characters when it is longer; keeps the buffer.
    void MakeLength(int pos);
    // The text becomes `count` (at least 1) copies of `ch`; returns the new length.
    int FillChar(char ch, int count);
    // The first `width` characters of `text` without trailing blanks. ("ab  cd", 4) -> "ab".
    void SetTxtFixLen(const char* text, int width);
    // ASCII letters to upper (lower) case, up to the first NUL; the length stays.
    void MakeUpper();
    void MakeLower();

    // --- formatting ----------------------------------------------------------------------

    // The text becomes the printf-style formatting of `format` with `args`, whole, of any length.
    // A null format or a formatting error gives the empty text.
    void FormatV(const char* format, va_list args);
    // FormatV with the arguments after `format`.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // FormatV with string `id` of the registered string table as the format (a missing string
    // gives the empty text).
    void Format(unsigned int id, ...);
    // Formats `source` with %1-style inserts: %1 .. %99 take the arguments in order (a string
    // unless a printf conversion follows between exclamation marks: "%2!d!", "%1!-8s!", "%3!.2f!").
    // %n is a line break, %r a carriage return, %t a tab, %0 ends the output, and a percent
    // sign before any other character stands for that character ("%%" "%!" "%."). Throws
    // CMemoryException* (text unchanged) when `source` is malformed: an unclosed or
    // unsupported conversion, or a null source.
    //   FormatMessageA("%2 of %1!d!", 7, "page") -> "page of 7"
    void FormatMessageA(const char* source, ...);
    // FormatMessageA with string `id` of the string table as the source (missing: empty text).
    void FormatMessageA(unsigned int id, ...);

    // --- files and binary records ----------------------------------------------------------

    // Writes the text (length bytes, no NUL) to `path`, creating or truncating it. Returns the
    // number of bytes written, or -1 with the text replaced by "Cannot open '%s' (%s)" or, when
    // not every byte could be written, "Cannot write '%s' (%s)".
    int SaveToFile(const char* path);
    // Replaces the text by the whole contents of `path`, as they are (NUL bytes kept and
    // counted). Returns 0, or -1 with the text replaced by "Cannot open '%s' (%s)" or, when
    // reading fails, "Cannot read '%s' (%s)".
    int LoadFromFile(const char* path);
    // Writes one binary record to the stream's descriptor (flush the stream first when mixing).
    // Returns the record's size (length + 5), -1 when the count, -2 when the text could not be
    // written whole.
    int BinarySave(FILE* stream);
    // Reads one binary record from the stream's descriptor. Returns 0, or -1 with the object
    // left without a buffer: at the end of the file, on a short or damaged record (N of 0 or
    // less, or more than the file still holds). Never allocates more than the data present.
    int BinaryRead(FILE* stream);

    // --- conversions ----------------------------------------------------------------------
    // Texts are read up to their first NUL. Operations that rebuild the text finish with SetTxt
    // (so a shorter result keeps the buffer); those that overwrite characters keep it too. On an
    // object without a buffer they leave it so, and return 0.

    // mode 0: CR, LF and TAB become the two characters \r, \n and \t. Any other mode undoes
    // that; a backslash before any other character is dropped with it, one at the end is
    // dropped. There is no escaped backslash: a backslash followed by n, r or t in the original
    // text does not survive a round trip. Returns the new length.
    int ConvCRLF(int mode);
    // Decodes "&nbsp;" (any case) to a blank, "%%" to "%", and "%hh" to the byte hh (blanks count
    // as 0, a non-hex digit ends the number, a 0 byte ends the text). A "%" with fewer than two
    // characters after it is kept as it is. Returns the new length.
    //   "a&NBSP;b%20c%%d" -> "a b c%d"
    int ConvHTM2TXT();
    // Rotates every printable character (32..126) by key + position, alternating in direction;
    // ConvProt(0, key) undoes ConvProt(1, key). A key below 1 counts as 1. Returns the length.
    int ConvProt(int mode, int key);
    // Overwrites every `from` with `to`; returns how many were replaced.
    int Replace(char from, char to);
    // Backslashes to "/" (a pair of them, as at the start of a network path, stays), then
    // trailing "/" removed, keeping the first character. "C:\dir\sub\" -> "C:/dir/sub".
    void MakeFn();
    // "/" to backslashes (pairs stay as they are), trailing separators removed. "c:/a/b/" -> "c:\a\b".
    void MakeFnDOS();
    // Inserts `add` (after a "-" when `dash` is not 0) between the file name and its extension;
    // returns the new length. "c:/x/log.txt" with ("2", 1) -> "c:/x/log-2.txt".
    int AddToFn(const char* add, int dash);
    // `out` becomes one part of this text taken as a path: 0 drive ("c:"), 1 directory (with its
    // separators), 2 file name, 3 extension without its dot, 4 drive and directory, 5 name and
    // extension, 6 all but the extension, 7 the whole path; any other part leaves `out` empty.
    // Returns out's length. `out` may be this object.
    int GetFileTxt(int part, CTxt& out) const;
    // The running executable's path in "/" form, split by GetFileTxt(part, out).
    static void GetExeName(CTxt& out, int part);
    // The index of the first string of `array` equal to `text` ignoring ASCII case, or -1.
    static int FindStringArray(CStringArray& array, const char* text);
    // The low 32 bits of `value` as upper-case hex: the last 2 digits (digits 1), 4 (2), 6 (3)
    // or all 8 (any other). (0x1A2B, 3) -> "001A2B".
    void GetHex(unsigned long value, int digits);
    // Each of `count` bytes as two hex digits and a comma: {0x0A, 0xFF} -> "0A,FF,". A count
    // outside 1..1000 (or no data) gives the text "GetHexArray(<count>By)".
    void GetHexArray(unsigned char* data, int count);
    // `value` with `decimals` decimals, trailing fraction zeros (and a bare point) removed:
    // (2.5, 3) -> "2.5", (100.0, 2) -> "100". Returns the new length.
    int MakeValueTxt(double value, int decimals);
    // Allowed characters: ASCII letters, digits, "_" and those of `extra` (may be null).
    // mask 0: returns the first other character's code as a signed 8-bit value, or 0; the text
    // stays. Otherwise: overwrites every other character with "_" and returns the index of the
    // first, or -1 when none. An empty text returns -1.
    int MaskNonVar(int mask, const char* extra);
    // Overwrites every character outside 32..126 with "+"; returns how many.
    int MaskNonPrintable();
    // Removes every occurrence of `part`, ignoring ASCII case; returns the new length.
    // "xAByab" without "ab" -> "xy". An empty `part` removes nothing.
    int RemoveFromText(const char* part);
    // Removes every character that occurs in `list` (case counts); returns the new length.
    int RemoveCharList(const char* list);
    // Removes every `ch`; returns the new length.
    int RemoveChar(char ch);
    // Keeps only "0123456789.E+-" (and "()" when `brackets` is not 0); a lower-case e goes too.
    // "Total: 1.5E+3 (approx)" -> "1.5E+3". Returns the new length.
    int TrimNum(int brackets);
    // Removes every `ch` at the end, then at the start; returns the new length.
    int Trim(char ch);
    // Removes every `ch` at the end (of the counted text); returns how many were removed.
    int TrimRight(char ch);

private:
    // Makes room for `needed` bytes: with a smaller buffer, allocates exactly `needed` and keeps
    // the first `keep` bytes. False (nothing changed) when memory runs out.
    bool Reserve(long long needed, int keep);
    void SetBytes(const char* text, int n);
    void FailWith(const char* what, const char* path, int error);

    char* m_buffer;
    int m_length;
    int m_capacity;

    static char* s_workBuffer;
};
