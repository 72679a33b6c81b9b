// CTxtArray: the library's ordered list of texts. An SPtrArray whose slots point to CTxt objects
// that the array owns, with case-insensitive searching, key|value records, an in-place sort,
// conversion to and from delimited text, line files and directory listings.
//
//   CTxtArray list;
//   list.Add("b");                          // 0
//   list.Add("A");                          // 1
//   list.Sort();                            // ["A", "b"]
//   list.SetValue("Port", "80");            // appends "Port|80", returns its index 2
//   CTxt value;
//   list.FindValue("PORT", value, 0);       // 2, value "80"
//   CTxt out;
//   list.GetDelimTxt(out, ',');             // 3, out "A,b,Port|80,"
//   CTxt err;
//   if (list.SaveToFile("/tmp/list.txt", err) < 0)
//       puts(err);                          // "Cannot open /tmp/list.txt (Permission denied)"
//
// Conventions:
// - Indices are signed, from 0; operations that take one check it and fail softly (null, -1).
// - Texts are compared ignoring the case of ASCII letters (strcmpmode), except by
//   FindStringStart, which compares bytes exactly. An element's text is taken up to its first NUL.
// - A key|value record keeps a setting: the key is the text before the first "|", the value all
//   that follows it (further "|" included; one "|" at the very end is dropped).
// - File operations return -1 on failure and put a readable message into the caller's CTxt.
// - A slot may be null: a gap left by SetAt beyond the end. GetAt and GetAtTxt give null for it;
//   FindString and Compare let a gap equal nothing (not even another gap); every other operation
//   takes a gap as the empty text (Sort and the loaders turn it into an empty element).
// - Null text arguments count as the empty text, except in the searches, where they find nothing.
//
// An array is used by one thread at a time. LoadFromFileBuf uses the process-wide buffered line
// reader (<qdx/BufferedReader.h>): two such loads must never overlap, nor overlap another use of
// that reader.
#pragma once

#include <qdx/SPtrArray.h>
#include <qdx/String.h>
#include <qdx/Txt.h>
#include <qdx/qdx_export.h>

class QDX_EXPORT CTxtArray : public SPtrArray {
public:
    // An empty array.
    CTxtArray();
    // Releases every element, then the slot buffer.
    ~CTxtArray() override;
    CTxtArray(const CTxtArray&) = delete;  // copy the texts with LoadFromTxtArray
    CTxtArray& operator=(const CTxtArray&) = delete;

    // --- list operations -------------------------------------------------------------------

    // Appends a new element holding `text`; returns its index (-1 when no memory could be had).
    int Add(const char* text);
    // Adds `text` unless FindString finds it: 1 when added, 0 when already present.
    int AddIfNew(const char* text);
    // The index FindString finds for `text`; when none, Add(text) and its new index.
    int AddIfNewIdx(const char* text);
    // Replaces the text at `index`, or stores a new element there, extending the array when
    // `index` >= GetSize() (the slots skipped over stay null). Returns 0, -1 when `index` < 0.
    int SetAt(int index, const char* text);
    // The element at `index` (null for a gap), or null when `index` is out of range.
    CTxt* GetAt(int index) const;
    // The element's characters, or null when `index` is out of range or the slot is a gap.
    const char* GetAtTxt(int index) const;
    // Releases the element at `index` and closes the gap; returns 0, -1 when out of range.
    int RemoveAt(int index);
    // Releases every element and the slot buffer.
    void RemoveAll();
    // Sorts the elements by text ignoring ASCII case (order of letters against other characters
    // as after folding to lower case; equal texts in no particular order). Every element is
    // replaced: pointers taken earlier with GetAt are no longer valid. ["b","A","c"] -> ["A","b","c"]
    void Sort();
    // 0 when both arrays hold equal texts (ignoring case) in the same order, -1 when their sizes
    // differ (or `other` is null), -2 when a pair differs.
    int Compare(CTxtArray* other);

    // --- searching -------------------------------------------------------------------------

    // The first element equal to `text` ignoring case, or -1.
    int FindString(const char* text);
    // The first element whose first strlen(text) bytes equal `text` exactly, or -1. The empty
    // text matches element 0 of a non-empty array. ("ab" in ["xab","abc"] -> 1)
    int FindStringStart(const char* text);
    // The first element containing `text` anywhere, ignoring case, or -1. ("BC" in ["xyz","abcd"] -> 1)
    int FindStringSegment(const char* text);

    // --- key|value records -----------------------------------------------------------------

