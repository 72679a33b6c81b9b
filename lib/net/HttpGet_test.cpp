#include <qdx/HttpGet.h>
#include <qdx/Platform.h>

#include "net/HttpUrl.h"
#include <qdxtest/ScopedEnv.h>
#include <qdxtest/TestHttpServer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using qdx::test::TestHttpServer;
using Request = TestHttpServer::Request;

// Collects every logged message (the log writer hands each one to the last-message sink) and
// keeps proxies from the environment away from the loopback server.
class HttpGetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousSink = SetLastMessageSink([this](const char* text) { log.emplace_back(text); });
    }
    void TearDown() override
    {
        SetLastMessageSink(m_previousSink);
        SetHttpCredentialsHook({});
        SetHttpTimeouts({});
    }

    std::vector<std::string> log;
    qdx::test::NoProxy noProxy;

private:
    LastMessageSink m_previousSink;
};

std::string Ok(const std::string& body) { return TestHttpServer::Response(200, "OK", body); }

// --- a plain fetch ------------------------------------------------------------------------------

TEST_F(HttpGetTest, AppendsTheBodyOfA200AnswerAndSendsTheSessionHeaders)
{
    TestHttpServer server([](const Request&) { return Ok("<p>hello</p>\r\n"); });
    CString page("kept:");
    EXPECT_EQ(HttpGet(server.Url("/index.html").c_str(), page, 0), 0);
    EXPECT_STREQ(page, "kept:<p>hello</p>\r\n");

    std::vector<Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/index.html");
    EXPECT_THAT(requests[0].headers, HasSubstr("Accept: text/*\r\n"));
    EXPECT_THAT(requests[0].headers, HasSubstr("User-Agent: HTTP_GET\r\n"));
    EXPECT_TRUE(log.empty()) << log.front();  // no notes without the progress flag
}

TEST_F(HttpGetTest, ErrorPagesAreAnswersToo)
{
    for (int status : {404, 500}) {
        TestHttpServer server(
            [status](const Request&) { return TestHttpServer::Response(status, "Oops", "error page"); });
        CString page;
        EXPECT_EQ(HttpGet(server.Url("/missing").c_str(), page, 0), 0) << status;
        EXPECT_STREQ(page, "error page");
    }
}

TEST_F(HttpGetTest, ProgressFlagAddsItsNotes)
{
    TestHttpServer server([](const Request&) { return Ok("x"); });
    CString page;
    ASSERT_EQ(HttpGet(server.Url("/").c_str(), page, 1), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"Accessing Internet...", "Internet connection sucessfull...",
                                             "Status Code is 200"}));
}

TEST_F(HttpGetTest, EachReadChunkEndsAtItsFirstNulByte)
{
    std::string body("abc\0def", 7);
    TestHttpServer server([&body](const Request&) { return Ok(body); });
    CString page;
    ASSERT_EQ(HttpGet(server.Url("/").c_str(), page, 0), 0);
    EXPECT_STREQ(page, "abc");

    // A NUL early in the first 20000-byte read cuts only that read; the next read is kept.
    body = std::string(20000, 'a');
    body[5] = '\0';
    body += "tail";
    page.Empty();
    ASSERT_EQ(HttpGet(server.Url("/").c_str(), page, 0), 0);
    EXPECT_STREQ(page, "aaaaatail");
}

TEST_F(HttpGetTest, LargeBodiesArriveWhole)
{
    std::string body;
    for (int i = 0; body.size() < 300000; ++i)
        body += "line " + std::to_string(i) + "\n";
    TestHttpServer server([&body](const Request&) { return Ok(body); });
    CString page;
    ASSERT_EQ(HttpGet(server.Url("/big").c_str(), page, 0), 0);
    EXPECT_EQ(page.str(), body);
}

