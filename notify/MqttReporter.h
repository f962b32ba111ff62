#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "notify/HomeAssistant.h"
#include "notify/MqttLink.h"

// The latest frame as the watcher last saw it; a new file, or the same one written again, is a
// new frame.
struct LatestFrame {
    std::string path;
    std::int64_t modifiedMs = 0;
    bool operator==(const LatestFrame&) const = default;
};

// What the watcher tells over MQTT at each refresh, all retained so that a subscriber coming
// later (Home Assistant after a restart) sees it at once: <prefix>/state and <prefix>/trouble when
// they change, and <prefix>/latest, the latest frame at most kLatestWidth wide, at most every
// kLatestPeriodMs (a frame that comes sooner waits, and only the newest waiting is sent). Home
// Assistant's discovery messages are given to the link once, which sends them on every
// connection. Nothing here waits on the broker.
class MqttReporter {
public:
    static constexpr int kLatestWidth = 640;
    static constexpr std::int64_t kLatestPeriodMs = 10'000;

    MqttReporter(MqttLink& link, const HomeAssistantDevice& device);

    void Report(const std::string& stateJson, const std::string& troublesJson,
                const std::optional<LatestFrame>& latest, std::int64_t nowMs);

private:
    void ReportLatest(const LatestFrame& latest, std::int64_t nowMs);

    MqttLink& m_link;
    std::optional<std::string> m_state;
    std::optional<std::string> m_troubles;
    std::optional<LatestFrame> m_latest;  // the last frame sent, or found unreadable
    std::optional<std::int64_t> m_latestSentMs;
};