    // The first record whose key equals `key` ignoring case: `value` becomes its value and its
    // index is returned. Otherwise -1, and `value` is empty, or with `report` 1 holds
    // "<key> to found". An element without "|" is a key with the empty value.
    //   ["url|a|b"]: FindValue("URL", v, 0) -> 0, v "a|b"
    int FindValue(const char* key, CTxt& value, int report);
    // Same as FindValue.
    int FindValueReset(const char* key, CTxt& value, int report);
    // Replaces the first record with a matching key by "key|value", or appends it; returns the
    // record's index.
    int SetValue(const char* key, const char* value);

    // --- delimited text --------------------------------------------------------------------

    // `out` becomes every element followed by `delim` (["a","b"], ',' -> "a,b,"); an empty array
    // leaves `out` without a buffer. Returns the element count.
    int GetDelimTxt(CTxt& out, char delim);
    // Replaces the contents with the fields of `text` (as strfld cuts them), each trimmed of
    // blanks at both ends and cut to 9 999 characters; empty fields are skipped. Returns the new
    // count. (" a | b ||c ", '|') -> ["a","b","c"]
    int LoadFromFields(const char* text, char delim);
    // Replaces the contents with the lines of `text`: a line feed ends a line, carriage returns
    // are dropped, and characters after the last line feed are not added. Returns the new count.
    // ("a\r\nb\n\nc") -> ["a","b",""]
    int LoadFromTxt(const char* text);
    // Replaces the contents with copies of src's texts; returns the new count. Loading an array
    // from itself leaves it as it is.
    int LoadFromTxtArray(CTxtArray* src);
    // Replaces the contents with copies of src's strings; returns the new count.
    int LoadFromStrArray(CStringArray& src);

    // --- line files ------------------------------------------------------------------------

    // Writes one line per element, each ended by CR LF. Returns 0, or -1 with `err` set to
    // "Cannot open <path> (<reason>)" or, when the data could not all be written (disk full, I/O
    // error), "Cannot write <path> (<reason>)".
    int SaveToFile(const char* path, CTxt& err);
    // Replaces the contents with the lines of `path`, read one byte per system call: a line ends
    // at LF, CR LF or a lone CR; lines are cut at 99 999 characters; a final line without a line
    // end is not added; a NUL byte ends the element's text there. Returns the new count, or -1
    // with "Cannot open <path> (<reason>)" in `err` and the array unchanged. Suits small files.
    int LoadFromFile(const char* path, CTxt& err);
    // As LoadFromFile, but through the buffered line reader, for large files: carriage returns
    // are dropped wherever they stand, a line also ends at a NUL or a Ctrl-Z byte, and a final
    // line without a line end is kept. Returns the new count, or -1 with "Cannot open <path>
    // (<reason>)" in `err` and the array unchanged.
    int LoadFromFileBuf(const char* path, CTxt& err);

    // --- directory listings ----------------------------------------------------------------
    //
    // Append the entries of `dir` (given without a trailing "/"): files as "dir/name" (with
    // backslashes turned into "/"), subdirectories as "dir/name". Parameters:
    //   desc     1: descend into subdirectories (their contents come before their own entry);
    //            a symbolic link to a directory is listed but never descended into.
    //   file     1: files only, subdirectories neither listed nor descended into.
    //   path     null or "": every name; "!ext": every name, but files only with the extension
    //            ext (ignoring case) and no directory entries; otherwise an fnmatch pattern for
    //            the names ("*.txt"), applied in every directory visited.
    //   nLev     the depth: callers pass 0; sorting happens only at depth 0.
    //   logLevel 1 or more: trace the start, the search and every file found to LogTrace
    //            (category "LoadFromDir", level 1); 2 or more: also every name examined.
    // While sortByTime is 1 a file's entry is "yyyymmdd|hhmmss.mmm|dir/name", keyed by its
    // creation time in UTC (the modification time where the file system keeps none).
    // A directory that cannot be read, and names whose status cannot be read, add nothing.
    // Each returns the element count of the whole array afterwards.

    // The entries in the order the directory delivers them.
    int LoadFromDirNoSort(const char* dir, int desc, int file, const char* path, int nLev, int logLevel);
    // LoadFromDirNoSort, then (at nLev 0) Sort.
    int LoadFromDir(const char* dir, int desc, int file, const char* path, int nLev, int logLevel);
    // Sets sortByTime (for good), then lists and sorts: time-keyed entries, oldest first.
    int LoadFromDirSortTime(const char* dir, int desc, int file, const char* path, int nLev, int logLevel);

    int reserved;    // 0; not used
    int sortByTime;  // 1 once LoadFromDirSortTime has run: listings are time-keyed

private:
    // The text of slot `index` as a C string; "" for a gap. The caller checks the index.
    const char* TextOf(int index) const;
    // Takes ownership of `element` and appends it; returns its index, or -1 (element released).
    int AddElement(CTxt* element);
};
