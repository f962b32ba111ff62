#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>

#include "app/VornDlg.h"
#include "capture/CaptureLoop.h"

void CVornDlg::StartCaptureThread() {
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
