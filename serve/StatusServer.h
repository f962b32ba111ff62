#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class ConnectionRelay;
class FolderStatus;
struct mg_context;

// Where the status page listens.
struct ListenAddress {
    std::string host;  // a numeric IPv4 or IPv6 address, without brackets
    int port = 0;      // 0 picks a free one
    bool loopback = false;
};

// "192.168.1.5:8765", "[::1]:8765" or "localhost:8765" (127.0.0.1); nothing for any other text.
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

// The status page's HTTP server, on civetweb. It answers GET and HEAD of the page, /status.json,
// /latest.jpg, /videos/NAME and /days/NAME, each name looked up in what `status` lists: no path
// ever comes from a request. Every response carries the headers that keep a browser from running
// or framing anything else. With a token, every request must carry it: as a bearer token, in the
// cookie the server sets, or once as ?token=, answered with that cookie and a redirect to the
// same path without it.
class StatusServer {
public:
    // How long a connection may stay idle before the server closes it.
    static constexpr std::chrono::milliseconds kIdleTimeout{10000};

    // `token` empty: every request is answered without one.
    StatusServer(const FolderStatus& status, const std::string& token,
                 std::chrono::milliseconds idleTimeout = kIdleTimeout);
    ~StatusServer();
    StatusServer(const StatusServer&) = delete;
    StatusServer& operator=(const StatusServer&) = delete;

    // Starts listening on `address`; why it cannot (the port in use, an address not this
    // machine's), or nothing once it listens. An IPv6 address is listened on by a relay to
    // civetweb's own port on 127.0.0.1 (see ConnectionRelay).
    std::optional<std::string> Start(const ListenAddress& address);
    // The port it listens on (the one picked for a port of 0), and its address as a URL.
    int Port() const;
    std::string Url() const;
    // Closes every connection and stops the server's threads; waits for them.
    void Stop();

    struct Site;  // what the requests are answered from, shared with the server's threads

private:
    int CivetwebPort() const;

    std::unique_ptr<Site> m_site;
    std::chrono::milliseconds m_idleTimeout;
    ListenAddress m_address;
    mg_context* m_context = nullptr;
    std::unique_ptr<ConnectionRelay> m_relay;  // for an IPv6 address
};
