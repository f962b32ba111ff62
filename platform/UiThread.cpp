#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QThread>
#include <deque>
#include <mutex>

bool IsUiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

namespace {

// Calls waiting for the UI thread. They are handed over under this queue's lock rather than inside
// the posted event, so that ThreadSanitizer sees the hand-over: it cannot see the locks of Qt's own
// event queue, and would take a call made on one thread and run on the other for a race.
class UiCallQueue {
public:
    void Post(QCoreApplication& app, std::function<void()> call);
    void RunPending();

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;  // guarded by m_mutex
};

UiCallQueue& UiCalls() {
    static UiCallQueue calls;
    return calls;
}

void UiCallQueue::Post(QCoreApplication& app, std::function<void()> call) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
    // Posted under the lock, so the UI thread has taken it before it frees the event; and the
    // posted lambda holds no data that the UI thread would read before that.
    QMetaObject::invokeMethod(
        &app, [] { UiCalls().RunPending(); }, Qt::QueuedConnection);
}

void UiCallQueue::RunPending() {
    // One call at a time: a call that waits in an event loop of its own (a message box) lets the
    // calls queued after it run meanwhile.
    while (true) {
        std::function<void()> call;
        {
            std::lock_guard lock(m_mutex);
            if (m_calls.empty()) {
                return;
            }
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        call();
    }
}

}  // namespace

void RunOnUiThread(std::function<void()> call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        return;
    }
    if (IsUiThread()) {
        call();
    } else {
        UiCalls().Post(*app, std::move(call));
    }
}
