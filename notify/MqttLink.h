#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct mosquitto;

// Where and how the watcher reaches its MQTT broker.
struct MqttConfig {
    std::string host;
    int port = 1883;
    std::string user;
    std::string passwordFile;  // the password is its first line
    std::string caFile;        // set: TLS, the broker's certificate checked against this CA
    std::string prefix;        // the topics' common beginning, "vorn/node"
    std::string clientId;      // empty: one the library makes up
};

// What keeps `config` from being used, naming the setting to fix, or nothing when all is well:
// a password file that cannot be read, is empty, may be read by others than its owner (refused
// as SSH refuses such a key) or comes without a user; a CA file that cannot be read.
std::optional<std::string> MqttConfigTrouble(const MqttConfig& config);

// One connection to a broker, kept up in the background: it connects, and after any failure
// connects again after a pause that doubles from a second up to a minute, never blocking its
// caller. Its last will is `offline`, retained, on <prefix>/availability; on every connection it
// publishes `online` there, then again every retained message it was given (the last payload of
// each topic), so a broker that lost them, or a subscriber that came later, has them all.
// Publishing while disconnected keeps the payload for the next connection. Safe to call from
// any thread.
class MqttLink {
public:
    // `tell` hears one line when a connection fails or is refused, once an outage, and one when
    // the link is connected again after it; it is called on the link's own thread.
    MqttLink(MqttConfig config, std::function<void(const std::string& line)> tell);
    // Publishes `offline` when connected and disconnects, within about two seconds even when the
    // broker hangs.
    ~MqttLink();
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    // On <prefix>/<subtopic>.
    void PublishRetained(const std::string& subtopic, const std::string& payload);
    // On `topic` as it is, for the topics other programs look for outside the prefix.
    void PublishRetainedAbsolute(const std::string& topic, const std::string& payload);

    bool Connected() const { return m_connected; }

private:
    void Run();
    void Disconnect();
    void Trouble(const std::string& why);
    void WaitBeforeRetry(int seconds);
    void OnConnect(int result);
    void SendRetained(const std::string& topic, const std::string& payload);

    const MqttConfig m_config;
    const std::string m_availability;  // <prefix>/availability: online, or offline by the will
    const std::function<void(const std::string&)> m_tell;
    mosquitto* m_client = nullptr;

    std::mutex m_mutex;  // guards the retained store and orders its sending against a reconnect
    std::map<std::string, std::string> m_retained;
    std::condition_variable m_wake;  // ends a pause before retrying when the link stops
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_stopping{false};
    // The link's thread alone, where the library calls back.
    bool m_outageTold = false;
    std::string m_libraryError;  // the library's last error line
    std::thread m_thread;
};
