// A TLS (https) server on 127.0.0.1 for the tests, with the certificate of tools/testdata/: it
// answers each request with what the handler returns, like TestHttpServer, one connection at a
// time, and stops when destroyed.
//
//   TestTlsServer server([](const TestHttpServer::Request&) { return TestHttpServer::Response(...); });
//   server.Url("/")   // "https://127.0.0.1:<port>/"
#pragma once

#include <qdxtest/TestHttpServer.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace qdx::test {

class TestTlsServer {
public:
    explicit TestTlsServer(TestHttpServer::Handler handler) : m_handler(std::move(handler))
    {
        m_context = SSL_CTX_new(TLS_server_method());
        const std::string dir = ROLVEK_TESTDATA_DIR;
        if (!m_context ||
            SSL_CTX_use_certificate_chain_file(m_context, (dir + "/test-server.pem").c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(m_context, (dir + "/test-server.key").c_str(), SSL_FILETYPE_PEM) != 1)
            return;
        m_port = ListenOnLoopback(m_listener);
        if (m_port == 0)
            return;
        m_thread = std::thread([this] { Serve(); });
    }
    ~TestTlsServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
        SSL_CTX_free(m_context);
    }
    TestTlsServer(const TestTlsServer&) = delete;
    TestTlsServer& operator=(const TestTlsServer&) = delete;

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(m_port) + path; }

private:
    void Serve()
    {
        while (!m_stop) {
            pollfd listener{m_listener, POLLIN, 0};
            if (::poll(&listener, 1, 20) <= 0)
                continue;
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            timeval wait{2, 0};  // a client that stalls cannot hold the server
            ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            SSL* tls = SSL_new(m_context);
            SSL_set_fd(tls, connection);
            if (SSL_accept(tls) == 1)
                Answer(tls);
            SSL_free(tls);
            ::close(connection);
            ERR_clear_error();
        }
    }

    void Answer(SSL* tls)
    {
        std::string data;
        char buffer[4096];
        while (data.find("\r\n\r\n") == std::string::npos && data.size() < 65536) {
            const int got = SSL_read(tls, buffer, sizeof buffer);
            if (got <= 0)
                return;
            data.append(buffer, static_cast<size_t>(got));
        }
        TestHttpServer::Request request;
        const std::string line = data.substr(0, data.find("\r\n"));
        request.method = line.substr(0, line.find(' '));
        request.target = line.substr(line.find(' ') + 1, line.rfind(' ') - line.find(' ') - 1);
        std::optional<std::string> response = m_handler(request);
        if (!response)
            return;
        if (request.method == "HEAD")
            response->resize(response->find("\r\n\r\n") + 4);
        SSL_write(tls, response->data(), static_cast<int>(response->size()));
        SSL_shutdown(tls);
    }

    TestHttpServer::Handler m_handler;
    SSL_CTX* m_context = nullptr;
    std::atomic<bool> m_stop{false};
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace qdx::test
