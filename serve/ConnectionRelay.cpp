#include "serve/ConnectionRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <list>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What one side has sent and the other not yet taken; read again only once it is all written.
constexpr std::size_t kChunkBytes = 16384;
// How often idle connections are looked for while nothing happens.
constexpr std::chrono::milliseconds kSweepPeriod{1000};

struct Pending {
    std::array<char, kChunkBytes> bytes{};
    std::size_t begin = 0;
    std::size_t end = 0;
    bool Empty() const { return begin == end; }
};

enum class Moved { Nothing, Some, Closed, Failed };

// Reads what `from` has into `pending`, which is empty.
Moved Receive(int from, Pending& pending) {
    const ssize_t count = ::recv(from, pending.bytes.data(), pending.bytes.size(), 0);
    if (count > 0) {
        pending.begin = 0;
        pending.end = static_cast<std::size_t>(count);
        return Moved::Some;
    }
    if (count == 0) {
        return Moved::Closed;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Moved::Nothing
                                                                     : Moved::Failed;
}

// Writes what it can of `pending` to `to`.
Moved Send(int to, Pending& pending) {
    const ssize_t count =
        ::send(to, pending.bytes.data() + pending.begin, pending.end - pending.begin, MSG_NOSIGNAL);
    if (count > 0) {
        pending.begin += static_cast<std::size_t>(count);
        return Moved::Some;
    }
    return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? Moved::Nothing
                                                                                    : Moved::Failed;
}

// One connection: the client's socket and the one to the target, and the bytes between them.
class Link {
public:
    Link(int client, int server) : m_client(client), m_server(server) {}
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // What to wait for on each side; a side with nothing to wait for is left out of the poll, so
    // that its hang-up does not wake it again and again.
    pollfd ClientPoll() const {
        const short events = static_cast<short>((WantsFromClient() ? POLLIN : 0) |
                                                (m_toClient.Empty() ? 0 : POLLOUT));
        return {events != 0 ? m_client.Get() : -1, events, 0};
    }
    pollfd ServerPoll() const {
        const short events =
            m_connecting ? static_cast<short>(POLLOUT)
                         : static_cast<short>((m_toClient.Empty() && !m_serverDone ? POLLIN : 0) |
                                              (m_toServer.Empty() ? 0 : POLLOUT));
        return {events != 0 ? m_server.Get() : -1, events, 0};
    }

    // Moves what the poll found; false once the connection is over.
    bool Serve(short clientEvents, short serverEvents, Clock::time_point now) {
        if (m_connecting) {
            return (serverEvents & (POLLOUT | POLLERR | POLLHUP)) == 0 || Connected();
        }
        if (((clientEvents | serverEvents) & POLLERR) != 0) {
            return false;
        }
        const bool fromClient = (clientEvents & (POLLIN | POLLHUP)) != 0 && WantsFromClient();
        const bool fromServer =
            (serverEvents & (POLLIN | POLLHUP)) != 0 && m_toClient.Empty() && !m_serverDone;
        if (!Pass(fromClient, m_client.Get(), m_server.Get(), m_toServer, m_clientDone, now) ||
            !Pass(fromServer, m_server.Get(), m_client.Get(), m_toClient, m_serverDone, now)) {
            return false;
        }
        // The client has said all it will: the server hears so once it has had every byte.
        if (m_clientDone && m_toServer.Empty() && !m_serverTold) {
            ::shutdown(m_server.Get(), SHUT_WR);
            m_serverTold = true;
        }
        // The server has closed: nothing more can come for the client once it has what is here.
        return !(m_serverDone && m_toClient.Empty());
    }

    bool IdleSince(Clock::time_point since) const { return m_lastMoved < since; }

private:
    bool WantsFromClient() const { return !m_connecting && m_toServer.Empty() && !m_clientDone; }

    bool Connected() {
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(m_server.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
            error != 0) {
            return false;
        }
        m_connecting = false;
        return true;
    }

    // Reads from `from` when `readable`, then writes what waits to `to`; false at an error.
    bool Pass(bool readable, int from, int to, Pending& pending, bool& fromDone,
              Clock::time_point now) {
        if (readable) {
            switch (Receive(from, pending)) {
                case Moved::Some:
                    m_lastMoved = now;
                    break;
                case Moved::Closed:
                    fromDone = true;
                    break;
                case Moved::Failed:
                    return false;
                case Moved::Nothing:
                    break;
            }
        }
        if (pending.Empty()) {
            return true;
        }
        const Moved sent = Send(to, pending);
        if (sent == Moved::Some) {
            m_lastMoved = now;
        }
        return sent != Moved::Failed;
    }

    UniqueFd m_client;
    UniqueFd m_server;
    bool m_connecting = true;
    bool m_clientDone = false;  // the client sent its end
    bool m_serverDone = false;  // the server closed
    bool m_serverTold = false;  // the server got the client's end
    Pending m_toServer;
    Pending m_toClient;
    Clock::time_point m_lastMoved = Clock::now();
};

// A socket to 127.0.0.1:`port`, connecting (not blocking); -1 when it cannot even start.
int ConnectToLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Bytes go on as they come, as civetweb sends them: the headers and the body in two writes.
void SendAtOnce(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

// Takes a waiting connection and links it to civetweb's `port`. Out of descriptors or memory,
// accepting waits until `acceptFrom` instead of spinning on the listener.
void AcceptInto(std::list<Link>& links, int listener, int port, Clock::time_point now,
                Clock::time_point& acceptFrom) {
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
            acceptFrom = now + kSweepPeriod;
        }
        return;
    }
    const int server = ConnectToLoopback(port);
    if (server < 0) {
        ::close(client);
        return;
    }
    SendAtOnce(client);
    SendAtOnce(server);
    links.emplace_back(client, server);
}

}  // namespace

