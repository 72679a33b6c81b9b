// Helpers of the clock readings from time web pages (InternetTime.cpp); not exported.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qdx::inet_internal {

// Settings section and keys of the three page addresses, and their defaults. The defaults name
// no real server (".invalid" never resolves): a user points each key at a server that serves
// the page in its layout.
inline constexpr const char* kSection = "INTERNET";
inline constexpr const char* kNavyKey = "TimePageNavy";
inline constexpr const char* kTimeGovKey = "TimePageTimeGov";
inline constexpr const char* kDatePageKey = "DatePageURL";
inline constexpr const char* kNavyDefault = "http://navy-layout-time-server.invalid/cgi-bin/timer.pl";
inline constexpr const char* kTimeGovDefault = "http://timegov-layout-time-server.invalid/timezone.cgi?UTC/s/0";
inline constexpr const char* kDatePageDefault = "http://date-page-server.invalid/cgi-bin/dater.sh";

// The address stored under `key` in section "INTERNET"; a missing or empty key is written with
// `def`, which is returned.
std::string PageAddress(const char* key, const char* def);

// Offset of the first place in `text` where `word` stands, ignoring ASCII case; -1 when none.
//   FindWordNoCase("utc jan 02 Universal", "UNIVERSAL") == 11
int FindWordNoCase(const char* text, const char* word);

// The value of the first "Date:" line of raw response headers (after the status line; the
// name compared ignoring case, the value without surrounding blanks), or nothing.
std::optional<std::string> FindDateHeader(std::string_view rawHeaders);

// Reads an HTTP date in any of its three forms into a date number and a time number of
// Universal Time:
//   "Mon, 02 Jan 2006 18:04:43 GMT"     (the usual form)
//   "Monday, 02-Jan-06 18:04:43 GMT"    (the old form; two-digit years 0..69 are 2000..2069)
//   "Mon Jan  2 18:04:43 2006"          (the C library's asctime form)
// False when the text is none of them or names an impossible date or time.
bool ParseHttpDate(std::string_view text, uint32_t& date, uint32_t& time);

// In the two-reading mode a page is fetched until its second changes; these bound the search
// when the page's clock stands still.
inline constexpr int kMaxPasses = 10000;
inline constexpr int kMaxPassMilliseconds = 3000;

} // namespace qdx::inet_internal
