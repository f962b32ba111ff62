// How long choosing frames by time takes on a season: 100,000 frames every 5 minutes (about 347
// days in Europe/Berlin, both changes of clocks included), with the times already read; the
// stored offset shows only in --list.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "timeline/FrameChoice.h"

int main() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    constexpr int kFrames = 100'000;
    constexpr std::int64_t kStartMs = 1'767'222'003'000;  // 2025-12-31T23:00:03Z
    std::vector<TimedFrame> frames;
    frames.reserve(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back({10001 + i, {kStartMs + i * std::int64_t{300'000}, 3600}});
    }
    const auto choice = [](const char* option, const char* text) {
        FrameChoice made;
        SetFrameChoiceOption(made, option, text, {});
        return made;
    };
    const std::pair<const char*, FrameChoice> cases[] = {
        {"--daily-at 12:00", choice("daily-at", "12:00")},
        {"--daily-at solar-noon", choice("daily-at", "solar-noon")},
        {"--every 60", choice("every", "60")},
        {"--between 06:00-20:00", choice("between", "06:00-20:00")},
        {"--day 2026-03-29", choice("day", "2026-03-29")},
    };
    constexpr int kRuns = 20;
    for (const auto& [name, chosen] : cases) {
        std::size_t count = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int run = 0; run < kRuns; ++run) {
            count = ChooseFrames(frames, chosen, {0, 13.4}).frames.size();
        }
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        std::printf("%-24s %6zu of %d frames chosen in %.2f ms\n", name, count, kFrames,
                    elapsed.count() / kRuns);
    }
    return 0;
}
