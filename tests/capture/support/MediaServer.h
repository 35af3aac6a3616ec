#pragma once

// A small HTTP server on a loopback address for the live capture tests and
// the live benchmark. It answers GET requests from a fixed table, shaping
// its writes so that the header packet does or does not carry body bytes.

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace frames {

class MediaServer
{
public:
    struct Resource
    {
        QByteArray contentType;
        QByteArray body;
        // Header alone in its own packet, body after a pause.
        bool headerAlone = false;
        // Body bytes to send; the rest of a large body is generated.
        qint64 bodySize = -1;
    };

    explicit MediaServer(std::map<QByteArray, Resource> resources) : m_resources(std::move(resources)) {}
    ~MediaServer() { stop(); }
    MediaServer(const MediaServer &) = delete;
    MediaServer &operator=(const MediaServer &) = delete;

    bool listen(const char *address)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = 0;
        if (::inet_pton(AF_INET, address, &in.sin_addr) != 1
            || ::bind(m_fd, reinterpret_cast<sockaddr *>(&in), sizeof in) != 0 || ::listen(m_fd, 16) != 0)
            return false;
        socklen_t length = sizeof in;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&in), &length);
        m_port = ntohs(in.sin_port);
        m_thread = std::thread([this] { serve(); });
        return true;
    }

    std::uint16_t port() const { return m_port; }

    // The request heads received so far, in order.
    std::vector<QByteArray> requests() const
    {
        const std::lock_guard lock(m_lock);
        return m_requests;
    }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    void serve()
    {
        while (!m_stop) {
            pollfd wait{m_fd, POLLIN, 0};
            if (::poll(&wait, 1, 100) <= 0)
                continue;
            const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            answer(client);
            ::close(client);
        }
    }

    void answer(int client)
    {
        QByteArray head;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!head.contains("\r\n\r\n") && head.size() < 16384 && std::chrono::steady_clock::now() < deadline) {
            pollfd wait{client, POLLIN, 0};
            if (::poll(&wait, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            head.append(buffer, n);
        }
        {
            const std::lock_guard lock(m_lock);
            m_requests.push_back(head);
        }
        const qsizetype pathEnd = head.indexOf(' ', 4);
        const QByteArray path = head.startsWith("GET ") && pathEnd > 4 ? head.mid(4, pathEnd - 4) : QByteArray();
        const auto found = m_resources.find(path);
        if (found == m_resources.end()) {
            sendAll(client, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        const Resource &r = found->second;
        const qint64 size = r.bodySize >= 0 ? r.bodySize : r.body.size();
        const QByteArray header = "HTTP/1.1 200 OK\r\nContent-Type: " + r.contentType + "\r\nContent-Length: "
                                  + QByteArray::number(size) + "\r\nConnection: close\r\n\r\n";
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (r.headerAlone) {
            if (!sendAll(client, header))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            sendBody(client, r, size, {});
        } else {
            sendBody(client, r, size, header);
        }
        ::shutdown(client, SHUT_WR);
        // Let the client read to the end before the socket goes.
        char sink[4096];
        pollfd wait{client, POLLIN, 0};
        while (::poll(&wait, 1, 2000) > 0 && ::recv(client, sink, sizeof sink, 0) > 0) {
        }
    }

    static void sendBody(int client, const Resource &r, qint64 size, const QByteArray &prefix)
    {
        if (r.bodySize < 0) {
            sendAll(client, QByteArray(prefix + r.body));
            return;
        }
        // A large generated body: the given bytes first, then filler.
        QByteArray chunk = prefix + r.body;
        qint64 left = size - r.body.size();
        const QByteArray filler(1 << 20, '\x5a');
        if (!sendAll(client, chunk))
            return;
        while (left > 0) {
            const qint64 n = std::min<qint64>(left, filler.size());
            if (!sendAll(client, QByteArrayView(filler).first(n)))
                return;
            left -= n;
        }
    }

    static bool sendAll(int client, QByteArrayView bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(client, bytes.data() + sent, std::size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }

    std::map<QByteArray, Resource> m_resources;
    std::atomic<bool> m_stop{false};
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::vector<QByteArray> m_requests;
};

} // namespace frames
