#include "session/VideoOptionsStore.h"

#include <algorithm>
#include <chrono>

#include "settings/Settings.h"
#include "video/VideoOutput.h"

namespace {

// An unattended launch holds the settings lock only while it saves a frame and stores its count.
constexpr std::chrono::seconds kLockWait{5};

static_assert(std::size(kFrameTimeSettings) == kFrameTimeFieldCount);

// The stored value when the video maker takes it; otherwise `value` keeps its default.
template <class Value, class Accepts>
void Take(const std::optional<Value>& stored, Value& value, Accepts accepts) {
    if (stored && accepts(*stored)) {
        value = *stored;
    }
}

}  // namespace

VideoOptions ReadVideoOptions() {
    VideoOptions options;
    const StoredVideoOptions stored = ReadVideoSettings();
    const auto any = [](const auto&) { return true; };
    Take(stored.outputName, options.outputName,
         [](const std::string& name) { return !OutputNameTrouble(name); });
    Take(stored.deflicker, options.deflicker, any);
    Take(stored.deflickerWindow, options.deflickerWindow, IsDeflickerWindow);
    Take(stored.skipBad, options.skipBad, any);
    Take(stored.width, options.width, IsWidthToScaleTo);
    Take(stored.lengthSeconds, options.lengthSeconds, any);
    // Judged when a video is made, where a bad field is named.
    Take(stored.byTime, options.framesByTime.on, any);
    for (std::size_t i = 0; i < kFrameTimeFieldCount; ++i) {
        Take(stored.frameTimes[i], options.framesByTime.texts[i], any);
    }
    return options;
}

bool StoreVideoOptions(const VideoOptions& options) {
    StoredVideoOptions stored{options.outputName,
                              options.deflicker,
                              options.deflickerWindow,
                              options.skipBad,
                              options.width,
                              options.lengthSeconds,
                              std::nullopt,
                              {}};
    // The time fields go into the file once they are used: the file of a user who never chose
    // frames by time stays as it was.
    if (options.framesByTime != FramesByTime{} || ReadVideoSettings().byTime) {
        stored.byTime = options.framesByTime.on;
        std::copy(options.framesByTime.texts.begin(), options.framesByTime.texts.end(),
                  stored.frameTimes.begin());
    }
    return StoreVideoSettings(stored, kLockWait);
}
