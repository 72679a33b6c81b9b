// The string table: numbered texts that an application registers once at start-up and that the
// library loads by number (CString::LoadString, CTxt::Format(unsigned id, ...)).
//
//   static const QdxStringEntry kStrings[] = {{101, "Cannot open %s"}, {102, "Done"}};
//   RegisterStringTable(kStrings, 2);
//   LoadResourceString(101);   // "Cannot open %s"; null for a number not in the table
#pragma once

#include <qdx/qdx_export.h>

#include <cstddef>

struct QdxStringEntry {
    unsigned id;
    const char* text;
};

// Registers a table (kept by pointer; it must outlive its use). A later table replaces an
// earlier one; a null table removes it.
QDX_EXPORT void RegisterStringTable(const QdxStringEntry* entries, std::size_t count);

// The text of string `id`, or null when no table is registered or the table lacks it.
QDX_EXPORT const char* LoadResourceString(unsigned id);
