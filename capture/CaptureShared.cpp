#include "capture/CaptureShared.h"

std::string CaptureShared::GetFrameDir() const {
    std::lock_guard lock(m_frameDirMutex);
    return m_frameDir;
}

void CaptureShared::SetFrameDir(std::string frameDir) {
    std::lock_guard lock(m_frameDirMutex);
    m_frameDir = std::move(frameDir);
}
