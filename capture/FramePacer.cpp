#include "capture/FramePacer.h"

#include <cmath>

#include "platform/Clock.h"

FramePacer::FramePacer(Clock& clock, double fps) : m_clock(clock) {
    if (fps > 0.0) {
        m_periodTicks = static_cast<double>(clock.Frequency()) / fps;
    }
}

bool FramePacer::WaitForNextFrame(const std::stop_token& stop) {
    if (m_periodTicks <= 0.0) {
        return !stop.stop_requested();
    }
    const std::int64_t now = m_clock.Counter();
    const auto period = static_cast<std::int64_t>(std::llround(m_periodTicks));
    if (!m_started || now >= m_due + period) {
        m_started = true;
        m_due = now + period;  // the first frame at once, the next a period later
        return !stop.stop_requested();
    }
    if (now < m_due) {
        const double ms =
            static_cast<double>(m_due - now) * 1000.0 / static_cast<double>(m_clock.Frequency());
        if (!m_clock.SleepUnlessStopped(static_cast<int>(std::ceil(ms)), stop)) {
            return false;
        }
    }
    m_due += period;
    return true;
}
