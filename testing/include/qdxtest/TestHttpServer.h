// A small HTTP/1.1 server on 127.0.0.1 for tests: it listens on a free port, answers each
// request on its own thread with whatever the test's handler returns, and stops (closing every
// connection it still holds) when destroyed or after its lifetime runs out.
//
//   TestHttpServer server([](const TestHttpServer::Request& request) {
//       return TestHttpServer::Response(200, "OK", "hello");
//   });
//   HttpGet(server.Url("/page").c_str(), page, 0);
//
// A handler that returns std::nullopt makes the server accept the request and never answer.
// SendSlowly makes it write its answers one byte at a time, with a pause before each.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <ctime>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qdx::test {

// Opens a listening TCP socket on 127.0.0.1 at a port the system picks; the socket goes to
// `listener` (-1 when none could be made). Returns the port, or 0 when listening failed.
inline int ListenOnLoopback(int& listener)
{
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

class TestHttpServer {
public:
    struct Request {
        std::string method;   // "GET", "HEAD", ...
        std::string target;   // "/page?x"
        std::string headers;  // the header lines after the request line, CR LF separated
    };
    using Handler = std::function<std::optional<std::string>(const Request&)>;

    explicit TestHttpServer(Handler handler, std::chrono::seconds lifetime = std::chrono::seconds(60))
        : m_handler(std::move(handler)), m_deadline(std::chrono::steady_clock::now() + lifetime)
    {
        m_port = ListenOnLoopback(m_listener);
        if (m_port == 0)
            return;
        m_thread = std::thread([this] { Serve(); });
    }

    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    ~TestHttpServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }

    // The port listened on; 0 when the server could not start.
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port><path>".
    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    // Writes every later answer byte by byte with `pause` before each byte.
    void SendSlowly(std::chrono::milliseconds pause) { m_pause = pause; }

    // The requests received so far.
    std::vector<Request> Requests() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_requests;
    }

    // A whole response: status line, Content-Length, Connection: close, the extra header lines
    // (each ending CR LF) and the body.
    static std::string Response(int status, const std::string& reason, const std::string& body,
                                const std::string& extraHeaders = "")
    {
        return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
    }

    // A handler answering with the Date of a clock `offset` seconds ahead of this machine's.
    static Handler ClockOffBy(double offset)
    {
        return [offset](const Request&) {
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            const std::time_t shown = static_cast<std::time_t>(std::floor(now.tv_sec + now.tv_nsec * 1e-9 + offset));
            std::tm fields{};
            gmtime_r(&shown, &fields);
            char date[64];
            std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &fields);
            return std::optional<std::string>(Response(200, "OK", "", std::string("Date: ") + date + "\r\n"));
        };
    }

private:
    bool Running() const { return !m_stop && std::chrono::steady_clock::now() < m_deadline; }

    void Serve()
    {
        std::vector<int> held;  // connections accepted and never answered
        while (Running()) {
            pollfd listener{m_listener, POLLIN, 0};
            if (::poll(&listener, 1, 20) <= 0)
                continue;
            int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            std::optional<Request> request = ReadRequest(connection);
            if (!request) {
                ::close(connection);
                continue;
            }
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_requests.push_back(*request);
            }
            std::optional<std::string> response = m_handler(*request);
            if (!response) {
                held.push_back(connection);
                continue;
            }
            if (request->method == "HEAD") {
                // The answer to HEAD carries the headers only.
                size_t end = response->find("\r\n\r\n");
                if (end != std::string::npos)
                    response->resize(end + 4);
            }
            if (m_pause.load().count() > 0)
                SendByteByByte(connection, *response);
            else
                SendAll(connection, *response);
            ::shutdown(connection, SHUT_WR);
            DrainAndClose(connection);
        }
        for (int connection : held)
            ::close(connection);
    }

    // Reads up to the empty line that ends the request's headers (at most 64 KiB, 5 s).
    std::optional<Request> ReadRequest(int connection) const
    {
        std::string data;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (data.find("\r\n\r\n") == std::string::npos) {
            if (!Running() || std::chrono::steady_clock::now() > giveUp || data.size() > 65536)
                return std::nullopt;
            pollfd in{connection, POLLIN, 0};
            if (::poll(&in, 1, 20) <= 0)
                continue;
            char buffer[4096];
            ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                return std::nullopt;
            data.append(buffer, static_cast<size_t>(got));
        }
        Request request;
        size_t lineEnd = data.find("\r\n");
        std::string line = data.substr(0, lineEnd);
        size_t space1 = line.find(' ');
        size_t space2 = line.find(' ', space1 + 1);
        if (space1 == std::string::npos || space2 == std::string::npos)
            return std::nullopt;
        request.method = line.substr(0, space1);
        request.target = line.substr(space1 + 1, space2 - space1 - 1);
        request.headers = data.substr(lineEnd + 2, data.find("\r\n\r\n") - lineEnd);
        return request;
    }

    static void SendAll(int connection, const std::string& data)
    {
        size_t sent = 0;
        while (sent < data.size()) {
            ssize_t n = ::send(connection, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }

    void SendByteByByte(int connection, const std::string& data) const
    {
        for (char byte : data) {
            std::this_thread::sleep_for(m_pause.load());
            if (!Running() || ::send(connection, &byte, 1, MSG_NOSIGNAL) != 1)
                return;
        }
    }

    // Waits briefly for the client to close its side, so the answer is not cut by a reset.
    static void DrainAndClose(int connection)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        char buffer[1024];
        while (std::chrono::steady_clock::now() < until) {
            pollfd in{connection, POLLIN, 0};
            if (::poll(&in, 1, 20) <= 0)
                continue;
            if (::recv(connection, buffer, sizeof buffer, 0) <= 0)
                break;
        }
        ::close(connection);
    }

    Handler m_handler;
    std::chrono::steady_clock::time_point m_deadline;
    std::atomic<bool> m_stop{false};
    std::atomic<std::chrono::milliseconds> m_pause{std::chrono::milliseconds(0)};
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::vector<Request> m_requests;
};

} // namespace qdx::test
