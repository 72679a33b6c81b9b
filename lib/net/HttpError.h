// What went wrong in a fetch, in words a user can act on, and the record of each thread's last
// fetch that HttpLastError reads. Shared by HttpGet, HttpFetchPage and HttpMeasureClock.
#pragma once

#include <qdx/HttpGet.h>

#include <curl/curl.h>

#include <string>

// Describes a failed curl transfer of `url`: the cause, curl's number and a message such as
// "cannot resolve host x.invalid" or "cannot connect to 127.0.0.1 port 1: connection refused".
// `curl` (may be null) is asked for the host, port and system error; `detail` is curl's own
// error text, kept for causes without a plainer wording.
HttpFetchError DescribeCurlError(CURLcode code, CURL* curl, const std::string& url, const char* detail);

// curl's global set-up, once per process, before the first handle.
void InitCurl();

// Records the outcome of this thread's latest fetch: a success clears it.
void SetLastHttpError(const HttpFetchError& error);
void ClearLastHttpError();
