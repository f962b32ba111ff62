#pragma once

#include <csignal>

// Catches SIGINT and SIGTERM for the object's life, so that an assembly stops after its current
// frame instead of the process ending with its temporary file, and a hook running is ended.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // Whether one came since the catcher was made.
    static bool Interrupted();

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};
