#include "platform/InterruptCatcher.h"

#include <atomic>

namespace {

// Set by SIGINT and SIGTERM: the assembly stops after the current frame and keeps what it wrote.
std::atomic<bool> s_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    s_interrupted = true;
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
    s_interrupted = false;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
}

InterruptCatcher::~InterruptCatcher() {
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
}

bool InterruptCatcher::Interrupted() {
    return s_interrupted;
}
