#pragma once

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <thread>

#include "platform/PosixFiles.h"

// Hands each connection that a listening socket accepts to a TCP port on 127.0.0.1, and passes
// their bytes both ways, on one thread of its own. The status page listens on IPv6 through it:
// civetweb as Debian builds it has no IPv6, so it listens on an IPv4 loopback port behind it.
// A connection ends once one side has closed and the other has had all its bytes, at an error,
// or after `idleTimeout` in which no byte moved.
class ConnectionRelay {
public:
    // Takes `listener` (listening, non-blocking) and closes it in the end. At most
    // `maxConnections` are open at once; more wait in the listener's backlog.
    ConnectionRelay(int listener, int targetPort, std::chrono::milliseconds idleTimeout,
                    std::size_t maxConnections);
    // Closes every connection and the listener; waits for the thread.
    ~ConnectionRelay();
    ConnectionRelay(const ConnectionRelay&) = delete;
    ConnectionRelay& operator=(const ConnectionRelay&) = delete;

    // The port the listener is bound to.
    int Port() const;

private:
    void Run(const std::stop_token& stop);

    UniqueFd m_listener;
    UniqueFd m_wake;  // an eventfd: written once to end the thread
    int m_targetPort;
    std::chrono::milliseconds m_idleTimeout;
    std::size_t m_maxConnections;
    std::jthread m_thread;  // last: started once the rest is there
};
