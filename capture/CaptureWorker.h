#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "capture/CaptureLoop.h"

// Owns the thread of the capture runs, one run at a time. Each run has its own stop request, so a
// run that is still ending can never take over the next one's. A run whose source hangs is left
// to end by itself: it owns everything it uses, so the owner never waits for it without a bound.
class CaptureWorker {
public:
    // Called on the capture thread when a run ends, with the run's id.
    using EndHandler = std::function<void(int runId)>;

    CaptureWorker() = default;
    // Stops the run and waits for it up to kStopWaitMs.
    ~CaptureWorker();
    CaptureWorker(const CaptureWorker&) = delete;
    CaptureWorker& operator=(const CaptureWorker&) = delete;

    static constexpr int kStopWaitMs = 1000;

    // Starts a run; false when the previous run has not ended within kStopWaitMs.
    bool Start(std::shared_ptr<CaptureShared> shared, CaptureRunConfig config, EndHandler onEnded);
    // Asks the run to stop and waits up to `ms` for it; true when it has ended.
    bool Stop(int ms = kStopWaitMs);
    // Waits up to `ms` for the run to end; true when it has (or none was started).
    bool WaitForEnd(int ms) const;
    // True while a run's thread is going.
    bool IsRunning() const { return !WaitForEnd(0); }
    // The id of the latest run started, from 1.
    int RunId() const { return m_runId; }

private:
    struct Run;

    std::shared_ptr<Run> m_run;
    std::jthread m_thread;
    int m_runId = 0;
};
