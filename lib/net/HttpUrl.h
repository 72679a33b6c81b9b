// Absolute URLs as the HTTP fetch reads them, and the redirect target of a response.
//
//   HttpUrl url;
//   ParseUrl("http://example.org:8080/a/b?c", url);   // true: Http, "example.org", 8080, "/a/b?c"
//   ParseUrl("ftp://example.org/file", url);          // true: Ftp (the caller refuses it)
//   ParseUrl("no url at all", url);                    // false
//
//   FindLocationHeader("HTTP/1.1 302 Found\r\nLocation: /next\r\n\r\n")  -> "/next"
//   ResolveLocation(http://h/a/b, "c")                                     -> http://h/a/c
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class UrlService { Http, Https, Ftp, Other };

struct HttpUrl {
    UrlService service = UrlService::Other;
    std::string scheme;  // as written, e.g. "http"
    std::string host;    // a name, an IPv4 address, or an IPv6 address in brackets
    int port = 0;        // the given port, or the scheme's default (80 for http)
    std::string path;    // from the first '/' on, query included, fragment dropped; never empty

    // "http://host:port/path": the address handed to the transfer library.
    std::string ToString() const;
};

// Parses an absolute URL "scheme://[user[:password]@]host[:port][/path][?query][#fragment]".
// Blanks around the text are ignored, the user part is dropped, bytes the transfer library would
// refuse in a path (controls, blanks, bytes from 0x7F on) are percent-encoded. Returns false when
// the text is no such URL (no scheme, no "//", an empty or malformed host, a bad port).
bool ParseUrl(std::string_view text, HttpUrl& out);

// The target of a redirect: `location` resolved against `base`, the address that answered with
// it. Absolute URLs stand as they are; "//host/x", "/x", "?q" and "x" are taken relative to
// `base`. Returns false when the result cannot be parsed (an empty location among them).
bool ResolveLocation(const HttpUrl& base, std::string_view location, HttpUrl& out);

// The value of the first "Location:" header line in raw response headers (lines separated by
// CR LF or LF; the name compared ignoring case, the value without surrounding blanks and the CR),
// or nothing when no line holds one. The first line is the status line and never taken for a header.
std::optional<std::string> FindLocationHeader(std::string_view rawHeaders);
