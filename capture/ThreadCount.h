#pragma once

// Counts the threads of the capture code while they run, so that the program can tell whether one
// is still held by a source at exit.
class LiveCaptureThread {
public:
    LiveCaptureThread();
    ~LiveCaptureThread();
    LiveCaptureThread(const LiveCaptureThread&) = delete;
    LiveCaptureThread& operator=(const LiveCaptureThread&) = delete;
};

// How many capture threads of the process are still going, those left to a hung source included.
// Safe to call from any thread.
int CaptureThreadsAlive();
