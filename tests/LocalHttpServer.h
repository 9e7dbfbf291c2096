#pragma once
// A small HTTP server on 127.0.0.1 for the diagnosis tests and benchmark: each path answers in
// its own way (a page, a redirect, a loop, a large binary body, a 404, silence). Every
// connection gets its own thread, so a silent one holds up nothing else; Stop (or the
// destructor) closes every socket and joins every thread.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test {

class LocalHttpServer {
public:
    // Size of the body /huge sends: far beyond what the diagnosis reads.
    static constexpr size_t kHugeBytes = 1 << 20;
    // What /ok answers.
    static constexpr char kOkBody[] = "<!DOCTYPE html><html><body>ok</body></html>";

    LocalHttpServer() {
        WSADATA data{};
        m_wsa = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        int length = sizeof(addr);
        if (m_listener == INVALID_SOCKET || ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
            ::listen(m_listener, 16) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
            return;
        }
        m_port = ntohs(addr.sin_port);
        m_acceptor = std::thread([this] { Accept(); });
    }
    ~LocalHttpServer() {
        Stop();
        if (m_wsa) ::WSACleanup();
    }
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    unsigned short Port() const { return m_port; }
    std::wstring Url(const std::wstring& path) const {
        return L"http://127.0.0.1:" + std::to_wstring(m_port) + path;
    }
    // The User-Agent header of the last request that had one.
    std::string LastUserAgent() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_userAgent;
    }
    int Requests() const { return m_requests.load(); }

    void Stop() {
        if (m_stopped.exchange(true)) return;
        if (m_listener != INVALID_SOCKET) ::closesocket(m_listener);
        if (m_acceptor.joinable()) m_acceptor.join();
        std::vector<std::thread> threads;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            for (SOCKET s : m_open) ::shutdown(s, SD_BOTH), ::closesocket(s);
            m_open.clear();
            threads.swap(m_threads);
        }
        for (std::thread& t : threads) t.join();
    }

    // A port on 127.0.0.1 where nothing listens (bound, then let go).
    static unsigned short ClosedPort() {
        SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(addr);
        unsigned short port = 0;
        if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
            port = ntohs(addr.sin_port);
        }
        ::closesocket(s);
        return port;
    }

private:
    void Accept() {
        for (;;) {
            SOCKET client = ::accept(m_listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopped) {
                ::closesocket(client);
                return;
            }
            m_open.push_back(client);
            m_threads.emplace_back([this, client] { Serve(client); });
        }
    }

    static bool SendAll(SOCKET s, const char* data, size_t size) {
        while (size > 0) {
            const int sent = ::send(s, data, static_cast<int>(size > 65536 ? 65536 : size), 0);
            if (sent <= 0) return false;
            data += sent;
            size -= static_cast<size_t>(sent);
        }
        return true;
    }

    void Serve(SOCKET s) {
        // Requests on this connection, one after another (WinINet keeps connections alive).
        std::string pending;
        char buffer[4096];
        for (;;) {
            size_t end;
            while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
                const int got = ::recv(s, buffer, sizeof(buffer), 0);
                if (got <= 0) return;
                pending.append(buffer, static_cast<size_t>(got));
            }
            const std::string head = pending.substr(0, end);
            pending.erase(0, end + 4);
            ++m_requests;
            const size_t agent = head.find("User-Agent: ");
            if (agent != std::string::npos) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_userAgent = head.substr(agent + 12, head.find("\r\n", agent) - agent - 12);
            }
            const size_t space = head.find(' ');
            const std::string path = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
            if (path == "/silent") {
                // Accepts and never answers: the connection stays until the server stops.
                while (::recv(s, buffer, sizeof(buffer), 0) > 0) {
                }
                return;
            }
            std::string status = "200 OK", extra, body = kOkBody;
            if (path == "/redirect") {
                status = "302 Found";
                extra = "Location: /ok\r\n";
                body.clear();
            } else if (path == "/loop-a" || path == "/loop-b") {
                status = "302 Found";
                extra = std::string("Location: ") + (path == "/loop-a" ? "/loop-b" : "/loop-a") + "\r\n";
                body.clear();
            } else if (path == "/missing") {
                status = "404 Not Found";
                body = "missing";
            } else if (path == "/huge") {
                body.assign(kHugeBytes, '\0');
                for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 131) & 0xFF);
                extra = "Content-Type: application/octet-stream\r\n";
            }
            const std::string reply = "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
                                      "\r\n" + extra + "\r\n" + body;
            if (!SendAll(s, reply.data(), reply.size())) return;
        }
    }

    bool m_wsa = false;
    SOCKET m_listener = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::thread m_acceptor;
    std::atomic<bool> m_stopped{false};
    std::atomic<int> m_requests{0};
    std::mutex m_mutex;
    std::vector<SOCKET> m_open;
    std::vector<std::thread> m_threads;
    std::string m_userAgent;
};

} // namespace test
