#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>

#include "app/VornDlg.h"
#include "capture/CaptureLoop.h"

void CVornDlg::StartCaptureThread() {
    if (m_hCaptureThread.joinable()) {
        // A thread still finishing the last pass of the previous run would take the running flag
        // the new run has set for its own and loop beside it: it ends with the flag cleared, and
        // a frame its last pass saved gives its number back to the new run.
        const bool running = m_running.exchange(false);
        const int frameCounter = m_frameCounter;
        JoinCaptureThread();
        m_frameCounter = frameCounter;
        m_running = running;
    }
    m_captureThreadDone = false;
    m_hCaptureThread = std::thread([this] {
        CaptureThreadProc(this);
        m_captureThreadDone = true;
    });
}

bool CVornDlg::WaitForCaptureThread(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!m_captureThreadDone && elapsed.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return m_captureThreadDone;
}

void CVornDlg::JoinCaptureThread() {
    while (!WaitForCaptureThread(1000)) {
    }
    if (m_hCaptureThread.joinable()) {
        m_hCaptureThread.join();
    }
}
