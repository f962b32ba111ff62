#pragma once

#include <cstdint>
#include <stop_token>

class Clock;

// Takes a video file's frames at the pace it plays at, as a camera sends its own: without it a
// file would be used up as fast as the loop asks, long before a warm-up or a delay has passed.
class FramePacer {
public:
    // `fps` 0 paces nothing: a camera, stream or pipeline sends at its own pace.
    FramePacer(Clock& clock, double fps);

    // Waits until the next frame is due; false when `stop` was requested first. A capture that
    // fell behind (a slow save) goes on from now rather than catching up in a burst.
    bool WaitForNextFrame(const std::stop_token& stop = {});

private:
    Clock& m_clock;
    double m_periodTicks = 0.0;
    std::int64_t m_due = 0;
    bool m_started = false;
};
