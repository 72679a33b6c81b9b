// What tests see of the settings file's handling. Not exported from libqdx.
#pragma once

namespace qdx_ini {

// How often this process has parsed a settings file so far: once per file, and again only
// after the file has changed.
long ParseCount();

} // namespace qdx_ini