TEST_F(HttpGetTest, BodyBeyondTheLimitEndsInAnErrLine)
{
    EXPECT_EQ(SetHttpMaxBody(1000), kHttpMaxBodyDefault);
    // Announced by Content-Length, and only found out while reading (no length, ended by close).
    const std::string announced = TestHttpServer::Response(200, "OK", std::string(1001, 'x'));
    const std::string unannounced = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(5000, 'x');
    for (const std::string& answer : {announced, unannounced}) {
        TestHttpServer server([&answer](const Request&) { return answer; });
        CString page("replaced");
        EXPECT_EQ(HttpGet(server.Url("/").c_str(), page, 0), 2);
        EXPECT_STREQ(page, "*ERR:63:Maximum file size exceeded: the answer is larger than 1000 bytes\r\n");
    }
    TestHttpServer exact([](const Request&) { return Ok(std::string(1000, 'x')); });
    CString page;
    EXPECT_EQ(HttpGet(exact.Url("/").c_str(), page, 0), 0);
    EXPECT_EQ(page.GetLength(), 1000);
    SetHttpMaxBody(kHttpMaxBodyDefault);
}

TEST_F(HttpGetTest, ATricklingServerIsCutOffAtTheCallsDeadline)
{
    SetHttpTimeouts({2000, 1000, 600});  // each byte comes well within the stall limit
    TestHttpServer server([](const Request&) { return Ok(std::string(200, 'x')); });
    server.SendSlowly(std::chrono::milliseconds(20));
    CString page;
    EXPECT_EQ(HttpGet(server.Url("/").c_str(), page, 0), 2);
    EXPECT_STREQ(page, "*ERR:28:Operation timed out: the fetch took longer than its limit of 600 milliseconds\r\n");
    HttpPage first;
    EXPECT_EQ(HttpFetchPage("Agent", server.Url("/").c_str(), false, 10000, first), kHttpPageReadError);
}

// --- addresses we do not fetch ------------------------------------------------------------------

TEST_F(HttpGetTest, RefusesEverythingButHttpUrlsAndLeavesTheResultAlone)
{
    for (const char* url : {"ftp://example.org/file.txt", "https://example.org/", "no url at all", "http://",
                            "http://host:99999/", "http://bad host/", ""}) {
        log.clear();
        CString page("untouched");
        EXPECT_EQ(HttpGet(url, page, 1), 1) << url;
        EXPECT_STREQ(page, "untouched");
        EXPECT_THAT(log, Contains("Error: can only use URLs beginning with http://")) << url;
        EXPECT_THAT(log, Contains("Error: Exiting with CHttpGetException(1)")) << url;
    }
    CString page("untouched");
    EXPECT_EQ(HttpGet(nullptr, page, 0), 1);
    EXPECT_STREQ(page, "untouched");
}

// --- redirects ----------------------------------------------------------------------------------

TEST_F(HttpGetTest, FollowsOneRedirectToA200Answer)
{
    TestHttpServer target([](const Request& request) { return Ok("moved here: " + request.target); });
    const std::string location = target.Url("/new?x=1");
    TestHttpServer server([&location](const Request&) {
        return TestHttpServer::Response(301, "Moved Permanently", "gone", "Location: " + location + "\r\n");
    });
    CString page;
    ASSERT_EQ(HttpGet(server.Url("/old").c_str(), page, 0), 0);
    EXPECT_STREQ(page, "moved here: /new?x=1");
    EXPECT_EQ(log, (std::vector<std::string>{"Caution: redirected to ", location}));
}

TEST_F(HttpGetTest, ResolvesRelativeRedirectTargetsAgainstTheRequest)
{
    TestHttpServer server([](const Request& request) {
        if (request.target == "/dir/page")
            return TestHttpServer::Response(303, "See Other", "", "location:  other?q=2\r\n");
        return Ok("at " + request.target);
    });
    CString page;
    ASSERT_EQ(HttpGet(server.Url("/dir/page").c_str(), page, 0), 0);
    EXPECT_STREQ(page, "at /dir/other?q=2");
}

