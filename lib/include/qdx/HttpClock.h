// How far a web server's clock is from this machine's, read from the Date header of its answers
// over http or https, to a fraction of a second.
//
// - HttpMeasureClock(server, options): one server's offset and how sure it is.
// - HttpCombineClocks(readings): the median of several servers, their spread, and the servers
//   that disagree with the rest.
//
//   HttpClockReading r = HttpMeasureClock("example.org");
//   if (r.ok)
//       printf("%+.1f ms +/- %.1f ms\n", r.offsetMs, r.uncertaintyMs);
//   else
//       printf("%s: %s\n", r.error.url.c_str(), r.error.message.c_str());
//
// The method. A Date header holds whole seconds: an answer saying D was stamped while the
// server's clock read between D and D + 1, at some moment between sending the request and the
// first byte of the answer (t0 and t1 on this machine's clock, connection set-up left out). So the
// offset lies in [D - t1, D + 1 - t0], an interval one second and a round trip wide. Each further
// request is sent so that it should reach the server just as the server's second changes, by what
// is known so far; whether its answer shows the old or the new second halves the interval. The
// requests stop when the interval is about two round trips wide or `requests` were made. The
// offset is the middle of the interval, the uncertainty its half width: the true offset lies
// within it unless the server's clock jumps, or its Date does not come from its clock at the time
// of the answer (a cache on the way). Six requests narrow one second to about +/- 16 ms plus the
// round trip, in two to four seconds.
//
// Addresses: "http://..." and "https://..." are asked as they are; a bare host name (with an
// optional port and path: "example.org", "example.org:8443/x") means https:// first, and http://
// when no TLS connection can be made there (nothing listening, or no TLS on that port). A
// certificate that fails its check is an error, never a reason to fall back to http. https
// checks the certificate and the host name against the system's certificate store and the
// optional extra CA file.
#pragma once

#include <qdx/HttpGet.h>
#include <qdx/qdx_export.h>

#include <cstddef>
#include <string>
#include <vector>

struct HttpClockOptions {
    std::string caFile;     // PEM certificates trusted besides the system's store; "" for none
    int requests = 6;       // at most this many requests to one server (1 to 20)
    int timeoutMs = 10000;  // the measurement of one server ends by then, whatever happens
};

struct HttpClockReading {
    std::string server;        // as given
    std::string url;           // the address asked (the last one tried, after a failure)
    bool ok = false;
    HttpFetchError error;      // why not, when !ok
    double offsetMs = 0;       // the server's clock minus this machine's, in milliseconds
    double uncertaintyMs = 0;  // the offset lies within offsetMs +/- uncertaintyMs
    double roundTripMs = 0;    // the shortest round trip of a request
    int requests = 0;          // requests answered
};

// Measures one server; blocks for up to options.timeoutMs. Never throws. Also sets HttpLastError.
QDX_EXPORT HttpClockReading HttpMeasureClock(const std::string& server, const HttpClockOptions& options = {});

struct HttpClockSummary {
    int used = 0;                  // servers that answered and agree; 0 when none answered
    double medianMs = 0;           // median offset of the servers used
    double spreadMs = 0;           // largest minus smallest offset of the servers used
    double uncertaintyMs = 0;      // median uncertainty of the servers used
    std::vector<size_t> outliers;  // indexes (into the readings) of the servers left out
    bool majority = true;          // false: no majority agrees, so none is left out
};

// Combines readings (failed ones are skipped). A server is left out when its offset lies further
// from the median of all than its own uncertainty plus the median uncertainty, provided the
// servers kept are more than half of those that answered; otherwise all are kept and `majority`
// is false.
QDX_EXPORT HttpClockSummary HttpCombineClocks(const std::vector<HttpClockReading>& readings);
