// Arbitrary bytes as the raw headers of a redirect answer, and as a URL: the Location header is
// found and resolved, and every address parsed must come back unchanged from its own text.
#include "net/HttpUrl.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void CheckRoundTrip(const HttpUrl& url)
{
    if (url.port == 0)
        return;  // a scheme without a default port, written without one
    HttpUrl again;
    if (!ParseUrl(url.ToString(), again) || again.host != url.host || again.port != url.port ||
        again.path != url.path || again.service != url.service) {
        std::fprintf(stderr, "address does not survive its own text: %s\n", url.ToString().c_str());
        std::abort();
    }
    if (url.path.empty() || url.path[0] != '/') {
        std::fprintf(stderr, "path without leading slash: %s\n", url.path.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static HttpUrl base = [] {
        HttpUrl url;
        ParseUrl("http://base.example:8080/dir/page?x=1", url);
        return url;
    }();

    if (std::optional<std::string> location = FindLocationHeader(text)) {
        HttpUrl target;
        if (ResolveLocation(base, *location, target))
            CheckRoundTrip(target);
    }
    HttpUrl direct;
    if (ParseUrl(text, direct))
        CheckRoundTrip(direct);
    HttpUrl relative;
    if (ResolveLocation(base, text, relative))
        CheckRoundTrip(relative);
    return 0;
}