// A redirect that cannot be followed ends with 2: the answer to "/a" carries `headers`, every
// other path gets `then`.
TEST_F(HttpGetTest, RedirectsThatCannotBeFollowedGiveTwo)
{
    const std::string found = TestHttpServer::Response(302, "Found", "", "Location: /c\r\n");
    const std::string missing = TestHttpServer::Response(404, "Not Found", "nothing here");
    const struct {
        std::string headers, then;
        const char* page;  // what the result holds afterwards
        const char* logged;
        size_t requests;
    } cases[] = {
        {"Content-Location: /not-a-redirect\r\n", missing, "untouched", "Error: Site redirects with no new location", 1},
        {"Location: https://127.0.0.1/secure\r\n", missing, "untouched",
         "Error: the redirected URL does not reference a HTTP resource.", 1},
        {"Location: ftp://127.0.0.1/file\r\n", missing, "untouched",
         "Error: the redirected URL does not reference a HTTP resource.", 1},
        {"Location: mailto:someone@example.org\r\n", missing, "untouched",
         "Error: the redirected URL does not reference a HTTP resource.", 1},
        {"Location: http://bad host/\r\n", missing, "untouched", "Error: the redirected URL could not be parsed.", 1},
        {"Location: /b\r\n", found, "*ERR:HTTPSTATUS:302\r\n", "Error: Got status code 302", 2},  // no second redirect
        {"Location: /b\r\n", missing, "*ERR:HTTPSTATUS:404\r\n", "Error: Got status code 404", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.headers);
        TestHttpServer server([&c](const Request& request) {
            return request.target == "/a" ? TestHttpServer::Response(302, "Found", "", c.headers) : c.then;
        });
        log.clear();
        CString page("untouched");
        EXPECT_EQ(HttpGet(server.Url("/a").c_str(), page, 0), 2);
        EXPECT_STREQ(page, c.page);
        EXPECT_THAT(log, Contains(c.logged));
        EXPECT_THAT(log, Contains("Error: Exiting with CHttpGetException(2)"));
        EXPECT_EQ(server.Requests().size(), c.requests);
    }
}

// --- credentials --------------------------------------------------------------------------------

std::optional<std::string> DemandPassword(const Request& request)
{
    // "user:secret" in Basic form.
    if (request.headers.find("Authorization: Basic dXNlcjpzZWNyZXQ=") != std::string::npos)
        return Ok("welcome");
    return TestHttpServer::Response(401, "Unauthorized", "go away", "WWW-Authenticate: Basic realm=\"test\"\r\n");
}

TEST_F(HttpGetTest, AccessDeniedWithoutACredentialsHook)
{
    TestHttpServer server(DemandPassword);
    CString page("untouched");
    EXPECT_EQ(HttpGet(server.Url("/private").c_str(), page, 0), 1);
    EXPECT_STREQ(page, "untouched");
    EXPECT_THAT(log, Contains("Access denied: Invalid password"));
}

TEST_F(HttpGetTest, CredentialsHookCanCancelOrSupplyAPassword)
{
    TestHttpServer server(DemandPassword);
    int asked = 0;
    SetHttpCredentialsHook([&asked](const char*, CString&, CString&) {
        ++asked;
        return false;
    });
    CString page;
    EXPECT_EQ(HttpGet(server.Url("/private").c_str(), page, 0), 1);
    EXPECT_EQ(asked, 1);

    std::string askedFor;
    SetHttpCredentialsHook([&askedFor](const char* url, CString& user, CString& password) {
        askedFor = url;
        user = "user";
        password = "secret";
        return true;
    });
    page.Empty();
    EXPECT_EQ(HttpGet(server.Url("/private").c_str(), page, 0), 0);
    EXPECT_STREQ(page, "welcome");
    EXPECT_EQ(askedFor, server.Url("/private"));
}

TEST_F(HttpGetTest, AWrongPasswordEndsWithTheServersAnswer)
{
    TestHttpServer server(DemandPassword);
    int asked = 0;
    SetHttpCredentialsHook([&asked](const char*, CString& user, CString& password) {
        ++asked;
        user = "user";
        password = "wrong";
        return true;
    });
    CString page;
    EXPECT_EQ(HttpGet(server.Url("/private").c_str(), page, 0), 0);  // asked once, then the 401 page
    EXPECT_EQ(asked, 1);
    EXPECT_STREQ(page, "go away");
}

