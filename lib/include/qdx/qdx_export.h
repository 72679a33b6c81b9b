// Marks the names libqdx.so exports; everything else in the library is hidden
// (it is built with -fvisibility=hidden).
#pragma once

#define QDX_EXPORT __attribute__((visibility("default")))
