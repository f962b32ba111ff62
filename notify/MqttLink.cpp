#include "notify/MqttLink.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/PosixFiles.h"

namespace {

using namespace std::chrono_literals;

constexpr int kKeepAliveSeconds = 30;
// How long one turn of the link's loop waits for the socket: the longest a stop waits to be seen.
constexpr int kLoopMs = 200;
constexpr int kFirstRetrySeconds = 1;
constexpr int kLastRetrySeconds = 60;
// How long a stop waits for `offline` and the goodbye to go out to a broker that may hang.
constexpr auto kGoodbyeTime = 1500ms;
// The longest first line a password file may have that is read.
constexpr std::size_t kMaxPasswordBytes = 4096;

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// The first line of the file at `path` and its mode, following a link; nothing (errno tells why)
// when it cannot be read or is no regular file.
struct SecretFile {
    std::string firstLine;
    mode_t mode = 0;
};
std::optional<SecretFile> ReadSecretFile(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &status) != 0) {
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        errno = EINVAL;
        return std::nullopt;
    }
    std::array<char, kMaxPasswordBytes> buffer{};
    const ssize_t length = ::read(fd.Get(), buffer.data(), buffer.size());
    if (length < 0) {
        return std::nullopt;
    }
    std::string text(buffer.data(), static_cast<std::size_t>(length));
    text.erase(std::min(text.find('\n'), text.size()));
    if (text.ends_with('\r')) {
        text.pop_back();
    }
    return SecretFile{text, status.st_mode};
}

std::string CannotRead(const char* setting, const std::string& path) {
    return std::string(setting) + ": cannot read " + path + " (" + std::strerror(errno) + ")";
}

// A library's sentence as part of the program's line: lower case first, no full stop.
std::string AsClause(std::string text) {
    if (!text.empty()) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    if (text.ends_with('.')) {
        text.pop_back();
    }
    return text;
}

// Why the connection failed, from libmosquitto's result and the errno that came with it.
std::string Why(int result, int error) {
    return AsClause(result == MOSQ_ERR_ERRNO ? std::strerror(error) : mosquitto_strerror(result));
}

}  // namespace