// --- failures of the network ------------------------------------------------------------------------

TEST_F(HttpGetTest, UnknownHostGivesAnErrLineFromTheTransferLayer)
{
    CString page("replaced");
    EXPECT_EQ(HttpGet("http://qdx-no-such-host.invalid/page", page, 0), 2);
    EXPECT_THAT(page.str(), StartsWith("*ERR:6:"));
    EXPECT_THAT(page.str(), HasSubstr("qdx-no-such-host.invalid"));
    EXPECT_EQ(page.str().substr(page.GetLength() - 2), "\r\n");
    ASSERT_FALSE(log.empty());
    EXPECT_THAT(log.back(), StartsWith("Error: (6) "));
}

TEST_F(HttpGetTest, RefusedConnectionGivesAnErrLine)
{
    int port;
    {
        TestHttpServer closed([](const Request&) { return Ok(""); });
        port = closed.Port();
    }  // nothing listens there any more
    CString page;
    EXPECT_EQ(HttpGet(("http://127.0.0.1:" + std::to_string(port) + "/").c_str(), page, 0), 2);
    EXPECT_THAT(page.str(), StartsWith("*ERR:7:"));
}

TEST_F(HttpGetTest, ServerThatNeverAnswersEndsInATimeOut)
{
    SetHttpTimeouts({2000, 1000});
    TestHttpServer server([](const Request&) { return std::nullopt; });
    CString page;
    EXPECT_EQ(HttpGet(server.Url("/").c_str(), page, 0), 2);
    EXPECT_THAT(page.str(), StartsWith("*ERR:28:"));
    EXPECT_EQ(server.Requests().size(), 1u);
}

// --- the exception ------------------------------------------------------------------------------

TEST(HttpGetException, IsCreatableByNameWithCodeZero)
{
    CObject* made = CRuntimeClass::CreateObject("CHttpGetException");
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(&CException::classCException));
    auto* exception = static_cast<CHttpGetException*>(made);
    EXPECT_EQ(exception->code, 0);
    exception->Delete();

    try {
        ThrowHttpGetException(2);
    } catch (CHttpGetException* thrown) {
        EXPECT_EQ(thrown->code, 2);
        thrown->Delete();
    }
}

// --- the first block of a page ------------------------------------------------------------------

TEST_F(HttpGetTest, FetchPageKeepsTheFirstBlockAndAsksPastCaches)
{
    const std::string body(50000, 'p');
    TestHttpServer server([&body](const Request& request) {
        if (request.target == "/moved")
            return TestHttpServer::Response(302, "Found", "", "Location: /page\r\n");
        return TestHttpServer::Response(200, "OK", body, "Date: Mon, 02 Jan 2006 18:04:43 GMT\r\n");
    });
    HttpPage page;
    ASSERT_EQ(HttpFetchPage("Agent", server.Url("/moved").c_str(), false, 10000, page), kHttpPageOk);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, body.substr(0, 10000));
    EXPECT_THAT(page.headers, StartsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_THAT(page.headers, HasSubstr("Date: Mon, 02 Jan 2006 18:04:43 GMT\r\n"));
    std::vector<Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_THAT(requests[1].headers, HasSubstr("User-Agent: Agent\r\n"));
    EXPECT_THAT(requests[1].headers, HasSubstr("Cache-Control: no-cache\r\n"));

    HttpPage head;
    ASSERT_EQ(HttpFetchPage("Agent", server.Url("/page").c_str(), true, 10000, head), kHttpPageOk);
    EXPECT_EQ(server.Requests().back().method, "HEAD");
    EXPECT_TRUE(head.body.empty());
    EXPECT_THAT(head.headers, HasSubstr("Date: "));
}

