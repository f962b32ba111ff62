#include "notify/HomeAssistant.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// What every entity of the device shares: its device, its id and when it is available.
QJsonObject Entity(const HomeAssistantDevice& device, const char* object, const char* name) {
    return QJsonObject{
        {"name", name},
        {"unique_id", Text(device.nodeId + "_" + object)},
        {"availability_topic", Text(device.prefix + "/availability")},
        {"payload_available", "online"},
        {"payload_not_available", "offline"},
        {"device", QJsonObject{{"identifiers", QJsonArray{Text(device.nodeId)}},
                               {"name", Text(device.name)},
                               {"manufacturer", "Vorn"},
                               {"model", "Time-lapse frame folder"},
                               {"sw_version", Text(device.version)}}},
    };
}

// A value of the state's JSON; "None" (unknown to Home Assistant) where the watcher has none.
QJsonObject StateEntity(const HomeAssistantDevice& device, const char* object, const char* name,
                        const char* valueTemplate) {
    QJsonObject entity = Entity(device, object, name);
    entity["state_topic"] = Text(device.prefix + "/state");
    entity["value_template"] = valueTemplate;
    return entity;
}

QJsonObject With(QJsonObject entity, const QJsonObject& more) {
    for (auto it = more.begin(); it != more.end(); ++it) {
        entity[it.key()] = it.value();
    }
    return entity;
}

}  // namespace

std::vector<DiscoveryMessage> DiscoveryMessages(const HomeAssistantDevice& device) {
    QJsonObject problem = Entity(device, "problem", "Problem");
    problem["state_topic"] = Text(device.prefix + "/trouble");
    problem["value_template"] = "{{ 'ON' if value_json | length > 0 else 'OFF' }}";
    problem["device_class"] = "problem";
    problem["json_attributes_topic"] = Text(device.prefix + "/trouble");
    problem["json_attributes_template"] = "{{ {'troubles': value_json} | tojson }}";

    const std::vector<std::pair<std::string, QJsonObject>> entities = {
        {"sensor/frames_today",
         With(StateEntity(device, "frames_today", "Frames today", "{{ value_json.frames_today }}"),
              {{"unit_of_measurement", "frames"}})},
        {"sensor/free_space",
         With(StateEntity(device, "free_space", "Free space", "{{ value_json.free_mb }}"),
              {{"device_class", "data_size"},
               {"unit_of_measurement", "MB"},
               {"state_class", "measurement"}})},
        {"sensor/days_left",
         With(StateEntity(device, "days_left", "Days left", "{{ value_json.days_left }}"),
              {{"device_class", "duration"}, {"unit_of_measurement", "d"}})},
        {"sensor/last_frame",
         With(StateEntity(device, "last_frame", "Last frame",
                          "{{ value_json.latest.time if value_json.latest else None }}"),
              {{"device_class", "timestamp"}})},
        {"binary_sensor/capturing",
         With(StateEntity(device, "capturing", "Capturing",
                          "{{ 'ON' if value_json.capturing else 'OFF' }}"),
              {{"device_class", "running"}})},
        {"binary_sensor/problem", problem},
        {"image/latest_frame",
         With(Entity(device, "latest_frame", "Latest frame"),
              {{"image_topic", Text(device.prefix + "/latest")}, {"content_type", "image/jpeg"}})},
    };
    std::vector<DiscoveryMessage> messages;
    for (const auto& [componentAndObject, entity] : entities) {
        const std::size_t slash = componentAndObject.find('/');
        messages.push_back({"homeassistant/" + componentAndObject.substr(0, slash) + "/" +
                                device.nodeId + componentAndObject.substr(slash) + "/config",
                            QJsonDocument(entity).toJson(QJsonDocument::Compact).toStdString()});
    }
    return messages;
}

std::string HomeAssistantNodeId(std::string_view host, std::string_view profile) {
    std::string id = "vorn_" + std::string(host);
    if (!profile.empty()) {
        id += "_" + std::string(profile);
    }
    for (char& c : id) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!kept) {
            c = '_';
        }
    }
    return id;
}
