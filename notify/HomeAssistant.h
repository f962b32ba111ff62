#pragma once

#include <string>
#include <string_view>
#include <vector>

// Home Assistant's MQTT discovery: the retained messages that make the watcher of one frame
// folder a device there, its entities read from the topics the watcher publishes under `prefix`:
// <prefix>/state (the status page's JSON), <prefix>/trouble (a JSON array of {code, message,
// since}), <prefix>/latest (the latest frame, a JPEG) and <prefix>/availability.
struct HomeAssistantDevice {
    std::string prefix;
    std::string nodeId;  // unique across machines and profiles; see HomeAssistantNodeId
    std::string name;
    std::string version;
};

struct DiscoveryMessage {
    std::string topic;    // homeassistant/<component>/<node>/<object>/config
    std::string payload;  // JSON
};

// The discovery messages of `device`: sensors of the frames taken today, the free space, the days
// it lasts and the last frame's time; binary sensors of capturing and of a problem (the troubles
// its attributes); the latest frame as an image.
std::vector<DiscoveryMessage> DiscoveryMessages(const HomeAssistantDevice& device);

// A node id of `host` and `profile` (empty: the default one), in the characters Home Assistant
// takes in a topic's node id, [a-zA-Z0-9_-]; any other becomes '_'.
std::string HomeAssistantNodeId(std::string_view host, std::string_view profile);