TEST_F(HttpGetTest, FetchPageTellsAnAddressThatDoesNotAnswerFromABrokenAnswer)
{
    HttpPage page;
    EXPECT_EQ(HttpFetchPage("Agent", "https://127.0.0.1/", false, 100, page), kHttpPageOpenError);
    EXPECT_EQ(HttpFetchPage("Agent", "http://qdx-no-such-host.invalid/", false, 100, page), kHttpPageOpenError);

    // Promises 100 bytes and delivers 10.
    TestHttpServer broken([](const Request&) {
        return std::optional<std::string>("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
    });
    EXPECT_EQ(HttpFetchPage("Agent", broken.Url("/").c_str(), false, 1000, page), kHttpPageReadError);
}

TEST_F(HttpGetTest, PageSourceReplacesTheNetwork)
{
    std::string askedFor;
    SetHttpPageSource([&askedFor](const char*, const char* url, bool, std::size_t, HttpPage& page) {
        askedFor = url;
        page.body = "from memory";
        return kHttpPageOk;
    });
    HttpPage page;
    EXPECT_EQ(HttpFetchPage("Agent", "http://anywhere.invalid/x", false, 100, page), kHttpPageOk);
    EXPECT_EQ(page.body, "from memory");
    EXPECT_EQ(askedFor, "http://anywhere.invalid/x");
    askedFor.clear();
    EXPECT_EQ(HttpFetchPage(nullptr, nullptr, false, 100, page), kHttpPageOpenError);  // no address, no fetch
    EXPECT_TRUE(askedFor.empty());
    SetHttpPageSource({});
}

// --- addresses ----------------------------------------------------------------------------------

TEST(HttpUrl, ParsesAbsoluteAddresses)
{
    HttpUrl url;
    ASSERT_TRUE(ParseUrl("  HTTP://user:pw@Example.org:8080/a b?c=1#frag ", url));
    EXPECT_EQ(url.service, UrlService::Http);
    EXPECT_EQ(url.host, "Example.org");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.path, "/a%20b?c=1");
    EXPECT_EQ(url.ToString(), "HTTP://Example.org:8080/a%20b?c=1");

    ASSERT_TRUE(ParseUrl("http://[::1]?q", url));
    EXPECT_EQ(url.host, "[::1]");
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.path, "/?q");

    ASSERT_TRUE(ParseUrl("ftp://example.org", url));
    EXPECT_EQ(url.service, UrlService::Ftp);
    EXPECT_EQ(url.port, 21);

    for (const char* bad : {"", "http:/x", "http://", "http://:80/", "http://h:0/", "http://h:65536/",
                            "http://h:8a/", "http://[::1/", "http://[]/", "http://a\\b/", "//h/x", "1http://h/"})
        EXPECT_FALSE(ParseUrl(bad, url)) << bad;
}

TEST(HttpUrl, ResolvesRedirectTargets)
{
    HttpUrl base;
    ASSERT_TRUE(ParseUrl("http://h:81/dir/page?x", base));
    const std::pair<const char*, const char*> cases[] = {
        {"http://other/y", "http://other:80/y"}, {"//other:82/z", "http://other:82/z"},
        {"/abs", "http://h:81/abs"},             {"?q=1", "http://h:81/dir/page?q=1"},
        {"rel/x", "http://h:81/dir/rel/x"},
    };
    for (const auto& [location, expected] : cases) {
        HttpUrl out;
        ASSERT_TRUE(ResolveLocation(base, location, out)) << location;
        EXPECT_EQ(out.ToString(), expected);
    }
    HttpUrl out;
    EXPECT_FALSE(ResolveLocation(base, "", out));
    EXPECT_FALSE(ResolveLocation(base, "http:nowhere", out));
}

TEST(HttpUrl, FindsTheLocationHeaderLine)
{
    EXPECT_EQ(FindLocationHeader("HTTP/1.1 302 Found\r\nLocation: http://a/b\r\nX: y\r\n\r\n"), "http://a/b");
    EXPECT_EQ(FindLocationHeader("HTTP/1.1 302 Found\nLOCATION:/b \n"), "/b");
    EXPECT_EQ(FindLocationHeader("HTTP/1.1 302 Found\r\nContent-Location: /c\r\n\r\n"), std::nullopt);
    EXPECT_EQ(FindLocationHeader("Location: /status-line-is-not-a-header"), std::nullopt);
    EXPECT_EQ(FindLocationHeader(""), std::nullopt);
}

} // namespace
