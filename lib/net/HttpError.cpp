#include "net/HttpError.h"

#include "net/HttpUrl.h"

#include <cctype>
#include <cstring>
#include <mutex>

namespace {

thread_local HttpFetchError t_lastError;

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The system's words for a socket error, in lower case ("connection refused").
std::string SystemCause(long error)
{
    if (error == 0)
        return std::string();
    char buffer[256];
    const char* text = strerror_r(static_cast<int>(error), buffer, sizeof buffer);
    return text ? Lower(text) : std::string();
}

} // namespace

HttpFetchError DescribeCurlError(CURLcode code, CURL* curl, const std::string& url, const char* detail)
{
    HttpFetchError error;
    error.number = static_cast<long>(code);
    error.url = url;
    const std::string curlText = detail && *detail ? detail : curl_easy_strerror(code);
    HttpUrl parsed;
    const bool known = ParseUrl(url, parsed);
    const std::string host = known ? parsed.host : url;
    const std::string port = known ? std::to_string(parsed.port) : std::string("?");
    long systemError = 0;
    if (curl)
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &systemError);

    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        error.cause = HttpFailure::BadAddress;
        error.message = "not an address this fetch can use (" + curlText + ")";
        break;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
        error.cause = HttpFailure::Resolve;
        error.message = "cannot resolve host " + host;
        break;
    case CURLE_COULDNT_CONNECT: {
        error.cause = HttpFailure::Connect;
        const std::string why = SystemCause(systemError);
        error.message = "cannot connect to " + host + " port " + port + ": " +
                        (why.empty() ? std::string("connection failed") : why);
        break;
    }
    case CURLE_OPERATION_TIMEDOUT:
        error.cause = HttpFailure::Timeout;
        error.message = "no answer in time from " + host + " port " + port + " (" + curlText + ")";
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        error.cause = HttpFailure::Certificate;
        error.message = "the certificate of " + host + " does not pass its check (" + curlText + ")";
        break;
    case CURLE_SSL_CONNECT_ERROR:
        error.cause = HttpFailure::Tls;
        error.message = "no TLS connection with " + host + " port " + port + " (" + curlText + ")";
        break;
    case CURLE_FILESIZE_EXCEEDED:
        error.cause = HttpFailure::TooLarge;
        error.message = "the answer of " + host + " is too large (" + curlText + ")";
        break;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
        error.cause = HttpFailure::Broken;
        error.message = "the answer of " + host + " broke off or is no HTTP (" + curlText + ")";
        break;
    default:
        error.cause = HttpFailure::Other;
        error.message = curlText;
        break;
    }
    return error;
}

void SetLastHttpError(const HttpFetchError& error)
{
    t_lastError = error;
}

void ClearLastHttpError()
{
    t_lastError = HttpFetchError();
}

HttpFetchError HttpLastError()
{
    return t_lastError;
}

void InitCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
