// The %1-style message formatter behind CTxt::FormatMessageA.
//
// Inserts are written %1 .. %99 and take the arguments by number, so a translated message can
// reorder them: "%2 of %1!d!" with (7, "page") gives "page of 7". An insert is a string unless a
// printf conversion follows it between exclamation marks ("%1!d!", "%2!-8s!", "%3!.2f!",
// "%1!08lX!", "%4!I64d!"). A percent sign before any other character stands for that character
// ("%%", "%!", "%.", "% "), except %n (line feed), %r (carriage return), %t (tab) and %0, which
// ends the output. A lone percent sign at the very end is dropped.
//
// The formatter refuses (returns false) what it cannot format safely: an insert conversion
// without its closing "!", a conversion it does not know (wide characters, %n, "*" widths), a
// width or precision above 65535, and one insert used with two different argument types.
#pragma once

#include <array>
#include <cstdarg>
#include <string>

namespace qdx::text_internal {

// What an insert's conversion takes from the argument list.
enum class InsertKind : unsigned char {
    None,        // not referenced by the message (read as a pointer-sized value)
    Int,         // d i o u x X c, also with h or hh
    Long,        // with l, z, j or t
    LongLong,    // with ll or I64
    Double,      // e E f F g G a A
    LongDouble,  // with L
    String,      // s
    Pointer,     // p
};

struct InsertArg {
    InsertKind kind = InsertKind::None;
    union {
        int i;
        long l;
        long long ll;
        double d;
        long double ld;
        const char* s;
        const void* p;
    };
    InsertArg() : p(nullptr) {}
};

constexpr int kMaxInsert = 99;

// The argument kind of every insert number of `source` (kinds[1] .. kinds[99]) and the highest
// number used (0 for none). False when `source` is malformed.
bool ParseInsertKinds(const char* source, std::array<InsertKind, kMaxInsert + 1>& kinds, int& highest);

// Formats `source` with args[0] as %1, args[1] as %2, ... into `out`. False when `source` is
// malformed, refers past `count`, or an argument's kind differs from what its insert needs.
bool FormatInserts(const char* source, const InsertArg* args, int count, std::string& out);

// The same with a variable argument list, read in order as the message's inserts require.
bool FormatInsertsV(const char* source, va_list args, std::string& out);

} // namespace qdx::text_internal
