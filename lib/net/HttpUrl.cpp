#include "net/HttpUrl.h"

#include <cstddef>
#include <utility>

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Length of a leading "scheme:" (RFC 3986: a letter, then letters, digits, '+', '-', '.'),
// not counting the colon; 0 when the text does not start with one.
size_t SchemeLength(std::string_view text)
{
    if (text.empty() || !IsAlpha(text[0]))
        return 0;
    size_t i = 1;
    while (i < text.size() && (IsAlpha(text[i]) || IsDigit(text[i]) || text[i] == '+' || text[i] == '-' ||
                               text[i] == '.'))
        ++i;
    return (i < text.size() && text[i] == ':') ? i : 0;
}

// A registered name or IPv4 address: letters, digits and the unreserved and sub-delimiter
// characters that may stand in one; percent escapes allowed.
bool IsHostChar(char c)
{
    if (IsAlpha(c) || IsDigit(c))
        return true;
    switch (c) {
    case '-': case '.': case '_': case '~': case '%': case '!': case '$': case '&': case '\'':
    case '(': case ')': case '*': case '+': case ',': case ';': case '=':
        return true;
    default:
        return false;
    }
}

bool IsIpv6Char(char c)
{
    return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'f') || c == ':' || c == '.';
}

// Appends `path` with the bytes the transfer library refuses percent-encoded.
void AppendPath(std::string& out, std::string_view path)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (char c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
}

UrlService ServiceOf(std::string_view scheme)
{
    if (EqualsNoCase(scheme, "http"))
        return UrlService::Http;
    if (EqualsNoCase(scheme, "https"))
        return UrlService::Https;
    if (EqualsNoCase(scheme, "ftp"))
        return UrlService::Ftp;
    return UrlService::Other;
}

int DefaultPort(UrlService service)
{
    switch (service) {
    case UrlService::Http: return 80;
    case UrlService::Https: return 443;
    case UrlService::Ftp: return 21;
    default: return 0;
    }
}

} // namespace

std::string HttpUrl::ToString() const
{
    std::string text = scheme;
    text += "://";
    text += host;
    text += ':';
    text += std::to_string(port);
    text += path;
    return text;
}

bool ParseUrl(std::string_view text, HttpUrl& out)
{
    text = Trim(text);
    const size_t schemeLength = SchemeLength(text);
    if (schemeLength == 0)
        return false;
    std::string_view scheme = text.substr(0, schemeLength);
    std::string_view rest = text.substr(schemeLength + 1);
    if (rest.substr(0, 2) != "//")
        return false;
    rest.remove_prefix(2);

    // The authority runs up to the path, the query or the fragment.
    size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view tail = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    if (size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);  // user and password: never sent

    HttpUrl url;
    url.scheme = std::string(scheme);
    url.service = ServiceOf(scheme);

    std::string_view host;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1)
            return false;
        for (char c : authority.substr(1, close - 1))
            if (!IsIpv6Char(c))
                return false;
        host = authority.substr(0, close + 1);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            port = after.substr(1);
        }
    } else {
        size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos)
            port = authority.substr(colon + 1);
        for (char c : host)
            if (!IsHostChar(c))
                return false;
    }
    if (host.empty())
        return false;
    url.host = std::string(host);

    if (port.empty()) {
        url.port = DefaultPort(url.service);
    } else {
        if (port.size() > 5)
            return false;
        int value = 0;
        for (char c : port) {
            if (!IsDigit(c))
                return false;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535)
            return false;
        url.port = value;
    }

    tail = tail.substr(0, tail.find('#'));
    if (tail.empty() || tail.front() != '/')
        url.path = "/";
    AppendPath(url.path, tail);
    out = std::move(url);
    return true;
}

bool ResolveLocation(const HttpUrl& base, std::string_view location, HttpUrl& out)
{
    location = Trim(location);
    if (location.empty())
        return false;
    if (SchemeLength(location) != 0) {
        if (ParseUrl(location, out))
            return true;
        // "mailto:x" and the like: a scheme without an address part; not parseable here, but
        // recognisably not an HTTP resource.
        if (ServiceOf(location.substr(0, SchemeLength(location))) == UrlService::Http)
            return false;
        out = HttpUrl{};
        out.scheme = std::string(location.substr(0, SchemeLength(location)));
        out.service = UrlService::Other;
        return true;
    }
    if (location.substr(0, 2) == "//")
        return ParseUrl(base.scheme + ":" + std::string(location), out);

    std::string origin = base.scheme + "://" + base.host + ":" + std::to_string(base.port);
    if (location.front() == '/')
        return ParseUrl(origin + std::string(location), out);

    // The directory of the base path (its query dropped) takes a relative reference; a bare
    // query replaces only the query.
    std::string_view basePath = base.path;
    basePath = basePath.substr(0, basePath.find('?'));
    if (location.front() == '?')
        return ParseUrl(origin + std::string(basePath) + std::string(location), out);
    std::string_view directory = basePath.substr(0, basePath.rfind('/') + 1);
    return ParseUrl(origin + std::string(directory) + std::string(location), out);
}

std::optional<std::string> FindLocationHeader(std::string_view rawHeaders)
{
    static constexpr std::string_view kName = "location:";
    bool statusLine = true;  // the first line is the status line, never a header
    while (!rawHeaders.empty()) {
        size_t end = rawHeaders.find('\n');
        std::string_view line = rawHeaders.substr(0, end);
        rawHeaders = end == std::string_view::npos ? std::string_view() : rawHeaders.substr(end + 1);
        if (std::exchange(statusLine, false))
            continue;
        if (line.size() >= kName.size() && EqualsNoCase(line.substr(0, kName.size()), kName))
            return std::string(Trim(line.substr(kName.size())));
    }
    return std::nullopt;
}
