#include "capture/ThreadCount.h"

#include <atomic>

namespace {

std::atomic<int> s_alive{0};

}  // namespace

LiveCaptureThread::LiveCaptureThread() {
    ++s_alive;
}

LiveCaptureThread::~LiveCaptureThread() {
    --s_alive;
}

int CaptureThreadsAlive() {
    return s_alive.load();
}
