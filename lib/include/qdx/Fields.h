// Free functions for NUL-terminated 8-bit texts: delimited fields, field counting, the
// case-insensitive comparison used throughout the library, and a character search.
//
//   char out[64];
//   strfld("a|b|c|d", '|', 2, 3, out, sizeof out);    // 3, out "b|c"
//   strfld("a|b|c|d", '|', -1, 0, out, sizeof out);   // 1, out "d"   (last field)
//   strfld("key|val|x", '|', 2, 99, out, sizeof out); // 5, out "val|x" (all after the first)
//   strfldcnt("a|b|", '|');                           // 2
//   strcmpmode("Abc", "aBC", 1);                      // 0: equal ignoring case
//
// Field numbers count from 1; a negative number counts from the end (-1 is the last field).
// While a text has fewer than 99 fields, 99 means the last field and -99 the first; from 99
// fields on both are taken literally. A `to` of 0 means "the same as from"; a `from` of 0 starts
// at the first field, and (0, 0) is the empty range.
//
// The blank delimiter is special: leading blanks of the text are skipped, and in a run of blanks
// only the last one separates fields (the others stay with the field before it), so
// "  12 Jan  2006" has the fields "12", "Jan " and "2006". Any other delimiter separates at every
// occurrence, blanks around it belong to the fields, and a delimiter at the very end of the text
// opens no further field.
//
// None of these functions allocates, and none limits how many fields a text may have.
#pragma once

#include <qdx/qdx_export.h>

class CTxt;

// Copies fields `from`..`to` (inclusive, with the delimiters between them) of `text` into `out`,
// at most outSize - 1 characters, always NUL-terminated when outSize >= 1. One delimiter at the
// end of the copied range is dropped. Returns the length of `out`; 0 when the range lies beyond
// the last field or is empty; -1 when `from` is not 0 and greater than `to` as given (so a range
// from a positive to a negative number, such as (2, -1), is refused: write (2, 99)).
// A null `text` counts as the empty text; a null `out` or outSize < 1 receives nothing.
//   strfld("  12 Jan  2006", ' ', 2, 0, out, n) -> 4, "Jan "
QDX_EXPORT int strfld(const char* text, char delim, int from, int to, char* out, int outSize);

// The number of fields of `text`: 0 for an empty or all-blank (or null) text. Leading blanks are
// skipped; for a delimiter other than the blank, trailing blanks are ignored too. A delimiter at
// the end opens no field, an empty field between delimiters or at the start counts.
//   strfldcnt("|a", '|') -> 2      strfldcnt(" a | b   ", '|') -> 2
QDX_EXPORT int strfldcnt(const char* text, char delim);

// strfld into a CTxt: `out` becomes fields from..to, cut to 9 999 characters. Returns strfld's
// result (the length, 0 or -1).
QDX_EXPORT int strfldtxt(const char* text, char delim, int from, int to, CTxt& out);

// Compares `a` and `b` ignoring the case of ASCII letters (bytes 128..255 compare as they are).
// Returns 3 when either is null, 1 when they differ before either ends, and otherwise by mode:
//   mode 1 (equality): 0 when equal, 2 when one is a proper prefix of the other;
//   mode 2 (prefix):   0 when `a` is a prefix of `b` (or equal), 2 when `b` is a proper prefix of `a`;
//   any other mode:    0 (either is a prefix of the other).
//   strcmpmode("&NBSP;", "&nbsp;x", 2) -> 0     strcmpmode("ab", "abc", 1) -> 2
QDX_EXPORT int strcmpmode(const char* a, const char* b, int mode);

// The index of the first `ch` in `text` before its NUL, or -1 (also for ch NUL and a null text).
//   strchrpos('c', "abc") -> 2
QDX_EXPORT int strchrpos(char ch, const char* text);
