#include "capture/CaptureWorker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "capture/ThreadCount.h"

// Whether a run's thread has ended; shared by the worker and the thread, so it outlives either.
struct CaptureWorker::Run {
    mutable std::mutex mutex;
    mutable std::condition_variable endedChanged;
    bool ended = false;  // guarded by mutex
};

CaptureWorker::~CaptureWorker() {
    if (!Stop() && m_thread.joinable()) {
        m_thread.detach();  // held by its source; it owns all it uses and ends by itself
    }
}

bool CaptureWorker::Start(std::shared_ptr<CaptureShared> shared, CaptureRunConfig config,
                          EndHandler onEnded) {
    if (!Stop()) {
        return false;
    }
    auto run = std::make_shared<Run>();
    const int runId = ++m_runId;
    m_thread = std::jthread([run, shared = std::move(shared), config = std::move(config),
                             onEnded = std::move(onEnded), runId](const std::stop_token& stop) {
        LiveCaptureThread alive;
        CaptureThreadProc(stop, *shared, config);
        if (onEnded) {
            onEnded(runId);
        }
        {
            std::lock_guard lock(run->mutex);
            run->ended = true;
        }
        run->endedChanged.notify_all();
    });
    m_run = std::move(run);
    return true;
}

bool CaptureWorker::Stop(int ms) {
    m_thread.request_stop();
    if (!WaitForEnd(ms)) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return true;
}

bool CaptureWorker::WaitForEnd(int ms) const {
    if (!m_run) {
        return true;
    }
    std::unique_lock lock(m_run->mutex);
    return m_run->endedChanged.wait_for(lock, std::chrono::milliseconds(ms),
                                        [this] { return m_run->ended; });
}
