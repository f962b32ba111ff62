#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "frames/FrameFile.h"

// The state a capture run shares with the window. Every member is safe to use from any thread.
struct CaptureShared {
    // The window's run switch: written by the UI thread, read by the capture thread each pass.
    std::atomic<bool> m_running{false};
    // Written by the UI thread, read by the capture thread each pass.
    std::atomic<bool> m_paused{false};
    // Written by the UI thread, read by the capture thread for each saved frame.
    std::atomic<bool> m_showTimestamp{false};
    // Seconds between saved frames; written by the UI thread, read by the capture thread.
    std::atomic<float> m_captureDelay{1.0f};
    // The last frame number saved: written by the UI thread before a run, by the capture thread
    // during it.
    std::atomic<int> m_frameCounter{kNoFrames};

    // The folder frames are saved in, empty or ending with '/'; written by the UI thread, read by
    // the capture thread for each saved frame. Safe to call from any thread.
    std::string GetFrameDir() const;
    // Safe to call from any thread.
    void SetFrameDir(std::string frameDir);

private:
    mutable std::mutex m_frameDirMutex;
    std::string m_frameDir;  // guarded by m_frameDirMutex
};
