// What tests see of the settings file's handling. Not exported from libqdx.
#pragma once

namespace qdx::ini_internal {

// How often this process has parsed a settings file so far: once per file, and again only
// after the file has changed.
long ParseCount();

} // namespace qdx::ini_internal
