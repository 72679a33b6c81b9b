// The buffered line reader: one process-wide reader that delivers a file, or a block of memory the
// caller already holds, one line at a time.
//
//   if (bgetopen("big.txt") == 1) {
//       char line[1001];
//       while (bgetline(line, sizeof line) >= 0)
//           use(line);
//   }
//   bgetclose();
//
//   char page[] = "x\ny";
//   bgetmem(page, 3);                 // lines "x", "y", then -1
//   ...
//   bgetreset();
//
// Line rules: a line ends at a line feed, a NUL byte, a Ctrl-Z byte (26) or the end of the data;
// carriage returns are dropped wherever they stand; a final line without a line end is delivered;
// a line end at the very end of the data gives no extra empty line; lines that straddle two fills
// of the read buffer are joined. A Ctrl-Z at the start of a line reads as the end (-1); a further
// call continues with the byte after it.
//
// Files are read in blocks into one read buffer. Its size is the environment variable "BGETLRAM"
// (a decimal number of bytes, at least 1010), read anew whenever a buffer is allocated; 300 000
// bytes without it.
//
// There is exactly one reader in the process and it takes no lock: only one source may be read at
// a time, by one thread. These functions are internal to the library (libqdx.so does not export
// them); programs that link the library statically may use them.
#pragma once

// Opens `path` as the source. Returns 1 when opened, 0 when the file could not be opened (errno
// says why), -2 when no read buffer could be had. A file left open by an earlier bgetopen is
// closed first; the read buffer is reused.
int bgetopen(const char* path);

// Makes the caller's block of `size` bytes the source. Returns 0, -1 when `data` is null, -2 when
// `size` < 1. The block is only read, never written or released; end it with bgetreset (or
// bgetclose). A read buffer the reader had allocated is released.
int bgetmem(char* data, int size);

// Delivers the next line into `buf`: at most `size` - 1 characters and a terminating NUL; the rest
// of a longer line is skipped. Returns the line's length (0 for an empty line), or -1 at the end of
// the source, before any source, and when `buf` is null or `size` < 1 (then nothing is consumed).
int bgetline(char* buf, int size);

// Closes the file (if one is open) and releases the reader's read buffer. A caller's block given
// to bgetmem is forgotten, never released.
void bgetclose();

// Ends the current source: forgets a caller's block (releases a buffer of the reader's own) and
// clears the counters. An open file stays open until bgetclose.
void bgetreset();

// The size in bytes of the read buffer now held (0 when none): the value BGETLRAM gave at its
// allocation, or the size of a caller's block.
int bgetbufsize();