std::optional<std::string> MqttConfigTrouble(const MqttConfig& config) {
    if (!config.passwordFile.empty()) {
        if (config.user.empty()) {
            return "MQTT_PASSWORD_FILE is set but MQTT_USER is not: the broker needs both";
        }
        const std::optional<SecretFile> secret = ReadSecretFile(config.passwordFile);
        if (!secret) {
            return CannotRead("MQTT_PASSWORD_FILE", config.passwordFile);
        }
        if ((secret->mode & (S_IRWXG | S_IRWXO)) != 0) {
            std::array<char, 8> mode{};
            std::snprintf(mode.data(), mode.size(), "%04o",
                          static_cast<unsigned>(secret->mode & 07777));
            return "MQTT_PASSWORD_FILE: " + config.passwordFile + " may be read by others (mode " +
                   mode.data() + "); a password is kept only in a file of its owner's: chmod 600 " +
                   config.passwordFile;
        }
        if (secret->firstLine.empty()) {
            return "MQTT_PASSWORD_FILE: " + config.passwordFile +
                   " holds no password on its first line";
        }
    }
    if (!config.caFile.empty()) {
        const UniqueFd fd(::open(config.caFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (!fd.IsOpen()) {
            return CannotRead("MQTT_CA_FILE", config.caFile);
        }
    }
    return std::nullopt;
}

MqttLink::MqttLink(MqttConfig config, std::function<void(const std::string& line)> tell)
    : m_config(std::move(config)),
      m_availability(m_config.prefix + "/availability"),
      m_tell(std::move(tell)) {
    InitLibraryOnce();
    m_client =
        mosquitto_new(m_config.clientId.empty() ? nullptr : m_config.clientId.c_str(), true, this);
    if (m_client == nullptr) {
        Trouble(Why(MOSQ_ERR_ERRNO, errno));
        return;
    }
    // Its loop runs on the link's own thread, while others publish: their packets wake it.
    mosquitto_threaded_set(m_client, true);
    mosquitto_connect_callback_set(m_client, [](mosquitto*, void* link, int result) {
        static_cast<MqttLink*>(link)->OnConnect(result);
    });
    mosquitto_disconnect_callback_set(m_client, [](mosquitto*, void* link, int) {
        static_cast<MqttLink*>(link)->m_connected = false;
    });
    // A TLS failure's result says only that; its log line says which (a certificate not trusted).
    mosquitto_log_callback_set(m_client, [](mosquitto*, void* link, int level, const char* line) {
        if (level == MOSQ_LOG_ERR) {
            static_cast<MqttLink*>(link)->m_libraryError = line;
        }
    });
    mosquitto_will_set(m_client, m_availability.c_str(), 7, "offline", 1, true);
    if (!m_config.user.empty()) {
        const std::optional<SecretFile> secret =
            m_config.passwordFile.empty() ? std::nullopt : ReadSecretFile(m_config.passwordFile);
        mosquitto_username_pw_set(m_client, m_config.user.c_str(),
                                  secret ? secret->firstLine.c_str() : nullptr);
    }
    if (!m_config.caFile.empty()) {
        // The broker's certificate must come from this CA and name the host connected to.
        mosquitto_tls_set(m_client, m_config.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    }
    m_thread = std::thread([this] { Run(); });
}

MqttLink::~MqttLink() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    mosquitto_destroy(m_client);
}

void MqttLink::PublishRetained(const std::string& subtopic, const std::string& payload) {
    PublishRetainedAbsolute(m_config.prefix + "/" + subtopic, payload);
}

void MqttLink::PublishRetainedAbsolute(const std::string& topic, const std::string& payload) {
    const std::lock_guard lock(m_mutex);
    m_retained[topic] = payload;
    if (m_connected) {
        SendRetained(topic, payload);
    }
}

void MqttLink::SendRetained(const std::string& topic, const std::string& payload) {
    mosquitto_publish(m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 0, true);
}

void MqttLink::Run() {
    int retrySeconds = kFirstRetrySeconds;
    bool first = true;
    while (!m_stopping) {
        int result = first ? mosquitto_connect_async(m_client, m_config.host.c_str(), m_config.port,
                                                     kKeepAliveSeconds)
                           : mosquitto_reconnect_async(m_client);
        int error = errno;
        first = false;
        bool wasConnected = false;
        if (result == MOSQ_ERR_SUCCESS) {
            while (!m_stopping &&
                   (result = mosquitto_loop(m_client, kLoopMs, 1)) == MOSQ_ERR_SUCCESS) {
                wasConnected = wasConnected || m_connected;
            }
            error = errno;
        }
        if (m_stopping) {
            break;
        }
        m_connected = false;
        // A refusal was told already, with the broker's reason.
        Trouble(result == MOSQ_ERR_TLS && !m_libraryError.empty()
                    ? Why(result, error) + " (" + m_libraryError + ")"
                    : Why(result, error));
        if (wasConnected) {
            retrySeconds = kFirstRetrySeconds;
        }
        WaitBeforeRetry(retrySeconds);
        retrySeconds = std::min(retrySeconds * 2, kLastRetrySeconds);
    }
    Disconnect();
}

void MqttLink::Disconnect() {
    if (!m_connected) {
        return;
    }
    mosquitto_publish(m_client, nullptr, m_availability.c_str(), 7, "offline", 1, true);
    mosquitto_disconnect(m_client);
    // The loop sends what is queued and then the goodbye, after which the socket is closed.
    const auto deadline = std::chrono::steady_clock::now() + kGoodbyeTime;
    while (std::chrono::steady_clock::now() < deadline &&
           mosquitto_loop(m_client, kLoopMs, 1) == MOSQ_ERR_SUCCESS) {
    }
}

void MqttLink::WaitBeforeRetry(int seconds) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_stopping.load(); });
}

void MqttLink::Trouble(const std::string& why) {
    if (!m_outageTold && m_tell) {
        m_tell("MQTT broker " + m_config.host + ":" + std::to_string(m_config.port) + ": " + why +
               "; trying again");
    }
    m_outageTold = true;
}

void MqttLink::OnConnect(int result) {
    if (result != 0) {
        const std::string reason = mosquitto_connack_string(result);
        const std::size_t colon = reason.find(": ");
        Trouble("connection refused" +
                (colon == std::string::npos ? "" : AsClause(reason.substr(colon))));
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_connected = true;
        mosquitto_publish(m_client, nullptr, m_availability.c_str(), 6, "online", 1, true);
        for (const auto& [topic, payload] : m_retained) {
            SendRetained(topic, payload);
        }
    }
    if (m_outageTold && m_tell) {
        m_tell("MQTT broker " + m_config.host + ":" + std::to_string(m_config.port) +
               ": connected again");
    }
    m_outageTold = false;
}
