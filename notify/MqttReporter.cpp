#include "notify/MqttReporter.h"

#include "frames/ReducedJpeg.h"

MqttReporter::MqttReporter(MqttLink& link, const HomeAssistantDevice& device) : m_link(link) {
    for (const DiscoveryMessage& message : DiscoveryMessages(device)) {
        m_link.PublishRetainedAbsolute(message.topic, message.payload);
    }
}

void MqttReporter::Report(const std::string& stateJson, const std::string& troublesJson,
                          const std::optional<LatestFrame>& latest, std::int64_t nowMs) {
    if (m_state != stateJson) {
        m_state = stateJson;
        m_link.PublishRetained("state", stateJson);
    }
    if (m_troubles != troublesJson) {
        m_troubles = troublesJson;
        m_link.PublishRetained("trouble", troublesJson);
    }
    if (latest && latest != m_latest) {
        ReportLatest(*latest, nowMs);
    }
}

void MqttReporter::ReportLatest(const LatestFrame& latest, std::int64_t nowMs) {
    if (m_latestSentMs && nowMs - *m_latestSentMs < kLatestPeriodMs) {
        return;  // a later report sends the newest frame then
    }
    m_latest = latest;  // one that cannot be read is not tried again at every refresh
    if (const std::optional<std::string> jpeg = ReducedJpeg(latest.path, kLatestWidth)) {
        m_link.PublishRetained("latest", *jpeg);
        m_latestSentMs = nowMs;
    }
}