ConnectionRelay::ConnectionRelay(int listener, int targetPort,
                                 std::chrono::milliseconds idleTimeout, std::size_t maxConnections)
    : m_listener(listener),
      m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_targetPort(targetPort),
      m_idleTimeout(idleTimeout),
      m_maxConnections(maxConnections),
      m_thread([this](const std::stop_token& stop) { Run(stop); }) {}

ConnectionRelay::~ConnectionRelay() {
    m_thread.request_stop();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.Get(), &one, sizeof(one));
    m_thread.join();
}

int ConnectionRelay::Port() const {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    return ntohs(address.ss_family == AF_INET6 ? v6->sin6_port : v4->sin_port);
}

void ConnectionRelay::Run(const std::stop_token& stop) {
    std::list<Link> links;
    std::vector<pollfd> polled;
    const int timeoutMs = static_cast<int>(std::min(m_idleTimeout, kSweepPeriod).count());
    Clock::time_point acceptFrom = Clock::now();
    while (!stop.stop_requested()) {
        // A full relay leaves what comes in the listener's backlog.
        const bool room = links.size() < m_maxConnections && Clock::now() >= acceptFrom;
        polled.assign({{m_wake.Get(), POLLIN, 0}, {room ? m_listener.Get() : -1, POLLIN, 0}});
        for (const Link& link : links) {
            polled.push_back(link.ClientPoll());
            polled.push_back(link.ServerPoll());
        }
        if (::poll(polled.data(), polled.size(), timeoutMs) < 0 && errno != EINTR) {
            return;
        }
        if (polled[0].revents != 0) {
            return;
        }
        const Clock::time_point now = Clock::now();
        auto link = links.begin();
        for (std::size_t i = 2; link != links.end(); i += 2) {
            if (link->Serve(polled[i].revents, polled[i + 1].revents, now) &&
                !link->IdleSince(now - m_idleTimeout)) {
                ++link;
            } else {
                link = links.erase(link);
            }
        }
        if ((polled[1].revents & POLLIN) == 0) {
            continue;
        }
        AcceptInto(links, m_listener.Get(), m_targetPort, now, acceptFrom);
    }
}
